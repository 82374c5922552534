// A thin RAII layer over SQLite: a connection that keeps its prepared statements, a statement
// in use, and a transaction. SQLite results become RegError (or BusyError, which the caller
// retries).
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "HiveVfs.h"

namespace zelreg {

class KeyCache;

class Connection {
public:
    // Opens the file with the given sqlite3_open_v2 flags, through the VFS of HiveVfs.h;
    // throws RegError on failure.
    Connection(const std::string& path, int flags, IndexLocks locks = IndexLocks::System);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    sqlite3* handle() const { return db_; }
    const std::string& path() const { return path_; }
    IndexLocks locks() const { return locks_; }

    // The statement for this SQL text, prepared once per connection. The text must be a string
    // literal: its address is the cache key.
    sqlite3_stmt* Prepare(const char* sql);

    // Runs SQL that returns no rows worth reading.
    void Exec(const char* sql);

    // How long SQLite waits for a lock that another connection holds before it reports busy
    // (zero: it does not wait). With the store's shared index locks the connection sleeps until
    // a lock is given up; with SQLite's record locks it looks again in short naps, unlike
    // SQLite's own busy timeout, whose naps grow to 100 ms and leave a free lock unused.
    void WaitForLocks(std::chrono::milliseconds bound);

    // Turns an SQLite result code into the exception the store reports.
    [[noreturn]] void Throw(int rc);
    // The cache that reads consult and fill while a read of the hive runs (see KeyCache.h), or
    // null (in write transactions, whose reads must see their own changes).
    KeyCache* cache() const { return cache_; }
    void SetCache(KeyCache* cache) { cache_ = cache; }
    // Runs once, before the next statement: a read found in the cache needs no read transaction,
    // so the hive begins one only when a statement is about to run.
    void BeforeNextQuery(std::function<void()> prepare) { beforeQuery_ = std::move(prepare); }
    void BeforeQuery() {
        if (!beforeQuery_) return;
        const std::function<void()> prepare = std::move(beforeQuery_);
        beforeQuery_ = nullptr;
        prepare();
    }

    // Whether SQLite has found the file damaged: nothing should write it any more.
    bool damaged() const { return damaged_; }

private:
    static int OnBusy(void* self, int count);

    struct StatementDeleter {
        void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
    };
    sqlite3* db_ = nullptr;
    std::string path_;
    IndexLocks locks_;
    std::atomic<bool> damaged_{false};
    KeyCache* cache_ = nullptr;
    std::function<void()> beforeQuery_;
    std::chrono::milliseconds busyBound_{0};
    std::chrono::steady_clock::time_point busySince_;
    std::unordered_map<const char*, std::unique_ptr<sqlite3_stmt, StatementDeleter>> statements_;
};

// One use of a cached statement: binds, steps, reads columns, and resets it when it goes.
class Query {
public:
    Query(Connection& db, const char* sql);
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();

    Query& Bind(int index, int64_t value);
    Query& Bind(int index, std::string_view text);
    // Binds bytes without copying them: they must stay as they are until the statement has run.
    Query& BindStaticBlob(int index, std::string_view bytes);
    Query& BindBlob(int index, const void* data, std::size_t size);
    Query& BindNull(int index);

    // True while there is a row to read; false when the statement is done.
    bool Step();
    // Runs a statement to its end.
    void Run();

    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string_view Text(int column) const;
    std::string_view Blob(int column) const;

private:
    Connection& db_;
    sqlite3_stmt* stmt_;
};

// BEGIN (DEFERRED for readers, IMMEDIATE for writers, so that a writer waits for the write lock
// up front instead of failing when it upgrades) and COMMIT; rolls back unless committed.
class SqlTransaction {
public:
    SqlTransaction(Connection& db, bool write);
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;
    ~SqlTransaction();
    void Commit();

private:
    Connection& db_;
    bool open_ = true;
};

}  // namespace zelreg
