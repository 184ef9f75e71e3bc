#pragma once

#include <barrier>
#include <functional>

// A fixed number of threads that run one task together and meet at barriers inside it:
// member 0 is the calling thread. Work is shared out by member index, so which rows or
// columns a member handles depends only on the team's size, never on timing.
class ThreadTeam {
public:
    explicit ThreadTeam(int size);

    int size() const { return members; }

    // Runs task(member) on every member at once and returns when all have finished. The
    // task must not throw: a member that left early would leave the others at a barrier.
    void run(const std::function<void(int member)>& task);

    // Inside run(): waits until every member has reached the same point.
    void sync() { meeting.arrive_and_wait(); }

private:
    int members;
    std::barrier<> meeting;
};

// The share [begin, end) of `count` items that one of `parts` members handles.
struct Share {
    int begin, end;
};
Share shareOf(int count, int parts, int member);
