#include "output/EncodedImage.hpp"
#include "tests/extract/KadrimoProgramTest.hpp"

#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace tl;

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string exiftool = "/usr/bin/exiftool";

class KadrimoHardening : public KadrimoProgramTest {
protected:
    std::string starts() const { return folder.file("exiftool-starts.txt"); }

    // exiftool in the application's tool folder: notes its process id in starts(), then runs
    // the given shell lines.
    void installExiftool(const std::string& body) const {
        const std::string tools = app() + "/App/Win/x86";
        fs::create_directories(tools);
        writeFile(tools + "/exiftool", "#!/bin/sh\necho $$ >> '" + starts() + "'\n" + body);
        fs::permissions(tools + "/exiftool", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                                  fs::perms::group_read | fs::perms::others_read);
    }

    std::vector<pid_t> startedExiftools() const {
        std::vector<pid_t> pids;
        std::istringstream lines(readFile(starts()));
        for (pid_t pid; lines >> pid;) pids.push_back(pid);
        return pids;
    }

    // The Firmware tag of file as exiftool reads it ("-" when it has none).
    std::string firmware(const std::string& file) const {
        const std::string out = folder.file("firmware.txt");
        EXPECT_EQ(runProgram(exiftool, {"-T", "-Firmware", file}, out), 0);
        return readFile(out);
    }

