#include "input/ImagesSequence.hpp"

#include "diag/Log.hpp"
#include "input/ImageLoader.hpp"

ImagesSequence::ImagesSequence(const std::string* paths, int count)
    : paths(new std::string[count > 0 ? count : 0]), count(count) {
    for (int i = 0; i < count; ++i) this->paths[i] = paths[i];
}

cv::Mat ImagesSequence::getImage(int index) {
    // Callers stay in range; an index outside it must still never read past the array.
    if (index < 0 || index >= count) return cv::Mat();
    const std::string path = paths[index];
    cv::Mat image = loadImage(path);
    if (image.cols != 0 && image.rows != 0) return image;
    reportError("main", "The image'" + path + "' does not exist or we can not open it.");
    return cv::Mat();
}

bool ImagesSequence::isStopped() { return false; }
