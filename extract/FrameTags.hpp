#pragma once

#include "common/Failure.hpp"
#include "common/PrivateFolder.hpp"
#include "extract/VideoTagSidecar.hpp"
#include "output/MetadataCopy.hpp"
#include "output/TagSplice.hpp"

#include <opencv2/core.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// The video's tags for the frame files of one extraction.
//
// Every frame of a video receives the same tags, and for JPEG and PNG files exiftool's
// work depends on the file's header only (see TagSplice). So exiftool tags one sample
// frame, once: a black image of the frames' size encoded as the frames are, in a private
// temporary folder. Its tags are then placed into each frame's encoded bytes, which gives
// every frame the very tags a copy of its own would give it. The sample is tagged while
// the caller seeks to its first frame.
//
// A frame whose tags cannot be placed so (another format, a frame of another size) is
// tagged by exiftool after it is written, from a sidecar file holding the video's tags
// (VideoTagSidecar). When the sample cannot be tagged, every frame is: that is one of the
// faults the extraction goes past.
class FrameTags {
public:
    FrameTags(std::string video, const std::string& firstFramePath, cv::Size frameSize);
    FrameTags(const FrameTags&) = delete;
    FrameTags& operator=(const FrameTags&) = delete;

    // The bytes of a frame file with the video's tags in place, or nothing when the frame is
    // to be tagged by exiftool (beginCopy). The first call waits for the sample.
    std::optional<std::vector<unsigned char>> placeInto(const std::vector<unsigned char>& encoded);

    // Hands the copy of the video's tags into the written file to exiftool.
    std::unique_ptr<PendingMetadataCopy> beginCopy(const std::string& written);

    // Notes how the tags of the frame file at path ended, in the order the frames are filed.
    void record(const std::string& path, const TagCopyOutcome& outcome);

    // The faults the tagging went past, in the order they came: the sample that could not be
    // tagged, then one for each run of consecutive frame files that carry none of the
    // video's tags for the same reason.
    std::vector<Failure> faults() const;

private:
    void beginSample(const std::string& firstFramePath, cv::Size frameSize);
    void settleSample();
    void tagEachFrame(const std::string& reason);
    const std::string& copySource();

    struct UntaggedRun {
        std::string first, last;
        long long count;
        std::string reason;
    };

    const std::string video;
    std::optional<PrivateFolder> folder;
    std::string samplePath;
    std::vector<std::unique_ptr<RemovedOnSignal>> sampleGuards;
    std::vector<unsigned char> plainSample;
    std::unique_ptr<PendingMetadataCopy> sampleTags;
    std::optional<TagSplice> splice;
    std::optional<VideoTagSidecar> sidecar;
    std::optional<Failure> sampleFault;
    std::vector<UntaggedRun> untagged;
    bool lastUntagged = false;
};

} // namespace tl
