#include "HiveJournal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstring>
#include <ctime>

namespace zelreg {
namespace {

// A record in the ring: this header, then the name, padded to 8 bytes. A record of kind 0
// fills the rest of the ring before it starts over.
struct RecordHeader {
    uint32_t size;
    uint32_t nameSize;
    int64_t key;
    int64_t subject;
    uint8_t detail;
    uint8_t unused[7];
};
static_assert(sizeof(RecordHeader) == 32, "records are laid out by hand");

constexpr std::size_t kRing = HiveJournalArea::kRingBytes;
// A commit waits this long at most for the mutex, which the previous commit holds only from
// just before it commits until it has appended (microseconds, unless its process is stopped
// or starved of the processor just then); a commit that cannot wait counts as dropped.
constexpr std::chrono::milliseconds kAppendWait{250};

std::size_t Padded(std::size_t size) { return (size + 7) & ~std::size_t{7}; }

int Futex(const std::atomic<uint32_t>& word, int op, uint32_t value, const timespec* timeout) {
    return static_cast<int>(syscall(SYS_futex, reinterpret_cast<const uint32_t*>(&word), op, value, timeout, nullptr, 0));
}

timespec Deadline(std::chrono::milliseconds wait) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    const int64_t nanoseconds = deadline.tv_nsec + std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    deadline.tv_sec += static_cast<time_t>(nanoseconds / 1000000000);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
    return deadline;
}

}  // namespace

void HiveJournal::Start() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&area_->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    area_->wake = 0;
    area_->sleepers = 0;
    area_->end = 0;
    area_->dropped = 0;
    area_->begun = 0;
    area_->settled = 0;
}

void HiveJournal::Poke() {
    area_->wake.fetch_add(1);
    // Paired with Wait, which counts itself in before it looks at the word: either this sees the
    // sleeper or the sleeper sees the word moved.
    if (area_->sleepers.load() > 0) Futex(area_->wake, FUTEX_WAKE, INT_MAX, nullptr);
}

bool HiveJournal::Lock() const {
    pthread_mutex_t* mutex = &area_->mutex;
    const timespec deadline = Deadline(kAppendWait);
    int rc = pthread_mutex_timedlock(mutex, &deadline);
    if (rc == EOWNERDEAD) {
        // Its holder died after its commit perhaps, before it appended: what that commit changed
        // is lost to the readers, and no commit is under way any more.
        rc = pthread_mutex_consistent(mutex);
        if (rc == 0) {
            Drop();
            Settle();
        }
    }
    return rc == 0;
}

void HiveJournal::Unlock() const { pthread_mutex_unlock(&area_->mutex); }

HiveJournal::Appending::Appending(HiveJournal* journal) {
    if (!journal) return;
    journal_ = journal;
    locked_ = journal->Lock();
    if (locked_) {
        ++journal->area_->begun;
    } else {
        // Counted before the commit, so that no reader takes the journal for whole meanwhile.
        journal->Drop();
    }
}

HiveJournal::Appending::~Appending() {
    if (!locked_) return;
    journal_->Settle();
    journal_->Unlock();
}

void HiveJournal::Appending::Publish(const ChangeSet& changes) {
    if (!journal_) return;
    if (locked_) {
        from_ = journal_->area_->end.load();
        if (!changes.empty()) journal_->Append(changes);
        to_ = journal_->area_->end.load();
        appended_ = true;
        journal_->Settle();
        journal_->Unlock();
    }
    locked_ = false;
    journal_->Poke();
    journal_ = nullptr;
}

bool HiveJournal::Appending::Appended(uint64_t& from, uint64_t& to) const {
    from = from_;
    to = to_;
    return appended_;
}

void HiveJournal::Drop() const { ++area_->dropped; }

void HiveJournal::Settle() const { area_->settled.store(area_->begun.load()); }

