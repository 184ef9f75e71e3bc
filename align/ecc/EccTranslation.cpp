#include "align/ecc/EccTranslation.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace tl {

namespace {

// Without a count the iteration runs until the correlation settles, but never forever.
constexpr int uncountedIterations = 200;

// The image as float, smoothed with a 5x5 Gaussian whose sigma follows from its size.
// The replicated border keeps the image edges from darkening towards zero.
cv::Mat smoothedFloat(const cv::Mat& image) {
    cv::Mat smoothed;
    image.convertTo(smoothed, CV_32F);
    cv::GaussianBlur(smoothed, smoothed, {5, 5}, 0, 0, cv::BORDER_REPLICATE);
    return smoothed;
}

// Central differences (I(x+1) - I(x-1)) / 2 along x, or along y when vertical.
cv::Mat centralDifference(const cv::Mat& image, bool vertical) {
    const cv::Mat row = (cv::Mat_<float>(1, 3) << -0.5f, 0.0f, 0.5f);
    cv::Mat derivative;
    cv::filter2D(image, derivative, CV_32F, vertical ? cv::Mat(row.t()) : row, {-1, -1}, 0,
                 cv::BORDER_REPLICATE);
    return derivative;
}

// destination(x) = source(warp * x), bilinear; points that fall outside the source get 0.
// destination keeps its size and buffer.
void warpInto(const cv::Mat& source, cv::Mat& destination, const cv::Mat& warp) {
    cv::warpAffine(source, destination, warp, destination.size(),
                   cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, 0);
}

cv::Mat product(const cv::Mat& left, const cv::Mat& right) {
    cv::Mat result;
    cv::gemm(left, right, 1.0, cv::noArray(), 0.0, result);
    return result;
}

// The template-sized buffers one iteration works in.
struct EccBuffers {
    explicit EccBuffers(cv::Size size)
        : warpedInput(size, CV_32F), warpedGradientX(size, CV_32F), warpedGradientY(size, CV_32F),
          jacobian(size.area(), 2, CV_32F) {}
    cv::Mat warpedInput;
    cv::Mat warpedGradientX;
    cv::Mat warpedGradientY;
    cv::Mat jacobian;
    cv::Mat jacobianTransposed;
};

// When the iterations stop: after maxIterations, or once the correlation changes by less
// than epsilon. A negative epsilon never ends the loop on its own.
struct EccStop {
    int maxIterations;
    double epsilon;
};

EccStop stopOf(const cv::TermCriteria& criteria) {
    CV_Assert((criteria.type & (cv::TermCriteria::COUNT | cv::TermCriteria::EPS)) != 0);
    return {(criteria.type & cv::TermCriteria::COUNT) ? criteria.maxCount : uncountedIterations,
            (criteria.type & cv::TermCriteria::EPS) ? criteria.epsilon : -1.0};
}

}  // namespace

bool estimateEccTranslation(const cv::Mat& templateImage, const cv::Mat& inputImage, cv::Mat& warp,
                            const cv::TermCriteria& criteria, EccTrace* trace) {
    CV_Assert(!templateImage.empty() && templateImage.channels() == 1);
    CV_Assert(!inputImage.empty() && inputImage.channels() == 1);
    CV_Assert(warp.type() == CV_32FC1 && warp.rows == 2 && warp.cols == 3);
    const auto [maxIterations, epsilon] = stopOf(criteria);

    cv::Mat templ = smoothedFloat(templateImage);
    templ -= cv::mean(templ);
    const cv::Mat input = smoothedFloat(inputImage);
    const cv::Mat gradientX = centralDifference(input, false);
    const cv::Mat gradientY = centralDifference(input, true);

    EccBuffers buffers(templ.size());
    const int npix = templ.rows * templ.cols;
    // Column views of the template and of the warped input; they share the pixels.
    const cv::Mat templateColumn = templ.reshape(1, npix);
    const cv::Mat inputColumn = buffers.warpedInput.reshape(1, npix);
    cv::Mat error = templateColumn.clone();
    const double templateNorm = cv::norm(templ, cv::NORM_L2);

    double rho = -1.0;
    double lastRho = -epsilon;
    if (trace) *trace = EccTrace{};
    // Goes on only while the change is known to be at least epsilon: a rho that is not a
    // number stops the loop.
    for (int i = 1; i <= maxIterations && std::fabs(rho - lastRho) >= epsilon; ++i) {
        if (trace) trace->iterations = i;
        warpInto(input, buffers.warpedInput, warp);
        warpInto(gradientX, buffers.warpedGradientX, warp);
        warpInto(gradientY, buffers.warpedGradientY, warp);
        buffers.warpedInput -= cv::mean(buffers.warpedInput);

        buildTranslationJacobian(buffers.warpedGradientX, buffers.warpedGradientY, buffers.jacobian);
        cv::transpose(buffers.jacobian, buffers.jacobianTransposed);
        const cv::Mat hessian = product(buffers.jacobianTransposed, buffers.jacobian);
        cv::Mat inverseHessian;
        cv::invert(hessian, inverseHessian, cv::DECOMP_LU);

        const double imageNorm = cv::norm(buffers.warpedInput, cv::NORM_L2);
        const double correlation = buffers.warpedInput.dot(templ);
        lastRho = rho;
        rho = correlation / imageNorm / templateNorm;
        if (trace) trace->correlation = rho;

        const cv::Mat imageProjection = product(buffers.jacobianTransposed, inputColumn);
        const cv::Mat templateProjection = product(buffers.jacobianTransposed, templateColumn);
        const cv::Mat projectedByInverse = product(inverseHessian, imageProjection);
        const double numerator = imageNorm * imageNorm - imageProjection.dot(projectedByInverse);
        const double denominator = correlation - templateProjection.dot(projectedByInverse);
        // Not positive: the images are uncorrelated. A denominator that is not a number
        // (an input holding NaN) is no better, and must not reach the warp.
        if (!(denominator > 0.0)) return false;

        templateColumn.convertTo(error, CV_32F, numerator / denominator);
        error -= inputColumn;
        const cv::Mat update = product(inverseHessian, product(buffers.jacobianTransposed, error));
        applyTranslationUpdate(warp, update);
    }
    return true;
}

void buildTranslationJacobian(const cv::Mat& gradientX, const cv::Mat& gradientY, cv::Mat& jacobian) {
    CV_Assert(gradientX.type() == CV_32FC1 && gradientY.type() == CV_32FC1);
    CV_Assert(gradientX.size() == gradientY.size());
    CV_Assert(jacobian.type() == CV_32FC1 && jacobian.cols == 2 &&
              jacobian.rows == gradientX.rows * gradientX.cols);
    const int width = gradientX.cols;
    for (int y = 0; y < gradientX.rows; ++y) {
        const float* dx = gradientX.ptr<float>(y);
        const float* dy = gradientY.ptr<float>(y);
        for (int x = 0; x < width; ++x) {
            float* row = jacobian.ptr<float>(y * width + x);
            row[0] = dx[x];
            row[1] = dy[x];
        }
    }
}

void applyTranslationUpdate(cv::Mat& warp, const cv::Mat& update) {
    CV_Assert(warp.type() == CV_32FC1 && warp.rows == 2 && warp.cols == 3);
    CV_Assert(update.type() == CV_32FC1 && update.rows == 2 && update.cols == 1);
    warp.at<float>(0, 2) += update.at<float>(0, 0);
    warp.at<float>(1, 2) += update.at<float>(1, 0);
}

} // namespace tl
