#include "merge/MergeCommand.hpp"

#include "common/PathRefusal.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/SaveMergedImage.hpp"

#include <cstdio>

namespace {

// The first file the run must not write, said before anything is written: the progress
// file or the log naming one of the images (they are written before the images are read),
// or any of them, the output too, being something other than a regular file. The output
// may replace an image: it is written when every image has been read, and tagged from the
// untouched instant image before it takes the image's place. Reported in the log, or on
// standard error when the log itself is refused.
bool refusesItsFiles(const MergeSettings& settings, const std::vector<std::string>& images) {
    if (const std::string refusal = pathRefusal(logPath(), images); !refusal.empty()) {
        std::fprintf(stderr, "tessaline: The log file '%s' cannot be written: %s. Nothing was written.\n",
                     logPath().c_str(), refusal.c_str());
        return true;
    }
    if (const std::string refusal = pathRefusal(settings.outputPath, {}); !refusal.empty()) {
        reportError("saveMergedImage", "The merged image could not be written to '" + settings.outputPath +
                                           "': " + refusal + ". Nothing was written.");
        return true;
    }
    if (const std::string refusal = pathRefusal(settings.progressPath, images); !refusal.empty()) {
        reportError("main", "The progress file '" + settings.progressPath + "' cannot be written: " + refusal +
                                ". Nothing was written.");
        return true;
    }
    return false;
}

} // namespace

int runMergeCommand(const MergeSettings& settings) {
    useApplicationFolder(settings.applicationFolder);
    const ImageList list = buildImageList(settings);
    if (refusesItsFiles(settings, list.paths)) return 1;
    // From here on everything a library prints lands in the log file.
    if (!redirectStandardOutputToLog()) reportRedirectionFailure();

    const int count = static_cast<int>(list.paths.size());
    ImagesSequence sequence(list.paths.data(), count);
    MergeEngine engine;
    cv::Mat result;
    if (!engine.run(result, sequence, list.instantIndex, count, settings)) return 1;
    if (result.empty()) {
        reportError("saveMergedImage", "The merge made no light image, so nothing was written to '" +
                                           settings.outputPath + "'.");
        return 1;
    }
    std::string failure;
    if (saveMergedImage(result, settings.outputPath, settings.outputBits, list.paths[list.instantIndex], &failure))
        return 0;
    reportError("saveMergedImage",
                "The merged image could not be written to '" + settings.outputPath + "': " + failure + ".");
    return 1;
}
