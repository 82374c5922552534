#include "HiveSchema.h"

#include <cstdio>
#include <string>
#include <vector>

#include "KeyStore.h"
#include "RegError.h"

namespace zelreg {
namespace {

// Every row of the hive is in one table, ordered by the key it belongs to: a key's own row, its
// values and its list of sub-keys lie side by side, so a call that changes one key mostly writes
// one page. `kind` tells the rows apart (see KeyStore.h):
//   0  an entry in the list of sub-keys of `key`: fold, name, class, and `sub`, the sub-key's id
//   1  a value of `key`: fold, name, seq (its place in the order values were first set), type,
//      wsize (the data's size as Windows reports it) and data, last so that reading the other
//      columns of a large value never reads its data
//   2  the key itself: fold (of its own name), parent, mtime, the change counters cgen and vgen,
//      boot (set for volatile keys), and the figures RegQueryInfoKey reports of its sub-keys and
//      values (see KeyFigures.h)
//   3  the place of a value of `key` in the enumeration, for keys with many values (see
//      kPlaceValuesAbove): fold is the value's seq as 16 hex digits, so that these rows come in
//      the order of seq, and name is the value's name
// A key's own row comes after its entries and values (and before its values' places), so a
// value, or a sub-key added at the end of the list, mostly shares a page with the counters that
// the change moves.
constexpr const char* kCreateCells =
    "CREATE TABLE cells("
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
    "  figures BLOB,"
    "  seq INTEGER,"
    "  type INTEGER,"
    "  wsize INTEGER,"
    "  data BLOB,"
    "  PRIMARY KEY(key, kind, fold)) WITHOUT ROWID;"
    "CREATE INDEX cells_volatile ON cells(boot) WHERE boot IS NOT NULL;";

void SetFormat(Connection& db) {
    db.Exec("PRAGMA user_version = 3");
    static_assert(kHiveFormat == 3, "keep the pragma in step");
}

struct Header {
    int64_t applicationId = 0;
    int64_t format = 0;
    int64_t objects = 0;
};

// One number that `sql` reads, or the SQLite result that kept it from being read.
int ReadNumber(sqlite3* db, const char* sql, int64_t& number) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            number = sqlite3_column_int64(stmt, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(stmt);
    return rc;
}

// The check's read transaction: the caller's, or one of its own that ends with the check, after
// any failure has been reported (SQLite's message for it goes when the transaction ends).
class CheckTransaction {
public:
    explicit CheckTransaction(sqlite3* db) : db_(db), own_(sqlite3_get_autocommit(db) != 0) {}
    CheckTransaction(const CheckTransaction&) = delete;
    CheckTransaction& operator=(const CheckTransaction&) = delete;
    ~CheckTransaction() {
        if (own_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    int Begin() { return own_ ? sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) : SQLITE_OK; }

private:
    sqlite3* db_;
    bool own_;
};

// Reads the header and counts the schema's objects without turning failures into exceptions:
// a file that is not a database fails here, and that is an answer, not an error. The three are
// read in one transaction, so a hive that another process is creating right now is seen before
// or after, never half made. Plain pragmas, not their table-valued forms in one statement:
// those declare a virtual table each, which costs a new process more than the rest of the check.
int ReadHeader(sqlite3* db, CheckTransaction& transaction, Header& header) {
    int rc = transaction.Begin();
    if (rc == SQLITE_OK) rc = ReadNumber(db, "PRAGMA application_id", header.applicationId);
    if (rc == SQLITE_OK) rc = ReadNumber(db, "PRAGMA user_version", header.format);
    if (rc == SQLITE_OK) rc = ReadNumber(db, "SELECT count(*) FROM sqlite_master", header.objects);
    return rc;
}

void MoveFormat2Rows(Connection& db) {
    // Format 2 kept the same rows, less the keys' figures and the values' places, in a table
    // named items. The new table has a new name so that a program of format 2 that still has the
    // hive open fails on its next call instead of writing rows without them.
    db.Exec(kCreateCells);
    db.Exec(
        "INSERT INTO cells(key, kind, fold, name, sub, class, parent, mtime, cgen, vgen, boot, seq, type, wsize, data) "
        "SELECT key, kind, fold, name, sub, class, parent, mtime, cgen, vgen, boot, seq, type, wsize, data "
        "FROM items;"
        "DROP TABLE items;");
    std::vector<int64_t> keys;
    {
        Query q(db, "SELECT key FROM cells WHERE kind = 2");
        while (q.Step()) keys.push_back(q.Int(0));
    }
    for (int64_t key : keys) RecountKey(db, key);
    SetFormat(db);
}

// Upgrades `db`, which holds the hive `file`, within the caller's transaction; a failure is
// reported, and the caller's transaction takes the upgrade back whole.
void UpgradeFormat2(Connection& db, const std::string& file) {
    try {
        MoveFormat2Rows(db);
    } catch (const RegError&) {
        std::fprintf(stderr, "zelregistry: hive file '%s' could not be upgraded from format 2; it was left as it was\n",
                     file.c_str());
        throw;
    }
}

}  // namespace

HiveState ExamineHive(Connection& db, std::string& reason) {
    Header header;
    CheckTransaction transaction(db.handle());
    const int rc = ReadHeader(db.handle(), transaction, header);
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
    if (format == 2) return HiveState::Outdated;
    if (format < kHiveFormat) {
        reason = "hive format " + std::to_string(format) +
                 " was written by a development version of this program and is not read any more" + ours +
                 "; move the file away to start a new hive";
        return HiveState::Refused;
    }
    return HiveState::Hive;
}

void CreateHiveSchema(Connection& db) {
    db.Exec(kCreateCells);
    // retired: the largest key id that a delete has taken out of the table (see NewKeyId).
    db.Exec(
        "CREATE TABLE counters(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;"
        "INSERT INTO counters VALUES('retired', 0);");
    Query(db, "INSERT INTO cells(key, kind, fold, mtime, cgen, vgen) VALUES(?1, 2, '', ?2, 0, 0)")
        .Bind(1, kRootKeyId)
        .Bind(2, FileTimeNow())
        .Run();
    db.Exec("PRAGMA application_id = 1516596306");
    static_assert(kHiveApplicationId == 1516596306, "keep the pragma in step");
    SetFormat(db);
}

void UpgradeHiveSchema(Connection& db) { UpgradeFormat2(db, db.path()); }

std::unique_ptr<Connection> UpgradedCopy(Connection& db) {
    auto copy = std::make_unique<Connection>(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    sqlite3_backup* backup = sqlite3_backup_init(copy->handle(), "main", db.handle(), "main");
    if (!backup) copy->Throw(sqlite3_errcode(copy->handle()));
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE) db.Throw(rc);
    {
        SqlTransaction transaction(*copy, true);
        UpgradeFormat2(*copy, db.path());
        transaction.Commit();
    }
    copy->Exec("PRAGMA query_only = 1");
    return copy;
}

}  // namespace zelreg
