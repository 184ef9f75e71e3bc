#include "extract/VideoTagSidecar.hpp"

#include "output/ChildProcess.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ExiftoolSourceLink.hpp"

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// When exiftool creates an EXIF directory it fills in these tags with default values
// of its own. A frame gets them the same way when its tags are written, but in the
// sidecar they would become tags of the video and be copied over values the frame
// already has (its resolution from the JPEG header, for one).
const std::vector<std::string> defaultFilledTags = {
    "IFD0:XResolution",        "IFD0:YResolution",   "IFD0:ResolutionUnit",
    "IFD0:YCbCrPositioning",   "ExifIFD:ExifVersion", "ExifIFD:ComponentsConfiguration",
    "ExifIFD:FlashpixVersion", "ExifIFD:ColorSpace",  "GPS:GPSVersionID",
    "InteropIFD:InteropVersion"};

// One exiftool run that writes the file created; true when that file is there after it.
bool runCreating(const std::vector<std::string>& arguments, const std::string& created) {
    const std::string program = exiftoolProgram();
    if (!exiftoolSession().run(program, arguments)) runToEnd(program, arguments);
    std::error_code error;
    return fs::is_regular_file(created, error) && fs::file_size(created, error) > 0;
}

std::vector<std::string> quietly(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-q", "-q"});
    return arguments;
}

// A folder name that exiftool would take for something else ("%" starts a pattern
// in -o names, a line end splits an argument of the kept-alive session).
bool plainName(const std::string& path) { return path.find_first_of("%\r\n") == std::string::npos; }

} // namespace

VideoTagSidecar::VideoTagSidecar(const std::string& video) : usable(video) {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "tl-video-tags-XXXXXX").string();
    if (error || !plainName(pattern) || !mkdtemp(pattern.data())) return;
    folder = pattern;
    if (make(video)) usable = folder + "/tags3.mie";
}

VideoTagSidecar::~VideoTagSidecar() {
    if (folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Three steps, each into a new file so that a failed one shows by a missing file:
// copy every tag as a frame would get it, drop the tags that exiftool filled in by
// default, and copy those of them that the video really has once more.
bool VideoTagSidecar::make(const std::string& video) {
    std::error_code error;
    const ExiftoolSourceLink link(fs::absolute(video, error).string());
    if (error || !plainName(link.path())) return false;
    const std::string copied = folder + "/tags1.mie";
    const std::string cleared = folder + "/tags2.mie";
    const std::string restored = folder + "/tags3.mie";

    if (!runCreating(quietly({"-tagsfromfile", link.path(), "-o", copied}), copied)) return false;
    std::vector<std::string> clear;
    for (const std::string& tag : defaultFilledTags) clear.push_back("-" + tag + "=");
    clear.insert(clear.end(), {"-o", cleared, copied});
    if (!runCreating(quietly(clear), cleared)) return false;
    std::vector<std::string> restore = {"-tagsfromfile", link.path()};
    for (const std::string& tag : defaultFilledTags) restore.push_back("-" + tag.substr(tag.find(':') + 1));
    restore.insert(restore.end(), {"-o", restored, cleared});
    return runCreating(quietly(restore), restored);
}
