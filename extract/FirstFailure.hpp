#pragma once

#include <atomic>
#include <mutex>
#include <new>
#include <string>

namespace tl {

// The first failure of the frames handled on a thread of its own, told to the thread that
// reports it. Telling never throws: when memory has run out, as it often has when a frame
// fails, the failure is kept without its text and told as a lack of memory.
class FirstFailure {
public:
    // Keeps the failure that compose() describes, unless one is kept already; returns whether
    // this one was kept.
    template <typename Compose> bool record(Compose compose) noexcept {
        const std::lock_guard<std::mutex> held(guard);
        if (kept.load()) return false;
        try {
            text = compose();
        } catch (const std::bad_alloc&) {
            text.clear();
        }
        kept.store(true);
        return true;
    }

    bool failed() const { return kept.load(); }

    // The failure's text; whenOutOfMemory when it could not be composed.
    std::string told(const char* whenOutOfMemory) const {
        const std::lock_guard<std::mutex> held(guard);
        return text.empty() ? whenOutOfMemory : text;
    }

private:
    mutable std::mutex guard;
    std::atomic<bool> kept{false};
    std::string text;
};

} // namespace tl
