// A copy of a user hive's keys and values in a file beside it (the hive file's name + "-readmap"),
// laid out as hash tables that every process maps and reads directly: a new process that only
// opens keys and reads values answers from it without opening SQLite at all, which would cost
// it more than a hundred reads.
//
// The map is exact or it is not used. Every commit keeps it exact: with the hive's write lock
// held, the writer marks the map as changing (its state odd), applies what the commit changes,
// commits, and marks it current again (even) only then. A reader takes the state before and after
// it looks; an odd state, or one that moved, sends it to the hive. A change the map cannot take
// (a deleted key, a full table) spoils it for good, and so does a writer that dies with the map
// marked as changing: the next writer finds it so and spoils it. A spoiled map is built anew from
// the hive (Build), with the write lock held throughout, and published under the old one's name;
// the old one is marked retired, so that those who still have it mapped look for the new one.
//
// The map names the boot it was made in (its volatile keys die with the boot) and the hive file
// it mirrors (device and inode): a map of another boot or another file is never used. It also
// holds the hive file's size and modification time as the last checkpoint of a process of the
// store left them: a process reads through the map only while the file still shows them, so
// that a hive file changed behind the store's back (damaged, cut short, written by another
// program) is opened and looked at instead. Every
// offset read from the file is checked against the mapping, so a damaged or half-changed file
// can make a read come out unsure, never crash it.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../win32/ZelWinTypes.h"
#include "KeyChange.h"

namespace zelreg {

class Connection;

struct ReadMapHeader {
    static constexpr char kMagic[8] = {'Z', 'E', 'L', 'R', 'M', 'A', 'P', '1'};
    // States that no count reaches: both odd, so that readers never take them for current.
    static constexpr uint64_t kSpoiled = ~uint64_t{0};
    static constexpr uint64_t kRetired = ~uint64_t{0} - 2;

    char magic[8];
    uint32_t layout;  // sizeof(ReadMapHeader)
    uint32_t format;  // the hive format it mirrors
    char boot[48];    // the boot id it was made in, NUL-padded
    uint64_t hiveDevice;
    uint64_t hiveInode;
    uint64_t fileBytes;
    // The three tables of slots: a power of two each; a slot is 0 (free) or a record's offset in
    // 8-byte units (low half) and a tag from its hash (high half).
    uint64_t keySlots;
    uint64_t keysByIdAt;
    uint64_t keysByNameAt;
    uint64_t valueSlots;
    uint64_t valuesAt;
    uint64_t heapAt;  // records, up to fileBytes
    std::atomic<uint64_t> state;     // even: current; odd: being changed, spoiled or retired
    std::atomic<uint64_t> heapUsed;  // where the next record goes
    std::atomic<uint64_t> keyCount;
    std::atomic<uint64_t> valueCount;
    std::atomic<int32_t> changer;  // the process that made the state odd
    std::atomic<uint64_t> hiveBytes;
    std::atomic<int64_t> hiveModified;  // nanoseconds
    // The processes checkpointing the hive (a process once for each checkpoint it runs), each of
    // which changes the hive file before it stamps the map: while one is listed, the file's stamp
    // is not looked at. One that died in its checkpoint stays listed until the next checkpoint's
    // stamp, which takes in what it changed.
    static constexpr int kCheckpointers = 8;
    std::atomic<int32_t> checkpointers[kCheckpointers];
};

class ReadMap {
public:
    // The map at `path`, when it mirrors the hive file `hive` (from stat) in this boot and passes
    // its checks; null when there is none or it may not be used (a file of another user, one
    // others may write, a damaged one).
    static std::unique_ptr<ReadMap> Open(const std::string& path, const struct stat& hive);

    // Writes a map of everything the caller's transaction on `db` sees to `path`, replacing any
    // map there; the caller holds the hive's write lock. False, changing nothing, when the file
    // cannot be written (the disk is full).
    static bool Build(Connection& db, const std::string& path, const struct stat& hive);

    ReadMap(const ReadMap&) = delete;
    ReadMap& operator=(const ReadMap&) = delete;
    ~ReadMap();

