#include "merge/MergeCommand.hpp"

#include "cli/CallMode.hpp"
#include "cli/ProgressBar.hpp"
#include "common/ExceptionCause.hpp"
#include "common/Failure.hpp"
#include "common/PathRefusal.hpp"
#include "common/SameFile.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "input/ImageFileKind.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/CaptureSettings.hpp"
#include "merge/ExposureCheck.hpp"
#include "merge/ImageSizeCheck.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/MergeObserver.hpp"
#include "merge/ReferenceMergeRun.hpp"
#include "merge/SaveMergedImage.hpp"
#include "output/ExiftoolSession.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

namespace tl {

namespace {

// The step that the log names for the reports of the reference merge.
const char* const referenceStep = "referenceMerge";

// Why the progress file cannot be the file at its path: besides pathRefusal's reasons, it
// must not be the log or the merged image, nor an image file that is there already (a
// photograph whose name the call gave by mistake).
std::string progressFileRefusal(const MergeSettings& settings, const std::vector<std::string>& images) {
    const std::string& path = settings.progressPath;
    if (std::string refusal = pathRefusal(path, images); !refusal.empty()) return refusal;
    if (path.empty()) return "";
    if (samePath(path, logPath())) return "it is the log file";
    if (samePath(path, settings.outputPath)) return "it is the merged image";
    if (looksLikeImageFile(path)) return "it is an image file";
    return "";
}

// The first file the run must not write, said before anything is read or written: the
// log, the merged image or the progress file naming one of the images or another of
// them, something other than a regular file, or a file this user may not write. Reported
// in the log, or on standard error when the log itself is refused.
bool refusesItsFiles(const MergeSettings& settings, const std::vector<std::string>& images) {
    if (const std::string refusal = pathRefusal(logPath(), images); !refusal.empty()) {
        std::fprintf(stderr, "tessaline: The log file '%s' cannot be written: %s. Nothing was written.\n",
                     logPath().c_str(), refusal.c_str());
        return true;
    }
    std::string refusal = replacementRefusal(settings.outputPath, images);
    if (refusal.empty() && samePath(settings.outputPath, logPath())) refusal = "it is the log file";
    if (!refusal.empty()) {
        reportError("saveMergedImage", "The merged image could not be written to '" + settings.outputPath +
                                           "': " + refusal + ". Nothing was written.");
        return true;
    }
    if (const std::string refusal = progressFileRefusal(settings, images); !refusal.empty()) {
        reportError("main", "The progress file '" + settings.progressPath + "' cannot be written: " + refusal +
                                ". Nothing was written.");
        return true;
    }
    return false;
}

// The step that the log names for a fault of a merge, as its reports have always named it.
std::string stepOf(Failure::Code code) {
    switch (code) {
    case Failure::Code::instantImageUnreadable:
    case Failure::Code::imageUnreadable:
    case Failure::Code::tagsNotCopied: return "main";
    case Failure::Code::instantImageMissing: return "Main";
    case Failure::Code::alignmentFailed: return "Aligning images";
    case Failure::Code::searchRadiusFailed: return "Computing ghosting power";
    case Failure::Code::exposuresUnequal: return "checkExposures";
    case Failure::Code::narrowerFormat:
    case Failure::Code::imageUnwritable: return "saveMergedImage";
    case Failure::Code::referenceMergeFailed:
    case Failure::Code::maskUnwritable:
    case Failure::Code::exposureDisputed: return referenceStep;
    default: return "parallelComputeLightImage";
    }
}

// The faults a merge goes past and reports as warnings; any other is an error.
bool isWarning(Failure::Code code) {
    return code == Failure::Code::unusableSamples || code == Failure::Code::exposuresUnequal ||
           code == Failure::Code::narrowerFormat || code == Failure::Code::tagsNotCopied ||
           code == Failure::Code::exposureDisputed;
}

// The report of a fault of a merge. The only file a merge writes through the image writer
// is the merged image, whose failure names it; an element type the image library has no
// type for is the line it has always printed on standard output (the log, when it takes
// standard output); an exposure of the reference merge is an entry of the log of its own.
void reportFault(const Failure& fault) {
    if (fault.code == Failure::Code::elementTypeUnknown) {
        std::fputs(fault.detail.c_str(), stdout);
    } else if (fault.code == Failure::Code::exposureNote) {
        writeLogEntry(fault.detail);
    } else if (fault.code == Failure::Code::imageUnwritable) {
        reportError(stepOf(fault.code),
                    "The merged image could not be written to '" + fault.path + "': " + fault.detail + ".");
    } else if (fault.code == Failure::Code::referenceMergeFailed) {
        reportError(stepOf(fault.code), fault.detail + " Nothing was written.");
    } else if (isWarning(fault.code)) {
        reportWarning(stepOf(fault.code), fault.detail);
    } else {
        reportError(stepOf(fault.code), fault.detail);
    }
}

// The reference merge, each failure reported. Returns the exit status.
int mergeOnReference(const MergeSettings& settings, const ImageList& list, ProgressBar* bar) {
    try {
        runReferenceMerge(settings, list, bar, reportFault);
        return 0;
    } catch (const StepFailure& failure) {
        reportFault(failure.failure());
    } catch (const std::exception& failure) {
        reportFault({Failure::Code::referenceMergeFailed, "", "The merge failed: " + causeOf(failure)});
    }
    return 1;
}

// Follows the run: sets the exposure check up once the instant image is in (its warning
// can be decided then, from the capture settings that exiftool read meanwhile), hands it every image
// for the medians it may need, and draws the progress line after each exposure, when
// there is one to draw.
class RunFollower : public MergeObserver {
public:
    RunFollower(const ImageList& list, float ghostThreshold, WarningReader reader, ProgressBar* bar)
        : list(list), ghostThreshold(ghostThreshold), reader(reader), settings(list.paths), bar(bar) {}

