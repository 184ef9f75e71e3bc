#pragma once

#include <pthread.h>

#include <memory>
#include <new>

namespace tl {

// Working memory that each thread keeps for itself from one call to the next: a T made on
// the thread's first call, deleted when the thread ends. A thread_local object with a
// destructor would do the same, but glibc registers that destructor with an allocation
// whose failure it does not survive: out of memory, the process aborts ("failed to
// register TLS destructor"). Here running out of memory throws std::bad_alloc, which the
// caller's step reports. Each T is one scratch: callers that need two of the same type
// wrap them in a struct of their own.
template <typename T>
T& threadScratch() {
    thread_local T* mine = nullptr;  // trivially destructible: nothing to register
    if (mine) return *mine;
    static const pthread_key_t key = [] {
        pthread_key_t made;
        if (pthread_key_create(&made, [](void* scratch) { delete static_cast<T*>(scratch); }) != 0)
            throw std::bad_alloc();
        return made;
    }();
    auto made = std::make_unique<T>();
    if (pthread_setspecific(key, made.get()) != 0) throw std::bad_alloc();
    mine = made.release();
    return *mine;
}

} // namespace tl
