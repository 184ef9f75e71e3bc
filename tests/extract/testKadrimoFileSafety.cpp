#include "tests/extract/KadrimoProgramTest.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

using KadrimoFileSafety = KadrimoProgramTest;

const std::string earlierPicture = "the user's earlier picture, not to be lost\n";

// Each frame extension takes another writer: JPEG is encoded in memory and written as
// bytes, PNG by OpenCV's encoder, TGA (which OpenCV has no encoder for) by DevIL.
class KadrimoFailedWrite : public KadrimoProgramTest, public ::testing::WithParamInterface<const char*> {
protected:
    std::string extension() const { return GetParam(); }
    std::string frame(int number) const { return out() + "/base" + std::to_string(number) + "." + extension(); }
};

// A file-size limit stops the first frame's write half way, as a full disk does: the file
// the user had under that name stays as it was, the half-written file goes, and the run
// stops with a report.
TEST_P(KadrimoFailedWrite, FullDiskKeepsTheFileThatWasThere) {
    constexpr long long limit = 4096;
    // FFmpeg's test pattern, whose detail keeps every frame file well above the limit, so
    // that each write is cut off part way.
    const std::string video = folder.file("pattern.avi");
    ASSERT_EQ(runProgram("/usr/bin/ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                                             "testsrc=size=640x480:rate=25", "-frames:v", "4", "-c:v", "mjpeg",
                                             "-q:v", "3", video}),
              0);
    for (const char* encoding : {".png", ".jpg"}) {
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(cv::imencode(encoding, decodeSequentially(video).at(0), bytes));
        ASSERT_GT(static_cast<long long>(bytes.size()), 4 * limit) << encoding;
    }
    writeFile(frame(1), earlierPicture);

    const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", extension()), "", "",
                                  RunLimits{120, limit});
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(readFile(frame(1)) == earlierPicture);  // not shown: binary on failure
    EXPECT_EQ(filesInOut(), std::vector<std::string>{"base1." + extension()});
    EXPECT_EQ(readFile(list()), "4");
    EXPECT_TRUE(logReports("The frame '" + frame(1) + "' could not be written: File too large.")) << readFile(log());
}

// A frame whose name is taken by a folder cannot be written: the frames before it are
// written and listed, the folder stays, and nothing after it is written.
TEST_P(KadrimoFailedWrite, FrameThatCannotBeWrittenEndsTheExtraction) {
    const std::string video = indexedVideo(6);
    fs::create_directory(frame(3));
    EXPECT_EQ(run(video, 0, 1000, 1000, "base", extension()), 1);
    EXPECT_EQ(readFile(list()), listOf(6, numbered(1, 2, 1), "base", extension()));
    EXPECT_EQ(filesInOut(), (std::vector<std::string>{"base1." + extension(), "base2." + extension(),
                                                      "base3." + extension()}));
    EXPECT_TRUE(fs::is_directory(frame(3)));
    EXPECT_GT(fs::file_size(frame(2)), 1000u);
    EXPECT_TRUE(logReports("The frame '" + frame(3) + "' could not be written: it is not a regular file."))
        << readFile(log());
}

INSTANTIATE_TEST_SUITE_P(Writers, KadrimoFailedWrite, ::testing::Values("jpg", "png", "tga"));

TEST_F(KadrimoFileSafety, MissingOutputFolderIsReportedAndNothingListed) {
    const std::string video = indexedVideo(5);
    const std::string missing = folder.file("no such folder");
    EXPECT_EQ(run(video, 0, 1000, 1000, "base", "png", missing), 1);
    EXPECT_EQ(readFile(list()), "5");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(logReports("The frame '" + missing + "/base1.png' could not be written: No such file or directory."))
        << readFile(log());
}

TEST_F(KadrimoFileSafety, ExtensionThatNoWriterTakesIsReportedAndNothingListed) {
    const std::string video = indexedVideo(5);
    EXPECT_EQ(run(video, 0, 1000, 1000, "base", "xyz"), 1);
    EXPECT_EQ(readFile(list()), "5");
    EXPECT_TRUE(filesInOut().empty());
    EXPECT_TRUE(logReports("The frame '" + out() +
                           "/base1.xyz' could not be written: no writer takes this image under this name (its "
                           "format or element type)."))
        << readFile(log());
}