bool HiveJournal::ReadCommitted(uint64_t& position, uint64_t& dropped, std::vector<JournalRecord>& out) const {
    // `settled` first: equal to `begun` read after it, no commit was under way in between, and
    // every commit the hive showed before this call had appended by then.
    const uint64_t settled = area_->settled.load();
    if (settled == area_->begun.load()) return Read(position, dropped, out);
    // A commit holds the mutex until it has appended.
    if (!Lock()) {
        out.clear();
        position = area_->end.load();
        dropped = area_->dropped.load();
        return false;
    }
    const bool whole = Read(position, dropped, out);
    Unlock();
    return whole;
}

void HiveJournal::Append(const ChangeSet& changes) {
    uint64_t end = area_->end.load();
    for (const KeyChange& change : changes) {
        const std::size_t size = Padded(sizeof(RecordHeader) + change.name.size());
        if (size > kRing / 2) {  // a name no record can hold: the readers learn of a loss
            Drop();
            continue;
        }
        std::size_t at = end % kRing;
        if (at + size > kRing) {
            // The rest of the ring is skipped: readers skip a tail too short for a header alone.
            if (kRing - at >= sizeof(RecordHeader)) {
                const RecordHeader filler{static_cast<uint32_t>(kRing - at), 0, 0, 0, 0, {}};
                std::memcpy(area_->ring + at, &filler, sizeof filler);
            }
            end += kRing - at;
            at = 0;
        }
        const RecordHeader header{static_cast<uint32_t>(size), static_cast<uint32_t>(change.name.size()), change.key,
                                  change.subject, static_cast<uint8_t>(change.detail), {}};
        std::memcpy(area_->ring + at, &header, sizeof header);
        std::memcpy(area_->ring + at + sizeof header, change.name.data(), change.name.size());
        end += size;
    }
    area_->end.store(end);
}

bool HiveJournal::Read(uint64_t& position, uint64_t& dropped, std::vector<JournalRecord>& out) const {
    out.clear();
    const uint64_t nowDropped = area_->dropped.load();
    const uint64_t end = area_->end.load();
    if (end - position > kRing || nowDropped != dropped || end < position) {
        position = end;
        dropped = nowDropped;
        return false;
    }
    // A copy first: a writer may come round the ring and overwrite what is being read, which
    // shows when `end` has moved too far meanwhile.
    std::vector<unsigned char> copy(static_cast<std::size_t>(end - position));
    for (uint64_t done = 0; done < copy.size();) {
        const std::size_t at = (position + done) % kRing;
        const std::size_t piece = std::min<std::size_t>(copy.size() - done, kRing - at);
        std::memcpy(copy.data() + done, area_->ring + at, piece);
        done += piece;
    }
    if (area_->end.load() - position > kRing) {
        position = area_->end.load();
        return false;
    }
    for (std::size_t at = 0; at + sizeof(RecordHeader) <= copy.size();) {
        const std::size_t left = kRing - (position + at) % kRing;
        if (left < sizeof(RecordHeader)) {
            at += left;
            continue;
        }
        RecordHeader header;
        std::memcpy(&header, copy.data() + at, sizeof header);
        if (header.size < sizeof header || at + header.size > copy.size()) break;  // never: written whole
        const bool change = header.detail >= static_cast<uint8_t>(ChangeDetail::ValueSet) &&
                            header.detail <= static_cast<uint8_t>(ChangeDetail::KeyDeleted);
        if (change && header.nameSize <= header.size - sizeof header) {
            const auto* name = reinterpret_cast<const char*>(copy.data() + at + sizeof header);
            out.push_back(JournalRecord{position + at, KeyChange(header.key, static_cast<ChangeDetail>(header.detail),
                                                                 std::string_view(name, header.nameSize), header.subject)});
        }
        at += header.size;
    }
    position = end;
    return true;
}

void HiveJournal::Wait(uint32_t seen, std::chrono::microseconds timeout) const {
    const timespec wait{static_cast<time_t>(timeout.count() / 1000000), static_cast<long>(timeout.count() % 1000000) * 1000};
    area_->sleepers.fetch_add(1);
    Futex(area_->wake, FUTEX_WAIT, seen, &wait);
    area_->sleepers.fetch_sub(1);
}

}  // namespace zelreg
