// How well the merges restore a scene whose truth is known: generated brackets and bursts
// (tools/BracketFiles: 8-bit JPEG frames with photon and read noise, a camera's tone curve
// and EXIF tags, one burst also as 16-bit PNG frames, one at ISO 1600, and an object that
// moves further than any search radius), merged by the reference merge, by the patch merge
// at its named defaults, by OpenCV's calibrated Debevec merge (8-bit frames only), and,
// when it is installed, by luminance-hdr-cli with and without its anti-ghosting; and the
// instant frame alone, read through the reference merge's camera curve. Scores (bench/HdrScores.hpp):
// PSNR after the mu-law over the whole image, and the mean mu-law error over the places the
// object has in the other frames only. One run; the targets are checked at the end. A burst
// tells the camera's curve only through its noise, less surely than a bracket's frames do
// through their mapping, and the curve's mismatch with the camera's weighs on both the
// merge and the instant frame; for bursts the gain of the merge itself is also shown
// against the noise-free instant frame read through the same curve, and what the frames
// hold: the plain mean and the instant frame alone, each given the camera's own curve and
// the object's places. In the darks of 8-bit JPEG frames the codes and the compression take
// the same from every frame, which no merge gives back.
#include "bench/HdrScores.hpp"
#include "bench/MeasuredRun.hpp"
#include "merge/CaptureSettings.hpp"
#include "reference/ReferenceMerge.hpp"
#include "reference/SampleReading.hpp"
#include "tools/BracketFiles.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tl {

namespace {

namespace fs = std::filesystem;

const char* const peer = "/usr/bin/luminance-hdr-cli";
const cv::Size caseSize(960, 640);

struct Case {
    std::string name;
    std::vector<double> stops;
    int instant;
    int bits = 8;  // 8: JPEG frames, 16: PNG frames
    double gainStops = 0;  // above ISO 100
    bool bracket() const { return stops.front() != stops.back(); }
};

const std::vector<Case> cases = {
    {"bracket -2,0,+2", {-2, 0, 2}, 1},
    {"bracket -4..+4 (5)", {-4, -2, 0, 2, 4}, 2},
    {"bracket -2,0,+2, instant -2", {-2, 0, 2}, 0},
    {"bracket -1,+1 (2)", {-1, 1}, 1},
    {"bracket -3,0,+3", {-3, 0, 3}, 1},
    // Bursts are exposed for the highlights, as a photographer who means to merge them does.
    {"burst of 5", {-2, -2, -2, -2, -2}, 2},
    {"burst of 3", {-2, -2, -2}, 1},
    // At -2 stops the sun's glow clips in every frame, which caps any merge's score a little
    // above the instant frame's; at -4 only the sun's disk clips.
    {"burst of 5 at -4", {-4, -4, -4, -4, -4}, 2},
    // The same burst as 16-bit PNG files: without JPEG's smoothing and 8-bit codes in the darks.
    {"burst of 5 at -4, 16-bit", {-4, -4, -4, -4, -4}, 2, 16},
    // Low light: ISO 1600 at -2 stops, JPEG frames as bright as at ISO 100 from 16 times fewer
    // electrons.
    {"burst of 5 at -2, ISO 1600", {-2, -2, -2, -2, -2}, 2, 8, 4},
};

struct Prepared {
    BracketPlan plan;
    std::vector<std::string> paths;
    cv::Mat truth, elsewhere;  // the truth, and the object's places in the other frames only
};

Prepared prepare(const Case& c, const fs::path& folder) {
    fs::create_directories(folder);
    Prepared p;
    p.plan.size = caseSize;
    p.plan.stops = c.stops;
    p.plan.instant = c.instant;
    p.plan.bits = c.bits;
    p.plan.gainStops = c.gainStops;
    p.paths = writeBracket(folder.string(), p.plan);
    p.truth = bracketTruth(p.plan);
    const BracketScene scene(caseSize, static_cast<int>(c.stops.size()), true);
    p.elsewhere = cv::Mat::zeros(caseSize, CV_8U);
    for (int i = 0; i < static_cast<int>(c.stops.size()); ++i) p.elsewhere |= scene.objectMask(i);
    p.elsewhere &= ~scene.objectMask(c.instant);
    return p;
}

std::vector<cv::Mat> readFrames(const std::vector<std::string>& paths) {
    std::vector<cv::Mat> frames;
    for (const std::string& path : paths)
        frames.push_back(cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION));
    return frames;
}

