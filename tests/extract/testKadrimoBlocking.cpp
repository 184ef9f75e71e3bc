#include "tests/extract/KadrimoProgramTest.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

// Long enough for any run here, short enough that a hang fails the test soon.
constexpr int timeLimit = 60;

using KadrimoBlocking = KadrimoProgramTest;

// exiftool in the application's tool folder, made of the given shell lines.
void installExiftool(const std::string& applicationFolder, const std::string& body) {
    const std::string tools = applicationFolder + "/App/Win/x86";
    fs::create_directories(tools);
    writeFile(tools + "/exiftool", "#!/bin/sh\n" + body);
    fs::permissions(tools + "/exiftool", fs::perms::owner_all);
}

// An exiftool that, kept alive, closes its answers and then hangs: the kept-alive one is
// given up at once, and each frame is tagged by an exiftool of its own.
TEST_F(KadrimoBlocking, ExiftoolThatClosesItsRepliesAndHangsIsGivenUp) {
    installExiftool(app(), "[ \"$1\" = -stay_open ] || exec /usr/bin/exiftool \"$@\"\n"
                           "exec >&-\n"
                           "exec sleep 600\n");
    const std::string video = indexedVideo(3);
    const int status =
        runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "jpg"), "", "", RunLimits{timeLimit, -1});
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(list()), listOf(3, numbered(1, 3, 1), "base", "jpg"));
    for (int i = 1; i <= 3; ++i) {
        const std::string tags = folder.file("tags.txt");
        ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-Firmware", out() + "/base" + std::to_string(i) + ".jpg"},
                             tags),
                  0);
        EXPECT_EQ(readFile(tags), "Tessaline\n") << i;
    }
}

// FIFOs where the program opens files: none may block the run.
TEST_F(KadrimoBlocking, FifoAsListFileIsRefused) {
    const std::string video = indexedVideo(3);
    ASSERT_EQ(mkfifo(list().c_str(), 0644), 0);
    const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000), "", "", RunLimits{timeLimit, -1});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(logReports("The list file '" + list() +
                           "' cannot be written: it is not a regular file. Nothing was written."))
        << readFile(log());
    EXPECT_TRUE(filesInOut().empty());
}

TEST_F(KadrimoBlocking, FifoAsLogIsRefused) {
    const std::string video = indexedVideo(3);
    ASSERT_EQ(mkfifo(log().c_str(), 0644), 0);
    const std::string errors = folder.file("errors.txt");
    const int status =
        runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000), "", errors, RunLimits{timeLimit, -1});
    EXPECT_EQ(status, 1);
    EXPECT_NE(readFile(errors).find("kadrimo: The log file '" + log() +
                                    "' cannot be written: it is not a regular file. Nothing was written.\n"),
              std::string::npos)
        << readFile(errors);
    EXPECT_FALSE(fs::exists(list()));
    EXPECT_TRUE(filesInOut().empty());
}

TEST_F(KadrimoBlocking, FifoAsVideoCannotBeOpened) {
    const std::string video = folder.file("clip.avi");
    ASSERT_EQ(mkfifo(video.c_str(), 0644), 0);
    const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000), "", "", RunLimits{timeLimit, -1});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(logReports("The video '" + video + "' does not exist or we can not open it.")) << readFile(log());
    EXPECT_FALSE(fs::exists(list()));
}

TEST_F(KadrimoBlocking, FifoAsFrameFileIsNotWritten) {
    const std::string video = indexedVideo(3);
    const std::string frame = out() + "/base2.png";
    ASSERT_EQ(mkfifo(frame.c_str(), 0644), 0);
    const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000), "", "", RunLimits{timeLimit, -1});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(readFile(list()), listOf(3, numbered(1, 1, 1)));
    EXPECT_TRUE(logReports("The frame '" + frame + "' could not be written: it is not a regular file."))
        << readFile(log());
    EXPECT_EQ(filesInOut(), (std::vector<std::string>{"base1.png", "base2.png"}));
}

} // namespace
