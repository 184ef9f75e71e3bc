#include "extract/FrameTags.hpp"

#include "output/EncodedImage.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ImageWriter.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace tl {

namespace {

const char* const frameKeyword = "Tessaline_ImageFromVideo";

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

FrameTags::FrameTags(std::string video, const std::string& firstFramePath, cv::Size frameSize)
    : video(std::move(video)) {
    if (!exiftoolWritesTagsInto(firstFramePath)) return;
    beginSample(firstFramePath, frameSize);
    // No sample, no placing: every frame is tagged by exiftool, from the sidecar.
    if (!sampleTags) sidecar.emplace(this->video);
}

// The sample is the frame's encoding of a black image of the frames' size, so that its
// header is the frames' own. Formats that cannot be taken apart get no sample.
void FrameTags::beginSample(const std::string& firstFramePath, cv::Size frameSize) {
    const std::string extension = std::filesystem::path(firstFramePath).extension().string();
    if (frameSize.empty()) return;
    plainSample = encodeImage(firstFramePath, cv::Mat(frameSize, CV_8UC3, cv::Scalar::all(0)));
    if (plainSample.empty() || !imageDataSpan(plainSample)) return;
    folder.emplace("tl-frame-tags");
    if (folder->path().empty()) return;
    samplePath = folder->path() + "/sample" + extension;
    // exiftool rewrites the sample through a file of its own, and keeps the one it replaced.
    for (const char* suffix : {"", "_exiftool_tmp", "_original"})
        sampleGuards.push_back(std::make_unique<RemovedOnSignal>(samplePath + suffix, RemovedOnSignal::Kind::file));
    if (!writeFileBytes(samplePath, plainSample)) return;
    sampleTags = std::make_unique<PendingMetadataCopy>(video, samplePath, frameKeyword);
}

void FrameTags::settleSample() {
    if (!sampleTags) return;
    const TagCopyOutcome outcome = sampleTags->finish();
    sampleTags.reset();
    if (outcome.end == TagCopyOutcome::End::copied) splice = TagSplice::lift(plainSample, readBytes(samplePath));
    if (splice) return;
    // Once exiftool is given up, no frame is tagged either: the frames say so.
    if (exiftoolSession().givenUp()) return;
    tagEachFrame(outcome.end == TagCopyOutcome::End::failed ? outcome.reason
                                                             : "exiftool changed the sample's image data");
}

void FrameTags::tagEachFrame(const std::string& reason) {
    sampleFault = Failure{Failure::Code::frameTagsNotPrepared, video,
                          "The tags of the video '" + video + "' could not be prepared once for all frames (" +
                              reason + "); exiftool tags each frame on its own."};
    sidecar.emplace(video);
}

std::optional<std::vector<unsigned char>> FrameTags::placeInto(const std::vector<unsigned char>& encoded) {
    settleSample();
    if (!splice || encoded.empty()) return std::nullopt;
    return splice->placeInto(encoded);
}

std::unique_ptr<PendingMetadataCopy> FrameTags::beginCopy(const std::string& written) {
    // A format that holds no tags needs no sidecar: its copy asks nothing of exiftool.
    const std::string& source = exiftoolWritesTagsInto(written) ? copySource() : video;
    return std::make_unique<PendingMetadataCopy>(source, written, frameKeyword);
}

const std::string& FrameTags::copySource() {
    if (!sidecar) sidecar.emplace(video);
    return sidecar->source();
}

void FrameTags::record(const std::string& path, const TagCopyOutcome& outcome) {
    const bool lacking = outcome.end == TagCopyOutcome::End::failed;
    if (lacking && lastUntagged && untagged.back().reason == outcome.reason) {
        untagged.back().last = path;
        ++untagged.back().count;
    } else if (lacking) {
        untagged.push_back({path, path, 1, outcome.reason});
    }
    lastUntagged = lacking;
}

std::vector<Failure> FrameTags::faults() const {
    std::vector<Failure> faults;
    if (sampleFault) faults.push_back(*sampleFault);
    for (const UntaggedRun& run : untagged) {
        const std::string files = run.count == 1 ? "The frame '" + run.first + "' carries"
                                                 : "The frames '" + run.first + "' to '" + run.last + "' (" +
                                                       std::to_string(run.count) + " files) carry";
        faults.push_back({Failure::Code::tagsNotCopied, run.first,
                          files + " none of the tags of the video '" + video + "': " + run.reason + "."});
    }
    return faults;
}

} // namespace tl
