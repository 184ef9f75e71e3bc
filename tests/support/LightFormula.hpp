#pragma once

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <vector>

namespace tl {

// The light image written out the slow, obvious way: the instant image as it is, plus
// every exposure raised to 2.2 with std::pow, divided by the largest sum over all
// channels, raised to 1/2.2 in double precision and stored as float.
inline cv::Mat straightforwardLight(const cv::Mat& instant, const std::vector<cv::Mat>& exposures) {
    cv::Mat sum;
    instant.convertTo(sum, CV_64F);
    const int total = static_cast<int>(sum.total() * sum.channels());
    for (const cv::Mat& e : exposures) {
        cv::Mat values;
        e.convertTo(values, CV_64F);
        for (int i = 0; i < total; ++i) sum.ptr<double>()[i] += std::pow(values.ptr<double>()[i], 2.2);
    }
    double largest = 0;
    cv::minMaxLoc(sum.reshape(1), nullptr, &largest);
    cv::Mat light(sum.size(), CV_32FC(sum.channels()));
    for (int i = 0; i < total; ++i)
        light.ptr<float>()[i] = static_cast<float>(std::pow(sum.ptr<double>()[i] / largest, 1 / 2.2));
    return light;
}

// Same type, same size, same bytes.
inline bool bitIdentical(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && a.isContinuous() && b.isContinuous() &&
           std::memcmp(a.data, b.data, a.total() * a.elemSize()) == 0;
}

} // namespace tl
