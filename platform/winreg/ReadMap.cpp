#include "ReadMap.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "BootId.h"
#include "FileTrust.h"
#include "HiveSchema.h"
#include "ProcessId.h"
#include "ReadMapRecords.h"

namespace zelreg {
namespace {

// A reader that finds the map being changed looks again this many times (a change is over in
// microseconds) before it leaves the read to the hive.
constexpr int kReadAttempts = 200;
constexpr int kSpinsBeforeYield = 20;

uint64_t LoadSlot(const unsigned char* table, uint64_t index) {
    return __atomic_load_n(reinterpret_cast<const uint64_t*>(table) + index, __ATOMIC_RELAXED);
}

bool IsPowerOfTwo(uint64_t n) { return n != 0 && (n & (n - 1)) == 0; }

// Whether [at, at + count * 8) lies within [from, to), without overflow.
bool TableFits(uint64_t at, uint64_t count, uint64_t from, uint64_t to) {
    return at % 8 == 0 && at >= from && at <= to && count <= (to - at) / 8;
}

bool HeaderIsSound(const ReadMapHeader& h, std::size_t bytes, const struct stat& hive) {
    if (std::memcmp(h.magic, ReadMapHeader::kMagic, sizeof h.magic) != 0) return false;
    if (h.layout != sizeof(ReadMapHeader) || h.format != kHiveFormat || h.fileBytes != bytes) return false;
    if (h.hiveDevice != static_cast<uint64_t>(hive.st_dev) || h.hiveInode != static_cast<uint64_t>(hive.st_ino)) return false;
    const std::string_view boot = BootId();
    if (!BootIdKnown() || boot.size() >= sizeof h.boot || std::memcmp(h.boot, boot.data(), boot.size()) != 0 ||
        h.boot[boot.size()] != '\0') {
        return false;
    }
    if (!IsPowerOfTwo(h.keySlots) || !IsPowerOfTwo(h.valueSlots)) return false;
    if (!TableFits(h.keysByIdAt, h.keySlots, sizeof(ReadMapHeader), h.heapAt)) return false;
    if (!TableFits(h.keysByNameAt, h.keySlots, h.keysByIdAt + h.keySlots * 8, h.heapAt)) return false;
    if (!TableFits(h.valuesAt, h.valueSlots, h.keysByNameAt + h.keySlots * 8, h.heapAt)) return false;
    return h.heapAt % 8 == 0 && h.heapAt <= bytes;
}

}  // namespace

std::unique_ptr<ReadMap> ReadMap::Open(const std::string& path, const struct stat& hive) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return nullptr;
    struct stat st {};
    void* mapped = MAP_FAILED;
    if (fstat(fd, &st) == 0 && UntrustedFile(st, true).empty() && st.st_size >= static_cast<off_t>(sizeof(ReadMapHeader)) &&
        static_cast<uint64_t>(st.st_size) <= kReadMapMaxBytes) {
        mapped = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    close(fd);
    if (mapped == MAP_FAILED) return nullptr;
    std::unique_ptr<ReadMap> map(new ReadMap(static_cast<unsigned char*>(mapped), static_cast<std::size_t>(st.st_size)));
    if (!HeaderIsSound(map->header(), map->bytes_, hive)) return nullptr;
    return map;
}

ReadMap::~ReadMap() { munmap(base_, bytes_); }

bool ReadMap::Current() const { return (header().state.load(std::memory_order_acquire) & 1) == 0; }

namespace {

int64_t Modified(const struct stat& st) { return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

}  // namespace

bool ReadMap::Stamped(const struct stat& hive) const {
    for (const auto& checkpointer : header().checkpointers) {
        if (checkpointer.load(std::memory_order_acquire) != 0) return true;
    }
    return header().hiveBytes.load(std::memory_order_acquire) == static_cast<uint64_t>(hive.st_size) &&
           header().hiveModified.load(std::memory_order_acquire) == Modified(hive);
}

void ReadMap::CheckpointBegins() {
    const int32_t own = static_cast<int32_t>(ThisProcess());
    for (auto& checkpointer : header().checkpointers) {
        int32_t free = 0;
        if (checkpointer.compare_exchange_strong(free, own, std::memory_order_acq_rel)) return;
    }
    // All listed (SQLite runs one checkpoint at a time, so they hardly can be): a stamp that then
    // misses the file costs a new map, nothing worse.
}

void ReadMap::CheckpointEnded(const struct stat& hive) {
    Stamp(hive);
    const int32_t own = static_cast<int32_t>(ThisProcess());
    bool ownTaken = false;
    for (auto& checkpointer : header().checkpointers) {
        int32_t listed = checkpointer.load(std::memory_order_acquire);
        // One mark of this process, and those of processes that died in a checkpoint.
        const bool mine = listed == own && !ownTaken;
        if (listed == 0 || !(mine || !ProcessAlive(listed))) continue;
        if (checkpointer.compare_exchange_strong(listed, 0, std::memory_order_acq_rel) && mine) ownTaken = true;
    }
}

void ReadMap::Stamp(const struct stat& hive) {
    header().hiveBytes.store(static_cast<uint64_t>(hive.st_size), std::memory_order_release);
    header().hiveModified.store(Modified(hive), std::memory_order_release);
}

bool ReadMap::Retired() const { return header().state.load(std::memory_order_acquire) == ReadMapHeader::kRetired; }

const unsigned char* ReadMap::Record(uint64_t slot, std::size_t fixedBytes) const {
    const uint64_t offset = SlotOffset(slot);
    if (offset < header().heapAt || offset > bytes_ || bytes_ - offset < fixedBytes) return nullptr;
    return base_ + offset;
}

namespace {

// Runs `look` while the map stays current, until one run saw no change: its answer, or Unsure.
template <class Look>
ReadMap::Answer Consistently(const ReadMapHeader& header, Look&& look) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const uint64_t before = header.state.load(std::memory_order_acquire);
        if (before == ReadMapHeader::kSpoiled || before == ReadMapHeader::kRetired) return ReadMap::Answer::Unsure;
        if ((before & 1) == 0) {
            const ReadMap::Answer answer = look();
            std::atomic_thread_fence(std::memory_order_acquire);
            if (header.state.load(std::memory_order_relaxed) == before) return answer;
        }
        if (attempt >= kSpinsBeforeYield) sched_yield();
    }
    return ReadMap::Answer::Unsure;
}

}  // namespace

