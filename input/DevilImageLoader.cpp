#include "input/DevilImageLoader.hpp"

#include "common/DevilLibrary.hpp"
#include "input/DevilImageConversion.hpp"

#include <IL/il.h>

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

} // namespace

cv::Mat loadDevilImage(const std::string& path) {
    if (!requireDevil()) return cv::Mat();
    const BoundDevilImage image;
    cv::Mat result;
    if (ilLoadImage(path.c_str())) result = convertDevILImage();
    clearDevilErrors();
    return result;
}

bool devilVersionSupported() { return requireDevil() && ilGetInteger(IL_VERSION_NUM) >= 178; }
