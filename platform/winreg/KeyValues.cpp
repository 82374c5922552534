#include "KeyValues.h"

#include <optional>

#include "RegNames.h"

namespace zelreg {
namespace {

KeyChange ValueSetChange(int64_t key, std::string_view name, DWORD type, std::string_view data) {
    KeyChange change(key, ChangeDetail::ValueSet, name);
    change.withData = true;
    change.type = type;
    change.data = data;
    return change;
}

}  // namespace

int64_t ReportedDataSize(DWORD type, std::string_view data) {
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    return static_cast<int64_t>(text ? StringDataSize(data) : data.size());
}

bool CacheKeyWithValue(Connection& db, KeyCache& cache, int64_t key, std::string_view fold) {
    Query q(db,
            "SELECT k.parent, k.cgen, k.vgen, k.boot IS NOT NULL, v.key IS NOT NULL, v.type, v.data, v.name "
            "FROM cells k LEFT JOIN cells v ON v.key = k.key AND v.kind = 1 AND v.fold = ?2 "
            "WHERE k.key = ?1 AND k.kind = 2");
    q.Bind(1, key).Bind(2, fold);
    if (!q.Step()) return false;
    cache.PutKey(KeyState{key, q.Int(0), q.Int(1), q.Int(2), q.Int(3) != 0, {}}, false);
    cache.PutValue(key, fold,
                   q.Int(4) != 0 ? CachedValue{true, static_cast<DWORD>(q.Int(5)), q.Blob(6), q.Text(7)} : CachedValue{});
    return true;
}

bool StoreValue(Connection& db, ChangeSet& changes, const KeyState& key, std::string_view name, DWORD type,
                std::string_view data) {
    const std::string fold = FoldName(name);
    const int64_t wideSize = ReportedDataSize(type, data);
    std::optional<ItemFigures> before;
    std::string stored;  // the name the value has, its first
    {
        Query q(db, "SELECT type, data, name, wsize FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
        q.Bind(1, key.id).Bind(2, fold);
        if (q.Step()) {
            if (static_cast<DWORD>(q.Int(0)) == type && q.Blob(1) == data) return false;
            before = ValueFigures(q.Text(2), q.Int(3));
            stored = std::string(q.Text(2));
        }
    }
    if (before) {
        Query(db, "UPDATE cells SET type = ?3, data = ?4, wsize = ?5 WHERE key = ?1 AND kind = 1 AND fold = ?2")
            .Bind(1, key.id)
            .Bind(2, fold)
            .Bind(3, type)
            .BindBlob(4, data.data(), data.size())
            .Bind(5, wideSize)
            .Run();
        RecordItemChange(db, changes, key, ValueSetChange(key.id, stored, type, data),
                         FigureChange::Replaced(*before, ItemFigures{before->name, wideSize}));
        return true;
    }
    // The key's value counter only grows and moves with this change: its next number places the
    // value after every one set before (in its place row, if the values have them).
    Query(db,
          key.figures.values.placed
              ? "INSERT INTO cells(key, kind, fold, name, seq, type, wsize, data) "
                "VALUES(?1, 1, ?2, ?3, ?4, ?5, ?6, ?7), (?1, 3, printf('%016x', ?4), ?3, NULL, NULL, NULL, NULL)"
              : "INSERT INTO cells(key, kind, fold, name, seq, type, wsize, data) "
                "VALUES(?1, 1, ?2, ?3, ?4, ?5, ?6, ?7)")
        .Bind(1, key.id)
        .Bind(2, fold)
        .Bind(3, name)
        .Bind(4, key.valueGeneration + 1)
        .Bind(5, type)
        .Bind(6, wideSize)
        .BindBlob(7, data.data(), data.size())
        .Run();
    RecordItemChange(db, changes, key, ValueSetChange(key.id, name, type, data),
                     FigureChange::Added(ValueFigures(name, wideSize)));
    return true;
}

bool RemoveValue(Connection& db, ChangeSet& changes, const KeyState& key, std::string_view fold) {
    int64_t seq = 0;
    ItemFigures removed{};
    std::string name;
    {
        Query q(db, "SELECT seq, name, wsize FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2");
        q.Bind(1, key.id).Bind(2, fold);
        if (!q.Step()) return false;
        seq = q.Int(0);
        removed = ValueFigures(q.Text(1), q.Int(2));
        name = std::string(q.Text(1));
    }
    Query(db, "DELETE FROM cells WHERE key = ?1 AND kind = 1 AND fold = ?2").Bind(1, key.id).Bind(2, fold).Run();
    if (key.figures.values.placed) {
        Query(db, "DELETE FROM cells WHERE key = ?1 AND kind = 3 AND fold = printf('%016x', ?2)")
            .Bind(1, key.id)
            .Bind(2, seq)
            .Run();
    }
    RecordItemChange(db, changes, key, KeyChange(key.id, ChangeDetail::ValueDeleted, name),
                     FigureChange::Removed(removed));
    return true;
}

}  // namespace zelreg