ReferenceMergeResult referenceMerge(const Prepared& p) {
    ReferenceFrames frames{readFrames(p.paths), p.plan.instant, PendingCaptureSettings(p.paths).collect()};
    return mergeOnReference(frames, {});
}

// The truth as a noise-free instant frame read through the merge's curve shows it.
cv::Mat truthThroughCurve(const Prepared& p, const ReferenceMergeResult& merged) {
    cv::Mat seen(p.truth.size(), p.truth.type());
    const int perRow = seen.cols * seen.channels();
    for (int y = 0; y < seen.rows; ++y)
        for (int x = 0; x < perRow; ++x)
            seen.ptr<float>(y)[x] = static_cast<float>(merged.response->light(255 * cameraCurve(p.truth.ptr<float>(y)[x]), x % 3));
    return seen;
}

cv::Mat instantAlone(const Prepared& p, const ReferenceMergeResult& merged) {
    const cv::Mat instant = readFrames(p.paths)[static_cast<std::size_t>(p.plan.instant)];
    const SampleReading reading(instant.depth(), 3, *merged.response);
    cv::Mat light(instant.size(), CV_32FC3);
    for (int y = 0; y < instant.rows; ++y)
        for (int x = 0; x < instant.cols * 3; ++x)
            light.ptr<float>(y)[x] = instant.depth() == CV_16U ? reading.light(instant.ptr<std::uint16_t>(y)[x], x % 3)
                                                               : reading.light(instant.ptr<std::uint8_t>(y)[x], x % 3);
    return light;
}

// The light of a code through the camera's own tone curve (the inverse of cameraCurve).
class CameraInverse {
public:
    explicit CameraInverse(int bits) : top(bits == 16 ? 65535 : 255), table(static_cast<std::size_t>(top) + 1) {
        for (int code = 0; code <= top; ++code) {
            double low = 0, high = 1;
            for (int i = 0; i < 50; ++i) {
                const double middle = (low + high) / 2;
                (top * cameraCurve(middle) < code ? low : high) = middle;
            }
            table[static_cast<std::size_t>(code)] = static_cast<float>((low + high) / 2);
        }
    }
    float operator()(int code) const { return table[static_cast<std::size_t>(code)]; }

private:
    int top;
    std::vector<float> table;
};

// What a plain mean of frames gives with everything a merge must find out given to it: each
// frame read through the camera's own curve and scaled by its true exposure, each place
// averaged over the frames whose object is not there (the instant frame always counts,
// alone where its own object is). What it misses, the frames themselves lost. With
// instantOnly, the instant frame alone read the same way.
cv::Mat knownMean(const Prepared& p, bool instantOnly) {
    const std::vector<cv::Mat> frames = readFrames(p.paths);
    const BracketScene scene(caseSize, static_cast<int>(frames.size()), true);
    const CameraInverse inverse(p.plan.bits);
    const double instantStops = p.plan.stops[static_cast<std::size_t>(p.plan.instant)];
    const cv::Mat instantObject = scene.objectMask(p.plan.instant);
    cv::Mat sum(caseSize, CV_32FC3, cv::Scalar::all(0)), count(caseSize, CV_32F, cv::Scalar(0));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const bool instant = static_cast<int>(i) == p.plan.instant;
        const cv::Mat object = scene.objectMask(static_cast<int>(i));
        const float scale = static_cast<float>(std::exp2(instantStops - p.plan.stops[i]));
        for (int y = 0; y < caseSize.height; ++y)
            for (int x = 0; x < caseSize.width; ++x) {
                if (!instant && (instantOnly || object.at<std::uint8_t>(y, x) || instantObject.at<std::uint8_t>(y, x))) continue;
                for (int c = 0; c < 3; ++c) {
                    const int code = p.plan.bits == 16 ? frames[i].at<cv::Vec3w>(y, x)[c] : frames[i].at<cv::Vec3b>(y, x)[c];
                    sum.at<cv::Vec3f>(y, x)[c] += inverse(code) * scale;
                }
                count.at<float>(y, x) += 1;
            }
    }
    cv::Mat mean;
    cv::Mat counts;
    cv::merge(std::vector<cv::Mat>(3, count), counts);
    cv::divide(sum, counts, mean);
    return mean;
}

