#include "common/WorkerThread.hpp"

#include <exception>
#include <memory>

namespace {

void* runWorker(void* argument) {
    // The function and everything it holds go when it has run, on this thread.
    std::unique_ptr<WorkerFunction> function(static_cast<WorkerFunction*>(argument));
    (*function)();
    return nullptr;
}

} // namespace

bool startWorker(WorkerFunction function, pthread_t* handle) {
    *handle = pthread_t{};
    std::unique_ptr<WorkerFunction> block;
    try {
        block = std::make_unique<WorkerFunction>(std::move(function));
    } catch (const std::exception&) {
        return false;
    }
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_JOINABLE);
    const bool started = pthread_create(handle, &attributes, runWorker, block.get()) == 0;
    pthread_attr_destroy(&attributes);
    // Once started, the block is the thread's.
    if (started) block.release();
    return started;
}
