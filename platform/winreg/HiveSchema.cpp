#include "HiveSchema.h"

#include <cstdio>

#include "KeyStore.h"
#include "RegError.h"

namespace zelreg {
namespace {

// Runs a query that yields one integer, without turning failures into exceptions: a file that
// is not a database fails here, and that is an answer, not an error.
int ReadInt(sqlite3* db, const char* sql, int64_t& value) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            value = sqlite3_column_int64(stmt, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

}  // namespace

HiveState ExamineHive(Connection& db, std::string& reason) {
    int64_t applicationId = 0;
    int64_t format = 0;
    int64_t objects = 0;
    int rc = ReadInt(db.handle(), "PRAGMA application_id", applicationId);
    if (rc == SQLITE_OK) rc = ReadInt(db.handle(), "PRAGMA user_version", format);
    if (rc == SQLITE_OK) rc = ReadInt(db.handle(), "SELECT count(*) FROM sqlite_master", objects);
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) throw BusyError{};
    if (rc != SQLITE_OK) {
        reason = (rc & 0xFF) == SQLITE_NOTADB ? std::string("not a registry hive (not a database file)")
                                               : std::string("cannot read it: ") + sqlite3_errmsg(db.handle());
        return HiveState::Refused;
    }
    char buf[160];
    if (applicationId == 0) {
        if (objects == 0 && format == 0) return HiveState::Empty;
        reason = "not a registry hive (a database of another program)";
        return HiveState::Refused;
    }
    if (applicationId != kHiveApplicationId) {
        std::snprintf(buf, sizeof buf, "not a registry hive (application id 0x%08llx)",
                      static_cast<unsigned long long>(applicationId));
        reason = buf;
        return HiveState::Refused;
    }
    if (format > kHiveFormat) {
        std::snprintf(buf, sizeof buf,
                      "hive format %lld is newer than this program reads (format %d); use a newer "
                      "version of the program",
                      static_cast<long long>(format), kHiveFormat);
        reason = buf;
        return HiveState::Refused;
    }
    if (format < 1) {
        reason = "damaged registry hive (no format number)";
        return HiveState::Refused;
    }
    return HiveState::Hive;
}

void CreateHiveSchema(Connection& db) {
    db.Exec(
        // AUTOINCREMENT: a key id is never given out again, so a handle to a deleted key can
        // never come to name a new one.
        "CREATE TABLE keys("
        "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
        "  parent INTEGER,"
        "  name TEXT NOT NULL,"
        "  fold TEXT NOT NULL,"
        "  class TEXT,"
        "  mtime INTEGER NOT NULL,"
        "  cgen INTEGER NOT NULL DEFAULT 0,"
        "  vgen INTEGER NOT NULL DEFAULT 0,"
        "  boot TEXT);"
        "CREATE UNIQUE INDEX keys_child ON keys(parent, fold);"
        "CREATE INDEX keys_volatile ON keys(boot) WHERE boot IS NOT NULL;"
        // seq is the rowid: each new value gets a larger one, which gives insertion order.
        "CREATE TABLE vals("
        "  seq INTEGER PRIMARY KEY,"
        "  key INTEGER NOT NULL,"
        "  name TEXT NOT NULL,"
        "  fold TEXT NOT NULL,"
        "  type INTEGER NOT NULL,"
        "  data BLOB NOT NULL,"
        "  wsize INTEGER NOT NULL);"
        "CREATE UNIQUE INDEX vals_name ON vals(key, fold);"
        "CREATE INDEX vals_order ON vals(key, seq);"
        "CREATE TABLE changes("
        "  id INTEGER PRIMARY KEY,"
        "  key INTEGER NOT NULL,"
        "  kind INTEGER NOT NULL);");
    Query(db, "INSERT INTO keys(id, parent, name, fold, mtime) VALUES(?1, NULL, '', '', ?2)")
        .Bind(1, kRootKeyId)
        .Bind(2, FileTimeNow())
        .Run();
    db.Exec("PRAGMA application_id = 1516596306");  // kHiveApplicationId
    db.Exec("PRAGMA user_version = 1");             // kHiveFormat
    static_assert(kHiveApplicationId == 1516596306 && kHiveFormat == 1, "keep the pragmas in step");
}

}  // namespace zelreg
