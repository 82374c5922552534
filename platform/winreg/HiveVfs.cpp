#include "HiveVfs.h"

#include <sqlite3.h>

#include "HiveLocks.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace zelreg {
namespace {

constexpr std::size_t kMaxPending = 64 * 1024;
constexpr int kFrameHeaderBytes = 24;

struct File {
    sqlite3_file base;  // first: SQLite sees a File as an sqlite3_file
    sqlite3_file* real;
    bool isLog;
    const char* name;     // SQLite's own copy, kept as long as the connection
    File* log = nullptr;  // a database's open write-ahead log, or its database for a log
    // Log writes not yet handed on: `pending` goes at offset `start`.
    std::vector<char> pending;
    sqlite3_int64 start = 0;
    bool commitFrameBegun = false;
    // A database whose index locks are shared (IndexLocks::Shared), and its share of them
    // while its index is mapped.
    bool sharedLocks = false;
    std::unique_ptr<HiveLocks> locks;
};

sqlite3_vfs*& RealVfs() {
    static sqlite3_vfs* real = nullptr;
    return real;
}

// Open databases by the name SQLite gave them, so that a log opened later finds its database:
// SQLite derives a log's name from that very string (sqlite3_filename_database), which makes
// the pointer unique to one connection even when several have the same file open.
struct Registry {
    std::mutex mutex;
    std::unordered_map<const char*, File*> databases;
};
Registry& Databases() {
    // Never destroyed: connections may still open and close while the process exits.
    static Registry* const registry = std::make_unique<Registry>().release();
    return *registry;
}

File* Of(sqlite3_file* file) { return reinterpret_cast<File*>(file); }
const sqlite3_io_methods* Real(sqlite3_file* file) { return Of(file)->real->pMethods; }

int Flush(File* log) {
    if (log->pending.empty()) return SQLITE_OK;
    const int rc = log->real->pMethods->xWrite(log->real, log->pending.data(), static_cast<int>(log->pending.size()),
                                              log->start);
    log->pending.clear();
    log->commitFrameBegun = false;
    return rc;
}

// Before the connection gives up a lock or publishes an index header: see the header comment.
void FlushLogOf(File* database) {
    if (database->log) Flush(database->log);
}

bool IsCommitFrameHeader(const void* data, int size) {
    if (size != kFrameHeaderBytes) return false;
    // Bytes 4 to 7 of a frame header: the database size after a commit, zero in other frames.
    const auto* bytes = static_cast<const unsigned char*>(data);
    return (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;
}

int Write(sqlite3_file* file, const void* data, int size, sqlite3_int64 offset) {
    File* f = Of(file);
    // A log without its database could not be flushed when a lock goes: it writes at once.
    if (!f->isLog || !f->log) return Real(file)->xWrite(f->real, data, size, offset);
    const bool follows = offset == f->start + static_cast<sqlite3_int64>(f->pending.size());
    if (!f->pending.empty() && (!follows || f->pending.size() + static_cast<std::size_t>(size) > kMaxPending)) {
        if (int rc = Flush(f)) return rc;
    }
    if (f->pending.empty()) f->start = offset;
    const auto* bytes = static_cast<const char*>(data);
    f->pending.insert(f->pending.end(), bytes, bytes + size);
    if (f->commitFrameBegun) return Flush(f);
    f->commitFrameBegun = IsCommitFrameHeader(data, size);
    return SQLITE_OK;
}

int Close(sqlite3_file* file) {
    File* f = Of(file);
    const int flushed = Flush(f);
    {
        Registry& registry = Databases();
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (f->log) f->log->log = nullptr;
        auto found = registry.databases.find(f->name);
        if (found != registry.databases.end() && found->second == f) registry.databases.erase(found);
    }
    const int closed = f->real->pMethods->xClose(f->real);
    f->~File();
    return flushed ? flushed : closed;
}

int Read(sqlite3_file* file, void* data, int size, sqlite3_int64 offset) {
    if (int rc = Flush(Of(file))) return rc;
    return Real(file)->xRead(Of(file)->real, data, size, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    if (int rc = Flush(Of(file))) return rc;
    return Real(file)->xTruncate(Of(file)->real, size);
}
int Sync(sqlite3_file* file, int flags) {
    if (int rc = Flush(Of(file))) return rc;
    return Real(file)->xSync(Of(file)->real, flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    if (int rc = Flush(Of(file))) return rc;
    return Real(file)->xFileSize(Of(file)->real, size);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
    if (op == kFileControlHiveLocks) {
        *static_cast<HiveLocks**>(arg) = Of(file)->locks.get();
        return SQLITE_OK;
    }
    if (int rc = Flush(Of(file))) return rc;
    return Real(file)->xFileControl(Of(file)->real, op, arg);
}
int Lock(sqlite3_file* file, int level) { return Real(file)->xLock(Of(file)->real, level); }
int Unlock(sqlite3_file* file, int level) { return Real(file)->xUnlock(Of(file)->real, level); }
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Real(file)->xCheckReservedLock(Of(file)->real, out);
}
int SectorSize(sqlite3_file* file) { return Real(file)->xSectorSize(Of(file)->real); }
int DeviceCharacteristics(sqlite3_file* file) { return Real(file)->xDeviceCharacteristics(Of(file)->real); }
// The connection's share of the lock table, opened once its index is mapped; a failure (another
// process starting the table just now, say) is tried again at the next lock.
int OpenLocks(File* f) {
    if (f->locks) return SQLITE_OK;
    int rc = SQLITE_OK;
    f->locks = HiveLocks::Open(f->name, rc);
    return rc;
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    File* f = Of(file);
    const int rc = Real(file)->xShmMap(f->real, region, size, extend, out);
    if (rc != SQLITE_OK || !f->sharedLocks) return rc;
    return OpenLocks(f);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    File* f = Of(file);
    if (flags & SQLITE_SHM_UNLOCK) FlushLogOf(f);
    if (!f->sharedLocks) return Real(file)->xShmLock(f->real, offset, count, flags);
    if (const int rc = OpenLocks(f)) return flags & SQLITE_SHM_UNLOCK ? SQLITE_OK : rc;
    return f->locks->Lock(offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) {
    FlushLogOf(Of(file));
    Real(file)->xShmBarrier(Of(file)->real);
}
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    File* f = Of(file);
    const int rc = Real(file)->xShmUnmap(f->real, deleteFlag);
    // After SQLite's own unmapping, which closes its -shm descriptor when it was the last.
    f->locks.reset();
    return rc;
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int size, void** out) {
    return Real(file)->xFetch(Of(file)->real, offset, size, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->xUnfetch(Of(file)->real, offset, page);
}

// Version 3, as the methods of the system's VFS that every call is handed to.
const sqlite3_io_methods kMethods = {
    3,     Close,  Read,      Write,      Truncate, Sync,       FileSize, Lock,
    Unlock, CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier,
    ShmUnmap, Fetch, Unfetch};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* real = RealVfs();
    File* f = new (file) File();
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    f->isLog = (flags & SQLITE_OPEN_WAL) != 0;
    f->name = name;
    // A connection that may only read keeps to record locks: it may be unable to write the
    // lock file.
    f->sharedLocks = vfs->pAppData != nullptr && name && (flags & SQLITE_OPEN_MAIN_DB) && (flags & SQLITE_OPEN_READWRITE);
    const int rc = real->xOpen(real, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK || !f->real->pMethods) {
        f->~File();
        file->pMethods = nullptr;
        return rc;
    }
    file->pMethods = &kMethods;
    if (name && (f->isLog || (flags & SQLITE_OPEN_MAIN_DB))) {
        Registry& registry = Databases();
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (!f->isLog) {
            registry.databases[name] = f;
        } else {
            auto database = registry.databases.find(sqlite3_filename_database(name));
            if (database != registry.databases.end()) {
                database->second->log = f;
                f->log = database->second;
            }
        }
    }
    return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) { return RealVfs()->xDelete(RealVfs(), name, syncDir); }
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
    return RealVfs()->xAccess(RealVfs(), name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return RealVfs()->xFullPathname(RealVfs(), name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return RealVfs()->xDlOpen(RealVfs(), name); }
void DlError(sqlite3_vfs*, int size, char* out) { RealVfs()->xDlError(RealVfs(), size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return RealVfs()->xDlSym(RealVfs(), handle, symbol);
}
void DlClose(sqlite3_vfs*, void* handle) { RealVfs()->xDlClose(RealVfs(), handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return RealVfs()->xRandomness(RealVfs(), size, out); }
int Sleep(sqlite3_vfs*, int microseconds) { return RealVfs()->xSleep(RealVfs(), microseconds); }
int CurrentTime(sqlite3_vfs*, double* out) { return RealVfs()->xCurrentTime(RealVfs(), out); }
int GetLastError(sqlite3_vfs*, int size, char* out) { return RealVfs()->xGetLastError(RealVfs(), size, out); }
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return RealVfs()->xCurrentTimeInt64(RealVfs(), out);
}

}  // namespace

const char* HiveVfs(IndexLocks locks) {
    // The two differ only in pAppData, which Open reads.
    static sqlite3_vfs* const vfs = [] {
        static sqlite3_vfs both[2];
        sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
        RealVfs() = real;
        for (sqlite3_vfs& v : both) {
            v.iVersion = 2;
            v.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
            v.mxPathname = real->mxPathname;
            v.xOpen = Open;
            v.xDelete = Delete;
            v.xAccess = Access;
            v.xFullPathname = FullPathname;
            v.xDlOpen = DlOpen;
            v.xDlError = DlError;
            v.xDlSym = DlSym;
            v.xDlClose = DlClose;
            v.xRandomness = Randomness;
            v.xSleep = Sleep;
            v.xCurrentTime = CurrentTime;
            v.xGetLastError = GetLastError;
            v.xCurrentTimeInt64 = CurrentTimeInt64;
        }
        both[0].zName = "zelreg-hive";
        both[1].zName = "zelreg-hive-shared-locks";
        both[1].pAppData = &both[1];
        for (sqlite3_vfs& v : both) sqlite3_vfs_register(&v, 0);
        return both;
    }();
    return vfs[locks == IndexLocks::Shared ? 1 : 0].zName;
}

}  // namespace zelreg
