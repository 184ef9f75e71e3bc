#include "extract/VideoTagSidecar.hpp"
#include "output/ImageWriter.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const char* const keyword = "Tessaline_ImageFromVideo";

class VideoTagSidecarTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string temporary;

    // The sidecar's folder goes under a temporary folder of the test's own, to see it go.
    void SetUp() override {
        temporary = folder.file("tmp");
        fs::create_directory(temporary);
        setenv("TMPDIR", temporary.c_str(), 1);
    }
    void TearDown() override { unsetenv("TMPDIR"); }

    bool temporaryIsEmpty() const { return fs::is_empty(temporary); }

    static cv::Mat frameImage() { return cv::Mat(24, 32, CV_8UC3, cv::Scalar(20, 120, 220)); }

    // All tags of a file as exiftool lists them, less those that tell the file itself apart.
    std::string listedTags(const std::string& file) const {
        const std::string listed = file + ".json";
        EXPECT_EQ(runProgram("/usr/bin/exiftool", {"-j", "-G1", "-a", file}, listed), 0);
        std::istringstream lines(readFile(listed));
        std::string kept, line;
        while (std::getline(lines, line)) {
            bool own = false;
            for (const char* tag : {"\"SourceFile\"", ":FileName\"", ":Directory\"", ":FileModifyDate\"",
                                    ":FileAccessDate\"", ":FileInodeChangeDate\"", ":FileSize\""})
                own = own || line.find(tag) != std::string::npos;
            if (!own) kept += line + "\n";
        }
        return kept;
    }

    // A frame written and tagged as the extractor does it, through the kept-alive exiftool.
    std::string taggedFrame(const std::string& name, const std::string& source) const {
        const std::string frame = folder.file(name);
        EXPECT_NO_THROW(writeImage(frame, frameImage(), source, keyword));
        return listedTags(frame);
    }

    // The same frame tagged straight from source by an exiftool process of its own, so
    // that nothing the kept-alive exiftool remembers from earlier copies can creep in.
    std::string frameTaggedOnItsOwn(const std::string& name, const std::string& source) const {
        const std::string frame = folder.file(name);
        EXPECT_NO_THROW(writeImage(frame, frameImage(), "", ""));
        EXPECT_EQ(runProgram("/usr/bin/exiftool", {"-q", "-tagsfromfile", source,
                                                   std::string("-keywords+=") + keyword,
                                                   "-Firmware=Tessaline", frame}),
                  0);
        fs::remove(frame + "_original");
        return listedTags(frame);
    }

    // A three-frame H.264 clip of FFmpeg's test pattern, with the given extra options
    // (tags) before its name.
    std::string clip(const std::string& name, const std::vector<std::string>& options = {}) const {
        const std::string video = folder.file(name);
        std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                                              "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "3",
                                              "-c:v", "libx264", "-pix_fmt", "yuv420p"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(video);
        EXPECT_EQ(runProgram("/usr/bin/ffmpeg", arguments), 0) << name;
        return video;
    }

    // Tags a frame from the video and one through the sidecar; both must carry the same.
    std::string expectSameTags(const std::string& video, bool sidecarExpected = true) {
        std::string fromVideo;
        {
            VideoTagSidecar sidecar(video);
            if (sidecarExpected) {
                EXPECT_NE(sidecar.source(), video) << "no sidecar made for " << video;
            }
            EXPECT_TRUE(fs::exists(sidecar.source()));
            fromVideo = frameTaggedOnItsOwn("fromVideo.jpg", video);
            EXPECT_EQ(taggedFrame("fromSidecar.jpg", sidecar.source()), fromVideo);
        }
        EXPECT_TRUE(temporaryIsEmpty());
        return fromVideo;
    }
};

TEST_F(VideoTagSidecarTest, FramesGetTheSameTagsAsFromTheVideoItself) {
    TL_REQUIRE_TEST_DATA("video/Megamind.avi");
    TL_REQUIRE_TEST_DATA("video/realshort.mp4");
    for (const char* video : {"video/Megamind.avi", "video/realshort.mp4"}) {
        SCOPED_TRACE(video);
        const std::string tags = expectSameTags(testDataPath(video));
        EXPECT_NE(tags.find(keyword), std::string::npos);
    }
}

