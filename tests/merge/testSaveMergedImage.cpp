#include "merge/SaveMergedImage.hpp"

#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>

using namespace tl;

namespace {

TEST(SaveMergedImage, MergedImageIsWrittenInTheRequestedBits) {
    TempFolder folder;
    const cv::Mat light(4, 4, CV_32FC3, cv::Scalar(0.0f, 0.999f, 1.0f));
    const std::string words = folder.file("merged16.png");
    ASSERT_NO_THROW(saveMergedImage(light, words, 16, ""));
    const cv::Mat wordsBack = cv::imread(words, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(wordsBack.type(), CV_16UC3);
    EXPECT_EQ(wordsBack.at<cv::Vec3w>(0, 0), cv::Vec3w(0, 65469, 65535));

    const std::string bytes = folder.file("merged24.png");
    ASSERT_NO_THROW(saveMergedImage(light, bytes, 24, ""));
    EXPECT_EQ(cv::imread(bytes, cv::IMREAD_UNCHANGED).at<cv::Vec3b>(3, 3), cv::Vec3b(0, 254, 255));

    const std::string doubles = folder.file("merged64.png");
    EXPECT_THROW(saveMergedImage(cv::Mat(4, 4, CV_64FC3, cv::Scalar::all(0.5)), doubles, 8, ""), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(doubles));
}

TEST(SaveMergedImage, EmptyLightImageWritesNothing) {
    TempFolder folder;
    const std::string path = folder.file("empty.png");
    EXPECT_THROW(saveMergedImage(cv::Mat(), path, 16, ""), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
