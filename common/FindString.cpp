#include "common/FindString.hpp"

namespace tl {

int findString(std::string value, const std::string* array, int count) {
    for (int i = 0; i < count; ++i)
        if (array[i] == value) return i;
    return -1;
}

} // namespace tl