    void imageLoaded(int index, const cv::Mat& image) override {
        if (!exposures) {
            exposures.emplace(list.paths, list.instantIndex, ghostThreshold, reader, settings.collect(), reportFault);
            exposures->warnWhenDecided();
            show(1);
        }
        exposures->noteImage(index, image);
    }

    // The progress counts images, the instant image first: exposure visited at position
    // p is image p + 1 of all.
    void exposureVisited(int position, int) override { show(position + 1); }

    void passedOver(const Failure& fault) override { reportFault(fault); }

    // Warns about the exposures decided by the end of the run.
    void finish() {
        if (exposures) exposures->finish();
    }

private:
    void show(int image) {
        if (!bar) return;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bar->show({image, static_cast<int>(list.paths.size()), 100.0, elapsed});
    }

    const ImageList& list;
    const float ghostThreshold;
    const WarningReader reader;
    PendingCaptureSettings settings;
    std::optional<ExposureCheck> exposures;
    ProgressBar* bar;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// The merge itself, once its files are settled: the exposure check, the run and the
// writing of its result, each failure reported. Returns the exit status.
int merge(const MergeSettings& settings, WarningReader reader, ProgressBar* bar) {
    const ImageList list = buildImageList(settings);
    if (refusesItsFiles(settings, list.paths)) return 1;
    if (settings.method == MergeMethod::reference) return mergeOnReference(settings, list, bar);
    const int count = static_cast<int>(list.paths.size());
    ImagesSequence sequence(list.paths.data(), count,
                            settings.namedOptions ? InputDepth::own : InputDepth::eightBit);
    MergeEngine engine;
    RunFollower follower(list, settings.ghostThreshold, reader, bar);
    cv::Mat result;
    try {
        result = engine.run(sequence, list.instantIndex, count, settings, &follower);
    } catch (const StepFailure& failure) {
        reportFault(failure.failure());
        // Without the instant image there is no run to speak of.
        const Failure::Code code = failure.failure().code;
        if (code == Failure::Code::instantImageUnreadable || code == Failure::Code::instantImageMissing) {
            if (bar) bar->finish();
            return 1;
        }
    } catch (const std::exception& failure) {
        // A failure no step expected, for want of memory say: the run ends, it does not abort.
        reportError("parallelComputeLightImage", "The merge could not go on: " + causeOf(failure));
    }
    if (bar) bar->finish();
    follower.finish();
    if (result.empty()) {
        reportError("saveMergedImage", "The merge made no light image, so nothing was written to '" +
                                           settings.outputPath + "'.");
        return 1;
    }
    try {
        saveMergedImage(result, settings.outputPath, settings.outputBits,
                        list.paths[static_cast<std::size_t>(list.instantIndex)], reportFault);
        return 0;
    } catch (const StepFailure& failure) {
        reportFault(failure.failure());
        return 1;
    }
}

// Everything a library prints on standard output lands in the log from here on.
void sendStandardOutputToLog() {
    if (!redirectStandardOutputToLog()) reportRedirectionFailure();
}

// Whether the log may take standard output: there is one, and merge() will not refuse it.
bool logTakesOutput(const MergeSettings& settings) {
    return !logPath().empty() && pathRefusal(logPath(), buildImageList(settings).paths).empty();
}

} // namespace

int runMergeCommand(const MergeSettings& settings) {
    useApplicationFolder(settings.applicationFolder);
    if (logTakesOutput(settings)) sendStandardOutputToLog();
    return merge(settings, WarningReader::frontEnd, nullptr);
}

int runNamedMergeCommand(const NamedMergeCall& call) {
    if (const std::string problem = imageSizeProblem(buildImageList(call.settings)); !problem.empty()) {
        std::fprintf(stderr, "tessaline: IMAGE: %s (see tessaline --help)\n", problem.c_str());
        return 2;
    }
    echoReportsToStandardError("tessaline");
    if (!call.logFolder.empty()) setLogFolder(call.logFolder + "/");
    if (logTakesOutput(call.settings)) {
        sendStandardOutputToLog();
    } else {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
    }
    // exiftool's complaints about formats it cannot tag (Radiance, EXR) are no news to a
    // person at a terminal.
    exiftoolSession().sendErrorsTo(call.logFolder.empty() ? "/dev/null" : logPath());
    ProgressBar bar(stderr);
    return merge(call.settings, WarningReader::namedOptions, &bar);
}

int refusePositionalMergeCall(int argc, const char* const* argv, const std::string& problem) {
    // A call with the positions the front end always gives names its application folder:
    // its log hears of the problem too, unless the log would be one of the files named.
    constexpr int applicationFolderPosition = 9, leastPositions = 11;
    if (argc - 1 >= leastPositions) {
        useApplicationFolder(argv[applicationFolderPosition]);
        if (pathRefusal(logPath(), std::vector<std::string>(argv + 1, argv + argc)).empty())
            reportError("main", "The call cannot be read by position: " + problem + ". Nothing was written.");
    }
    return refusePositionalCall("tessaline", problem);
}

} // namespace tl
