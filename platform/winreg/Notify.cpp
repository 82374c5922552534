#include "Notify.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <unordered_map>

#include "KeyStore.h"
#include "RegError.h"
#include "Store.h"

namespace zelreg {
namespace {

// A change log longer than this loses its older half; the watches that had not seen those
// changes compare their counters instead.
constexpr std::size_t kLogLimit = 4096;
// Sub-tree walks that took a time T are followed by none for kWalkSpacing × T.
constexpr int kWalkSpacing = 4;
// The dataVersion of a watch that has to compare its counters when it next looks.
constexpr int64_t kMustCompare = -1;
// Where every hive watched has a journal, the thread still looks this often: a commit whose
// process died before it could tell the journal shows then, to the watches that compare.
constexpr std::chrono::seconds kJournalFallback{1};

bool FilterTakes(DWORD filter, ChangeKind kind) {
    return (filter & (kind == ChangeKind::Name ? REG_NOTIFY_CHANGE_NAME : REG_NOTIFY_CHANGE_LAST_SET)) != 0;
}

uint64_t Mix(uint64_t x) {
    // The finaliser of SplitMix64: every input bit moves about half the output bits.
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// What one key adds to a digest: a hash of each counter the filter covers that has ever moved.
// A key whose counters never moved adds nothing, so that keys without values coming and going
// leave the digest of a watch on values alone as it was (their parent's name counter moves).
uint64_t KeyDigest(int64_t id, int64_t childGeneration, int64_t valueGeneration, DWORD filter) {
    const auto key = static_cast<uint64_t>(id) * 2;
    uint64_t digest = 0;
    if ((filter & REG_NOTIFY_CHANGE_NAME) && childGeneration) {
        digest += Mix(Mix(key) + static_cast<uint64_t>(childGeneration));
    }
    if ((filter & REG_NOTIFY_CHANGE_LAST_SET) && valueGeneration) {
        digest += Mix(Mix(key + 1) + static_cast<uint64_t>(valueGeneration));
    }
    return digest;
}

// The digest of a watch whose key exists (`state`): of the key's counters, or for a sub-tree the
// sum over all its keys, which does not depend on the order of the walk.
uint64_t Digest(Connection& db, const Watch& w, const KeyState& state) {
    if (!w.subtree) return KeyDigest(w.key, state.childGeneration, state.valueGeneration, w.filter);
    Query q(db,
            "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL "
            "SELECT i.sub FROM cells i JOIN t ON i.key = t.id AND i.kind = 0) "
            "SELECT k.key, k.cgen, k.vgen FROM t CROSS JOIN cells k ON k.key = t.id AND k.kind = 2");
    q.Bind(1, w.key);
    uint64_t digest = 0;
    while (q.Step()) digest += KeyDigest(q.Int(0), q.Int(1), q.Int(2), w.filter);
    return digest;
}

// Moves whenever another connection, in this process or another, has committed to the hive.
int64_t DataVersion(Connection& db) {
    Query q(db, "PRAGMA data_version");
    q.Step();
    return q.Int(0);
}

// Whether `key` lies below `ancestor`. A key that no longer exists cannot be placed; it is
// taken to be below, so that a change is never missed (at worst a watch fires once too often).
bool IsBelow(Connection& db, int64_t key, int64_t ancestor, std::unordered_map<int64_t, bool>& known) {
    std::vector<int64_t> path;
    bool below = false;
    int64_t current = key;
    for (;;) {
        auto cached = known.find(current);
        if (cached != known.end()) {
            below = cached->second;
            break;
        }
        if (current == ancestor) {
            below = true;
            break;
        }
        path.push_back(current);
        const std::optional<KeyState> state = LoadKey(db, current);
        if (!state || !state->parent) {
            below = !state;
            break;
        }
        current = state->parent;
    }
    for (int64_t id : path) known[id] = below;
    return below;
}

}  // namespace

void Notifier::Add(Connection& db, Watch watch, HiveJournal* journal) {
    if (journal) {
        // Read before the transaction's first statement: every later record is of a commit the
        // state below may not hold.
        watch.journaled = true;
        watch.journalPosition = journal->End();
        watch.journalDropped = journal->Dropped();
    }
    const KeyState state = RequireKey(db, watch.key);
    watch.digest = Digest(db, watch, state);
    watch.dataVersion = DataVersion(db);
    std::lock_guard<std::mutex> lock(mutex_);
    watch.id = nextId_++;
    watch.seenChange = logs_[static_cast<int>(watch.hive)].last();
    if (journal) journals_[static_cast<int>(watch.hive)] = journal;
    watches_.push_back(std::move(watch));
    Begin();
}

void Notifier::AddFeed(Connection& db, std::shared_ptr<FeedWatch> feed, HiveJournal* journal) {
    const uint64_t position = journal ? journal->End() : 0;
    const uint64_t dropped = journal ? journal->Dropped() : 0;
    feed->Start(db, journal, position, dropped, DataVersion(db));
    std::lock_guard<std::mutex> lock(mutex_);
    const int kind = static_cast<int>(feed->hive());
    feed->seenChange = logs_[kind].last();
    if (journal) journals_[kind] = journal;
    feeds_.push_back(std::move(feed));
    Begin();
}

void Notifier::Begin() {
    pending_ = watches_.size() + feeds_.size();
    if (running_ || stopping_) {
        Wake();
        return;
    }
    if (!gate_.EnterToStart()) {
        startAfterFork_ = true;
        return;
    }
    running_ = true;
    woken_ = true;
    std::thread(&Notifier::Run, this).detach();
}

void Notifier::StartAfterFork() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!startAfterFork_) return;
    startAfterFork_ = false;
    Begin();
}

