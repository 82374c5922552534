#include "HiveCheck.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "HiveFileHeader.h"
#include "HiveSchema.h"
#include "Store.h"

namespace zelreg {
namespace {

const char* const kRemedy =
    "; restore it from a backup (a file made by zelreg backup, put in its place while no program uses the "
    "registry), or move it aside to start a new, empty registry";

HiveVerdict Damaged(const std::string& file, const std::string& detail) {
    return {ERROR_REGISTRY_CORRUPT, file + " is damaged (" + detail + ")" + kRemedy};
}

// The verdict on an open connection, within a read transaction of it.
HiveVerdict Examine(Connection& db, const std::string& file) {
    std::string reason;
    HiveState state;
    try {
        state = ExamineHive(db, reason);
    } catch (const RegError&) {
        return Damaged(file, sqlite3_errmsg(db.handle()));
    }
    if (state == HiveState::Refused) {
        return {ERROR_BADDB, file + " is no hive this program can use: " + reason +
                                 "; move it aside to start a new, empty registry"};
    }
    std::string first;
    try {
        Query check(db, "PRAGMA integrity_check(1)");
        if (check.Step()) first = std::string(check.Text(0));
    } catch (const RegError&) {
        return Damaged(file, sqlite3_errmsg(db.handle()));
    }
    if (first != "ok") return Damaged(file, first);
    const std::string format = state == HiveState::Empty ? "empty" : "format " + std::to_string(kHiveFormat);
    return {ERROR_SUCCESS, file + " is sound (" + format + ", every page and index checked)"};
}

}  // namespace

HiveVerdict CheckHive(HiveKind kind) {
    const HiveLocation location = LocateHive(kind);
    const std::string& file = location.file;
    struct stat st {};
    if (lstat(file.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return {ERROR_FILE_NOT_FOUND,
                    "no registry in " + location.directory + " (" + DescribeSource(location.source) + ")"};
        }
        return {ERROR_ACCESS_DENIED, file + " cannot be looked at: " + std::strerror(errno)};
    }
    // A hive in use is in write-ahead-log mode: it is checked through the store's own
    // connection, whose locks keep the check in step with the processes that use it. Any other
    // file (a backup put in place, one that is no hive) no program of the store has open, and
    // it is looked at by itself, read-only: opening it as a hive would turn it to the log.
    const std::optional<HiveFileHeader> header = ReadHiveFileHeader(file);
    LONG refused = ERROR_SUCCESS;
    if (header && header->walMode) {
        try {
            Hive& hive = Store::Get().GetHive(kind);
            // The header check runs plain SQLite statements, which do not begin the hive's
            // snapshot as the store's queries do: begun first, it holds the whole check, and
            // SQLite's message for a failure is still there when the check reports it.
            return hive.Read([&](Connection& db) {
                db.BeforeQuery();
                return Examine(db, file);
            });
        } catch (const RegError& e) {
            refused = e.status;
        }
    }
    try {
        Connection db(file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        SqlTransaction snapshot(db, false);
        return Examine(db, file);
    } catch (const RegError& e) {
        if (refused == ERROR_REGISTRY_CORRUPT || e.status == ERROR_REGISTRY_CORRUPT) return Damaged(file, "it cannot be read");
        return {e.status, file + " cannot be read (error " + std::to_string(e.status) + ")" + kRemedy};
    } catch (const BusyError&) {
        return {ERROR_REGISTRY_IO_FAILED, file + " stays locked by another process"};
    }
}

}  // namespace zelreg
