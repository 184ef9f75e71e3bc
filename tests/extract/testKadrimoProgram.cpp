#include "tests/extract/KadrimoProgramTest.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>
#include <sstream>

using namespace tl;

namespace {

using KadrimoProgram = KadrimoProgramTest;

TEST_F(KadrimoProgram, FewerThanNinePositionsEndWithStatusOneAndTouchNothing) {
    const std::vector<std::string> full{"1", "0", "1000", "1000", folder.file("missing.avi"),
                                        out(), "base", "png", list()};
    // Six to eight positions lack names the run needs: treated like too few, and said.
    const std::string err = folder.file("stderr.txt");
    for (const long n : {1, 6, 8}) {
        EXPECT_EQ(runProgram(TL_KADRIMO_BIN, {full.begin(), full.begin() + n}, "", err), 1) << n;
        EXPECT_EQ(readFile(err), "kadrimo: a call by position has 9 or 10 positions, this one has " +
                                     std::to_string(n) + " arguments (see kadrimo --help)\n");
    }
    // No argument at all is a usage error of the named options.
    EXPECT_EQ(runProgram(TL_KADRIMO_BIN, {}, "", err), 2);
    EXPECT_FALSE(std::filesystem::exists(list()));
    EXPECT_EQ(filesInOut().size(), 0u);
}

TEST_F(KadrimoProgram, MissingVideoIsReportedAndTheListKept) {
    writeFile(list(), "an earlier list");
    writeFile(log(), "kept\n");
    const std::string video = folder.file("no such video.avi");
    EXPECT_EQ(run(video, 0, 1000, 1000), 1);
    EXPECT_EQ(readFile(list()), "an earlier list");
    const std::string text = readFile(log());
    EXPECT_EQ(text.rfind("kept\n", 0), 0u);
    EXPECT_NE(text.find("\nERROR at function main => The video '" + video +
                        "' does not exist or we can not open it.\n\n"),
              std::string::npos)
        << text;
}

TEST_F(KadrimoProgram, FileThatIsNoVideoIsReportedLikeAMissingOne) {
    const std::string notVideo = folder.file("notes.avi");
    writeFile(notVideo, "plain text, no video");
    EXPECT_EQ(run(notVideo, 0, 1000, 1000), 1);
    EXPECT_NE(readFile(log()).find("The video '" + notVideo + "' does not exist or we can not open it."),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(list()));
}

TEST_F(KadrimoProgram, ZeroDenominatorIsReportedWithoutFrames) {
    const std::string video = indexedVideo(12);
    writeFile(list(), "an earlier list");
    EXPECT_EQ(run(video, 0, 5, 0), 1);
    EXPECT_NE(readFile(log()).find("ERROR at function main => The frame window of the video '" + video +
                                   "' has a denominator of 0."),
              std::string::npos)
        << readFile(log());
    EXPECT_EQ(readFile(list()), "an earlier list");
    EXPECT_EQ(filesInOut().size(), 0u);
}

// A still image decodes as one frame, whose file holds the image.
TEST_F(KadrimoProgram, StillImageIsAVideoOfOneFrame) {
    const std::string still = folder.file("still.png");
    const cv::Mat image(24, 32, CV_8UC3, cv::Scalar(9, 8, 7));
    cv::imwrite(still, image);
    EXPECT_EQ(run(still, 0, 1000, 1000), 0);
    EXPECT_EQ(readFile(list()), listOf(1, {"1"}));
    EXPECT_TRUE(samePixels(written(1, 1), image));
    EXPECT_FALSE(std::filesystem::exists(log()));
}

// A file that opens as a video but whose every frame is cut off: a streamed WebM that
// ends inside its first frame.
TEST_F(KadrimoProgram, VideoWithoutADecodableFrameReportsNoFrames) {
    const std::string bytes = readFile(indexedVideo(5, "whole.webm", {"-c:v", "libvpx", "-live", "1"}));
    const std::size_t firstCluster = bytes.find("\x1F\x43\xB6\x75");
    ASSERT_NE(firstCluster, std::string::npos);
    const std::string video = folder.file("clip.webm");
    writeFile(video, bytes.substr(0, firstCluster + 16));
    ASSERT_TRUE(cv::VideoCapture(video, cv::CAP_FFMPEG).isOpened());
    ASSERT_TRUE(decodeSequentially(video).empty());
    EXPECT_EQ(run(video, 0, 1000, 1000), 1);
    EXPECT_TRUE(logReports("The video '" + video + "' reports no frames.")) << readFile(log());
    EXPECT_FALSE(std::filesystem::exists(list()));
    EXPECT_EQ(filesInOut().size(), 0u);
}

// A video whose header counts no frames is counted by decoding it: the window falls on
// the frames of a sequential decode.
TEST_F(KadrimoProgram, StreamedVideosWithoutAFrameCountAreCut) {
    for (const auto& [name, codec] : {std::pair{"clip.webm", "libvpx"}, std::pair{"clip.mkv", "libx264"}}) {
        const std::string video = indexedVideo(36, name, {"-c:v", codec, "-pix_fmt", "yuv420p", "-live", "1"});
        ASSERT_LT(cv::VideoCapture(video, cv::CAP_FFMPEG).get(cv::CAP_PROP_FRAME_COUNT), 0.0) << name;
        const std::vector<cv::Mat> sequential = decodeSequentially(video);
        ASSERT_EQ(sequential.size(), 36u) << name;
        // 36 frames: J = 0.036, the window starts at frame 9 and holds 18 - 9 = 9 frames.
        expectWindowOfSequentialFrames(video, sequential, 250, 500, 1000, 9, 9);
        expectWindowOfSequentialFrames(video, sequential, 0, 1000, 1000, 0, 36);
        EXPECT_FALSE(std::filesystem::exists(log())) << name;
    }
}

TEST_F(KadrimoProgram, WorkedExampleOnTheRealClip) {
    TL_REQUIRE_TEST_DATA("video/Megamind.avi");
    const std::string video = testDataPath("video/Megamind.avi");
    // 270 frames: J = 0.27, the window starts at frame 67 and holds 135 - 67 = 68 frames.
    EXPECT_EQ(run(video, 250, 500, 1000, "base", "jpg"), 0);
    EXPECT_EQ(readFile(list()), listOf(68, numbered(1, 68, 2), "base", "jpg"));
    EXPECT_EQ(filesInOut().size(), 68u);
    EXPECT_FALSE(std::filesystem::exists(log()));
    // Each JPEG is closer to its own frame than to the frames beside it.
    const std::vector<cv::Mat> frames = decodeSequentially(video);
    ASSERT_EQ(frames.size(), 270u);
    for (const int number : {1, 34, 68}) {
        const cv::Mat written = cv::imread(out() + "/base" + numbered(number, number, 2)[0] + ".jpg");
        ASSERT_FALSE(written.empty()) << number;
        const int frame = 67 + number - 1;
        const double own = cv::norm(written, frames[frame], cv::NORM_L1);
        EXPECT_LT(own, cv::norm(written, frames[frame - 1], cv::NORM_L1)) << number;
        EXPECT_LT(own, cv::norm(written, frames[frame + 1], cv::NORM_L1)) << number;
    }
}

TEST_F(KadrimoProgram, VideoEndingBeforeTheWindowListsWhatWasRead) {
    TL_REQUIRE_TEST_DATA("video/tree.avi");
    const std::string video = testDataPath("video/tree.avi");
    // The header claims 444 frames; 68 decode.
    EXPECT_EQ(run(video, 0, 1000, 1000), 1);
    EXPECT_EQ(readFile(list()), listOf(68, numbered(1, 68, 3)));
    EXPECT_TRUE(logReports("The video '" + video +
                           "' broke off: only 68 of the 444 frames of the window could be read; the list file "
                           "counts those 68."))
        << readFile(log());
}

// The AVI at bytes cut where the chunk of the frame numbered kept (from 0) begins: the
// frames before it stay whole, and the header still counts them all.
std::string aviCutBeforeFrame(const std::string& bytes, int kept) {
    const auto sizeAt = [&](std::size_t at) {
        std::size_t size = 0;
        for (std::size_t i = 4; i-- > 0;) size = size << 8 | static_cast<unsigned char>(bytes[at + i]);
        return size + (size & 1);  // chunks are padded to an even length
    };
    int frames = 0;
    for (std::size_t at = bytes.find("movi") + 4; at + 8 <= bytes.size(); at += 8 + sizeAt(at + 4))
        if (bytes.compare(at, 4, "00dc") == 0 && frames++ == kept) return bytes.substr(0, at);
    return bytes;
}

TEST_F(KadrimoProgram, VideoThatBreaksOffListsAndCountsTheFramesRead) {
    const std::string video = folder.file("broken.avi");
    writeFile(video, aviCutBeforeFrame(readFile(indexedVideo(36)), 22));
    const std::vector<cv::Mat> sequential = decodeSequentially(video);
    ASSERT_EQ(sequential.size(), 22u);
    EXPECT_EQ(run(video, 0, 1000, 1000), 1);
    EXPECT_EQ(readFile(list()), listOf(22, numbered(1, 22, 2)));
    EXPECT_TRUE(logReports("The video '" + video +
                           "' broke off: only 22 of the 36 frames of the window could be read; the list file "
                           "counts those 22."))
        << readFile(log());
    for (int i = 1; i <= 22; ++i) EXPECT_TRUE(samePixels(written(i, 2), sequential[static_cast<std::size_t>(i - 1)])) << i;
    EXPECT_EQ(filesInOut().size(), 22u);
    // The list was replaced whole: no temporary list stays beside it.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().find(".list"), std::string::npos) << entry.path();

    // A window that starts after the break has nothing to list.
    EXPECT_EQ(run(video, 900, 1000, 1000), 1);
    EXPECT_EQ(readFile(list()), "0");
}

TEST_F(KadrimoProgram, ListNamesAreUtf8AndTheOutputFolderLosesOneSlash) {
    const std::string video = indexedVideo(3);
    EXPECT_EQ(run(video, 0, 1, 3, "caf\xE9", "png", out() + "/"), 0);
    EXPECT_EQ(readFile(list()), "1\n" + out() + "/caf\xC3\xA9" "1.png");
    EXPECT_EQ(run(video, 0, 1, 3, "caf\xC3\xA9"), 0);
    EXPECT_EQ(readFile(list()), "1\n" + out() + "/caf\xC3\xA9" "1.png");
}

// Windows far enough into the video for the timestamp seek, and near its start.
class KadrimoFrameAccuracy : public KadrimoProgram,
                             public ::testing::WithParamInterface<std::pair<const char*, std::vector<std::string>>> {};

TEST_P(KadrimoFrameAccuracy, WrittenFramesAreTheFramesOfASequentialDecode) {
    constexpr int frames = 540;
    const std::string video = indexedVideo(frames, GetParam().first, GetParam().second);
    const std::vector<cv::Mat> sequential = decodeSequentially(video);
    ASSERT_EQ(sequential.size(), static_cast<std::size_t>(frames));
    expectWindowOfSequentialFrames(video, sequential, 520, 524, frames, 520, 4);
    expectWindowOfSequentialFrames(video, sequential, 3, 7, frames, 3, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Containers, KadrimoFrameAccuracy,
    ::testing::Values(
        std::make_pair("mjpeg.avi", std::vector<std::string>{"-c:v", "mjpeg", "-q:v", "3"}),
        std::make_pair("mpeg4.avi", std::vector<std::string>{"-c:v", "mpeg4", "-q:v", "4", "-bf", "2"}),
        std::make_pair("h264.mp4", std::vector<std::string>{"-c:v", "libx264", "-pix_fmt", "yuv420p"}),
        std::make_pair("vfr.mp4", std::vector<std::string>{"-vf", "setpts=(N+N*N/2000)/25/TB", "-fps_mode",
                                                           "vfr", "-c:v", "libx264", "-pix_fmt", "yuv420p"}),
        // Written as a live recorder writes them: the container never learns its length, and
        // the capture reports no frame count.
        std::make_pair("streamed.webm", std::vector<std::string>{"-c:v", "libvpx", "-b:v", "1M", "-live", "1"}),
        std::make_pair("streamed.mkv",
                       std::vector<std::string>{"-c:v", "libx264", "-pix_fmt", "yuv420p", "-live", "1"})),
    [](const auto& info) {
        std::string name = info.param.first;
        name[name.find('.')] = '_';
        return name;
    });

TEST_F(KadrimoProgram, WrittenJpegsCarryTheFrameKeywordAndFirmware) {
    const std::string video = indexedVideo(6, "clip.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"});
    ASSERT_EQ(run(video, 1, 4, 6, "base", "jpg"), 0);
    for (int i = 1; i <= 3; ++i) {
        const std::string tags = folder.file("tags.txt");
        ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-Keywords", "-Firmware", out() + "/base" +
                                                   std::to_string(i) + ".jpg"}, tags), 0);
        EXPECT_EQ(readFile(tags), "Tessaline_ImageFromVideo\nTessaline\n") << i;
    }
    for (const auto& entry : std::filesystem::directory_iterator(out()))
        EXPECT_EQ(entry.path().string().find("_original"), std::string::npos) << entry.path();
    EXPECT_EQ(filesInOut().size(), 3u);
}