void Notifier::Wake() {
    woken_ = true;
    wake_.notify_all();
    // The thread may sleep on a journal's wake word instead.
    for (HiveJournal* journal : journals_) {
        if (journal) journal->Poke();
    }
}

void Notifier::Committed(HiveKind hive, const ChangeSet& changes) {
    // A watch is added under the lock of its hive, as commits are made: a commit either sees it
    // here or came before the state the watch started from.
    if (pending_ == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ChangeLog& log = logs_[static_cast<int>(hive)];
    log.changes.insert(log.changes.end(), changes.begin(), changes.end());
    if (log.changes.size() > kLogLimit) {
        const std::size_t dropped = log.changes.size() / 2;
        log.changes.erase(log.changes.begin(), log.changes.begin() + static_cast<std::ptrdiff_t>(dropped));
        log.first += dropped;
    }
    Wake();
}

void Notifier::HandleClosed(uintptr_t handle) {
    if (pending_ == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto closing = [handle](const Watch& w) { return w.handle == handle; };
    for (const Watch& w : watches_) {
        if (!closing(w)) continue;
        w.event->Set();
        if (w.journaled) ++endedWatches_[static_cast<int>(w.hive)];
    }
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(), closing), watches_.end());
    auto feedClosing = [handle](const std::shared_ptr<FeedWatch>& f) { return f->handle() == handle; };
    for (const auto& f : feeds_) {
        if (feedClosing(f) && f->journaled()) ++endedWatches_[static_cast<int>(f->hive())];
    }
    feeds_.erase(std::remove_if(feeds_.begin(), feeds_.end(), feedClosing), feeds_.end());
    pending_ = watches_.size() + feeds_.size();
    // The watcher thread may be waiting for watches of deleted keys alone.
    Wake();
}

void Notifier::ResetAfterFork() {
    watches_.clear();
    feeds_.clear();
    for (ChangeLog& log : logs_) log = ChangeLog{};
    for (HiveJournal*& journal : journals_) journal = nullptr;
    for (int& ended : endedWatches_) ended = 0;
    pending_ = 0;
    woken_ = false;
    running_ = false;
    startAfterFork_ = false;
}

void Notifier::Stop() {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    Wake();
    ended_.wait(lock, [this] { return !running_; });
}

void Notifier::ReleaseEnded(std::unique_lock<std::mutex>& lock) {
    int ended[kHiveKinds];
    bool any = false;
    for (int kind = 0; kind < kHiveKinds; ++kind) {
        ended[kind] = endedWatches_[kind];
        endedWatches_[kind] = 0;
        any = any || ended[kind] > 0;
    }
    if (!any) return;
    lock.unlock();
    for (int kind = 0; kind < kHiveKinds; ++kind) {
        if (ended[kind] == 0) continue;
        if (Hive* hive = Store::Get().OpenedHive(static_cast<HiveKind>(kind))) hive->StopWatching(ended[kind]);
    }
    lock.lock();
}

