// What only this platform's registry store has: hive files, their place and permissions, refusal
// of foreign files, several processes on one hive, a killed writer, a read-only machine hive.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <thread>

#include "RegTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;

int ChildFailed(int line, const char* what) {
    std::fprintf(stderr, "child check failed at line %d: %s\n", line, what);
    return 1;
}

// Checks inside a forked child: report and leave with a failure status.
#define CHILD_CHECK(cond)                                 \
    do {                                                  \
        if (!(cond)) return ChildFailed(__LINE__, #cond); \
    } while (0)

// Forks a child that runs body and exits with 0 when it returned 0 (a status), else with 1. Tests
// fork from their own thread, one child after another: a child forked while another thread
// allocates can find the address sanitizer's allocator locked for good.
pid_t StartChild(const std::function<long()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        long rc = 1;
        try {
            rc = body();
        } catch (...) {
        }
        std::fflush(stderr);
        _exit(rc == 0 ? 0 : 1);
    }
    return pid;
}

// The child's exit status, or 128 + the signal that ended it.
int WaitChild(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunChild(const std::function<long()>& body) { return WaitChild(StartChild(body)); }

// A child that points the store at `dir` before its first use of a hive (and so opens it there).
int InDirectory(const std::string& dir, const std::function<long()>& body) {
    return RunChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        return body();
    });
}

// Starts `count` children that pass one gate together and run body(id); true when all returned 0.
bool RunTogether(int count, const std::function<long(int)>& body) {
    int gate[2];
    if (pipe(gate) != 0) return false;
    std::vector<pid_t> children;
    for (int id = 0; id < count; ++id) {
        children.push_back(StartChild([&, id] {
            char go;
            return read(gate[0], &go, 1) == 1 ? body(id) : 1;
        }));
    }
    bool ok = write(gate[1], std::string(count, 'g').data(), count) == count;
    for (pid_t child : children) ok = WaitChild(child) == 0 && ok;
    close(gate[0]);
    close(gate[1]);
    return ok;
}

// Drops a root test process's rights to those of nobody, who may only read the hives made read-only.
bool BecomeNobody(bool root) { return !root || (setgid(65534) == 0 && setuid(65534) == 0); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

int Sql(const std::string& file, const char* statements) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open(file.c_str(), &db);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, statements, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

long WriteUserDword() { return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 1); }

using HiveFiles = RegTest;

TEST_F(HiveFiles, HivesArePrivateSeparateFilesMadeWhereTheyBelong) {
    // The test entry sets ZEL_REGISTRY_DIR in main(), after static initialisation.
    EXPECT_TRUE(fs::exists(ZelTestRegistryDir() + "/user.hive"));

    const std::string base = ZelMakeTempDir("zelreg-place"), dir = base + "/made/by/store";
    ASSERT_EQ(0, InDirectory(dir, WriteUserDword));
    EXPECT_EQ(0700u, ModeOf(dir));
    EXPECT_EQ(0700u, ModeOf(base + "/made/by"));
    EXPECT_EQ(0600u, ModeOf(dir + "/user.hive"));
    EXPECT_FALSE(fs::exists(dir + "/machine.hive"));  // not used, not made
    const std::string header = ReadFile(dir + "/user.hive").substr(0, 100);
    ASSERT_EQ(100u, header.size());
    EXPECT_EQ(std::string("SQLite format 3\0", 16), header.substr(0, 16));
    EXPECT_EQ(std::string("\x5A\x65\x6C\x52", 4), header.substr(68, 4));  // application id
    EXPECT_EQ(std::string("\0\0\0\x02", 4), header.substr(60, 4));        // format 2
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\X", "machine", 2) == ERROR_SUCCESS);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\X", "machine") == -1);
        CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\X", "v") == -1);
        return 0;
    }));
    EXPECT_EQ(0644u, ModeOf(dir + "/machine.hive"));

    // Without ZEL_REGISTRY_DIR: in the XDG configuration directory, else in ~/.config.
    for (bool xdg : {true, false}) {
        ASSERT_EQ(0, RunChild([&] {
            unsetenv("ZEL_REGISTRY_DIR");
            xdg ? setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
            setenv("HOME", (base + "/home").c_str(), 1);
            return WriteUserDword();
        }));
    }
    EXPECT_EQ(0700u, ModeOf(base + "/config/zelregistry"));
    EXPECT_EQ(0600u, ModeOf(base + "/config/zelregistry/user.hive"));
    EXPECT_TRUE(fs::exists(base + "/home/.config/zelregistry/user.hive"));
}

