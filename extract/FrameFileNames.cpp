#include "extract/FrameFileNames.hpp"

namespace tl {

namespace {

std::string withoutOneTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') return folder.substr(0, folder.size() - 1);
    return folder;
}

std::string withoutOneLeadingDot(const std::string& extension) {
    return extension.starts_with('.') ? extension.substr(1) : extension;
}

} // namespace

std::string baseNameProblem(const std::string& baseName) {
    if (baseName.find_first_of("\r\n") != std::string::npos) return "a frame name may not hold a line end";
    return "";
}

int decimalDigits(std::int64_t value) {
    int digits = 1;
    for (; value >= 10; value /= 10) ++digits;
    return digits;
}

FrameFileNames::FrameFileNames(const std::string& outputFolder, const std::string& baseName,
                               std::string extension, std::int64_t plannedCount)
    : prefix(withoutOneTrailingSlash(outputFolder) + "/" + baseName),
      extension(withoutOneLeadingDot(extension)),
      width(decimalDigits(plannedCount)) {}

std::string FrameFileNames::name(std::int64_t number) const {
    // The padding rule stops at four digits: 10000 and above keep their own width even
    // when the planned count has more digits.
    constexpr std::int64_t firstUnpadded = 10000;
    const std::string digits = std::to_string(number);
    std::string padding;
    if (number < firstUnpadded && width > static_cast<int>(digits.size()))
        padding.assign(static_cast<std::size_t>(width) - digits.size(), '0');
    return prefix + padding + digits + "." + extension;
}

} // namespace tl
