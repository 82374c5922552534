// The eight locks that SQLite takes in a hive's write-ahead-log index (the -shm file), kept in a
// small file that every process using the hive maps, instead of as fcntl() record locks in the
// -shm file. A write transaction takes and drops six of them; as record locks that is six
// system calls, here it is a few instructions in the shared mapping.
//
// What record locks give for free is kept:
//  - A lock dies with its process. Each connection owns a slot of the table, and its process
//    holds a record lock on the slot's byte of the file for as long as the slot is in use; a
//    lock that stands in the way is checked against that record lock, and the locks of a slot
//    whose process is gone are dropped.
//  - A table left behind by processes that are all gone (after a crash or a reboot) is never
//    trusted: the first process to open the file while no other has it open starts it afresh.
//  - Programs that use the hive through SQLite's own locks are kept out while any process of
//    ours has it open: every process holds read locks on the -shm bytes of SQLite's write,
//    checkpoint and recovery locks, so such a program can neither write, nor checkpoint, nor
//    rebuild the index under us.
//
// The write lock goes to whoever asks first when it is free, which keeps it busy; but a
// connection that has asked in vain for longer than a moment has it before anyone who asked
// after it, so that no writer is left waiting for long while the others take turns.
//
// Taking and giving up a lock needs no mutex: a connection sets its bits first and then looks at
// everyone else's, giving them back when it finds a conflict. The table's mutex, a robust one
// that a process killed while holding it passes on, only orders the claiming of slots and the
// clearing of dead processes' slots. Every wait is bounded: the mutex is waited for within the
// lock wait limit (LockWait.h; a holder that is stopped, not dead, keeps it), and a connection
// that finds a lock taken can sleep until some lock is given up (AwaitRelease) instead of polling.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "HiveJournal.h"

namespace zelreg {

// The shared table, as it lies at the start of the lock file.
struct HiveLockTable {
    static constexpr uint32_t kMagic = 0x5A4C4B36;  // "ZLK6"
    static constexpr int kSlots = 1024;

    uint32_t magic;
    uint32_t size;  // sizeof(HiveLockTable) of the build that made it
    pthread_mutex_t mutex;
    std::atomic<uint32_t> slotsUsed;  // every slot from here on is free
    // Moves whenever a lock is given up while `waiters` is not zero; waiters sleep on it (futex).
    std::atomic<uint32_t> releases;
    std::atomic<uint32_t> waiters;
    // Processes that watch the hive (one count per watching slot), and whether the journal
    // after the table has been made (HiveJournal.h): the file grows by it only once a process
    // watches.
    std::atomic<uint32_t> watchers;
    std::atomic<uint32_t> journalReady;
    std::atomic<uint8_t> shared[kSlots];     // per slot, a bit per lock held shared
    std::atomic<uint8_t> exclusive[kSlots];  // per slot, a bit per lock held exclusively
    // Per slot, for the write lock: since when (steady clock, ns) it has been asking in vain, 0
    // when it is not; and when it last asked.
    std::atomic<int64_t> writeWaitSince[kSlots];
    std::atomic<int64_t> writeAskedAt[kSlots];
    // Per slot, whether its process watches the hive (counted in `watchers`).
    std::atomic<uint8_t> watching[kSlots];
    // Moves whenever a new read map of the hive takes the place of the one before (ReadMap.h).
    std::atomic<uint64_t> readMapGeneration;
};

// The lock file: the table, then, once a process watches, the hive's journal on a page of its own.
constexpr std::size_t kJournalOffset = (sizeof(HiveLockTable) + 4095) & ~std::size_t{4095};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint8_t>::is_always_lock_free,
              "the table is shared between processes: its atomics must not hide a lock");

class HiveLockFile;  // this process's opening of one lock file, shared by its connections

// One connection's share of a hive's locks. Made when SQLite first maps the connection's -shm
// file and dropped when it unmaps it, so that this process keeps its descriptors of the -shm
// file exactly as long as SQLite does: closing any descriptor of a file drops every record
// lock the process holds on it, SQLite's own included.
class HiveLocks {
public:
    // Opens this process's share of the lock file of the database at `database` (the file is
    // `database` + "-locks", made when missing). On failure returns null and sets `rc` to an
    // SQLite result code (SQLITE_FULL when the disk has no room for it, SQLITE_IOERR_LOCK when
    // another process keeps it locked beyond the lock wait limit); the reason goes to stderr.
    static std::unique_ptr<HiveLocks> Open(const std::string& database, int& rc);

    explicit HiveLocks(HiveLockFile* file);
    HiveLocks(const HiveLocks&) = delete;
    HiveLocks& operator=(const HiveLocks&) = delete;
    // Gives up the slot, dropping whatever this connection still holds.
    ~HiveLocks();

    // SQLite's xShmLock: `count` locks from `offset`, SQLITE_SHM_LOCK or SQLITE_SHM_UNLOCK with
    // SQLITE_SHM_SHARED or SQLITE_SHM_EXCLUSIVE. SQLITE_BUSY when a live connection stands in
    // the way, or while a program using SQLite's own locks is writing the hive. The connection
    // takes its slot at its first lock.
    int Lock(int offset, int count, int flags);

    // Sleeps until any connection gives up a lock, or for `timeout` at most.
    void AwaitRelease(std::chrono::microseconds timeout);

    // The connection's write transaction has ended, committed or not: it waits for the write
    // lock no longer.
    void WriteDone();

    // The hive's journal while any process watches the hive, for a commit to tell what it
    // changed; null while none does.
    HiveJournal* Journal();
    // The journal, made when it is not yet, for a process that starts to watch; null when the
    // disk has no room for it (the reason goes to stderr).
    HiveJournal* OpenJournal();
    // Moves whenever a new read map of the hive is published; a writer that finds it moved maps
    // the new one before it commits.
    std::atomic<uint64_t>& ReadMapGeneration();
    // Whether this connection's process watches the hive. The mark goes with the connection, or
    // with its process's death.
    void SetWatching(bool watching);

    // Whether the lock file or the index file has been deleted or replaced since this process
    // opened it. Processes that open the hive from then on use other files: writing on would
    // run two lock tables over one hive.
    bool FilesReplaced() const;

private:
    HiveLockFile* file_;
    int slot_ = -1;
};

}  // namespace zelreg
