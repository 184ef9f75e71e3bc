#include "tests/extract/IndexedVideo.hpp"

#include "tests/support/RunProgram.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <filesystem>

namespace tl {

namespace {

constexpr int columns = 4;
constexpr int rows = 3;
constexpr int bits = columns * rows;

cv::Rect blockOf(int bit, cv::Size size) {
    const int w = size.width / columns;
    const int h = size.height / rows;
    return {(bit % columns) * w, (bit / columns) * h, w, h};
}

cv::Mat indexedFrame(int index, int width, int height) {
    cv::Mat frame(height, width, CV_8UC3);
    for (int bit = 0; bit < bits; ++bit) {
        const bool set = (index >> bit) & 1;
        frame(blockOf(bit, frame.size())).setTo(set ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0));
    }
    return frame;
}

std::string frameFileName(const std::string& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%05d.png", index);
    return folder + name;
}

} // namespace

std::string makeIndexedVideo(const std::string& folder, const std::string& fileName, int count,
                             const std::vector<std::string>& encoderOptions, int width, int height) {
    const std::string frames = folder + "/frames-" + fileName;
    std::filesystem::create_directories(frames);
    for (int i = 0; i < count; ++i) cv::imwrite(frameFileName(frames, i), indexedFrame(i, width, height));

    const std::string video = folder + "/" + fileName;
    std::vector<std::string> arguments{"-hide_banner", "-loglevel", "error", "-y",
                                       "-framerate",   "25",        "-i",    frames + "/frame%05d.png"};
    arguments.insert(arguments.end(), encoderOptions.begin(), encoderOptions.end());
    arguments.push_back(video);
    const int status = runProgram("/usr/bin/ffmpeg", arguments);
    std::filesystem::remove_all(frames);
    return status == 0 ? video : std::string();
}

int shownIndex(const cv::Mat& frame) {
    int index = 0;
    for (int bit = 0; bit < bits; ++bit) {
        const cv::Rect block = blockOf(bit, frame.size());
        // The block's centre half: the edges blur under compression.
        const cv::Rect centre(block.x + block.width / 4, block.y + block.height / 4, block.width / 2,
                              block.height / 2);
        if (cv::mean(frame(centre))[1] > 128) index |= 1 << bit;
    }
    return index;
}

std::vector<cv::Mat> decodeSequentially(const std::string& videoPath) {
    std::vector<cv::Mat> frames;
    cv::VideoCapture capture(videoPath, cv::CAP_FFMPEG);
    cv::Mat frame;
    while (capture.read(frame)) frames.push_back(frame.clone());
    return frames;
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace tl
