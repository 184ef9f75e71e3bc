// What the merge program does with the files around it when something goes wrong: it
// never loses what the user had, never blocks, and says so when it fails.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BurstFiles.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const std::string userBytes = "the user's own file, not an image";

class MergeFileSafety : public ::testing::Test {
protected:
    TempFolder folder;
    MergeCall call;

    void SetUp() override {
        fs::create_directory(folder.file("app"));
        fs::create_directory(folder.file("burst"));
        call.applicationFolder = folder.file("app");
        call.progressPath = folder.file("progress.txt");
        call.ghostThreshold = "10";
        call.outputBits = "32";
    }
    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }

    // Three frames of a burst, tagged like a camera's JPEGs; the middle one is the instant
    // image.
    void useTaggedBurst() {
        call.exposures = writeBurst(folder.file("burst"), {160, 120}, 3, true);
        ASSERT_EQ(call.exposures.size(), 3u);
        call.instantPath = call.exposures[1];
    }
    // The same as lossless PNG files, without tags.
    void usePngBurst() {
        const BurstScene scene({160, 120}, 3);
        call.exposures.clear();
        for (int i = 0; i < 3; ++i) {
            call.exposures.push_back(folder.file("burst/frame" + std::to_string(i) + ".png"));
            ASSERT_TRUE(cv::imwrite(call.exposures.back(), scene.frame(i)));
        }
        call.instantPath = call.exposures[1];
    }
    int merge(const RunLimits& limits = {60, -1}) const {
        return runProgram(TL_TESSALINE_BIN, call.arguments(), "", folder.file("stderr.txt"), limits);
    }
    // Whatever the program left in a folder besides the files named.
    std::vector<std::string> leftovers(const std::string& in, const std::vector<std::string>& expected) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(in)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) found.push_back(name);
        }
        return found;
    }
    std::string tag(const std::string& file, const std::string& name) const {
        const std::string out = folder.file("tag.txt");
        EXPECT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-" + name, file}, out), 0);
        return readFile(out);
    }
};

// A user's file at the output path, and a write that fails: a float image no writer takes
// under these names, or a file-size limit that stops each writer (Radiance, OpenCV,
// DevIL) half way, the way a full disk does. The file stays byte for byte, no temporary
// file is left, and the failure is reported with exit status 1.
TEST_F(MergeFileSafety, FailedWriteLeavesTheUsersFileAsItWas) {
    usePngBurst();
    const struct {
        const char* name;
        const char* bits;
        long long fileSizeLimit;
    } cases[] = {{"kept.png", "32", -1}, {"kept.ppm", "32", -1}, {"kept.pgm", "32", -1},
                 {"full.hdr", "32", 4000}, {"full.png", "16", 4000}, {"full.tga", "8", 4000}};
    for (const auto& c : cases) {
        fs::create_directories(folder.file("out"));
        call.outputPath = folder.file(std::string("out/") + c.name);
        call.outputBits = c.bits;
        writeFile(call.outputPath, userBytes);
        EXPECT_EQ(merge({60, c.fileSizeLimit}), 1) << c.name;
        EXPECT_EQ(readFile(call.outputPath), userBytes) << c.name;
        EXPECT_EQ(leftovers(folder.file("out"), {c.name}), std::vector<std::string>{}) << c.name;
        EXPECT_NE(log().find("ERROR at function saveMergedImage => The merged image could not be written to '" +
                             call.outputPath + "': "),
                  std::string::npos)
            << c.name << "\n" << log();
        fs::remove_all(folder.file("out"));
    }
}

// Writes that cannot succeed: no folder, a folder in the way, a name no writer takes.
TEST_F(MergeFileSafety, EveryFailedWriteIsReportedWithExitStatusOne) {
    usePngBurst();
    fs::create_directory(folder.file("a folder.hdr"));
    const struct {
        std::string path, reason;
    } cases[] = {{folder.file("missing/merged.hdr"),
                  "its folder '" + folder.file("missing") + "' cannot take a new file: No such file or directory"},
                 {folder.file("a folder.hdr"), "it is not a regular file"},
                 {folder.file("merged.nosuchformat"), "no writer takes this image under this name"}};
    for (const auto& c : cases) {
        call.outputPath = c.path;
        EXPECT_EQ(merge(), 1) << c.path;
        EXPECT_NE(log().find("ERROR at function saveMergedImage => The merged image could not be written to '" +
                             c.path + "': " + c.reason),
                  std::string::npos)
            << c.path << "\n" << log();
    }
    EXPECT_TRUE(fs::is_directory(folder.file("a folder.hdr")));
    EXPECT_FALSE(fs::exists(folder.file("merged.nosuchformat")));
    EXPECT_FALSE(fs::exists(folder.file("missing")));
}

