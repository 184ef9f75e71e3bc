#pragma once

#include <gtest/gtest.h>
#include <hwy/targets.h>

namespace tl {

// Runs check once for every instruction set that the run-time dispatched code is compiled
// for and this processor has, then lets the code choose again.
template <typename Check> void onEveryTarget(Check check) {
    for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        SCOPED_TRACE(hwy::TargetName(target));
        check();
    }
    hwy::SetSupportedTargetsForTest(0);
}

} // namespace tl
