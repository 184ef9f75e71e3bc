#include "tools/BracketFiles.hpp"

#include "tools/BurstFiles.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <limits>

namespace tl {

namespace {

constexpr double baseTime = 1.0 / 125;  // the exposure time at 0 stops

const char* const nominalTimes[] = {
    "1/8000", "1/6400", "1/5000", "1/4000", "1/3200", "1/2500", "1/2000", "1/1600", "1/1250", "1/1000",
    "1/800",  "1/640",  "1/500",  "1/400",  "1/320",  "1/250",  "1/200",  "1/160",  "1/125",  "1/100",
    "1/80",   "1/60",   "1/50",   "1/40",   "1/30",   "1/25",   "1/20",   "1/15",   "1/13",   "1/10",
    "1/8",    "1/6",    "1/5",    "1/4",    "0.3",    "0.4",    "0.5",    "0.6",    "0.8",    "1",
    "1.3",    "1.6",    "2",      "2.5",    "3.2",    "4",      "5",      "6",      "8",      "10"};

double secondsOf(const std::string& nominal) {
    const auto slash = nominal.find('/');
    if (slash == std::string::npos) return std::stod(nominal);
    return std::stod(nominal.substr(0, slash)) / std::stod(nominal.substr(slash + 1));
}

std::string extensionFor(int bits) { return bits == 8 ? ".jpg" : bits == 16 ? ".png" : ".pfm"; }

// One exiftool run for every frame: the frames' argument lists are separated by -execute.
bool tagFrames(const std::vector<std::string>& paths, const BracketPlan& plan) {
    std::vector<std::string> arguments;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const double stops = plan.tags == BracketTags::wrong ? plan.stops[static_cast<std::size_t>(plan.instant)]
                                                             : plan.stops[i];
        if (i > 0) arguments.push_back("-execute");
        const double time = baseTime * std::exp2(stops - plan.gainStops);
        arguments.insert(arguments.end(), {"-ExposureTime=" + nominalShutterSpeed(time), paths[i]});
    }
    const long iso = std::lround(100 * std::exp2(plan.gainStops));
    arguments.insert(arguments.end(), {"-common_args", "-q", "-overwrite_original", "-Make=Tessaline Test Optics",
                                       "-Model=Bracket Generator", "-FNumber=8", "-ISO=" + std::to_string(iso),
                                       "-DateTimeOriginal=2024:06:01 18:30:00"});
    return runExiftool(arguments);
}

} // namespace

std::string nominalShutterSpeed(double seconds) {
    std::string best;
    double closest = std::numeric_limits<double>::infinity();
    for (const char* nominal : nominalTimes) {
        const double distance = std::fabs(std::log2(secondsOf(nominal) / seconds));
        if (distance < closest) {
            closest = distance;
            best = nominal;
        }
    }
    return best;
}

std::vector<cv::Mat> bracketFrames(const BracketPlan& plan) {
    const int count = static_cast<int>(plan.stops.size());
    const BracketScene scene(plan.size, count, plan.colour);
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(exposeFrame(scene.radiance(i), plan.stops[static_cast<std::size_t>(i)], plan.bits,
                                     1000u + static_cast<unsigned>(i), plan.gainStops));
    return frames;
}

std::vector<std::string> writeBracket(const std::string& folder, const BracketPlan& plan) {
    std::vector<std::string> paths;
    const std::vector<cv::Mat> frames = bracketFrames(plan);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        paths.push_back(folder + "/frame" + std::to_string(i + 1) + extensionFor(plan.bits));
        const std::vector<int> quality{cv::IMWRITE_JPEG_QUALITY, 92};
        if (!cv::imwrite(paths.back(), frames[i], plan.bits == 8 ? quality : std::vector<int>{})) return {};
    }
    if (plan.bits == 8 && plan.tags != BracketTags::none && !tagFrames(paths, plan)) return {};
    return paths;
}

cv::Mat bracketTruth(const BracketPlan& plan) {
    const BracketScene scene(plan.size, static_cast<int>(plan.stops.size()), plan.colour);
    return scene.radiance(plan.instant) * std::exp2(plan.stops[static_cast<std::size_t>(plan.instant)]);
}

} // namespace tl
