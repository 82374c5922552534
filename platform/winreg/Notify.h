// Change notification. Every write records what it changed in the hive's change journal (a
// table in the hive file, so changes by other processes are seen too). One watcher thread per
// process, running only while notifications are pending, reads the journal past each watch's
// starting point and signals the watches whose key, sub-tree and filter match.
//
// Latency: a change made in this process wakes the watcher at once (the event is set within a
// millisecond unless the machine is busy); a change made by another process is seen at the
// next poll, so within kPollInterval (10 ms, about 5 ms on average) plus scheduling.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "Event.h"
#include "HiveLocation.h"
#include "Sqlite.h"

namespace zelreg {

class Hive;

constexpr std::chrono::milliseconds kPollInterval{10};

struct Watch {
    HiveKind hive;
    int64_t key;
    bool subtree;
    DWORD filter;
    int64_t since;     // journal entries after this one are news to the watch
    uintptr_t handle;  // the key handle it was asked through: closing it fires the watch
    std::shared_ptr<Event> event;
    uint64_t id = 0;
};

// The journal position a new watch starts from; run inside a transaction on the hive.
int64_t LatestChange(Connection& db);

class Notifier {
public:
    void Add(Watch watch);
    // A transaction of this process has committed a change.
    void Wake();
    void HandleClosed(uintptr_t handle);

    std::mutex& mutex() { return mutex_; }
    // In a child after fork(): the watcher thread is not there, nor are the waiters.
    void ResetAfterFork();

private:
    void Run();
    std::vector<uint64_t> Evaluate(Hive& hive, const std::vector<Watch>& watches);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Watch> watches_;
    std::atomic<std::size_t> pending_{0};
    bool woken_ = false;
    bool running_ = false;
    uint64_t nextId_ = 1;
};

// Called by every hive after a write commits.
void WakeWatchers();

}  // namespace zelreg
