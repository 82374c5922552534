#include "Sqlite.h"

#include <cerrno>
#include <thread>

#include "HiveLocks.h"
#include "Messages.h"
#include "RegError.h"

namespace zelreg {

Connection::Connection(const std::string& path, int flags, IndexLocks locks) : path_(path), locks_(locks) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, HiveVfs(locks));
    if (rc != SQLITE_OK) {
        Report(path, "open", "cannot open hive file '" + path + "': " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)));
        sqlite3_close(db_);
        db_ = nullptr;
        Fail(ERROR_CANTOPEN);
    }
    sqlite3_extended_result_codes(db_, 1);
    // Closing a connection never checkpoints: a hive refused while it was being opened must be
    // left exactly as it was, its log included. The store copies the log into the hive itself,
    // when a process exits (see Hive::CheckpointAtExit).
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
}

Connection::~Connection() {
    statements_.clear();
    sqlite3_close(db_);
}

sqlite3_stmt* Connection::Prepare(const char* sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second.get();
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) Throw(rc);
    statements_.emplace(sql, std::unique_ptr<sqlite3_stmt, StatementDeleter>(stmt));
    return stmt;
}

void Connection::WaitForLocks(std::chrono::milliseconds bound) {
    busyBound_ = bound;
    sqlite3_busy_handler(db_, bound.count() > 0 ? &Connection::OnBusy : nullptr, this);
}

int Connection::OnBusy(void* self, int count) {
    auto* connection = static_cast<Connection*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0) connection->busySince_ = now;
    if (now - connection->busySince_ >= connection->busyBound_) return 0;
    HiveLocks* locks = nullptr;
    sqlite3_file_control(connection->db_, "main", kFileControlHiveLocks, &locks);
    if (locks) {
        // A release that came before this call is not waited for: at worst one round is lost.
        locks->AwaitRelease(std::chrono::milliseconds(1));
    } else {
        std::this_thread::sleep_for(std::chrono::microseconds(count < 10 ? 50 : 500));
    }
    return 1;
}

void Connection::Exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Throw(rc);
}

void Connection::Throw(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_PROTOCOL:  // a read transaction that lost the race for its lock too often
        throw BusyError{};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        Fail(ERROR_ACCESS_DENIED);
    case SQLITE_NOMEM:
        Fail(ERROR_NOT_ENOUGH_MEMORY);
    case SQLITE_TOOBIG:
        Fail(ERROR_INVALID_PARAMETER);
    default:
        break;
    }
    // Everything else means the file or the disk is in trouble: say which file and why, once.
    const std::string file = "hive file '" + path_ + "'";
    const int error = sqlite3_system_errno(db_);
    if ((rc & 0xFF) == SQLITE_FULL || ((rc & 0xFF) == SQLITE_IOERR && (error == ENOSPC || error == EDQUOT))) {
        Report(path_, "full", file + ": the disk is full; changes fail with status 112 until there is room");
        Fail(ERROR_DISK_FULL);
    }
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        damaged_ = true;
        Report(path_, "damaged", file + " is damaged (" + sqlite3_errmsg(db_) +
                                     "): restore it from a backup, or move it aside to start a new hive");
        Fail(ERROR_REGISTRY_CORRUPT);
    case SQLITE_CANTOPEN:
        Report(path_, "cantopen", file + ": " + sqlite3_errmsg(db_));
        Fail(ERROR_CANTOPEN);
    default:
        Report(path_, "io", file + ": " + sqlite3_errmsg(db_) + " (SQLite code " + std::to_string(rc) +
                                    (error ? ", system error " + std::to_string(error) : std::string()) + ")");
        Fail(ERROR_REGISTRY_IO_FAILED);
    }
}

namespace {

sqlite3_stmt* PrepareAfterHook(Connection& db, const char* sql) {
    db.BeforeQuery();
    return db.Prepare(sql);
}

}  // namespace

Query::Query(Connection& db, const char* sql) : db_(db), stmt_(PrepareAfterHook(db, sql)) {}

Query::~Query() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

Query& Query::Bind(int index, int64_t value) {
    const int rc = sqlite3_bind_int64(stmt_, index, value);
    if (rc != SQLITE_OK) db_.Throw(rc);
    return *this;
}

Query& Query::Bind(int index, std::string_view text) {
    // A zero-length text needs a non-null pointer, or SQLite binds NULL.
    const int rc = sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(),
                                     static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) db_.Throw(rc);
    return *this;
}

Query& Query::BindStaticBlob(int index, std::string_view bytes) {
    const int rc = sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK) db_.Throw(rc);
    return *this;
}

Query& Query::BindBlob(int index, const void* data, std::size_t size) {
    const int rc = size == 0 ? sqlite3_bind_zeroblob(stmt_, index, 0)
                             : sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) db_.Throw(rc);
    return *this;
}

Query& Query::BindNull(int index) {
    const int rc = sqlite3_bind_null(stmt_, index);
    if (rc != SQLITE_OK) db_.Throw(rc);
    return *this;
}

bool Query::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Throw(rc);
}

void Query::Run() {
    while (Step()) {
    }
}

std::string_view Query::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
}

std::string_view Query::Blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string_view(data, static_cast<std::size_t>(size)) : std::string_view();
}

SqlTransaction::SqlTransaction(Connection& db, bool write) : db_(db) {
    Query(db_, write ? "BEGIN IMMEDIATE" : "BEGIN").Run();
}

SqlTransaction::~SqlTransaction() {
    if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqlTransaction::Commit() {
    Query(db_, "COMMIT").Run();
    open_ = false;
}

}  // namespace zelreg
