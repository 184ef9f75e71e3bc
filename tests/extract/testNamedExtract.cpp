#include "extract/FrameWindow.hpp"
#include "extract/NamedExtractOptions.hpp"
#include "tests/extract/IndexedVideo.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <map>
#include <regex>

using namespace tl;

namespace {

namespace fs = std::filesystem;

// A fraction k / F of a video of F frames starts the window on frame k, as the front
// end's own numerators do: the single-precision window arithmetic must not land one
// frame early.
TEST(WindowNumeratorTest, FractionsOfTheFrameCountFallOnTheirFrames) {
    for (std::int64_t frames = 1; frames <= 3000; frames += frames < 100 ? 1 : 37) {
        for (std::int64_t k = 0; k < frames; k += std::max<std::int64_t>(1, frames / 50)) {
            const double fraction = static_cast<double>(k) / static_cast<double>(frames);
            const FrameWindow w =
                computeFrameWindow(frames, windowNumerator(fraction), windowNumerator(1.0), windowDenominator);
            ASSERT_EQ(w.first, k) << k << " / " << frames;
            ASSERT_EQ(w.count, frames - k) << k << " / " << frames;
        }
    }
    EXPECT_EQ(computeFrameWindow(10, windowNumerator(1.0), windowNumerator(1.0), windowDenominator).first, 9);
}

// The extractor called by name, next to the same extraction called by position.
class NamedExtract : public ::testing::Test {
protected:
    TempFolder folder;
    std::string video;

    void SetUp() override {
        fs::create_directory(folder.path() / "app");
        video = makeIndexedVideo(folder.path().string(), "clip.avi", 40, {"-c:v", "mjpeg", "-q:v", "3"}, 96, 72);
        ASSERT_FALSE(video.empty());
    }
    int run(const std::vector<std::string>& arguments) {
        return runProgram(TL_KADRIMO_BIN, arguments, folder.file("out.txt"), folder.file("err.txt"));
    }
    std::string err() const { return readFile(folder.file("err.txt")); }

    // The files of a folder by name, with their bytes.
    std::map<std::string, std::string> filesIn(const std::string& name) const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder.path() / name))
            files[entry.path().filename().string()] = readFile(entry.path());
        return files;
    }
};

TEST_F(NamedExtract, SameFramesByNameAndByPosition) {
    fs::create_directory(folder.path() / "positional");
    ASSERT_EQ(run({"1", "250", "500", "1000", video, folder.file("positional"), "f", "png", folder.file("p.txt"),
                   folder.file("app")}),
              0);
    ASSERT_EQ(run({video, "-o", folder.file("named"), "--from", "0.25", "--to", "0.5", "--name", "f", "--format",
                   "png", "--list", folder.file("n.txt")}),
              0)
        << err();
    EXPECT_EQ(err(), "");
    EXPECT_EQ(readFile(folder.file("out.txt")), "");
    const auto named = filesIn("named");
    ASSERT_EQ(named.size(), 10u);  // frames 10 to 19 of 40
    EXPECT_TRUE(named == filesIn("positional"));
    std::string list = readFile(folder.file("p.txt"));
    for (std::size_t at; (at = list.find("/positional/")) != std::string::npos;) list.replace(at, 12, "/named/");
    EXPECT_EQ(readFile(folder.file("n.txt")), list);
    EXPECT_EQ(shownIndex(cv::imread(folder.file("named/f01.png"))), 10);
}

TEST_F(NamedExtract, DefaultsCutTheWholeVideoIntoJpegsWithoutAList) {
    ASSERT_EQ(run({video, "-o", folder.file("frames/new")}), 0) << err();
    const auto frames = filesIn("frames/new");
    EXPECT_EQ(frames.size(), 40u);
    EXPECT_EQ(frames.begin()->first, "frame01.jpg");
    EXPECT_EQ(frames.rbegin()->first, "frame40.jpg");
}

TEST_F(NamedExtract, BadOptionsEndWithStatusTwoAndWriteNothing) {
    writeFile(folder.file("file"), "");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{video, "--bogus"}, "unknown option '--bogus'"},
        {{video, "--fromm", "0.5"}, "unknown option '--fromm' (did you mean --from?)"},
        {{video, "--form", "png"}, "unknown option '--form' (did you mean --format?)"},
        {{video, "--from", "1e-320", "--lsit", folder.file("l.txt")}, "unknown option '--lsit' (did you mean --list?)"},
        {{folder.file("missing.avi")}, "VIDEO: no such file"},
        {{video, "--from", "half"}, "--from: 'half' is not a fraction from 0 to 1"},
        {{video, "--to", "1.5"}, "--to: '1.5' is not a fraction from 0 to 1"},
        {{video, "--from", "0.6", "--to", "0.5"}, "the window starts at 0.6, after its end at 0.5"},
        {{video, "--format", "xyz"}, "--format: no image writer knows the format 'xyz'"},
        {{video, "--list", folder.file("nowhere/l.txt")}, "--list: no such folder"},
        {{video, "--log-dir", folder.file("nowhere")}, "--log-dir: no such folder"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments{"-o", folder.file("frames"), "--list", folder.file("list.txt")};
        if (options.back() != folder.file("nowhere")) arguments.insert(arguments.end(), {"--log-dir", folder.file("app")});
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_TRUE(std::regex_match(err(), std::regex("kadrimo: [^\n]+\n"))) << err();
        EXPECT_NE(err().find(message), std::string::npos) << err();
        EXPECT_FALSE(fs::exists(folder.file("frames"))) << message;
        EXPECT_FALSE(fs::exists(folder.file("list.txt"))) << message;
        EXPECT_FALSE(fs::exists(folder.file("app/TessalineLog.txt"))) << message;
    }
    EXPECT_EQ(run({video}), 2);
    EXPECT_NE(err().find("--output is required"), std::string::npos);
    EXPECT_EQ(run({video, "-o", folder.file("file")}), 2);
    EXPECT_NE(err().find("is a file, not a folder"), std::string::npos);
}

TEST_F(NamedExtract, VideoThatCannotBeOpenedIsReportedOnStandardErrorAndInTheLog) {
    const std::string notVideo = folder.file("notes.avi");
    writeFile(notVideo, "plain text");
    EXPECT_EQ(run({notVideo, "-o", folder.file("frames"), "--log-dir", folder.file("app")}), 1);
    EXPECT_EQ(err(), "kadrimo: error: The file '" + notVideo + "' is not a video that can be decoded.\n");
    EXPECT_NE(readFile(folder.file("app/TessalineLog.txt")).find("ERROR at function main => The file"),
              std::string::npos);
}

TEST_F(NamedExtract, RealClipByNameAndByPosition) {
    TL_REQUIRE_TEST_DATA("video/Megamind.avi");
    const std::string clip = testDataPath("video/Megamind.avi");
    fs::create_directory(folder.path() / "positional");
    ASSERT_EQ(run({"1", "250", "300", "1000", clip, folder.file("positional"), "base", "jpg", folder.file("p.txt")}), 0);
    ASSERT_EQ(run({clip, "-o", folder.file("named"), "--from", "0.25", "--to", "0.3", "--name", "base"}), 0) << err();
    const auto named = filesIn("named");
    EXPECT_EQ(named.size(), 14u);  // 270 frames: 67 up to 81
    EXPECT_TRUE(named == filesIn("positional"));
}

} // namespace
