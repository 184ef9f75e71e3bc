#include "common/Failure.hpp"
#include "common/FindString.hpp"
#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "tests/input/ImageFiles.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tl;

namespace {

TEST(FindStringTest, MatchesExactBytesOnly) {
    const std::string paths[] = {"img_1.jpg", "C:\\shots\\a.jpg", "b.jpg", "b.jpg"};
    EXPECT_EQ(findString("b.jpg", paths, 4), 2) << "the first of two equal texts";
    EXPECT_EQ(findString("img_1.jpg", paths, 4), 0);
    EXPECT_EQ(findString("IMG_1.JPG", paths, 4), -1) << "case matters";
    EXPECT_EQ(findString("img_1.jpg ", paths, 4), -1) << "no trimming";
    EXPECT_EQ(findString("C:/shots/a.jpg", paths, 4), -1) << "separators are not normalised";
    EXPECT_EQ(findString("b.jpg", paths, 2), -1) << "only count entries are searched";
    EXPECT_EQ(findString("", paths, 4), -1);
}

TEST(FindStringTest, CountBelowOneNeverLooksAtTheArray) {
    EXPECT_EQ(findString("a", nullptr, 0), -1);
    EXPECT_EQ(findString("a", nullptr, -3), -1);
}

class ImagesSequenceTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string log() const { return readFile(folder.path() / "TessalineLog.txt"); }
    void SetUp() override { setLogFolder(folder.path().string() + "/"); }
    void TearDown() override { clearLogFolder(); }
};

TEST_F(ImagesSequenceTest, MissingFileFailsNamingItAndWritesNoLog) {
    const std::string missing = folder.file("gone 'x'.jpg");
    const std::string paths[] = {missing};
    ImagesSequence sequence(paths, 1);
    try {
        sequence.getImage(0);
        ADD_FAILURE() << "a missing file gives no image";
    } catch (const StepFailure& failure) {
        EXPECT_EQ(failure.failure().code, Failure::Code::imageUnreadable);
        EXPECT_EQ(failure.failure().path, missing);
        EXPECT_EQ(failure.failure().detail, "The image '" + missing + "' does not exist or we can not open it.");
    }
    EXPECT_EQ(log(), "") << "the merge command reports it, not the sequence";
    EXPECT_TRUE(sequence.getImage(1).empty()) << "outside the list";
}

TEST_F(ImagesSequenceTest, EveryRequestReadsTheFileAgain) {
    const std::string path = folder.file("a.png");
    writeFile(path, encoded(patternImage(6, 5, CV_8UC3), ".png"));
    std::string paths[] = {path};
    ImagesSequence sequence(paths, 1);
    paths[0] = "changed after construction";

    const cv::Mat first = sequence.getImage(0);
    const cv::Mat second = sequence.getImage(0);
    ASSERT_EQ(first.size(), cv::Size(5, 6));
    EXPECT_NE(first.data, second.data) << "nothing is cached";
    EXPECT_EQ(cv::norm(first, second, cv::NORM_INF), 0);

    writeFile(path, encoded(patternImage(3, 4, CV_8UC3), ".png"));
    EXPECT_EQ(sequence.getImage(0).size(), cv::Size(4, 3)) << "the file is read when asked for";
    std::filesystem::remove(path);
    EXPECT_THROW(sequence.getImage(0), StepFailure);
    EXPECT_FALSE(sequence.isStopped());
}

} // namespace