TEST_F(VideoTagSidecarTest, TagsThatFfmpegSetReachTheFramesUnchanged) {
    const std::string video =
        clip("titled.mp4", {"-metadata", "title=Harbour at dawn", "-metadata", "artist=Some One", "-metadata",
                            "comment=shot from the pier", "-metadata", "copyright=(c) Some One", "-metadata",
                            "creation_time=2021-03-04T05:06:07Z"});
    const std::string tags = expectSameTags(video);
    for (const char* value : {"Harbour at dawn", "Some One", "shot from the pier", "2021:03:04 05:06:07"})
        EXPECT_NE(tags.find(value), std::string::npos) << value;
}

// A telephone's clip: its maker, model and place become EXIF tags of the frames, whose
// directories exiftool fills with defaults of its own that the clip does not have.
TEST_F(VideoTagSidecarTest, CameraTagsOfAClipReachTheFramesUnchanged) {
    const std::string video =
        clip("phone.mov", {"-movflags", "use_metadata_tags", "-metadata", "com.apple.quicktime.make=Apple",
                           "-metadata", "com.apple.quicktime.model=iPhone", "-metadata",
                           "com.apple.quicktime.location.ISO6709=+48.8577+002.2950+035.000/", "-metadata",
                           "creation_time=2024-05-01T10:00:00Z"});
    const std::string tags = expectSameTags(video);
    for (const char* value : {"\"IFD0:Make\": \"Apple\"", "\"IFD0:Model\": \"iPhone\"", "GPS:GPSLatitude",
                              "\"IFD0:ResolutionUnit\": \"None\""})
        EXPECT_NE(tags.find(value), std::string::npos) << value;
}

// A clip without tags of its own still has a resolution, which goes into the frames'
// first EXIF directory. exiftool fills that directory's unit and positioning in by
// default from the frame itself; the sidecar must not bring defaults of its own.
TEST_F(VideoTagSidecarTest, PlainClipLeavesTheFramesDefaultTagsToTheFrame) {
    const std::string video = clip("plain.mp4");
    const std::string tags = expectSameTags(video);
    for (const char* value : {"\"IFD0:XResolution\": 72", "\"IFD0:ResolutionUnit\": \"None\""})
        EXPECT_NE(tags.find(value), std::string::npos) << value;
    EXPECT_EQ(tags.find("XMP-tiff:YCbCrPositioning"), std::string::npos);
}

// The sidecar is made while the extractor seeks; an extraction that ends before its
// first frame lets it go unused. exiftool must be done with it before its folder goes,
// and the next copy must find the kept-alive exiftool in step.
TEST_F(VideoTagSidecarTest, SidecarLetGoUnusedLeavesNothingBehind) {
    const std::string video = clip("unused.mp4", {"-metadata", "title=Never used"});
    testing::internal::CaptureStdout();
    { const VideoTagSidecar unused(video); }
    const std::string tags = taggedFrame("afterwards.jpg", video);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(temporaryIsEmpty());
    EXPECT_NE(tags.find("Never used"), std::string::npos);
}

TEST_F(VideoTagSidecarTest, VideoStaysTheSourceWhenNoSidecarCanBeMade) {
    const std::string missing = folder.file("missing.mp4");
    {
        VideoTagSidecar sidecar(missing);
        EXPECT_EQ(sidecar.source(), missing);
    }
    EXPECT_TRUE(temporaryIsEmpty());
}

// exiftool reads no tags from a file it does not understand; whatever it makes of it,
// the frames must come out as from the file itself.
TEST_F(VideoTagSidecarTest, FileWithoutReadableTagsGivesTheSameFrameTags) {
    const std::string notVideo = folder.file("notes.mp4");
    writeFile(notVideo, "not a video at all");
    expectSameTags(notVideo, false);
}

} // namespace