void Notifier::AwaitNews(std::unique_lock<std::mutex>& lock) {
    // Timed even when woken on purpose where a hive has no journal: changes of other processes
    // are only seen by looking. Watches of deleted keys have nothing to look for.
    HiveJournal* journal = nullptr;
    uint32_t seen = 0;
    bool poll = false;
    bool look = !feeds_.empty();
    auto note = [&](HiveKind hive) {
        HiveJournal* mine = journals_[static_cast<int>(hive)];
        if (mine) {
            journal = mine;
            seen = journalWords_[static_cast<int>(hive)];
        } else {
            poll = true;
        }
    };
    for (const Watch& w : watches_) {
        if (w.keyGone) continue;
        look = true;
        note(w.hive);
    }
    for (const auto& f : feeds_) note(f->hive());
    auto news = [this] { return woken_ || stopping_; };
    if (!look) {
        wake_.wait(lock, news);
    } else if (!journal) {
        wake_.wait_for(lock, kPollInterval, news);
    } else if (!news()) {
        // Every wake-up of this process pokes the journal too (Wake), so this sleep ends with
        // a commit of any process, or a poke from here. The word is the one read before the
        // journal was last read: a commit appended since then ends the sleep at once.
        lock.unlock();
        journal->Wait(seen, poll ? kPollInterval : kJournalFallback);
        lock.lock();
    }
}

void Notifier::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ReleaseEnded(lock);
        if (stopping_) {
            running_ = false;
            gate_.Leave();
            ended_.notify_all();
            return;
        }
        // Asleep outside the gate; awake, the gate is taken before the notifier's lock, in the
        // order fork() takes them.
        gate_.Leave();
        AwaitNews(lock);
        lock.unlock();
        gate_.Enter();
        lock.lock();
        if (stopping_) continue;
        woken_ = false;
        for (int kind = 0; kind < kHiveKinds; ++kind) {
            if (journals_[kind]) journalWords_[kind] = journals_[kind]->WakeWord();
        }
        std::vector<Watch> snapshot;
        for (const Watch& w : watches_) {
            if (!w.keyGone) snapshot.push_back(w);
        }
        const Feeds feeds = feeds_;
        HiveJournal* journals[kHiveKinds];
        std::copy(std::begin(journals_), std::end(journals_), journals);
        lock.unlock();

        std::vector<uint64_t> fired;
        std::vector<Watch> evaluated;
        for (int kind = 0; kind < kHiveKinds; ++kind) {
            std::vector<Watch> inHive;
            for (const Watch& w : snapshot) {
                if (static_cast<int>(w.hive) == kind) inHive.push_back(w);
            }
            Feeds feedsInHive;
            for (const auto& f : feeds) {
                if (static_cast<int>(f->hive()) == kind) feedsInHive.push_back(f);
            }
            if (inHive.empty() && feedsInHive.empty()) continue;
            Hive* hive = Store::Get().OpenedHive(static_cast<HiveKind>(kind));
            if (!hive) continue;
            try {
                std::vector<uint64_t> matched = Evaluate(*hive, journals[kind], inHive, feedsInHive);
                fired.insert(fired.end(), matched.begin(), matched.end());
                evaluated.insert(evaluated.end(), inHive.begin(), inHive.end());
            } catch (...) {
                // The hive could not be read this time (locked, say); look again at the next poll.
            }
        }

        lock.lock();
        Settle(std::move(fired), evaluated);
    }
}

