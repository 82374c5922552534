// A read map (platform/winreg/ReadMap.h) that the store cannot trust, or that does not mirror the
// hive, is never used and never breaks a read: whatever was done to the map file, a new process
// reads every value exactly as the hive holds it, and a later writer's changes read back right
// (and the map is made anew). A hive file changed behind the store's back turns its map off too.
//
// Whether a process answered from the map is told by its descriptors: a process that opens the
// hive keeps its SQLite connection, and with it a descriptor of the hive file, until it ends,
// while one that reads through the map only ever stats the hive file (the map's own descriptor is
// closed once it is mapped). So a reader that read every value and has no descriptor of the hive
// file read them all from the map; one that has one went to the hive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "platform/winreg/ReadMap.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;
using zelreg::ReadMapHeader;

constexpr uid_t kNobody = 65534;
constexpr int kKeys = 12;
// The values of each generation: K<i>\v = base + i.
constexpr DWORD kFirst = 1000, kSecond = 2000, kThird = 3000, kOther = 5000;

std::string KeyPath(int i) { return "Software\\MapFile\\K" + std::to_string(i); }

long WriteValues(DWORD base) {
    for (int i = 0; i < kKeys; ++i) {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, KeyPath(i).c_str(), "v", base + static_cast<DWORD>(i)) == ERROR_SUCCESS);
    }
    return 0;
}

enum class Through { Map, Hive };

// A new process in `dir` reads every value as `base` made it, through the map or the hive.
int ReadsAll(const std::string& dir, DWORD base, Through through) {
    return InDirectory(dir, [&] {
        for (int i = 0; i < kKeys; ++i) {
            const int64_t read = ReadDword(HKEY_CURRENT_USER, KeyPath(i).c_str(), "v");
            if (read != base + i) std::fprintf(stderr, "K%d\\v reads %lld, not %lld\n", i, static_cast<long long>(read), static_cast<long long>(base + i));
            CHILD_CHECK(read == base + i);
        }
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\MapFile\\K0", "missing") == -1);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\MapFile\\Missing", "v") == -1);
        CHILD_CHECK(HoldsFile(dir + "/user.hive") == (through == Through::Hive));
        return 0;
    });
}

int Writes(const std::string& dir, DWORD base) { return InDirectory(dir, ExitingNormally([base] { return WriteValues(base); })); }

