// The keys a detailed watch covers, followed through the hive's change records (KeyChange): each
// covered key's path below the watched key, and the line of keys from the hive's root down to
// the watched key, by which the watched key is found again when it is deleted and created anew.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "../watch/TreeChange.h"
#include "KeyChange.h"
#include "Sqlite.h"

namespace zelreg {

class WatchedTree {
public:
    WatchedTree(int64_t key, bool subtree) : subtree_(subtree), key_(key) {}

    // Takes the tree as the hive holds it now (in a read transaction), following the watched key
    // by its path: when it was deleted and made anew since, the new one counts.
    void Load(Connection& db);
    // What one change record means for the watched tree; covered changes go to `out`.
    void Apply(const KeyChange& change, TreeChanges& out);
    bool present() const { return !line_.empty() && line_.back().id != 0; }
    // The tree as the hive holds it now, for comparing (TreeSnapshot.h).
    void Snapshot(Connection& db, struct TreeSnapshot& snapshot) const;

private:
    struct Ancestor {
        std::string fold;  // its name, folded
        int64_t id;        // 0 while it does not exist
    };

    void Forget(TreeChanges& out);
    void LoadPaths(Connection& db);

    const bool subtree_;
    int64_t key_;                 // the watched key as first opened, until the line is known
    std::vector<Ancestor> line_;  // the hive's root first, the watched key last
    std::unordered_map<int64_t, std::string> paths_;  // covered keys (with the sub-tree)
};

}  // namespace zelreg
