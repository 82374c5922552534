// What each commit to a hive changed, told to every process that watches the hive: a ring of
// change records in the hive's shared lock file (see HiveLocks.h), which commits append to only
// while some process watches, and a word that waiters sleep on (futex) and each append wakes.
//
// Records are appended under a robust mutex and made visible by moving `end` after they are
// written, so a process killed half-way through an append leaves nothing half written. A reader
// that falls more than the ring's size behind, or finds an append skipped (its writer could not
// have the mutex in time), learns that changes were lost.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "KeyChange.h"

namespace zelreg {

struct HiveJournalArea {
    static constexpr std::size_t kRingBytes = 1u << 20;

    pthread_mutex_t mutex;
    std::atomic<uint32_t> wake;      // moves with every append; waiters sleep on it
    std::atomic<uint32_t> sleepers;  // waiters asleep on `wake`: an append without any makes no system call
    std::atomic<uint64_t> end;       // bytes appended, ever
    std::atomic<uint64_t> dropped;   // appends skipped
    // Commits that took the mutex to append, and the count of them whose changes are appended:
    // equal unless a commit is between its commit and its append.
    std::atomic<uint64_t> begun;
    std::atomic<uint64_t> settled;
    alignas(8) unsigned char ring[kRingBytes];
};

// One change as the journal tells it, with its place in the journal.
struct JournalRecord {
    uint64_t position;
    KeyChange change;
};

class HiveJournal {
public:
    explicit HiveJournal(HiveJournalArea* area) : area_(area) {}

    // Sets up a fresh area (its process alone has the lock file).
    void Start();

    // Held from just before a commit until its changes are appended, so that the journal tells
    // commits in the order they were made: the next writer, which commits only after this one,
    // waits for it here. Does nothing without a journal (no one watches).
    class Appending {
    public:
        explicit Appending(HiveJournal* journal);
        Appending(const Appending&) = delete;
        Appending& operator=(const Appending&) = delete;
        ~Appending();
        // After the commit: appends its changes, lets the next commit append, and wakes the
        // waiters.
        void Publish(const ChangeSet& changes);
        // Where the records of the published commit lie: [from, to). False when there are none
        // to speak of (no journal, or the commit could not append).
        bool Appended(uint64_t& from, uint64_t& to) const;

    private:
        HiveJournal* journal_ = nullptr;
        bool locked_ = false;
        bool appended_ = false;
        uint64_t from_ = 0;
        uint64_t to_ = 0;
    };
    // Wakes the waiters without appending (a change they learn of another way).
    void Poke();

    // Where a reader that wants only what comes from now on starts.
    uint64_t End() const { return area_->end.load(); }
    // Reads the records from `position` on and moves it past them; false when some records
    // were lost since (then `out` holds none, and `position` is at the end).
    bool Read(uint64_t& position, uint64_t& dropped, std::vector<JournalRecord>& out) const;
    // The same, and the records then hold every commit that the hive showed before the call: a
    // commit still on its way from the hive to the journal is waited for. False also when it
    // cannot be waited for.
    bool ReadCommitted(uint64_t& position, uint64_t& dropped, std::vector<JournalRecord>& out) const;
    uint64_t Dropped() const { return area_->dropped.load(); }

    // The wake word now, and a sleep until it moves from `seen` or `timeout` passes.
    uint32_t WakeWord() const { return area_->wake.load(); }
    void Wait(uint32_t seen, std::chrono::microseconds timeout) const;

private:
    // Takes the mutex, waiting a little at most; a holder that died leaves a loss behind.
    bool Lock() const;
    void Unlock() const;
    void Append(const ChangeSet& changes);
    void Drop() const;
    // No commit is between its commit and its append any more; the caller holds the mutex.
    void Settle() const;

    HiveJournalArea* area_;
};

}  // namespace zelreg
