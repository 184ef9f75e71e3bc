#include "extract/VideoFrameSource.hpp"
#include "tests/extract/IndexedVideo.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <climits>

using namespace tl;

namespace {

constexpr int frameCount = 120;

struct VideoKind {
    const char* fileName;
    std::vector<std::string> options;
};

std::ostream& operator<<(std::ostream& out, const VideoKind& kind) { return out << kind.fileName; }

// Frames 40 and on come 0.2 s late: a gap of five frame intervals in the timestamps.
const char* const timestampGap = "setpts='N/25/TB+if(gte(N,40),0.2/TB,0)'";

const VideoKind kinds[] = {
    {"mjpeg.avi", {"-c:v", "mjpeg", "-q:v", "3"}},
    {"mpeg4.avi", {"-c:v", "mpeg4", "-q:v", "4", "-g", "12", "-bf", "2"}},
    {"h264.mp4", {"-c:v", "libx264", "-g", "30", "-pix_fmt", "yuv420p"}},
    {"h264.mkv", {"-c:v", "libx264", "-g", "30", "-pix_fmt", "yuv420p"}},
    {"h264.ts", {"-c:v", "libx264", "-g", "30", "-pix_fmt", "yuv420p"}},
    // Variable frame rate: each frame interval a little longer than the one before.
    {"vfr.mp4",
     {"-vf", "setpts=(N+N*N/200)/25/TB", "-fps_mode", "vfr", "-c:v", "libx264", "-g", "30",
      "-pix_fmt", "yuv420p"}},
    {"gap.mp4", {"-vf", timestampGap, "-fps_mode", "vfr", "-c:v", "libx264", "-pix_fmt", "yuv420p"}},
    {"gap.avi", {"-vf", timestampGap, "-fps_mode", "vfr", "-c:v", "mpeg4", "-q:v", "4", "-bf", "2"}},
    {"gap-mjpeg.avi", {"-vf", timestampGap, "-fps_mode", "vfr", "-c:v", "mjpeg"}},
};

class FramePositionTest : public ::testing::TestWithParam<VideoKind> {
protected:
    TempFolder folder;
    std::string video;
    std::vector<cv::Mat> sequential;

    void SetUp() override {
        video = makeIndexedVideo(folder.path().string(), GetParam().fileName, frameCount, GetParam().options);
        ASSERT_FALSE(video.empty()) << "ffmpeg could not make " << GetParam().fileName;
        sequential = decodeSequentially(video);
        ASSERT_EQ(static_cast<int>(sequential.size()), frameCount);
        for (int i = 0; i < frameCount; ++i) ASSERT_EQ(shownIndex(sequential[i]), i);
    }

    // Seeks to first and reads count frames; each must equal the sequential decode.
    void expectFramesFrom(VideoFrameSource& source, int first, int count) {
        source.seekTo(first);
        for (int i = first; i < first + count; ++i) {
            const cv::Mat frame = source.read();
            ASSERT_FALSE(frame.empty()) << "frame " << i;
            EXPECT_EQ(shownIndex(frame), i);
            EXPECT_TRUE(samePixels(frame, sequential[i])) << "frame " << i;
        }
    }
};

// A limit of 0 makes every seek try the timestamp route first.
TEST_P(FramePositionTest, TimestampSeeksDeliverTheFramesOfASequentialDecode) {
    for (const int first : {1, 2, 38, 41, 45, 77, 117}) {
        VideoFrameSource source(video, 0);
        ASSERT_TRUE(source.isOpen());
        expectFramesFrom(source, first, 3);
    }
}

TEST_P(FramePositionTest, ForwardReadingDeliversTheFramesOfASequentialDecode) {
    VideoFrameSource source(video);
    expectFramesFrom(source, 0, 2);
    expectFramesFrom(source, 44, 3);
    expectFramesFrom(source, 10, 2);  // backwards: starts over
}

TEST_P(FramePositionTest, ReadingPastTheLastFrameEnds) {
    VideoFrameSource source(video, 0);
    expectFramesFrom(source, frameCount - 2, 2);
    EXPECT_TRUE(source.read().empty());
    source.seekTo(frameCount + 5);
    EXPECT_TRUE(source.read().empty());
}

INSTANTIATE_TEST_SUITE_P(Containers, FramePositionTest, ::testing::ValuesIn(kinds),
                         [](const auto& info) {
                             std::string name = info.param.fileName;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(VideoFrameSourceTest, MissingUnreadableAndNonVideoFilesDoNotOpen) {
    TempFolder folder;
    EXPECT_FALSE(VideoFrameSource(folder.file("missing.avi")).isOpen());
    EXPECT_FALSE(VideoFrameSource(folder.path().string()).isOpen());
    writeFile(folder.file("text.avi"), "not a video at all");
    EXPECT_FALSE(VideoFrameSource(folder.file("text.avi")).isOpen());
}

// Without a count in the header the frames are counted by decoding them: a still image
// is one frame, a streamed WebM as many as decode.
TEST(VideoFrameSourceTest, FilesWithoutAFrameCountAreCountedByDecoding) {
    TempFolder folder;
    cv::imwrite(folder.file("still.png"), cv::Mat(16, 16, CV_8UC3, cv::Scalar(1, 2, 3)));
    VideoFrameSource still(folder.file("still.png"));
    ASSERT_TRUE(still.isOpen());  // the capture takes a still image for a video
    EXPECT_EQ(still.frameCount(), 1);

    const std::string video = makeIndexedVideo(folder.path().string(), "streamed.webm", 23,
                                               {"-c:v", "libvpx", "-live", "1"});
    ASSERT_LT(cv::VideoCapture(video, cv::CAP_FFMPEG).get(cv::CAP_PROP_FRAME_COUNT), 0.0);
    VideoFrameSource streamed(video);
    EXPECT_EQ(streamed.frameCount(), 23);
    EXPECT_EQ(shownIndex(streamed.read()), 0);  // counting leaves the source at the start
}

TEST(VideoFrameSourceTest, RealClipsMatchTheirSequentialDecode) {
    TL_REQUIRE_TEST_DATA("video/Megamind.avi");
    const std::string path = testDataPath("video/Megamind.avi");
    const std::vector<cv::Mat> sequential = decodeSequentially(path);
    ASSERT_EQ(sequential.size(), 270u);
    VideoFrameSource source(path, 0);
    EXPECT_EQ(source.frameCount(), 270);
    for (const int first : {67, 200, 269}) {
        source.seekTo(first);
        EXPECT_TRUE(samePixels(source.read(), sequential[first])) << first;
    }
}

} // namespace
