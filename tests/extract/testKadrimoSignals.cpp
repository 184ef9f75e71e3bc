#include "tests/extract/KadrimoProgramTest.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

using namespace tl;

namespace {

namespace fs = std::filesystem;

// TMPDIR set to folder while the object lives, so that a program started meanwhile makes
// its temporary files where the test sees them.
class TemporaryFolderVariable {
public:
    explicit TemporaryFolderVariable(const std::string& folder) {
        if (const char* value = std::getenv("TMPDIR")) earlier = value;
        setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderVariable() {
        if (earlier)
            setenv("TMPDIR", earlier->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    TemporaryFolderVariable(const TemporaryFolderVariable&) = delete;
    TemporaryFolderVariable& operator=(const TemporaryFolderVariable&) = delete;

private:
    std::optional<std::string> earlier;
};

// Waits until condition holds, at most a minute; returns whether it did.
template <typename Condition>
bool waitUntil(Condition condition) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The run's own entries in folder ("tl-" and a unique tail), one name a line; the
// folder may change while it is read. A sanitizer's runtime may keep files of its own there.
std::string ownEntriesOf(const std::string& folder) {
    std::string names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().filename().string().starts_with("tl-")) names += entry->path().filename().string() + "\n";
    return names;
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// When the signal comes: while exiftool tags the sample frame (as soon as the sample's
// folder exists), or while frames are filed (after two are listed).
enum class Moment { videoTags, filing };

class KadrimoSignalled : public KadrimoProgramTest, public ::testing::WithParamInterface<std::tuple<int, Moment>> {
protected:
    std::string temporary() const { return folder.file("tmp"); }

    // Whether the moment has come.
    bool reached(Moment moment) const {
        if (moment == Moment::videoTags) return ownEntriesOf(temporary()).find("-tags-") != std::string::npos;
        return lineCount(readFile(list())) >= 2;
    }
};

// Whatever the signal finds under way, nothing of the run's own stays behind: no sidecar
// folder in the temporary folder, no temporary frame file (nor exiftool's files beside
// one) in the output folder, and the list counts the frames it lists. SIGPIPE does not end
// the run at all.
TEST_P(KadrimoSignalled, LeavesNothingOfItsOwnBehind) {
    const auto [signal, moment] = GetParam();
    const std::string video = indexedVideo(150);
    fs::create_directory(temporary());
    pid_t child;
    {
        const TemporaryFolderVariable variable(temporary());
        child = startProgram(TL_KADRIMO_BIN, arguments(video, 0, 1000, 1000));
    }
    ASSERT_GT(child, 0);
    const bool reachedInTime = waitUntil([&] { return reached(moment); });
    kill(child, signal);
    const int status = awaitProgram(child, 300);
    ASSERT_TRUE(reachedInTime);
    if (signal == SIGPIPE) {
        EXPECT_EQ(status, 0);
        EXPECT_EQ(readFile(list()), listOf(150, numbered(1, 150, 3)));
    } else {
        EXPECT_EQ(status, -1);  // ended by the signal
        // The list is completed as a broken-off video's: its count is that of its lines.
        const std::string listed = readFile(list());
        EXPECT_EQ(listed.substr(0, listed.find('\n')), std::to_string(lineCount(listed))) << listed;
        if (moment == Moment::filing) {
            EXPECT_GE(lineCount(listed), 2u);
        }
    }
    EXPECT_EQ(ownEntriesOf(temporary()), "");
    for (const std::string& name : filesInOut()) {
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find("_exiftool_tmp"), std::string::npos) << name;
        EXPECT_EQ(name.find("_original"), std::string::npos) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, KadrimoSignalled,
                         ::testing::Combine(::testing::Values(SIGTERM, SIGINT, SIGPIPE),
                                            ::testing::Values(Moment::videoTags, Moment::filing)),
                         [](const auto& info) {
                             const int signal = std::get<0>(info.param);
                             const std::string name = signal == SIGTERM ? "Term" : signal == SIGINT ? "Int" : "Pipe";
                             return name + (std::get<1>(info.param) == Moment::videoTags ? "WhileTagsAreRead"
                                                                                         : "WhileFramesAreFiled");
                         });

} // namespace
