#include "align/ThreadTeam.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <vector>

using namespace tl;

namespace {

TEST(ThreadTeam, EveryMemberRunsAndMeetsTheOthers) {
    ThreadTeam team(3);
    std::vector<int> before(3, 0), seen(3, 0);
    team.run([&](int member) {
        before[static_cast<size_t>(member)] = member + 1;
        team.sync();
        // After the meeting every member sees what the others wrote before it.
        for (int other : before) seen[static_cast<size_t>(member)] += other;
    });
    EXPECT_EQ(seen, (std::vector<int>{6, 6, 6}));
}

// A member that throws half way must not leave the others waiting at a barrier for ever;
// its exception reaches the caller.
TEST(ThreadTeam, MemberThatThrowsReleasesTheOthersAndReachesTheCaller) {
    for (int thrower : {0, 1, 2}) {
        ThreadTeam team(3);
        std::atomic<int> finished{0};
        EXPECT_THROW(team.run([&](int member) {
                         team.sync();
                         if (member == thrower) throw std::runtime_error("no memory");
                         for (int round = 0; round < 5; ++round) team.sync();
                         ++finished;
                     }),
                     std::runtime_error)
            << thrower;
        EXPECT_EQ(finished.load(), 0) << thrower;
        // The team serves again afterwards.
        std::atomic<int> ran{0};
        team.run([&](int) {
            team.sync();
            ++ran;
        });
        EXPECT_EQ(ran.load(), team.size());
    }
}

// No thread can start: the whole task runs on the calling thread as a team of one.
void runWithoutRoomForThreads() {
    ThreadTeam team(4);
    if (!preventThreadStarts()) std::_Exit(2);
    int members = 0, total = 0;
    team.run([&](int member) {
        ++members;
        const Share share = shareOf(100, team.size(), member);
        for (int i = share.begin; i < share.end; ++i) total += i;
        team.sync();
    });
    std::_Exit(members == 1 && team.size() == 1 && total == 4950 ? 0 : 3);
}

TEST(ThreadTeam, TeamWhoseThreadsCannotStartRunsAsOne) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(runWithoutRoomForThreads());
}

} // namespace