// A merge never replaces one of its own images: the output naming an image, in any
// spelling, is refused before anything is read, and the photograph stays as it was.
TEST_F(MergeFileSafety, OutputNamingAnImageIsRefusedAndThePhotographKept) {
    useTaggedBurst();
    const std::string photograph = readFile(call.instantPath);
    call.outputBits = "8";
    for (const std::string& output : {call.instantPath, folder.file("burst/../burst/frame03.jpg")}) {
        call.outputPath = output;
        EXPECT_EQ(merge(), 1) << output;
        EXPECT_NE(log().find("ERROR at function saveMergedImage => The merged image could not be written to '" +
                             output + "': it is one of the input files. Nothing was written."),
                  std::string::npos)
            << log();
    }
    EXPECT_EQ(readFile(call.instantPath), photograph);
    EXPECT_EQ(leftovers(folder.file("burst"), {"frame01.jpg", "frame02.jpg", "frame03.jpg"}),
              std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(call.progressPath));
}

// Run twice in the burst's folder, a named merge would take its first result for a
// photograph of the burst and replace it with a merge of itself; and naming a photograph as
// the output would replace it. Both are usage errors: one line naming both files, nothing
// written.
TEST_F(MergeFileSafety, NamedOutputAmongTheImagesIsAUsageError) {
    useTaggedBurst();
    const std::string merged = folder.file("burst/merged.jpg");
    std::vector<std::string> images = call.exposures;
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, {"-o", merged, images[0], images[1], images[2]}), 0);
    const std::string first = readFile(merged);
    const std::string photograph = readFile(images[1]);
    images.push_back(merged);  // burst/*.jpg the second time
    const std::string err = folder.file("stderr.txt");
    for (const std::string& output : {merged, images[1], folder.file("burst/./frame02.jpg")}) {
        std::vector<std::string> arguments{"-o", output};
        arguments.insert(arguments.end(), images.begin(), images.end());
        EXPECT_EQ(runProgram(TL_TESSALINE_BIN, arguments, "", err), 2) << output;
        EXPECT_NE(readFile(err).find("'" + output + "' is one of the images ('"), std::string::npos) << readFile(err);
        const std::string said = readFile(err);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, {"-o", merged, "--instant", merged, images[0], images[1]}, "", err), 2);
    EXPECT_EQ(readFile(merged), first);
    EXPECT_EQ(readFile(images[1]), photograph);
}

// Photographs named by the camera's counter (1.jpg .. 14.jpg, enough to fill every position
// of the front end's call) merged by name: the call is read by name, every photograph stays
// as it was and only the output is written.
TEST_F(MergeFileSafety, PhotographsNamedLikeNumbersAreMergedByName) {
    usePngBurst();
    std::vector<std::string> arguments;  // as a shell gives them in the photographs' folder
    for (int i = 1; i <= 14; ++i) {
        arguments.push_back(std::to_string(i) + ".png");
        fs::copy_file(call.exposures[static_cast<std::size_t>(i % 3)], folder.file(arguments.back()));
    }
    arguments.insert(arguments.end(), {"-o", "merged.hdr", "--ghosting-power", "0"});
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    const int status = runProgram(TL_TESSALINE_BIN, arguments, "", folder.file("stderr.txt"));
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(status, 0) << readFile(folder.file("stderr.txt"));
    EXPECT_TRUE(fs::exists(folder.file("merged.hdr")));
    for (int i = 1; i <= 14; ++i)
        EXPECT_EQ(readFile(folder.file(std::to_string(i) + ".png")),
                  readFile(call.exposures[static_cast<std::size_t>(i % 3)]))
            << i;
    EXPECT_FALSE(fs::exists(folder.file("progress.txt")));
}

