#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace tl {

// A fixed number of threads that run one task together and meet at barriers inside it:
// member 0 is the calling thread. Work is shared out by member index, so which rows or
// columns a member handles depends only on the team's size, never on timing; the tasks
// are written so that the result is the same for every size, which lets a team whose
// threads cannot all be started run as a team of one.
class ThreadTeam {
public:
    explicit ThreadTeam(int size);

    int size() const { return members; }

    // Runs task(member) on every member at once and returns when all have finished. When
    // a member throws (running out of memory, say), the others leave at their next sync()
    // instead of waiting for it there, and the exception is thrown again here.
    void run(const std::function<void(int member)>& task);

    // Inside run(): waits until every member has reached the same point.
    void sync();

private:
    struct Stopped {};
    void runMember(const std::function<void(int member)>& task, int member);
    void stopEverybody(std::exception_ptr cause);

    int members;
    // The meeting point: a barrier that a failing member can call off for everybody.
    std::mutex lock;
    std::condition_variable met;
    int arrived = 0;
    long meetings = 0;
    bool stopped = false;
    std::exception_ptr failure;
};

// The share [begin, end) of `count` items that one of `parts` members handles.
struct Share {
    int begin, end;
};
Share shareOf(int count, int parts, int member);

} // namespace tl
