#pragma once

#include <string>

// exiftool reads the whole tag structure of a video each time it copies the video's
// tags, which for a long video costs more than writing a frame. This object has
// exiftool copy the video's tags once into a small MIE file in a private temporary
// folder; copying from that file writes the same tags into a frame as copying from
// the video, at a fraction of the cost. The folder goes with the object. When the file
// cannot be made, the video itself stays the source.
class VideoTagSidecar {
public:
    explicit VideoTagSidecar(const std::string& video);
    ~VideoTagSidecar();
    VideoTagSidecar(const VideoTagSidecar&) = delete;
    VideoTagSidecar& operator=(const VideoTagSidecar&) = delete;

    // The file to copy the video's tags from: the sidecar, or the video.
    const std::string& source() const { return usable; }

private:
    void make(const std::string& video);

    std::string usable;
    std::string folder;
};
