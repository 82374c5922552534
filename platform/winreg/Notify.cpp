#include "Notify.h"

#include <algorithm>
#include <thread>
#include <unordered_map>

#include "KeyStore.h"
#include "Store.h"

namespace zelreg {
namespace {

struct JournalEntry {
    int64_t id;
    int64_t key;
    int64_t kind;
};

bool FilterTakes(DWORD filter, int64_t kind) {
    switch (kind) {
    case kChangeName:
        return (filter & REG_NOTIFY_CHANGE_NAME) != 0;
    case kChangeValue:
        return (filter & REG_NOTIFY_CHANGE_LAST_SET) != 0;
    default:
        return false;
    }
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
        if (!LoadKey(db, current)) {
            below = true;
            break;
        }
        auto parent = ParentOf(db, current);
        if (!parent) {
            below = false;
            break;
        }
        current = *parent;
    }
    for (int64_t id : path) known[id] = below;
    return below;
}

}  // namespace

int64_t LatestChange(Connection& db) {
    Query q(db, "SELECT coalesce(max(id), 0) FROM changes");
    q.Step();
    return q.Int(0);
}

void Notifier::Add(Watch watch) {
    std::lock_guard<std::mutex> lock(mutex_);
    watch.id = nextId_++;
    watches_.push_back(std::move(watch));
    pending_ = watches_.size();
    woken_ = true;
    if (!running_) {
        running_ = true;
        std::thread(&Notifier::Run, this).detach();
    } else {
        wake_.notify_all();
    }
}

void Notifier::Wake() {
    if (pending_ == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    wake_.notify_all();
}

void Notifier::HandleClosed(uintptr_t handle) {
    if (pending_ == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto closing = [handle](const Watch& w) { return w.handle == handle; };
    for (const Watch& w : watches_) {
        if (closing(w)) w.event->Set();
    }
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(), closing), watches_.end());
    pending_ = watches_.size();
}

void Notifier::ResetAfterFork() {
    watches_.clear();
    pending_ = 0;
    woken_ = false;
    running_ = false;
}

void Notifier::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (watches_.empty()) {
            running_ = false;
            return;
        }
        // Timed even when woken on purpose: changes of other processes are only seen by looking.
        wake_.wait_for(lock, kPollInterval, [this] { return woken_; });
        woken_ = false;
        const std::vector<Watch> snapshot = watches_;
        lock.unlock();

        std::vector<uint64_t> fired;
        for (int kind = 0; kind < kHiveKinds; ++kind) {
            std::vector<Watch> inHive;
            for (const Watch& w : snapshot) {
                if (static_cast<int>(w.hive) == kind) inHive.push_back(w);
            }
            if (inHive.empty()) continue;
            Hive* hive = Store::Get().OpenedHive(static_cast<HiveKind>(kind));
            if (!hive) continue;
            try {
                std::vector<uint64_t> matched = Evaluate(*hive, inHive);
                fired.insert(fired.end(), matched.begin(), matched.end());
            } catch (...) {
                // The hive could not be read this time (locked, say); look again at the next poll.
            }
        }

        lock.lock();
        if (fired.empty()) continue;
        auto isFired = [&fired](const Watch& w) {
            return std::find(fired.begin(), fired.end(), w.id) != fired.end();
        };
        for (const Watch& w : watches_) {
            if (isFired(w)) w.event->Set();
        }
        watches_.erase(std::remove_if(watches_.begin(), watches_.end(), isFired), watches_.end());
        pending_ = watches_.size();
    }
}

std::vector<uint64_t> Notifier::Evaluate(Hive& hive, const std::vector<Watch>& watches) {
    return hive.Read([&watches](Connection& db) {
        std::vector<uint64_t> fired;
        std::vector<bool> done(watches.size(), false);
        int64_t oldest = 0;
        int64_t from = watches.front().since;
        {
            Query q(db, "SELECT min(id) FROM changes");
            if (q.Step() && !q.IsNull(0)) oldest = q.Int(0);
        }
        for (std::size_t i = 0; i < watches.size(); ++i) {
            const Watch& w = watches[i];
            from = std::min(from, w.since);
            // Its key deleted, or news lost because the journal was pruned past it: fire.
            if (!LoadKey(db, w.key) || (oldest > w.since + 1)) {
                done[i] = true;
                fired.push_back(w.id);
            }
        }
        std::vector<JournalEntry> entries;
        {
            Query q(db, "SELECT id, key, kind FROM changes WHERE id > ?1 ORDER BY id");
            q.Bind(1, from);
            while (q.Step()) entries.push_back(JournalEntry{q.Int(0), q.Int(1), q.Int(2)});
        }
        for (std::size_t i = 0; i < watches.size(); ++i) {
            if (done[i]) continue;
            const Watch& w = watches[i];
            std::unordered_map<int64_t, bool> below;
            for (const JournalEntry& e : entries) {
                if (e.id <= w.since) continue;
                const bool matches =
                    (e.kind == kChangeDeleted && e.key == w.key) ||
                    (FilterTakes(w.filter, e.kind) &&
                     (e.key == w.key || (w.subtree && IsBelow(db, e.key, w.key, below))));
                if (matches) {
                    fired.push_back(w.id);
                    break;
                }
            }
        }
        return fired;
    });
}

void WakeWatchers() { Store::Get().notifier().Wake(); }

}  // namespace zelreg
