#include "common/ToolFolder.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ImageWriter.hpp"
#include "output/MetadataCopy.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const std::string exiftool = "/usr/bin/exiftool";
const std::string photo = "bracket-desk/img05.jpg";
const std::string taggedLine = "Tessaline\tTessaline\tCanon\n";

// A tool folder whose exiftool notes its process id and first argument, one line per start,
// before it becomes the real exiftool (same process).
class ExiftoolSessionTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string log;

    void SetUp() override {
        log = folder.file("starts.txt");
        installTool("exec " + exiftool + " \"$@\"\n");
    }
    void TearDown() override { setToolFolder(""); }

    void installTool(const std::string& body) {
        fs::create_directories(folder.path() / "tools");
        const std::string tool = folder.file("tools/exiftool");
        writeFile(tool, "#!/bin/sh\necho \"$$ $1\" >> '" + log + "'\n" + body);
        chmod(tool.c_str(), 0755);
        setToolFolder(folder.file("tools/"));
    }

    std::vector<std::string> starts() const {
        std::vector<std::string> lines;
        std::istringstream text(readFile(log));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }

    std::string firmware(const std::string& file) const {
        const std::string out = folder.file("tags.txt");
        EXPECT_EQ(runProgram(exiftool, {"-T", "-Keywords", "-Firmware", "-Make", file}, out), 0);
        return readFile(out);
    }

    // Each file carries the tags of the photograph and no backup remains beside it.
    void expectTaggedWithoutBackup(const std::vector<std::string>& paths) const {
        for (const std::string& path : paths) {
            EXPECT_EQ(firmware(path), taggedLine) << path;
            EXPECT_FALSE(fs::exists(path + "_original")) << path;
        }
    }

    std::string writeTagged(const std::string& name) const {
        const std::string path = folder.file(name);
        EXPECT_NO_THROW(writeImage(path, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(99)), testDataPath(photo), "Tessaline"));
        return path;
    }
};

bool processGone(pid_t pid) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (kill(pid, 0) != 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST_F(ExiftoolSessionTest, OneExiftoolTagsEveryFileOfARun) {
    TL_REQUIRE_TEST_DATA(photo);
    std::vector<std::string> written;
    for (int i = 1; i <= 4; ++i) written.push_back(writeTagged("frame" + std::to_string(i) + ".jpg"));
    expectTaggedWithoutBackup(written);
    const std::vector<std::string> started = starts();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NE(started[0].find(" -stay_open"), std::string::npos) << started[0];
}

// Copies handed over one after the other and waited for later, as the extractor does
// while it prepares its next frame: each file ends up tagged and without its backup,
// whichever copy is waited for first.
TEST_F(ExiftoolSessionTest, CopiesBegunTogetherAllComplete) {
    TL_REQUIRE_TEST_DATA(photo);
    std::vector<std::string> written;
    std::vector<std::unique_ptr<PendingMetadataCopy>> copies;
    for (int i = 1; i <= 3; ++i) {
        written.push_back(folder.file("pending" + std::to_string(i) + ".jpg"));
        ASSERT_TRUE(cv::imwrite(written.back(), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(40 * i))));
        copies.push_back(std::make_unique<PendingMetadataCopy>(testDataPath(photo), written.back(), "Tessaline"));
    }
    copies[2]->finish();
    copies[0]->finish();
    copies.clear();  // the middle one is finished as it goes
    expectTaggedWithoutBackup(written);
    EXPECT_EQ(starts().size(), 1u);
}

// A copy still under way when the next one needs another exiftool: the kept-alive one
// finishes it before it is let go, and its answer does not spill onto standard output
// (the merge program's log).
TEST_F(ExiftoolSessionTest, CopyUnderWayWhenExiftoolChangesStillCompletes) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string first = folder.file("first.jpg");
    ASSERT_TRUE(cv::imwrite(first, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(5))));
    PendingMetadataCopy underWay(testDataPath(photo), first, "Tessaline");
    fs::copy(folder.file("tools"), folder.file("other-tools"));
    setToolFolder(folder.file("other-tools/"));
    testing::internal::CaptureStdout();
    const std::string second = writeTagged("second.jpg");
    underWay.finish();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    expectTaggedWithoutBackup({first, second});
    EXPECT_EQ(starts().size(), 2u);
}

