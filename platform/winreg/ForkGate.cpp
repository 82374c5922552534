#include "ForkGate.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

namespace zelreg {
namespace {

void Wait(std::atomic<uint32_t>& word, uint32_t value) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void WakeAll(std::atomic<uint32_t>& word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

bool ForkGate::EnterToStart() {
    busy_.store(1);
    if (closed_.load() == 0) return true;
    Leave();
    return false;
}

void ForkGate::Enter() {
    for (;;) {
        busy_.store(1);
        if (closed_.load() == 0) return;
        Leave();
        for (uint32_t closed; (closed = closed_.load()) != 0;) Wait(closed_, closed);
    }
}

void ForkGate::Leave() {
    busy_.store(0);
    if (closed_.load() != 0) WakeAll(busy_);
}

void ForkGate::Close() {
    closed_.fetch_add(1);
    while (busy_.load() != 0) Wait(busy_, 1);
}

void ForkGate::Open() {
    if (closed_.fetch_sub(1) == 1) WakeAll(closed_);
}

void ForkGate::OpenInChild() {
    busy_.store(0);
    closed_.store(0);
}

}  // namespace zelreg
