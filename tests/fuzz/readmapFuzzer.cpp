// The read map (platform/winreg/ReadMap.h) on any file content: the input is the map file. The
// header fields that no input could guess (magic, layout, format, boot, the hive file's device
// and inode, the file size, the stamp) are set so that ReadMap::Open takes the file; the slot
// tables, the state word, the heap offsets and the records are the input's. Each input is then
// looked up (keys and values the input's own records name, and a few others), changed by a
// commit's changes, and looked up again: nothing may crash, reach outside the file or hang, and
// a change the map took must read back exactly.
//
// The file is mapped by ReadMap::Open; in this target its mmap() is FuzzMapFile below (see
// CMakeLists.txt), which puts inaccessible pages on both sides of the mapping and poisons the
// rest of its last page, so that any read or write outside the file's bytes is caught.
//
// With ZEL_READMAP_SEEDS=<dir> set, the target writes the seed maps of corpus-readmap/ to that
// directory and exits.
#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/winreg/BootId.h"
#include "platform/winreg/HiveSchema.h"
#include "platform/winreg/ReadMap.h"
#include "platform/winreg/ReadMapRecords.h"
#include "platform/winreg/RegNames.h"

using zelreg::ChangeDetail;
using zelreg::KeyChange;
using zelreg::ReadMap;
using zelreg::ReadMapHeader;
using zelreg::ReadMapKey;
using zelreg::ReadMapValue;

