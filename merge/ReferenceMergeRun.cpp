#include "merge/ReferenceMergeRun.hpp"

#include "cli/ProgressBar.hpp"
#include "common/Failure.hpp"
#include "fusion/ProgressFile.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/CaptureSettings.hpp"
#include "merge/SaveMergedImage.hpp"
#include "merge/UsableSamples.hpp"
#include "output/ImageWriter.hpp"
#include "reference/DisplayRendering.hpp"
#include "reference/MaskShaping.hpp"
#include "reference/ReferenceMerge.hpp"

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace tl {

namespace {

// The progress file of a reference merge, in the patch merge's form: the run is shared out
// among the exposures other than the instant image, in the order they are visited, each
// taking its positions' 0 to 100 percent; reading the images is the first half of the
// run, merging them the second. Without a path, or with the instant image alone, nothing
// is written.
class ReferenceProgress {
public:
    ReferenceProgress(std::string path, int imageCount) : path(std::move(path)), exposures(imageCount - 1) {}

    void reading(double done) { advance(done / 2); }
    void merging(double done) { advance(0.5 + done / 2); }

private:
    // Moves to the share done of the whole run. A position's file object is given the
    // progress in steps of at most 10 percent, so that each tenth it passes is written.
    void advance(double done) {
        if (path.empty() || exposures < 1) return;
        const double slot = std::clamp(done, 0.0, 1.0) * exposures;
        const int position = std::min(static_cast<int>(slot) + 1, exposures);
        if (!file || position != shownPosition) {
            file = std::make_unique<ProgressFile>(path, position);
            file->begin();
            shownPosition = position;
        }
        float left = static_cast<float>((slot - (position - 1)) * 100) - file->percent();
        for (; left > 0; left -= 10) file->addBandProgress(std::min(left, 10.0f));
    }

    const std::string path;
    const int exposures;
    std::unique_ptr<ProgressFile> file;
    int shownPosition = 0;
};

// The images that can be merged, with their paths and capture settings, the instant image's
// index among them; empty when the instant image cannot be read.
struct LoadedFrames {
    ReferenceFrames frames;
    std::vector<std::string> paths;
    std::vector<std::size_t> listIndices;  // where each is in the merge's image list
};

std::string kindOf(const cv::Mat& image) {
    const int depth = image.depth();
    const std::string samples = depth == CV_8U ? "8-bit" : depth == CV_16U ? "16-bit" : depth == CV_32F ? "float" : "other";
    return samples + " samples in " + std::to_string(image.channels()) + (image.channels() == 1 ? " channel" : " channels");
}

// Every image given by name takes part in the merge: one that cannot be read, or that
// holds samples of another kind than the instant image, ends the run before the merge
// (its size was checked before the images were read).
void requireFitsInstant(const cv::Mat& image, const cv::Mat& instant, const std::string& path, const std::string& instantPath) {
    if (image.empty()) throw StepFailure({Failure::Code::referenceMergeFailed, path, "The image '" + path + "' cannot be read."});
    if (image.size() != instant.size() || image.type() != instant.type())
        throw StepFailure({Failure::Code::referenceMergeFailed, path,
                           "The image '" + path + "' holds " + kindOf(image) + ", but the instant image '" +
                               instantPath + "' holds " + kindOf(instant) + ": the images of a merge are of one kind."});
}

// The image at index of the list, its unusable samples counted as 0; empty when its file
// cannot be opened. passedOver hears of either.
cv::Mat readImage(ImagesSequence& sequence, const ImageList& list, int index, const PassedOver& passedOver) {
    const std::string& path = list.paths[static_cast<std::size_t>(index)];
    cv::Mat image;
    try {
        image = sequence.getImage(index);
    } catch (const StepFailure& unopened) {
        passedOver(unopened.failure());
    }
    return withUsableSamplesPassedOver(image, path, "'" + path + "'", passedOver);
}

LoadedFrames loadFrames(const ImageList& list, ProgressBar* bar, ReferenceProgress& progress,
                        const PassedOver& passedOver) {
    PendingCaptureSettings pending(list.paths);
    // Named calls only: 16-bit and float images are read at their own depth.
    ImagesSequence sequence(list.paths.data(), static_cast<int>(list.paths.size()), InputDepth::own);
    const auto read = [&](int index) { return readImage(sequence, list, index, passedOver); };
    const cv::Mat instant = read(list.instantIndex);
    const std::string& instantPath = list.paths[static_cast<std::size_t>(list.instantIndex)];
    if (instant.empty())
        throw StepFailure({Failure::Code::instantImageMissing, instantPath,
                           "Error during accessing the image '" + instantPath + "'\n"});
    LoadedFrames loaded;
    const std::vector<CaptureSettings> settings = pending.collect();
    const auto start = std::chrono::steady_clock::now();
    const int total = static_cast<int>(list.paths.size());
    for (int i = 0; i < total; ++i) {
        const cv::Mat image = i == list.instantIndex ? instant : read(i);
        if (bar) bar->show({i + 1, total, 100.0, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()});
        progress.reading(static_cast<double>(i + 1) / total);
        requireFitsInstant(image, instant, list.paths[static_cast<std::size_t>(i)], instantPath);
        if (i == list.instantIndex) loaded.frames.instantIndex = static_cast<int>(loaded.paths.size());
        loaded.frames.images.push_back(image);
        loaded.frames.capture.push_back(settings[static_cast<std::size_t>(i)]);
        loaded.paths.push_back(list.paths[static_cast<std::size_t>(i)]);
        loaded.listIndices.push_back(static_cast<std::size_t>(i));
    }
    return loaded;
}

const char* sourceName(ExposureSource source) {
    switch (source) {
    case ExposureSource::given: return "--ev";
    case ExposureSource::exif: return "EXIF";
    case ExposureSource::images: return "the images";
    case ExposureSource::assumed: return "assumed equal to the instant image's";
    }
    return "";
}

std::string stopsText(double stops) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f EV", stops);
    return text;
}

// Each frame's exposure and where it came from, for the log, with a disagreement of its
// EXIF tags with the images.
void noteExposures(const ReferenceMergeResult& merged, const std::vector<std::string>& paths,
                   const PassedOver& passedOver) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const FrameExposure& e = merged.exposures[i];
        passedOver({Failure::Code::exposureNote, paths[i],
                    "\nReference merge: '" + paths[i] + "' at " + stopsText(e.stops) + " from the instant image (" +
                        sourceName(e.source) + ")\n\n"});
        if (e.disputed())
            passedOver({Failure::Code::exposureDisputed, paths[i],
                        "The EXIF tags of '" + paths[i] + "' say " + stopsText(*e.exifStops) + ", the images " +
                            stopsText(e.stops) + ": the images' value is used."});
    }
}

