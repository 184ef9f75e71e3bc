#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <cstddef>
#include <string>

namespace tl {

// Float images may hold samples no light can have: infinities, NaN, negative values, and
// finite values above 1e30 that only corrupt files hold. One such sample would turn the
// whole light sum (and with it the image) black or undefined, and the ghost test cannot
// compare it. They count as 0.

// image itself when all its samples are usable (or it is not float); otherwise a copy in
// which the others are 0, with their number in replaced.
cv::Mat withUsableSamples(const cv::Mat& image, std::size_t& replaced);

// The warning that samples were replaced, naming the image as shownAs gives it.
std::string unusableSamplesWarning(const std::string& shownAs, std::size_t replaced);

// withUsableSamples for the image read from path: samples that were replaced are handed to
// passedOver (Failure::Code::unusableSamples), naming the image as shownAs gives it
// ("number 2 (a.hdr)" or "'a.hdr'").
cv::Mat withUsableSamplesPassedOver(const cv::Mat& image, const std::string& path, const std::string& shownAs,
                                    const PassedOver& passedOver);

} // namespace tl