template <class T>
T Field(const std::string& bytes, std::size_t at) {
    T value{};
    if (at + sizeof value <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <class T>
void SetField(std::string& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// Overwrites [from, to) of the file at `path` in place with bytes that a seeded generator makes.
void Garble(const std::string& path, uint64_t from, uint64_t to) {
    std::string bytes = ReadFile(path);
    ASSERT_LE(from, to);
    ASSERT_LE(to, bytes.size());
    std::mt19937_64 random(from ^ to);
    for (uint64_t at = from; at < to; ++at) bytes[at] = static_cast<char>(random());
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// `map` as a map of the hive file as it is now: stamped with its size and time.
std::string Restamped(std::string map, const std::string& hive) {
    struct stat st {};
    EXPECT_EQ(0, stat(hive.c_str(), &st));
    SetField<uint64_t>(map, offsetof(ReadMapHeader, hiveBytes), static_cast<uint64_t>(st.st_size));
    SetField<int64_t>(map, offsetof(ReadMapHeader, hiveModified),
                      static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    for (int i = 0; i < ReadMapHeader::kCheckpointers; ++i) {
        SetField<int32_t>(map, offsetof(ReadMapHeader, checkpointers) + i * sizeof(int32_t), 0);
    }
    return map;
}

// Writes `bytes` to a new file at `path` with `mode`, owned by the user `uid` (another one only
// for root).
int Plant(const std::string& path, const std::string& bytes, mode_t mode, uid_t uid) {
    return RunChild([&] {
        umask(0);
        const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, mode);
        CHILD_CHECK(fd >= 0);
        CHILD_CHECK(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
        CHILD_CHECK(uid == geteuid() || fchown(fd, uid, uid) == 0);
        return close(fd) == 0 ? 0 : 1;
    });
}

// What the map file at `path` would have to be to pass for a map of the hive beside it.
struct Scene {
    std::string dir, hive, map;
    std::string stale;  // the map of the first values, stamped as if it mirrored the hive as it is
};

// The hive holds the second values; its map (current, used) too.
void MakeScene(Scene& s) {
    s.dir = ZelMakeTempDir("zelreg-mapfile");
    s.hive = s.dir + "/user.hive";
    s.map = s.hive + "-readmap";
    ASSERT_EQ(0, Writes(s.dir, kFirst));
    ASSERT_TRUE(fs::is_regular_file(s.map)) << "no map was made at exit";
    ASSERT_EQ(0, ReadsAll(s.dir, kFirst, Through::Map)) << "the map is not used";
    const std::string first = ReadFile(s.map);
    ASSERT_EQ(0, Writes(s.dir, kSecond));
    ASSERT_EQ(0, ReadsAll(s.dir, kSecond, Through::Map)) << "the map is not kept";
    s.stale = Restamped(first, s.hive);
}

}  // namespace

// The control for what follows: a map of the first values, made to pass for one of the hive as it
// is now, is used, and answers with those values. The planted maps below are such maps unless
// the damage named: only the check that refuses them keeps a reader from reading the first values.
TEST(ReadMapFile, AStaleMapThatPassesEveryCheckIsUsedWhichIsWhatTheChecksAreFor) {
    Scene s;
    ASSERT_NO_FATAL_FAILURE(MakeScene(s));
    ASSERT_TRUE(fs::remove(s.map));
    ASSERT_EQ(0, Plant(s.map, s.stale, 0600, geteuid()));
    EXPECT_EQ(0, ReadsAll(s.dir, kFirst, Through::Map));
}

TEST(ReadMapFile, AMapThatCannotBeTrustedOrDoesNotMirrorTheHiveIsNeverUsed) {
    const bool root = geteuid() == 0;
    const struct {
        const char* what;
        std::function<void(const Scene& s)> damage;
        bool needsRoot = false;
    } cases[] = {
        {"truncated to half", [](const Scene& s) { fs::resize_file(s.map, fs::file_size(s.map) / 2); }},
        {"truncated below the header", [](const Scene& s) { fs::resize_file(s.map, sizeof(ReadMapHeader) / 2); }},
        {"garbage in the slot tables",
         [](const Scene& s) {
             const std::string bytes = ReadFile(s.map);
             Garble(s.map, Field<uint64_t>(bytes, offsetof(ReadMapHeader, keysByIdAt)),
                    Field<uint64_t>(bytes, offsetof(ReadMapHeader, heapAt)));
         }},
        {"garbage in the heap",
         [](const Scene& s) {
             const std::string bytes = ReadFile(s.map);
             Garble(s.map, Field<uint64_t>(bytes, offsetof(ReadMapHeader, heapAt)),
                    Field<uint64_t>(bytes, offsetof(ReadMapHeader, heapUsed)));
         }},
        {"of another boot",
         [](const Scene& s) {
             std::string map = s.stale;
             std::memset(map.data() + offsetof(ReadMapHeader, boot), 0, sizeof(ReadMapHeader::boot));
             std::memcpy(map.data() + offsetof(ReadMapHeader, boot), "00000000-1111-2222-3333-444444444444", 36);
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, map, 0600, geteuid()));
         }},
        {"its state left odd by a writer killed mid-change",
         [](const Scene& s) {
             std::string map = s.stale;
             SetField<uint64_t>(map, offsetof(ReadMapHeader, state), Field<uint64_t>(map, offsetof(ReadMapHeader, state)) | 1);
             SetField<int32_t>(map, offsetof(ReadMapHeader, changer), 0x7FFFFFF0);  // no such process
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, map, 0600, geteuid()));
         }},
        {"made for another hive file",
         [](const Scene& s) {
             const std::string other = ZelMakeTempDir("zelreg-mapfile-other");
             ASSERT_EQ(0, Writes(other, kOther));
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, Restamped(ReadFile(other + "/user.hive-readmap"), s.hive), 0600, geteuid()));
         }},
        {"a symbolic link",
         [](const Scene& s) {
             const std::string elsewhere = ZelMakeTempDir("zelreg-mapfile-link") + "/map";
             ASSERT_EQ(0, Plant(elsewhere, s.stale, 0600, geteuid()));
             fs::remove(s.map);
             fs::create_symlink(elsewhere, s.map);
         }},
        {"writable by the group",
         [](const Scene& s) {
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, s.stale, 0620, geteuid()));
         }},
        {"writable by others",
         [](const Scene& s) {
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, s.stale, 0602, geteuid()));
         }},
        {"owned by another user",
         [](const Scene& s) {
             fs::remove(s.map);
             ASSERT_EQ(0, Plant(s.map, s.stale, 0600, kNobody));
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && !root) {
            std::printf("skipped (needs root): %s\n", c.what);
            continue;
        }
        Scene s;
        ASSERT_NO_FATAL_FAILURE(MakeScene(s));
        ASSERT_NO_FATAL_FAILURE(c.damage(s));
        EXPECT_EQ(0, ReadsAll(s.dir, kSecond, Through::Hive));
        // A writer's changes read back right, and the map is made anew and used again.
        EXPECT_EQ(0, Writes(s.dir, kThird));
        EXPECT_EQ(0, ReadsAll(s.dir, kThird, Through::Map));
        struct stat st {};
        EXPECT_EQ(0, lstat(s.map.c_str(), &st));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(geteuid(), st.st_uid);
        EXPECT_EQ(0600u, st.st_mode & 0777);
    }
}

