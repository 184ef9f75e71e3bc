#include "extract/ExtractCommand.hpp"

#include "cli/CallMode.hpp"
#include "common/ExceptionCause.hpp"
#include "common/Failure.hpp"
#include "common/PathRefusal.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "extract/FrameExtraction.hpp"
#include "output/ExiftoolSession.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>

namespace tl {

namespace {

// Every report of an extraction is made under "main": the frames left without the video's
// tags as warnings, any other fault as an error.
void reportFault(const Failure& fault) {
    if (fault.code == Failure::Code::tagsNotCopied || fault.code == Failure::Code::frameTagsNotPrepared)
        reportWarning("main", fault.detail);
    else
        reportError("main", fault.detail);
}

// A log that names the video, or that is something other than a regular file or a file
// this user may not write, is refused before anything is written, on standard error.
bool refusesLog(const ExtractArguments& arguments) {
    const std::string refusal = pathRefusal(logPath(), {arguments.videoPath});
    if (refusal.empty()) return false;
    std::fprintf(stderr, "kadrimo: The log file '%s' cannot be written: %s. Nothing was written.\n",
                 logPath().c_str(), refusal.c_str());
    return true;
}

int extractReportingFailures(const ExtractArguments& arguments, ExtractionCall call) {
    if (refusesLog(arguments)) return 1;
    try {
        extractFrames(arguments, call, reportFault);
        return 0;
    } catch (const StepFailure& failure) {
        reportFault(failure.failure());
    } catch (const std::exception& e) {
        reportError("main", "The frame extraction stopped: " + causeOf(e));
    }
    return 1;
}

} // namespace

int runExtractCommand(const ExtractArguments& arguments) {
    if (arguments.applicationFolder) useApplicationFolder(*arguments.applicationFolder);
    // exiftool's own words land in the log, not on the front end's standard error.
    exiftoolSession().sendErrorsTo(arguments.applicationFolder ? logPath() : "/dev/null");
    return extractReportingFailures(arguments, ExtractionCall::byPosition);
}

int runNamedExtractCommand(const NamedExtractCall& call) {
    echoReportsToStandardError("kadrimo");
    if (!call.logFolder.empty()) setLogFolder(call.logFolder + "/");
    // exiftool's notes on the tags of each frame file are no news to a person at a terminal.
    exiftoolSession().sendErrorsTo(call.logFolder.empty() ? "/dev/null" : logPath());
    std::error_code error;
    std::filesystem::create_directories(call.arguments.outputFolder, error);
    if (error) {
        reportError("main", "The folder '" + call.arguments.outputFolder + "' cannot be made: " + error.message());
        return 1;
    }
    return extractReportingFailures(call.arguments, ExtractionCall::byName);
}

int refusePositionalExtractCall(int argc, const char* const* argv, const std::string& problem) {
    // A call that names its application folder has its log hear of the problem too,
    // unless the log would be one of the files named.
    constexpr int applicationFolderPosition = 10;
    if (argc - 1 >= applicationFolderPosition) {
        useApplicationFolder(argv[applicationFolderPosition]);
        if (pathRefusal(logPath(), std::vector<std::string>(argv + 1, argv + argc)).empty())
            reportError("main", "The call cannot be read by position: " + problem + ". Nothing was written.");
    }
    return refusePositionalCall("kadrimo", problem);
}

} // namespace tl
