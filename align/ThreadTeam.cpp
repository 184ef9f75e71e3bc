#include "align/ThreadTeam.hpp"

#include "common/TaskGroup.hpp"

#include <algorithm>
#include <condition_variable>

namespace tl {

ThreadTeam::ThreadTeam(int size) : members(std::max(1, size)) {}

// A member failed: everybody leaves at the meeting point, now or at their next one, so
// that nobody waits for it there.
void ThreadTeam::sync() {
    std::unique_lock<std::mutex> held(lock);
    if (stopped) throw Stopped{};
    const long meeting = meetings;
    if (++arrived == members) {
        arrived = 0;
        ++meetings;
        met.notify_all();
        return;
    }
    met.wait(held, [&] { return meetings != meeting || stopped; });
    if (meetings == meeting) throw Stopped{};
}

void ThreadTeam::stopEverybody(std::exception_ptr cause) {
    const std::lock_guard<std::mutex> held(lock);
    if (!failure) failure = cause;
    stopped = true;
    met.notify_all();
}

void ThreadTeam::runMember(const std::function<void(int member)>& task, int member) {
    try {
        task(member);
    } catch (const Stopped&) {
    } catch (...) {
        stopEverybody(std::current_exception());
    }
}

void ThreadTeam::run(const std::function<void(int member)>& task) {
    arrived = 0;
    stopped = false;
    failure = nullptr;
    // The helpers wait to be let go until every one of them has started: a team that
    // cannot start them all must not leave some waiting at a barrier for the missing.
    std::mutex gate;
    std::condition_variable opened;
    enum { waiting, going, abandoned } start = waiting;
    TaskGroup helpers;
    bool allStarted = true;
    for (int member = 1; member < members && allStarted; ++member)
        allStarted = helpers.start([&, member] {
            std::unique_lock<std::mutex> held(gate);
            opened.wait(held, [&] { return start != waiting; });
            if (start == abandoned) return;
            held.unlock();
            runMember(task, member);
        });
    if (!allStarted) {
        {
            const std::lock_guard<std::mutex> held(gate);
            start = abandoned;
        }
        opened.notify_all();
        helpers.wait();
        members = 1;
    }
    {
        const std::lock_guard<std::mutex> held(gate);
        if (start == waiting) start = going;
    }
    opened.notify_all();
    runMember(task, 0);
    helpers.wait();
    if (failure) std::rethrow_exception(failure);
}

Share shareOf(int count, int parts, int member) {
    const long long c = count;
    return {static_cast<int>(c * member / parts), static_cast<int>(c * (member + 1) / parts)};
}

} // namespace tl
