#include "HiveLocks.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

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

bool RecordLock(int fd, short type, off_t start, off_t length, bool wait = false) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int rc;
    do {
        rc = fcntl(fd, wait ? F_SETLKW : F_SETLK, &lock);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void Report(const std::string& path, const char* what) {
    std::fprintf(stderr, "zelregistry: lock file '%s': %s\n", path.c_str(), what);
}

}  // namespace

class HiveLockFile {
public:
    HiveLockFile(std::string database, int fd) : database_(std::move(database)), fd_(fd) {}
    HiveLockFile(const HiveLockFile&) = delete;
    HiveLockFile& operator=(const HiveLockFile&) = delete;
    ~HiveLockFile() {
        if (table_) munmap(table_, sizeof(HiveLockTable));
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

    // Holds the table's mutex, taking it over from a holder that died.
    class TableLock {
    public:
        explicit TableLock(HiveLockFile& file);
        ~TableLock();
        bool ok() const { return ok_; }

    private:
        HiveLockFile& file_;
        bool ok_ = false;
    };

    bool Alive(int slot);
    void ClearSlot(int slot);
    // Clears the slots whose process is gone among those that hold any of `mask`'s locks
    // (shared ones too when `exclusive`); true when one was cleared.
    bool ClearDeadHolders(int slot, unsigned mask, bool exclusive);
    bool Blocked(int slot, unsigned mask, bool exclusive) const;

    std::string database_;
    int fd_;
    Registry* registry_ = nullptr;
    FileId id_{};
    int users_ = 0;  // guarded by the registry's mutex
    int shmFd_ = -1;
    bool fenced_ = false;
    std::vector<int> spareFds_;  // other descriptors of the file, kept so as not to drop locks
    HiveLockTable* table_ = nullptr;
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
    // child inherited and never uses.
    static std::vector<std::unique_ptr<Registry>> inherited;
    inherited.emplace_back(Files());
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
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || fstat(fd, &st) != 0) {
        Report(path, std::strerror(errno));
        if (fd >= 0) close(fd);
        rc = SQLITE_CANTOPEN;
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
    if (!RecordLock(fd_, F_WRLCK, kStartByte, 1, true)) {
        Report(LockPath(), std::strerror(errno));
        return SQLITE_IOERR_LOCK;
    }
    int rc = SQLITE_OK;
    const bool alone = RecordLock(fd_, F_WRLCK, kOpenByte, 1);
    struct stat st {};
    if (alone) {
        if (ftruncate(fd_, 0) != 0 || ftruncate(fd_, sizeof(HiveLockTable)) != 0) {
            Report(LockPath(), std::strerror(errno));
            rc = SQLITE_IOERR_TRUNCATE;
        }
    } else if (fstat(fd_, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(HiveLockTable))) {
        Report(LockPath(), "in use, but not by this version of the registry");
        rc = SQLITE_IOERR_SHMSIZE;
    }
    if (rc == SQLITE_OK) {
        void* mapped = mmap(nullptr, sizeof(HiveLockTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (mapped == MAP_FAILED) {
            Report(LockPath(), std::strerror(errno));
            rc = SQLITE_IOERR_SHMMAP;
        } else {
            table_ = static_cast<HiveLockTable*>(mapped);
        }
    }
    if (rc == SQLITE_OK && alone) {
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
        Report(LockPath(), "in use, but not by this version of the registry");
        rc = SQLITE_IOERR_SHMSIZE;
    }
    if (rc == SQLITE_OK && !RecordLock(fd_, F_RDLCK, kOpenByte, 1)) {
        Report(LockPath(), std::strerror(errno));
        rc = SQLITE_IOERR_LOCK;
    }
    if (rc != SQLITE_OK) RecordLock(fd_, F_UNLCK, kOpenByte, 1);
    RecordLock(fd_, F_UNLCK, kStartByte, 1);
    return rc;
}

int HiveLockFile::Fence() {
    if (fenced_) return SQLITE_OK;
    if (shmFd_ < 0) {
        shmFd_ = open((database_ + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
        if (shmFd_ < 0) {
            Report(LockPath(), "cannot open the index file beside it");
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
        TableLock lock(*this);
        if (!lock.ok()) {
            RecordLock(fd_, F_UNLCK, kSlotBytes + slot, 1);
            rc = SQLITE_IOERR_LOCK;
            return -1;
        }
        // Whatever a dead process left in the slot goes; the record lock now says the slot is ours.
        ClearSlot(slot);
        if (table_->slotsUsed <= static_cast<uint32_t>(slot)) table_->slotsUsed = slot + 1;
        ours_[slot] = true;
        return slot;
    }
    Report(LockPath(), "too many connections to the hive at once");
    rc = SQLITE_BUSY;
    return -1;
}

void HiveLockFile::Release(int slot) {
    {
        TableLock lock(*this);
        if (lock.ok()) ClearSlot(slot);
    }
    std::lock_guard<std::mutex> claim(claimMutex_);
    ours_[slot] = false;
    RecordLock(fd_, F_UNLCK, kSlotBytes + slot, 1);
}

HiveLockFile::TableLock::TableLock(HiveLockFile& file) : file_(file) {
    int rc = pthread_mutex_lock(&file_.table_->mutex);
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
        const unsigned held = table_->exclusive[other] | (exclusive ? table_->shared[other] : 0u);
        if ((held & mask) != 0 && !Alive(static_cast<int>(other))) {
            ClearSlot(static_cast<int>(other));
            cleared = true;
        }
    }
    return cleared;
}

int HiveLockFile::Lock(int slot, int offset, int count, int flags) {
    const unsigned mask = ((1u << count) - 1u) << offset;
    const bool exclusive = (flags & SQLITE_SHM_EXCLUSIVE) != 0;
    TableLock lock(*this);
    if (!lock.ok()) return SQLITE_IOERR_LOCK;
    uint8_t& mine = exclusive ? table_->exclusive[slot] : table_->shared[slot];
    if (flags & SQLITE_SHM_UNLOCK) {
        mine = static_cast<uint8_t>(mine & ~mask);
        return SQLITE_OK;
    }
    if ((mine & mask) == mask) return SQLITE_OK;
    if (Blocked(slot, mask, exclusive) && (!ClearDeadHolders(slot, mask, exclusive) || Blocked(slot, mask, exclusive))) {
        return SQLITE_BUSY;
    }
    mine = static_cast<uint8_t>(mine | mask);
    return SQLITE_OK;
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

}  // namespace zelreg