std::vector<uint64_t> Notifier::Evaluate(Hive& hive, HiveJournal* journal, std::vector<Watch>& watches,
                                         const Feeds& feeds) {
    const int kind = static_cast<int>(hive.kind());
    // The journal first, before the hive is read: every record read is of a commit that the
    // read transaction below sees.
    std::vector<std::vector<KeyChange>> journalNews(watches.size());
    // Per watch: whether the journal's records explain a moved data_version. A journal that
    // lost records does not; nor does one without any, though the version moved (a commit
    // just made, or one whose process died before it could tell): then compare.
    std::vector<bool> journalTold(watches.size(), false);
    for (std::size_t i = 0; i < watches.size(); ++i) {
        Watch& w = watches[i];
        if (!w.journaled || !journal) continue;
        std::vector<JournalRecord> records;
        journalTold[i] = journal->Read(w.journalPosition, w.journalDropped, records) && !records.empty();
        for (JournalRecord& record : records) {
            if (FilterTakes(w.filter, record.change.kind)) journalNews[i].push_back(std::move(record.change));
        }
    }
    std::vector<bool> feedLost(feeds.size(), false);
    bool feedsNeedHive = false;
    for (std::size_t i = 0; i < feeds.size(); ++i) {
        feedLost[i] = feeds[i]->journaled() && !feeds[i]->Follow();
        feedsNeedHive = feedsNeedHive || feedLost[i] || !feeds[i]->journaled();
    }
    if (watches.empty() && !feedsNeedHive) return {};

    return hive.Read([&](Connection& db) {
        const int64_t version = DataVersion(db);
        ChangeLog news;
        {
            // Taken under the hive's lock, which every commit holds: each change in the log is
            // in the snapshot this transaction reads.
            std::lock_guard<std::mutex> lock(mutex_);
            news = logs_[kind];
        }
        const auto began = std::chrono::steady_clock::now();
        const bool mayWalk = began >= nextWalk_[kind];
        bool walked = false;
        std::vector<uint64_t> fired;
        for (std::size_t i = 0; i < watches.size(); ++i) {
            Watch& w = watches[i];
            const std::optional<KeyState> state = LoadKey(db, w.key);
            if (!state) {
                w.keyGone = true;
                continue;
            }
            std::unordered_map<int64_t, bool> below;
            auto concerns = [&](const KeyChange& change) {
                return change.key == w.key || (w.subtree && IsBelow(db, change.key, w.key, below));
            };
            bool hit = false;
            for (uint64_t n = std::max(w.seenChange + 1, news.first); n <= news.last() && !hit; ++n) {
                const KeyChange& change = news.changes[n - news.first];
                hit = FilterTakes(w.filter, change.kind) && concerns(change);
            }
            hit = hit || std::any_of(journalNews[i].begin(), journalNews[i].end(), concerns);
            if (hit) {
                fired.push_back(w.id);
                continue;
            }
            // Changes of this process that the log no longer holds, and those of any process the
            // journal lost, are looked for by comparing; what the journal told needs no compare.
            if (w.seenChange + 1 < news.first) {
                w.dataVersion = kMustCompare;
            } else if (journalTold[i] && w.dataVersion != kMustCompare) {
                w.dataVersion = version;
            }
            w.seenChange = news.last();
            if (w.dataVersion == version || (w.subtree && !mayWalk)) continue;
            walked = walked || w.subtree;
            if (Digest(db, w, *state) != w.digest) {
                fired.push_back(w.id);
                continue;
            }
            w.dataVersion = version;
        }
        if (walked) nextWalk_[kind] = began + kWalkSpacing * (std::chrono::steady_clock::now() - began);
        for (std::size_t i = 0; i < feeds.size(); ++i) {
            FeedWatch& f = *feeds[i];
            if (f.journaled()) {
                if (feedLost[i]) f.CatchUp(db, version, true);
                continue;
            }
            // Without a journal: this process's changes, and data_version for the others'.
            if (version != f.dataVersion() || f.seenChange < news.last()) f.CatchUp(db, version, false);
            f.seenChange = news.last();
        }
        return fired;
    });
}

void Notifier::Settle(std::vector<uint64_t> fired, const std::vector<Watch>& evaluated) {
    std::sort(fired.begin(), fired.end());
    auto isFired = [&fired](const Watch& w) { return std::binary_search(fired.begin(), fired.end(), w.id); };
    for (Watch& w : watches_) {
        if (isFired(w)) {
            w.event->Set();
            if (w.journaled) ++endedWatches_[static_cast<int>(w.hive)];
            continue;
        }
        auto done = std::find_if(evaluated.begin(), evaluated.end(), [&w](const Watch& e) { return e.id == w.id; });
        if (done == evaluated.end()) continue;
        w.seenChange = done->seenChange;
        w.dataVersion = done->dataVersion;
        w.keyGone = done->keyGone;
        w.journalPosition = done->journalPosition;
        w.journalDropped = done->journalDropped;
    }
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(), isFired), watches_.end());
    pending_ = watches_.size() + feeds_.size();
    // Changes every remaining watch has seen are of no more use.
    for (int kind = 0; kind < kHiveKinds; ++kind) {
        ChangeLog& log = logs_[kind];
        uint64_t seen = log.last();
        for (const Watch& w : watches_) {
            if (static_cast<int>(w.hive) == kind && !w.keyGone) seen = std::min(seen, w.seenChange);
        }
        for (const auto& f : feeds_) {
            if (static_cast<int>(f->hive()) == kind && !f->journaled()) seen = std::min(seen, f->seenChange);
        }
        if (seen < log.first) continue;
        const std::size_t dropped = static_cast<std::size_t>(seen + 1 - log.first);
        log.changes.erase(log.changes.begin(), log.changes.begin() + static_cast<std::ptrdiff_t>(dropped));
        log.first += dropped;
    }
}

void ChangesCommitted(HiveKind hive, const ChangeSet& changes) { Store::Get().notifier().Committed(hive, changes); }

}  // namespace zelreg
