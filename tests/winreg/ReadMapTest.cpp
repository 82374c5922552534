// A process that reads the user hive through its read map (the file beside the hive that every
// commit keeps exact) reads every change of other processes at once: values set, grown, deleted,
// keys made and deleted, a sub-tree restored, a map built anew while it reads, a writer killed at
// any moment; and a process that reads through the map has not opened the hive at all.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;

// Whether this process has opened the hive instead of reading through the map.
bool HiveFileOpen() { return HoldsFile(std::string(std::getenv("ZEL_REGISTRY_DIR")) + "/user.hive"); }

std::string ReadString(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char buffer[1024];
    DWORD size = sizeof buffer;
    const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buffer, size) : "<" + std::to_string(rc) + ">";
}

LONG WriteString(HKEY root, const char* path, const char* name, const std::string& text) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()));
    RegCloseKey(key);
    return rc;
}

LONG OpenStatus(const char* path) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    return rc;
}

// A process in `dir` that runs one step each time it is asked, and answers whether it went right.
class StepProcess {
public:
    StepProcess(const std::string& dir, std::vector<std::function<bool()>> checks) : checks_(std::move(checks)) {
        pid_ = StartChild([this, dir] {
            setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
            go_.CloseWriteEnd();
            for (const auto& check : checks_) {
                if (!go_.Hear()) return 1;
                const char verdict = check() ? 'y' : 'n';
                std::fflush(stderr);
                if (write(verdict_.end[1], &verdict, 1) != 1) return 1;
            }
            return 0;
        });
    }
    // A test that failed half-way leaves the process waiting for its next step.
    ~StepProcess() {
        if (pid_ > 0) kill(pid_, SIGKILL);
        WaitChild(pid_);
    }
    bool Check() {
        char verdict = 0;
        return go_.Say() && read(verdict_.end[0], &verdict, 1) == 1 && verdict == 'y';
    }
    int Finish() {
        go_.CloseWriteEnd();
        return WaitChild(std::exchange(pid_, -1));
    }

private:
    std::vector<std::function<bool()>> checks_;
    Pipe go_, verdict_;
    pid_t pid_ = -1;
};

#define READER_CHECK(cond)                                                          \
    do {                                                                            \
        if (cond) break;                                                            \
        std::fprintf(stderr, "reader check failed at line %d: %s\n", __LINE__, #cond); \
        return false;                                                               \
    } while (0)

// A hive in a directory of its own, written by a process that exits normally, which leaves the
// map built.
std::string HiveWithMap(const std::function<long()>& fill) {
    // This process has a hive of its own open, as a program that forks its workers has: the
    // store's exit handler is then registered in the children before anything they read.
    EXPECT_EQ(-1, ReadDword(HKEY_CURRENT_USER, "Software\\NotThere", "v"));
    const std::string dir = ZelMakeTempDir("zelreg-map");
    EXPECT_EQ(0, InDirectory(dir, ExitingNormally(fill)));
    EXPECT_TRUE(fs::exists(dir + "/user.hive-readmap"));
    return dir;
}

TEST(ReadMap, AReaderSeesEveryChangeOfAnotherProcessAtOnceAndKeysThatGoAreGone) {
    const std::string dir = HiveWithMap([] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\A", "v", 1) == ERROR_SUCCESS);
        CHILD_CHECK(WriteString(HKEY_CURRENT_USER, "App\\A", "s", "text") == ERROR_SUCCESS);
        CHILD_CHECK(WriteString(HKEY_CURRENT_USER, "App\\A", "shrinks", std::string(200, 'x')) == ERROR_SUCCESS);
        return WriteDword(HKEY_CURRENT_USER, "App\\B", "w", 2);
    });
    const std::string grown(700, 'g');
    HKEY kept = nullptr;
    StepProcess reader(dir, {
        [&] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\A", "v") == 1);
            READER_CHECK(ReadString(HKEY_CURRENT_USER, "app\\a", "S") == "text");
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\B", "w") == 2);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\A", "none") == -1);
            READER_CHECK(OpenStatus("App\\C") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\A", 0, KEY_READ, &kept) == ERROR_SUCCESS);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        // Changes that the map takes in: it stays in use.
        [&] {
            READER_CHECK(ReadDword(kept, "", "v") == 5);
            READER_CHECK(ReadString(kept, "", "s") == grown);
            READER_CHECK(ReadString(kept, "", "shrinks") == "y");
            READER_CHECK(ReadDword(kept, "", "new") == 7);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\B", "w") == -1);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\C", "c") == 3);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "app\\a\\DEEP\\er", "x") == 4);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        // A deleted key: the map cannot take it in, and the reader turns to the hive.
        [&] {
            READER_CHECK(ReadDword(kept, "", "v") == 5);
            READER_CHECK(OpenStatus("App\\A\\Deep") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\C", "c") == 3);
            return true;
        },
    });
    ASSERT_TRUE(reader.Check());
    ASSERT_EQ(0, InDirectory(dir, [&] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\A", "v", 5) == ERROR_SUCCESS);
        CHILD_CHECK(WriteString(HKEY_CURRENT_USER, "App\\A", "s", grown) == ERROR_SUCCESS);
        CHILD_CHECK(WriteString(HKEY_CURRENT_USER, "App\\A", "shrinks", "y") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\A", "new", 7) == ERROR_SUCCESS);
        HKEY b = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\B", 0, KEY_ALL_ACCESS, &b) == ERROR_SUCCESS);
        CHILD_CHECK(RegDeleteValueA(b, "W") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\C", "c", 3) == ERROR_SUCCESS);
        return WriteDword(HKEY_CURRENT_USER, "App\\A\\Deep\\Er", "x", 4);
    }));
    ASSERT_TRUE(reader.Check());
    ASSERT_EQ(0, InDirectory(dir, [] { return ShDeleteKey(HKEY_CURRENT_USER, "App\\A\\Deep"); }));
    ASSERT_TRUE(reader.Check());
    ASSERT_EQ(0, reader.Finish());

    // A key deleted and made again by a process that exits normally, which builds the map anew:
    // the next reader reads through the new map, and a handle it holds to a key that another
    // process then deletes is dead.
    ASSERT_EQ(0, InDirectory(dir, ExitingNormally([] {
        CHILD_CHECK(ShDeleteKey(HKEY_CURRENT_USER, "App\\C") == ERROR_SUCCESS);
        return WriteDword(HKEY_CURRENT_USER, "App\\C", "again", 9);
    })));
    HKEY doomed = nullptr;
    StepProcess next(dir, {
        [&] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\C", "c") == -1);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\C", "again") == 9);
            READER_CHECK(OpenStatus("App\\A\\Deep") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\C", 0, KEY_READ, &doomed) == ERROR_SUCCESS);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        [&] {
            DWORD size = 0;
            READER_CHECK(RegQueryValueExA(doomed, "again", nullptr, nullptr, nullptr, &size) == ERROR_KEY_DELETED);
            READER_CHECK(OpenStatus("App\\C") == ERROR_FILE_NOT_FOUND);
            return true;
        },
    });
    ASSERT_TRUE(next.Check());
    ASSERT_EQ(0, InDirectory(dir, [] { return ShDeleteKey(HKEY_CURRENT_USER, "App\\C"); }));
    ASSERT_TRUE(next.Check());
    EXPECT_EQ(0, next.Finish());
}

