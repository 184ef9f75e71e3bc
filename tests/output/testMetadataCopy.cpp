#include "common/ToolFolder.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ImageWriter.hpp"
#include "output/MetadataCopy.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const std::string exiftool = "/usr/bin/exiftool";
const std::string photo = "bracket-desk/img05.jpg";

// The values of the given tags in file as exiftool reads them back, tab separated,
// "-" for a missing tag.
std::string tags(const TempFolder& folder, const std::string& file, const std::vector<std::string>& names) {
    std::vector<std::string> arguments = {"-T", "-n"};
    for (const std::string& name : names) arguments.push_back("-" + name);
    arguments.push_back(file);
    const std::string out = folder.file("tags.txt");
    EXPECT_EQ(runProgram(exiftool, arguments, out), 0);
    std::string text = readFile(out);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// What the photograph's own tags say, as SOURCES.md lists them, followed by the
// keyword and the firmware of the tag copy.
const std::vector<std::string> copiedTags = {"Make", "Model", "ExposureTime", "Keywords", "Firmware"};
std::string expectedTags(const std::string& keyword) {
    return "Canon\tCanon PowerShot S45\t1\t" + keyword + "\tTessaline";
}

bool hasBackup(const std::string& written) { return fs::exists(written + "_original"); }

// The faults a write passed over, for a test that must put its surroundings back before it
// looks at the outcome; a write that failed gives the failure alone.
std::vector<Failure> writeNoting(const std::string& path, const cv::Mat& image, const std::string& source) {
    std::vector<Failure> noted;
    try {
        writeImage(path, image, source, "Tessaline", [&](const Failure& fault) { noted.push_back(fault); });
    } catch (const StepFailure& failure) {
        return {failure.failure()};
    }
    return noted;
}

cv::Mat smallPicture() { return cv::Mat(16, 16, CV_8UC3, cv::Scalar(40, 90, 200)); }

class MetadataCopyTest : public ::testing::Test {
protected:
    TempFolder folder;
    void SetUp() override { setToolFolder(""); }
};

TEST_F(MetadataCopyTest, WrittenJpegCarriesTheSourceTagsKeywordAndFirmware) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string written = folder.file("merged.jpg");
    ASSERT_NO_THROW(writeImage(written, smallPicture(), testDataPath(photo), "Tessaline"));
    EXPECT_EQ(tags(folder, written, copiedTags), expectedTags("Tessaline"));
    EXPECT_FALSE(hasBackup(written));
    EXPECT_FALSE(cv::imread(written).empty());
}

TEST_F(MetadataCopyTest, HostilePathsReachExiftoolAsOneArgumentAndRunNothing) {
    TL_REQUIRE_TEST_DATA(photo);
    const fs::path hostile = folder.path() / "it's a \"dir\"; $(touch pwned) `touch pwned`";
    fs::create_directories(hostile);
    const std::string source = (hostile / "source $(touch pwned).jpg").string();
    fs::copy_file(testDataPath(photo), source);
    const std::string written = (hostile / "out ; touch pwned ' \" `touch pwned`.jpg").string();

    const fs::path before = fs::current_path();
    fs::current_path(hostile);
    ASSERT_NO_THROW(writeImage(written, smallPicture(), source, "Tessaline_ImageFromVideo"));
    fs::current_path(before);

    EXPECT_EQ(tags(folder, written, copiedTags), expectedTags("Tessaline_ImageFromVideo"));
    EXPECT_FALSE(hasBackup(written));
    for (const fs::path& place : {folder.path(), hostile, before})
        EXPECT_FALSE(fs::exists(place / "pwned")) << place;
}

TEST_F(MetadataCopyTest, RelativePathsStartingWithADashAreFilesNotOptions) {
    TL_REQUIRE_TEST_DATA(photo);
    const fs::path before = fs::current_path();
    fs::current_path(folder.path());
    fs::copy_file(testDataPath(photo), "-source.jpg");
    const std::vector<Failure> faults = writeNoting("-ver.jpg", smallPicture(), "-source.jpg");
    fs::current_path(before);

    ASSERT_TRUE(faults.empty()) << faults.front().detail;
    const std::string path = folder.file("-ver.jpg");
    EXPECT_EQ(tags(folder, path, copiedTags), expectedTags("Tessaline"));
    EXPECT_FALSE(hasBackup(path));
}

TEST_F(MetadataCopyTest, SourceNameWithAPercentSignIsNotTakenForAPattern) {
    TL_REQUIRE_TEST_DATA(photo);
    // exiftool would read "%f" as the written file's name and "%d" as its folder.
    const fs::path odd = folder.path() / "100%free %d";
    fs::create_directories(odd);
    const std::string source = (odd / "shot%e.jpg").string();
    fs::copy_file(testDataPath(photo), source);
    fs::create_directories(folder.path() / "tmp");
    setenv("TMPDIR", folder.file("tmp").c_str(), 1);
    const std::string written = folder.file("result.jpg");
    const std::vector<Failure> faults = writeNoting(written, smallPicture(), source);
    unsetenv("TMPDIR");

    ASSERT_TRUE(faults.empty()) << faults.front().detail;
    EXPECT_EQ(tags(folder, written, copiedTags), expectedTags("Tessaline"));
    EXPECT_TRUE(fs::is_empty(folder.path() / "tmp"));
    EXPECT_FALSE(hasBackup(written));
}