    std::string h264Video(int frames, int width = 96, int height = 72) {
        return indexedVideo(frames, "clip.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, width, height);
    }
};

bool processGone(pid_t pid) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (kill(pid, 0) != 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Runs program to its end and returns its exit status (-1 after a signal) and its peak
// resident memory in MiB.
std::pair<int, double> runMeasured(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return {-1, 0.0};
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return {-1, 0.0};
    return {WEXITSTATUS(status), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

TEST_F(KadrimoHardening, FormatWithALeadingDotNamesFramesWithOneDot) {
    const std::string video = h264Video(3);
    ASSERT_EQ(runProgram(TL_KADRIMO_BIN, {video, "-o", out(), "--format", ".png", "--list", list()}), 0);
    EXPECT_EQ(filesInOut(), (std::vector<std::string>{"frame1.png", "frame2.png", "frame3.png"}));
    EXPECT_EQ(readFile(list()), listOf(3, numbered(1, 3, 1), "frame", "png"));
}

TEST_F(KadrimoHardening, NameWithALineEndIsAUsageError) {
    const std::string video = h264Video(3);
    const std::string errors = folder.file("errors.txt");
    for (const std::string name : {"two\nlines", "carriage\r"}) {
        EXPECT_EQ(runProgram(TL_KADRIMO_BIN, {video, "-o", out(), "--name", name, "--list", list()}, "", errors), 2);
        EXPECT_NE(readFile(errors).find("--name: a frame name may not hold a line end"), std::string::npos)
            << readFile(errors);
        EXPECT_TRUE(filesInOut().empty());
        EXPECT_FALSE(fs::exists(list()));
    }
}

// Names of 245 to 255 bytes, the longest a folder takes: their temporary files, and
// exiftool's files beside those, must fit too. JPEG frames get their tags placed, TIFF
// frames are tagged by exiftool one by one.
TEST_F(KadrimoHardening, FrameNamesUpToTheLongestAFolderTakesAreWrittenAndTagged) {
    const std::string video = h264Video(2);
    for (const std::string extension : {"jpg", "tif"}) {
        for (const std::size_t length : {245u, 255u}) {
            const std::string name(length - 1 - 1 - extension.size(), 'n');  // + digit + dot + extension
            ASSERT_EQ(run(video, 0, 1, 2, name, extension), 0) << length << readFile(log());
            const std::string frame = out() + "/" + name + "1." + extension;
            ASSERT_EQ(fs::path(frame).filename().string().size(), length);
            EXPECT_EQ(firmware(frame), "Tessaline\n") << length;
            fs::remove(frame);
        }
    }
    EXPECT_TRUE(filesInOut().empty());
}

// exiftool that ends at once: every frame is complete and listed, the run succeeds, and
// one warning names the frames (by their own names) that carry no tags.
TEST_F(KadrimoHardening, ExiftoolThatEndsAtOnceLeavesCompleteFramesAndAWarning) {
    installExiftool("exit 0\n");
    const std::string video = h264Video(4);
    ASSERT_EQ(run(video, 0, 1000, 1000, "base", "jpg"), 0) << readFile(log());
    EXPECT_EQ(readFile(list()), listOf(4, numbered(1, 4, 1), "base", "jpg"));
    EXPECT_NE(readFile(log()).find("WARNING at function main => The frames '" + out() + "/base1.jpg' to '" + out() +
                                   "/base4.jpg' (4 files) carry none of the tags of the video '" + video +
                                   "': exiftool could not write them into the file."),
              std::string::npos)
        << readFile(log());
    EXPECT_EQ(readFile(log()).find(".tl-"), std::string::npos) << readFile(log());
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(written(i, 1, "jpg").empty()) << i;
}

// Room for the frames but not for exiftool's rewrite of them (a file-size limit stands in
// for a full disk; TIFF frames, which exiftool rewrites one by one): the frames are
// complete, the run succeeds, and the missing tags are a warning that names the frames.
TEST_F(KadrimoHardening, NoRoomForTheTagsLeavesCompleteFramesAndAWarning) {
    const std::string video = h264Video(3, 320, 240);
    long long largest = 0;
    for (const cv::Mat& frame : decodeSequentially(video))
        largest = std::max<long long>(largest, static_cast<long long>(encodeImage("f.tif", frame).size()));
    const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "tif"), "", "",
                                  RunLimits{120, largest + 64});
    ASSERT_EQ(status, 0) << readFile(log());
    EXPECT_EQ(readFile(list()), listOf(3, numbered(1, 3, 1), "base", "tif"));
    EXPECT_NE(readFile(log()).find("(3 files) carry none of the tags of the video '" + video +
                                   "': exiftool could not write them into the file."),
              std::string::npos)
        << readFile(log());
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(firmware(out() + "/base" + std::to_string(i) + ".tif"), "-\n") << i;
}

// An exiftool that floods its output and never answers: the run waits for it once, gives
// exiftool up, writes every frame without tags, says which, and keeps its memory.
TEST_F(KadrimoHardening, SilentFloodingExiftoolIsWaitedForOnceAndGivenUp) {
    installExiftool("head -c 400000000 /dev/zero\nexec sleep 600\n");
    const std::string video = h264Video(4);
    const auto start = std::chrono::steady_clock::now();
    const auto [status, peakMiB] = runMeasured(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "png"));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(status, 0) << readFile(log());
    EXPECT_LT(seconds, 110.0);
    EXPECT_LT(peakMiB, 200.0);
    EXPECT_EQ(startedExiftools().size(), 1u);
    EXPECT_EQ(readFile(list()), listOf(4, numbered(1, 4, 1)));
    EXPECT_NE(readFile(log()).find("WARNING at function main => The frames '" + out() + "/base1.png' to '" + out() +
                                   "/base4.png' (4 files) carry none of the tags of the video '" + video +
                                   "': exiftool did not finish a tag copy within 60 seconds and is not used again in "
                                   "this run."),
              std::string::npos)
        << readFile(log());
    for (const pid_t pid : startedExiftools()) EXPECT_TRUE(processGone(pid)) << pid;
}

// What exiftool prints on its standard error (here through the separate exiftool that
// each frame gets when the kept-alive one cannot start) stays off the program's.
TEST_F(KadrimoHardening, ExiftoolsOwnWordsStayOffStandardError) {
    installExiftool("[ \"$1\" = -stay_open ] && exit 1\necho 'raw exiftool words' >&2\nexec " + exiftool + " \"$@\"\n");
    const std::string video = h264Video(2);
    const std::string errors = folder.file("errors.txt");
    ASSERT_EQ(runProgram(TL_KADRIMO_BIN, {video, "-o", out(), "--format", "tif"}, "", errors), 0);
    EXPECT_EQ(readFile(errors), "");
    ASSERT_EQ(runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "tif"), "", errors), 0);
    EXPECT_EQ(readFile(errors), "");
    EXPECT_EQ(firmware(out() + "/base2.tif"), "Tessaline\n");
}

// A list file or a frame file that this user may not write (as a normal user: root may
// write anything) is kept, and the run refused before anything is written.
TEST_F(KadrimoHardening, ReadOnlyListFileAndFramesAreRefusedBeforeTheWork) {
    if (!unprivilegedUserCanRun(TL_KADRIMO_BIN))
        GTEST_SKIP() << "an unprivileged user cannot run " << TL_KADRIMO_BIN << " (a folder above it is closed to others)";
    const std::string video = h264Video(3);
    writeFile(list(), "the user's list");
    for (const std::string& reachable : {video, list(), app(), out()}) openToEveryone(reachable);
    chmod(list().c_str(), 0444);
    const RunLimits unprivileged{120, -1, true};
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000), "", "", unprivileged), 1);
    EXPECT_TRUE(logReports("The list file '" + list() + "' cannot be written: it is read-only. Nothing was written."))
        << readFile(log());
    EXPECT_EQ(readFile(list()), "the user's list");
    EXPECT_TRUE(filesInOut().empty());

    // The second frame of three is read-only: not even the first is written.
    const std::string kept = out() + "/base2.png";
    writeFile(kept, "the user's picture");
    chmod(kept.c_str(), 0444);
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "png", "", folder.file("l2.txt")), "",
                         "", unprivileged),
              1);
    EXPECT_TRUE(logReports("The frame '" + kept + "' cannot be written: it is read-only. Nothing was written."))
        << readFile(log());
    EXPECT_EQ(readFile(kept), "the user's picture");
    EXPECT_EQ(filesInOut(), std::vector<std::string>{"base2.png"});
    EXPECT_FALSE(fs::exists(folder.file("l2.txt")));
}