// The map holds the hive file's size and time as the store's last checkpoint left them: a hive
// file that another program changed is read, not the map, and no later process of the store
// takes the map for current again (a checkpoint would otherwise stamp it anew).
TEST(ReadMapFile, AMapIsNotUsedOnceItsHiveFileChangedBehindTheStoresBack) {
    // A copy of the hive put back (in place, as a backup program restores a file).
    {
        const std::string dir = ZelMakeTempDir("zelreg-mapfile");
        ASSERT_EQ(0, Writes(dir, kFirst));
        const std::string backup = ReadFile(dir + "/user.hive");
        ASSERT_EQ(0, Writes(dir, kSecond));
        ASSERT_EQ(0, ReadsAll(dir, kSecond, Through::Map));
        std::ofstream(dir + "/user.hive", std::ios::binary | std::ios::trunc).write(backup.data(), static_cast<std::streamsize>(backup.size()));
        EXPECT_EQ(0, ReadsAll(dir, kFirst, Through::Hive));
        // A process that only reads, and exits as programs do (checkpointing the hive).
        EXPECT_EQ(0, InDirectory(dir, ExitingNormally([] {
            return ReadDword(HKEY_CURRENT_USER, KeyPath(0).c_str(), "v") == kFirst ? 0 : 1;
        })));
        EXPECT_EQ(0, ReadsAll(dir, kFirst, Through::Hive));
        // A writer of one value: the others keep the values of the copy.
        EXPECT_EQ(0, InDirectory(dir, ExitingNormally([] { return WriteDword(HKEY_CURRENT_USER, KeyPath(0).c_str(), "v", kThird); })));
        EXPECT_EQ(0, InDirectory(dir, [] {
            CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, KeyPath(0).c_str(), "v") == kThird);
            for (int i = 1; i < kKeys; ++i) CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, KeyPath(i).c_str(), "v") == kFirst + i);
            return 0;
        }));
    }
    // A process that died in a checkpoint is listed in the map, which then takes the hive file's
    // change for the store's own; the next checkpoint's stamp takes that change in and ends the
    // listing, so that a copy put back afterwards is noticed again.
    {
        Scene s;
        ASSERT_NO_FATAL_FAILURE(MakeScene(s));
        std::string map = ReadFile(s.map);
        SetField<int32_t>(map, offsetof(ReadMapHeader, checkpointers), 0x7FFFFFF0);  // no such process
        fs::remove(s.map);
        ASSERT_EQ(0, Plant(s.map, map, 0600, geteuid()));
        const std::string backup = ReadFile(s.hive);
        ASSERT_EQ(0, Writes(s.dir, kThird));
        ASSERT_EQ(0, ReadsAll(s.dir, kThird, Through::Map));
        std::ofstream(s.hive, std::ios::binary | std::ios::trunc).write(backup.data(), static_cast<std::streamsize>(backup.size()));
        EXPECT_EQ(0, ReadsAll(s.dir, kSecond, Through::Hive));
    }
    // The hive file cut short, its log empty (the last process exited normally): the reader
    // opens the hive and finds it damaged (the store then refuses it), where the map would have
    // answered every read.
    {
        const std::string dir = ZelMakeTempDir("zelreg-mapfile");
        ASSERT_EQ(0, Writes(dir, kFirst));
        ASSERT_EQ(0, ReadsAll(dir, kFirst, Through::Map));
        ASSERT_EQ(0, fs::file_size(dir + "/user.hive-wal"));
        fs::resize_file(dir + "/user.hive", fs::file_size(dir + "/user.hive") / 2);
        EXPECT_EQ(0, InDirectory(dir, [&] {
            CHILD_CHECK(std::freopen("/dev/null", "w", stderr));
            int failed = 0;
            for (int i = 0; i < kKeys; ++i) {
                const int64_t read = ReadDword(HKEY_CURRENT_USER, KeyPath(i).c_str(), "v");
                CHILD_CHECK(read == -1 || read == kFirst + i);
                failed += read == -1;
            }
            return failed > 0 ? 0 : 1;
        }));
    }
}
