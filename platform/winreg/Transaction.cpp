#include "Transaction.h"

#include <algorithm>

#include "KeyValues.h"
#include "ProcessId.h"
#include "RegError.h"
#include "RegNames.h"

namespace zelreg {

Transaction::Transaction(std::chrono::milliseconds timeout)
    : process_(ThisProcess()),
      deadline_(timeout.count() > 0 ? std::optional(std::chrono::steady_clock::now() + timeout) : std::nullopt) {}

Transaction::State Transaction::state() {
    if (state_ == State::Active && deadline_ && std::chrono::steady_clock::now() >= *deadline_) End(State::RolledBack);
    return state_;
}

bool Transaction::OfThisProcess() const { return ThisProcess() == process_; }

void Transaction::Require(HiveKind hive) {
    if (!OfThisProcess()) Fail(ERROR_INVALID_TRANSACTION);
    if (state() != State::Active) Fail(ERROR_TRANSACTION_NOT_ACTIVE);
    // One hive commits in one write transaction of its own; two could not commit as one.
    if (hive_ && *hive_ != hive) Fail(ERROR_NOT_SUPPORTED);
    hive_ = hive;
}

void Transaction::End(State how) {
    state_ = how;
    cells_.clear();
    seen_.clear();
    ops_.clear();
    ++version_;
}

void Transaction::Changed(int64_t key) {
    cells_[key].lastWrite = FileTimeNow();
    ++version_;
}

std::optional<KeyState> Transaction::LoadKey(Connection& db, int64_t id) {
    const auto cell = cells_.find(id);
    if (cell != cells_.end() && cell->second.deleted) return std::nullopt;
    if (id < 0) {
        if (cell == cells_.end()) return std::nullopt;
        return KeyState{id, cell->second.parent, 0, 0, cell->second.isVolatile, {}};
    }
    std::optional<KeyState> state = zelreg::LoadKey(db, id);
    if (state) seen_.try_emplace(id, Seen{state->childGeneration, state->valueGeneration});
    return state;
}

KeyState Transaction::RequireKey(Connection& db, int64_t id) {
    std::optional<KeyState> state = LoadKey(db, id);
    if (!state) Fail(ERROR_KEY_DELETED);
    return *state;
}

std::optional<int64_t> Transaction::FindChild(Connection& db, int64_t parent, std::string_view fold) {
    const auto cell = cells_.find(parent);
    if (cell != cells_.end()) {
        const auto child = cell->second.children.find(std::string(fold));
        if (child != cell->second.children.end()) {
            if (child->second.deleted) return std::nullopt;
            return child->second.id;
        }
    }
    if (parent < 0) return std::nullopt;
    return zelreg::FindChild(db, parent, fold);
}

std::optional<int64_t> Transaction::FindPath(Connection& db, int64_t start, const KeyPath& elements) {
    int64_t id = start;
    for (std::string_view element : elements) {
        const std::optional<int64_t> child = FindChild(db, id, FoldName(element));
        // Every level is looked at: its going away would change what the path names.
        if (!child || !LoadKey(db, *child)) return std::nullopt;
        id = *child;
    }
    return id;
}

std::optional<Transaction::Value> Transaction::FindValue(Connection& db, int64_t key, std::string_view fold) {
    const auto cell = cells_.find(key);
    if (cell != cells_.end()) {
        const auto value = cell->second.values.find(std::string(fold));
        if (value != cell->second.values.end()) {
            if (value->second.deleted) return std::nullopt;
            return Value{value->second.type, value->second.data, value->second.name};
        }
    }
    if (key < 0) return std::nullopt;
    std::optional<Value> found;
    WithValue(db, key, fold, [&found](DWORD type, std::string_view data, std::string_view name) {
        found = Value{type, std::string(data), std::string(name)};
    });
    return found;
}

std::vector<ListedItem> Transaction::SubKeys(Connection& db, int64_t key) {
    std::vector<ListedItem> items;
    const auto cell = cells_.find(key);
    const auto changed = [&](const std::string& fold) {
        return cell != cells_.end() && cell->second.children.count(fold) != 0;
    };
    if (key > 0) {
        Query q(db, "SELECT sub, name, fold, class FROM cells WHERE key = ?1 AND kind = 0 ORDER BY fold");
        q.Bind(1, key);
        while (q.Step()) {
            std::string fold(q.Text(2));
            if (changed(fold)) continue;
            items.push_back(ListedItem{q.Int(0), std::string(q.Text(1)), std::move(fold),
                                       static_cast<int64_t>(Utf16Length(q.Text(1))),
                                       static_cast<int64_t>(Utf16Length(q.Text(3)))});
        }
    }
    if (cell != cells_.end()) {
        for (const auto& [fold, child] : cell->second.children) {
            if (child.deleted) continue;
            items.push_back(ListedItem{child.id, child.name, fold, static_cast<int64_t>(Utf16Length(child.name)),
                                       static_cast<int64_t>(Utf16Length(child.keyClass))});
        }
        std::sort(items.begin(), items.end(), [](const ListedItem& a, const ListedItem& b) { return a.fold < b.fold; });
    }
    return items;
}

std::vector<ListedItem> Transaction::Values(Connection& db, int64_t key) {
    std::vector<ListedItem> items;
    const auto cell = cells_.find(key);
    const ValueCell* none = nullptr;
    const auto changed = [&](const std::string& fold) {
        if (cell == cells_.end()) return none;
        const auto value = cell->second.values.find(fold);
        return value == cell->second.values.end() ? none : &value->second;
    };
    if (key > 0) {
        Query q(db, "SELECT name, fold, wsize FROM cells WHERE key = ?1 AND kind = 1 ORDER BY seq");
        q.Bind(1, key);
        while (q.Step()) {
            std::string fold(q.Text(1));
            const ValueCell* value = changed(fold);
            if (value && (value->deleted || value->appended)) continue;
            const int64_t size = value ? ReportedDataSize(value->type, value->data) : q.Int(2);
            items.push_back(ListedItem{0, std::string(q.Text(0)), std::move(fold),
                                       static_cast<int64_t>(Utf16Length(q.Text(0))), size});
        }
    }
    if (cell != cells_.end()) {
        std::vector<std::pair<int64_t, ListedItem>> appended;
        for (const auto& [fold, value] : cell->second.values) {
            if (value.deleted || !value.appended) continue;
            appended.emplace_back(value.order, ListedItem{0, value.name, fold, static_cast<int64_t>(Utf16Length(value.name)),
                                                          ReportedDataSize(value.type, value.data)});
        }
        std::sort(appended.begin(), appended.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& item : appended) items.push_back(std::move(item.second));
    }
    return items;
}

namespace {

ListingFigures FiguresOf(const std::vector<ListedItem>& items) {
    ListingFigures figures;
    figures.count = static_cast<int64_t>(items.size());
    for (const ListedItem& item : items) {
        figures.name.value = std::max(figures.name.value, item.nameUnits);
        figures.size.value = std::max(figures.size.value, item.size);
    }
    return figures;
}

}  // namespace

KeyFigures Transaction::Figures(Connection& db, int64_t key) {
    const auto cell = cells_.find(key);
    if (key > 0 && (cell == cells_.end() || (cell->second.values.empty() && cell->second.children.empty()))) {
        return zelreg::RequireKey(db, key, kWithFigures).figures;
    }
    return KeyFigures{FiguresOf(SubKeys(db, key)), FiguresOf(Values(db, key))};
}

KeyDetails Transaction::Details(Connection& db, int64_t key) {
    const auto cell = cells_.find(key);
    KeyDetails details;
    if (key > 0) details = LoadKeyDetails(db, key);
    if (cell != cells_.end()) {
        if (key < 0) details.keyClass = cell->second.keyClass;
        details.lastWrite = std::max(details.lastWrite, cell->second.lastWrite);
    }
    return details;
}

Transaction::Made Transaction::CreatePath(Connection& db, int64_t from, const KeyPath& path,
                                          const char* keyClass, bool makeVolatile) {
    KeyState current = RequireKey(db, from);
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    for (std::string_view element : path) {
        std::string fold = FoldName(element);
        if (const std::optional<int64_t> child = FindChild(db, current.id, fold)) {
            current = RequireKey(db, *child);
            continue;
        }
        if (current.isVolatile && !makeVolatile) Fail(ERROR_CHILD_MUST_BE_VOLATILE);
        const int64_t made = nextMadeId_--;
        const std::string classText = keyClass ? keyClass : "";
        KeyCell& cell = cells_[made];
        cell.parent = current.id;
        cell.fold = fold;
        cell.isVolatile = makeVolatile;
        cell.keyClass = classText;
        cells_[current.id].children[fold] = ChildCell{std::string(element), made, classText, false};
        ops_.push_back(Op{Op::CreateKey, current.id, made, std::string(element), classText, makeVolatile, 0, {}});
        Changed(current.id);
        Changed(made);
        current = KeyState{made, current.id, 0, 0, makeVolatile, {}};
        disposition = REG_CREATED_NEW_KEY;
    }
    return Made{current.id, disposition};
}

void Transaction::SetValue(Connection& db, int64_t key, std::string_view name, DWORD type, std::string_view data) {
    RequireKey(db, key);
    const std::string fold = FoldName(name);
    const std::optional<Value> current = FindValue(db, key, fold);
    // As outside a transaction, rewriting what is there changes nothing.
    if (current && current->type == type && current->data == data) return;
    KeyCell& cell = cells_[key];
    auto [value, fresh] = cell.values.try_emplace(fold);
    if (fresh || value->second.deleted) {
        value->second.appended = !current;
        value->second.order = cell.nextOrder++;
    }
    // A value keeps its first name, its case.
    value->second.name = current ? current->name : std::string(name);
    value->second.type = type;
    value->second.data = std::string(data);
    value->second.deleted = false;
    ops_.push_back(Op{Op::SetValue, key, 0, std::string(name), {}, false, type, std::string(data)});
    Changed(key);
}

bool Transaction::DeleteValue(Connection& db, int64_t key, std::string_view fold) {
    RequireKey(db, key);
    if (!FindValue(db, key, fold)) return false;
    ValueCell& value = cells_[key].values[std::string(fold)];
    value.deleted = true;
    value.appended = false;
    ops_.push_back(Op{Op::DeleteValue, key, 0, std::string(fold), {}, false, 0, {}});
    Changed(key);
    return true;
}

void Transaction::MarkDeleted(Connection& db, int64_t key) {
    for (const ListedItem& child : SubKeys(db, key)) {
        LoadKey(db, child.id);
        MarkDeleted(db, child.id);
    }
    cells_[key].deleted = true;
}

void Transaction::DeleteKey(Connection& db, int64_t key, bool includeSelf) {
    const KeyState state = RequireKey(db, key);
    KeyCell& cell = cells_[key];
    for (const ListedItem& child : SubKeys(db, key)) {
        LoadKey(db, child.id);
        MarkDeleted(db, child.id);
        cell.children[child.fold] = ChildCell{child.name, child.id, {}, true};
    }
    if (includeSelf) {
        MarkDeleted(db, key);
        std::string fold = cells_[key].fold;
        if (key > 0) {
            Query q(db, "SELECT fold FROM cells WHERE key = ?1 AND kind = 2");
            q.Bind(1, key);
            if (q.Step()) fold = std::string(q.Text(0));
        }
        ChildCell& entry = cells_[state.parent].children[fold];
        entry.id = key;
        entry.deleted = true;
    } else {
        for (const ListedItem& value : Values(db, key)) {
            ValueCell& gone = cell.values[value.fold];
            gone.deleted = true;
            gone.appended = false;
        }
    }
    ops_.push_back(Op{Op::DeleteKey, key, 0, {}, {}, includeSelf, 0, {}});
    Changed(key);
}

void Transaction::Apply(Connection& db, ChangeSet& changes) {
    for (const auto& [id, seen] : seen_) {
        const std::optional<KeyState> now = zelreg::LoadKey(db, id);
        if (!now || now->childGeneration != seen.childGeneration || now->valueGeneration != seen.valueGeneration) {
            Fail(ERROR_TRANSACTIONAL_CONFLICT);
        }
    }
    std::unordered_map<int64_t, int64_t> made;
    const auto real = [&made](int64_t id) { return id < 0 ? made.at(id) : id; };
    for (const Op& op : ops_) {
        switch (op.kind) {
        case Op::CreateKey:
            made[op.made] = CreateChild(db, changes, zelreg::RequireKey(db, real(op.key), kWithFigures), op.name,
                                        op.keyClass.c_str(), op.flag)
                                .id;
            break;
        case Op::SetValue:
            StoreValue(db, changes, zelreg::RequireKey(db, real(op.key), kWithFigures), op.name, op.type, op.data);
            break;
        case Op::DeleteValue:
            RemoveValue(db, changes, zelreg::RequireKey(db, real(op.key), kWithFigures), op.name);
            break;
        case Op::DeleteKey:
            DeleteSubtree(db, changes, real(op.key), op.flag);
            break;
        }
    }
}

}  // namespace zelreg
