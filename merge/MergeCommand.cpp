#include "merge/MergeCommand.hpp"

#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "input/CaptureSettings.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/ExposureCheck.hpp"
#include "merge/MergeEngine.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ImageWriter.hpp"

#include <unistd.h>

#include <cstdio>

namespace {

struct MergeOutcome {
    bool ran = false;
    bool written = false;
};

MergeOutcome mergeImages(const MergeSettings& settings, WarningReader reader) {
    const ImageList list = buildImageList(settings);
    ExposureCheck exposures(list.paths, list.instantIndex, settings.ghostThreshold, reader,
                            readCaptureSettings(list.paths));
    exposures.warnWhenDecided();
    const int count = static_cast<int>(list.paths.size());
    ImagesSequence sequence(list.paths.data(), count);
    MergeEngine engine;
    cv::Mat result;
    if (!engine.run(result, sequence, list.instantIndex, count, settings.ghostingPower,
                    settings.ghostThreshold, settings.align, settings.tileSize, settings.threads,
                    settings.progressPath))
        return {};
    exposures.finish();
    return {true, saveMergedImage(result, settings.outputPath, settings.outputBits,
                                  list.paths[static_cast<std::size_t>(list.instantIndex)])};
}

// Everything a library prints on standard output lands in the log from here on.
void sendStandardOutputToLog() {
    if (!std::freopen(logPath().c_str(), "a", stdout)) reportRedirectionFailure();
}

} // namespace

int runMergeCommand(const MergeSettings& settings) {
    useApplicationFolder(settings.applicationFolder);
    sendStandardOutputToLog();
    return mergeImages(settings, WarningReader::frontEnd).ran ? 0 : 1;
}

int runNamedMergeCommand(const NamedMergeCall& call) {
    echoReportsToStandardError("tessaline");
    if (!call.logFolder.empty()) {
        setLogFolder(call.logFolder + "/");
        sendStandardOutputToLog();
    } else {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    // exiftool's complaints about formats it cannot tag (Radiance, EXR) are no news to a
    // person at a terminal.
    exiftoolSession().sendErrorsTo(call.logFolder.empty() ? "/dev/null" : logPath());
    const MergeOutcome outcome = mergeImages(call.settings, WarningReader::namedOptions);
    if (outcome.ran && !outcome.written) reportError("main", "The merged image could not be written to '" +
                                                             call.settings.outputPath + "'.");
    return outcome.ran && outcome.written ? 0 : 1;
}
