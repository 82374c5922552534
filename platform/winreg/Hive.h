// One open hive: its file, its SQLite connection, and the lock that serialises this process's
// use of that connection. Other processes are kept in step by SQLite's own locking.
//
// A user hive with a current read map (ReadMap.h) opens without a connection: opening keys and
// reading values are answered from the map (FindPathInMap, FindValueInMap) until the process
// needs anything else, or the map stops being current; the connection is opened then.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "HiveJournal.h"
#include "HiveLocation.h"
#include "KeyCache.h"
#include "KeyChange.h"
#include "ReadMap.h"
#include "RegError.h"
#include "Sqlite.h"

namespace zelreg {

class HiveLocks;

class Hive {
public:
    // Opens (creating when needed) the hive file of this kind. A file that is not a hive, or one
    // of another format (see HiveSchema.h), is refused: the reason goes to stderr, the file stays untouched, and
    // the call fails with ERROR_BADDB. A machine hive that does not exist and cannot be created
    // is an empty, read-only hive.
    static std::unique_ptr<Hive> Open(HiveKind kind);

    Hive(HiveKind kind, std::unique_ptr<Connection> db, bool readOnly);
    // A writable user hive read through its read map until it connects.
    Hive(HiveKind kind, const HiveLocation& location, std::unique_ptr<ReadMap> map);
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;
    ~Hive();

    HiveKind kind() const { return kind_; }
    bool readOnly() const { return readOnly_; }
    // Distinguishes this opening of a hive from earlier ones (a child process after fork()
    // opens the hives anew); caches remember it.
    uint64_t serial() const { return serial_; }
    const std::string& path() const { return path_; }
    std::mutex& mutex() { return mutex_; }
    // Held while the background thread checkpoints through SQLite, outside mutex().
    std::mutex& checkpointMutex() { return checkpointMutex_; }

    // Runs body(Connection&), or for a writer body(Connection&, ChangeSet&), as one transaction
    // with the hive locked. A writer records what it changed in the ChangeSet, which goes to the
    // notifier once the transaction has committed; it fails with ERROR_ACCESS_DENIED on a
    // read-only hive. While another process holds the write lock the whole transaction is
    // retried, for up to the lock wait limit (ZEL_REGISTRY_LOCK_WAIT seconds, 60 by default).
    template <class Body>
    auto Read(Body&& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        return RunLocked(false, body);
    }

    // While the hive is read through its read map: what the map answers (see ReadMap::FindPath
    // and FindValue). Unsure once the hive has a connection, or when the map cannot answer; the
    // caller then reads the hive, which connects it.
    ReadMap::Answer FindPathInMap(int64_t from, const std::vector<std::string>& folds, int64_t& key);
    ReadMap::Answer FindValueInMap(int64_t key, std::string_view fold, DWORD& type, std::string& data);
    bool ReadsFromMap() const { return readsFromMap_.load(std::memory_order_acquire); }
    // A path as a caller wrote it (unsplit, unfolded) that led to a key through the map before,
    // as the cache keeps them for a connected hive. A path once found stays so while the map is
    // current: a change that could take a key away spoils the map.
    std::optional<KeyCache::KnownPath> KnownPathInMap(int64_t from, std::string_view text);
    void RememberPathInMap(int64_t from, std::string_view text, KeyCache::KnownPath known);
    template <class Body>
    auto Write(Body&& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        return RunLocked(true, WithChanges(body));
    }

    // For a call that usually finds what it would otherwise make: runs `find` (which returns an
    // optional) as a reader, and unless it found something, `make` as a writer. The read is
    // skipped on a writable hive with neither a current cache nor a current snapshot: starting
    // a read transaction would cost as many lock calls as the write transaction, which finds as
    // well.
    template <class Find, class Make>
    auto FindOrMake(Find&& find, Make&& make) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (readOnly_ || CacheIsCurrent() || SnapshotIsCurrent()) {
            if (auto found = RunLocked(false, find)) return *found;
        }
        return RunLocked(true, WithChanges(make));
    }

    // Counts a watch of this process on the hive, which from the first on asks every process's
    // commits to tell the hive's journal what they changed; returns the journal, or null for a
    // hive without one (its changes are found by looking). StopWatching takes `count` back.
    HiveJournal* StartWatching();
    void StopWatching(int count);

    std::size_t CacheBytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return cache_.bytes();
    }

    // Builds the read map anew when a commit has found it spoiled or missing (see ReadMap.h);
    // true while one is still wanted. For the background thread and the process's exit: a
    // build reads the whole hive with its write lock held, so builds come at most so often
    // that they take a tenth of the time.
    bool BuildReadMapIfWanted();

    // Makes everything committed so far durable against power loss as well (a process kill
    // never loses a commit anyway): a checkpoint syncs the write-ahead log first.
    void Flush();

    // Ends the kept read snapshot (see below) when it has not been used for `idle`; false when
    // this hive keeps none any more. For the background thread: never waits for the lock.
    bool ReleaseIdleSnapshot(std::chrono::milliseconds idle);
    // Checkpoints the log with a connection of its own when a commit has asked for it (see
    // Hive.cpp); true when it did. For the background thread: it does not wait for another
    // checkpoint, and takes the hive's lock only for the last, short pass.
    bool CheckpointIfWanted();
    // When the process exits: copies the log into the hive and starts it over, truncated to
    // nothing, unless another process is writing or reading through it just then. Waits for
    // no one; the hive stays usable (later calls log their changes as usual).
    void CheckpointAtExit();