// TMPDIR set to folder for the programs started while the object lives.
class TemporaryFolderVariable {
public:
    explicit TemporaryFolderVariable(const std::string& folder) { setenv("TMPDIR", folder.c_str(), 1); }
    ~TemporaryFolderVariable() { unsetenv("TMPDIR"); }
    TemporaryFolderVariable(const TemporaryFolderVariable&) = delete;
    TemporaryFolderVariable& operator=(const TemporaryFolderVariable&) = delete;
};

// Killed at any moment of its start, while exiftool starts, tags the sample or has just
// been ended by the signal: no exiftool outlives the program, and no folder of its own stays
// in the temporary folder.
TEST_F(KadrimoHardening, KilledAtAnyMomentLeavesNoExiftoolAndNoFolder) {
    installExiftool("exec " + exiftool + " \"$@\"\n");
    const std::string video = h264Video(40);
    const std::string temporary = folder.file("tmp");
    fs::create_directory(temporary);
    for (const int milliseconds : {50, 150, 250, 350, 450, 600, 800}) {
        pid_t child;
        {
            const TemporaryFolderVariable variable(temporary);
            child = startProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "jpg"));
        }
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        kill(child, SIGTERM);
        awaitProgram(child, 120);
        for (const pid_t pid : startedExiftools()) EXPECT_TRUE(processGone(pid)) << milliseconds << " ms";
        for (const auto& entry : fs::directory_iterator(temporary))
            EXPECT_FALSE(entry.path().filename().string().starts_with("tl-")) << milliseconds << " ms " << entry.path();
        const std::string listed = readFile(list());
        if (!listed.empty()) {
            EXPECT_EQ(listed.substr(0, listed.find('\n')), std::to_string(std::count(listed.begin(), listed.end(), '\n')))
                << milliseconds << " ms";
        }
    }
}

// Memory that runs out at some step, under address-space limits from what the program
// needs to start up to what it needs to finish: each run either writes every frame or
// fails with a report that says memory ran out and at which step, never that the video does
// not exist or broke off, and never by a crash. (The sanitizers reserve address space of
// their own and cannot run under such a limit.)
TEST_F(KadrimoHardening, LackOfMemoryIsReportedAsSuch) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "not under a sanitizer";
#else
    const std::string video = h264Video(12, 1920, 1080);
    // The smallest limit under which the program starts at all (its libraries are mapped).
    long long startable = 0;
    for (long long megabytes = 100; megabytes <= 2000 && startable == 0; megabytes += 20)
        if (runProgram("/usr/bin/prlimit", {"--as=" + std::to_string(megabytes << 20), TL_KADRIMO_BIN, "--version"},
                       "/dev/null", "/dev/null") == 0)
            startable = megabytes;
    ASSERT_GT(startable, 0);
    for (long long megabytes = startable; megabytes <= startable + 400; megabytes += 25) {
        SCOPED_TRACE(std::to_string(megabytes) + " MiB");
        fs::remove(log());
        std::vector<std::string> call = arguments(video, 0, 1000, 1000, "base", "jpg");
        call.insert(call.begin(), {"--as=" + std::to_string(megabytes << 20), TL_KADRIMO_BIN});
        const int status = runProgram("/usr/bin/prlimit", call, "/dev/null", "/dev/null");
        const std::string reports = readFile(log());
        ASSERT_TRUE(status == 0 || status == 1) << status << reports;
        if (status == 0) {
            EXPECT_EQ(readFile(list()), listOf(12, numbered(1, 12, 2), "base", "jpg"));
            continue;
        }
        EXPECT_NE(reports.find("memory"), std::string::npos) << reports;
        EXPECT_EQ(reports.find("does not exist"), std::string::npos) << reports;
        EXPECT_EQ(reports.find("broke off"), std::string::npos) << reports;
    }
#endif
}

} // namespace
