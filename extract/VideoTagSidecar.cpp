#include "extract/VideoTagSidecar.hpp"

#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ExiftoolSourceLink.hpp"

#include <filesystem>
#include <vector>

namespace tl {

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

// A folder name that exiftool would take for something else ("%" starts a pattern
// in -o names, a line end splits an argument of the kept-alive session).
bool plainName(const std::string& path) { return path.find_first_of("%\r\n") == std::string::npos; }

std::string sidecarIn(const std::string& folder) { return folder + "/tags.exv"; }

} // namespace

VideoTagSidecar::VideoTagSidecar(const std::string& video) : usable(video), folder("tl-video-tags") {
    if (folder.path().empty() || !plainName(folder.path())) return;
    // exiftool writes the sidecar through a file of its own beside it.
    sidecarGuard.emplace(sidecarIn(folder.path()), RemovedOnSignal::Kind::file);
    partialSidecarGuard.emplace(sidecarIn(folder.path()) + "_exiftool_tmp", RemovedOnSignal::Kind::file);
    begin(video);
}

VideoTagSidecar::~VideoTagSidecar() { settle(); }

const std::string& VideoTagSidecar::source() {
    settle();
    return usable;
}

// One exiftool run creates the file from the video's tags. The tags that exiftool
// fills in by default are deleted first in the same run: a tag the video really has is
// copied over its deletion, the others stay out of the sidecar instead of being
// filled in when its EXIF directories are created.
void VideoTagSidecar::begin(const std::string& video) {
    std::error_code error;
    const std::string absolute = fs::absolute(video, error).string();
    if (error) return;
    link = std::make_unique<ExiftoolSourceLink>(absolute);
    if (!plainName(link->path())) return;
    arguments = {"-q", "-q"};
    for (const std::string& tag : defaultFilledTags) arguments.push_back("-" + tag + "=");
    arguments.insert(arguments.end(), {"-tagsfromfile", exiftoolFileArgument(link->path()), "-o",
                                        exiftoolFileArgument(sidecarIn(folder.path()))});
    ticket = exiftoolSession().begin(exiftoolProgram(), arguments);
}

// Waits for the run begun, or runs a separate exiftool when the kept-alive one could
// not take it, and makes the sidecar the source when it is there.
void VideoTagSidecar::settle() {
    if (settled || arguments.empty()) return;
    settled = true;
    // A silent exiftool has had its time: the video stays the source.
    ExiftoolSession& session = exiftoolSession();
    const ExiftoolSession::Outcome outcome = session.finish(ticket);
    if (outcome == ExiftoolSession::Outcome::notTaken || outcome == ExiftoolSession::Outcome::ended)
        session.runAlone(exiftoolProgram(), arguments);
    const std::string sidecar = sidecarIn(folder.path());
    std::error_code error;
    if (fs::is_regular_file(sidecar, error) && fs::file_size(sidecar, error) > 0) usable = sidecar;
}

} // namespace tl
