#include "output/DevilWriter.hpp"

#include "common/DevilLibrary.hpp"
#include "output/DevilImage.hpp"

#include <IL/il.h>

namespace tl {

bool writeWithDevil(const std::string& path, const cv::Mat& image, const PassedOver& passedOver) {
    const int name = toDevilImage(image, passedOver);
    if (name < 0) return false;
    ilEnable(IL_FILE_OVERWRITE);
    const bool saved = ilSaveImage(path.c_str()) == IL_TRUE;
    const ILuint devilName = static_cast<ILuint>(name);
    ilDeleteImages(1, &devilName);
    clearDevilErrors();
    return saved;
}

} // namespace tl
