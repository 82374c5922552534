// Change notification. Every key carries two change counters (KeyState): one moves when a
// sub-key comes or goes, the other when a value is set or deleted. A watch remembers the counters
// its filter covers, of its key or, for a sub-tree watch, a digest of those of every key in the
// sub-tree, and fires when they have moved or the key is gone. One watcher thread per process,
// running only while watches are pending, looks
//  - at once after a commit of this process: the hive tells it which keys the commit changed,
//    and it fires the watches they concern (placing a changed key below a watched one by its
//    parents) without reading any counters;
//  - at once after a commit of another process to a hive with a journal (the user hive, see
//    HiveJournal.h): the thread sleeps on the journal's wake word, and reads what the commit
//    changed from the journal as if it had been made here. Where the journal lost records the
//    watches compare their counters;
//  - every kPollInterval for commits of other processes to a hive without a journal (the
//    machine hive), which show as a new data_version of the hive's connection: each watch then
//    compares its counters, a sub-tree watch by walking its sub-tree. Walks are spaced so that
//    they take at most a fifth of the watcher's time.
// Starting a sub-tree watch walks its sub-tree once. At worst a watch fires once too often: a
// change it cannot place (of a key deleted since) counts as below it, and a deleted key with
// values takes them out of a digest too.
//
// As on Windows, the deletion of the watched key itself signals nothing: the watch stays pending,
// unmoved by any later change, until its handle is closed.
//
// Detailed watches (FeedWatch.h) are kept and woken the same way, and tell what changed.
//
// Latency: a change made by any process to the user hive reaches the watcher thread as soon as
// it runs (well within a millisecond unless the machine is busy); a change another process
// makes to the machine hive within kPollInterval (10 ms, about 5 ms on average) plus
// scheduling, plus for a sub-tree watch the walk of its sub-tree (about a microsecond per key).
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
#include "FeedWatch.h"
#include "ForkGate.h"
#include "HiveJournal.h"
#include "HiveLocation.h"
#include "KeyChange.h"
#include "Sqlite.h"

namespace zelreg {

class Hive;

constexpr std::chrono::milliseconds kPollInterval{10};

struct Watch {
    HiveKind hive;
    int64_t key;
    bool subtree;
    DWORD filter;
    uintptr_t handle;  // the key handle it was asked through: closing it fires the watch
    std::shared_ptr<Event> event;
    // Set by the notifier.
    uint64_t id = 0;
    uint64_t seenChange = 0;  // changes of this process numbered above this are news to the watch
    int64_t dataVersion = 0;  // the connection's data_version when `digest` was taken
    uint64_t digest = 0;      // the counters the filter covers (see Notify.cpp)
    bool keyGone = false;     // the key was deleted: only closing the handle ends the watch
    bool journaled = false;   // follows the hive's journal from journalPosition on
    uint64_t journalPosition = 0;
    uint64_t journalDropped = 0;
};

class Notifier {
public:
    // Starts a watch. Runs inside a read transaction on the watched key's hive, before its first
    // statement: that state is what later changes are measured against. `journal` is what
    // Hive::StartWatching gave, the count of which the notifier takes back when the watch ends.
    // ERROR_KEY_DELETED when the key is gone.
    void Add(Connection& db, Watch watch, HiveJournal* journal);
    void AddFeed(Connection& db, std::shared_ptr<FeedWatch> feed, HiveJournal* journal);
    // A transaction of this process has committed these changes to the hive.
    void Committed(HiveKind hive, const ChangeSet& changes);
    // Ends the watches asked through the key handle, and the detailed watch of that handle.
    void HandleClosed(uintptr_t handle);

    std::mutex& mutex() { return mutex_; }
    ForkGate& gate() { return gate_; }
    // In the parent after fork(): starts the watcher thread if a watch asked for it meanwhile.
    void StartAfterFork();
    // In a child after fork(): the watcher thread is not there, nor are the waiters.
    void ResetAfterFork();
    // When the process exits: ends the watcher thread and starts none again; watches added
    // afterwards never fire.
    void Stop();

private:
    // This process's recent changes to one hive; changes[i] is numbered first + i.
    struct ChangeLog {
        uint64_t first = 1;
        std::vector<KeyChange> changes;
        uint64_t last() const { return first + changes.size() - 1; }
    };

    using Feeds = std::vector<std::shared_ptr<FeedWatch>>;

    // With the lock held: makes sure the watcher thread runs, and has it look. Once started,
    // the thread stays until the process exits, asleep while nothing is watched: a thread's
    // start and end are what a fork() must not cut through (see ForkGate).
    void Begin();
    void Wake();
    // Waits until there may be news: a commit of this process, one of another process to a
    // hive with a journal, a new or closed watch, or the next poll when any watch needs it.
    void AwaitNews(std::unique_lock<std::mutex>& lock);
    // Gives the hives back the counts of watches that ended (Hive::StopWatching), without the
    // notifier's lock, which is taken after the hives' locks.
    void ReleaseEnded(std::unique_lock<std::mutex>& lock);
    void Run();
    // Brings the watches of one hive up to date and returns the ids of those that fire.
    std::vector<uint64_t> Evaluate(Hive& hive, HiveJournal* journal, std::vector<Watch>& watches, const Feeds& feeds);
    // Under the lock, after an evaluation: signals and removes the fired watches, keeps how far
    // the others have looked, and drops the changes that every watch has seen.
    void Settle(std::vector<uint64_t> fired, const std::vector<Watch>& evaluated);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    bool stopping_ = false;
    std::vector<Watch> watches_;
    Feeds feeds_;
    HiveJournal* journals_[kHiveKinds] = {};
    int endedWatches_[kHiveKinds] = {};  // journaled watches ended since ReleaseEnded
    ChangeLog logs_[kHiveKinds];
    std::atomic<std::size_t> pending_{0};
    bool woken_ = false;
    bool running_ = false;
    bool startAfterFork_ = false;  // asked for while a fork() was under way
    ForkGate gate_;
    uint64_t nextId_ = 1;
    // Used by the watcher thread alone: when it may next walk a sub-tree of each hive, and each
    // journal's wake word as it was before the thread last read the journal.
    std::chrono::steady_clock::time_point nextWalk_[kHiveKinds];
    uint32_t journalWords_[kHiveKinds] = {};
};

// Called by every hive after a write commits.
void ChangesCommitted(HiveKind hive, const ChangeSet& changes);

}  // namespace zelreg
