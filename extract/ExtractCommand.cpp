#include "extract/ExtractCommand.hpp"

#include "common/ExceptionCause.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "extract/FrameExtraction.hpp"
#include "output/ExiftoolSession.hpp"

#include <exception>
#include <filesystem>

namespace {

int extractReportingFailures(const ExtractArguments& arguments, ExtractionCall call) {
    try {
        return extractFrames(arguments, call);
    } catch (const std::exception& e) {
        reportError("main", "The frame extraction stopped: " + causeOf(e));
        return 1;
    }
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
