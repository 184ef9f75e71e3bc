// The decoder program: decodes one file with the decoder its first argument names
// ("radiance" or "devil") and sends the image on its standard output (see ImagePipe). Only
// the merge program starts it (DecoderProcess); it exits 0 when the image, or the news
// that there is none, went out whole.
#include "input/DecoderProcess.hpp"
#include "input/DevilImageLoader.hpp"
#include "input/ImagePipe.hpp"

#include <opencv2/imgcodecs.hpp>

#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

namespace tl {

namespace {

// Radiance files at their own depth, pixels as stored (the result carries the source's
// Orientation tag).
cv::Mat decode(const char* decoder, const std::string& path) {
    if (std::strcmp(decoder, decoderArgument(Decoder::radiance)) == 0)
        return cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    return loadDevilImage(path);
}

} // namespace

} // namespace tl

using namespace tl;

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    // The image goes out on the pipe alone: whatever a library prints goes to standard error.
    const int pipe = ::dup(STDOUT_FILENO);
    if (pipe < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 2;
    // A decoder that crashes must not leave a core file behind in the working folder.
    const rlimit noCoreFile{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCoreFile);
    cv::Mat image;
    try {
        image = decode(argv[1], argv[2]);
    } catch (...) {
        return 2;
    }
    return sendImage(pipe, image) ? 0 : 1;
}
