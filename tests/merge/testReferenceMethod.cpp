// The reference merge through the named command line: the default method, the options that
// choose or refuse it, its masks, its exposures in the log, and its files.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BracketFiles.hpp"
#include "tools/BurstFiles.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>

using namespace tl;

namespace {

namespace fs = std::filesystem;

class ReferenceMethod : public ::testing::Test {
protected:
    TempFolder folder;
    std::vector<std::string> frames;

    void SetUp() override {
        fs::create_directories(folder.path() / "bracket");
        fs::create_directories(folder.path() / "app");
        BracketPlan plan;
        plan.size = {240, 160};
        frames = writeBracket(folder.file("bracket"), plan);
        ASSERT_EQ(frames.size(), 3u);
    }
    int run(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), frames.begin(), frames.end());
        return runProgram(TL_TESSALINE_BIN, arguments, folder.file("out.txt"), folder.file("err.txt"));
    }
    std::string err() const { return readFile(folder.file("err.txt")); }
    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }
};

// Without options a bracket is merged on the middle frame's scale: float light beyond its
// white where it is clipped, its own light where it is not, and the log names the exposures.
TEST_F(ReferenceMethod, TheDefaultMergesABracketOnTheInstantImagesScale) {
    ASSERT_EQ(run({"-o", folder.file("merged.hdr"), "--log-dir", folder.file("app")}), 0) << err();
    const cv::Mat merged = cv::imread(folder.file("merged.hdr"), cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
    ASSERT_EQ(merged.type(), CV_32FC3);
    double largest = 0;
    cv::minMaxLoc(merged.reshape(1), nullptr, &largest);
    EXPECT_GT(largest, 1.5) << "the window, clipped in the instant frame, is brighter than its white";
    const cv::Mat truth = bracketTruth(BracketPlan{{240, 160}});
    EXPECT_NEAR(cv::mean(merged)[1] / cv::mean(truth)[1], 1.0, 0.2);
    EXPECT_NE(log().find("frame1.jpg' at -2.00 EV from the instant image (EXIF)"), std::string::npos) << log();
    EXPECT_NE(log().find("frame3.jpg' at +2.00 EV from the instant image (EXIF)"), std::string::npos) << log();
}

TEST_F(ReferenceMethod, PatchOptionsChooseThePatchMergeAndRefuseTheReferenceMerge) {
    ASSERT_EQ(run({"-o", folder.file("chosen.hdr"), "--threshold", "10"}), 0) << err();
    ASSERT_EQ(run({"-o", folder.file("asked.hdr"), "--method", "patch", "--threshold", "10"}), 0) << err();
    EXPECT_EQ(readFile(folder.file("chosen.hdr")), readFile(folder.file("asked.hdr")));
    for (const char* option : {"--threshold", "--ghosting-power", "--tile"}) {
        EXPECT_EQ(run({"-o", folder.file("refused.hdr"), "--method", "reference", option, "5"}), 2) << option;
        EXPECT_NE(err().find("belong to --method patch"), std::string::npos) << err();
    }
    EXPECT_EQ(run({"-o", folder.file("refused.hdr"), "--method", "patch", "--ev", "-2,0,2"}), 2);
    EXPECT_EQ(run({"-o", folder.file("refused.hdr"), "--ev", "-2,0"}), 2);
    EXPECT_NE(err().find("gives 2 exposures for 3 images"), std::string::npos) << err();
    EXPECT_EQ(run({"-o", folder.file("refused.hdr"), "--ev", "-2,zero,2"}), 2);
    EXPECT_FALSE(fs::exists(folder.file("refused.hdr")));
}

// --ev overrides the tags; tags that the images contradict lose to them, with a warning.
TEST_F(ReferenceMethod, GivenExposuresOverrideTheTagsAndWrongTagsAreReported) {
    ASSERT_EQ(run({"-o", folder.file("given.hdr"), "--ev", "-1,1,3", "--log-dir", folder.file("app")}), 0) << err();
    EXPECT_NE(log().find("frame1.jpg' at -2.00 EV from the instant image (--ev)"), std::string::npos) << log();
    TempFolder wrong;
    BracketPlan plan;
    plan.size = {240, 160};
    plan.tags = BracketTags::wrong;
    frames = writeBracket(wrong.path().string(), plan);
    ASSERT_EQ(run({"-o", folder.file("wrong.jpg")}), 0) << err();
    EXPECT_NE(err().find("warning: The EXIF tags of '" + frames[0] + "' say +0.00 EV"), std::string::npos) << err();
}

// One 8-bit mask per image, named after it: black where it was kept, white where it was
// left out; the instant image's all black.
TEST_F(ReferenceMethod, MasksShowWhatWasLeftOut) {
    fs::create_directories(folder.path() / "masks");
    ASSERT_EQ(run({"-o", folder.file("merged.jpg"), "--masks", folder.file("masks")}), 0) << err();
    const BracketScene scene({240, 160}, 3, true);
    for (int i = 0; i < 3; ++i) {
        const cv::Mat mask = cv::imread(folder.file("masks/mask-frame" + std::to_string(i + 1) + ".png"), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(mask.type(), CV_8UC1) << i;
        ASSERT_EQ(mask.size(), cv::Size(240, 160));
        const cv::Point centre = scene.objectCentre(i);
        if (i == 1) {
            EXPECT_EQ(cv::countNonZero(mask), 0);
        } else {
            EXPECT_EQ(mask.at<std::uint8_t>(centre), 255) << "frame " << i << " is left out where its object is";
            EXPECT_EQ(mask.at<std::uint8_t>(scene.objectCentre(1)), 255) << "and where the instant frame's is";
            EXPECT_LT(cv::mean(mask)[0], 0.25 * 255);
        }
    }
    EXPECT_EQ(cv::imread(folder.file("merged.jpg")).size(), cv::Size(240, 160));
}

// The progress file follows the patch merge's form: the last exposure's position and its
// last tenth once the merge is done; a progress file that is one of the images is refused
// before anything is read or written.
TEST_F(ReferenceMethod, TheProgressFileEndsAtTheLastExposure) {
    ASSERT_EQ(run({"-o", folder.file("merged.hdr"), "--progress", folder.file("progress.txt")}), 0) << err();
    EXPECT_EQ(readFile(folder.file("progress.txt")), "2 90");
    const std::string photograph = readFile(frames[0]);
    EXPECT_EQ(run({"-o", folder.file("refused.hdr"), "--progress", frames[0], "--log-dir", folder.file("app")}), 1);
    EXPECT_NE(log().find("The progress file '" + frames[0] + "' cannot be written"), std::string::npos) << log();
    EXPECT_EQ(readFile(frames[0]), photograph);
    EXPECT_FALSE(fs::exists(folder.file("refused.hdr")));
}

// The demo's burst - five frames of a ball rolling further between two frames than any
// search radius - merged with the defaults: the ball once, opaque, where the instant
// frame has it, and the grass where the other frames had it.
TEST_F(ReferenceMethod, TheDemoBurstShowsTheBallOnceAndOpaque) {
    fs::create_directories(folder.path() / "burst");
    frames = writeBurst(folder.file("burst"), {360, 240}, 5, true);
    ASSERT_EQ(run({"-o", folder.file("merged.png")}), 0) << err();
    const cv::Mat merged = cv::imread(folder.file("merged.png"), cv::IMREAD_COLOR);
    const cv::Mat instant = cv::imread(frames[2], cv::IMREAD_COLOR);
    const BurstScene scene({360, 240}, 5);
    const auto redness = [](const cv::Mat& image, cv::Point at) {
        const cv::Vec3b v = image.at<cv::Vec3b>(at);
        return static_cast<int>(v[2]) - (static_cast<int>(v[0]) + v[1]) / 2;
    };
    EXPECT_GT(redness(merged, scene.ballCentre(2)), 100) << "the instant frame's ball";
    for (int i : {0, 1, 3, 4})
        EXPECT_NEAR(redness(merged, scene.ballCentre(i)), redness(instant, scene.ballCentre(i)), 25)
            << "where frame " << i + 1 << " had the ball";
}

// A mask that cannot be written (a folder holds its name) ends the run under the merge's
// own step, before the merged image is written.
TEST_F(ReferenceMethod, AMaskThatCannotBeWrittenEndsTheRunUnwritten) {
    const std::string masks = folder.file("masks");
    fs::create_directories(masks + "/mask-frame1.png");
    EXPECT_EQ(run({"-o", folder.file("merged.jpg"), "--masks", masks, "--log-dir", folder.file("app")}), 1);
    EXPECT_NE(log().find("\nERROR at function referenceMerge => The mask '" + masks +
                         "/mask-frame1.png' could not be written: "),
              std::string::npos)
        << log();
    EXPECT_EQ(log().find("ERROR at function saveMergedImage"), std::string::npos) << log();
    EXPECT_FALSE(fs::exists(folder.file("merged.jpg")));
}

// Every image named takes part: one of another kind than the instant image (here 16 bits
// against 8, then a PNG cut after its header) ends the run with the reason, and nothing is
// written, where a frame left out would make a merge of the others look whole.
TEST_F(ReferenceMethod, AnImageThatCannotTakePartEndsTheRunUnwritten) {
    const cv::Mat deep = cv::imread(frames[0], cv::IMREAD_COLOR);
    cv::Mat sixteen;
    deep.convertTo(sixteen, CV_16U, 257.0);
    const std::string deepPath = folder.file("deep.png");
    ASSERT_TRUE(cv::imwrite(deepPath, sixteen));
    frames[0] = deepPath;
    EXPECT_EQ(run({"-o", folder.file("kinds.hdr")}), 1);
    EXPECT_NE(err().find("The image '" + deepPath + "' holds 16-bit samples in 3 channels, but the instant image '" +
                         frames[1] + "' holds 8-bit samples in 3 channels"),
              std::string::npos)
        << err();
    EXPECT_NE(err().find("Nothing was written."), std::string::npos) << err();
    const std::string cut = folder.file("cut.png");
    std::ofstream(cut, std::ios::binary) << readFile(deepPath).substr(0, 88);
    frames[0] = cut;
    EXPECT_EQ(run({"-o", folder.file("cut.hdr")}), 1);
    EXPECT_NE(err().find("The image '" + cut + "' cannot be read."), std::string::npos) << err();
    EXPECT_FALSE(fs::exists(folder.file("kinds.hdr")));
    EXPECT_FALSE(fs::exists(folder.file("cut.hdr")));
}

} // namespace
