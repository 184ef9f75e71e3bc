#include "tools/GrainyScene.hpp"

#include <opencv2/imgproc.hpp>

namespace tl {

cv::Mat grainyScene(cv::Size size, int depth) {
    const double full = depth == CV_16U ? 65535.0 : 255.0;
    cv::Mat coarse(12, 16, CV_MAKETYPE(depth, 3));
    cv::randu(coarse, 0.04 * full, 0.76 * full);
    cv::Mat picture;
    cv::resize(coarse, picture, size, 0, 0, cv::INTER_CUBIC);
    cv::Mat grain(size, picture.type());
    cv::randn(grain, 0, 0.005 * full);
    return picture + grain;
}

} // namespace tl
