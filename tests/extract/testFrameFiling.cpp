#include "extract/EncodedFrameQueue.hpp"
#include "extract/FrameFiler.hpp"
#include "output/EncodedImage.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

EncodedFrame namedFrame(const std::string& name) { return {name, cv::Mat(), {}}; }

TEST(EncodedFrameQueue, FramesComeOutInTheOrderPutAcrossThreads) {
    EncodedFrameQueue queue(2);
    std::thread producer([&] {
        for (int i = 0; i < 200; ++i) queue.put(namedFrame(std::to_string(i)));
        queue.close();
    });
    std::vector<std::string> taken;
    while (std::optional<EncodedFrame> frame = queue.take()) taken.push_back(frame->path);
    producer.join();
    ASSERT_EQ(taken.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(taken[static_cast<std::size_t>(i)], std::to_string(i));
}

TEST(EncodedFrameQueue, ClosingHandsOutTheRestThenNothing) {
    EncodedFrameQueue queue(3);
    queue.put(namedFrame("a"));
    queue.put(namedFrame("b"));
    queue.close();
    queue.put(namedFrame("dropped"));
    EXPECT_EQ(queue.take()->path, "a");
    EXPECT_EQ(queue.take()->path, "b");
    EXPECT_FALSE(queue.take().has_value());
    EXPECT_FALSE(queue.take().has_value());
}

// The filing thread closes the queue when it ends; a reader waiting for room must not
// wait for ever.
TEST(EncodedFrameQueue, ClosingReleasesAProducerWaitingForRoom) {
    EncodedFrameQueue queue(1);
    std::thread producer([&] {
        for (int i = 0; i < 3; ++i) queue.put(namedFrame(std::to_string(i)));
    });
    queue.close();
    producer.join();
    const std::optional<EncodedFrame> left = queue.take();
    EXPECT_TRUE(!left || left->path == "0");  // "0" only if put before the close
    EXPECT_FALSE(queue.take().has_value());
}

const std::string photo = "bracket-desk/img05.jpg";

class FrameFilerTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string list() const { return folder.file("list.txt"); }

    // Hands count small frames to a filer, encoded as the extractor encodes them.
    void fileFrames(const std::string& tagSource, int count) const {
        FrameListFile frames(list());
        frames.start(count);
        FrameTags tags(tagSource, folder.file("f1.jpg"), cv::Size(24, 16));
        FrameFiler filer(frames, tags, tagSource);
        for (int i = 1; i <= count; ++i) {
            const std::string path = folder.file("f" + std::to_string(i) + ".jpg");
            cv::Mat frame(16, 24, CV_8UC3, cv::Scalar::all(10 * i));
            std::vector<unsigned char> bytes = encodeImage(path, frame);
            filer.file({path, frame, std::move(bytes)});
        }
        filer.finish();
    }

    std::string expectedList(int count) const {
        std::string text = std::to_string(count);
        for (int i = 1; i <= count; ++i) text += "\n" + folder.file("f" + std::to_string(i) + ".jpg");
        return text;
    }
};

TEST_F(FrameFilerTest, FramesAreWrittenTaggedAndListedInOrder) {
    TL_REQUIRE_TEST_DATA(photo);
    fileFrames(testDataPath(photo), 5);
    EXPECT_EQ(readFile(list()), expectedList(5));
    for (int i = 1; i <= 5; ++i) {
        const std::string frame = folder.file("f" + std::to_string(i) + ".jpg");
        const std::string tags = folder.file("tags.txt");
        ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-Make", "-Keywords", "-Firmware", frame}, tags), 0);
        EXPECT_EQ(readFile(tags), "Canon\nTessaline_ImageFromVideo\nTessaline\n") << i;
        EXPECT_FALSE(fs::exists(frame + "_original")) << i;
    }
}

// Without room for a thread the frames are filed as they are handed over. No exiftool
// can start under the cap either (nor is one on the path), so the files stay untagged
// but are complete and listed in order.
TEST_F(FrameFilerTest, WithoutAThreadFramesAreFiledAsTheyCome) {
    const std::string missing = folder.file("no-video.mp4");
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY({
        setenv("PATH", "/nonexistent", 1);
        if (!preventThreadStarts()) std::_Exit(2);
        fileFrames(missing, 4);
        for (int i = 1; i <= 4; ++i)
            if (cv::imread(folder.file("f" + std::to_string(i) + ".jpg")).empty()) std::_Exit(3);
        std::_Exit(readFile(list()) == expectedList(4) ? 0 : 4);
    });
}

} // namespace
