// A detailed watch (ZelRegCreateWatch): follows one key, with or without its sub-tree, and
// tells its feed each change. On a hive with a journal (HiveJournal.h) it follows the journal's
// records, change by change, without reading the hive; where the journal lost records, and on a
// hive without one, it compares copies of the tree (TreeSnapshot.h) taken when the hive has
// changed. A watch that lost records tells its reader so (ZELREG_CHANGE_LOST) before the
// changes found by comparing.
#pragma once

#include <cstdint>
#include <memory>

#include "../watch/TreeSnapshot.h"
#include "ChangeFeed.h"
#include "HiveJournal.h"
#include "HiveLocation.h"
#include "Sqlite.h"
#include "WatchedTree.h"

namespace zelreg {

class FeedWatch {
public:
    FeedWatch(HiveKind hive, int64_t key, bool subtree, uintptr_t handle, std::shared_ptr<ChangeFeed> feed)
        : hive_(hive), handle_(handle), feed_(std::move(feed)), tree_(key, subtree) {}

    HiveKind hive() const { return hive_; }
    uintptr_t handle() const { return handle_; }
    bool journaled() const { return journal_ != nullptr; }

    // Takes the state to follow from: in a read transaction of the hive, with the journal's
    // position read before that transaction began (`position`, `dropped`), or without a journal.
    void Start(Connection& db, HiveJournal* journal, uint64_t position, uint64_t dropped, int64_t dataVersion);
    // Takes the journal's new records, before the hive is read; false when records were lost
    // (then CatchUp must look at the hive).
    bool Follow();
    // With the hive read: after a loss, or without a journal when the hive's data version has
    // moved or this process has changed the hive.
    void CatchUp(Connection& db, int64_t dataVersion, bool lost);
    int64_t dataVersion() const { return dataVersion_; }

    // What the notifier keeps for it: the changes of this process it has seen (Notify.h).
    uint64_t seenChange = 0;

private:
    const HiveKind hive_;
    const uintptr_t handle_;
    std::shared_ptr<ChangeFeed> feed_;
    WatchedTree tree_;
    HiveJournal* journal_ = nullptr;
    uint64_t position_ = 0;
    uint64_t dropped_ = 0;
    int64_t dataVersion_ = 0;
    TreeSnapshot snapshot_;  // without a journal: the tree as last seen
};

}  // namespace zelreg
