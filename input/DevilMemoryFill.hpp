
namespace tl {

#pragma once

// While an object lives, every block that DevIL allocates (its pixel buffers among them)
// starts filled with one byte value instead of whatever the heap held. Blocks stay
// malloc's, so they may be freed after the object is gone, and blocks DevIL allocated
// before may be freed while it lives. DevIL's allocator is global: one object at a time.
class DevilMemoryFill {
public:
    explicit DevilMemoryFill(unsigned char value);
    ~DevilMemoryFill();
    DevilMemoryFill(const DevilMemoryFill&) = delete;
    DevilMemoryFill& operator=(const DevilMemoryFill&) = delete;
};

} // namespace tl
