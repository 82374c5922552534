#include "WatchedTree.h"

#include <algorithm>

#include "../watch/TreeSnapshot.h"
#include "KeyStore.h"
#include "RegError.h"
#include "RegNames.h"

// Every key of the tree below ?1 (?1 itself with the path ""), or with ?2 = 0 ?1 alone. A
// macro, so that the statements using it stay literals (the connection caches them by address).
#define ZEL_TREE_WALK                                                                        \
    "WITH RECURSIVE t(id, path) AS (SELECT ?1, '' UNION ALL "                                \
    "SELECT c.sub, CASE WHEN t.path = '' THEN c.name ELSE t.path || '\\' || c.name END " \
    "FROM cells c JOIN t ON c.key = t.id AND c.kind = 0 AND ?2) "

namespace zelreg {

void WatchedTree::Load(Connection& db) {
    if (line_.empty()) {
        for (int64_t id = key_; id != 0;) {
            Query q(db, "SELECT fold, parent FROM cells WHERE key = ?1 AND kind = 2");
            q.Bind(1, id);
            if (!q.Step()) Fail(ERROR_KEY_DELETED);
            line_.push_back(Ancestor{std::string(q.Text(0)), id});
            id = q.IsNull(1) ? 0 : q.Int(1);
        }
        std::reverse(line_.begin(), line_.end());
    } else {
        for (std::size_t i = 1; i < line_.size(); ++i) {
            const std::optional<int64_t> id = line_[i - 1].id ? FindChild(db, line_[i - 1].id, line_[i].fold) : std::nullopt;
            line_[i].id = id.value_or(0);
        }
    }
    paths_.clear();
    if (present()) LoadPaths(db);
}

void WatchedTree::LoadPaths(Connection& db) {
    const int64_t key = line_.back().id;
    paths_.emplace(key, "");
    if (!subtree_) return;
    Query q(db, ZEL_TREE_WALK "SELECT id, path FROM t WHERE id <> ?1");
    q.Bind(1, key).Bind(2, int64_t{1});
    while (q.Step()) paths_.emplace(q.Int(0), std::string(q.Text(1)));
}

void WatchedTree::Forget(TreeChanges& out) {
    if (present()) {
        // What lay below goes with it: deepest first, the watched key last.
        std::vector<const std::string*> below;
        for (const auto& covered : paths_) {
            if (!covered.second.empty()) below.push_back(&covered.second);
        }
        std::sort(below.begin(), below.end(), [](const std::string* a, const std::string* b) { return *a > *b; });
        for (const std::string* path : below) out.push_back({ZELREG_CHANGE_KEY_DELETED, *path, ""});
        out.push_back({ZELREG_CHANGE_KEY_DELETED, "", ""});
    }
    paths_.clear();
}

void WatchedTree::Apply(const KeyChange& change, TreeChanges& out) {
    const bool wasPresent = present();
    if (change.detail == ChangeDetail::KeyDeleted) {
        for (std::size_t i = 1; i < line_.size(); ++i) {
            if (line_[i].id != change.subject) continue;
            Forget(out);
            for (std::size_t j = i; j < line_.size(); ++j) line_[j].id = 0;
            return;
        }
    }
    if (change.detail == ChangeDetail::KeyCreated && !wasPresent) {
        for (std::size_t i = 0; i + 1 < line_.size(); ++i) {
            if (line_[i].id != change.key || line_[i].id == 0 || line_[i + 1].id != 0) continue;
            if (FoldName(change.name) != line_[i + 1].fold) continue;
            line_[i + 1].id = change.subject;
            if (present()) {
                paths_.emplace(change.subject, "");
                out.push_back({ZELREG_CHANGE_KEY_CREATED, "", ""});
            }
            return;
        }
    }
    auto covered = paths_.find(change.key);
    if (covered == paths_.end()) return;
    const std::string& path = covered->second;
    switch (change.detail) {
    case ChangeDetail::ValueSet:
        out.push_back({ZELREG_CHANGE_VALUE_SET, path, change.name});
        break;
    case ChangeDetail::ValueDeleted:
        out.push_back({ZELREG_CHANGE_VALUE_DELETED, path, change.name});
        break;
    case ChangeDetail::KeyCreated: {
        std::string created = JoinKeyPath(path, change.name);
        if (subtree_) paths_.emplace(change.subject, created);
        out.push_back({ZELREG_CHANGE_KEY_CREATED, std::move(created), ""});
        break;
    }
    case ChangeDetail::KeyDeleted: {
        const std::string deleted = JoinKeyPath(path, change.name);
        if (subtree_) {
            // Its sub-keys went with it, deepest first; with no record of their own.
            const std::string prefix = deleted + "\\";
            std::vector<std::pair<std::string, int64_t>> below;
            for (const auto& other : paths_) {
                if (other.second.compare(0, prefix.size(), prefix) == 0) below.emplace_back(other.second, other.first);
            }
            std::sort(below.begin(), below.end(), std::greater<>());
            for (const auto& gone : below) {
                out.push_back({ZELREG_CHANGE_KEY_DELETED, gone.first, ""});
                paths_.erase(gone.second);
            }
            paths_.erase(change.subject);
        }
        out.push_back({ZELREG_CHANGE_KEY_DELETED, deleted, ""});
        break;
    }
    }
}

void WatchedTree::Snapshot(Connection& db, TreeSnapshot& snapshot) const {
    snapshot = TreeSnapshot{};
    snapshot.present = present();
    if (!snapshot.present) return;
    const int64_t key = line_.back().id;
    snapshot.keys[""];
    if (!subtree_) {
        Query names(db, "SELECT name FROM cells WHERE key = ?1 AND kind = 0");
        names.Bind(1, key);
        while (names.Step()) snapshot.keys[std::string(names.Text(0))];
    }
    Query q(db, ZEL_TREE_WALK "SELECT t.path, v.name, v.type, v.data FROM t LEFT JOIN cells v ON v.key = t.id AND v.kind = 1");
    q.Bind(1, key).Bind(2, int64_t{subtree_ ? 1 : 0});
    while (q.Step()) {
        auto& values = snapshot.keys[std::string(q.Text(0))];
        if (q.IsNull(1)) continue;
        const std::string_view data = q.Blob(3);
        values[std::string(q.Text(1))] = TreeSnapshot::Digest(static_cast<DWORD>(q.Int(2)), data.data(), data.size());
    }
}

}  // namespace zelreg