    enum class Answer { Unsure, Found, Missing, KeyGone };
    // The key that the folded names lead to below `from`: Found (with `key`), Missing, or KeyGone
    // when `from` itself no longer exists. Unsure when the map is not current.
    Answer FindPath(int64_t from, const std::vector<std::string>& folds, int64_t& key) const;
    // A value of `key` by its folded name.
    Answer FindValue(int64_t key, std::string_view fold, DWORD& type, std::string& data) const;

    // Current now (no change under way, neither spoiled nor retired).
    bool Current() const;
    // Whether the hive file shows the size and time the map holds, or a checkpoint is changing it
    // (or was, when its process died). Stamp sets them; a checkpoint is counted from its start to
    // the stamp after it.
    bool Stamped(const struct stat& hive) const;
    void Stamp(const struct stat& hive);
    void CheckpointBegins();
    void CheckpointEnded(const struct stat& hive);
    bool Retired() const;

    // For a commit, with the hive's write lock held: marks the map as changing and applies the
    // changes. Returns the ticket to end the change with, or 0 when the map does not mirror the
    // hive any more (it is then spoiled, or was already).
    uint64_t BeginChange(const ChangeSet& changes);
    // After the commit, or after it failed (then the map is spoiled).
    void EndChange(uint64_t ticket, bool committed);
    // A newer map has taken this one's place.
    void Retire();
    // The hive changed in a way the map was not told of.
    void Spoil();

private:
    ReadMap(unsigned char* base, std::size_t bytes) : base_(base), bytes_(bytes) {}
    ReadMapHeader& header() const { return *reinterpret_cast<ReadMapHeader*>(base_); }
    // The record a slot points to, or null when it lies outside the heap (a damaged slot).
    const unsigned char* Record(uint64_t slot, std::size_t fixedBytes) const;
    // The name of `bytes` that starts at `name`, after a record's fixed part; nothing when it runs
    // past the file.
    std::optional<std::string_view> NameAfter(const unsigned char* name, uint32_t bytes) const;
    // Where a lookup in one of the tables ended: at the record that matched (Found), at the free
    // slot where it would go (Missing), or at something a sound map never holds (Unsure: a slot
    // outside the heap, a record that its slot's tag does not fit, a table without a free slot).
    struct Probe {
        Answer answer;
        uint64_t index;                // of the slot
        const unsigned char* record;  // when Found
    };
    // Walks the slots of `hash` in the table at `tableAt`: `matches(record, slot)` tells of each
    // record whose slot's tag fits whether it is the one (Found), another (Missing), or damaged.
    template <class Matches>
    Probe Find(uint64_t tableAt, uint64_t slots, uint64_t hash, std::size_t fixedBytes, Matches&& matches) const;
    Probe FindKey(int64_t id) const;
    Probe FindChild(int64_t parent, std::string_view fold) const;
    // A Found value's record also has room for its data within the file.
    Probe FindValueRecord(int64_t key, std::string_view fold) const;
    bool Apply(const KeyChange& change);
    bool SetValue(int64_t key, std::string_view fold, DWORD type, std::string_view data, bool present);
    bool AddKey(int64_t id, int64_t parent, std::string_view fold);
    // Room for a record of `bytes` in the heap; 0 when there is none.
    uint64_t Allocate(std::size_t bytes);

    unsigned char* base_;
    std::size_t bytes_;
};

// A commit's change of a map, begun when it is made: it spoils the map unless the commit is done.
class ReadMapChange {
public:
    ReadMapChange(ReadMap* map, const ChangeSet& changes) : map_(map), ticket_(map ? map->BeginChange(changes) : 0) {}
    ReadMapChange(const ReadMapChange&) = delete;
    ReadMapChange& operator=(const ReadMapChange&) = delete;
    ~ReadMapChange() {
        if (ticket_) map_->EndChange(ticket_, false);
    }
    // Whether the map still mirrors the hive (or there is none to keep).
    bool Kept() const { return !map_ || ticket_ != 0; }
    void Committed() {
        if (ticket_) map_->EndChange(ticket_, true);
        ticket_ = 0;
    }

private:
    ReadMap* map_;
    uint64_t ticket_;
};

}  // namespace zelreg