// The lookups below read a file that a writer may be changing: each field is copied out once and
// checked before it is used, and the caller's state check throws away whatever a change tore.
// What a sound map never holds makes the answer Unsure, never Missing: so a map damaged in place
// (garbage over its tables or its records) sends the read to the hive instead of answering that
// a key or value is not there.

std::optional<std::string_view> ReadMap::NameAfter(const unsigned char* name, uint32_t bytes) const {
    if (static_cast<std::size_t>(base_ + bytes_ - name) < bytes) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(name), bytes);
}

template <class Matches>
ReadMap::Probe ReadMap::Find(uint64_t tableAt, uint64_t slots, uint64_t hash, std::size_t fixedBytes,
                             Matches&& matches) const {
    const uint64_t mask = slots - 1;
    for (uint64_t i = hash & mask, probes = 0; probes <= mask; i = (i + 1) & mask, ++probes) {
        const uint64_t slot = LoadSlot(base_ + tableAt, i);
        if (slot == 0) return Probe{Answer::Missing, i, nullptr};
        const unsigned char* record = Record(slot, fixedBytes);
        if (!record) return Probe{Answer::Unsure, i, nullptr};
        if (!SlotTagMatches(slot, hash)) continue;
        const Answer answer = matches(record, slot);
        if (answer != Answer::Missing) return Probe{answer, i, record};
    }
    return Probe{Answer::Unsure, 0, nullptr};
}