TEST_F(ExiftoolSessionTest, PathWithALineEndGetsAnExiftoolOfItsOwn) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string before = writeTagged("before.jpg");
    fs::create_directory(folder.file("two\nlines"));
    const std::string broken = writeTagged("two\nlines/broken.jpg");
    const std::string after = writeTagged("after.jpg");
    expectTaggedWithoutBackup({before, broken, after});
    // The kept-alive exiftool, then one for the path it cannot be sent.
    const std::vector<std::string> started = starts();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_NE(started[1].find(" -q"), std::string::npos) << started[1];
}

TEST_F(ExiftoolSessionTest, ExiftoolWithoutStayOpenFallsBackToOneProcessPerFile) {
    TL_REQUIRE_TEST_DATA(photo);
    installTool("[ \"$1\" = -stay_open ] && exit 1\nexec " + exiftool + " \"$@\"\n");
    const std::string first = writeTagged("first.jpg");
    const std::string second = writeTagged("second.jpg");
    expectTaggedWithoutBackup({first, second});
    // One failed attempt at the kept-alive mode, then one start per file.
    const std::vector<std::string> started = starts();
    ASSERT_EQ(started.size(), 3u);
    EXPECT_NE(started[1].find(" -q"), std::string::npos) << started[1];
}

// Runs copy in a child process of the test that ends as given, and returns the
// exiftool line of the start log once the child is gone.
template <typename Copy>
void runInChild(Copy copy, bool cleanExit) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        copy();
        if (cleanExit) std::exit(0);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
}

TEST_F(ExiftoolSessionTest, SessionEndsCleanlyWithTheProcess) {
    TL_REQUIRE_TEST_DATA(photo);
    installTool(exiftool + " \"$@\"\necho \"ended $?\" >> '" + log + "'\n");
    const std::string written = folder.file("clean.jpg");
    ASSERT_TRUE(cv::imwrite(written, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(7))));
    runInChild([&] { copyMetadata(testDataPath(photo), written, "Tessaline"); }, true);
    const std::vector<std::string> lines = starts();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "ended 0");
    EXPECT_EQ(firmware(written), taggedLine);
}

TEST_F(ExiftoolSessionTest, ExiftoolDoesNotOutliveAProcessThatDies) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string written = folder.file("abandoned.jpg");
    ASSERT_TRUE(cv::imwrite(written, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(7))));
    runInChild([&] { copyMetadata(testDataPath(photo), written, "Tessaline"); }, false);
    const std::vector<std::string> lines = starts();
    ASSERT_EQ(lines.size(), 1u);
    const pid_t exiftoolProcess = std::atoi(lines[0].c_str());
    ASSERT_GT(exiftoolProcess, 0);
    EXPECT_TRUE(processGone(exiftoolProcess));
    EXPECT_EQ(firmware(written), taggedLine);
}

// A kept-alive exiftool that takes a copy and never answers: with a short deadline the
// copy ends as silent, the silent process is ended, and exiftool is given up: the next copy
// is neither handed to a fresh one nor run by one of its own. (A session of its own: the
// process-wide one may have been closed for good by a test before.)
TEST_F(ExiftoolSessionTest, SilentExiftoolIsEndedAndGivenUp) {
    TL_REQUIRE_TEST_DATA(photo);
    installTool("[ \"$1\" = -stay_open ] && exec sleep 600\nexec " + exiftool + " \"$@\"\n");
    const std::string first = folder.file("first.jpg");
    const std::string second = folder.file("second.jpg");
    for (const std::string& file : {first, second})
        ASSERT_TRUE(cv::imwrite(file, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(7))));
    const std::string untouched = readFile(first);

    ExiftoolSession session;
    session.setCopyDeadline(std::chrono::milliseconds(1000));
    const std::string program = folder.file("tools/exiftool");
    const unsigned long silent = session.begin(program, exiftoolArguments(testDataPath(photo), first, "Tessaline"));
    ASSERT_NE(silent, 0u);
    EXPECT_FALSE(session.givenUp());
    EXPECT_EQ(session.finish(silent), ExiftoolSession::Outcome::silent);
    EXPECT_TRUE(session.givenUp());
    const std::vector<std::string> arguments = exiftoolArguments(testDataPath(photo), second, "Tessaline");
    const unsigned long refused = session.begin(program, arguments);
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(session.finish(refused), ExiftoolSession::Outcome::givenUp);
    EXPECT_EQ(session.runAlone(program, arguments), ExiftoolSession::Outcome::givenUp);

    const std::vector<std::string> started = starts();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(processGone(std::atoi(started[0].c_str())));
    EXPECT_EQ(readFile(first), untouched);
    EXPECT_EQ(firmware(second), "-\t-\t-\n");
}

