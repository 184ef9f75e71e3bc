#include "common/RemovedOnSignal.hpp"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

namespace {

// The handler may run at any moment on any thread, so the paths live in fixed slots that it
// reads without a lock or an allocation.
enum SlotState : int { emptySlot, fillingSlot, fileSlot, folderSlot };

struct Slot {
    std::atomic<int> state{emptySlot};
    char path[PATH_MAX];
};

constexpr int slotCount = 128;
std::array<Slot, slotCount> slots;

constexpr std::array<int, 4> endingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only async-signal-safe calls: unlink, rmdir, sigaction, raise.
void removeAndEnd(int signal) {
    for (Slot& slot : slots)
        if (slot.state.load() == fileSlot) unlink(slot.path);
    for (Slot& slot : slots)
        if (slot.state.load() == folderSlot) rmdir(slot.path);
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    sigaction(signal, &original, nullptr);
    raise(signal);
}

// Installed once, at the first registration. A signal that the process was told to ignore
// (a program started with SIGHUP ignored, say) stays ignored.
void installHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        for (int signal : endingSignals) {
            struct sigaction current {};
            if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
            struct sigaction handler {};
            handler.sa_handler = removeAndEnd;
            sigfillset(&handler.sa_mask);
            sigaction(signal, &handler, nullptr);
        }
    });
}

} // namespace

RemovedOnSignal::RemovedOnSignal(const std::string& path, Kind kind) : slot(-1) {
    installHandlers();
    if (path.empty() || path.size() >= PATH_MAX) return;
    for (int i = 0; i < slotCount; ++i) {
        int expected = emptySlot;
        if (!slots[i].state.compare_exchange_strong(expected, fillingSlot)) continue;
        std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
        slots[i].state.store(kind == Kind::folder ? folderSlot : fileSlot);
        slot = i;
        return;
    }
}

RemovedOnSignal::~RemovedOnSignal() {
    if (slot >= 0) slots[slot].state.store(emptySlot);
}
