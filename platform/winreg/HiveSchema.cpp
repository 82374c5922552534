#include "HiveSchema.h"

#include <cstdio>
#include <string>

#include "KeyStore.h"
#include "RegError.h"

namespace zelreg {
namespace {

struct Header {
    int64_t applicationId = 0;
    int64_t format = 0;
    int64_t objects = 0;
};

// Reads the header and counts the schema's objects without turning failures into exceptions:
// a file that is not a database fails here, and that is an answer, not an error. One statement
// reads one snapshot, so a hive that another process is creating right now is seen before or
// after, never half made.
int ReadHeader(sqlite3* db, Header& header) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db,
                                "SELECT (SELECT application_id FROM pragma_application_id), "
                                "(SELECT user_version FROM pragma_user_version), "
                                "(SELECT count(*) FROM sqlite_master)",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            header = Header{sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1), sqlite3_column_int64(stmt, 2)};
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

}  // namespace

HiveState ExamineHive(Connection& db, std::string& reason) {
    Header header;
    const int rc = ReadHeader(db.handle(), header);
    const int64_t applicationId = header.applicationId;
    const int64_t format = header.format;
    if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) throw BusyError{};
    if ((rc & 0xFF) == SQLITE_NOTADB) {
        reason = "not a registry hive (not a database file)";
        return HiveState::Refused;
    }
    // A damaged hive, a full disk, a failing one: the status and the message say which.
    if (rc != SQLITE_OK) db.Throw(rc);
    if (applicationId == 0) {
        if (header.objects == 0 && format == 0) return HiveState::Empty;
        reason = "not a registry hive (a database of another program)";
        return HiveState::Refused;
    }
    if (applicationId != kHiveApplicationId) {
        char id[24];
        std::snprintf(id, sizeof id, "0x%08llx", static_cast<unsigned long long>(applicationId));
        reason = std::string("not a registry hive (application id ") + id + ")";
        return HiveState::Refused;
    }
    const std::string ours = " (format " + std::to_string(kHiveFormat) + ")";
    if (format > kHiveFormat) {
        reason = "hive format " + std::to_string(format) + " is newer than this program reads" + ours +
                 "; use a newer version of the program";
        return HiveState::Refused;
    }
    if (format < 1) {
        reason = "damaged registry hive (no format number)";
        return HiveState::Refused;
    }
    if (format < kHiveFormat) {
        reason = "hive format " + std::to_string(format) +
                 " was written by a development version of this program and is not read any more" + ours +
                 "; move the file away to start a new hive";
        return HiveState::Refused;
    }
    return HiveState::Hive;
}

void CreateHiveSchema(Connection& db) {
    db.Exec(
        // Every row of the hive is in one table, ordered by the key it belongs to: a key's own row,
        // its values and its list of sub-keys lie side by side, so a call that changes one key
        // mostly writes one page. `kind` tells the rows apart (see KeyStore.h):
        //   0  an entry in the list of sub-keys of `key`: fold, name, class, and `sub`, the sub-key's id
        //   1  a value of `key`: fold, name, seq (its place in the order values were first set),
        //      type, data and wsize (its size as Windows reports it)
        //   2  the key itself: fold (of its own name), parent, mtime, the change counters cgen and
        //      vgen, and boot (set for volatile keys). It comes last among the key's rows, so a
        //      value, or a sub-key added at the end of the list, mostly shares a page with the
        //      counters that the change moves.
        "CREATE TABLE items("
        "  key INTEGER NOT NULL,"
        "  kind INTEGER NOT NULL,"
        "  fold TEXT NOT NULL,"
        "  name TEXT,"
        "  sub INTEGER,"
        "  class TEXT,"
        "  parent INTEGER,"
        "  mtime INTEGER,"
        "  cgen INTEGER,"
        "  vgen INTEGER,"
        "  boot TEXT,"
        "  seq INTEGER,"
        "  type INTEGER,"
        "  data BLOB,"
        "  wsize INTEGER,"
        "  PRIMARY KEY(key, kind, fold)) WITHOUT ROWID;"
        "CREATE INDEX items_volatile ON items(boot) WHERE boot IS NOT NULL;"
        // retired: the largest key id that a delete has taken out of the table (see NewKeyId).
        "CREATE TABLE counters(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO counters VALUES('retired', 0);");
    Query(db, "INSERT INTO items(key, kind, fold, mtime, cgen, vgen) VALUES(?1, 2, '', ?2, 0, 0)")
        .Bind(1, kRootKeyId)
        .Bind(2, FileTimeNow())
        .Run();
    db.Exec("PRAGMA application_id = 1516596306");  // kHiveApplicationId
    db.Exec("PRAGMA user_version = 2");             // kHiveFormat
    static_assert(kHiveApplicationId == 1516596306 && kHiveFormat == 2, "keep the pragmas in step");
}

}  // namespace zelreg
