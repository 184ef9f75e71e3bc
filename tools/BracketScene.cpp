#include "tools/BracketScene.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tl {

namespace {

constexpr double fullWell = 4000, readNoise = 3;  // electrons
constexpr double contrast = 0.2;                  // the S-curve's strength

cv::Mat smoothPattern(cv::Size size, int cells, int seed) {
    cv::Mat coarse(std::max(2, size.height * cells / std::max(size.width, 1)), cells, CV_32F);
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat pattern;
    cv::resize(coarse, pattern, size, 0, 0, cv::INTER_CUBIC);
    return pattern;
}

// Multiplies each pixel of area by (1 + amount * (pattern - 0.5)).
void texture(cv::Mat& scene, const cv::Rect& area, int cells, double amount, int seed) {
    cv::Mat part = scene(area);
    const cv::Mat pattern = smoothPattern(area.size(), cells, seed);
    for (int y = 0; y < part.rows; ++y)
        for (int x = 0; x < part.cols; ++x) part.at<cv::Vec3f>(y, x) *= 1 + amount * (pattern.at<float>(y, x) - 0.5);
}

void paintSky(cv::Mat& scene, int horizon) {
    for (int y = 0; y < horizon; ++y) {
        const float t = static_cast<float>(y) / horizon;
        scene.row(y).setTo(cv::Scalar(1.6 - 0.6 * t, 1.1 - 0.2 * t, 0.6 + 0.3 * t));
    }
    const cv::Point sun(scene.cols * 4 / 5, scene.rows / 8);
    cv::circle(scene, sun, std::max(3, scene.rows / 10), cv::Scalar(6, 8, 9), cv::FILLED, cv::LINE_AA);
    cv::circle(scene, sun, std::max(2, scene.rows / 30), cv::Scalar(40, 45, 50), cv::FILLED, cv::LINE_AA);
}

// A facade in the shade with a bright window (the sky behind a room) and a dark doorway.
void paintFacade(cv::Mat& scene, int horizon) {
    const int w = scene.cols, h = scene.rows;
    const cv::Rect wall(w / 12, h / 5, w * 3 / 4, horizon - h / 5);
    scene(wall).setTo(cv::Scalar(0.09, 0.13, 0.18));
    texture(scene, wall, 60, 0.5, 11);
    const cv::Rect window(wall.x + wall.width / 8, wall.y + wall.height / 6, wall.width * 3 / 8, wall.height / 2);
    scene(window).setTo(cv::Scalar(3.0, 2.6, 2.2));
    texture(scene, window, 12, 0.6, 12);
    const cv::Rect door(wall.x + wall.width * 5 / 8, wall.y + wall.height / 3, wall.width / 5, wall.height * 2 / 3);
    scene(door).setTo(cv::Scalar(0.006, 0.008, 0.012));
    texture(scene, door, 20, 0.8, 13);
}

void paintGround(cv::Mat& scene, int horizon) {
    const cv::Rect ground(0, horizon, scene.cols, scene.rows - horizon);
    scene(ground).setTo(cv::Scalar(0.10, 0.12, 0.14));
    texture(scene, ground, 90, 0.7, 14);
}

cv::Mat grey(const cv::Mat& colour) {
    cv::Mat one;
    cv::cvtColor(colour, one, cv::COLOR_BGR2GRAY);
    return one;
}

} // namespace

BracketScene::BracketScene(cv::Size size, int frameCount, bool colour) : frameCount(std::max(frameCount, 1)) {
    background = cv::Mat(size, CV_32FC3, cv::Scalar::all(0));
    const int horizon = size.height * 3 / 4;
    paintSky(background, horizon);
    paintGround(background, horizon);
    paintFacade(background, horizon);
    if (!colour) background = grey(background);
}

int BracketScene::objectRadius() const { return std::max(4, background.rows / 12); }

cv::Point BracketScene::objectCentre(int index) const {
    const double t = frameCount > 1 ? static_cast<double>(index) / (frameCount - 1) : 0.5;
    const int margin = objectRadius() + background.cols / 20;
    return {margin + static_cast<int>(t * (background.cols - 2 * margin)), background.rows * 11 / 20};
}

cv::Mat BracketScene::objectMask(int index) const {
    cv::Mat mask(background.size(), CV_8U, cv::Scalar(0));
    cv::circle(mask, objectCentre(index), objectRadius(), cv::Scalar(255), cv::FILLED);
    return mask;
}

cv::Mat BracketScene::radiance(int index) const {
    cv::Mat scene = background.clone();
    const cv::Mat mask = objectMask(index);
    const cv::Point c = objectCentre(index);
    const int r = objectRadius();
    // Diagonal stripes of a dark and a light fabric, lit from the left.
    for (int y = std::max(0, c.y - r); y < std::min(scene.rows, c.y + r + 1); ++y)
        for (int x = std::max(0, c.x - r); x < std::min(scene.cols, c.x + r + 1); ++x) {
            if (!mask.at<std::uint8_t>(y, x)) continue;
            const bool light = ((x - c.x + y - c.y + 4 * r) / std::max(2, r / 3)) % 2 == 0;
            const double shade = 0.6 + 0.4 * (1 - static_cast<double>(x - c.x + r) / (2 * r));
            const cv::Vec3f fabric = light ? cv::Vec3f(0.05f, 0.25f, 0.45f) : cv::Vec3f(0.04f, 0.03f, 0.10f);
            const cv::Vec3f value = fabric * static_cast<float>(shade);
            if (scene.channels() == 3) scene.at<cv::Vec3f>(y, x) = value;
            else scene.at<float>(y, x) = 0.114f * value[0] + 0.587f * value[1] + 0.299f * value[2];
        }
    return scene;
}

double cameraCurve(double light) {
    const double x = std::clamp(light, 0.0, 1.0);
    const double v = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
    return v - contrast * std::sin(2 * CV_PI * v) / (2 * CV_PI);
}

cv::Mat exposeFrame(const cv::Mat& radiance, double stops, int bits, unsigned seed, double gainStops) {
    const double gain = std::exp2(gainStops);
    cv::Mat electrons = radiance * (fullWell * std::exp2(stops) / gain);
    cv::Mat noise(radiance.size(), radiance.type());
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::NORMAL, 0, 1);
    cv::Mat spread;
    cv::sqrt(cv::max(electrons, 0) + readNoise * readNoise, spread);
    cv::Mat light = cv::min(cv::max((electrons + noise.mul(spread)) * (gain / fullWell), 0), 1);
    if (bits == 32) return light;
    // The curve through a fine table: a camera-sized frame has tens of millions of samples.
    const double top = bits == 16 ? 65535 : 255;
    constexpr int steps = 1 << 18;
    std::vector<float> curve(steps + 1);
    for (int i = 0; i <= steps; ++i) curve[static_cast<std::size_t>(i)] = static_cast<float>(top * cameraCurve(double(i) / steps));
    cv::Mat codes(light.size(), CV_MAKETYPE(CV_32F, light.channels()));
    const int perRow = light.cols * light.channels();
    for (int y = 0; y < light.rows; ++y)
        for (int x = 0; x < perRow; ++x) {
            const float position = light.ptr<float>(y)[x] * steps;
            const int i = std::min(static_cast<int>(position), steps - 1);
            const float t = position - static_cast<float>(i);
            codes.ptr<float>(y)[x] = curve[static_cast<std::size_t>(i)] * (1 - t) + curve[static_cast<std::size_t>(i) + 1] * t;
        }
    codes.convertTo(codes, CV_MAKETYPE(bits == 16 ? CV_16U : CV_8U, light.channels()));  // rounds
    return codes;
}

} // namespace tl
