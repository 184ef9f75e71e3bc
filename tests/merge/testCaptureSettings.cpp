#include "merge/CaptureSettings.hpp"
#include "output/MetadataCopy.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdlib>
#include <filesystem>

using namespace tl;

namespace {

TEST(CaptureSettingsLineTest, TabSeparatedValuesWithDashesForMissingTags) {
    const CaptureSettings full = parseCaptureSettingsLine("0.004\t7.6\t0 200");
    EXPECT_DOUBLE_EQ(*full.exposureTime, 0.004);
    EXPECT_DOUBLE_EQ(*full.fNumber, 7.6);
    EXPECT_DOUBLE_EQ(*full.iso, 200);
    const CaptureSettings none = parseCaptureSettingsLine("-\t-\t-");
    EXPECT_FALSE(none.exposureTime || none.fNumber || none.iso);
    const CaptureSettings odd = parseCaptureSettingsLine("0\t2.8x\t-5");
    EXPECT_FALSE(odd.exposureTime || odd.fNumber || odd.iso);
    EXPECT_FALSE(parseCaptureSettingsLine("1\t2.8").exposureTime);  // not the three columns asked for
}

// Values no camera writes count as missing: they would make gaps of infinite or hundreds
// of stops. An hour and a microsecond are still exposures.
TEST(CaptureSettingsLineTest, AbsurdValuesCountAsMissing) {
    for (const char* line : {"inf\tinf\tinf", "-inf\t-inf\t-inf", "nan\tnan\tnan", "1e-320\t1e400\t1e999"}) {
        const CaptureSettings absurd = parseCaptureSettingsLine(line);
        EXPECT_FALSE(absurd.exposureTime || absurd.fNumber || absurd.iso) << line;
    }
    EXPECT_FALSE(parseCaptureSettingsLine("3600.5\t4\t100").exposureTime);
    EXPECT_FALSE(parseCaptureSettingsLine("1e-7\t4\t100").exposureTime);
    EXPECT_DOUBLE_EQ(*parseCaptureSettingsLine("3600\t4\t100").exposureTime, 3600);
    EXPECT_DOUBLE_EQ(*parseCaptureSettingsLine("1e-6\t4\t100").exposureTime, 1e-6);
}

// Real files through the real exiftool: photographs of a camera, a file tagged here,
// a file without tags and a file that is not there.
TEST(ReadCaptureSettingsTest, EachFileGetsItsOwnSettings) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img03.jpg");
    TempFolder folder;
    const std::string tagged = folder.file("-tagged.jpg");  // read as a file, not an option
    const std::string plain = folder.file("plain.png");
    ASSERT_TRUE(cv::imwrite(tagged, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
    ASSERT_TRUE(cv::imwrite(plain, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
    ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-q", "-overwrite_original", "-ExposureTime=1/125", "-FNumber=4",
                                               "-ISO=1600", tagged}),
              0);
    const std::vector<CaptureSettings> read =
        PendingCaptureSettings({folder.file("missing.jpg"), testDataPath("bracket-desk/img03.jpg"), tagged, plain,
                                testDataPath("bracket-desk/img07.jpg")})
            .collect();
    ASSERT_EQ(read.size(), 5u);
    EXPECT_FALSE(read[0].exposureTime);
    EXPECT_DOUBLE_EQ(*read[1].exposureTime, 4);
    EXPECT_DOUBLE_EQ(*read[1].fNumber, 2.8);
    EXPECT_DOUBLE_EQ(*read[1].iso, 50);
    EXPECT_DOUBLE_EQ(*read[2].exposureTime, 0.008);
    EXPECT_DOUBLE_EQ(*read[2].fNumber, 4);
    EXPECT_DOUBLE_EQ(*read[2].iso, 1600);
    EXPECT_FALSE(read[3].exposureTime || read[3].fNumber || read[3].iso);
    EXPECT_DOUBLE_EQ(*read[4].exposureTime, 0.3);
}

TEST(ReadCaptureSettingsTest, CameraRawFilesAreReadToo) {
    TL_REQUIRE_TEST_DATA("raw/RAW_NIKON_D1.NEF");
    const std::vector<CaptureSettings> read = PendingCaptureSettings({testDataPath("raw/RAW_NIKON_D1.NEF")}).collect();
    ASSERT_TRUE(read[0].exposureTime);
    EXPECT_DOUBLE_EQ(*read[0].exposureTime, 0.004);
    EXPECT_DOUBLE_EQ(*read[0].iso, 200);
}

// The kept-alive exiftool reads its arguments from a file, where a line that starts with
// "#" is a comment and one that starts with a blank is trimmed: relative names of that
// kind, and one that starts with "-", must still reach it as files, for the capture
// settings and for the tag copy alike. The names are relative to the folder that the
// process and its exiftool share: the check runs in a fresh process (a death test) that
// goes into the folder before its exiftool starts. Exit code 0: every file's settings
// were read (else 3), the copy says so (else 4) and the copy holds the tags (else 5).
void readRelativeNames(const std::string& folder, const std::vector<std::string>& names) {
    std::filesystem::current_path(folder);
    const std::vector<CaptureSettings> read = PendingCaptureSettings(names).collect();
    bool allRead = read.size() == names.size();
    for (const CaptureSettings& settings : read)
        allRead = allRead && settings.exposureTime && *settings.exposureTime == 0.004 && settings.iso &&
                  *settings.iso == 400;
    const bool copied = copyMetadata("#1.jpg", "#copy.jpg", "Tessaline").end == TagCopyOutcome::End::copied;
    const std::string tags = folder + "/tags.txt";
    const bool tagged = runProgram("/usr/bin/exiftool", {"-T", "-Make", "-Firmware", "./#copy.jpg"}, tags) == 0 &&
                        readFile(tags) == "Relative Optics\tTessaline\n";
    // This process ends without its destructors: the folder it made goes here.
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    std::_Exit(!allRead ? 3 : !copied ? 4 : !tagged ? 5 : 0);
}

TEST(ReadCaptureSettingsTest, RelativeNamesExiftoolCouldMisreadAreReadAndCopiedFrom) {
    TempFolder folder;
    const std::vector<std::string> names = {"#1.jpg", "-2.jpg", " 3.jpg", "\t4.jpg"};
    for (const std::string& name : names) {
        ASSERT_TRUE(cv::imwrite(folder.file(name), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
        ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-q", "-overwrite_original", "-ExposureTime=1/250", "-FNumber=5.6",
                                                   "-ISO=400", "-Make=Relative Optics", folder.file(name)}),
                  0);
    }
    ASSERT_TRUE(cv::imwrite(folder.file("#copy.jpg"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
    TL_EXPECT_CHILD_EXITS_CLEANLY(readRelativeNames(folder.path().string(), names));
}

} // namespace