private:
    template <class Body>
    auto WithChanges(Body& body) {
        return [this, &body](Connection& db) { return body(db, changes_); };
    }

    // Runs one transaction; the caller holds the lock.
    template <class Body>
    auto RunLocked(bool write, Body&& body) {
        Connect();
        if (write && readOnly_) Fail(ERROR_ACCESS_DENIED);
        // Taken when the hive is first found busy: most calls never wait.
        std::optional<std::chrono::steady_clock::time_point> began;
        for (;;) {
            try {
                if (write) {
                    RequireWritableFiles();
                    EndSnapshot();
                    changes_.clear();
                    SqlTransaction transaction(*db_, true);
                    // Taken with the write lock held: no other commit comes between the two.
                    WalHeader before, after;
                    const bool known = ReadWalHeader(before);
                    if (known) RefreshCache(before);
                    const int64_t rowsBefore = sqlite3_total_changes64(db_->handle());
                    auto result = body(*db_);
                    ReadMapChange mapChange(MapForCommit(sqlite3_total_changes64(db_->handle()) != rowsBefore), changes_);
                    if (!mapChange.Kept()) WantReadMap();
                    HiveJournal::Appending appending(PublishingJournal());
                    transaction.Commit();
                    mapChange.Committed();
                    const bool kept = known && ReadWalHeader(after) && cache_.Committed(before, after, changes_);
                    if (!kept) cache_.Clear();
                    appending.Publish(changes_);
                    FollowedOwnCommit(appending, kept);
                    CheckpointIfDue();
                    WriteDone();
                    AfterWrite();
                    return result;
                }
                auto result = [&] {
                    ReadScope scope(*this);
                    auto read = body(*db_);
                    scope.Done();
                    return read;
                }();
                // Outside the read's scope, which would begin a snapshot before the write.
                if (followWanted_) FollowJournal();
                return result;
            } catch (const BusyError&) {
                EndSnapshot();
                if (!began) began = std::chrono::steady_clock::now();
                WaitForLock(*began, write);
            } catch (...) {
                if (write) WriteDone();
                throw;
            }
        }
    }

    // A read: served from the cache where it can, and with the hive's snapshot (begun only when
    // a statement is about to run) where it cannot.
    class ReadScope {
    public:
        explicit ReadScope(Hive& hive);
        ~ReadScope();
        void Done();

    private:
        Hive& hive_;
        bool snapshot_ = false;
        bool done_ = false;
    };

    // Readers keep their read transaction (their snapshot) from one call to the next while no
    // one has committed since: SQLite takes and drops a lock with a system call for every
    // transaction, and on a busy machine those calls cost more than the reads themselves.
    // Whether anyone committed shows in the WAL index header in the -shm file, which this
    // process maps read-only; it changes with every commit. A snapshot left idle is ended by
    // a background thread (see ReleaseIdleSnapshot), and a busy reader starts a new one every
    // kSnapshotLifetime, so that no snapshot holds back checkpoints or the restart of the log.
    bool SnapshotIsCurrent() const;
    bool CacheIsCurrent() const;

    // The cache (KeyCache.h) at first forgets everything when another process commits. Once
    // that has happened to a cache that held something, this process reads the hive while
    // others write it, and follows the hive's journal from then on (FollowJournal): each commit
    // of another process then makes it forget only what that commit changed. Following counts
    // the process as a watcher, so that every commit tells the journal what it changed.
    void RefreshCache(const KeyCache::Token& now);
    void FollowJournal();
    // A commit under way may have looked for watchers before this process marked itself as one,
    // and then tells the journal nothing: taking the write lock once waits for any such commit
    // to end. False when the lock could not be taken.
    bool AwaitUnjournaledCommit();
    // After a commit of this process, which the cache has taken in (`kept`) or was emptied for:
    // the journal's records of it are no news to the cache.
    void FollowedOwnCommit(const HiveJournal::Appending& appending, bool kept);
    void BeginSnapshot();
    void EndSnapshot();

    // Opens the connection of a hive read through its map so far; the caller holds the lock.
    void Connect();
    // Takes the connection on: the hive's hooks and its mapping of the -shm file.
    void Attach(std::unique_ptr<Connection> db, bool readOnly);
    // The read map a commit keeps exact, the one published last: null when there is none (or
    // the hive keeps none), and none when the commit `wrote` nothing. Called with the write lock held.
    ReadMap* MapForCommit(bool wrote);
    // The map published last, mapped anew when a newer one has taken its place since.
    ReadMap* FollowReadMap(HiveLocks& locks);
    // Around a checkpoint, which changes the hive file: the map knows that the change is the
    // store's own, and then holds the file's new size and time (see ReadMap::Stamped). The
    // first is called with the lock held.
    std::shared_ptr<ReadMap> CheckpointBegins();
    std::shared_ptr<ReadMap> MarkCheckpoint(std::shared_ptr<ReadMap> map) const;
    void CheckpointEnded(const std::shared_ptr<ReadMap>& map) const;
    template <class Ask>
    ReadMap::Answer AskMap(Ask&& ask);
    // Asks the background thread to build the read map.
    void WantReadMap();
    // The map at its place beside the hive file, when it mirrors the file.
    std::unique_ptr<ReadMap> OpenReadMap() const;

    // One passive checkpoint with checkpointer_ (made on first use); the caller holds
    // checkpointMutex_. Returns the pages of the log left uncopied, or -1 when it failed.
    int CheckpointLocked();

    void AfterWrite();
    // Checkpoints when the commit just made found the log long (see AfterCommit).
    void CheckpointIfDue();
    // SQLite gives the log and index files it makes the hive file's mode: a user hive's are the
    // user's alone, whatever the hive file's mode.
    void KeepSideFilesPrivate();
    // After a busy transaction: fails once the lock wait limit has passed since `began`.
    void WaitForLock(std::chrono::steady_clock::time_point began, bool write);
    // The index locks of the hive's connection, or null (SQLite's own locks, see HiveLocks.h).
    HiveLocks* Locks() const;
    // The hive's journal while any process watches the hive, for a commit to tell what it
    // changed; null while none does, or when its locks are SQLite's own.
    HiveJournal* PublishingJournal() const;
    // A write transaction is over, done or abandoned: the connection no longer waits to write.
    void WriteDone();
    // Fails when the files that keep the hive's processes in step are no longer those at their
    // paths (deleted, or replaced): from then on this process never writes the hive again.
    void RequireWritableFiles();
    // SQLite's hook after every commit of the hive's connection, with the log's length in pages.
    static int AfterCommit(void* hive, sqlite3* db, const char* name, int frames);

    // The two copies of the WAL index header at the start of the -shm file.
    static constexpr std::size_t kWalHeaderBytes = 96;
    using WalHeader = KeyCache::Token;
    static_assert(sizeof(WalHeader) == kWalHeaderBytes / 2, "one copy of the header");
    // False when there is no mapping, or a writer was changing the header just then.
    bool ReadWalHeader(WalHeader& header) const;

    HiveKind kind_;
    std::string path_;
    HiveLocation location_;  // for a hive that connects later
    std::unique_ptr<Connection> db_;
    // Shared with a checkpoint under way; the background one takes it without the lock, so it
    // is replaced with std::atomic_store (under the lock).
    std::shared_ptr<ReadMap> map_;
    TextTable<KeyCache::KnownPath> mapPaths_;  // found through map_, for KnownPathInMap
    bool mapFollowed_ = false;     // map_ is the one published at mapGeneration_
    uint64_t mapGeneration_ = 0;   // of the lock table (HiveLocks::ReadMapGeneration)
    std::atomic<bool> mapWanted_{false};  // changed under mutex_, looked at without
    // Not yet connected: calls look at it without the lock, so that a hive that has connected
    // (most of them) pays nothing for the map on its reads.
    std::atomic<bool> readsFromMap_{false};
    std::chrono::steady_clock::time_point nextMapBuild_{};
    ChangeSet changes_;  // of the write transaction under way
    KeyCache cache_;
    int shmFd_ = -1;                           // the -shm file, open as long as the connection
    const unsigned char* walIndex_ = nullptr;  // mapped -shm header, or null
    bool snapshotOpen_ = false;
    bool keepSnapshot_ = false;
    WalHeader snapshotHeader_{};
    std::chrono::steady_clock::time_point snapshotBegan_;
    std::chrono::steady_clock::time_point lastRead_;
    bool readOnly_;
    std::atomic<bool> writesStopped_{false};
    std::chrono::milliseconds lockWait_;
    uint64_t serial_;
    std::mutex mutex_;
    std::atomic<bool> checkpointWanted_{false};
    std::mutex checkpointMutex_;  // guards checkpointer_
    std::unique_ptr<Connection> checkpointer_;
    int watches_ = 0;  // StartWatching's count
    bool followWanted_ = false;
    HiveJournal* cacheJournal_ = nullptr;  // followed by the cache, or null
    uint64_t cachePosition_ = 0;           // where the cache reads the journal next
    uint64_t cacheDropped_ = 0;
    bool checkpointDue_ = false;
};

// Called when a hive starts keeping a read snapshot or wants a checkpoint: makes sure the thread
// that ends idle snapshots and runs checkpoints is running; with `now`, it looks at once instead
// of at its next round (defined with the store, which knows the open hives).
void HiveNeedsUpkeep(bool now = false);

}  // namespace zelreg
