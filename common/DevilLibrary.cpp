#include "common/DevilLibrary.hpp"

#include <IL/il.h>

namespace tl {

namespace {

struct DevilLibrary {
    bool ready;
    DevilLibrary() : ready((ilInit(), ilGetInteger(IL_VERSION_NUM) > 0)) {}
};

const DevilLibrary devil;

} // namespace

bool requireDevil() { return devil.ready; }

void clearDevilErrors() {
    while (ilGetError() != IL_NO_ERROR) {
    }
}

} // namespace tl