// The patch merge as the named call runs it without options: threshold 10 %, search radius
// 2 % of the larger side, tile 9. Its float file holds the light sum to the display power
// 1 / 2.2, which is undone here.
cv::Mat patchMerge(const Prepared& p, const fs::path& folder) {
    const std::string out = (folder / "patch.hdr").string();
    std::vector<std::string> arguments{"10", "2", "2", "0", "0", "0", "9", (folder / "progress").string(),
                                       folder.string(), out, "32", p.paths[static_cast<std::size_t>(p.plan.instant)],
                                       std::to_string(p.paths.size())};
    arguments.insert(arguments.end(), p.paths.begin(), p.paths.end());
    if (!runMeasured(TL_TESSALINE_BIN, arguments).ok) return {};
    cv::Mat light = cv::imread(out, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
    cv::pow(light, 2.2, light);
    return light;
}

std::vector<float> exposureTimes(const Prepared& p) {
    std::vector<float> times;
    for (double s : p.plan.stops) times.push_back(static_cast<float>(std::exp2(s) / 125));
    return times;
}

// OpenCV's calibration takes 8-bit frames only.
cv::Mat debevecMerge(const Prepared& p) {
    if (p.plan.bits != 8) return {};
    const std::vector<cv::Mat> frames = readFrames(p.paths);
    const std::vector<float> times = exposureTimes(p);
    cv::Mat response, hdr;
    cv::createCalibrateDebevec()->process(frames, response, times);
    cv::createMergeDebevec()->process(frames, hdr, times, response);
    return hdr;
}

cv::Mat peerMerge(const Prepared& p, const fs::path& folder, bool antiGhosting) {
    if (!fs::exists(peer)) return {};
    std::ostringstream evs;
    for (std::size_t i = 0; i < p.plan.stops.size(); ++i) evs << (i ? "," : "") << p.plan.stops[i];
    const std::string out = (folder / (antiGhosting ? "peer-t.hdr" : "peer.hdr")).string();
    std::vector<std::string> arguments{"-e", evs.str(), "-s", out};
    if (antiGhosting) arguments.insert(arguments.end(), {"-t", "0.2"});
    arguments.insert(arguments.end(), p.paths.begin(), p.paths.end());
    if (!runMeasured(peer, arguments, {"QT_QPA_PLATFORM=offscreen"}).ok) return {};
    return cv::imread(out, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
}

const char* const methods[] = {"reference", "patch", "debevec", "lhdr", "lhdr -t", "instant"};

void printRow(const std::string& name, const std::map<std::string, HdrScores>& scores) {
    std::printf("%-28s", name.c_str());
    for (const char* m : methods) {
        const auto s = scores.find(m);
        if (s == scores.end()) std::printf(" %15s", "-");
        else std::printf(" %6.2f / %6.4f", s->second.psnr, s->second.ghostError);
    }
    std::printf("\n");
}

// The targets: the reference merge above every peer on every bracket; 3 dB above the
// instant frame alone on the 5-frame bursts whose frames hold that much (the plain mean
// given the camera's curve and the object's places gains 3 dB over the instant frame given
// the same); ghost error at most 1.25 times the instant frame's own everywhere.
int checkTargets(const std::map<std::string, std::map<std::string, HdrScores>>& all) {
    int missed = 0;
    for (const Case& c : cases) {
        const auto& s = all.at(c.name);
        const HdrScores& ours = s.at("reference");
        for (const auto& [method, score] : s) {
            if (c.bracket() && method != "reference" && method != "instant" && score.psnr >= ours.psnr) {
                std::printf("missed: %s: %s is not below the reference merge\n", c.name.c_str(), method.c_str());
                ++missed;
            }
        }
        if (ours.ghostError > 1.25 * s.at("instant").ghostError) {
            std::printf("missed: %s: ghost error above 1.25 x the instant frame's\n", c.name.c_str());
            ++missed;
        }
        if (!c.bracket() && c.stops.size() == 5 && ours.psnr < s.at("instant").psnr + 3) {
            const double held = s.at("known mean").psnr - s.at("known instant").psnr;
            if (held >= 3) {
                std::printf("missed: %s: less than 3 dB above the instant frame\n", c.name.c_str());
                ++missed;
            } else {
                std::printf("out of reach: %s: %.2f dB above the instant frame; the frames hold %.2f dB\n",
                            c.name.c_str(), ours.psnr - s.at("instant").psnr, held);
            }
        }
    }
    std::printf(missed ? "%d targets missed\n" : "every target met\n", missed);
    return missed;
}

} // namespace

} // namespace tl

