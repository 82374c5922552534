// The changes a detailed watch has found and its reader has not read yet, and the descriptor
// (an eventfd) that is readable while there are any, for a program's own poll() loop.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <mutex>

#include "../watch/TreeChange.h"

namespace zelreg {

class ChangeFeed {
public:
    ChangeFeed();
    ChangeFeed(const ChangeFeed&) = delete;
    ChangeFeed& operator=(const ChangeFeed&) = delete;
    ~ChangeFeed();

    // -1 when the system gave no eventfd (the feed then works by polling only).
    int descriptor() const { return fd_; }
    // A forked child inherits the feed with its descriptor, which it shares with the parent:
    // reading there would take the parent's changes and empty the parent's descriptor.
    bool OfThisProcess() const;

    void Push(TreeChanges changes);
    enum class Taken { Nothing, Change, TooLarge };
    // Takes the oldest unread change into `change` when its key path and value name fit in
    // `keyRoom` and `valueRoom` bytes with their terminating nulls; when they do not, copies it
    // and leaves it in place (TooLarge).
    Taken Take(std::size_t keyRoom, std::size_t valueRoom, TreeChange& change);

private:
    void Signal(bool pending);

    std::mutex mutex_;
    std::deque<TreeChange> pending_;
    int fd_;
    const pid_t owner_;
};

}  // namespace zelreg
