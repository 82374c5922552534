// How a commit keeps the read map exact (see ReadMap.h). Every call here is made with the hive's
// write lock held, so only one process changes a map at a time; readers see the map as changing
// (its state odd) for as long as a change is under way.
#include <sched.h>

#include <chrono>
#include <cstring>

#include "ProcessId.h"
#include "ReadMap.h"
#include "ReadMapRecords.h"
#include "RegNames.h"

namespace zelreg {
namespace {

// The longest a commit waits for the writer before it to mark the map current again: that
// writer has committed and is a few instructions from it, unless it died or was stopped there.
constexpr std::chrono::milliseconds kPreviousWriterWait{5};

void StoreSlot(unsigned char* table, uint64_t index, uint64_t slot) {
    __atomic_store_n(reinterpret_cast<uint64_t*>(table) + index, slot, __ATOMIC_RELEASE);
}

// More than three quarters full after one more: the map must be built anew, larger.
bool Crowded(uint64_t used, uint64_t slots) { return (used + 1) * 4 > slots * 3; }

}  // namespace

uint64_t ReadMap::BeginChange(const ChangeSet& changes) {
    ReadMapHeader& h = header();
    uint64_t state = h.state.load(std::memory_order_acquire);
    if ((state & 1) && state != ReadMapHeader::kSpoiled && state != ReadMapHeader::kRetired) {
        const auto began = std::chrono::steady_clock::now();
        const int32_t changer = h.changer.load(std::memory_order_relaxed);
        while ((state = h.state.load(std::memory_order_acquire)) & 1) {
            if (state == ReadMapHeader::kSpoiled || state == ReadMapHeader::kRetired) break;
            if (!ProcessAlive(changer) || std::chrono::steady_clock::now() - began > kPreviousWriterWait) {
                // What the map holds of that writer's commit is unknown.
                h.state.compare_exchange_strong(state, ReadMapHeader::kSpoiled);
                return 0;
            }
            sched_yield();
        }
    }
    if (state & 1) return 0;
    if (!h.state.compare_exchange_strong(state, state + 1, std::memory_order_acq_rel)) return 0;
    h.changer.store(static_cast<int32_t>(ThisProcess()), std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (const KeyChange& change : changes) {
        if (!Apply(change)) {
            h.state.store(ReadMapHeader::kSpoiled, std::memory_order_release);
            return 0;
        }
    }
    return state + 1;
}

void ReadMap::EndChange(uint64_t ticket, bool committed) {
    uint64_t expected = ticket;
    header().state.compare_exchange_strong(expected, committed ? ticket + 1 : ReadMapHeader::kSpoiled,
                                           std::memory_order_acq_rel);
}

void ReadMap::Retire() { header().state.store(ReadMapHeader::kRetired, std::memory_order_release); }

void ReadMap::Spoil() {
    uint64_t state = header().state.load(std::memory_order_acquire);
    if (state != ReadMapHeader::kRetired) header().state.compare_exchange_strong(state, ReadMapHeader::kSpoiled);
}

bool ReadMap::Apply(const KeyChange& change) {
    switch (change.detail) {
    case ChangeDetail::ValueSet:
        return change.withData && SetValue(change.key, FoldName(change.name), change.type, change.data, true);
    case ChangeDetail::ValueDeleted:
        return SetValue(change.key, FoldName(change.name), 0, {}, false);
    case ChangeDetail::KeyCreated:
        return AddKey(change.subject, change.key, FoldName(change.name));
    case ChangeDetail::KeyDeleted:
        // The keys and values below it are not listed; a new map is built instead.
        return false;
    }
    return false;
}

uint64_t ReadMap::Allocate(std::size_t bytes) {
    ReadMapHeader& h = header();
    const uint64_t used = h.heapUsed.load(std::memory_order_relaxed);
    // Records start on 8 bytes: a slot holds their offset in 8-byte units.
    if (used % 8 != 0 || used < h.heapAt || used > bytes_ || bytes_ - used < bytes) return 0;
    h.heapUsed.store(used + RoundUp8(bytes), std::memory_order_relaxed);
    return used;
}

bool ReadMap::SetValue(int64_t key, std::string_view fold, DWORD type, std::string_view data, bool present) {
    ReadMapHeader& h = header();
    const Probe found = FindValueRecord(key, fold);
    // Damage the map cannot hold: its readers are unsure, and it is built anew.
    if (found.answer == Answer::Unsure) return false;
    if (found.answer == Answer::Found) {
        auto* record = const_cast<unsigned char*>(found.record);
        ReadMapValue v;
        std::memcpy(&v, record, sizeof v);
        if (!present || data.size() <= v.room) {
            v.present = present ? 1 : 0;
            if (present) {
                v.type = type;
                v.dataBytes = static_cast<uint32_t>(data.size());
                if (!data.empty()) std::memcpy(record + sizeof v + fold.size(), data.data(), data.size());
            }
            std::memcpy(record, &v, sizeof v);
            return true;
        }
        // Grown beyond its room: a record of its own, in the same slot.
    } else if (!present) {
        return true;  // a value the map does not hold is one the hive does not hold
    } else if (Crowded(h.valueCount.load(std::memory_order_relaxed), h.valueSlots)) {
        return false;
    }
    // Room for some growth, so that a value that changes size a little keeps its record.
    const std::size_t room = RoundUp8(data.size() + data.size() / 2 + 8);
    if (room > UINT32_MAX) return false;
    const uint64_t at = Allocate(sizeof(ReadMapValue) + fold.size() + room);
    if (at == 0) return false;
    const ReadMapValue v{key, static_cast<uint32_t>(fold.size()), type, static_cast<uint32_t>(data.size()),
                         static_cast<uint32_t>(room), 1, 0};
    std::memcpy(base_ + at, &v, sizeof v);
    std::memcpy(base_ + at + sizeof v, fold.data(), fold.size());
    if (!data.empty()) std::memcpy(base_ + at + sizeof v + fold.size(), data.data(), data.size());
    StoreSlot(base_ + h.valuesAt, found.index, MakeSlot(NameHash(key, fold), at));
    if (found.answer == Answer::Missing) h.valueCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool ReadMap::AddKey(int64_t id, int64_t parent, std::string_view fold) {
    ReadMapHeader& h = header();
    if (Crowded(h.keyCount.load(std::memory_order_relaxed), h.keySlots)) return false;
    // Both lookups must end at a free slot: a key the map holds already is one it cannot make.
    const Probe byId = FindKey(id), byName = FindChild(parent, fold);
    if (byId.answer != Answer::Missing || byName.answer != Answer::Missing) return false;
    const uint64_t at = Allocate(sizeof(ReadMapKey) + fold.size());
    if (at == 0) return false;
    const ReadMapKey k{id, parent, static_cast<uint32_t>(fold.size()), 0};
    std::memcpy(base_ + at, &k, sizeof k);
    std::memcpy(base_ + at + sizeof k, fold.data(), fold.size());
    StoreSlot(base_ + h.keysByIdAt, byId.index, MakeSlot(KeyIdHash(id), at));
    StoreSlot(base_ + h.keysByNameAt, byName.index, MakeSlot(NameHash(parent, fold), at));
    h.keyCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace zelreg
