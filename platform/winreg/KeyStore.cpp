#include "KeyStore.h"

#include <chrono>
#include <fstream>

#include "RegError.h"
#include "RegNames.h"

namespace zelreg {
namespace {

int64_t HighestKeyId(Connection& db) {
    // The largest `key` of any row is that of the newest key's own row.
    Query q(db, "SELECT max(key) FROM items");
    q.Step();
    return q.Int(0);
}

// A key id is never given out twice, so that a handle to a deleted key can never come to name a
// new one. New ids count on from the largest in the table, and from the largest a delete took
// out of it (kept in counters, written only by a delete that removes the newest key).
int64_t NewKeyId(Connection& db) {
    Query q(db,
            "SELECT max((SELECT max(key) FROM items), "
            "(SELECT value FROM counters WHERE name = 'retired')) + 1");
    q.Step();
    return q.Int(0);
}

void RetireIdsUpTo(Connection& db, int64_t id) {
    Query(db, "UPDATE counters SET value = ?1 WHERE name = 'retired' AND value < ?1").Bind(1, id).Run();
}

}  // namespace

std::optional<KeyState> LoadKey(Connection& db, int64_t id) {
    Query q(db, "SELECT parent, cgen, vgen, boot IS NOT NULL FROM items WHERE key = ?1 AND kind = 2");
    q.Bind(1, id);
    if (!q.Step()) return std::nullopt;
    return KeyState{q.Int(0), q.Int(1), q.Int(2), q.Int(3) != 0};
}

KeyState RequireKey(Connection& db, int64_t id) {
    auto state = LoadKey(db, id);
    if (!state) Fail(ERROR_KEY_DELETED);
    return *state;
}

std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold) {
    Query q(db, "SELECT sub FROM items WHERE key = ?1 AND kind = 0 AND fold = ?2");
    q.Bind(1, parent).Bind(2, fold);
    if (!q.Step()) return std::nullopt;
    return q.Int(0);
}

std::optional<int64_t> FindPath(Connection& db, int64_t start, const std::vector<std::string>& elements) {
    int64_t id = start;
    for (const std::string& element : elements) {
        auto child = FindChild(db, id, FoldName(element));
        if (!child) return std::nullopt;
        id = *child;
    }
    return id;
}

bool HasChildren(Connection& db, int64_t id) {
    Query q(db, "SELECT 1 FROM items WHERE key = ?1 AND kind = 0 LIMIT 1");
    q.Bind(1, id);
    return q.Step();
}

KeyDetails LoadKeyDetails(Connection& db, int64_t id) {
    // The class is kept with the key's entry in its parent's list, where listings read it.
    Query q(db,
            "SELECT e.class, k.mtime FROM items k "
            "LEFT JOIN items e ON e.key = k.parent AND e.kind = 0 AND e.fold = k.fold "
            "WHERE k.key = ?1 AND k.kind = 2");
    q.Bind(1, id);
    KeyDetails details;
    if (q.Step()) {
        details.keyClass = std::string(q.Text(0));
        details.lastWrite = q.Int(1);
    }
    return details;
}

int64_t CreateChild(Connection& db, ChangeSet& changes, int64_t parent, std::string_view name,
                    const char* keyClass, bool isVolatile) {
    const int64_t id = NewKeyId(db);
    const std::string fold = FoldName(name);
    {
        Query entry(db, "INSERT INTO items(key, kind, fold, name, sub, class) VALUES(?1, 0, ?2, ?3, ?4, ?5)");
        entry.Bind(1, parent).Bind(2, fold).Bind(3, name).Bind(4, id);
        if (keyClass && *keyClass) entry.Bind(5, std::string_view(keyClass));
        entry.Run();
    }
    {
        Query row(db,
                  "INSERT INTO items(key, kind, fold, parent, mtime, cgen, vgen, boot) "
                  "VALUES(?1, 2, ?2, ?3, ?4, 0, 0, ?5)");
        row.Bind(1, id).Bind(2, fold).Bind(3, parent).Bind(4, FileTimeNow());
        if (isVolatile) row.Bind(5, BootId());
        row.Run();
    }
    RecordChange(db, changes, parent, ChangeKind::Name);
    return id;
}

void DeleteSubtree(Connection& db, ChangeSet& changes, int64_t id, bool includeSelf) {
    std::optional<int64_t> parent;
    std::string fold;
    if (includeSelf) {
        Query q(db, "SELECT parent, fold FROM items WHERE key = ?1 AND kind = 2 AND parent IS NOT NULL");
        q.Bind(1, id);
        if (q.Step()) {
            parent = q.Int(0);
            fold = std::string(q.Text(1));
        }
    }
    const int64_t highest = HighestKeyId(db);
    // Every row of every key below, and the sub-key entries and values of `id`; its own row
    // unless ?2 keeps it.
    Query(db,
          "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
          "SELECT i.sub FROM items i JOIN t ON i.key = t.id AND i.kind = 0) "
          "DELETE FROM items WHERE key IN t AND NOT (key = ?1 AND kind = 2 AND ?2)")
        .Bind(1, id)
        .Bind(2, parent ? 0 : 1)
        .Run();
    if (HighestKeyId(db) < highest) RetireIdsUpTo(db, highest);
    if (parent) {
        Query(db, "DELETE FROM items WHERE key = ?1 AND kind = 0 AND fold = ?2").Bind(1, *parent).Bind(2, fold).Run();
        RecordChange(db, changes, *parent, ChangeKind::Name);
    } else {
        RecordChange(db, changes, id, ChangeKind::Name);
        RecordChange(db, changes, id, ChangeKind::Value);
    }
}

void RecordChange(Connection& db, ChangeSet& changes, int64_t key, ChangeKind kind) {
    const bool names = kind == ChangeKind::Name;
    Query(db, "UPDATE items SET mtime = ?2, cgen = cgen + ?3, vgen = vgen + ?4 WHERE key = ?1 AND kind = 2")
        .Bind(1, key)
        .Bind(2, FileTimeNow())
        .Bind(3, names ? 1 : 0)
        .Bind(4, names ? 0 : 1)
        .Run();
    changes.push_back(KeyChange{key, kind});
}

int64_t FileTimeNow() {
    // FILETIME counts 100 ns intervals from 1601-01-01; the Unix epoch is this many later.
    constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

const std::string& BootId() {
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string line;
        std::getline(in, line);
        return line.empty() ? std::string("unknown-boot") : line;
    }();
    return id;
}

void PurgeVolatileKeys(Connection& db, ChangeSet& changes) {
    std::vector<int64_t> tops;
    {
        Query q(db,
                "SELECT k.key FROM items k JOIN items p ON p.key = k.parent AND p.kind = 2 "
                "WHERE k.kind = 2 AND k.boot IS NOT NULL AND k.boot <> ?1 AND (p.boot IS NULL OR p.boot = ?1)");
        q.Bind(1, BootId());
        while (q.Step()) tops.push_back(q.Int(0));
    }
    for (int64_t id : tops) DeleteSubtree(db, changes, id, true);
}

}  // namespace zelreg
