#include "input/DevilImageLoader.hpp"

#include "common/DevilLibrary.hpp"
#include "input/DevilImageConversion.hpp"
#include "input/DevilMemoryFill.hpp"

#include <IL/il.h>

#include <cstring>

namespace tl {

namespace {

// One DevIL image name, bound while it lives and deleted with it.
class BoundDevilImage {
public:
    BoundDevilImage() {
        ilGenImages(1, &name);
        ilBindImage(name);
    }
    ~BoundDevilImage() { ilDeleteImages(1, &name); }
    BoundDevilImage(const BoundDevilImage&) = delete;
    BoundDevilImage& operator=(const BoundDevilImage&) = delete;

private:
    ILuint name = 0;
};

// path decoded with every block DevIL allocates filled with fill beforehand.
cv::Mat decodeOver(const std::string& path, unsigned char fill) {
    const DevilMemoryFill filled(fill);
    const BoundDevilImage image;
    cv::Mat result;
    if (ilLoadImage(path.c_str())) result = convertDevILImage();
    clearDevilErrors();
    return result;
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && a.isContinuous() && b.isContinuous() &&
           std::memcmp(a.data, b.data, a.total() * a.elemSize()) == 0;
}

} // namespace

// DevIL allocates its pixel buffer without clearing it, and several of its readers (TGA,
// PCX, Radiance) stop at the end of a short file, or after a size they read as 0, without
// an error: the rows they never reached would come out as whatever the heap held. Two
// decodes, over buffers filled with 0x00 and then with 0xFF, agree on every byte the reader
// wrote and disagree on every byte it did not; any disagreement makes the file unreadable.
cv::Mat loadDevilImage(const std::string& path) {
    if (!requireDevil()) return cv::Mat();
    const cv::Mat first = decodeOver(path, 0x00);
    if (first.empty()) return first;
    return sameBytes(first, decodeOver(path, 0xFF)) ? first : cv::Mat();
}

bool devilVersionSupported() { return requireDevil() && ilGetInteger(IL_VERSION_NUM) >= 178; }

} // namespace tl
