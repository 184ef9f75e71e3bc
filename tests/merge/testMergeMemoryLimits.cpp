// The merge program under address-space limits (prlimit --as), from the least it starts
// with up to enough for the whole merge. Whatever runs out of memory, and wherever (a
// decoder, a band worker, the image library's own threads, the conversion before saving),
// the program either writes a complete image or fails with status 1, says it lacked
// memory, and leaves the user's file as it was: it never aborts, never spins, never
// passes a merge with exposures left out for a success.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BurstFiles.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>

using namespace tl;

namespace {

// The sanitizers reserve terabytes of address space for their shadow memory: under a
// limit they cannot even start the program.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool addressSpaceLimitsWork = false;
#else
constexpr bool addressSpaceLimitsWork = true;
#endif

const std::string prlimit = "/usr/bin/prlimit";

// Runs tessaline with arguments in at most mebibytes of address space; standard error goes
// to errors. A run still going after 20 s counts as spinning (-2).
int mergeWithin(long long mebibytes, const std::vector<std::string>& arguments, const std::string& errors) {
    std::vector<std::string> limited = {"--as=" + std::to_string(mebibytes << 20), TL_TESSALINE_BIN};
    limited.insert(limited.end(), arguments.begin(), arguments.end());
    return runProgram(prlimit, limited, "/dev/null", errors, RunLimits{20});
}

// The least address space, to 4 MiB, under which the program starts at all: its libraries
// alone take most of it (some 200 MiB on Debian 12).
long long startingMebibytes(const std::string& errors) {
    long long fails = 64, works = 576;
    while (works - fails > 4) {
        const long long middle = (fails + works) / 2;
        (mergeWithin(middle, {"--version"}, errors) == 0 ? works : fails) = middle;
    }
    return works;
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

class MergeUnderMemoryLimits : public ::testing::Test {
protected:
    TempFolder folder;
    std::vector<std::string> burst;

    void SetUp() override {
        if (!addressSpaceLimitsWork) GTEST_SKIP() << "address-space limits do not work under a sanitizer";
        if (!std::filesystem::exists(prlimit)) GTEST_SKIP() << prlimit << " is missing";
        std::filesystem::create_directory(folder.file("burst"));
        burst = writeBurst(folder.file("burst"), {480, 360}, 3, false);
        ASSERT_EQ(burst.size(), 3u);
    }

    // Raises the limit step by step from start until a merge into output succeeds,
    // checking every run on the way; returns how many runs failed. The first step leaves a
    // little room above where the program starts: right there, a library's own
    // initialiser (before main) may be the one that runs out.
    int sweep(long long start, const std::vector<std::string>& options, const std::string& output) {
        const std::string errors = folder.file("errors.txt");
        const std::string usersFile = "the user's file, not an image";
        int failures = 0;
        for (long long limit = start + 4; limit < start + 1024; limit += 8) {
            writeFile(output, usersFile);
            std::vector<std::string> arguments = {"-o", output};
            arguments.insert(arguments.end(), options.begin(), options.end());
            arguments.insert(arguments.end(), burst.begin(), burst.end());
            const int status = mergeWithin(limit, arguments, errors);
            const std::string said = readFile(errors);
            const std::string at = std::to_string(limit) + " MiB:\n" + said;
            if (status == 0) {
                EXPECT_EQ(said.find("error:"), std::string::npos) << at;
                EXPECT_EQ(cv::imread(output, cv::IMREAD_UNCHANGED | cv::IMREAD_ANYDEPTH).size(), cv::Size(480, 360))
                    << at;
                return failures;
            }
            ++failures;
            EXPECT_EQ(status, 1) << at;
            EXPECT_TRUE(lowerCase(said).find("not enough memory") != std::string::npos ||
                        lowerCase(said).find("lack of memory") != std::string::npos)
                << at;
            EXPECT_EQ(readFile(output), usersFile) << at;
            if (testing::Test::HasFailure()) return failures;
        }
        ADD_FAILURE() << "no merge succeeded within 1 GiB above the " << start << " MiB the program starts with";
        return failures;
    }
};

// One sweep meets the failures in turn: the images, the light sum, the compensation, the
// automatic ghosting power (which once left OpenCV's thread arena half made after its
// report, so that the next exposure spun in it for ever) and, last, the conversion to 16
// bits before saving.
TEST_F(MergeUnderMemoryLimits, AutomaticGhostingPowerIntoASixteenBitTiff) {
    const long long start = startingMebibytes(folder.file("errors.txt"));
    EXPECT_GT(sweep(start, {"--ghosting-power", "auto", "--threshold", "5", "--bits", "16"}, folder.file("merged.tif")),
              0);
}

} // namespace
