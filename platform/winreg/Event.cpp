#include "Event.h"

#include <chrono>

namespace zelreg {

void Event::Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signaled_ = true;
    if (manualReset_) {
        signal_.notify_all();
    } else {
        signal_.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signaled_ = false;
}

bool Event::Wait(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return signaled_; };
    if (milliseconds == INFINITE) {
        signal_.wait(lock, ready);
    } else if (!signal_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
        return false;
    }
    if (!manualReset_) signaled_ = false;
    return true;
}

}  // namespace zelreg