TEST_F(KadrimoProgram, FramesAtTheEdgesOfTheVideo) {
    const std::string video = indexedVideo(20);
    const std::vector<cv::Mat> sequential = decodeSequentially(video);
    expectWindowOfSequentialFrames(video, sequential, 1000, 1000, 1000, 19, 1);  // the last frame
    expectWindowOfSequentialFrames(video, sequential, -5, 3, 20, 0, 3);     // starts at frame 0
    expectWindowOfSequentialFrames(video, sequential, 5, 15, 20, 5, 10);    // 01 ... 09, 10
}

// Frames of a format whose tags exiftool writes into each file (TIFF): exiftool tags one
// frame while the next is prepared in memory; on disk the frames must still come one
// finished file after the other: a frame is tagged under a hidden temporary name and
// appears under its own name, listed, only before the next copy is handed over. The
// program's exiftool here is the real one behind a filter that notes, whenever a copy is
// handed over, the output folder (without hidden files) and the list file at that moment.
TEST_F(KadrimoProgram, EachFrameIsTaggedAndListedBeforeTheNextFileAppears) {
    const std::string video = indexedVideo(6, "clip.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p"});
    const std::string record = folder.file("record.txt");
    const std::string tools = app() + "/App/Win/x86";
    std::filesystem::create_directories(tools);
    writeFile(tools + "/exiftool",
              "#!/bin/sh\n"
              "[ \"$1\" = -stay_open ] || exec /usr/bin/exiftool \"$@\"\n"
              "while IFS= read -r line; do\n"
              "  case \"$line\" in -execute*) { echo '#'; ls '" + out() + "'; cat '" + list() +
                  "'; echo; } >> '" + record + "';; esac\n"
              "  printf '%s\\n' \"$line\"\n"
              "done | exec /usr/bin/exiftool \"$@\"\n");
    std::filesystem::permissions(tools + "/exiftool", std::filesystem::perms::owner_all);
    ASSERT_EQ(run(video, 0, 4, 6, "base", "tif"), 0);

    // The video's tags are read first, while the capture seeks and the first frame is
    // written (what that record shows depends on timing), then one copy per frame.
    const std::string recorded = readFile(record);
    const std::size_t firstFrameCopy = recorded.find("#\n", 1);
    ASSERT_NE(firstFrameCopy, std::string::npos) << recorded;
    std::string expected;
    std::string listed = "4";
    std::string files;
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "base" + std::to_string(i) + ".tif";
        expected += "#\n" + files + listed + "\n";
        files += name + "\n";
        listed += "\n" + out() + "/" + name;
    }
    EXPECT_EQ(recorded.substr(firstFrameCopy), expected);
    EXPECT_EQ(readFile(list()), listed);
    for (int i = 1; i <= 4; ++i) {
        const std::string tags = folder.file("tags.txt");
        ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-Firmware", out() + "/base" + std::to_string(i) + ".tif"},
                             tags),
                  0);
        EXPECT_EQ(readFile(tags), "Tessaline\n") << i;
    }
}

} // namespace
