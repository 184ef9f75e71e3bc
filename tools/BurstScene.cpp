#include "tools/BurstScene.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr double noiseSigma = 5.0;  // grey levels, a high-ISO frame

// A smooth random pattern: noise drawn on a coarse grid and enlarged, so that texture
// of a given scale costs next to nothing even at 24 megapixels.
cv::Mat smoothPattern(cv::Size size, int cells, int seed) {
    cv::Mat coarse(std::max(2, size.height * cells / std::max(size.width, 1)), cells, CV_32F);
    cv::RNG(seed).fill(coarse, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::Mat pattern;
    cv::resize(coarse, pattern, size, 0, 0, cv::INTER_CUBIC);
    return pattern;
}

// Sky: deep blue at the top to a warm haze at the horizon, brightest around the sun.
void paintSky(cv::Mat& scene, int horizon, cv::Point sun) {
    const double reach = scene.cols * 0.35;
    for (int y = 0; y < horizon; ++y) {
        const double t = static_cast<double>(y) / horizon;
        cv::Vec3f* row = scene.ptr<cv::Vec3f>(y);
        for (int x = 0; x < scene.cols; ++x) {
            const double glow = std::exp(-std::hypot(x - sun.x, y - sun.y) / reach);
            row[x] = cv::Vec3f(static_cast<float>(200 - 90 * t + 40 * glow),
                               static_cast<float>(120 + 60 * t + 110 * glow),
                               static_cast<float>(60 + 120 * t + 140 * glow));
        }
    }
    cv::circle(scene, sun, std::max(2, scene.rows / 30), cv::Scalar(250, 255, 255), cv::FILLED,
               cv::LINE_AA);
}

// Hills and grass below the horizon, with texture at two scales.
void paintGround(cv::Mat& scene, int horizon) {
    cv::Mat ground = scene.rowRange(horizon, scene.rows);
    ground.setTo(cv::Scalar(40, 110, 70));
    cv::Mat texture = smoothPattern(ground.size(), 400, 7) * 18 + smoothPattern(ground.size(), 40, 8) * 25;
    std::vector<cv::Mat> planes;
    cv::split(ground, planes);
    for (cv::Mat& plane : planes) plane += texture;
    cv::merge(planes, ground);
    const int w = scene.cols, h = scene.rows;
    std::vector<cv::Point> hill{{0, horizon}, {w / 5, horizon - h / 10}, {w / 2, horizon - h / 30},
                                {4 * w / 5, horizon - h / 8}, {w, horizon}};
    cv::fillPoly(scene, std::vector<std::vector<cv::Point>>{hill}, cv::Scalar(70, 95, 80), cv::LINE_AA);
}

void paintHouseAndTree(cv::Mat& scene, int horizon) {
    const int w = scene.cols, h = scene.rows;
    const cv::Rect wall(w / 8, horizon - h / 6, w / 5, h / 4);
    cv::rectangle(scene, wall, cv::Scalar(150, 170, 205), cv::FILLED);
    const std::vector<cv::Point> roof{{wall.x - w / 60, wall.y}, {wall.x + wall.width / 2, wall.y - h / 9},
                                      {wall.x + wall.width + w / 60, wall.y}};
    cv::fillPoly(scene, std::vector<std::vector<cv::Point>>{roof}, cv::Scalar(40, 50, 120), cv::LINE_AA);
    // A lit window: the brightest part of the scene after the sun.
    cv::rectangle(scene, cv::Rect(wall.x + wall.width / 5, wall.y + wall.height / 4, wall.width / 4,
                                  wall.height / 4),
                  cv::Scalar(160, 235, 255), cv::FILLED);
    cv::rectangle(scene, cv::Rect(wall.x + 3 * wall.width / 5, wall.y + wall.height / 2,
                                  wall.width / 5, wall.height / 2),
                  cv::Scalar(30, 40, 60), cv::FILLED);
    const cv::Point trunk(7 * w / 10, horizon + h / 12);
    cv::rectangle(scene, cv::Rect(trunk.x - w / 120, trunk.y - h / 5, w / 60, h / 5),
                  cv::Scalar(30, 50, 70), cv::FILLED);
    cv::circle(scene, {trunk.x, trunk.y - h / 4}, h / 9, cv::Scalar(35, 90, 45), cv::FILLED, cv::LINE_AA);
}

// Shading of a ball lit from the upper left.
void paintBall(cv::Mat& frame, cv::Point centre, int radius) {
    const cv::Rect box = cv::Rect(centre.x - radius, centre.y - radius, 2 * radius + 1, 2 * radius + 1) &
                         cv::Rect(0, 0, frame.cols, frame.rows);
    for (int y = box.y; y < box.y + box.height; ++y) {
        cv::Vec3b* row = frame.ptr<cv::Vec3b>(y);
        for (int x = box.x; x < box.x + box.width; ++x) {
            const double dx = static_cast<double>(x - centre.x) / radius;
            const double dy = static_cast<double>(y - centre.y) / radius;
            const double r2 = dx * dx + dy * dy;
            if (r2 > 1) continue;
            const double light = 0.35 + 0.65 * std::max(0.0, (-dx - dy + std::sqrt(1 - r2)) / 1.8);
            row[x] = cv::Vec3b(cv::saturate_cast<uchar>(30 * light), cv::saturate_cast<uchar>(40 * light),
                               cv::saturate_cast<uchar>(230 * light));
        }
    }
}

} // namespace

BurstScene::BurstScene(cv::Size size, int frameCount) : frameCount(std::max(frameCount, 1)) {
    cv::Mat scene(size, CV_32FC3, cv::Scalar::all(0));
    const int horizon = size.height * 11 / 20;
    paintSky(scene, horizon, {size.width * 3 / 4, size.height / 5});
    paintGround(scene, horizon);
    paintHouseAndTree(scene, horizon);
    scene.convertTo(background, CV_8UC3);
}

int BurstScene::ballRadius() const { return std::max(3, background.rows / 14); }

cv::Point BurstScene::ballCentre(int index) const {
    const double t = frameCount > 1 ? static_cast<double>(index) / (frameCount - 1) : 0.5;
    return {static_cast<int>(background.cols * (0.3 + 0.4 * t)), background.rows * 4 / 5};
}

cv::Mat BurstScene::frame(int index) const {
    cv::Mat frame = background.clone();
    paintBall(frame, ballCentre(index), ballRadius());
    cv::Mat noise(frame.size(), CV_16SC3);
    cv::RNG(1000 + index).fill(noise, cv::RNG::NORMAL, 0, noiseSigma);
    cv::add(frame, noise, frame, cv::noArray(), CV_8UC3);
    return frame;
}

} // namespace tl
