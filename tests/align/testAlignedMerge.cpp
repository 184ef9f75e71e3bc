// The alignment seen through the merge program: real bracketed frames, shifted against
// each other and written as files, merged with and without alignment.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <filesystem>

using namespace tl;

namespace {

// The report's first line as it has always been, then the cause.
const std::string alignmentFailureEntry =
    "\nERROR at function Aligning images => The align option failed: The exposure and the instant image do not "
    "correlate: there is nothing to align them by. Please try to disable this option next times.\n\n";

// The 640 x 480 window of a bracket frame that a camera moved by (dx, dy) saw: its
// content lies (dx, dy) further on than in the unmoved window.
cv::Mat movedWindow(const std::string& name, int dx, int dy) {
    const cv::Mat photograph =
        cv::imread(testDataPath("bracket-desk/" + name), cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    return photograph(cv::Rect(192 - dx, 144 - dy, 640, 480)).clone();
}

struct Frame {
    std::string name;
    int dx;
    int dy;
};

// Writes the frames as PNG files (the first is the instant image) and merges them;
// returns the merged image as grey float, or an empty image when nothing was written.
cv::Mat merge(const TempFolder& folder, const std::string& tag, const std::vector<Frame>& frames,
              bool align) {
    MergeCall call;
    call.align = align ? "1" : "0";
    call.applicationFolder = folder.path().string();
    call.progressPath = folder.file(tag + "-progress.txt");
    call.outputPath = folder.file(tag + "-merged.png");
    for (const Frame& frame : frames) {
        const std::string path = folder.file(tag + "-" + frame.name + ".png");
        cv::imwrite(path, movedWindow(frame.name, frame.dx, frame.dy));
        call.exposures.push_back(path);
    }
    call.instantPath = call.exposures.front();
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0);
    const cv::Mat merged = cv::imread(call.outputPath, cv::IMREAD_ANYDEPTH | cv::IMREAD_GRAYSCALE);
    if (merged.empty()) return merged;
    cv::Mat grey;
    merged.convertTo(grey, CV_32F, 1.0 / 65535);
    return grey;
}

// Variance of the Laplacian away from the strips that the moves uncovered: the more
// the frames blur each other, the lower it is.
double sharpness(const cv::Mat& grey) {
    cv::Mat laplacian;
    cv::Laplacian(grey(cv::Rect(16, 16, grey.cols - 32, grey.rows - 32)), laplacian, CV_32F);
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(laplacian, mean, deviation);
    return deviation[0] * deviation[0];
}

}  // namespace

TEST(AlignedMerge, IsAsSharpAsAMergeOfFramesThatNeverMoved) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img03.jpg");
    const TempFolder folder;
    // The darkest frame is the instant image, so that the two brighter ones, whose light
    // is of the same order, make the merge: moved against each other they blur it.
    const std::vector<Frame> moved{{"img07.jpg", 0, 0}, {"img05.jpg", 5, -3}, {"img03.jpg", -4, 6}};
    const std::vector<Frame> still{{"img07.jpg", 0, 0}, {"img05.jpg", 0, 0}, {"img03.jpg", 0, 0}};

    const cv::Mat aligned = merge(folder, "aligned", moved, true);
    const cv::Mat unaligned = merge(folder, "unaligned", moved, false);
    const cv::Mat reference = merge(folder, "still", still, false);
    ASSERT_FALSE(aligned.empty());
    ASSERT_FALSE(unaligned.empty());
    ASSERT_FALSE(reference.empty());

    const double alignedSharpness = sharpness(aligned);
    const double unalignedSharpness = sharpness(unaligned);
    const double referenceSharpness = sharpness(reference);
    RecordProperty("alignedSharpness", std::to_string(alignedSharpness));
    RecordProperty("unalignedSharpness", std::to_string(unalignedSharpness));
    RecordProperty("stillSharpness", std::to_string(referenceSharpness));
    EXPECT_GT(alignedSharpness, 1.25 * unalignedSharpness);
    EXPECT_NEAR(alignedSharpness, referenceSharpness, 0.05 * referenceSharpness);
    // Whole-pixel moves, undone: away from the uncovered strips the aligned merge is the
    // merge of frames that never moved.
    const cv::Rect interior(16, 16, aligned.cols - 32, aligned.rows - 32);
    EXPECT_EQ(cv::norm(aligned(interior), reference(interior), cv::NORM_INF), 0.0);
}

TEST(AlignedMerge, AFlatInstantImageEndsTheRunWithTheAlignmentReportAndNoImage) {
    const TempFolder folder;
    cv::Mat textured(120, 160, CV_8UC3);
    cv::randu(textured, 0, 256);
    const std::string instantPath = folder.file("flat.png");
    const std::string exposurePath = folder.file("textured.png");
    cv::imwrite(instantPath, cv::Mat(120, 160, CV_8UC3, cv::Scalar(40, 90, 140)));
    cv::imwrite(exposurePath, textured);

    MergeCall call;
    call.align = "1";
    call.applicationFolder = folder.path().string();
    call.progressPath = folder.file("progress.txt");
    call.outputPath = folder.file("merged.png");
    call.instantPath = instantPath;
    call.exposures = {instantPath, exposurePath};
    // No image written: the run failed, and says so in its exit status.
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 1);

    const std::string log = readFile(folder.path() / "TessalineLog.txt");
    // The alignment's dated entry (19 characters of time stamp, then the report), then the
    // one that says that nothing was written.
    const std::string nothingWritten = "\nERROR at function saveMergedImage => The merge made no light image, so "
                                       "nothing was written to '" + call.outputPath + "'.\n\n";
    ASSERT_EQ(log.size(), 19 + alignmentFailureEntry.size() + 19 + nothingWritten.size()) << log;
    EXPECT_EQ(log.substr(19, alignmentFailureEntry.size()), alignmentFailureEntry);
    EXPECT_EQ(log.substr(log.size() - nothingWritten.size()), nothingWritten);
    EXPECT_FALSE(std::filesystem::exists(call.outputPath));
}
