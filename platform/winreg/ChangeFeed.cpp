#include "ChangeFeed.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "ProcessId.h"

namespace zelreg {
namespace {

// A reader that leaves this many changes unread loses the oldest: the feed keeps a bounded
// amount of memory, and the reader learns of the loss.
constexpr std::size_t kMostPending = 1u << 20;

}  // namespace

ChangeFeed::ChangeFeed() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), owner_(ThisProcess()) {}

bool ChangeFeed::OfThisProcess() const { return owner_ == ThisProcess(); }

ChangeFeed::~ChangeFeed() {
    if (fd_ >= 0) close(fd_);
}

void ChangeFeed::Signal(bool pending) {
    if (fd_ < 0) return;
    if (pending) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
    } else {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t taken = read(fd_, &count, sizeof count);
    }
}

void ChangeFeed::Push(TreeChanges changes) {
    if (changes.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const bool wasEmpty = pending_.empty();
    bool lost = false;
    for (TreeChange& change : changes) {
        if (change.kind == ZELREG_CHANGE_LOST) {
            lost = true;
            continue;
        }
        pending_.push_back(std::move(change));
    }
    if (pending_.size() > kMostPending) {
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pending_.size() - kMostPending));
        lost = true;
    }
    // One notice for the losses since the last, after the changes known so far.
    if (lost && (pending_.empty() || pending_.back().kind != ZELREG_CHANGE_LOST)) {
        pending_.push_back({ZELREG_CHANGE_LOST, "", ""});
    }
    if (wasEmpty && !pending_.empty()) Signal(true);
}

ChangeFeed::Taken ChangeFeed::Take(std::size_t keyRoom, std::size_t valueRoom, TreeChange& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty()) return Taken::Nothing;
    change = pending_.front();
    if (change.key.size() >= keyRoom || change.value.size() >= valueRoom) return Taken::TooLarge;
    pending_.pop_front();
    if (pending_.empty()) Signal(false);
    return Taken::Change;
}

}  // namespace zelreg
