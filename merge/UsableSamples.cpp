#include "merge/UsableSamples.hpp"

namespace tl {

namespace {

// No camera, merge or renderer writes a sample above this: one that is comes from a
// corrupt file, and as the largest sum it would darken every other pixel to black.
// Radiance values of real scenes stay many orders of magnitude below it.
constexpr float largestLight = 1e30f;

// Finite, not negative and not beyond any light; -0.0 is 0.
bool usable(float sample) { return sample >= 0.0f && sample <= largestLight; }

std::size_t unusableIn(const cv::Mat& image) {
    std::size_t count = 0;
    const int length = image.cols * image.channels();
    for (int y = 0; y < image.rows; ++y) {
        const float* row = image.ptr<float>(y);
        for (int i = 0; i < length; ++i) count += usable(row[i]) ? 0 : 1;
    }
    return count;
}

} // namespace

cv::Mat withUsableSamples(const cv::Mat& image, std::size_t& replaced) {
    replaced = 0;
    if (image.depth() != CV_32F) return image;
    replaced = unusableIn(image);
    if (replaced == 0) return image;
    cv::Mat usableCopy = image.clone();
    const int length = usableCopy.cols * usableCopy.channels();
    for (int y = 0; y < usableCopy.rows; ++y) {
        float* row = usableCopy.ptr<float>(y);
        for (int i = 0; i < length; ++i)
            if (!usable(row[i])) row[i] = 0.0f;
    }
    return usableCopy;
}

std::string unusableSamplesWarning(const std::string& shownAs, std::size_t replaced) {
    return "The image " + shownAs + " holds " + std::to_string(replaced) +
           " samples that are not finite or are negative; they count as 0.\n";
}

cv::Mat withUsableSamplesPassedOver(const cv::Mat& image, const std::string& path, const std::string& shownAs,
                                    const PassedOver& passedOver) {
    std::size_t replaced = 0;
    cv::Mat usable = withUsableSamples(image, replaced);
    if (replaced > 0 && passedOver)
        passedOver({Failure::Code::unusableSamples, path, unusableSamplesWarning(shownAs, replaced)});
    return usable;
}

} // namespace tl