// A file this store did not write, or a newer one did, is refused with ERROR_BADDB and a message
// naming the file and why, and is left as it was.
TEST_F(HiveFiles, ForeignFileIsRefusedAndLeftAlone) {
    const struct { bool ourHive; const char* sql; const char* reason; } cases[] = {
        {false, nullptr, "not a registry hive"},  // no SQL: a text file
        {false, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", "another program"},
        {true, "PRAGMA user_version = 3; PRAGMA journal_mode = DELETE;", "newer"},
        {true, "PRAGMA user_version = 1; PRAGMA journal_mode = DELETE;",
         "hive format 1 was written by a development version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const std::string dir = ZelMakeTempDir("zelreg-foreign"), file = dir + "/user.hive";
        ASSERT_EQ(0, c.ourHive ? InDirectory(dir, WriteUserDword) : 0);
        if (c.sql) {
            ASSERT_EQ(SQLITE_OK, Sql(file, c.sql));
        } else {
            std::ofstream out(file, std::ios::binary);
            out << "These are someone's notes, not a registry.\n";
            for (int i = 0; i < 5000; ++i) out.put(static_cast<char>(i * 31));
        }
        const std::string before = ReadFile(file), messages = dir + "/stderr.txt";
        const int status = InDirectory(dir, [&] {
            const int fd = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            close(fd);
            HKEY key = nullptr;
            CHILD_CHECK(CreateKey(HKEY_CURRENT_USER, "Software\\X") == ERROR_BADDB);
            CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) == ERROR_BADDB);
            CHILD_CHECK(Set(HKEY_CURRENT_USER, "v", REG_SZ, "x", 2) == ERROR_BADDB);
            return 0;
        });
        const std::string message = ReadFile(messages);
        EXPECT_EQ(0, status) << message;
        EXPECT_NE(std::string::npos, message.find(file)) << message;
        EXPECT_NE(std::string::npos, message.find(c.reason)) << message;
        EXPECT_EQ(before, ReadFile(file));
    }
}

using Processes = RegTest;

TEST_F(Processes, TwoProcessesWritingOneHiveAtOnceLoseNothing) {
    constexpr int kKeys = 250;
    ASSERT_TRUE(RunTogether(2, [this](int id) {
        char name[32];
        for (int i = 0; i < kKeys; ++i) {
            std::snprintf(name, sizeof name, "p%d-%03d", id, i);
            CHILD_CHECK(WriteDword(root_, name, "n", static_cast<DWORD>(id * 1000 + i)) == ERROR_SUCCESS);
            CHILD_CHECK(WriteDword(root_, "", name, static_cast<DWORD>(i)) == ERROR_SUCCESS);
        }
        return 0;
    }));
    EXPECT_EQ(static_cast<std::size_t>(2 * kKeys), SubKeys(root_).size());
    EXPECT_EQ(static_cast<std::size_t>(2 * kKeys), ValueNames(root_).size());
    char name[32];
    for (int i = 0; i < 2 * kKeys; ++i) {
        std::snprintf(name, sizeof name, "p%d-%03d", i / kKeys, i % kKeys);
        ASSERT_EQ(i / kKeys * 1000 + i % kKeys, ReadDword(root_, name, "n")) << name;
    }
}

TEST(NewHive, ProcessesThatOpenItWhileItIsMadeAllSucceed) {
    for (int round = 0; round < 10; ++round) {
        const std::string dir = ZelMakeTempDir("zelreg-race");
        EXPECT_TRUE(RunTogether(4, [&](int id) {
            setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
            for (int i = 0; i < 20; ++i) {
                const std::string path = "Software\\P" + std::to_string(id) + "\\K" + std::to_string(i);
                CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, path.c_str(), "v", static_cast<DWORD>(i)) == ERROR_SUCCESS);
            }
            return 0;
        })) << "round " << round;
    }
}