using namespace tl;

int main() {
    const fs::path root = fs::temp_directory_path() / ("benchReferenceQuality-" + std::to_string(getpid()));
    if (!fs::exists(peer)) std::printf("luminance-hdr-cli is not installed: its columns are left out\n");
    std::printf("PSNR after the mu-law (dB) / mean mu-law error where the object was in other frames only\n");
    std::printf("%-28s", "case");
    for (const char* m : methods) std::printf(" %15s", m);
    std::printf("\n");
    std::map<std::string, std::map<std::string, HdrScores>> all;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const fs::path folder = root / std::to_string(k);
        const Prepared p = prepare(cases[k], folder);
        const ReferenceMergeResult ours = referenceMerge(p);
        std::map<std::string, HdrScores>& s = all[cases[k].name];
        const auto score = [&](const char* method, const cv::Mat& result) {
            if (!result.empty()) s[method] = scoreAgainstTruth(result, p.truth, p.elsewhere);
        };
        score("reference", ours.radiance);
        score("patch", patchMerge(p, folder));
        score("debevec", debevecMerge(p));
        score("lhdr", peerMerge(p, folder, false));
        score("lhdr -t", peerMerge(p, folder, true));
        const cv::Mat alone = instantAlone(p, ours);
        score("instant", alone);
        printRow(cases[k].name, s);
        if (!cases[k].bracket()) {
            std::printf("%-28s the best any merge of these frames can score (the truth clipped where every frame "
                        "clips): %.2f dB\n", "", scoreAgainstTruth(cv::min(p.truth, 1.0), p.truth, p.elsewhere).psnr);
            score("known mean", knownMean(p, false));
            score("known instant", knownMean(p, true));
            std::printf("%-28s given the camera's curve and the object's places: the plain mean %.2f dB, the instant "
                        "frame %.2f dB\n", "", s.at("known mean").psnr, s.at("known instant").psnr);
            const cv::Mat seen = truthThroughCurve(p, ours);
            std::printf("%-28s against the noise-free instant frame through the same curve: merge %.2f dB, "
                        "instant frame %.2f dB\n", "", scoreAgainstTruth(ours.radiance, seen, p.elsewhere).psnr,
                        scoreAgainstTruth(alone, seen, p.elsewhere).psnr);
        }
    }
    fs::remove_all(root);
    return checkTargets(all) == 0 ? 0 : 1;
}