// Files this user may not write are kept, as cp and the shell's > keep them: a read-only
// output, a read-only progress file, an output in a folder closed to new files. Refused
// before any work, with the reason; named calls with status 2, calls by position with 1.
TEST_F(MergeFileSafety, ReadOnlyTargetsAreRefusedBeforeTheWork) {
    if (!unprivilegedUserCanRun(TL_TESSALINE_BIN))
        GTEST_SKIP() << "an unprivileged user cannot run " << TL_TESSALINE_BIN << " (a folder above it is closed to others)";
    usePngBurst();
    const std::string keep = folder.file("keep.jpg");
    writeFile(keep, userBytes);
    const std::string closed = folder.file("closed");
    fs::create_directory(closed);
    for (const std::string& path : call.exposures) openToEveryone(path);
    openToEveryone(folder.file("app"));
    openToEveryone(keep);
    openToEveryone(closed);
    fs::permissions(keep, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    RunLimits unprivileged{60, -1, true};
    const std::string err = folder.file("stderr.txt");
    const auto named = [&](const std::string& output) {
        return runProgram(TL_TESSALINE_BIN, {"-o", output, call.exposures[0], call.exposures[1]}, "", err, unprivileged);
    };
    EXPECT_EQ(named(keep), 2);
    EXPECT_NE(readFile(err).find("'" + keep + "' cannot be written: it is read-only"), std::string::npos) << readFile(err);
    EXPECT_EQ(named(closed + "/merged.jpg"), 2);
    EXPECT_NE(readFile(err).find("cannot take a new file"), std::string::npos) << readFile(err);

    call.outputPath = keep;
    call.outputBits = "8";
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments(), "", err, unprivileged), 1);
    EXPECT_NE(log().find("could not be written to '" + keep + "': it is read-only. Nothing was written."),
              std::string::npos)
        << log();
    call.outputPath = folder.file("merged.jpg");
    call.progressPath = keep;
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments(), "", err, unprivileged), 1);
    EXPECT_NE(log().find("The progress file '" + keep + "' cannot be written: it is read-only."), std::string::npos)
        << log();
    EXPECT_EQ(readFile(keep), userBytes);
    EXPECT_FALSE(fs::exists(call.outputPath));
    EXPECT_TRUE(fs::is_empty(closed));
}

// A progress file or log that is one of the images would overwrite it before it is read.
TEST_F(MergeFileSafety, ProgressFileOrLogNamingAnImageIsRefused) {
    usePngBurst();
    call.outputPath = folder.file("merged.hdr");
    const std::string exposure = readFile(call.exposures[2]);
    call.progressPath = folder.path().string() + "/burst/../burst/frame2.png";  // another spelling
    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(readFile(call.exposures[2]), exposure);
    EXPECT_FALSE(fs::exists(call.outputPath));
    EXPECT_NE(log().find("ERROR at function main => The progress file '" + call.progressPath +
                         "' cannot be written: it is one of the input files. Nothing was written."),
              std::string::npos)
        << log();

    // The log itself: said on standard error, since the log is the file refused.
    const std::string logAsImage = folder.file("app/TessalineLog.txt");
    fs::copy_file(call.exposures[0], logAsImage, fs::copy_options::overwrite_existing);
    const std::string image = readFile(logAsImage);
    call.progressPath = folder.file("progress.txt");
    call.exposures[0] = logAsImage;
    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(readFile(logAsImage), image);
    EXPECT_NE(readFile(folder.file("stderr.txt")).find("The log file '" + logAsImage + "' cannot be written: it is "
                                                       "one of the input files."),
              std::string::npos);
}

// A progress file naming the log would wipe it, and one naming a photograph that is not
// among the images (a slip of the front end's positions) would overwrite it: both refused.
TEST_F(MergeFileSafety, ProgressFileNamingTheLogOrAnotherPhotographIsRefused) {
    usePngBurst();
    call.outputPath = folder.file("merged.hdr");
    const std::string logFile = folder.file("app/TessalineLog.txt");
    writeFile(logFile, "earlier entries\n");
    call.progressPath = logFile;
    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(log().rfind("earlier entries\n", 0), 0u) << log();
    EXPECT_NE(log().find("The progress file '" + logFile + "' cannot be written: it is the log file."),
              std::string::npos)
        << log();

    const std::string other = folder.file("8.jpg");
    ASSERT_TRUE(cv::imwrite(other, cv::Mat(8, 8, CV_8UC3, cv::Scalar(1, 2, 3))));
    const std::string photograph = readFile(other);
    call.progressPath = other;
    EXPECT_EQ(merge(), 1);
    EXPECT_EQ(readFile(other), photograph);
    EXPECT_NE(log().find("The progress file '" + other + "' cannot be written: it is an image file."),
              std::string::npos)
        << log();
    EXPECT_FALSE(fs::exists(call.outputPath));

    // By name as well.
    const std::string err = folder.file("stderr.txt");
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN,
                         {"-o", call.outputPath, "--progress", logFile, "--log-dir", folder.file("app"),
                          call.exposures[0], call.exposures[1]},
                         "", err),
              1);
    EXPECT_EQ(log().rfind("earlier entries\n", 0), 0u) << log();
    EXPECT_FALSE(fs::exists(call.outputPath));
}