// The list file naming the video, however its path is spelt, would overwrite it.
TEST_F(KadrimoFileSafety, ListFileThatIsTheVideoIsRefused) {
    const std::string video = indexedVideo(4);
    const std::string bytes = readFile(video);
    fs::create_symlink(video, folder.file("link.avi"));
    fs::create_hard_link(video, folder.file("hard.avi"));
    for (const std::string& spelling : {video, folder.file("./clip.avi"), folder.file("out/../clip.avi"),
                                        folder.file("link.avi"), folder.file("hard.avi")}) {
        const int status = runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "png", "", spelling));
        EXPECT_EQ(status, 1) << spelling;
        EXPECT_TRUE(logReports("The list file '" + spelling +
                               "' cannot be written: it is one of the input files. Nothing was written."))
            << spelling << "\n"
            << readFile(log());
    }
    EXPECT_EQ(readFile(video), bytes);
    EXPECT_TRUE(filesInOut().empty());
}

TEST_F(KadrimoFileSafety, LogThatIsTheVideoIsRefused) {
    const std::string made = indexedVideo(4);
    fs::rename(made, log());
    const std::string bytes = readFile(log());
    const std::string errors = folder.file("errors.txt");
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, arguments(log(), 0, 1000, 1000), "", errors), 1);
    EXPECT_EQ(readFile(log()), bytes);
    EXPECT_NE(readFile(errors).find("kadrimo: The log file '" + log() +
                                    "' cannot be written: it is one of the input files. Nothing was written.\n"),
              std::string::npos)
        << readFile(errors);
    EXPECT_FALSE(fs::exists(list()));
    EXPECT_TRUE(filesInOut().empty());
}

// A list file naming the log would wipe the log: refused like one naming the video, by
// position and by name, and the log keeps what it held.
TEST_F(KadrimoFileSafety, ListFileThatIsTheLogIsRefused) {
    const std::string video = indexedVideo(4);
    writeFile(log(), "earlier entries\n");
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000, "base", "png", "", log())), 1);
    EXPECT_EQ(readFile(log()).rfind("earlier entries\n", 0), 0u) << readFile(log());
    EXPECT_TRUE(logReports("The list file '" + log() + "' cannot be written: it is the log file. Nothing was written."))
        << readFile(log());
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, {video, "-o", out(), "--list", log(), "--log-dir", app()}), 1);
    EXPECT_EQ(readFile(log()).rfind("earlier entries\n", 0), 0u) << readFile(log());
    EXPECT_TRUE(filesInOut().empty());
}

// A frame named like the video (here the video is out/base1.avi and the frames are .avi).
TEST_F(KadrimoFileSafety, FrameThatIsTheVideoIsNotWritten) {
    const std::string made = indexedVideo(3);
    const std::string video = out() + "/base1.avi";
    fs::rename(made, video);
    const std::string bytes = readFile(video);
    EXPECT_EQ(run(video, 0, 1000, 1000, "base", "avi"), 1);
    EXPECT_EQ(readFile(video), bytes);
    EXPECT_EQ(filesInOut(), std::vector<std::string>{"base1.avi"});
    EXPECT_EQ(readFile(list()), "3");
    EXPECT_TRUE(logReports("The frame '" + video + "' could not be written: it is the video itself."))
        << readFile(log());
}

// exiftool keeps the file it rewrites as "<name>_original"; a file of that name that the
// user had stays.
TEST_F(KadrimoFileSafety, UserFilesNamedLikeExiftoolBackupsStay) {
    const std::string video = indexedVideo(2);
    const std::vector<std::string> backups{out() + "/base1.jpg_original", out() + "/base2.jpg_original"};
    for (const std::string& backup : backups) writeFile(backup, earlierPicture + backup);
    ASSERT_EQ(run(video, 0, 1000, 1000, "base", "jpg"), 0);
    for (const std::string& backup : backups) EXPECT_EQ(readFile(backup), earlierPicture + backup);
    EXPECT_EQ(filesInOut(), (std::vector<std::string>{"base1.jpg", "base1.jpg_original", "base2.jpg",
                                                      "base2.jpg_original"}));
    EXPECT_EQ(readFile(list()), listOf(2, numbered(1, 2, 1), "base", "jpg"));
    const std::string tags = folder.file("tags.txt");
    ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-Firmware", out() + "/base2.jpg"}, tags), 0);
    EXPECT_EQ(readFile(tags), "Tessaline\n");
}

} // namespace
