// How a commit keeps the read map exact (see ReadMap.h). Every call here is made with the hive's
// write lock held, so only one process changes a map at a time; readers see the map as changing
// (its state odd) for as long as a change is under way.
#include <sched.h>
#include <signal.h>

#include <cerrno>
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

uint64_t LoadOwnSlot(const unsigned char* table, uint64_t index) {
    return __atomic_load_n(reinterpret_cast<const uint64_t*>(table) + index, __ATOMIC_RELAXED);
}

bool Alive(int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

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
            if (!Alive(changer) || std::chrono::steady_clock::now() - began > kPreviousWriterWait) {
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
    unsigned char* table = base_ + h.valuesAt;
    const uint64_t hash = NameHash(key, fold);
    const uint64_t mask = h.valueSlots - 1;
    uint64_t index = hash & mask;
    for (uint64_t probes = 0;; index = (index + 1) & mask, ++probes) {
        if (probes > mask) return false;
        const uint64_t slot = LoadOwnSlot(table, index);
        if (slot == 0) break;
        // A slot that leads outside the heap: the map is damaged (and its readers unsure).
        unsigned char* record = const_cast<unsigned char*>(Record(slot, sizeof(ReadMapValue)));
        if (!record) return false;
        if (!SlotTagMatches(slot, hash)) continue;
        ReadMapValue v;
        std::memcpy(&v, record, sizeof v);
        const std::size_t left = static_cast<std::size_t>(base_ + bytes_ - record) - sizeof v;
        if (left < v.foldBytes) return false;
        const std::string_view own(reinterpret_cast<const char*>(record + sizeof v), v.foldBytes);
        if (v.key != key || own != fold) {
            // A record that its slot's tag does not fit: the map is damaged.
            if (!SlotTagMatches(slot, NameHash(v.key, own))) return false;
            continue;
        }
        if (left - fold.size() < v.room || v.dataBytes > v.room) return false;
        if (present && data.size() > v.room) break;  // a record of its own, in this slot
        v.present = present ? 1 : 0;
        if (present) {
            v.type = type;
            v.dataBytes = static_cast<uint32_t>(data.size());
            if (!data.empty()) std::memcpy(record + sizeof v + fold.size(), data.data(), data.size());
        }
        std::memcpy(record, &v, sizeof v);
        return true;
    }
    // A value the map does not hold is one the hive does not hold.
    if (!present) return true;
    const bool replacing = LoadOwnSlot(table, index) != 0;
    if (!replacing && Crowded(h.valueCount.load(std::memory_order_relaxed), h.valueSlots)) return false;
    // Room for some growth, so that a value that changes size a little keeps its record.
    const std::size_t room = RoundUp8(data.size() + data.size() / 2 + 8);
    if (room > UINT32_MAX) return false;
    const uint64_t at = Allocate(sizeof(ReadMapValue) + fold.size() + room);
    if (at == 0) return false;
    ReadMapValue v{key, static_cast<uint32_t>(fold.size()), type, static_cast<uint32_t>(data.size()),
                   static_cast<uint32_t>(room), 1, 0};
    std::memcpy(base_ + at, &v, sizeof v);
    std::memcpy(base_ + at + sizeof v, fold.data(), fold.size());
    if (!data.empty()) std::memcpy(base_ + at + sizeof v + fold.size(), data.data(), data.size());
    StoreSlot(table, index, MakeSlot(hash, at));
    if (!replacing) h.valueCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool ReadMap::AddKey(int64_t id, int64_t parent, std::string_view fold) {
    ReadMapHeader& h = header();
    if (Crowded(h.keyCount.load(std::memory_order_relaxed), h.keySlots)) return false;
    const uint64_t mask = h.keySlots - 1;
    const uint64_t byId = KeyIdHash(id), byName = NameHash(parent, fold);
    const auto freeSlot = [&](const unsigned char* table, uint64_t hash, uint64_t& index) {
        index = hash & mask;
        for (uint64_t probes = 0; probes <= mask; index = (index + 1) & mask, ++probes) {
            const uint64_t slot = LoadOwnSlot(table, index);
            if (slot == 0) return true;
            if (!Record(slot, sizeof(ReadMapKey))) return false;
        }
        return false;
    };
    uint64_t idIndex = 0, nameIndex = 0;
    if (!freeSlot(base_ + h.keysByIdAt, byId, idIndex) || !freeSlot(base_ + h.keysByNameAt, byName, nameIndex)) {
        return false;
    }
    const uint64_t at = Allocate(sizeof(ReadMapKey) + fold.size());
    if (at == 0) return false;
    const ReadMapKey k{id, parent, static_cast<uint32_t>(fold.size()), 0};
    std::memcpy(base_ + at, &k, sizeof k);
    std::memcpy(base_ + at + sizeof k, fold.data(), fold.size());
    StoreSlot(base_ + h.keysByIdAt, idIndex, MakeSlot(byId, at));
    StoreSlot(base_ + h.keysByNameAt, nameIndex, MakeSlot(byName, at));
    h.keyCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

}  // namespace zelreg
