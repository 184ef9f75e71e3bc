#include "common/FailedWriteSignals.hpp"

#include <csignal>

void ignoreFailedWriteSignals() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}
