// A registry transaction (CreateTransaction and the transacted key functions). Its changes are
// kept here, in this process, until it commits: no lock of the hive is held meanwhile, so other
// processes and threads go on writing. What the transaction reads is the hive as committed now,
// with its own changes over it; other handles see none of its changes until the commit, which
// applies them all in one write transaction of the hive.
//
// A commit checks first that every key the transaction looked at is as it was when it first
// looked: the key still exists, and its sub-keys and its values have not changed (each key has
// a counter for either, see KeyStore.h). A key that another writer changed meanwhile fails the
// commit with ERROR_TRANSACTIONAL_CONFLICT, and nothing is applied. The check is by key: a value
// set in a key the transaction read fails it even if the transaction never read that value.
//
// Keys that the transaction made do not exist in the hive until the commit: they have negative
// ids of the transaction's own. A transaction covers one hive, the first it is used with.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "HiveLocation.h"
#include "KeyChange.h"
#include "KeyStore.h"
#include "ListedItem.h"
#include "Sqlite.h"

namespace zelreg {

class Transaction {
public:
    enum class State { Active, Committed, RolledBack };

    // A transaction that rolls back by itself once `timeout` has passed (zero: never).
    explicit Transaction(std::chrono::milliseconds timeout);

    // Every call below but End() is made with this held. Calls on the hive hold its lock first.
    std::mutex& mutex() { return mutex_; }

    // Fails unless the transaction can be used now, by this process, on `hive`: ERROR_INVALID_
    // TRANSACTION in a child forked from its process, ERROR_TRANSACTION_NOT_ACTIVE once it has
    // ended (or timed out), ERROR_NOT_SUPPORTED for a hive other than its first.
    void Require(HiveKind hive);
    State state();
    bool OfThisProcess() const;
    // The hive the transaction was used with, if any.
    std::optional<HiveKind> hive() const { return hive_; }
    // Moves with every change: listings cached on handles are made anew.
    int64_t version() const { return version_; }

    // What the transaction sees, within a read transaction of the hive's connection. Looking at
    // a key that exists in the hive notes its counters for the commit's check.
    std::optional<KeyState> LoadKey(Connection& db, int64_t id);
    KeyState RequireKey(Connection& db, int64_t id);  // ERROR_KEY_DELETED when gone
    std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold);
    std::optional<int64_t> FindPath(Connection& db, int64_t start, const KeyPath& elements);
    struct Value {
        DWORD type;
        std::string data;
        std::string name;
    };
    std::optional<Value> FindValue(Connection& db, int64_t key, std::string_view fold);
    std::vector<ListedItem> SubKeys(Connection& db, int64_t key);
    std::vector<ListedItem> Values(Connection& db, int64_t key);
    KeyFigures Figures(Connection& db, int64_t key);
    KeyDetails Details(Connection& db, int64_t key);

    // Changes, kept until the commit. They check what the calls that make them check.
    struct Made {
        int64_t key;
        DWORD disposition;
    };
    Made CreatePath(Connection& db, int64_t from, const KeyPath& path, const char* keyClass,
                    bool makeVolatile);
    void SetValue(Connection& db, int64_t key, std::string_view name, DWORD type, std::string_view data);
    bool DeleteValue(Connection& db, int64_t key, std::string_view fold);  // false: none
    // Deletes the key and everything below it, or with `includeSelf` false only what is below
    // it and its values.
    void DeleteKey(Connection& db, int64_t key, bool includeSelf);

    // The commit, within a write transaction of the hive: checks the keys looked at (failing
    // with ERROR_TRANSACTIONAL_CONFLICT) and applies the changes in the order they were made.
    void Apply(Connection& db, ChangeSet& changes);
    // Ends the transaction as committed or rolled back; its changes are dropped.
    void End(State how);

private:
    struct ValueCell {
        std::string name;
        DWORD type = 0;
        std::string data;
        bool deleted = false;
        // Set anew after the transaction deleted it, or new to the key: it comes after the
        // values the hive has, in the order of `order`.
        bool appended = false;
        int64_t order = 0;
    };
    struct ChildCell {
        std::string name;
        int64_t id = 0;
        std::string keyClass;
        bool deleted = false;
    };
    // What the transaction changed of a key, or the whole of a key it made (made: id < 0).
    struct KeyCell {
        bool deleted = false;
        int64_t parent = 0;
        std::string fold;  // its own, in its parent's list
        bool isVolatile = false;
        std::string keyClass;
        int64_t lastWrite = 0;
        std::map<std::string, ValueCell> values;    // by folded name
        std::map<std::string, ChildCell> children;  // by folded name
        int64_t nextOrder = 0;
    };
    struct Op {
        enum Kind { CreateKey, SetValue, DeleteValue, DeleteKey } kind;
        int64_t key;        // CreateKey: the parent
        int64_t made = 0;   // CreateKey: the made key's id
        std::string name;   // the key's or value's name; DeleteValue: the folded name
        std::string keyClass;
        bool flag = false;  // CreateKey: volatile; DeleteKey: the key itself too
        DWORD type = 0;
        std::string data;
    };
    struct Seen {
        int64_t childGeneration;
        int64_t valueGeneration;
    };

    void Changed(int64_t key);
    void MarkDeleted(Connection& db, int64_t key);

    std::mutex mutex_;
    const pid_t process_;
    const std::optional<std::chrono::steady_clock::time_point> deadline_;
    State state_ = State::Active;
    std::optional<HiveKind> hive_;
    int64_t version_ = 0;
    int64_t nextMadeId_ = -1;
    std::unordered_map<int64_t, KeyCell> cells_;
    std::unordered_map<int64_t, Seen> seen_;
    std::vector<Op> ops_;
};

}  // namespace zelreg
