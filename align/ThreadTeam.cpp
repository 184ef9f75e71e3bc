#include "align/ThreadTeam.hpp"

#include <algorithm>
#include <thread>
#include <vector>

ThreadTeam::ThreadTeam(int size) : members(std::max(1, size)), meeting(std::max(1, size)) {}

void ThreadTeam::run(const std::function<void(int member)>& task) {
    std::vector<std::jthread> helpers;
    helpers.reserve(static_cast<size_t>(members - 1));
    for (int member = 1; member < members; ++member) helpers.emplace_back(task, member);
    task(0);
}

Share shareOf(int count, int parts, int member) {
    const long long c = count;
    return {static_cast<int>(c * member / parts), static_cast<int>(c * (member + 1) / parts)};
}
