#pragma once

#include "tests/extract/IndexedVideo.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace tl {

// The numbers first ... last, each padded with "0"s to width digits, as frame files are named.
std::vector<std::string> numbered(int first, int last, int width);

// The frame extractor started as the front end starts it, in a fresh folder holding the
// application folder "app" (with its log), the output folder "out" and the list file.
class KadrimoProgramTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string app() const { return folder.file("app"); }
    std::string log() const { return folder.file("app/TessalineLog.txt"); }
    std::string out() const { return folder.file("out"); }
    std::string list() const { return folder.file("list.txt"); }

    void SetUp() override;

    // The program's command line for the window [s/d, e/d) of video.
    std::vector<std::string> arguments(const std::string& video, int s, int e, int d, const std::string& base = "base",
                                       const std::string& extension = "png", const std::string& outputFolder = "",
                                       const std::string& listFile = "") const;

    int run(const std::string& video, int s, int e, int d, const std::string& base = "base",
            const std::string& extension = "png", const std::string& outputFolder = "");

    // The expected list file: the count, then out/base + number + "." + extension for each of
    // the given numbers.
    std::string listOf(int count, const std::vector<std::string>& numbers, const std::string& base = "base",
                       const std::string& extension = "png") const;

    // The names in the output folder, sorted.
    std::vector<std::string> filesInOut() const;

    std::string indexedVideo(int frames, const std::string& fileName = "clip.avi",
                             const std::vector<std::string>& options = {"-c:v", "mjpeg", "-q:v", "3"},
                             int width = 96, int height = 72);

    // The frame file numbered number (of a window of at most 99 frames), read back.
    cv::Mat written(int number, int width, const std::string& extension = "png") const;

    // Whether the log holds an error report under "main" with exactly this message.
    bool logReports(const std::string& message) const;

    // Runs the window [s/d, e/d) over the video and checks that the file numbered i holds
    // frame first + i - 1 of the sequential decode, pixel for pixel.
    void expectWindowOfSequentialFrames(const std::string& video, const std::vector<cv::Mat>& frames, int s, int e,
                                        int d, int first, int count);
};

} // namespace tl