// Each frame's mask as DIR/mask-NAME.png (NAME: the image's file name without extension);
// the instant image's is black: nothing of it is left out. A mask that cannot be written
// ends the run.
void writeMasks(const ReferenceMergeResult& merged, const LoadedFrames& loaded, const std::string& folder) {
    const cv::Size size = loaded.frames.images.front().size();
    for (std::size_t i = 0; i < loaded.paths.size(); ++i) {
        const cv::Mat mask = merged.masks[i].empty() ? cv::Mat::zeros(size, CV_8U) : expandMask(merged.masks[i], size);
        const std::string path =
            folder + "/mask-" + std::filesystem::path(loaded.paths[i]).stem().string() + ".png";
        try {
            writeImageFile(path, mask);
        } catch (const StepFailure& unwritten) {
            throw StepFailure({Failure::Code::maskUnwritable, path,
                               "The mask '" + path + "' could not be written: " + unwritten.failure().detail + "."});
        }
    }
}

// The given exposures of the frames that were read (--ev names one per IMAGE; an instant
// image that is not among them has none, and the merge refuses the list).
std::optional<std::vector<double>> givenStops(const MergeSettings& settings, const LoadedFrames& loaded) {
    if (!settings.stops) return std::nullopt;
    std::vector<double> stops;
    for (const std::size_t i : loaded.listIndices)
        if (i < settings.stops->size()) stops.push_back((*settings.stops)[i]);
    return stops;
}

} // namespace

void runReferenceMerge(const MergeSettings& settings, const ImageList& list, ProgressBar* bar,
                       const PassedOver& passedOver) {
    ReferenceProgress progress(settings.progressPath, static_cast<int>(list.paths.size()));
    const LoadedFrames loaded = loadFrames(list, bar, progress, passedOver);
    if (bar) bar->finish();
    const ReferenceMergeResult merged = mergeOnReference(
        loaded.frames, {settings.align, givenStops(settings, loaded), [&](double done) { progress.merging(done); }});
    noteExposures(merged, loaded.paths, passedOver);
    if (!settings.masksFolder.empty()) writeMasks(merged, loaded, settings.masksFolder);
    const cv::Mat image =
        settings.outputBits == 32 ? merged.radiance : renderForDisplay(merged.radiance, merged.response);
    saveMergedImage(image, settings.outputPath, settings.outputBits,
                    loaded.paths[static_cast<std::size_t>(loaded.frames.instantIndex)], passedOver);
}

} // namespace tl
