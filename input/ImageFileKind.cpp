#include "input/ImageFileKind.hpp"

#include "common/FileExtension.hpp"

#include <opencv2/imgcodecs.hpp>

#include <filesystem>

namespace tl {

bool looksLikeImageFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) == 0) return false;
    if (hasRawExtension(path)) return true;
    try {
        return cv::haveImageReader(path);
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace tl
