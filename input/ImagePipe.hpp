#pragma once

#include <opencv2/core.hpp>

#include <chrono>

namespace tl {

// One image through a pipe, from the decoder program to the program that asked for it: a
// header of rows, columns and type (rows 0 for no image), then the pixels row after row.

// Writes image (or no image, when it is empty) to fd. False when the pipe broke.
bool sendImage(int fd, const cv::Mat& image);

// What arrived on a pipe: the image when it came whole before the deadline (an empty one
// when the sender had none), and whether it did.
struct ReceivedImage {
    cv::Mat image;
    bool complete = false;
};

// Reads one image from fd until the deadline. A header that no sound sender writes sizes
// no allocation: it counts as incomplete, and so does an image with no room for it here.
ReceivedImage receiveImage(int fd, std::chrono::steady_clock::time_point deadline);

} // namespace tl
