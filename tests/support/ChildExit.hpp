#pragma once

#include "tests/support/ThreadStartFailure.hpp"

#include <gtest/gtest.h>

namespace tl {

// Runs the statement in a child process and expects the child to end with status 0; the
// statement ends the child itself (std::_Exit) with another status for each way it can
// fail. The child starts the test program afresh ("threadsafe"), so the threads the test
// program runs already stand in no lock the child needs.
#define TL_EXPECT_CHILD_EXITS_CLEANLY(...)                                      \
    do {                                                                         \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                          \
        EXPECT_EXIT(__VA_ARGS__, ::testing::ExitedWithCode(0), "");              \
    } while (false)

// The same for a statement that takes the child's room for new threads away
// (preventThreadStarts): skipped under a sanitizer, which needs that room for itself.
#define TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(...)                                 \
    do {                                                                                    \
        if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";   \
        TL_EXPECT_CHILD_EXITS_CLEANLY(__VA_ARGS__);                                         \
    } while (false)

} // namespace tl