// A separate exiftool that runs past the deadline is stopped, and gives exiftool up too.
TEST_F(ExiftoolSessionTest, SeparateExiftoolPastTheDeadlineGivesExiftoolUp) {
    installTool("exec sleep 600\n");
    ExiftoolSession session;
    session.setCopyDeadline(std::chrono::milliseconds(500));
    const std::string program = folder.file("tools/exiftool");
    EXPECT_EQ(session.runAlone(program, {"-ver"}), ExiftoolSession::Outcome::silent);
    EXPECT_TRUE(session.givenUp());
    EXPECT_EQ(session.runAlone(program, {"-ver"}), ExiftoolSession::Outcome::givenUp);
    EXPECT_EQ(session.begin(program, {"-ver"}), 0u);
    const std::vector<std::string> started = starts();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(processGone(std::atoi(started[0].c_str())));
}

// The resident memory of this process at its peak since the last reset, in MiB.
double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1.0;
}

// An exiftool that pours out twice the memory allowed below, in one endless line and in
// short lines, instead of answering: neither a copy nor a query keeps what it pours out.
TEST_F(ExiftoolSessionTest, FloodingExiftoolCostsNoMemory) {
    installTool("[ \"$1\" = -stay_open ] && { head -c 64000000 /dev/zero; yes | head -c 64000000; }\nexit 0\n");
    const std::string program = folder.file("tools/exiftool");
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = peakMiB();
    {
        ExiftoolSession session;
        EXPECT_EQ(session.finish(session.begin(program, {"-ver"})), ExiftoolSession::Outcome::ended);
    }
    {
        ExiftoolSession session;
        EXPECT_FALSE(session.finishQuery(session.beginQuery(program, {"-ver"})));
        EXPECT_TRUE(session.givenUp());
    }
    EXPECT_LT(peakMiB() - before, 32.0);
}

// A query waits for the copies handed over before it, so that it reads what they wrote,
// and its answer goes to the caller, not to standard output (the merge program's log).
TEST_F(ExiftoolSessionTest, QueryAnswersAfterTheCopiesBeforeIt) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string written = folder.file("queried.jpg");
    ASSERT_TRUE(cv::imwrite(written, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(30))));
    PendingMetadataCopy copy(testDataPath(photo), written, "Tessaline");
    testing::internal::CaptureStdout();
    const std::optional<std::string> answer =
        exiftoolSession().finishQuery(
            exiftoolSession().beginQuery(folder.file("tools/exiftool"), {"-T", "-Firmware", "-Make", written}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "Tessaline\tCanon\n");
    copy.finish();
    EXPECT_EQ(starts().size(), 1u);
}

TEST_F(ExiftoolSessionTest, QueryGivesNothingWhenExiftoolCannotStayOpen) {
    installTool("[ \"$1\" = -stay_open ] && exit 1\nexec " + exiftool + " \"$@\"\n");
    ExiftoolSession session;
    EXPECT_FALSE(session.finishQuery(session.beginQuery(folder.file("tools/exiftool"), {"-ver"})));
    EXPECT_FALSE(session.finishQuery(session.beginQuery(folder.file("tools/exiftool"), {"-ver"})));
    EXPECT_EQ(starts().size(), 1u);  // a session that failed once is not tried again
}

// exiftool cannot write Radiance files and says so on its standard error, which a
// person's run sends to a file of its choice.
TEST_F(ExiftoolSessionTest, ErrorsGoWhereTheSessionSendsThem) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string radiance = folder.file("merged.hdr");
    writeFile(radiance, "#?RADIANCE\n");
    const std::string errors = folder.file("errors.txt");
    writeFile(errors, "");
    ExiftoolSession session;
    session.sendErrorsTo(errors);
    testing::internal::CaptureStderr();
    EXPECT_EQ(session.finish(session.begin(folder.file("tools/exiftool"), exiftoolArguments(testDataPath(photo), radiance, "x"))),
              ExiftoolSession::Outcome::done);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(readFile(errors).find("Writing of HDR files is not yet supported"), std::string::npos) << readFile(errors);
}

} // namespace
