#include "common/RemovedOnSignal.hpp"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace tl {

namespace {

// The handler may run at any moment on any thread, so the paths live in fixed slots that it
// reads without a lock or an allocation.
enum SlotState : int { emptySlot, fillingSlot, fileSlot, folderSlot, childSlot, stepSlot };

struct Slot {
    std::atomic<int> state{emptySlot};
    pid_t child = 0;
    RemovedOnSignal::LastStep step{nullptr, nullptr};
    char path[PATH_MAX];
};

constexpr int slotCount = 128;
std::array<Slot, slotCount> slots;

// Set when a signal begins to end the process; creations under way are counted.
std::atomic<bool> ending{false};
std::atomic<int> creating{0};

constexpr std::array<int, 4> endingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Only async-signal-safe calls from here to removeAndEnd: kill, waitpid, nanosleep, unlink,
// rmdir, sigaction, raise, and the registered last steps, which keep to such calls too.
void endChildren() {
    for (Slot& slot : slots) {
        if (slot.state.load() != childSlot) continue;
        kill(slot.child, SIGKILL);
        while (waitpid(slot.child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

// Creations that began before the signal end within moments: they only make a file and
// register it, with the signals held back in their thread. The wait is bounded all the same:
// a creation could need a lock (the allocator's) that the interrupted thread holds.
void awaitCreations() {
    const timespec pause{0, 100'000};
    for (int waited = 0; creating.load() != 0 && waited < 20'000; ++waited) nanosleep(&pause, nullptr);
}

void removeAndEnd(int signal) {
    // The signal, blocked while its handler runs, ends the process only once the handler
    // has returned to the code it interrupted, which must find errno as it left it.
    const int interruptedErrno = errno;
    ending.store(true);
    awaitCreations();
    endChildren();
    for (Slot& slot : slots)
        if (slot.state.load() == stepSlot) slot.step.run(slot.step.context);
    for (Slot& slot : slots)
        if (slot.state.load() == fileSlot) unlink(slot.path);
    for (Slot& slot : slots)
        if (slot.state.load() == folderSlot) rmdir(slot.path);
    struct sigaction original {};
    original.sa_handler = SIG_DFL;
    sigemptyset(&original.sa_mask);
    sigaction(signal, &original, nullptr);
    raise(signal);
    errno = interruptedErrno;
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

// Takes a free slot and fills it through fill; -1 when every slot is taken.
template <typename Fill>
int occupySlot(SlotState kind, Fill fill) {
    for (int i = 0; i < slotCount; ++i) {
        int expected = emptySlot;
        if (!slots[i].state.compare_exchange_strong(expected, fillingSlot)) continue;
        fill(slots[i]);
        slots[i].state.store(kind);
        return i;
    }
    return -1;
}

} // namespace

RemovedOnSignal::RemovedOnSignal(const std::string& path, Kind kind) : slot(-1) {
    installHandlers();
    if (path.empty() || path.size() >= PATH_MAX) return;
    slot = occupySlot(kind == Kind::folder ? folderSlot : fileSlot,
                      [&](Slot& s) { std::memcpy(s.path, path.c_str(), path.size() + 1); });
}

RemovedOnSignal::RemovedOnSignal(pid_t child) : slot(-1) {
    installHandlers();
    if (child > 0) slot = occupySlot(childSlot, [&](Slot& s) { s.child = child; });
}

RemovedOnSignal::RemovedOnSignal(LastStep step) : slot(-1) {
    installHandlers();
    if (step.run) slot = occupySlot(stepSlot, [&](Slot& s) { s.step = step; });
}

RemovedOnSignal::~RemovedOnSignal() {
    if (slot >= 0) slots[slot].state.store(emptySlot);
}

RemovedOnSignal::Creation::Creation() {
    installHandlers();
    sigset_t held;
    sigemptyset(&held);
    for (int signal : endingSignals) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &earlier);
    creating.fetch_add(1);
    if (!ending.load()) return;
    // A signal is ending the process and waits for no creation of ours: let it.
    creating.fetch_sub(1);
    for (;;) pause();
}

RemovedOnSignal::Creation::~Creation() {
    creating.fetch_sub(1);
    pthread_sigmask(SIG_SETMASK, &earlier, nullptr);
}

} // namespace tl
