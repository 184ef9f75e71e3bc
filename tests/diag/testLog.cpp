#include "common/ToolFolder.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>
#include <vector>

using namespace tl;

namespace {

const std::regex timestampLine(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)");

// Splits a log into its entries: each starts with a 19-character timestamp.
std::vector<std::string> entries(const std::string& log) {
    std::vector<std::string> found;
    const std::regex entry(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\n[^]*?\n\n)");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), entry); it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

class LogTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string log() const { return readFile(folder.path() / "TessalineLog.txt"); }
    void SetUp() override { setLogFolder(folder.path().string() + "/"); }
    void TearDown() override { clearLogFolder(); }
};

TEST_F(LogTest, ReportIsTimestampLineThenErrorLineThenBlankLine) {
    reportError("main", "The video 'a.avi' does not exist or we can not open it.");
    const std::string text = log();
    ASSERT_EQ(text.size(), 19u + 1 + 81 + 2);
    EXPECT_TRUE(std::regex_match(text.substr(0, 19), timestampLine)) << text;
    EXPECT_EQ(text.substr(19),
              "\nERROR at function main => The video 'a.avi' does not exist or we can not open it.\n\n");
}

TEST_F(LogTest, TimestampIsLocalTimeMonthFirst) {
    const std::time_t before = std::time(nullptr);
    reportError("Main", "x");
    const std::time_t after = std::time(nullptr);
    std::tm at{};
    const std::string stamp = log().substr(0, 19);
    ASSERT_TRUE(strptime(stamp.c_str(), "%m/%d/%Y %H:%M:%S", &at)) << stamp;
    at.tm_isdst = -1;
    const std::time_t written = std::mktime(&at);
    EXPECT_GE(written, before);
    EXPECT_LE(written, after);
}

TEST_F(LogTest, MessageEndingInLineFeedLeavesTwoEmptyLines) {
    reportError("main", "ERROR during pthread_join()\n");
    EXPECT_EQ(log().substr(19), "\nERROR at function main => ERROR during pthread_join()\n\n\n");
}

TEST_F(LogTest, RedirectionFailureEntry) {
    reportRedirectionFailure();
    EXPECT_EQ(log().substr(19), "\nERROR => Redirection de la sortie standard impossible\n\n");
}

TEST_F(LogTest, EntriesAreAppendedNeverTruncated) {
    writeFile(folder.path() / "TessalineLog.txt", "earlier run\n");
    reportError("a", "1");
    reportError("b", "2");
    const std::string text = log();
    EXPECT_EQ(text.rfind("earlier run\n", 0), 0u);
    EXPECT_NE(text.find("ERROR at function a => 1"), std::string::npos);
    EXPECT_GT(text.find("ERROR at function b => 2"), text.find("ERROR at function a => 1"));
}

TEST_F(LogTest, EntryIsDroppedWhenTheLogCannotBeOpened) {
    setLogFolder(folder.path().string() + "/missing/");
    reportError("main", "lost");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));
    clearLogFolder();
    reportError("main", "lost too");  // no path at all: silently nothing
    EXPECT_FALSE(std::filesystem::exists("TessalineLog.txt"));
}

TEST_F(LogTest, LongFolderNamesWork) {
    std::filesystem::path deep = folder.path();
    for (int i = 0; i < 4; ++i) deep /= std::string(120, 'a' + i);
    std::filesystem::create_directories(deep);
    setLogFolder(deep.string() + "/");
    reportError("main", "deep");
    EXPECT_NE(readFile(deep / "TessalineLog.txt").find("=> deep"), std::string::npos);
}

TEST_F(LogTest, EntriesFromSeveralThreadsStayWhole) {
    constexpr int threads = 4, perThread = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                reportError("worker" + std::to_string(t), std::string(200, 'a' + t));
        });
    for (auto& w : writers) w.join();
    const auto found = entries(log());
    ASSERT_EQ(found.size(), static_cast<size_t>(threads * perThread));
    for (const auto& e : found) {
        const char fill = e[e.find(" => ") + 4];  // first message character
        EXPECT_EQ(e.substr(e.size() - 202, 200), std::string(200, fill));
    }
}

TEST(ApplicationFolder, AppendsOneSlashAndSetsToolFolderAndLog) {
    EXPECT_EQ(useApplicationFolder("/opt/merge"), "/opt/merge/");
    EXPECT_EQ(toolFolder(), "/opt/merge/App/Win/x86/");
    EXPECT_EQ(logPath(), "/opt/merge/TessalineLog.txt");
    EXPECT_EQ(useApplicationFolder("/opt/merge/"), "/opt/merge//");
    EXPECT_EQ(logPath(), "/opt/merge//TessalineLog.txt");
    clearLogFolder();
    setToolFolder("");
}

TEST_F(LogTest, WarningIsAnEntryOfItsOwnKind) {
    reportWarning("checkExposures", "a.jpg is exposed differently.");
    EXPECT_EQ(log().substr(19), "\nWARNING at function checkExposures => a.jpg is exposed differently.\n\n");
}

// A person's run echoes every report on standard error as one line, log or no log.
TEST_F(LogTest, ReportsAreEchoedOnStandardErrorOnceAskedFor) {
    testing::internal::CaptureStderr();
    reportError("main", "before the echo");
    echoReportsToStandardError("tessaline");
    reportError("main", "ERROR during pthread_join()\n");
    clearLogFolder();
    reportWarning("checkExposures", "two\nlines");
    echoReportsToStandardError("");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tessaline: error: ERROR during pthread_join()\ntessaline: warning: two lines\n");
    EXPECT_EQ(entries(log()).size(), 2u);
}

} // namespace