ReadMap::Probe ReadMap::FindKey(int64_t id) const {
    const ReadMapHeader& h = header();
    return Find(h.keysByIdAt, h.keySlots, KeyIdHash(id), sizeof(ReadMapKey), [&](const unsigned char* record, uint64_t slot) {
        ReadMapKey k;
        std::memcpy(&k, record, sizeof k);
        if (k.id == id) return Answer::Found;
        return SlotTagMatches(slot, KeyIdHash(k.id)) ? Answer::Missing : Answer::Unsure;
    });
}

ReadMap::Probe ReadMap::FindChild(int64_t parent, std::string_view fold) const {
    const ReadMapHeader& h = header();
    return Find(h.keysByNameAt, h.keySlots, NameHash(parent, fold), sizeof(ReadMapKey),
                [&](const unsigned char* record, uint64_t slot) {
                    ReadMapKey k;
                    std::memcpy(&k, record, sizeof k);
                    const std::optional<std::string_view> own = NameAfter(record + sizeof k, k.foldBytes);
                    if (!own) return Answer::Unsure;
                    if (k.parent == parent && *own == fold) return Answer::Found;
                    return SlotTagMatches(slot, NameHash(k.parent, *own)) ? Answer::Missing : Answer::Unsure;
                });
}

ReadMap::Probe ReadMap::FindValueRecord(int64_t key, std::string_view fold) const {
    const ReadMapHeader& h = header();
    return Find(h.valuesAt, h.valueSlots, NameHash(key, fold), sizeof(ReadMapValue),
                [&](const unsigned char* record, uint64_t slot) {
                    ReadMapValue v;
                    std::memcpy(&v, record, sizeof v);
                    const std::optional<std::string_view> own = NameAfter(record + sizeof v, v.foldBytes);
                    if (!own) return Answer::Unsure;
                    if (v.key != key || *own != fold) {
                        return SlotTagMatches(slot, NameHash(v.key, *own)) ? Answer::Missing : Answer::Unsure;
                    }
                    // The data's room after the name lies within the file too.
                    const auto left = static_cast<std::size_t>(base_ + bytes_ - record) - sizeof v - fold.size();
                    return v.dataBytes > v.room || left < v.room ? Answer::Unsure : Answer::Found;
                });
}

ReadMap::Answer ReadMap::FindPath(int64_t from, const std::vector<std::string>& folds, int64_t& key) const {
    return Consistently(header(), [&] {
        const Answer root = FindKey(from).answer;
        if (root != Answer::Found) return root == Answer::Missing ? Answer::KeyGone : root;
        int64_t at = from;
        for (const std::string& fold : folds) {
            const Probe child = FindChild(at, fold);
            if (child.answer != Answer::Found) return child.answer;
            ReadMapKey k;
            std::memcpy(&k, child.record, sizeof k);
            at = k.id;
        }
        key = at;
        return Answer::Found;
    });
}

ReadMap::Answer ReadMap::FindValue(int64_t key, std::string_view fold, DWORD& type, std::string& data) const {
    return Consistently(header(), [&] {
        // A current map holds values of existing keys only (a key that goes spoils it), so the
        // key is looked for only when its value is not there.
        const Probe value = FindValueRecord(key, fold);
        if (value.answer == Answer::Unsure) return Answer::Unsure;
        ReadMapValue v{};
        if (value.answer == Answer::Found) std::memcpy(&v, value.record, sizeof v);
        if (!v.present) {
            const Answer owner = FindKey(key).answer;
            if (owner != Answer::Found) return owner == Answer::Missing ? Answer::KeyGone : owner;
            return Answer::Missing;
        }
        type = v.type;
        data.assign(reinterpret_cast<const char*>(value.record + sizeof v + fold.size()), v.dataBytes);
        return Answer::Found;
    });
}

}  // namespace zelreg
