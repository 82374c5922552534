// Building a read map (see ReadMap.h) from what a transaction of the hive sees.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "BootId.h"
#include "HiveSchema.h"
#include "ReadMap.h"
#include "ReadMapRecords.h"
#include "Sqlite.h"

namespace zelreg {
namespace {

// Twice as many slots as entries at least, so that the map takes as many new entries again
// before it is crowded.
uint64_t SlotsFor(std::size_t entries) {
    uint64_t slots = 64;
    while (slots < entries * 2) slots *= 2;
    return slots;
}

bool WriteZeros(int fd, uint64_t bytes) {
    // An array, which no destructor takes away: maps are also built as the process exits.
    static const char zeros[1 << 16] = {};
    for (uint64_t at = 0; at < bytes;) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<uint64_t>(sizeof zeros, bytes - at));
        const ssize_t written = pwrite(fd, zeros, chunk, static_cast<off_t>(at));
        if (written <= 0) return false;
        at += static_cast<uint64_t>(written);
    }
    return true;
}

// What the hive holds of keys and values, for the map's size, without holding the rows.
struct Totals {
    uint64_t keys = 0;
    uint64_t values = 0;
    uint64_t heap = 0;  // at most what their records take
};

Totals CountRows(Connection& db) {
    Totals totals;
    Query q(db,
            "SELECT kind, count(*), coalesce(sum(length(CAST(fold AS BLOB))), 0), coalesce(sum(length(data)), 0) "
            "FROM cells "
            "WHERE kind IN (1, 2) GROUP BY kind");
    while (q.Step()) {
        const auto count = static_cast<uint64_t>(q.Int(1));
        const auto folds = static_cast<uint64_t>(q.Int(2)), data = static_cast<uint64_t>(q.Int(3));
        if (q.Int(0) == 2) {
            totals.keys = count;
            totals.heap += count * (sizeof(ReadMapKey) + 7) + folds;
        } else {
            // As SetValue allocates: the record, the name, room for half as much data again.
            totals.values = count;
            totals.heap += count * (sizeof(ReadMapValue) + 8 + 7) + folds + data + data / 2;
        }
    }
    return totals;
}

}  // namespace

bool ReadMap::Build(Connection& db, const std::string& path, const struct stat& hive) {
    const Totals totals = CountRows(db);
    const uint64_t keys = totals.keys, values = totals.values, heap = totals.heap;
    const uint64_t keySlots = SlotsFor(keys), valueSlots = SlotsFor(values);
    const uint64_t keysByIdAt = RoundUp8(sizeof(ReadMapHeader));
    const uint64_t keysByNameAt = keysByIdAt + keySlots * 8;
    const uint64_t valuesAt = keysByNameAt + keySlots * 8;
    const uint64_t heapAt = valuesAt + valueSlots * 8;
    // Room for as much again as the hive holds now, for the changes to come.
    const uint64_t bytes = heapAt + 2 * heap + 65536;
    if (bytes > kReadMapMaxBytes) return false;

    const std::string building = path + ".new";
    unlink(building.c_str());
    const int fd = open(building.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    void* mapped = MAP_FAILED;
    // Written in full first, as SQLite makes its index file: a map that the disk has no room for
    // is never mapped, and a write to the mapping finds its blocks there (where fallocate() would
    // leave blocks that a write must still convert). A file system that copies on write needs
    // room for every write all the same; there a full disk can fault a writer, as it can on the
    // lock files.
    if (WriteZeros(fd, bytes)) mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) {
        unlink(building.c_str());
        return false;
    }
    std::unique_ptr<ReadMap> map(new ReadMap(static_cast<unsigned char*>(mapped), bytes));
    ReadMapHeader& h = map->header();
    std::memcpy(h.magic, ReadMapHeader::kMagic, sizeof h.magic);
    h.layout = sizeof(ReadMapHeader);
    h.format = kHiveFormat;
    // The rest of the field stays zero: the file was written with zeros.
    const std::string_view boot = BootId();
    std::memcpy(h.boot, boot.data(), std::min(boot.size(), sizeof h.boot - 1));
    h.hiveDevice = static_cast<uint64_t>(hive.st_dev);
    h.hiveInode = static_cast<uint64_t>(hive.st_ino);
    h.fileBytes = bytes;
    h.keySlots = keySlots;
    h.keysByIdAt = keysByIdAt;
    h.keysByNameAt = keysByNameAt;
    h.valueSlots = valueSlots;
    h.valuesAt = valuesAt;
    h.heapAt = heapAt;
    h.heapUsed.store(heapAt);
    map->Stamp(hive);
    // Made while no reader can see it: the same code as a commit's changes fills it.
    h.state.store(1);
    // Rows straight from the hive into the map: a build holds no copy of the hive in memory.
    bool filled = true;
    {
        Query q(db, "SELECT key, coalesce(parent, 0), fold FROM cells WHERE kind = 2");
        while (filled && q.Step()) filled = map->AddKey(q.Int(0), q.Int(1), q.Text(2));
    }
    {
        Query q(db, "SELECT key, fold, type, data FROM cells WHERE kind = 1");
        while (filled && q.Step()) filled = map->SetValue(q.Int(0), q.Text(1), static_cast<DWORD>(q.Int(2)), q.Blob(3), true);
    }
    h.state.store(filled ? 2 : ReadMapHeader::kSpoiled);
    map.reset();
    if (!filled || rename(building.c_str(), path.c_str()) != 0) {
        unlink(building.c_str());
        return false;
    }
    return true;
}

}  // namespace zelreg
