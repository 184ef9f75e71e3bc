#include "common/ProgramStart.hpp"

#include "common/ImageLibraryThreads.hpp"

#include <opencv2/imgcodecs.hpp>

#include <csignal>

namespace tl {

void startImageLibrary() {
    runImageLibraryOnOwnThreads();
    try {
        // Asking for any writer registers every codec.
        cv::haveImageWriter(".png");
    } catch (const cv::Exception&) {
        // No codec at all: each read and write says so in its turn.
    }
}

void ignoreFailedWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace tl
