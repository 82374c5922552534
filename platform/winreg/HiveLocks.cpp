#include "HiveLocks.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "FileTrust.h"
#include "LockWait.h"
#include "Messages.h"

namespace zelreg {
namespace {

// Bytes of the lock file whose record locks say who is there. They lie beyond the table; record
// locks and the mapping have nothing to do with each other.
constexpr off_t kStartByte = 1 << 20;          // held while a process checks or starts the table
constexpr off_t kOpenByte = kStartByte + 1;    // read-locked by every process with the file open
constexpr off_t kSlotBytes = kStartByte + 64;  // + slot: write-locked by the process using the slot

// SQLite's own locks in the -shm file are the bytes from 120 on: write, checkpoint, recovery,
// then the readers.
constexpr off_t kShmLockBytes = 120;
constexpr off_t kFencedLocks = 3;

// SQLite's write lock is the first of its locks.
constexpr int kWriteLock = 0;
// A connection that has asked for the write lock in vain for this long goes before those that
// asked after it; one that has not asked again for the second, longer time (it gave up, or was
// stopped or killed) is passed over.
constexpr int64_t kStarvingNs = 4000000;
constexpr int64_t kGoneNs = 5000000;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Clearing the slots of dead processes waits this long at most for the table's mutex, which is
// held for a few instructions at a time; the caller is told the hive is busy and tries again.
constexpr std::chrono::milliseconds kClearingWait{10};

bool RecordLock(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int rc;
    do {
        rc = fcntl(fd, F_SETLK, &lock);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

int Futex(std::atomic<uint32_t>& word, int op, uint32_t value, const timespec* timeout) {
    // The table is shared between processes: no FUTEX_PRIVATE_FLAG.
    return static_cast<int>(syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), op, value, timeout, nullptr, 0));
}

// Calls `attempt` until it returns true, every millisecond, for the lock wait limit at most.
template <class Attempt>
bool WithinLockWait(Attempt&& attempt) {
    const auto deadline = std::chrono::steady_clock::now() + LockWaitLimit();
    while (!attempt()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Unlinked(int fd) {
    struct stat st {};
    return fd >= 0 && fstat(fd, &st) == 0 && st.st_nlink == 0;
}

}  // namespace

class HiveLockFile {
public:
    HiveLockFile(std::string database, int fd) : database_(std::move(database)), fd_(fd) {}
    HiveLockFile(const HiveLockFile&) = delete;
    HiveLockFile& operator=(const HiveLockFile&) = delete;
    ~HiveLockFile() {
        if (table_) munmap(table_, sizeof(HiveLockTable));
        if (journalArea_) munmap(journalArea_, sizeof(HiveJournalArea));
        // SQLite has closed its own descriptor of the -shm file by now (see HiveLocks.h).
        if (shmFd_ >= 0) close(shmFd_);
        for (int fd : spareFds_) close(fd);
        close(fd_);
    }

    // This process's opening of the lock file of `database`, shared by all its connections and
    // counted; every Open is matched by a Close.
    static HiveLockFile* Open(const std::string& database, int& rc);
    static void Close(HiveLockFile* file);

    // A slot for a new connection, or -1 with rc set.
    int Claim(int& rc);
    void Release(int slot);
    int Lock(int slot, int offset, int count, int flags);
    void AwaitRelease(std::chrono::microseconds timeout);
    bool Replaced() const { return Unlinked(fd_) || Unlinked(shmFd_); }
    HiveJournal* Journal(bool make);
    void SetWatching(int slot, bool watching);
    // Maps the journal's part of the file, which exists; the caller holds journalMutex_.
    bool MapJournal();
    void WriteDone(int slot) { table_->writeWaitSince[slot] = 0; }
    std::atomic<uint64_t>& ReadMapGeneration() { return table_->readMapGeneration; }

private:
    using FileId = std::pair<dev_t, ino_t>;
    // Files are opened and closed with the registry locked: a descriptor closed while another
    // object of this process used the same file would drop that object's record locks.
    struct Registry {
        std::mutex mutex;
        std::map<FileId, std::unique_ptr<HiveLockFile>> files;
    };
    static Registry*& Files();
    static void ForgetAfterFork();

    std::string LockPath() const { return database_ + "-locks"; }
    // Checks the table and starts it afresh if no other process has the file open.
    int Start();
    // Read-locks SQLite's write, checkpoint and recovery bytes of the -shm file.
    int Fence();

    // Holds the table's mutex, taking it over from a holder that died, waiting `wait` at most
    // (a holder that is alive but stopped keeps it).
    class TableLock {
    public:
        TableLock(HiveLockFile& file, std::chrono::milliseconds wait);
        ~TableLock();
        bool ok() const { return ok_; }

    private:
        HiveLockFile& file_;
        bool ok_ = false;
    };

    bool Alive(int slot);
    void ClearSlot(int slot);
    // Takes the `mask` bits of `mine` unless another connection stands in the way (or, for the
    // write lock, goes first).
    int Take(int slot, std::atomic<uint8_t>& mine, uint8_t mask, bool exclusive, bool write);
    // Drops the `mask` bits of `bits` and wakes whoever waits for a lock.
    void GiveUp(std::atomic<uint8_t>& bits, uint8_t mask);
    // Clears the slots whose process is gone among those that hold any of `mask`'s locks
    // (shared ones too when `exclusive`); true when one was cleared.
    bool ClearDeadHolders(int slot, unsigned mask, bool exclusive);
    bool Blocked(int slot, unsigned mask, bool exclusive) const;
    // Whether another connection that has waited longer than this one for the write lock goes first.
    bool MustLetOthersWrite(int slot, int64_t now) const;

    std::string database_;
    int fd_;
    Registry* registry_ = nullptr;
    FileId id_{};
    int users_ = 0;  // guarded by the registry's mutex
    int shmFd_ = -1;
    bool fenced_ = false;
    std::vector<int> spareFds_;  // other descriptors of the file, kept so as not to drop locks
    HiveLockTable* table_ = nullptr;
    std::mutex journalMutex_;  // guards the two below
    void* journalArea_ = nullptr;
    std::unique_ptr<HiveJournal> journal_;
    // One claim at a time in this process: record locks do not tell its threads apart.
    std::mutex claimMutex_;
    std::atomic<bool> ours_[HiveLockTable::kSlots] = {};
};

HiveLockFile::Registry*& HiveLockFile::Files() {
    // Never destroyed: connections may close during static destruction.
    static Registry* registry = [] {
        pthread_atfork(nullptr, nullptr, &HiveLockFile::ForgetAfterFork);
        return std::make_unique<Registry>().release();
    }();
    return registry;
}

void HiveLockFile::ForgetAfterFork() {
    // The child starts with a registry of its own: the record locks of the files open so far
    // are its parent's, so it opens them anew, and the old registry's mutex may have been held
    // by a thread that the child does not have. The old objects stay with the connections the
    // child inherited and never uses (never destroyed, as the registry itself).
    Files() = std::make_unique<Registry>().release();
}

HiveLockFile* HiveLockFile::Open(const std::string& database, int& rc) {
    Registry* registry = Files();
    std::lock_guard<std::mutex> lock(registry->mutex);
    const std::string path = database + "-locks";
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        auto found = registry->files.find({st.st_dev, st.st_ino});
        if (found != registry->files.end()) {
            ++found->second->users_;
            return found->second.get();
        }
    }
    std::string problem;
    const int fd = OpenPrivateFile(path, O_RDWR, problem);
    if (fd < 0 || fstat(fd, &st) != 0) {
        const bool full = errno == ENOSPC || errno == EDQUOT;
        Report(path, "open", "lock file '" + path + "': " + (problem.empty() ? std::strerror(errno) : problem));
        if (fd >= 0) close(fd);
        rc = full ? SQLITE_FULL : SQLITE_CANTOPEN;
        return nullptr;
    }
    const FileId id{st.st_dev, st.st_ino};
    auto found = registry->files.find(id);
    if (found != registry->files.end()) {
        // The same file under another name: this descriptor stays open as long as the file's
        // record locks matter.
        found->second->spareFds_.push_back(fd);
        ++found->second->users_;
        return found->second.get();
    }
    auto file = std::make_unique<HiveLockFile>(database, fd);
    rc = file->Start();
    if (rc != SQLITE_OK) return nullptr;
    file->registry_ = registry;
    file->id_ = id;
    file->users_ = 1;
    return registry->files.emplace(id, std::move(file)).first->second.get();
}

void HiveLockFile::Close(HiveLockFile* file) {
    Registry* registry = file->registry_;
    std::lock_guard<std::mutex> lock(registry->mutex);
    if (--file->users_ == 0) registry->files.erase(file->id_);
}

int HiveLockFile::Start() {
    // Another process is starting the table just now, which takes a moment (unless it was
    // stopped half-way: then this fails in the end, as any wait for a lock does).
    if (!WithinLockWait([this] { return RecordLock(fd_, F_WRLCK, kStartByte, 1); })) {
        Report(LockPath(), "locked", "lock file '" + LockPath() + "' stays locked by another process");
        return SQLITE_IOERR_LOCK;
    }
    int rc = SQLITE_OK;
    const bool alone = RecordLock(fd_, F_WRLCK, kOpenByte, 1);
    struct stat st {};
    if (alone) {
        // Room for the whole table on the disk now: a page of the mapping that the disk has
        // no room for would kill the process (SIGBUS) when first written. A file of the right
        // size has its room already, and is cleared through the mapping below.
        int error = 0;
        if (fstat(fd_, &st) != 0 || st.st_size != static_cast<off_t>(sizeof(HiveLockTable))) {
            error = ftruncate(fd_, 0) == 0 ? posix_fallocate(fd_, 0, sizeof(HiveLockTable)) : errno;
        }
        if (error != 0) {
            const bool full = error == ENOSPC || error == EDQUOT;
            Report(database_, full ? "full" : "locks",
                   "lock file '" + LockPath() + "': " +
                       (full ? std::string("the disk is full; changes fail with status 112 until there is room")
                             : std::string(std::strerror(error))));
            rc = full ? SQLITE_FULL : SQLITE_IOERR_TRUNCATE;
        }
    } else if (fstat(fd_, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(HiveLockTable))) {
        Report(LockPath(), "version", "lock file '" + LockPath() + "': in use, but not by this version of the registry");
        rc = SQLITE_IOERR_SHMSIZE;
    }
    if (rc == SQLITE_OK) {
        void* mapped = mmap(nullptr, sizeof(HiveLockTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (mapped == MAP_FAILED) {
            Report(LockPath(), "map", "lock file '" + LockPath() + "': " + std::strerror(errno));
            rc = SQLITE_IOERR_SHMMAP;
        } else {
            table_ = static_cast<HiveLockTable*>(mapped);
        }
    }
    if (rc == SQLITE_OK && alone) {
        std::memset(static_cast<void*>(table_), 0, sizeof(HiveLockTable));
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(&table_->mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        table_->size = sizeof(HiveLockTable);
        std::atomic_thread_fence(std::memory_order_release);
        table_->magic = HiveLockTable::kMagic;
    } else if (rc == SQLITE_OK && (table_->magic != HiveLockTable::kMagic || table_->size != sizeof(HiveLockTable))) {
        Report(LockPath(), "version", "lock file '" + LockPath() + "': in use, but not by this version of the registry");
        rc = SQLITE_IOERR_SHMSIZE;
    }
    if (rc == SQLITE_OK && !RecordLock(fd_, F_RDLCK, kOpenByte, 1)) {
        Report(LockPath(), "lock", "lock file '" + LockPath() + "': " + std::strerror(errno));
        rc = SQLITE_IOERR_LOCK;
    }
    if (rc != SQLITE_OK) RecordLock(fd_, F_UNLCK, kOpenByte, 1);
    RecordLock(fd_, F_UNLCK, kStartByte, 1);
    return rc;
}

int HiveLockFile::Fence() {
    if (fenced_) return SQLITE_OK;
    if (shmFd_ < 0) {
        shmFd_ = open((database_ + "-shm").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (shmFd_ < 0) {
            Report(LockPath(), "fence", "lock file '" + LockPath() + "': cannot open the index file beside it");
            return SQLITE_IOERR_SHMOPEN;
        }
    }
    // Fails while such a program holds one of these locks: it is writing, and it will be done.
    fenced_ = RecordLock(shmFd_, F_RDLCK, kShmLockBytes, kFencedLocks);
    return fenced_ ? SQLITE_OK : SQLITE_BUSY;
}

int HiveLockFile::Claim(int& rc) {
    std::lock_guard<std::mutex> claim(claimMutex_);
    rc = Fence();
    if (rc != SQLITE_OK) return -1;
    for (int slot = 0; slot < HiveLockTable::kSlots; ++slot) {
        if (ours_[slot] || !RecordLock(fd_, F_WRLCK, kSlotBytes + slot, 1)) continue;
        // Whatever a dead process left in the slot goes; the record lock now says the slot is
        // ours. Under the mutex, so that no one who found the slot dead clears it after that.
        TableLock lock(*this, LockWaitLimit());
        if (!lock.ok()) {
            RecordLock(fd_, F_UNLCK, kSlotBytes + slot, 1);
            Report(LockPath(), "locked", "lock file '" + LockPath() + "' stays locked by another process");
            rc = SQLITE_IOERR_LOCK;
            return -1;
        }
        ClearSlot(slot);
        uint32_t used = table_->slotsUsed;
        while (used <= static_cast<uint32_t>(slot) && !table_->slotsUsed.compare_exchange_weak(used, slot + 1)) {
        }
        ours_[slot] = true;
        return slot;
    }
    Report(LockPath(), "slots", "lock file '" + LockPath() + "': too many connections to the hive at once");
    rc = SQLITE_BUSY;
    return -1;
}

void HiveLockFile::Release(int slot) {
    SetWatching(slot, false);
    GiveUp(table_->shared[slot], 0xFF);
    GiveUp(table_->exclusive[slot], 0xFF);
    std::lock_guard<std::mutex> claim(claimMutex_);
    ours_[slot] = false;
    RecordLock(fd_, F_UNLCK, kSlotBytes + slot, 1);
}

HiveLockFile::TableLock::TableLock(HiveLockFile& file, std::chrono::milliseconds wait) : file_(file) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    const int64_t nanoseconds = deadline.tv_nsec + std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    deadline.tv_sec += static_cast<time_t>(nanoseconds / 1000000000);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    int rc = pthread_mutex_timedlock(&file_.table_->mutex, &deadline);
    // Its holder died. Every change under the mutex is a single store, so it left nothing half
    // done; its slots are cleared as soon as they stand in anyone's way.
    if (rc == EOWNERDEAD) rc = pthread_mutex_consistent(&file_.table_->mutex);
    ok_ = rc == 0;
}

HiveLockFile::TableLock::~TableLock() {
    if (ok_) pthread_mutex_unlock(&file_.table_->mutex);
}

bool HiveLockFile::Alive(int slot) {
    if (ours_[slot]) return true;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kSlotBytes + slot;
    probe.l_len = 1;
    // When the probe itself fails the slot is taken for alive: a lock kept too long only delays.
    if (fcntl(fd_, F_GETLK, &probe) != 0) return true;
    return probe.l_type != F_UNLCK;
}

void HiveLockFile::ClearSlot(int slot) {
    table_->shared[slot] = 0;
    table_->exclusive[slot] = 0;
    table_->writeWaitSince[slot] = 0;
    SetWatching(slot, false);
}

void HiveLockFile::SetWatching(int slot, bool watching) {
    if (table_->watching[slot].exchange(watching ? 1 : 0) == (watching ? 1 : 0)) return;
    if (watching) {
        ++table_->watchers;
    } else {
        --table_->watchers;
    }
}

HiveJournal* HiveLockFile::Journal(bool make) {
    // A commit asks for every write: while no one watches it costs one load.
    if (!make && table_->watchers == 0) return nullptr;
    std::lock_guard<std::mutex> lock(journalMutex_);
    if (journal_) return journal_.get();
    if (!table_->journalReady) {
        // A watcher makes the journal before it counts itself in: a commit that sees a watcher
        // finds the journal ready.
        if (!make) return nullptr;
        TableLock tableLock(*this, LockWaitLimit());
        if (!tableLock.ok()) return nullptr;
        if (!table_->journalReady) {
            // Room on the disk first, as for the table (see Start).
            const int error = posix_fallocate(fd_, 0, static_cast<off_t>(kJournalOffset + sizeof(HiveJournalArea)));
            if (error != 0) {
                Report(LockPath(), "journal",
                       "lock file '" + LockPath() + "': no room for the journal of changes (" + std::strerror(error) +
                           "); watches of the hive look for changes every few milliseconds instead");
                return nullptr;
            }
            if (!MapJournal()) return nullptr;
            journal_->Start();
            table_->journalReady = 1;
            return journal_.get();
        }
    }
    return MapJournal() ? journal_.get() : nullptr;
}

bool HiveLockFile::MapJournal() {
    void* mapped = mmap(nullptr, sizeof(HiveJournalArea), PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                        static_cast<off_t>(kJournalOffset));
    if (mapped == MAP_FAILED) {
        Report(LockPath(), "map", "lock file '" + LockPath() + "': " + std::strerror(errno));
        return false;
    }
    journalArea_ = mapped;
    journal_ = std::make_unique<HiveJournal>(static_cast<HiveJournalArea*>(mapped));
    return true;
}

bool HiveLockFile::MustLetOthersWrite(int slot, int64_t now) const {
    const uint32_t used = std::min<uint32_t>(table_->slotsUsed, HiveLockTable::kSlots);
    const int64_t mine = table_->writeWaitSince[slot];
    for (uint32_t other = 0; other < used; ++other) {
        const int64_t since = table_->writeWaitSince[other];
        if (since == 0 || static_cast<int>(other) == slot) continue;
        if (now - since >= kStarvingNs && now - table_->writeAskedAt[other] < kGoneNs && (mine == 0 || since < mine))
            return true;
    }
    return false;
}

bool HiveLockFile::Blocked(int slot, unsigned mask, bool exclusive) const {
    const uint32_t used = std::min<uint32_t>(table_->slotsUsed, HiveLockTable::kSlots);
    unsigned held = 0;
    for (uint32_t other = 0; other < used; ++other) {
        if (static_cast<int>(other) == slot) continue;
        held |= table_->exclusive[other];
        if (exclusive) held |= table_->shared[other];
    }
    return (held & mask) != 0;
}

bool HiveLockFile::ClearDeadHolders(int slot, unsigned mask, bool exclusive) {
    const uint32_t used = std::min<uint32_t>(table_->slotsUsed, HiveLockTable::kSlots);
    bool cleared = false;
    for (uint32_t other = 0; other < used; ++other) {
        if (static_cast<int>(other) == slot) continue;
        const unsigned held = table_->exclusive[other] | (exclusive ? table_->shared[other].load() : 0u);
        if ((held & mask) != 0 && !Alive(static_cast<int>(other))) {
            ClearSlot(static_cast<int>(other));
            cleared = true;
        }
    }
    return cleared;
}

void HiveLockFile::GiveUp(std::atomic<uint8_t>& bits, uint8_t mask) {
    bits.fetch_and(static_cast<uint8_t>(~mask));
    // Counted before the waiters are looked at, as they look at the count after counting
    // themselves in: either this sees a waiter, or the waiter sees the release.
    table_->releases.fetch_add(1);
    if (table_->waiters != 0) Futex(table_->releases, FUTEX_WAKE, INT_MAX, nullptr);
}

int HiveLockFile::Lock(int slot, int offset, int count, int flags) {
    const auto mask = static_cast<uint8_t>(((1u << count) - 1u) << offset);
    const bool exclusive = (flags & SQLITE_SHM_EXCLUSIVE) != 0;
    std::atomic<uint8_t>& mine = exclusive ? table_->exclusive[slot] : table_->shared[slot];
    if (flags & SQLITE_SHM_UNLOCK) {
        GiveUp(mine, mask);
        return SQLITE_OK;
    }
    const bool write = exclusive && offset == kWriteLock && count == 1;
    const int rc = Take(slot, mine, mask, exclusive, write);
    if (write && rc != SQLITE_OK) {
        // Waiting since the first refusal, until the connection's write is done (WriteDone):
        // SQLite may take the lock and give it back before it writes, when its snapshot is old.
        const int64_t now = NowNs();
        table_->writeAskedAt[slot] = now;
        int64_t none = 0;
        table_->writeWaitSince[slot].compare_exchange_strong(none, now);
    }
    return rc;
}

int HiveLockFile::Take(int slot, std::atomic<uint8_t>& mine, uint8_t mask, bool exclusive, bool write) {
    if (write && MustLetOthersWrite(slot, NowNs())) {
        // The one that goes first may be asleep, waiting for a lock to be given up.
        table_->releases.fetch_add(1);
        Futex(table_->releases, FUTEX_WAKE, INT_MAX, nullptr);
        return SQLITE_BUSY;
    }
    // The bits are taken first and the others looked at after (all sequentially consistent):
    // of two connections that want conflicting locks at once, at least one sees the other and
    // gives its bits back.
    for (int round = 0;; ++round) {
        const uint8_t had = mine.fetch_or(mask);
        if ((had & mask) == mask || !Blocked(slot, mask, exclusive)) return SQLITE_OK;
        GiveUp(mine, static_cast<uint8_t>(mask & ~had));
        if (round > 0) return SQLITE_BUSY;
        // Perhaps a dead process's: cleared under the mutex, then one more try.
        TableLock lock(*this, kClearingWait);
        if (!lock.ok() || !ClearDeadHolders(slot, mask, exclusive)) return SQLITE_BUSY;
    }
}

void HiveLockFile::AwaitRelease(std::chrono::microseconds timeout) {
    const uint32_t seen = table_->releases;
    ++table_->waiters;
    if (table_->releases == seen) {
        timespec wait{static_cast<time_t>(timeout.count() / 1000000), static_cast<long>(timeout.count() % 1000000) * 1000};
        Futex(table_->releases, FUTEX_WAIT, seen, &wait);
    }
    --table_->waiters;
}

std::unique_ptr<HiveLocks> HiveLocks::Open(const std::string& database, int& rc) {
    rc = SQLITE_OK;
    HiveLockFile* file = HiveLockFile::Open(database, rc);
    if (!file) return nullptr;
    return std::make_unique<HiveLocks>(file);
}

HiveLocks::HiveLocks(HiveLockFile* file) : file_(file) {}

HiveLocks::~HiveLocks() {
    if (slot_ >= 0) file_->Release(slot_);
    HiveLockFile::Close(file_);
}

int HiveLocks::Lock(int offset, int count, int flags) {
    if (slot_ < 0) {
        if (flags & SQLITE_SHM_UNLOCK) return SQLITE_OK;
        int rc = SQLITE_OK;
        slot_ = file_->Claim(rc);
        if (slot_ < 0) return rc;
    }
    return file_->Lock(slot_, offset, count, flags);
}

void HiveLocks::AwaitRelease(std::chrono::microseconds timeout) { file_->AwaitRelease(timeout); }

bool HiveLocks::FilesReplaced() const { return file_->Replaced(); }

HiveJournal* HiveLocks::Journal() { return file_->Journal(false); }

std::atomic<uint64_t>& HiveLocks::ReadMapGeneration() { return file_->ReadMapGeneration(); }

HiveJournal* HiveLocks::OpenJournal() { return file_->Journal(true); }

void HiveLocks::SetWatching(bool watching) {
    if (slot_ < 0) {
        int rc = SQLITE_OK;
        slot_ = file_->Claim(rc);
        if (slot_ < 0) return;
    }
    file_->SetWatching(slot_, watching);
}

void HiveLocks::WriteDone() {
    if (slot_ >= 0) file_->WriteDone(slot_);
}

}  // namespace zelreg
