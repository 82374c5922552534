#include "KeyStore.h"

#include <chrono>
#include <fstream>

#include "RegError.h"
#include "RegNames.h"

namespace zelreg {
namespace {

// The journal keeps this many recent changes; a watcher that falls further behind fires.
constexpr int64_t kJournalLength = 4096;
constexpr int64_t kJournalPruneEvery = 256;

}  // namespace

std::optional<KeyState> LoadKey(Connection& db, int64_t id) {
    Query q(db, "SELECT cgen, vgen, boot IS NOT NULL FROM keys WHERE id = ?1");
    q.Bind(1, id);
    if (!q.Step()) return std::nullopt;
    return KeyState{q.Int(0), q.Int(1), q.Int(2) != 0};
}

KeyState RequireKey(Connection& db, int64_t id) {
    auto state = LoadKey(db, id);
    if (!state) Fail(ERROR_KEY_DELETED);
    return *state;
}

std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold) {
    Query q(db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
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

std::optional<int64_t> ParentOf(Connection& db, int64_t id) {
    Query q(db, "SELECT parent FROM keys WHERE id = ?1");
    q.Bind(1, id);
    if (!q.Step() || q.IsNull(0)) return std::nullopt;
    return q.Int(0);
}

bool HasChildren(Connection& db, int64_t id) {
    Query q(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    q.Bind(1, id);
    return q.Step();
}

int64_t CreateChild(Connection& db, int64_t parent, std::string_view name, const char* keyClass,
                    bool isVolatile) {
    Query q(db,
            "INSERT INTO keys(parent, name, fold, class, mtime, boot) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    q.Bind(1, parent).Bind(2, name).Bind(3, FoldName(name)).Bind(5, FileTimeNow());
    if (keyClass && *keyClass) q.Bind(4, std::string_view(keyClass));
    if (isVolatile) q.Bind(6, BootId());
    q.Run();
    const int64_t id = sqlite3_last_insert_rowid(db.handle());
    RecordChange(db, parent, kChangeName, true);
    return id;
}

void DeleteLeafKey(Connection& db, int64_t id, int64_t parent) {
    Query(db, "DELETE FROM vals WHERE key = ?1").Bind(1, id).Run();
    Query(db, "DELETE FROM keys WHERE id = ?1").Bind(1, id).Run();
    RecordChange(db, id, kChangeDeleted, false);
    RecordChange(db, parent, kChangeName, true);
}

void DeleteSubtree(Connection& db, int64_t id, bool includeSelf) {
    const std::optional<int64_t> parent = includeSelf ? ParentOf(db, id) : std::nullopt;
    Query(db,
          "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
          "DELETE FROM vals WHERE key IN t")
        .Bind(1, id)
        .Run();
    Query(db,
          "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN t ON k.parent = t.id) "
          "DELETE FROM keys WHERE id IN t AND id <> ?2")
        .Bind(1, id)
        .Bind(2, includeSelf ? int64_t{-1} : id)
        .Run();
    if (includeSelf) {
        RecordChange(db, id, kChangeDeleted, false);
        if (parent) RecordChange(db, *parent, kChangeName, true);
    } else {
        RecordChange(db, id, kChangeName, true);
        RecordChange(db, id, kChangeValue, true);
    }
}

void RecordChange(Connection& db, int64_t key, ChangeKind kind, bool listChanged) {
    if (kind != kChangeDeleted) {
        const int64_t step = listChanged ? 1 : 0;
        Query(db,
              "UPDATE keys SET mtime = ?2, cgen = cgen + ?3, vgen = vgen + ?4 WHERE id = ?1")
            .Bind(1, key)
            .Bind(2, FileTimeNow())
            .Bind(3, kind == kChangeName ? step : 0)
            .Bind(4, kind == kChangeValue ? step : 0)
            .Run();
    }
    Query(db, "INSERT INTO changes(key, kind) VALUES(?1, ?2)").Bind(1, key).Bind(2, kind).Run();
    const int64_t entry = sqlite3_last_insert_rowid(db.handle());
    if (entry % kJournalPruneEvery == 0) {
        Query(db, "DELETE FROM changes WHERE id <= ?1").Bind(1, entry - kJournalLength).Run();
    }
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

void PurgeVolatileKeys(Connection& db) {
    std::vector<int64_t> tops;
    {
        Query q(db,
                "SELECT k.id FROM keys k JOIN keys p ON p.id = k.parent "
                "WHERE k.boot IS NOT NULL AND k.boot <> ?1 AND (p.boot IS NULL OR p.boot = ?1)");
        q.Bind(1, BootId());
        while (q.Step()) tops.push_back(q.Int(0));
    }
    for (int64_t id : tops) DeleteSubtree(db, id, true);
}

}  // namespace zelreg
