#include "ForkGate.h"

namespace zelreg {

bool ForkGate::EnterToStart() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return false;
    busy_ = true;
    return true;
}

void ForkGate::Enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !closed_; });
    busy_ = true;
}

void ForkGate::Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    changed_.notify_all();
}

void ForkGate::Close() {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.wait(lock, [this] { return !busy_; });
}

void ForkGate::Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = false;
    changed_.notify_all();
}

void ForkGate::OpenInChild() {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    closed_ = false;
}

}  // namespace zelreg
