#pragma once

#include <stdexcept>
#include <string>

// Why a reference merge could not be made, as one sentence for the reports: raised where
// the fault is found; the merge command turns it into a report and an exit status.
class ReferenceMergeFailure : public std::runtime_error {
public:
    explicit ReferenceMergeFailure(const std::string& what) : std::runtime_error(what) {}
};