// A file named like exiftool's backup of the output was there before: it is the user's.
TEST_F(MergeFileSafety, UsersFileNamedLikeTheBackupStays) {
    useTaggedBurst();
    call.outputPath = folder.file("merged.jpg");
    call.outputBits = "8";
    writeFile(call.outputPath + "_original", userBytes);
    ASSERT_EQ(merge(), 0) << log();
    EXPECT_EQ(readFile(call.outputPath + "_original"), userBytes);
    EXPECT_EQ(tag(call.outputPath, "Model"), "Burst Generator\n");
}

// A FIFO would block an open for writing for ever; every such path is refused at once.
TEST_F(MergeFileSafety, FifosAreRefusedWithoutBlocking) {
    usePngBurst();
    const std::string fifo = folder.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    call.outputPath = fifo;
    EXPECT_EQ(merge(), 1);
    call.outputPath = folder.file("merged.hdr");
    call.progressPath = fifo;
    EXPECT_EQ(merge(), 1);
    EXPECT_NE(log().find("The progress file '" + fifo + "' cannot be written: it is not a regular file."),
              std::string::npos)
        << log();
    EXPECT_FALSE(fs::exists(call.outputPath));

    // A FIFO among the exposures, named like a camera raw file, is an image that cannot
    // be read, not one to wait for.
    const std::string rawFifo = folder.file("exposure.nef");
    ASSERT_EQ(mkfifo(rawFifo.c_str(), 0600), 0);
    call.progressPath = folder.file("progress.txt");
    call.exposures.push_back(rawFifo);
    EXPECT_EQ(merge(), 0);
    EXPECT_NE(log().find("The image '" + rawFifo + "' does not exist or we can not open it"), std::string::npos)
        << log();
}

// An exiftool that closes its reply pipe and then hangs: the copy fails at once, the
// exiftool is ended, and the merge finishes with its image.
TEST_F(MergeFileSafety, ExiftoolThatStopsAnsweringDoesNotHoldTheRun) {
    useTaggedBurst();
    const std::string tools = folder.file("app/App/Win/x86");
    fs::create_directories(tools);
    writeFile(tools + "/exiftool", "#!/bin/sh\n[ \"$1\" = -stay_open ] && { exec >&-; exec sleep 600; }\nexit 0\n");
    chmod((tools + "/exiftool").c_str(), 0755);
    call.outputPath = folder.file("merged.jpg");
    call.outputBits = "8";
    EXPECT_EQ(merge({60, -1}), 0) << log();
    EXPECT_FALSE(cv::imread(call.outputPath).empty());
}

// A JPEG holds 8 bits per channel: asked for 16, the merge writes the 8-bit conversion,
// the very file that asking for 8 bits gives, and says so.
TEST_F(MergeFileSafety, SixteenBitsForAnEightBitFormatWritesTheEightBitImage) {
    usePngBurst();
    call.outputPath = folder.file("asked16.jpg");
    call.outputBits = "16";
    ASSERT_EQ(merge(), 0) << log();
    EXPECT_NE(log().find("WARNING at function saveMergedImage => The format of '" + call.outputPath +
                         "' holds 8 bits per channel only: the merged image is written with 8 bits instead of 16."),
              std::string::npos)
        << log();
    const std::string asked16 = call.outputPath;
    call.outputPath = folder.file("asked8.jpg");
    call.outputBits = "8";
    ASSERT_EQ(merge(), 0);
    EXPECT_EQ(readFile(asked16), readFile(call.outputPath));
    EXPECT_LT(cv::mean(cv::imread(asked16))[0], 200);
}

// A library's warning on a standard error nobody reads any more (a truncated JPEG among
// the exposures) must not end the program by SIGPIPE.
TEST_F(MergeFileSafety, ClosedStandardErrorPipeIsNoReasonToStop) {
    usePngBurst();
    std::vector<unsigned char> jpeg;
    cv::imencode(".jpg", cv::imread(call.exposures[0]), jpeg);
    const std::string truncated = folder.file("burst/truncated.jpg");
    writeFile(truncated, std::string(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3)));
    call.exposures.push_back(truncated);
    call.outputPath = folder.file("merged.hdr");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    std::vector<std::string> arguments = call.arguments();
    std::vector<char*> argv{const_cast<char*>(TL_TESSALINE_BIN)};
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], 2);
        execv(TL_TESSALINE_BIN, argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::exists(call.outputPath));
}

} // namespace
