#include "output/EncodedImage.hpp"
#include "output/ImageWriter.hpp"
#include "tests/extract/KadrimoProgramTest.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const std::string exiftool = "/usr/bin/exiftool";

// Every tag of each file as exiftool lists them (all groups, each with its group), less
// the File and System groups, which describe the file itself. One exiftool lists them all.
std::vector<std::string> tagListings(const TempFolder& folder, const std::vector<std::string>& files) {
    const std::string listed = folder.file("listing.txt");
    std::vector<std::string> arguments = {"-a", "-G1", "-s"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    EXPECT_EQ(runProgram(exiftool, arguments, listed), 0);
    std::istringstream lines(readFile(listed));
    std::vector<std::string> listings(files.size() == 1 ? 1 : 0);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("======== ")) listings.emplace_back();
        else if (!line.starts_with("[File]") && !line.starts_with("[System]") && !listings.empty() &&
                 !line.ends_with("image files read"))
            listings.back() += line + "\n";
    }
    EXPECT_EQ(listings.size(), files.size());
    listings.resize(files.size());
    return listings;
}

class KadrimoFrameTags : public KadrimoProgramTest {
protected:
    // The frame numbered index of video, encoded as the extractor encodes frames and tagged
    // the way each frame used to be: exiftool copying from the video into the written file.
    std::string taggedOnItsOwn(const std::string& video, int index, const std::string& extension) {
        cv::VideoCapture capture(video, cv::CAP_FFMPEG);
        cv::Mat frame;
        for (int i = 0; i <= index; ++i) EXPECT_TRUE(capture.read(frame)) << i;
        const std::string path = folder.file("reference." + extension);
        fs::remove(path);
        const std::vector<unsigned char> bytes = encodeImage(path, frame);
        EXPECT_TRUE(bytes.empty() ? cv::imwrite(path, frame) : writeFileBytes(path, bytes));
        EXPECT_EQ(runProgram(exiftool, {"-q", "-q", "-tagsfromfile", video, "-keywords+=Tessaline_ImageFromVideo",
                                        "-Firmware=Tessaline", path}),
                  0);
        fs::remove(path + "_original");
        return path;
    }

    // The first frame's file, written by the program, carries the reference's tags and pixels.
    void expectFirstFrameTaggedAsOnItsOwn(const std::string& video) {
        for (const std::string extension : {"jpg", "png", "tif"}) {
            SCOPED_TRACE(video + " to " + extension);
            // 1/1000 of any of these videos is less than a frame: the window is frame 0 alone.
            const int status = run(video, 0, 1, 1000, "base", extension);
            ASSERT_TRUE(status == 0 || fs::exists(out() + "/base1." + extension)) << readFile(log());
            const std::string written = out() + "/base1." + extension;
            const std::string reference = taggedOnItsOwn(video, 0, extension);
            const std::vector<std::string> listings = tagListings(folder, {written, reference});
            EXPECT_EQ(listings[0], listings[1]);
            EXPECT_TRUE(samePixels(cv::imread(written, cv::IMREAD_UNCHANGED), cv::imread(reference, cv::IMREAD_UNCHANGED)));
            EXPECT_EQ(readFile(log()).find("WARNING"), std::string::npos) << readFile(log());
        }
    }

    // A short H.264 clip of FFmpeg's test pattern with the given options before its name.
    std::string clip(const std::string& name, const std::vector<std::string>& options, int frames = 3) {
        const std::string video = folder.file(name);
        std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                              "testsrc2=size=64x48:rate=25", "-frames:v", std::to_string(frames),
                                              "-c:v", "libx264", "-pix_fmt", "yuv420p"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(video);
        EXPECT_EQ(runProgram("/usr/bin/ffmpeg", arguments), 0);
        return video;
    }
};

const std::vector<std::string> nonAsciiTags = {
    "-movflags", "use_metadata_tags", "-metadata", "title=Hafen bei Dämmerung ☀", "-metadata", "artist=Zoë Ångström",
    "-metadata", "com.apple.quicktime.make=Äpfel", "-metadata",
    "com.apple.quicktime.location.ISO6709=+48.8577+002.2950+035.000/", "-metadata",
    "creation_time=2024-05-01T10:00:00Z"};

TEST_F(KadrimoFrameTags, SharedVideosTagTheirFramesAsACopyOfTheirOwnWould) {
    for (const char* video : {"video/Megamind.avi", "video/realshort.mp4", "video/tree.avi"}) {
        if (!testDataExists(video)) GTEST_SKIP() << "test data " << testDataPath(video) << " is absent";
        expectFirstFrameTaggedAsOnItsOwn(testDataPath(video));
    }
}

TEST_F(KadrimoFrameTags, GeneratedVideosWithAndWithoutTagsTagTheirFramesAsACopyOfTheirOwnWould) {
    expectFirstFrameTaggedAsOnItsOwn(clip("plain.mp4", {}));
    const std::string tagged = clip("tagged.mov", nonAsciiTags);
    expectFirstFrameTaggedAsOnItsOwn(tagged);
    const std::vector<std::string> listings = tagListings(folder, {out() + "/base1.png", out() + "/base1.jpg"});
    EXPECT_NE(listings[0].find("Hafen bei Dämmerung ☀"), std::string::npos);
    EXPECT_NE(listings[1].find("Zoë Ångström"), std::string::npos);
}

TEST_F(KadrimoFrameTags, FirstAndThousandthFrameAreTaggedAlike) {
    const std::string video = clip("long.mov", nonAsciiTags, 1000);
    for (const std::string extension : {"jpg", "png"}) {
        SCOPED_TRACE(extension);
        ASSERT_EQ(run(video, 0, 1000, 1000, "base", extension), 0) << readFile(log());
        const std::vector<std::string> listings = tagListings(
            folder, {out() + "/base0001." + extension, out() + "/base1000." + extension,
                     taggedOnItsOwn(video, 999, extension)});
        EXPECT_EQ(listings[1], listings[0]);
        EXPECT_EQ(listings[2], listings[0]);
        EXPECT_NE(listings[0].find("Tessaline_ImageFromVideo"), std::string::npos);
    }
}

// An exiftool that cannot tag the sample frame (its name is turned into one that does not
// exist on the way in): the run says so, and exiftool tags each frame instead.
TEST_F(KadrimoFrameTags, FailedSampleFallsBackToTaggingEachFrame) {
    const std::string video = clip("tagged.mov", nonAsciiTags);
    const std::string tools = app() + "/App/Win/x86";
    fs::create_directories(tools);
    writeFile(tools + "/exiftool", "#!/bin/sh\n"
                                   "[ \"$1\" = -stay_open ] || exec " + exiftool + " \"$@\"\n"
                                   "sed -u 's#.*/tl-frame-tags-.*#/nonexistent/sample.jpg#' | exec " + exiftool +
                                       " \"$@\"\n");
    fs::permissions(tools + "/exiftool", fs::perms::owner_all);
    ASSERT_EQ(run(video, 0, 1000, 1000, "base", "jpg"), 0);
    EXPECT_NE(readFile(log()).find("WARNING at function main => The tags of the video '" + video +
                                   "' could not be prepared once for all frames (exiftool could not write them into "
                                   "the file); exiftool tags each frame on its own."),
              std::string::npos)
        << readFile(log());
    const std::vector<std::string> listings = tagListings(
        folder, {taggedOnItsOwn(video, 2, "jpg"), out() + "/base1.jpg", out() + "/base2.jpg", out() + "/base3.jpg"});
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(listings[static_cast<std::size_t>(i)], listings[0]) << i;
}

} // namespace
