#include "ProcessId.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

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

bool ProcessAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

}  // namespace zelreg
