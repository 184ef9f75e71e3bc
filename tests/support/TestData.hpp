#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tl {

// Real files made by others live in ../shared/testdata beside the project. Tests that
// need them skip with a message when the folder is absent.
std::string testDataPath(const std::string& relative);

#define TL_REQUIRE_TEST_DATA(relative)                                                   \
    do {                                                                                 \
        if (!testDataExists(relative))                                                   \
            GTEST_SKIP() << "test data " << testDataPath(relative) << " is absent";      \
    } while (0)

bool testDataExists(const std::string& relative);

} // namespace tl
