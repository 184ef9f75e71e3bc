#include "extract/ExtractCommand.hpp"

#include "cli/CallMode.hpp"
#include "common/PathRefusal.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "extract/FrameExtraction.hpp"
#include "output/ExiftoolSession.hpp"

#include <exception>
#include <filesystem>

namespace {

int extractReportingFailures(const ExtractArguments& arguments) {
    try {
        return extractFrames(arguments);
    } catch (const std::exception& e) {
        reportError("main", std::string("The frame extraction stopped: ") + e.what());
        return 1;
    }
}

} // namespace

int runExtractCommand(const ExtractArguments& arguments) {
    if (arguments.applicationFolder) useApplicationFolder(*arguments.applicationFolder);
    return extractReportingFailures(arguments);
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
    return extractReportingFailures(call.arguments);
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