// Sub-trees changed and restored from a file by processes that exit normally: the map they spoil
// is built anew and takes the old one's place; a reader of the old one goes on with the new, and
// a writer that has kept the old one keeps the new one exact.
TEST(ReadMap, ARestoredSubTreeIsReadThroughTheMapThatReplacesTheOldOne) {
    const std::string dir = HiveWithMap([] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\R", "r", 1) == ERROR_SUCCESS);
        return WriteDword(HKEY_CURRENT_USER, "App\\R\\Sub", "s", 1);
    });
    const std::string file = dir + "/saved.hiv";
    ASSERT_EQ(0, InDirectory(dir, [&] {
        HKEY r = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\R", 0, KEY_READ, &r) == ERROR_SUCCESS);
        return RegSaveKeyA(r, file.c_str(), nullptr);
    }));
    StepProcess reader(dir, {
        [] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R", "r") == 1);
            // Found twice: the second time by the path as this process opened it before.
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R\\Sub", "s") == 1);
            READER_CHECK(OpenStatus("App\\R\\Sub") == ERROR_SUCCESS);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        [] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R", "r") == 2);
            READER_CHECK(OpenStatus("App\\R\\Sub") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(OpenStatus("App\\R\\Sub") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R\\Other", "o") == 3);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        [] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R", "w") == 2);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
        [] {
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R", "r") == 1);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R\\Sub", "s") == 1);
            READER_CHECK(OpenStatus("App\\R\\Other") == ERROR_FILE_NOT_FOUND);
            READER_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\R", "w") == -1);
            READER_CHECK(!HiveFileOpen());
            return true;
        },
    });
    const auto writeW = [](DWORD w) { return [w] { return WriteDword(HKEY_CURRENT_USER, "App\\R", "w", w) == ERROR_SUCCESS; }; };
    StepProcess writer(dir, {writeW(1), writeW(2)});
    ASSERT_TRUE(reader.Check());
    ASSERT_TRUE(writer.Check());
    // Changed in ways the map cannot take in, and its new map built as the writer exits.
    ASSERT_EQ(0, InDirectory(dir, ExitingNormally([] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "App\\R", "r", 2) == ERROR_SUCCESS);
        CHILD_CHECK(ShDeleteKey(HKEY_CURRENT_USER, "App\\R\\Sub") == ERROR_SUCCESS);
        return WriteDword(HKEY_CURRENT_USER, "App\\R\\Other", "o", 3);
    })));
    ASSERT_TRUE(reader.Check());
    ASSERT_TRUE(writer.Check());
    ASSERT_TRUE(reader.Check());
    EXPECT_EQ(0, writer.Finish());
    ASSERT_EQ(0, InDirectory(dir, ExitingNormally([&] {
        HKEY r = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\R", 0, KEY_ALL_ACCESS, &r) == ERROR_SUCCESS);
        return RegRestoreKeyA(r, file.c_str(), REG_FORCE_RESTORE);
    })));
    ASSERT_TRUE(reader.Check());
    EXPECT_EQ(0, reader.Finish());
}