namespace {

constexpr std::size_t kPage = 4096;

struct Reservation {
    unsigned char* start;
    std::size_t bytes;
};
std::map<void*, Reservation> g_reservations;

std::size_t PageRound(std::size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

}  // namespace

// The map's mmap and munmap in this target: the file between two inaccessible pages.
extern "C" void* FuzzMapFile(void* address, size_t bytes, int protection, int flags, int fd, off_t offset) {
    const std::size_t inner = PageRound(bytes), outer = inner + 2 * kPage;
    void* reserved = mmap(nullptr, outer, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) return MAP_FAILED;
    auto* start = static_cast<unsigned char*>(reserved);
    void* mapped = mmap(start + kPage, bytes, protection, flags | MAP_FIXED, fd, offset);
    if (mapped == MAP_FAILED || address) {
        munmap(reserved, outer);
        return MAP_FAILED;
    }
    // The bytes between the file's end and its last page's end read as zeros: poisoned.
    ASAN_POISON_MEMORY_REGION(start + kPage + bytes, inner - bytes);
    g_reservations[mapped] = Reservation{start, outer};
    return mapped;
}

extern "C" int FuzzUnmapFile(void* address, size_t bytes) {
    const auto found = g_reservations.find(address);
    if (found == g_reservations.end()) std::abort();
    const std::size_t inner = PageRound(bytes);
    if (found->second.bytes != inner + 2 * kPage) std::abort();
    ASAN_UNPOISON_MEMORY_REGION(static_cast<unsigned char*>(address) + bytes, inner - bytes);
    const int rc = munmap(found->second.start, found->second.bytes);
    g_reservations.erase(found);
    return rc;
}

namespace {

std::string g_hivePath, g_mapPath;
struct stat g_hive {};

int64_t Modified(const struct stat& st) { return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

// The header fields the store would have written for this hive file in this boot.
void MakeTrusted(ReadMapHeader& h, std::size_t fileBytes, bool stamped) {
    std::memcpy(h.magic, ReadMapHeader::kMagic, sizeof h.magic);
    h.layout = sizeof(ReadMapHeader);
    h.format = zelreg::kHiveFormat;
    std::memset(h.boot, 0, sizeof h.boot);
    const std::string_view boot = zelreg::BootId();
    std::memcpy(h.boot, boot.data(), std::min(boot.size(), sizeof h.boot - 1));
    h.hiveDevice = static_cast<uint64_t>(g_hive.st_dev);
    h.hiveInode = static_cast<uint64_t>(g_hive.st_ino);
    h.fileBytes = fileBytes;
    if (stamped) {
        h.hiveBytes.store(static_cast<uint64_t>(g_hive.st_size));
        h.hiveModified.store(Modified(g_hive));
    }
}

void WriteMapFile(const std::vector<unsigned char>& bytes) {
    const int fd = open(g_mapPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || close(fd) != 0) {
        std::abort();
    }
}

struct Named {
    int64_t owner;
    std::string fold;
    int64_t id;  // a key's own id
};

// The keys and values that the slots of a table name, read from the input with checks of its own.
std::vector<Named> RecordsOf(const std::vector<unsigned char>& bytes, uint64_t tableAt, uint64_t slots, bool values) {
    std::vector<Named> found;
    const ReadMapHeader& h = *reinterpret_cast<const ReadMapHeader*>(bytes.data());
    if (tableAt > bytes.size() || slots > (bytes.size() - tableAt) / 8) return found;
    for (uint64_t i = 0; i < slots && found.size() < 16; ++i) {
        uint64_t slot;
        std::memcpy(&slot, bytes.data() + tableAt + i * 8, 8);
        const uint64_t at = zelreg::SlotOffset(slot);
        if (slot == 0 || at < h.heapAt || at > bytes.size()) continue;
        const std::size_t left = bytes.size() - at;
        if (values) {
            ReadMapValue v;
            if (left < sizeof v) continue;
            std::memcpy(&v, bytes.data() + at, sizeof v);
            if (left - sizeof v < v.foldBytes) continue;
            found.push_back(Named{v.key, std::string(reinterpret_cast<const char*>(bytes.data() + at + sizeof v), v.foldBytes), 0});
        } else {
            ReadMapKey k;
            if (left < sizeof k) continue;
            std::memcpy(&k, bytes.data() + at, sizeof k);
            if (left - sizeof k < k.foldBytes) continue;
            found.push_back(Named{k.parent, std::string(reinterpret_cast<const char*>(bytes.data() + at + sizeof k), k.foldBytes), k.id});
        }
    }
    return found;
}

void Look(const ReadMap& map, const std::vector<Named>& keys, const std::vector<Named>& values) {
    int64_t key = 0;
    DWORD type = 0;
    std::string data;
    (void)map.Current();
    (void)map.Stamped(g_hive);
    (void)map.Retired();
    for (int64_t id : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{-1}}) {
        (void)map.FindPath(id, {}, key);
        (void)map.FindPath(id, {"software", "x"}, key);
        (void)map.FindValue(id, "v", type, data);
        (void)map.FindValue(id, "", type, data);
    }
    for (const Named& k : keys) {
        (void)map.FindPath(k.id, {}, key);
        (void)map.FindPath(k.owner, {k.fold}, key);
        (void)map.FindPath(k.owner, {k.fold, "child"}, key);
    }
    for (const Named& v : values) (void)map.FindValue(v.owner, v.fold, type, data);
}

// A map of `keySlots` and `valueSlots` slots with room for `heap` bytes of records, empty.
std::vector<unsigned char> EmptyMap(uint64_t keySlots, uint64_t valueSlots, uint64_t heap) {
    const uint64_t keysByIdAt = zelreg::RoundUp8(sizeof(ReadMapHeader));
    const uint64_t heapAt = keysByIdAt + (2 * keySlots + valueSlots) * 8;
    std::vector<unsigned char> bytes(heapAt + heap);
    auto& h = *reinterpret_cast<ReadMapHeader*>(bytes.data());
    h.keySlots = keySlots;
    h.keysByIdAt = keysByIdAt;
    h.keysByNameAt = keysByIdAt + keySlots * 8;
    h.valueSlots = valueSlots;
    h.valuesAt = h.keysByNameAt + keySlots * 8;
    h.heapAt = heapAt;
    h.heapUsed.store(heapAt);
    h.state.store(2);
    return bytes;
}

KeyChange Set(int64_t key, std::string_view name, std::string data) {
    KeyChange change(key, ChangeDetail::ValueSet, name);
    change.withData = true;
    change.type = 1;
    change.data = std::move(data);
    return change;
}

// Writes the seeds: maps that the map's own change code filled, so that their slots and records
// agree (which no input could hit by chance), each with its boot and hive fields left for the
// target to set.
void WriteSeeds(const std::string& dir) {
    const struct {
        const char* name;
        uint64_t keySlots, valueSlots, heap;
        zelreg::ChangeSet changes;
    } seeds[] = {
        {"empty", 8, 8, 64, {}},
        {"keys-and-values",
         8,
         16,
         1024,
         {KeyChange(0, ChangeDetail::KeyCreated, "", 1), KeyChange(1, ChangeDetail::KeyCreated, "Software", 2),
          KeyChange(2, ChangeDetail::KeyCreated, "X", 3), Set(3, "v", "one"), Set(3, "", "default"),
          Set(2, "Long", std::string(40, 'd')), KeyChange(3, ChangeDetail::ValueDeleted, "gone")}},
        {"crowded",
         4,
         4,
         512,
         {KeyChange(0, ChangeDetail::KeyCreated, "", 1), KeyChange(1, ChangeDetail::KeyCreated, "a", 2),
          Set(1, "v", "1"), Set(2, "v", "2"), Set(2, "w", "22")}},
    };
    std::filesystem::create_directories(dir);
    for (const auto& seed : seeds) {
        std::vector<unsigned char> bytes = EmptyMap(seed.keySlots, seed.valueSlots, seed.heap);
        MakeTrusted(*reinterpret_cast<ReadMapHeader*>(bytes.data()), bytes.size(), true);
        WriteMapFile(bytes);
        {
            const std::unique_ptr<ReadMap> map = ReadMap::Open(g_mapPath, g_hive);
            if (!map) std::abort();
            map->EndChange(map->BeginChange(seed.changes), true);
            if (!map->Current()) std::abort();
        }
        std::ifstream in(g_mapPath, std::ios::binary);
        std::vector<char> made((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // What the target sets anyway is left out of the seed.
        auto& h = *reinterpret_cast<ReadMapHeader*>(made.data());
        std::memset(h.magic, 0, sizeof h.magic);
        std::memset(h.boot, 0, sizeof h.boot);
        h.hiveDevice = h.hiveInode = h.fileBytes = 0;
        h.hiveBytes.store(0);
        h.hiveModified.store(0);
        std::ofstream(dir + "/" + seed.name, std::ios::binary).write(made.data(), static_cast<std::streamsize>(made.size()));
    }
}

void RemoveFiles() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(g_hivePath).parent_path(), ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "zelreg-fuzz-readmap-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    g_hivePath = pattern + "/user.hive";
    g_mapPath = g_hivePath + "-readmap";
    std::atexit(RemoveFiles);
    std::ofstream(g_hivePath) << "a hive file, as far as the map can tell";
    if (stat(g_hivePath.c_str(), &g_hive) != 0) std::abort();
    // The map is never used where the boot is unknown: nothing would be looked at.
    if (!zelreg::BootIdKnown()) std::abort();
    if (const char* seeds = std::getenv("ZEL_READMAP_SEEDS")) {
        WriteSeeds(seeds);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return -1;
    std::vector<unsigned char> bytes(data, data + size);
    // The header's last byte, which padding leaves unused, says whether the stamp is the hive's.
    const bool stamped = size < sizeof(ReadMapHeader) || (data[sizeof(ReadMapHeader) - 1] & 1) == 0;
    if (bytes.size() < sizeof(ReadMapHeader)) bytes.resize(sizeof(ReadMapHeader));
    auto& h = *reinterpret_cast<ReadMapHeader*>(bytes.data());
    MakeTrusted(h, bytes.size(), stamped);
    // A change that a live process has under way is waited for (5 ms); one of a process that is
    // gone is not.
    h.changer.store(0);
    const std::vector<Named> keys = RecordsOf(bytes, h.keysByNameAt, h.keySlots, false);
    const std::vector<Named> values = RecordsOf(bytes, h.valuesAt, h.valueSlots, true);
    WriteMapFile(bytes);

    const std::unique_ptr<ReadMap> map = ReadMap::Open(g_mapPath, g_hive);
    if (!map) return 0;
    Look(*map, keys, values);

    // A commit's changes, on keys the input names where it names some.
    const int64_t key = values.empty() ? 3 : values[0].owner;
    const int64_t parent = keys.empty() ? 2 : keys[0].id;
    const std::string longer(values.size() > 1 ? 100 : 3, 'n');
    zelreg::ChangeSet changes{Set(key, "fuzzset", "abc"), KeyChange(key, ChangeDetail::ValueDeleted, "fuzzgone"),
                              KeyChange(parent, ChangeDetail::KeyCreated, "FuzzKey", 0x7F00)};
    std::string existing;
    if (values.size() > 1) {
        changes.push_back(Set(values[1].owner, values[1].fold, longer));
        existing = zelreg::FoldName(values[1].fold);
    }
    if (values.size() > 2) changes.push_back(KeyChange(values[2].owner, ChangeDetail::ValueDeleted, values[2].fold));
    const bool commit = size == 0 || (data[size - 1] & 1) == 0;
    const uint64_t ticket = map->BeginChange(changes);
    map->EndChange(ticket, commit);
    const std::string deleted = values.size() > 2 ? zelreg::FoldName(values[2].fold) : std::string();
    if (ticket != 0 && commit) {
        // What the map took reads back exactly, unless the map cannot tell (a key it does not
        // hold, a damaged record): never a wrong value, never one missing.
        DWORD type = 0;
        std::string read;
        const ReadMap::Answer set = map->FindValue(key, zelreg::FoldName("fuzzset"), type, read);
        if (set == ReadMap::Answer::Missing) std::abort();
        if (set == ReadMap::Answer::Found && (type != 1 || read != "abc")) std::abort();
        if (map->FindValue(key, zelreg::FoldName("fuzzgone"), type, read) == ReadMap::Answer::Found) std::abort();
        // (The last change of a value is the one that counts.)
        const bool same = values.size() > 2 && values[2].owner == values[1].owner && deleted == existing;
        if (values.size() > 2 && map->FindValue(values[2].owner, deleted, type, read) == ReadMap::Answer::Found) std::abort();
        if (values.size() > 1 && !same) {
            const ReadMap::Answer changed = map->FindValue(values[1].owner, existing, type, read);
            if (changed == ReadMap::Answer::Missing) std::abort();
            if (changed == ReadMap::Answer::Found && read != longer) std::abort();
        }
        int64_t child = 0;
        if (map->FindPath(parent, {zelreg::FoldName("FuzzKey")}, child) == ReadMap::Answer::Missing) std::abort();
    }
    Look(*map, keys, values);
    return 0;
}
