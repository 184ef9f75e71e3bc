#include "output/ExiftoolSourceLink.hpp"

#include <filesystem>

namespace tl {

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
    folder.emplace("tl-exiftool");
    if (folder->path().empty()) return;
    const std::string link = folder->path() + "/source" + plainExtension(source);
    const RemovedOnSignal::Creation creation;
    linkGuard.emplace(link, RemovedOnSignal::Kind::file);
    std::error_code error;
    fs::create_symlink(fs::absolute(source, error), link, error);
    if (!error) usable = link;
}

} // namespace tl