// A thread that writes without pause keeps the background thread checkpointing; a child forked
// meanwhile must not inherit a lock that a thread of its parent held.
TEST_F(Processes, ChildrenForkedWhileAThreadWritesCanUseTheRegistry) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator can stay locked in a child forked while another thread "
                    "allocates; the plain build runs this test";
#endif
    std::atomic<bool> stop{false};
    std::thread writer([this, &stop] {
        char name[32];
        for (int i = 0; !stop; ++i) {
            std::snprintf(name, sizeof name, "busy\\k%07d", i);
            if (WriteDword(root_, name, "n", static_cast<DWORD>(i)) != ERROR_SUCCESS) return;
        }
    });
    for (int child = 0; child < 40; ++child) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(0, RunChild([&] {
            alarm(20);  // a child that hangs fails the test instead of stopping it
            return WriteDword(root_, "forked", "n", static_cast<DWORD>(child));
        })) << "child " << child;
    }
    stop = true;
    writer.join();
}

TEST_F(Processes, EveryWriteThatReturnedSurvivesTheWriterBeingKilled) {
    int progress[2];
    ASSERT_EQ(0, pipe(progress));
    const pid_t pid = StartChild([&] {
        char name[32];
        for (int i = 0;; ++i) {
            std::snprintf(name, sizeof name, "k%06d", i);
            if (WriteDword(root_, name, "n", static_cast<DWORD>(i)) != ERROR_SUCCESS) return 3;
            if (write(progress[1], &i, sizeof i) != sizeof i) return 4;
        }
    });
    close(progress[1]);
    int last = -1, number = 0;
    while (last < 300 && read(progress[0], &number, sizeof number) == sizeof number) last = number;
    kill(pid, SIGKILL);
    while (read(progress[0], &number, sizeof number) == sizeof number) last = number;
    close(progress[0]);
    ASSERT_EQ(128 + SIGKILL, WaitChild(pid));
    ASSERT_GE(last, 300);
    EXPECT_EQ(0, RunChild([&] {  // a fresh process, which opens the hive that the killed one left
        char name[32];
        for (int i = 0; i <= last; ++i) {
            std::snprintf(name, sizeof name, "k%06d", i);
            CHILD_CHECK(ReadDword(root_, name, "n") == i);
        }
        return 0;
    }));
    SetDword(root_, "still-writable", 1);
}

// "Alone" is the newest key, with the largest id: a key made after its delete must not get that id.
TEST_F(Processes, ChangesOfAnotherProcessAreSeenAtOnceAndItsDeletesKillOurHandles) {
    HKEY doomed = Create(root_, "Doomed"), alone = Create(root_, "Alone");
    for (int round = 1; round <= 20; ++round) {
        ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "", "v", static_cast<DWORD>(round)); }));
        ASSERT_EQ(round, ReadDword(root_, "", "v")) << "round " << round;
    }
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, Query(doomed, "x"));
    ASSERT_EQ(0, RunChild([&] {
        CHILD_CHECK(SHDeleteKeyA(root_, "Doomed") == ERROR_SUCCESS);
        CHILD_CHECK(RegDeleteKeyA(root_, "Alone") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "Other", "v", 1) == ERROR_SUCCESS);
        return WriteDword(root_, "Alone", "v", 2);
    }));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(doomed, "x"));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(alone, "v"));
    EXPECT_FALSE(KeyExists(root_, "Doomed"));
    EXPECT_EQ(2, ReadDword(root_, "Alone", "v"));
    RegCloseKey(doomed);
    RegCloseKey(alone);
}

