#include "extract/FrameListFile.hpp"
#include "extract/ListFileName.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

using namespace tl;

namespace {

TEST(ListFileNameTest, Utf8NamesAreKeptAndOthersReadAsLatin1) {
    EXPECT_EQ(listFileName("/out/plain001.jpg"), "/out/plain001.jpg");
    EXPECT_EQ(listFileName("/out/caf\xC3\xA9" "1.jpg"), "/out/caf\xC3\xA9" "1.jpg");
    EXPECT_EQ(listFileName("/out/caf\xE9" "1.jpg"), "/out/caf\xC3\xA9" "1.jpg");
    // One invalid byte makes the whole name Latin-1, the valid-looking pair included.
    EXPECT_EQ(listFileName("\xC3\xA9\xFF"), "\xC3\x83\xC2\xA9\xC3\xBF");
    EXPECT_EQ(listFileName("\x80"), "\xC2\x80");
}

TEST(ListFileNameTest, MalformedUtf8IsRecognised) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("\xE2\x82\xAC"));          // euro sign
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x8E\xA5"));      // a four-byte character
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));      // U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xC3"));                 // cut short
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));             // cut short
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));             // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));         // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));         // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));     // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xA9"));                 // lone continuation byte
    EXPECT_FALSE(isValidUtf8("\xE2\x28\xA1"));         // second byte no continuation
    EXPECT_FALSE(isValidUtf8("\xF0\x9F\x8E\x28"));     // last byte no continuation
}

TEST(FrameListFileTest, CountFirstThenOneLinePerFrameWithoutFinalLineEnd) {
    TempFolder folder;
    const std::string path = folder.file("list.txt");
    writeFile(path, "an older list that must go\n1\n2\n3\n");
    FrameListFile list(path);
    list.start(12);
    EXPECT_EQ(readFile(path), "12");
    list.add("/out/b01.jpg");
    list.add("/out/\xE9" "02.jpg");
    EXPECT_EQ(readFile(path), "12\n/out/b01.jpg\n/out/\xC3\xA9" "02.jpg");
}

// The list of a video that ended early counts the frames it names, and is replaced whole:
// no temporary file stays beside it.
TEST(FrameListFileTest, CountCanBeSetToTheFramesListed) {
    TempFolder folder;
    const std::string path = folder.file("list.txt");
    FrameListFile list(path);
    list.start(40);
    list.add("/out/b01.jpg");
    list.add("/out/b02.jpg");
    list.countListedFrames();
    EXPECT_EQ(readFile(path), "2\n/out/b01.jpg\n/out/b02.jpg");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()),
              1);
    list.start(3);
    list.countListedFrames();
    EXPECT_EQ(readFile(path), "0");
}

TEST(FrameListFileTest, UnwritableOrAbsentListIsSkipped) {
    TempFolder folder;
    FrameListFile missingFolder(folder.file("no/such/folder/list.txt"));
    missingFolder.start(3);
    missingFolder.add("x");
    missingFolder.countListedFrames();
    EXPECT_FALSE(std::filesystem::exists(folder.file("no")));
    FrameListFile none("");
    none.start(3);
    none.add("x");
}

} // namespace
