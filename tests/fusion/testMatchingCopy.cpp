#include "fusion/MatchingCopy.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace tl;

namespace {

TEST(MatchingCopy, EightBitImagesAreSharedNotCopied) {
    cv::Mat image(4, 4, CV_8UC3, cv::Scalar(1, 2, 3));
    EXPECT_EQ(matchingCopy(image).data, image.data);
}

TEST(MatchingCopy, SixteenBitElementsAreDividedBy257AndTruncated) {
    cv::Mat image = (cv::Mat_<uint16_t>(1, 6) << 0, 256, 257, 514, 65534, 65535);
    const cv::Mat copy = matchingCopy(image);
    ASSERT_EQ(copy.type(), CV_8UC1);
    EXPECT_EQ(copy.at<uint8_t>(0), 0);
    EXPECT_EQ(copy.at<uint8_t>(1), 0);
    EXPECT_EQ(copy.at<uint8_t>(2), 1);
    EXPECT_EQ(copy.at<uint8_t>(3), 2);
    EXPECT_EQ(copy.at<uint8_t>(4), 254);
    EXPECT_EQ(copy.at<uint8_t>(5), 255);
}

TEST(MatchingCopy, FloatElementsAreScaledByTheirOwnLargestElement) {
    cv::Mat image = (cv::Mat_<cv::Vec3f>(1, 2) << cv::Vec3f(0.0f, 1.0f, 2.0f), cv::Vec3f(0.5f, 1.99f, 0.01f));
    const cv::Mat copy = matchingCopy(image);
    ASSERT_EQ(copy.type(), CV_8UC3);
    EXPECT_EQ(copy.at<cv::Vec3b>(0), cv::Vec3b(0, 127, 255));  // scale 127.5, truncated
    EXPECT_EQ(copy.at<cv::Vec3b>(1), cv::Vec3b(63, 253, 1));
}

TEST(MatchingCopy, FloatImagesWithoutAUsableScaleGetZerosOrClampedLevels) {
    const cv::Mat black = cv::Mat::zeros(3, 3, CV_32FC3);
    const cv::Mat blackCopy = matchingCopy(black);
    ASSERT_EQ(blackCopy.type(), CV_8UC3);
    EXPECT_EQ(cv::countNonZero(blackCopy.reshape(1)), 0);

    const cv::Mat negative(3, 3, CV_32FC1, cv::Scalar(-2.0f));
    EXPECT_EQ(cv::countNonZero(matchingCopy(negative)), 0);

    cv::Mat wild = (cv::Mat_<float>(1, 4) << -1.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f, 1.0f);
    const cv::Mat wildCopy = matchingCopy(wild);
    EXPECT_EQ(wildCopy.at<uint8_t>(0), 0);
    EXPECT_EQ(wildCopy.at<uint8_t>(1), 0);
    EXPECT_EQ(wildCopy.at<uint8_t>(2), 127);
    EXPECT_EQ(wildCopy.at<uint8_t>(3), 255);
}

} // namespace
