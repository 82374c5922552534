#include "ProcessId.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace zelreg {
namespace {

std::atomic<pid_t> cached{0};

void ForgetAfterFork() { cached = getpid(); }

}  // namespace

pid_t ThisProcess() {
    // The child's handler is registered before the id is first kept, so that no fork comes between.
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, &ForgetAfterFork);
        cached = getpid();
        return true;
    }();
    (void)registered;
    return cached.load(std::memory_order_relaxed);
}

}  // namespace zelreg
