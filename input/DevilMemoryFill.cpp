#include "input/DevilMemoryFill.hpp"

#include <IL/il.h>

#include <cstdlib>
#include <cstring>

namespace tl {

namespace {

// DevIL's allocator hooks take no context, so the value lives here.
unsigned char fillValue = 0;

void* ILAPIENTRY filledBlock(const ILsizei size) {
    void* block = std::malloc(size);
    if (block) std::memset(block, fillValue, size);
    return block;
}

// DevIL's own blocks come from malloc or posix_memalign, so free takes both kinds.
void ILAPIENTRY freeBlock(const void* block) { std::free(const_cast<void*>(block)); }

} // namespace

DevilMemoryFill::DevilMemoryFill(unsigned char value) {
    fillValue = value;
    ilSetMemory(filledBlock, freeBlock);
}

DevilMemoryFill::~DevilMemoryFill() { ilResetMemory(); }

} // namespace tl
