#include "Hive.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "HiveSchema.h"
#include "HiveLocks.h"
#include "LockWait.h"
#include "KeyStore.h"
#include "Messages.h"
#include "Notify.h"

namespace zelreg {
namespace {

// SQLite waits this long for a lock before it reports busy; the store then retries the whole
// transaction until the lock wait limit has passed, so that a busy hive never reaches a caller
// as an error unless another process keeps it locked for that long.
constexpr std::chrono::milliseconds kBusyWait{2000};
// A checkpoint syncs the log and the database file to the disk, which takes long for a log of
// many pages. The background thread checkpoints once the log holds kBackgroundCheckpointFrames
// pages, with a connection of its own, so that no caller waits for those syncs (see
// CheckpointIfWanted). Should it fall behind, or another process keep writing, a commit that
// finds kCheckpointFrames pages in the log checkpoints itself, as SQLite would by default, and
// copies and syncs only what the background left. The log file is cut back to 32 MB when it
// starts over.
constexpr int kBackgroundCheckpointFrames = 2048;
constexpr int kCheckpointFrames = 8192;
// A background checkpoint copies the log in passes until at most kCheckpointTailFrames pages
// are left, or kCheckpointPasses have run.
constexpr int kCheckpointPasses = 4;
constexpr int kCheckpointTailFrames = 256;
constexpr const char* kCacheSize = "PRAGMA cache_size = -8192";
constexpr const char* kPageSize = "PRAGMA page_size = 2048";
constexpr const char* kJournalSizeLimit = "PRAGMA journal_size_limit = 33554432";

std::atomic<uint64_t> g_nextSerial{1};

// The longest a read snapshot is kept, however busy its reader.
constexpr std::chrono::milliseconds kSnapshotLifetime{200};

// How long a process waits before it builds a read map again after a build failed.
constexpr std::chrono::seconds kMapRetryPause{60};

// The paths a hive read through its map keeps (Hive::RememberPathInMap) before it starts over.
constexpr std::size_t kMapPathsKept = 16384;

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    Report(path, "refused", "refusing hive file '" + path + "': " + reason + "; the file was left unchanged");
    Fail(ERROR_BADDB);
}

struct Opened {
    std::unique_ptr<Connection> db;
    bool readOnly;
};

// The machine hive where none exists and this process cannot create one: nothing to read,
// nothing may be written.
Opened OpenAbsent() {
    auto db = std::make_unique<Connection>(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    CreateHiveSchema(*db);
    db->Exec("PRAGMA query_only = 1");
    return Opened{std::move(db), true};
}

Opened OpenFile(HiveKind kind, const HiveLocation& location) {
    const bool writable = access(location.file.c_str(), W_OK) == 0;
    const int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
    // The user hive is private to its user, whose programs all use this store: its index locks
    // can live in shared memory. The machine hive keeps SQLite's record locks, which its
    // readers take through -shm files they may not write.
    const IndexLocks locks = kind == HiveKind::User ? IndexLocks::Shared : IndexLocks::System;
    auto db = std::make_unique<Connection>(location.file, flags, locks);
    db->WaitForLocks(std::min(kBusyWait, LockWaitLimit()));

    std::string reason;
    HiveState state = ExamineHive(*db, reason);
    if (state == HiveState::Refused) Refuse(location.file, reason);
    // A larger page cache than SQLite's 2 MB default, still of a set size.
    db->Exec(kCacheSize);
    if (!writable || sqlite3_db_readonly(db->handle(), "main") == 1) {
        if (state == HiveState::Empty) return OpenAbsent();
        if (state == HiveState::Outdated) {
            Report(location.file, "outdated",
                   "hive file '" + location.file + "' has an earlier format and this process may not write it to " +
                       "upgrade it: reading a copy of it made now (later changes to the file are not seen)");
            return Opened{UpgradedCopy(*db), true};
        }
        return Opened{std::move(db), true};
    }

    if (kind == HiveKind::Machine) {
        // Users who may only read the machine hive cannot create its -wal and -shm files in a
        // directory they cannot write; SQLite reads a WAL database through read-only -shm and
        // -wal files as long as they exist, so the writers keep them.
        int persist = 1;
        sqlite3_file_control(db->handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    if (state == HiveState::Empty) {
        // Set before the first write makes the file. A call writes about one page to the log,
        // and the log checksums and the system copies every byte of it: smaller pages make
        // writes cheaper, and reads stay as fast.
        db->Exec(kPageSize);
        // The tables go straight into the file, before the hive turns to its log: a hive file
        // that is empty while a log holds data is a damaged one (see PrepareHiveFile), and
        // another process opening the hive must never see one being made that way. Whoever
        // comes second finds the tables made.
        SqlTransaction transaction(*db, true);
        state = ExamineHive(*db, reason);
        if (state == HiveState::Refused) Refuse(location.file, reason);
        if (state == HiveState::Empty) CreateHiveSchema(*db);
        transaction.Commit();
    }
    {
        Query mode(*db, "PRAGMA journal_mode = WAL");
        if (!mode.Step() || mode.Text(0) != "wal") {
            Report(location.file, "wal", "hive file '" + location.file + "' cannot use write-ahead logging");
            Fail(ERROR_CANTOPEN);
        }
    }
    // In WAL mode a commit is in the operating system's hands once the call returns, which is
    // what survives the kill of a process; a checkpoint (RegFlushKey) syncs to the disk.
    db->Exec("PRAGMA synchronous = NORMAL");
    db->Exec(kJournalSizeLimit);
    bool upgraded = false;
    // Most opens find nothing to do here and take no write lock.
    if (state == HiveState::Outdated || HasStaleVolatileKeys(*db)) {
        SqlTransaction transaction(*db, true);
        // A hive of the earlier format is upgraded in this transaction, whole or not at all, by
        // whoever opens it first.
        if (state == HiveState::Outdated && ExamineHive(*db, reason) == HiveState::Outdated) {
            UpgradeHiveSchema(*db);
            upgraded = true;
        }
        // No watch of this process can be on a hive it is only now opening; other processes
        // notice the change as they notice any other.
        ChangeSet unwatched;
        PurgeVolatileKeys(*db, unwatched);
        transaction.Commit();
    }
    if (upgraded) {
        // Copy the new header into the database file at once, so that the file names its format
        // even before the first regular checkpoint.
        sqlite3_wal_checkpoint_v2(db->handle(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    return Opened{std::move(db), false};
}

// Opens the hive file, waiting while another process holds it locked.
Opened OpenConnection(HiveKind kind, const HiveLocation& location) {
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
        try {
            return OpenFile(kind, location);
        } catch (const BusyError&) {
            if (std::chrono::steady_clock::now() - began >= LockWaitLimit()) {
                Report(location.file, "locked", "hive file '" + location.file + "' stays locked by another process");
                Fail(ERROR_REGISTRY_IO_FAILED);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

std::string ReadMapPath(const std::string& hive) { return hive + "-readmap"; }

// The map beside the hive file `file` when it mirrors that file, which `hive` then describes.
std::unique_ptr<ReadMap> MapOf(const std::string& file, struct stat& hive) {
    if (stat(file.c_str(), &hive) != 0) return nullptr;
    return ReadMap::Open(ReadMapPath(file), hive);
}

// The read map of a user hive that this process may write, when it is current.
std::unique_ptr<ReadMap> CurrentReadMap(const HiveLocation& location) {
    struct stat hive {};
    if (access(location.file.c_str(), W_OK) != 0) return nullptr;
    std::unique_ptr<ReadMap> map = MapOf(location.file, hive);
    return map && map->Current() && map->Stamped(hive) ? std::move(map) : nullptr;
}

}  // namespace

Hive::Hive(HiveKind kind, std::unique_ptr<Connection> db, bool readOnly)
    : kind_(kind), lockWait_(LockWaitLimit()), serial_(g_nextSerial++) {
    Attach(std::move(db), readOnly);
}

Hive::Hive(HiveKind kind, const HiveLocation& location, std::unique_ptr<ReadMap> map)
    : kind_(kind),
      path_(location.file),
      location_(location),
      map_(std::move(map)),
      readOnly_(false),
      lockWait_(LockWaitLimit()),
      serial_(g_nextSerial++) {
    readsFromMap_ = true;
}

void Hive::Connect() {
    if (db_) return;
    Opened opened = OpenConnection(kind_, location_);
    Attach(std::move(opened.db), opened.readOnly);
    readsFromMap_ = false;
    if (!map_ || !map_->Current()) WantReadMap();
}

void Hive::Attach(std::unique_ptr<Connection> db, bool readOnly) {
    db_ = std::move(db);
    path_ = db_->path();
    readOnly_ = readOnly;
    if (db_->path() == ":memory:") return;
    if (!readOnly_) {
        sqlite3_wal_hook(db_->handle(), &Hive::AfterCommit, this);
        // A log that a killed process left behind is copied into the hive in the background,
        // when the background thread next looks (in a new process, a moment after it starts)
        // rather than at once: the checkpoint opens a connection of its own and copies the
        // whole log, which would compete with the process's first reads for the processor
        // and, at its end, for the hive.
        struct stat log {};
        if (stat((db_->path() + "-wal").c_str(), &log) == 0 && log.st_size > 0) {
            checkpointWanted_ = true;
            HiveNeedsUpkeep();
        }
    }
    // Without the mapping every read is a transaction of its own: slower, never wrong.
    const std::string shm = db_->path() + "-shm";
    shmFd_ = open(shm.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (kind_ == HiveKind::User) KeepSideFilesPrivate();
    if (shmFd_ < 0) return;
    void* mapped = mmap(nullptr, kWalHeaderBytes, PROT_READ, MAP_SHARED, shmFd_, 0);
    if (mapped != MAP_FAILED) walIndex_ = static_cast<const unsigned char*>(mapped);
}

Hive::~Hive() {
    EndSnapshot();
    if (walIndex_) munmap(const_cast<unsigned char*>(walIndex_), kWalHeaderBytes);
    // The hive's own connection closes last: it is the one that keeps the machine hive's log.
    checkpointer_.reset();
    // Closing any descriptor of a file drops every lock this process holds on it, SQLite's
    // locks in the -shm file too: without them another process takes the index for abandoned
    // and truncates it under this one. So the descriptor closes after the connection.
    db_.reset();
    if (shmFd_ >= 0) close(shmFd_);
}

void Hive::KeepSideFilesPrivate() {
    // Through descriptors, never a path that could be swapped for a link. This process holds
    // record locks in the index file, which closing another descriptor of it would drop: its
    // own descriptor serves. The log carries no locks.
    if (shmFd_ >= 0) fchmod(shmFd_, 0600);
    const int log = open((db_->path() + "-wal").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (log >= 0) {
        fchmod(log, 0600);
        close(log);
    }
}

int Hive::AfterCommit(void* context, sqlite3*, const char*, int frames) {
    auto* hive = static_cast<Hive*>(context);
    if (frames >= kCheckpointFrames) {
        // After the commit has told the journal (CheckpointIfDue): the next commit waits for that.
        hive->checkpointDue_ = true;
    } else if (frames >= kBackgroundCheckpointFrames && !hive->checkpointWanted_.exchange(true)) {
        HiveNeedsUpkeep(true);
    }
    return SQLITE_OK;
}

void Hive::CheckpointIfDue() {
    if (!checkpointDue_) return;
    checkpointDue_ = false;
    const std::shared_ptr<ReadMap> map = CheckpointBegins();
    sqlite3_wal_checkpoint_v2(db_->handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    CheckpointEnded(map);
}

std::shared_ptr<ReadMap> Hive::CheckpointBegins() {
    if (kind_ != HiveKind::User || readOnly_ || !db_) return nullptr;
    HiveLocks* locks = Locks();
    if (!locks || !FollowReadMap(*locks)) return nullptr;
    return MarkCheckpoint(map_);
}

std::shared_ptr<ReadMap> Hive::MarkCheckpoint(std::shared_ptr<ReadMap> map) const {
    if (!map) return nullptr;
    // A hive file that another program changed (a copy put back, say) would otherwise get the
    // stamp of a map that does not mirror it.
    struct stat hive {};
    if (stat(path_.c_str(), &hive) != 0 || !map->Stamped(hive)) map->Spoil();
    map->CheckpointBegins();
    return map;
}

void Hive::CheckpointEnded(const std::shared_ptr<ReadMap>& map) const {
    struct stat hive {};
    if (map && stat(path_.c_str(), &hive) == 0) map->CheckpointEnded(hive);
}

void Hive::CheckpointAtExit() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::lock_guard<std::mutex> checkpointLock(checkpointMutex_);
    EndSnapshot();
    checkpointer_.reset();
    if (!db_ || readOnly_ || writesStopped_ || !walIndex_ || db_->damaged()) return;
    db_->WaitForLocks(std::chrono::milliseconds(0));
    const std::shared_ptr<ReadMap> map = CheckpointBegins();
    sqlite3_wal_checkpoint_v2(db_->handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    CheckpointEnded(map);
    db_->WaitForLocks(std::min(kBusyWait, lockWait_));
}

bool Hive::CheckpointIfWanted() {
    if (!checkpointWanted_ || db_->damaged() || writesStopped_) return false;
    bool copied = false;
    std::shared_ptr<ReadMap> map;
    {
        std::unique_lock<std::mutex> lock(checkpointMutex_, std::try_to_lock);
        if (!lock || !checkpointWanted_.exchange(false)) return false;
        // The map as this process last followed it, taken without the hive's lock, which the
        // passes below leave to the callers.
        map = MarkCheckpoint(std::atomic_load(&map_));
        // Most of the log is copied while the callers go on writing. The log can only start
        // over once everything in it is copied, which never happens while commits keep
        // arriving; so passes go on until little is left ...
        for (int pass = 0; pass < kCheckpointPasses && !copied; ++pass) {
            const int left = CheckpointLocked();
            copied = left <= 0;
            if (left <= kCheckpointTailFrames) break;
        }
    }
    // ... and the rest is copied with this process's calls held back for a moment (the hive's
    // lock comes first, as everywhere), so that the next commit starts the log over instead
    // of growing it until a commit must checkpoint and wait for the syncs itself.
    if (!copied) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::lock_guard<std::mutex> checkpointLock(checkpointMutex_);
        EndSnapshot();
        CheckpointLocked();
    }
    CheckpointEnded(map);
    return true;
}

int Hive::CheckpointLocked() {
    try {
        if (!checkpointer_) {
            auto db = std::make_unique<Connection>(path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, db_->locks());
            // A connection learns that the file is in WAL mode when it first reads it.
            db->Exec("SELECT count(*) FROM sqlite_master");
            checkpointer_ = std::move(db);
        }
        int logFrames = 0;
        int copiedFrames = 0;
        if (sqlite3_wal_checkpoint_v2(checkpointer_->handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames,
                                      &copiedFrames) != SQLITE_OK) {
            return -1;
        }
        return logFrames - copiedFrames;
    } catch (const RegError&) {
        // No connection of its own: the commits still checkpoint at kCheckpointFrames.
    } catch (const BusyError&) {
        // The next commit asks again.
    }
    return -1;
}

bool Hive::ReadWalHeader(WalHeader& header) const {
    if (!walIndex_) return false;
    // SQLite writes the second copy, then the first; a reader that finds them equal has a
    // header that no writer was changing (the way SQLite's own readers check it, also with
    // plain copies between fences).
    WalHeader second;
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(header.data(), walIndex_, header.size());
    std::atomic_thread_fence(std::memory_order_acquire);
    std::memcpy(second.data(), walIndex_ + header.size(), second.size());
    std::atomic_thread_fence(std::memory_order_acquire);
    return header == second;
}

Hive::ReadScope::ReadScope(Hive& hive) : hive_(hive) {
    WalHeader now;
    if (hive_.CacheIsCurrent()) {
        hive_.db_->SetCache(&hive_.cache_);
    } else if (hive_.ReadWalHeader(now)) {
        hive_.RefreshCache(now);
        hive_.db_->SetCache(&hive_.cache_);
    }
    hive_.db_->BeforeNextQuery([this] {
        snapshot_ = true;
        if (!hive_.SnapshotIsCurrent()) {
            hive_.EndSnapshot();
            hive_.BeginSnapshot();
        }
    });
}

void Hive::ReadScope::Done() {
    done_ = true;
    if (!snapshot_) return;
    if (hive_.keepSnapshot_) {
        hive_.lastRead_ = std::chrono::steady_clock::now();
    } else {
        hive_.EndSnapshot();
    }
}

Hive::ReadScope::~ReadScope() {
    hive_.db_->SetCache(nullptr);
    hive_.db_->BeforeNextQuery(nullptr);
    if (!done_) hive_.EndSnapshot();
}

void Hive::RefreshCache(const KeyCache::Token& now) {
    if (cache_.Holds(now)) return;
    if (cacheJournal_ && cache_.valid()) {
        std::vector<JournalRecord> records;
        if (cacheJournal_->ReadCommitted(cachePosition_, cacheDropped_, records)) {
            cache_.Forget(records, now);
            return;
        }
    } else if (!cacheJournal_ && cache_.bytes() > 0 && !readOnly_) {
        followWanted_ = true;
    }
    cache_.Validate(now);
    if (cacheJournal_) {
        cachePosition_ = cacheJournal_->End();
        cacheDropped_ = cacheJournal_->Dropped();
    }
}

void Hive::FollowJournal() {
    followWanted_ = false;
    if (cacheJournal_) return;
    HiveLocks* locks = Locks();
    HiveJournal* journal = locks ? locks->OpenJournal() : nullptr;
    if (!journal) return;
    locks->SetWatching(true);
    if (!AwaitUnjournaledCommit()) {
        if (watches_ == 0) locks->SetWatching(false);
        return;
    }
    cacheJournal_ = journal;
    cachePosition_ = journal->End();
    cacheDropped_ = journal->Dropped();
    // What the cache holds may be older than commits that told no journal.
    cache_.Clear();
    followWanted_ = false;  // asked again by the write that waited, which found the cache not following
}

void Hive::FollowedOwnCommit(const HiveJournal::Appending& appending, bool kept) {
    if (!cacheJournal_) return;
    uint64_t from = 0, to = 0;
    if (kept && appending.Appended(from, to) && from == cachePosition_) {
        cachePosition_ = to;
    } else if (!kept) {
        // Emptied after the commit: every record up to it is of a commit before it.
        cachePosition_ = cacheJournal_->End();
        cacheDropped_ = cacheJournal_->Dropped();
    }
}

bool Hive::CacheIsCurrent() const {
    if (!walIndex_ || !cache_.valid()) return false;
    // Both copies of the header as the token: then they are equal too, as ReadWalHeader asks,
    // without copying them first.
    const WalHeader& token = cache_.token();
    std::atomic_thread_fence(std::memory_order_acquire);
    const bool first = std::memcmp(walIndex_, token.data(), token.size()) == 0;
    std::atomic_thread_fence(std::memory_order_acquire);
    const bool second = std::memcmp(walIndex_ + token.size(), token.data(), token.size()) == 0;
    std::atomic_thread_fence(std::memory_order_acquire);
    return first && second;
}

bool Hive::SnapshotIsCurrent() const {
    if (!snapshotOpen_ || !keepSnapshot_) return false;
    if (std::chrono::steady_clock::now() - snapshotBegan_ > kSnapshotLifetime) return false;
    WalHeader now;
    return ReadWalHeader(now) && now == snapshotHeader_;
}

void Hive::BeginSnapshot() {
    // The header is read before the transaction starts, so the snapshot is at least as new as
    // the header it is compared against later.
    keepSnapshot_ = ReadWalHeader(snapshotHeader_);
    Query(*db_, "BEGIN").Run();
    snapshotOpen_ = true;
    if (keepSnapshot_) {
        snapshotBegan_ = lastRead_ = std::chrono::steady_clock::now();
        HiveNeedsUpkeep();
    }
}

void Hive::EndSnapshot() {
    if (!snapshotOpen_) return;
    snapshotOpen_ = false;
    if (sqlite3_get_autocommit(db_->handle())) return;
    if (sqlite3_exec(db_->handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db_->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

bool Hive::ReleaseIdleSnapshot(std::chrono::milliseconds idle) {
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock) return true;
    if (!snapshotOpen_) return false;
    if (std::chrono::steady_clock::now() - lastRead_ < idle) return true;
    EndSnapshot();
    return false;
}

std::unique_ptr<Hive> Hive::Open(HiveKind kind) {
    const HiveLocation location = LocateHive(kind);
    if (PrepareHiveFile(location) == PrepareResult::Missing) {
        if (kind == HiveKind::Machine) return std::make_unique<Hive>(kind, OpenAbsent().db, true);
        const int error = errno;
        Report(location.file, "create", "cannot create the user hive '" + location.file + "': " + std::strerror(error));
        Fail(error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : ERROR_CANTOPEN);
    }
    if (kind == HiveKind::User) {
        if (std::unique_ptr<ReadMap> map = CurrentReadMap(location)) return std::make_unique<Hive>(kind, location, std::move(map));
    }
    Opened opened = OpenConnection(kind, location);
    auto hive = std::make_unique<Hive>(kind, std::move(opened.db), opened.readOnly);
    hive->location_ = location;
    // Without a current map every new process opens the hive, also those that only read: the
    // map is built for them even when this process writes nothing.
    if (kind == HiveKind::User) hive->WantReadMap();
    return hive;
}

std::unique_ptr<ReadMap> Hive::OpenReadMap() const {
    struct stat hive {};
    return MapOf(path_, hive);
}

template <class Ask>
ReadMap::Answer Hive::AskMap(Ask&& ask) {
    if (!ReadsFromMap()) return ReadMap::Answer::Unsure;
    std::lock_guard<std::mutex> lock(mutex_);
    if (db_ || !map_) return ReadMap::Answer::Unsure;
    ReadMap::Answer answer = ask(*map_);
    if (answer == ReadMap::Answer::Unsure && map_->Retired()) {
        std::atomic_store(&map_, std::shared_ptr<ReadMap>(CurrentReadMap(location_)));
        // The new map was built after whatever change spoiled the old one.
        mapPaths_.Clear();
        if (map_) answer = ask(*map_);
    }
    return answer;
}

std::optional<KeyCache::KnownPath> Hive::KnownPathInMap(int64_t from, std::string_view text) {
    if (!ReadsFromMap()) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    if (db_ || !map_ || !map_->Current()) return std::nullopt;
    const KeyCache::KnownPath* known = mapPaths_.Find(from, text);
    return known ? std::optional<KeyCache::KnownPath>(*known) : std::nullopt;
}

void Hive::RememberPathInMap(int64_t from, std::string_view text, KeyCache::KnownPath known) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (db_ || !map_) return;
    // A bound like the cache's: a program that opens ever new paths starts over now and then.
    if (mapPaths_.size() >= kMapPathsKept) mapPaths_.Clear();
    mapPaths_.Put(from, text, known);
}

ReadMap::Answer Hive::FindPathInMap(int64_t from, const std::vector<std::string>& folds, int64_t& key) {
    return AskMap([&](const ReadMap& map) { return map.FindPath(from, folds, key); });
}

ReadMap::Answer Hive::FindValueInMap(int64_t key, std::string_view fold, DWORD& type, std::string& data) {
    return AskMap([&](const ReadMap& map) { return map.FindValue(key, fold, type, data); });
}

ReadMap* Hive::FollowReadMap(HiveLocks& locks) {
    const uint64_t generation = locks.ReadMapGeneration().load(std::memory_order_acquire);
    if (!mapFollowed_ || generation != mapGeneration_ || (map_ && map_->Retired())) {
        std::atomic_store(&map_, std::shared_ptr<ReadMap>(OpenReadMap()));
        mapGeneration_ = generation;
        mapFollowed_ = true;
    }
    return map_.get();
}

ReadMap* Hive::MapForCommit(bool wrote) {
    if (!wrote || kind_ != HiveKind::User) return nullptr;
    HiveLocks* locks = Locks();
    ReadMap* map = locks ? FollowReadMap(*locks) : nullptr;
    if (!map) {
        if (locks) WantReadMap();
        return nullptr;
    }
    // Rows changed that no change tells of: what the map holds of them is unknown. (A hive file
    // changed behind the store's back is found at the next checkpoint, see CheckpointBegins.)
    if (changes_.empty()) map->Spoil();
    return map;
}

void Hive::WantReadMap() {
    if (mapWanted_ || readOnly_) return;
    mapWanted_ = true;
    HiveNeedsUpkeep();
}

bool Hive::BuildReadMapIfWanted() {
    if (!mapWanted_) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!mapWanted_ || !db_ || readOnly_ || writesStopped_ || db_->damaged()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextMapBuild_) return true;
    mapWanted_ = false;
    EndSnapshot();
    bool failed = false;
    try {
        SqlTransaction transaction(*db_, true);
        HiveLocks* locks = Locks();
        ReadMap* map = locks ? FollowReadMap(*locks) : nullptr;
        struct stat hive {};
        if (!locks || (map && map->Current())) {
            // Another process has built it meanwhile, or the hive keeps none.
        } else if (stat(path_.c_str(), &hive) != 0 || !ReadMap::Build(*db_, ReadMapPath(path_), hive)) {
            failed = true;
        } else {
            // Published with the write lock still held: every commit from now on keeps the new map.
            locks->ReadMapGeneration().fetch_add(1, std::memory_order_acq_rel);
            if (map_) map_->Retire();
            std::atomic_store(&map_, std::shared_ptr<ReadMap>(OpenReadMap()));
            mapGeneration_ = locks->ReadMapGeneration().load(std::memory_order_acquire);
        }
        transaction.Commit();
    } catch (const BusyError&) {
        mapWanted_ = true;
    } catch (const RegError&) {
        failed = true;
    }
    // Without a map reads go to the hive, as they did before there was one. A build that failed
    // (the disk full, the hive too large for a map) is not tried again soon.
    const auto spent = std::chrono::steady_clock::now() - now;
    nextMapBuild_ = now + (failed ? std::max<std::chrono::steady_clock::duration>(10 * spent, kMapRetryPause) : 10 * spent);
    WriteDone();
    return mapWanted_;
}

void Hive::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    Connect();
    EndSnapshot();
    if (readOnly_) return;
    const std::shared_ptr<ReadMap> map = CheckpointBegins();
    sqlite3_wal_checkpoint_v2(db_->handle(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    CheckpointEnded(map);
}

void Hive::AfterWrite() {
    if (!changes_.empty()) ChangesCommitted(kind_, changes_);
}

void Hive::WaitForLock(std::chrono::steady_clock::time_point began, bool write) {
    if (std::chrono::steady_clock::now() - began >= lockWait_) {
        if (write) WriteDone();
        Report(path(), "locked", "hive file '" + path() + "' stays locked by another process");
        Fail(ERROR_REGISTRY_IO_FAILED);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HiveLocks* Hive::Locks() const {
    HiveLocks* locks = nullptr;
    sqlite3_file_control(db_->handle(), "main", kFileControlHiveLocks, &locks);
    return locks;
}

HiveJournal* Hive::PublishingJournal() const {
    HiveLocks* locks = Locks();
    return locks ? locks->Journal() : nullptr;
}

HiveJournal* Hive::StartWatching() {
    std::lock_guard<std::mutex> lock(mutex_);
    Connect();
    HiveLocks* locks = Locks();
    HiveJournal* journal = locks ? locks->OpenJournal() : nullptr;
    if (!journal || watches_++ > 0) return journal;
    locks->SetWatching(true);
    // The watch must see the changes of a commit that predates the mark in the state it starts
    // from. When the lock cannot be had (this process writes the hive no more, or another keeps it locked),
    // the watch goes on from here, and can miss only a commit made at this very moment.
    if (!readOnly_) AwaitUnjournaledCommit();
    return journal;
}

bool Hive::AwaitUnjournaledCommit() {
    auto nothing = [](Connection&, ChangeSet&) { return 0; };
    try {
        RunLocked(true, WithChanges(nothing));
        return true;
    } catch (const RegError&) {
        return false;
    }
}

void Hive::StopWatching(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (watches_ == 0 || count <= 0) return;
    watches_ = std::max(0, watches_ - count);
    HiveLocks* locks = Locks();
    if (watches_ == 0 && !cacheJournal_ && locks) locks->SetWatching(false);
}

void Hive::WriteDone() {
    if (HiveLocks* locks = Locks()) locks->WriteDone();
}

void Hive::RequireWritableFiles() {
    if (!writesStopped_) {
        HiveLocks* locks = Locks();
        struct stat shm {};
        writesStopped_ = locks ? locks->FilesReplaced() : shmFd_ >= 0 && fstat(shmFd_, &shm) == 0 && shm.st_nlink == 0;
    }
    if (writesStopped_) {
        Report(path(), "replaced",
               "hive file '" + path() +
                   "': its lock or index file was deleted or replaced while in use; this program no longer "
                   "writes the hive, so that two lock tables never run over it (restart the program)");
        Fail(ERROR_REGISTRY_IO_FAILED);
    }
}

}  // namespace zelreg
