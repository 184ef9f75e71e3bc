#include "cli/ProgressBar.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace tl;

namespace {

std::string line(int exposure, int total, double percent, double seconds, int columns = 80) {
    return progressLine({exposure, total, percent, seconds}, columns);
}

TEST(ProgressLineTest, ShowsTheExposureTheWholeMergesShareAndTheTime) {
    const std::string shown = line(3, 5, 50, 12.7);
    // Two exposures done and half of the third: 50 % of the merge.
    EXPECT_EQ(shown, "\rexposure 3/5 [####################--------------------]  50%  0:12" +
                         std::string(79 - 66, ' '));
    EXPECT_EQ(shown.size(), 80u);
}

TEST(ProgressLineTest, BeginningEndAndLongRuns) {
    EXPECT_EQ(line(0, 4, 0, 0).substr(0, 63), "\rexposure 0/4 [----------------------------------------]   0%  ");
    EXPECT_NE(line(4, 4, 100, 0).find("[########################################] 100%"), std::string::npos);
    // Percentages out of range stay on the bar.
    EXPECT_EQ(line(1, 2, 250, 0), line(1, 2, 100, 0));
    EXPECT_EQ(line(1, 2, -5, 0), line(1, 2, 0, 0));
    EXPECT_NE(line(1, 1, 0, 59.9).find("  0:59"), std::string::npos);
    EXPECT_NE(line(1, 1, 0, 3725).find("  1:02:05"), std::string::npos);
    EXPECT_NE(line(0, 0, 0, 0).find("exposure 0/0 "), std::string::npos);
}

TEST(ProgressLineTest, NarrowTerminalsGetAShorterBarOrNone) {
    const std::string forty = line(2, 3, 0, 5, 40);
    EXPECT_EQ(forty, "\rexposure 2/3 [####---------]  33%  0:05");
    EXPECT_EQ(forty.size(), 40u);
    const std::string narrow = line(2, 3, 0, 5, 30);
    EXPECT_EQ(narrow, "\rexposure 2/3  33%  0:05      ");
    EXPECT_EQ(line(2, 3, 0, 5, 12), "\rexposure 2/");
}

// A real pseudo-terminal of 50 columns, as a person's shell gives the program.
class TerminalTest : public ::testing::Test {
protected:
    int master = -1;
    std::FILE* terminal = nullptr;

    void SetUp() override {
        int slave = -1;
        winsize size{};
        size.ws_col = 50;
        size.ws_row = 20;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &size), 0);
        terminal = fdopen(slave, "w");
        fcntl(master, F_SETFL, O_NONBLOCK);
    }
    void TearDown() override {
        if (terminal) std::fclose(terminal);
        if (master >= 0) close(master);
    }
    std::string received() const {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
};

TEST_F(TerminalTest, LinesAreRedrawnInPlaceAtTheTerminalsWidthAndEndedOnce) {
    ProgressBar bar(terminal);
    bar.show({1, 2, 10, 1});
    bar.show({1, 2, 10, 1});  // nothing changed: nothing drawn
    bar.show({2, 2, 0, 2});
    bar.finish();
    bar.finish();
    // The terminal turns the line feed into a carriage return and a line feed.
    EXPECT_EQ(received(), line(1, 2, 10, 1, 50) + line(2, 2, 0, 2, 50) + "\r\n");
}

// Off a terminal nothing is drawn; once a run has taken ten seconds, a line for each image
// tells a log or a CI job that it goes on.
TEST(ProgressBarTest, FilesAndPipesGetALineAnImageOnceTheRunIsLong) {
    TempFolder folder;
    std::FILE* file = std::fopen(folder.file("progress.txt").c_str(), "w");
    ASSERT_TRUE(file);
    {
        ProgressBar bar(file);
        bar.show({1, 3, 100, 2});
        bar.show({2, 3, 100, 9.9});
        bar.show({2, 3, 100, 10.5});
        bar.show({2, 3, 100, 11});
        bar.show({3, 3, 100, 75});
    }
    std::fclose(file);
    EXPECT_EQ(readFile(folder.file("progress.txt")), "exposure 2/3  66%  0:10\nexposure 3/3 100%  1:15\n");
}

} // namespace
