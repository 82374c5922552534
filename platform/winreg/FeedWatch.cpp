#include "FeedWatch.h"

#include <vector>

namespace zelreg {

void FeedWatch::Start(Connection& db, HiveJournal* journal, uint64_t position, uint64_t dropped, int64_t dataVersion) {
    journal_ = journal;
    position_ = position;
    dropped_ = dropped;
    dataVersion_ = dataVersion;
    tree_.Load(db);
    if (!journal_) tree_.Snapshot(db, snapshot_);
}

bool FeedWatch::Follow() {
    std::vector<JournalRecord> records;
    if (!journal_->Read(position_, dropped_, records)) return false;
    TreeChanges changes;
    for (const JournalRecord& record : records) tree_.Apply(record.change, changes);
    feed_->Push(std::move(changes));
    return true;
}

void FeedWatch::CatchUp(Connection& db, int64_t dataVersion, bool lost) {
    dataVersion_ = dataVersion;
    TreeChanges changes;
    if (lost) changes.push_back({ZELREG_CHANGE_LOST, "", ""});
    tree_.Load(db);
    if (!journal_) {
        TreeSnapshot now;
        tree_.Snapshot(db, now);
        TreeChanges found = CompareSnapshots(snapshot_, now);
        changes.insert(changes.end(), found.begin(), found.end());
        snapshot_ = std::move(now);
    }
    feed_->Push(std::move(changes));
}

}  // namespace zelreg
