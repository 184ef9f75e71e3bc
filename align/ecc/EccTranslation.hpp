#pragma once

#include <opencv2/core.hpp>

#include <limits>

namespace tl {

// How far one estimate went: the iterations it entered and the correlation coefficient
// reached in the last of them (not a number before the first).
struct EccTrace {
    int iterations = 0;
    double correlation = std::numeric_limits<double>::quiet_NaN();
};

// Estimates the translation that maps coordinates of templateImage into inputImage by
// maximising the enhanced correlation coefficient of the two (Gauss-Newton on the
// zero-mean normalised correlation, translation only). Both images are single-channel,
// of any depth. warp is a 2x3 CV_32FC1 matrix, updated in place: only its translation
// column (0,2), (1,2) changes. criteria.type holds cv::TermCriteria::COUNT and/or
// cv::TermCriteria::EPS. Returns false (the null result) when the images turn out to be
// uncorrelated; warp then holds what the earlier iterations left in it. OpenCV raises an
// exception when a working buffer cannot be allocated.
bool estimateEccTranslation(const cv::Mat& templateImage, const cv::Mat& inputImage, cv::Mat& warp,
                            const cv::TermCriteria& criteria, EccTrace* trace = nullptr);

// Fills jacobian (npix x 2, CV_32FC1) row by row: row y*width+x holds
// (gradientX(y,x), gradientY(y,x)) of the two template-sized warped gradients.
void buildTranslationJacobian(const cv::Mat& gradientX, const cv::Mat& gradientY, cv::Mat& jacobian);

// Adds update (2x1, CV_32FC1) to the translation column of warp (2x3, CV_32FC1).
void applyTranslationUpdate(cv::Mat& warp, const cv::Mat& update);

} // namespace tl
