// The registry of this process: its open hives, its handles and its change watcher. Made on
// first use (never during static initialisation) and kept until the process ends, so that
// other modules' static destructors can still read and write settings.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "ForkGate.h"
#include "HandleTable.h"
#include "Hive.h"
#include "Notify.h"

namespace zelreg {

struct KeyRef {
    std::shared_ptr<KeyHandle> handle;
    Hive* hive;
    bool predefined;
};

// Predefined keys are recognised by the low 32 bits alone, as on 64-bit Windows.
bool IsPredefinedKey(HKEY key);

class Store {
public:
    static Store& Get();

    // The handle's key and hive, opening the hive on first use. ERROR_INVALID_HANDLE for a null,
    // closed or unknown handle and for predefined keys the store does not keep.
    KeyRef Resolve(HKEY key);
    Hive& GetHive(HiveKind kind);
    // The hive if this process has it open, else null.
    Hive* OpenedHive(HiveKind kind);

    HandleTable& handles() { return handles_; }
    Notifier& notifier() { return notifier_; }

    Store();

private:
    static void PrepareFork();
    static void ParentAfterFork();
    static void ChildAfterFork();
    void ReleaseForkLocks();
    // When the process exits normally: stops the background threads, which must not run on
    // while the process's libraries are torn down, and copies each hive's log into the hive.
    static void AtExit();

    std::mutex mutex_;
    std::unique_ptr<Hive> hives_[kHiveKinds];
    // The same hives once open, for the calls that find them without the mutex: an open hive
    // stays until the process ends (a forked child sets it aside, see below).
    std::atomic<Hive*> opened_[kHiveKinds]{};
    // Hives opened by the parent of a forked child: SQLite connections must not be used across
    // fork(), nor closed (closing could drop the parent's locks), so the child sets them aside.
    std::vector<std::unique_ptr<Hive>> inherited_;
    HandleTable handles_;
    Notifier notifier_;
    friend void HiveNeedsUpkeep(bool now);
    // The background thread: ends read snapshots left idle and runs the checkpoints hives ask
    // for. Started when first needed, it then stays, asleep while there is nothing to do; none
    // once the process is exiting.
    void Upkeep();
    std::mutex upkeepMutex_;
    std::condition_variable upkeepEnded_;
    std::atomic<bool> upkeepRunning_{false};  // changed under upkeepMutex_
    bool upkeepAgain_ = false;                // asked for while running; guarded by upkeepMutex_
    bool upkeepIdle_ = false;                 // asleep until asked again; guarded by upkeepMutex_
    bool upkeepAfterFork_ = false;            // asked for while a fork() was under way; guarded by upkeepMutex_
    ForkGate upkeepGate_;
    std::atomic<bool> exiting_{false};
    bool atExitRegistered_ = false;           // guarded by mutex_
    // An eventfd that wakes the background thread before its round is over; a forked child
    // makes its own, so that it never takes a wake-up meant for its parent.
    int upkeepWake_ = -1;
    std::shared_ptr<KeyHandle> roots_[kHiveKinds];
};

}  // namespace zelreg
