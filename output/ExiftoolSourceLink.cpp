#include "output/ExiftoolSourceLink.hpp"

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The extension of the source's file name, without any "%".
std::string plainExtension(const std::string& source) {
    std::string extension = fs::path(source).extension().string();
    std::erase(extension, '%');
    return extension;
}

} // namespace

ExiftoolSourceLink::ExiftoolSourceLink(const std::string& source) : usable(source) {
    if (source.find('%') == std::string::npos) return;
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "tl-exiftool-XXXXXX").string();
    if (error || !mkdtemp(pattern.data())) return;
    folder = pattern;
    const std::string link = folder + "/source" + plainExtension(source);
    fs::create_symlink(fs::absolute(source, error), link, error);
    if (!error) usable = link;
}

ExiftoolSourceLink::~ExiftoolSourceLink() {
    if (folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}