// Programs that open a hive with SQLite itself: the machine hive keeps SQLite's own locks, and a
// writer waits for such a program instead of failing; the user hive's locks are the store's own,
// and while the store has it open such a program can neither write it nor checkpoint it.
TEST_F(Processes, ProgramsUsingSqliteOnAHiveAreWaitedForOrKeptOut) {
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ZelTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &machine, nullptr));
    SetDword(machine, "v", 1);
    int locked[2];
    ASSERT_EQ(0, pipe(locked));
    const pid_t pid = StartChild([&] {
        sqlite3* db = nullptr;
        sqlite3_open((ZelTestRegistryDir() + "/machine.hive").c_str(), &db);
        CHILD_CHECK(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK);
        if (write(locked[1], "L", 1) != 1) return 2;
        // Longer than SQLite's own busy timeout in the store: the store has to retry.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    });
    char c;
    ASSERT_EQ(1, read(locked[0], &c, 1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_SUCCESS, WriteDword(machine, "", "v", 2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(0, WaitChild(pid));
    close(locked[0]);
    close(locked[1]);
    EXPECT_EQ(2, ReadDword(machine, "", "v"));
    RegCloseKey(machine);

    SetDword(root_, "v", 1);
    EXPECT_EQ(0, RunChild([] {
        sqlite3* db = nullptr;
        sqlite3_open((ZelTestRegistryDir() + "/user.hive").c_str(), &db);
        CHILD_CHECK(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_BUSY);
        CHILD_CHECK(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr) == SQLITE_BUSY);
        return sqlite3_close(db);
    }));
    SetDword(root_, "v", 2);
    EXPECT_EQ(2, ReadDword(root_, "", "v"));
}

TEST_F(Processes, ChangesByAnotherProcessSignalAsTheFilterAndTheSubTreeSay) {
    HKEY watched = Create(root_, "Watched");
    RegCloseKey(Create(watched, "Deep"));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const auto changeInChild = [this](const char* path, bool remove) {
        return RunChild([&] { return remove ? SHDeleteKeyA(root_, path) : WriteDword(root_, path, "v", 1); });
    };
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME,
                                                     event, TRUE));
    for (const char* beside : {"Sibling", "Sibling\\New", ""}) ASSERT_EQ(0, changeInChild(beside, false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    ASSERT_EQ(0, changeInChild("Watched\\Deep", false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    CloseHandle(event);

    // Blocking, for names alone: a value set by another process is not news, a removed sub-key is.
    auto waiter = std::async(std::launch::async, [watched] {
        return RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, FALSE);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(0, changeInChild("Watched", false));
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(300)));
    ASSERT_EQ(0, changeInChild("Watched\\Deep", true));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::seconds(5)));
    EXPECT_EQ(ERROR_SUCCESS, waiter.get());
    RegCloseKey(watched);
}

// Root may write anything: the readers then run as nobody.
TEST(ReadOnlyMachineHive, ReadsWorkAndEveryWriteIsAccessDenied) {
    const std::string dir = ZelMakeTempDir("zelreg-machine");
    const bool root = geteuid() == 0;
    // The hive's writer keeps it open, as a running administrator's program would.
    int done[2], ready[2];
    ASSERT_EQ(0, pipe(done));
    ASSERT_EQ(0, pipe(ready));
    const pid_t admin = StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v", 42) == ERROR_SUCCESS);
        char c;
        CHILD_CHECK(write(ready[1], "r", 1) == 1 && read(done[0], &c, 1) >= 0);
        return 0;
    });
    char c;
    ASSERT_EQ(1, read(ready[0], &c, 1));
    chmod(dir.c_str(), root ? 0755 : 0555);
    for (const char* suffix : {"", "-wal", "-shm"}) chmod((dir + "/machine.hive" + suffix).c_str(), 0444);
    const auto reader = [&](bool tryWrites) {
        return InDirectory(dir, [&] {
            CHILD_CHECK(BecomeNobody(root));
            CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v") == 42);
            if (!tryWrites) return 0;
            HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
            CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ | KEY_WRITE, &key) ==
                        ERROR_ACCESS_DENIED);
            CHILD_CHECK(key == nullptr);
            key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
            for (REGSAM access : {KEY_ALL_ACCESS, KEY_READ}) {
                CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, access, nullptr, &key,
                                            nullptr) == ERROR_ACCESS_DENIED);
                CHILD_CHECK(key == nullptr);
            }
            CHILD_CHECK(Set(HKEY_LOCAL_MACHINE, "x", REG_DWORD, "abcd", 4) == ERROR_ACCESS_DENIED);
            CHILD_CHECK(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor") == ERROR_ACCESS_DENIED);
            CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software") == ERROR_ACCESS_DENIED);
            CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Missing") == ERROR_FILE_NOT_FOUND);
            CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v") == 42);
            return 0;
        });
    };
    EXPECT_EQ(0, reader(true));
    ASSERT_EQ(1, write(done[1], "d", 1));
    EXPECT_EQ(0, WaitChild(admin));
    EXPECT_EQ(0, reader(false));  // also after the writer has gone
    for (int fd : {done[0], done[1], ready[0], ready[1]}) close(fd);

    // A machine hive that is missing and cannot be made is empty and read-only, and stays missing.
    EXPECT_EQ(0, InDirectory(dir + "/not-creatable", [&] {
        CHILD_CHECK(BecomeNobody(root));
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        char name[16];
        CHILD_CHECK(RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name) == ERROR_NO_MORE_ITEMS);
        CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                    nullptr) == ERROR_ACCESS_DENIED);
        return 0;
    }));
    EXPECT_FALSE(fs::exists(dir + "/not-creatable"));
    chmod(dir.c_str(), 0700);
}

