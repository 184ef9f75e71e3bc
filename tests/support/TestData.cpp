#include "tests/support/TestData.hpp"

#include <filesystem>

namespace tl {

std::string testDataPath(const std::string& relative) {
    return std::string(TL_SOURCE_DIR) + "/../shared/testdata/" + relative;
}

bool testDataExists(const std::string& relative) {
    return std::filesystem::exists(testDataPath(relative));
}

} // namespace tl
