#include "input/ImagesSequence.hpp"

#include "common/Failure.hpp"

namespace tl {

ImagesSequence::ImagesSequence(const std::string* paths, int count, InputDepth depth)
    : paths(new std::string[count > 0 ? count : 0]), count(count), depth(depth) {
    for (int i = 0; i < count; ++i) this->paths[i] = paths[i];
}

cv::Mat ImagesSequence::getImage(int index) {
    // Callers stay in range; an index outside it must still never read past the array.
    if (index < 0 || index >= count) return cv::Mat();
    const std::string path = paths[index];
    const LoadedImage loaded = loadImage(path, depth);
    if (loaded.image.cols != 0 && loaded.image.rows != 0) return loaded.image;
    const std::string why = loaded.problem.empty() ? "" : ": " + loaded.problem;
    throw StepFailure({Failure::Code::imageUnreadable, path,
                       "The image '" + path + "' does not exist or we can not open it" + why + "."});
}

bool ImagesSequence::isStopped() { return false; }

std::string ImagesSequence::pathOf(int index) const { return index >= 0 && index < count ? paths[index] : ""; }

} // namespace tl