using StoreBehaviour = RegTest;

TEST_F(StoreBehaviour, HandlesAreCountedAndTheirValuesNotReusedAtOnce) {
    const DWORD before = ZelRegOpenHandleCount();
    HKEY a = Create(root_, "A"), b = Open(root_, "A"), pseudo = Open(HKEY_CURRENT_USER, "", KEY_READ);
    EXPECT_EQ(before + 2, ZelRegOpenHandleCount());
    RegCloseKey(a);
    RegCloseKey(pseudo);
    EXPECT_EQ(before + 1, ZelRegOpenHandleCount());
    HKEY again = Create(root_, "A");
    EXPECT_NE(a, again);
    EXPECT_LT(reinterpret_cast<uintptr_t>(again), uintptr_t{0x80000000});
    RegCloseKey(again);
    RegCloseKey(b);
    EXPECT_EQ(before, ZelRegOpenHandleCount());
}

TEST_F(StoreBehaviour, RewritingAValueAsItIsChangesNothingAndSignalsNothing) {
    SetString(root_, "text", "same");
    SetDword(root_, "number", 7);
    const uint64_t before = LastWrite(root_);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(root_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetString(root_, "TEXT", "same");
    SetDword(root_, "number", 7);
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "", "number", 7); }));
    EXPECT_EQ(ERROR_NOACCESS, Set(root_, "v", REG_BINARY, nullptr, 4));  // and writes nothing
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    EXPECT_EQ(before, LastWrite(root_));
    EXPECT_EQ((std::vector<std::string>{"text", "number"}), ValueNames(root_));

    // The same bytes under another type are a change; an overwritten value keeps its place.
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "number", REG_BINARY, "\7\0\0\0", 4));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    EXPECT_LT(before, LastWrite(root_));
    SetString(root_, "TEXT", "changed");
    EXPECT_EQ((std::vector<std::string>{"text", "number"}), ValueNames(root_));
    CloseHandle(event);
}

TEST_F(StoreBehaviour, VolatileKeysOfAnEarlierBootAreGoneWhenTheHiveIsOpened) {
    const std::string dir = ZelMakeTempDir("zelreg-volatile");
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Stays", "v", 1) == ERROR_SUCCESS);
        return CreateKey(HKEY_CURRENT_USER, "Software\\Vol\\Inner", nullptr, REG_OPTION_VOLATILE);
    }));
    // Same boot: a new process still sees them.
    ASSERT_EQ(0, InDirectory(dir, [] { return KeyExists(HKEY_CURRENT_USER, "Software\\Vol\\Inner") ? 0 : 1; }));
    // Pretend they were made before the last restart.
    ASSERT_EQ(SQLITE_OK, Sql(dir + "/user.hive", "UPDATE items SET boot = 'an-earlier-boot' WHERE boot IS NOT NULL"));
    ASSERT_EQ(0, InDirectory(dir, [] {
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Stays", "v") == 1);
        return 0;
    }));
}

}  // namespace
