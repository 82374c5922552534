#include "KeyStore.h"

#include <chrono>

#include "BootId.h"
#include "KeyCache.h"
#include "RegError.h"
#include "RegNames.h"

namespace zelreg {
namespace {

int64_t HighestKeyId(Connection& db) {
    // The largest `key` of any row is that of the newest key's own row.
    Query q(db, "SELECT max(key) FROM cells");
    q.Step();
    return q.Int(0);
}

// A key id is never given out twice, so that a handle to a deleted key can never come to name a
// new one. New ids count on from the largest in the table, and from the largest a delete took
// out of it (kept in counters, written only by a delete that removes the newest key).
int64_t NewKeyId(Connection& db) {
    Query q(db,
            "SELECT max((SELECT max(key) FROM cells), "
            "(SELECT value FROM counters WHERE name = 'retired')) + 1");
    q.Step();
    return q.Int(0);
}

// Gives every value of the key its place row.
void PlaceValues(Connection& db, int64_t key) {
    Query(db,
          "INSERT INTO cells(key, kind, fold, name) "
          "SELECT key, 3, printf('%016x', seq), name FROM cells WHERE key = ?1 AND kind = 1")
        .Bind(1, key)
        .Run();
}

void RetireIdsUpTo(Connection& db, int64_t id) {
    Query(db, "UPDATE counters SET value = ?1 WHERE name = 'retired' AND value < ?1").Bind(1, id).Run();
}

}  // namespace

std::optional<KeyState> LoadKey(Connection& db, int64_t id, bool withFigures) {
    KeyCache* cache = db.cache();
    if (cache) {
        if (const KeyState* known = cache->FindKey(id, withFigures)) return *known;
    }
    Query q(db, withFigures ? "SELECT parent, cgen, vgen, boot IS NOT NULL, figures FROM cells WHERE key = ?1 AND kind = 2"
                            : "SELECT parent, cgen, vgen, boot IS NOT NULL FROM cells WHERE key = ?1 AND kind = 2");
    q.Bind(1, id);
    if (!q.Step()) return std::nullopt;
    KeyState state{id, q.Int(0), q.Int(1), q.Int(2), q.Int(3) != 0, {}};
    if (withFigures) state.figures = DecodeFigures(q.Blob(4));
    if (cache) cache->PutKey(state, withFigures);
    return state;
}

KeyState RequireKey(Connection& db, int64_t id, bool withFigures) {
    auto state = LoadKey(db, id, withFigures);
    if (!state) Fail(ERROR_KEY_DELETED);
    return *state;
}

std::optional<int64_t> FindChild(Connection& db, int64_t parent, std::string_view fold) {
    KeyCache* cache = db.cache();
    if (cache) {
        if (const auto known = cache->FindChild(parent, fold)) return *known;
    }
    Query q(db, "SELECT sub FROM cells WHERE key = ?1 AND kind = 0 AND fold = ?2");
    q.Bind(1, parent).Bind(2, fold);
    const std::optional<int64_t> child = q.Step() ? std::optional<int64_t>(q.Int(0)) : std::nullopt;
    if (cache) cache->PutChild(parent, fold, child);
    return child;
}

std::optional<int64_t> FindPath(Connection& db, int64_t start, const KeyPath& elements) {
    KeyCache* cache = db.cache();
    if (!cache || elements.size() < 2) {
        std::optional<int64_t> id = start;
        for (std::string_view element : elements) {
            id = FindChild(db, *id, FoldName(element));
            if (!id) break;
        }
        return id;
    }
    const std::string path = FoldPath(elements);
    if (const auto known = cache->FindPath(start, path)) return *known;
    std::optional<int64_t> id = start;
    for (std::size_t at = 0; at < path.size() && id;) {
        const std::size_t end = path.find('\\', at);
        id = FindChild(db, *id, std::string_view(path).substr(at, end - at));
        at = end + 1;
    }
    cache->PutPath(start, path, id);
    return id;
}

bool HasChildren(Connection& db, int64_t id) {
    Query q(db, "SELECT 1 FROM cells WHERE key = ?1 AND kind = 0 LIMIT 1");
    q.Bind(1, id);
    return q.Step();
}

KeyDetails LoadKeyDetails(Connection& db, int64_t id) {
    // The class is kept with the key's entry in its parent's list, where listings read it.
    Query q(db,
            "SELECT e.class, k.mtime FROM cells k "
            "LEFT JOIN cells e ON e.key = k.parent AND e.kind = 0 AND e.fold = k.fold "
            "WHERE k.key = ?1 AND k.kind = 2");
    q.Bind(1, id);
    KeyDetails details;
    if (q.Step()) {
        details.keyClass = std::string(q.Text(0));
        details.lastWrite = q.Int(1);
    }
    return details;
}

KeyState CreateChild(Connection& db, ChangeSet& changes, const KeyState& parent, std::string_view name,
                     const char* keyClass, bool isVolatile) {
    const KeyState child{NewKeyId(db), parent.id, 0, 0, isVolatile, {}};
    const std::string fold = FoldName(name);
    const std::string_view classText = keyClass ? keyClass : "";
    {
        Query entry(db, "INSERT INTO cells(key, kind, fold, name, sub, class) VALUES(?1, 0, ?2, ?3, ?4, ?5)");
        entry.Bind(1, parent.id).Bind(2, fold).Bind(3, name).Bind(4, child.id);
        if (!classText.empty()) entry.Bind(5, classText);
        entry.Run();
    }
    {
        Query row(db,
                  "INSERT INTO cells(key, kind, fold, parent, mtime, cgen, vgen, boot) VALUES(?1, 2, ?2, ?3, ?4, 0, 0, ?5)");
        row.Bind(1, child.id).Bind(2, fold).Bind(3, parent.id).Bind(4, FileTimeNow());
        if (isVolatile) row.Bind(5, BootId());
        row.Run();
    }
    RecordItemChange(db, changes, parent, KeyChange(parent.id, ChangeDetail::KeyCreated, name, child.id),
                     FigureChange::Added(SubKeyFigures(name, classText)));
    return child;
}

void DeleteSubtree(Connection& db, ChangeSet& changes, int64_t id, bool includeSelf) {
    std::optional<int64_t> parent;
    std::string fold;
    // What goes: the key itself, or (emptying it) its sub-keys and values, one by one; what lies
    // deeper goes with them and is not told apart.
    ChangeSet gone;
    if (includeSelf) {
        Query q(db, "SELECT parent, fold FROM cells WHERE key = ?1 AND kind = 2 AND parent IS NOT NULL");
        q.Bind(1, id);
        if (q.Step()) {
            parent = q.Int(0);
            fold = std::string(q.Text(1));
        }
    } else {
        Query q(db, "SELECT kind, name, sub FROM cells WHERE key = ?1 AND kind IN (0, 1)");
        q.Bind(1, id);
        while (q.Step()) {
            const bool subKey = q.Int(0) == 0;
            gone.emplace_back(id, subKey ? ChangeDetail::KeyDeleted : ChangeDetail::ValueDeleted, q.Text(1),
                              subKey ? q.Int(2) : 0);
        }
    }
    const int64_t highest = HighestKeyId(db);
    // Every row of every key below, and the sub-key entries and values of `id`; its own row
    // unless ?2 keeps it.
    Query(db,
          "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
          "SELECT i.sub FROM cells i JOIN t ON i.key = t.id AND i.kind = 0) "
          "DELETE FROM cells WHERE key IN t AND NOT (key = ?1 AND kind = 2 AND ?2)")
        .Bind(1, id)
        .Bind(2, parent ? 0 : 1)
        .Run();
    if (HighestKeyId(db) < highest) RetireIdsUpTo(db, highest);
    if (parent) {
        std::optional<ItemFigures> entry;
        std::string name;
        {
            Query q(db, "SELECT name, class FROM cells WHERE key = ?1 AND kind = 0 AND fold = ?2");
            q.Bind(1, *parent).Bind(2, fold);
            if (q.Step()) {
                entry = SubKeyFigures(q.Text(0), q.Text(1));
                name = std::string(q.Text(0));
            }
        }
        Query(db, "DELETE FROM cells WHERE key = ?1 AND kind = 0 AND fold = ?2").Bind(1, *parent).Bind(2, fold).Run();
        const KeyChange change(*parent, ChangeDetail::KeyDeleted, name, id);
        const std::optional<KeyState> state = LoadKey(db, *parent, kWithFigures);
        if (state && entry) {
            RecordItemChange(db, changes, *state, change, FigureChange::Removed(*entry));
        } else {
            RecordChange(db, changes, change);
        }
    } else if (!gone.empty()) {
        // Both counters move: what a key's counters stand for is never told apart further.
        Query(db, "UPDATE cells SET figures = NULL, mtime = ?2, cgen = cgen + 1, vgen = vgen + 1 WHERE key = ?1 AND kind = 2")
            .Bind(1, id)
            .Bind(2, FileTimeNow())
            .Run();
        changes.insert(changes.end(), gone.begin(), gone.end());
    }
}

void RecordChange(Connection& db, ChangeSet& changes, const KeyChange& change) {
    const bool names = change.kind == ChangeKind::Name;
    Query(db, "UPDATE cells SET mtime = ?2, cgen = cgen + ?3, vgen = vgen + ?4 WHERE key = ?1 AND kind = 2")
        .Bind(1, change.key)
        .Bind(2, FileTimeNow())
        .Bind(3, names ? 1 : 0)
        .Bind(4, names ? 0 : 1)
        .Run();
    changes.push_back(change);
}

void RecordItemChange(Connection& db, ChangeSet& changes, const KeyState& key, const KeyChange& what,
                      const FigureChange& change) {
    const ChangeKind kind = what.kind;
    const bool names = kind == ChangeKind::Name;
    KeyFigures figures = key.figures;
    ListingFigures& changed = names ? figures.subKeys : figures.values;
    bool recount = false;
    changed = ApplyChange(changed, change, recount);
    if (recount) changed = CountFigures(db, key.id, kind, changed.placed);
    if (!names && !changed.placed && changed.count > kPlaceValuesAbove) {
        PlaceValues(db, key.id);
        changed.placed = true;
    }
    char blob[kFiguresBlobSize];
    const std::string_view encoded = EncodeFigures(figures, blob);
    Query(db, names ? "UPDATE cells SET mtime = ?2, cgen = cgen + 1, figures = ?3 WHERE key = ?1 AND kind = 2"
                    : "UPDATE cells SET mtime = ?2, vgen = vgen + 1, figures = ?3 WHERE key = ?1 AND kind = 2")
        .Bind(1, key.id)
        .Bind(2, FileTimeNow())
        .BindStaticBlob(3, encoded)
        .Run();
    changes.push_back(what);
}

void RecountKey(Connection& db, int64_t key) {
    KeyFigures figures{CountFigures(db, key, ChangeKind::Name, false), CountFigures(db, key, ChangeKind::Value, false)};
    if (figures.values.count > kPlaceValuesAbove) {
        PlaceValues(db, key);
        figures.values.placed = true;
    }
    char blob[kFiguresBlobSize];
    const std::string_view encoded = EncodeFigures(figures, blob);
    Query(db, "UPDATE cells SET figures = ?2 WHERE key = ?1 AND kind = 2").Bind(1, key).BindStaticBlob(2, encoded).Run();
}

int64_t FileTimeNow() {
    // FILETIME counts 100 ns intervals from 1601-01-01; the Unix epoch is this many later.
    constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsFileTime + std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
}

bool HasStaleVolatileKeys(Connection& db) {
    Query q(db, "SELECT 1 FROM cells WHERE boot IS NOT NULL AND boot <> ?1 LIMIT 1");
    q.Bind(1, BootId());
    return q.Step();
}

void PurgeVolatileKeys(Connection& db, ChangeSet& changes) {
    std::vector<int64_t> tops;
    {
        Query q(db,
                "SELECT k.key FROM cells k JOIN cells p ON p.key = k.parent AND p.kind = 2 "
                "WHERE k.kind = 2 AND k.boot IS NOT NULL AND k.boot <> ?1 AND (p.boot IS NULL OR p.boot = ?1)");
        q.Bind(1, BootId());
        while (q.Step()) tops.push_back(q.Int(0));
    }
    for (int64_t id : tops) DeleteSubtree(db, changes, id, true);
}

}  // namespace zelreg