// Writers killed at random moments, many of them while the map is marked as being changed: no
// new process ever reads a value older than the last write that returned, and what it reads is
// what a process reading the hive itself reads. Between rounds a process that exits normally has
// the map built anew when a killed writer left it spoiled, so that most readers use it.
TEST(ReadMap, WritersKilledAtRandomNeverLeaveTheMapStale) {
    const std::string dir = HiveWithMap([] { return WriteDword(HKEY_CURRENT_USER, "App\\K", "n", 0); });
    void* shared = mmap(nullptr, sizeof(std::atomic<DWORD>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, shared);
    auto* returned = new (shared) std::atomic<DWORD>(0);
    std::mt19937 random(29);
    int reads = 0;
    Pipe throughMap;  // a word from each reader that read through the map
    const auto freshRead = [&](DWORD atLeast, int64_t exactly) {
        ++reads;
        return InDirectory(dir, [&]() -> long {
            const int64_t read = ReadDword(HKEY_CURRENT_USER, "App\\K", "n");
            CHILD_CHECK(read >= static_cast<int64_t>(atLeast));
            CHILD_CHECK(exactly < 0 || read == exactly);
            CHILD_CHECK(HiveFileOpen() || throughMap.Say());
            return 0;
        });
    };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const DWORD first = returned->load() + 1;
        const pid_t writer = StartChild([&] {
            setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
            for (DWORD n = first;; ++n) {
                if (WriteDword(HKEY_CURRENT_USER, "App\\K", "n", n) != ERROR_SUCCESS) return 1;
                returned->store(n);
            }
        });
        while (returned->load() < first) usleep(100);
        for (int i = random() % 4; i > 0; --i) ASSERT_EQ(0, freshRead(returned->load(), -1));
        usleep(random() % 3000);
        kill(writer, SIGKILL);
        ASSERT_EQ(128 + SIGKILL, WaitChild(writer));
        // What the hive holds, read by a process that opens it (a listing cannot come from the map).
        int64_t truth = -1;
        Pipe told;
        ASSERT_EQ(0, InDirectory(dir, [&] {
            HKEY key = nullptr;
            CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "App\\K", 0, KEY_READ, &key) == ERROR_SUCCESS);
            DWORD values = 0;
            CHILD_CHECK(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                         nullptr, nullptr, nullptr) == ERROR_SUCCESS);
            const int64_t n = ReadDword(key, "", "n");
            return write(told.end[1], &n, sizeof n) == sizeof n ? 0 : 1;
        }));
        ASSERT_EQ(static_cast<ssize_t>(sizeof truth), read(told.end[0], &truth, sizeof truth));
        ASSERT_GE(truth, static_cast<int64_t>(returned->load()));
        ASSERT_EQ(0, freshRead(0, truth)) << truth;
        returned->store(static_cast<DWORD>(truth));
        // The next commit finds what a killed writer left of its change, and the map, current
        // again or built anew, must hold the hive's value.
        ASSERT_EQ(0, InDirectory(dir, ExitingNormally([round] {
            return WriteDword(HKEY_CURRENT_USER, "App\\Rounds", "r", static_cast<DWORD>(round));
        })));
        ASSERT_EQ(0, freshRead(0, truth)) << truth;
    }
    munmap(shared, sizeof(std::atomic<DWORD>));
    throughMap.CloseWriteEnd();
    int mapped = 0;
    while (throughMap.Hear()) ++mapped;
    // Without the map in use the test would prove nothing about it.
    EXPECT_GT(mapped, reads / 2) << mapped << " of " << reads;
}

// A process reading through the map forks: the child reads and writes, and the parent reads what
// the child wrote.
TEST(ReadMap, AForkedChildOfAMapReaderAndItsParentReadWhatTheOtherWrote) {
    const std::string dir = HiveWithMap([] { return WriteDword(HKEY_CURRENT_USER, "App\\F", "f", 1); });
    EXPECT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\F", "f") == 1);
        CHILD_CHECK(!HiveFileOpen());
        CHILD_CHECK(RunChild([] {
            CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\F", "f") == 1);
            return WriteDword(HKEY_CURRENT_USER, "App\\F", "f", 2);
        }) == 0);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "App\\F", "f") == 2);
        return 0;
    }));
}

}  // namespace
