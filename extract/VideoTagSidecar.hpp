#pragma once

#include "common/PrivateFolder.hpp"
#include "output/ExiftoolSourceLink.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// exiftool reads the whole tag structure of a video each time it copies the video's
// tags, which for a long video costs more than writing a frame. This object has
// exiftool copy the video's tags once into a small EXV file (a JPEG without image,
// whose tags exiftool places as it places a frame's) in a private temporary folder;
// copying from that file writes the same tags into a frame as copying from the video,
// at a fraction of the cost. The folder goes with the object. When the file
// cannot be made, the video itself stays the source.
//
// The copy is handed to exiftool when the object is made and waited for at the first
// call of source(), so that the caller can seek to its first frame meanwhile.
class VideoTagSidecar {
public:
    explicit VideoTagSidecar(const std::string& video);
    ~VideoTagSidecar();
    VideoTagSidecar(const VideoTagSidecar&) = delete;
    VideoTagSidecar& operator=(const VideoTagSidecar&) = delete;

    // The file to copy the video's tags from: the sidecar, or the video.
    const std::string& source();

private:
    void begin(const std::string& video);
    void settle();

    std::string usable;
    PrivateFolder folder;
    std::optional<RemovedOnSignal> sidecarGuard, partialSidecarGuard;
    std::unique_ptr<ExiftoolSourceLink> link;
    std::vector<std::string> arguments;
    unsigned long ticket = 0;
    bool settled = false;
};

} // namespace tl