TEST_F(MetadataCopyTest, ArgumentsKeepTheirOrderAndGuardAmbiguousNames) {
    EXPECT_EQ(exiftoolArguments("/in/a.jpg", "/out/m.jpg", "Tessaline"),
              (std::vector<std::string>{"-q", "-tagsfromfile", "/in/a.jpg", "-keywords+=Tessaline",
                                        "-Firmware=Tessaline", "/out/m.jpg"}));
    EXPECT_EQ(exiftoolArguments("shot.NEF", "-m.tif", "Tessaline"),
              (std::vector<std::string>{"-q", "-tagsfromfile", "shot.NEF", "-keywords+=Tessaline",
                                        "-Firmware=Tessaline", "-Orientation#=1", "./-m.tif"}));
    // "@" would mean the written file itself, "#..." a comment in an argument list.
    EXPECT_EQ(exiftoolArguments("@", "#m.jpg", "K")[2], "./@");
    EXPECT_EQ(exiftoolArguments("@", "#m.jpg", "K")[5], "./#m.jpg");
    EXPECT_EQ(exiftoolArguments(" a.jpg", "b.jpg", "K")[2], "./ a.jpg");
}

TEST_F(MetadataCopyTest, RawSourceMarksTheDevelopedResultUpright) {
    TL_REQUIRE_TEST_DATA("raw/RAW_NIKON_D1.NEF");
    const std::string source = folder.file("turned.NEF");
    fs::copy_file(testDataPath("raw/RAW_NIKON_D1.NEF"), source);
    ASSERT_EQ(runProgram(exiftool, {"-q", "-overwrite_original", "-Orientation#=6", source}), 0);
    ASSERT_EQ(tags(folder, source, {"Orientation"}), "6");

    const std::string written = folder.file("developed.jpg");
    ASSERT_NO_THROW(writeImage(written, smallPicture(), source, "Tessaline"));
    EXPECT_EQ(tags(folder, written, {"Make", "Orientation", "Firmware"}), "NIKON CORPORATION\t1\tTessaline");
    EXPECT_FALSE(hasBackup(written));
}

TEST_F(MetadataCopyTest, FormatExiftoolCannotWriteStaysAsWritten) {
    TL_REQUIRE_TEST_DATA(photo);
    const cv::Mat light(2, 3, CV_32FC3, cv::Scalar::all(0.5));
    const std::string plain = folder.file("plain.hdr");
    ASSERT_NO_THROW(writeImage(plain, light, "", "Tessaline"));
    const std::string written = folder.file("light.hdr");
    ASSERT_NO_THROW(writeImage(written, light, testDataPath(photo), "Tessaline"));
    EXPECT_EQ(readFile(written), readFile(plain));
    EXPECT_FALSE(hasBackup(written));
}

TEST_F(MetadataCopyTest, MissingExiftoolLeavesTheImageAsWritten) {
    TL_REQUIRE_TEST_DATA(photo);
    const std::string plain = folder.file("plain.png");
    ASSERT_NO_THROW(writeImage(plain, smallPicture(), "", "Tessaline"));

    const std::string savedPath = std::getenv("PATH");
    setenv("PATH", folder.path().c_str(), 1);
    const std::string written = folder.file("untagged.png");
    const std::vector<Failure> faults = writeNoting(written, smallPicture(), testDataPath(photo));
    setenv("PATH", savedPath.c_str(), 1);

    // Written all the same; the missing tags are passed over, naming the file by its name.
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_EQ(faults[0].code, Failure::Code::tagsNotCopied);
    EXPECT_EQ(faults[0].path, written);
    EXPECT_NE(faults[0].detail.find("could not be copied into '" + written + "'"), std::string::npos)
        << faults[0].detail;
    EXPECT_EQ(readFile(written), readFile(plain));
    EXPECT_FALSE(hasBackup(written));
}

TEST_F(MetadataCopyTest, ExiftoolInTheToolFolderIsPreferredWhenExecutable) {
    TL_REQUIRE_TEST_DATA(photo);
    fs::create_directories(folder.path() / "App/Win/x86");
    const std::string tool = folder.file("App/Win/x86/exiftool");
    const std::string log = folder.file("started.txt");
    writeFile(tool, "#!/bin/sh\necho started >> '" + log + "'\nexec " + exiftool + " \"$@\"\n");
    setToolFolder(folder.file("App/Win/x86/"));

    chmod(tool.c_str(), 0644);
    EXPECT_EQ(exiftoolProgram(), "exiftool");
    chmod(tool.c_str(), 0755);
    EXPECT_EQ(exiftoolProgram(), tool);

    const std::string written = folder.file("shipped.jpg");
    ASSERT_NO_THROW(writeImage(written, smallPicture(), testDataPath(photo), "Tessaline"));
    EXPECT_EQ(readFile(log), "started\n");
    EXPECT_EQ(tags(folder, written, {"Firmware"}), "Tessaline");
    setToolFolder("");
}

} // namespace
