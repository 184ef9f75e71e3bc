#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "extract/ExtractArguments.hpp"
#include "extract/FrameExtraction.hpp"

#include <exception>

int main(int argc, char** argv) {
    const auto arguments = parseExtractArguments(argc, argv);
    if (!arguments) return 1;
    if (arguments->applicationFolder) useApplicationFolder(*arguments->applicationFolder);
    try {
        return extractFrames(*arguments);
    } catch (const std::exception& e) {
        reportError("main", std::string("The frame extraction stopped: ") + e.what());
        return 1;
    }
}
