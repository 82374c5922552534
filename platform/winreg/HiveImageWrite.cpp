#include "HiveImage.h"

#include <memory>
#include <set>

#include "HiveSchema.h"
#include "KeyStore.h"
#include "RegError.h"

namespace zelreg {
namespace {

// Every row of the key and of the non-volatile keys below it, in the order of HiveSchema.cpp's
// columns; `dropped` marks an entry for a volatile sub-key, which the file leaves out.
constexpr const char* kSubtreeRows =
    "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
    "SELECT e.sub FROM cells e JOIN t ON e.key = t.id AND e.kind = 0 "
    "JOIN cells k ON k.key = e.sub AND k.kind = 2 AND k.boot IS NULL) "
    "SELECT c.key, c.kind, c.fold, c.name, c.sub, c.class, c.parent, c.mtime, c.cgen, c.vgen, c.boot, c.figures, "
    "c.seq, c.type, c.wsize, c.data, "
    "c.kind = 0 AND EXISTS(SELECT 1 FROM cells v WHERE v.key = c.sub AND v.kind = 2 AND v.boot IS NOT NULL) "
    "FROM cells c WHERE c.key IN t";
constexpr int kColumns = 16;
enum Column { kKey = 0, kKind = 1, kFold = 2, kParent = 6, kDropped = 16 };
constexpr int64_t kKeyRow = 2;

constexpr const char* kInsertRow =
    "INSERT INTO cells(key, kind, fold, name, sub, class, parent, mtime, cgen, vgen, boot, figures, seq, type, "
    "wsize, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16)";

// A prepared statement of a connection's cache in use: reset when done with.
struct StatementUse {
    sqlite3_stmt* stmt;
    ~StatementUse() {
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
    }
};

}  // namespace

void WriteSubtreeImage(Connection& source, int64_t key, const std::string& file) {
    Connection image(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
    // The page size the store gives new hives (see Hive.cpp).
    image.Exec("PRAGMA page_size = 2048");
    SqlTransaction write(image, true);
    CreateHiveSchema(image);
    image.Exec("DELETE FROM cells");

    source.BeforeQuery();
    StatementUse rows{source.Prepare(kSubtreeRows)};
    StatementUse insert{image.Prepare(kInsertRow)};
    sqlite3_bind_int64(rows.stmt, 1, key);
    bool found = false;
    std::set<int64_t> recount;
    int rc;
    while ((rc = sqlite3_step(rows.stmt)) == SQLITE_ROW) {
        const int64_t owner = sqlite3_column_int64(rows.stmt, kKey);
        if (sqlite3_column_int(rows.stmt, kDropped)) {
            recount.insert(owner == key ? kRootKeyId : owner);
            continue;
        }
        const bool ownRow = owner == key && sqlite3_column_int64(rows.stmt, kKind) == kKeyRow;
        found = found || ownRow;
        for (int column = 0; column < kColumns; ++column) {
            sqlite3_value* value = sqlite3_column_value(rows.stmt, column);
            int bound;
            // The key becomes the file's root: its rows move to the root's id, and its own row
            // has no parent and no name of its own.
            if (column == kKey && owner == key) {
                bound = sqlite3_bind_int64(insert.stmt, column + 1, kRootKeyId);
            } else if (column == kParent && ownRow) {
                bound = sqlite3_bind_null(insert.stmt, column + 1);
            } else if (column == kParent && sqlite3_column_type(rows.stmt, column) == SQLITE_INTEGER &&
                       sqlite3_column_int64(rows.stmt, column) == key) {
                bound = sqlite3_bind_int64(insert.stmt, column + 1, kRootKeyId);
            } else if (column == kFold && ownRow) {
                bound = sqlite3_bind_text(insert.stmt, column + 1, "", 0, SQLITE_STATIC);
            } else {
                bound = sqlite3_bind_value(insert.stmt, column + 1, value);
            }
            if (bound != SQLITE_OK) image.Throw(bound);
        }
        const int inserted = sqlite3_step(insert.stmt);
        if (inserted != SQLITE_DONE) image.Throw(inserted);
        sqlite3_reset(insert.stmt);
    }
    if (rc != SQLITE_DONE) source.Throw(rc);
    if (!found) Fail(ERROR_KEY_DELETED);
    // A key whose volatile sub-keys stayed behind reports what it holds in the file.
    for (int64_t owner : recount) RecountKey(image, owner);
    write.Commit();
}

}  // namespace zelreg
