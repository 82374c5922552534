// SIGINT and SIGTERM are blocked in every thread and taken by sigwait.
#include "Interrupt.h"

#include <pthread.h>
#include <signal.h>

namespace zelregtool {
namespace {

sigset_t Interruptions() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

Interrupt::Interrupt() {
    const sigset_t set = Interruptions();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

Interrupt::~Interrupt() {
    const sigset_t set = Interruptions();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void Interrupt::Wait() {
    const sigset_t set = Interruptions();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
}

}  // namespace zelregtool
