// What only this platform's registry store has: hive files and their permissions, where they
// are found, refusal of foreign files, several processes on one hive, a writer killed half-way,
// a machine hive that may only be read, notification of changes made by another process.
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
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "RegTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;

// Checks inside a forked child: report and leave with a failure status.
#define CHILD_CHECK(cond)                                                                    \
    do {                                                                                     \
        if (!(cond)) {                                                                       \
            std::fprintf(stderr, "child check failed at line %d: %s\n", __LINE__, #cond);    \
            return 1;                                                                        \
        }                                                                                    \
    } while (0)

// Forks a child that runs body and leaves with its result. Tests fork from their own thread,
// one child after another: a child forked while another thread allocates can find the address
// sanitizer's allocator locked for good (it takes no care of fork()).
pid_t StartChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        int rc = 1;
        try {
            rc = body();
        } catch (...) {
        }
        std::fflush(stderr);
        _exit(rc);
    }
    return pid;
}

// The child's exit status (0 when its body returned 0).
int WaitChild(pid_t pid) {
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunChild(const std::function<int()>& body) { return WaitChild(StartChild(body)); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

LONG WriteDword(HKEY root, const char* path, const char* name, DWORD value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return rc;
}

// The DWORD, or -1 when it cannot be read.
int64_t ReadDword(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0, size = sizeof value;
    const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && size == 4 ? static_cast<int64_t>(value) : int64_t{-1};
}

// A child that points the store at `dir` before its first use of a hive (a forked child opens
// the hives anew, reading ZEL_REGISTRY_DIR then).
pid_t StartInDirectory(const std::string& dir, const std::function<int()>& body) {
    return StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        return body();
    });
}

int InDirectory(const std::string& dir, const std::function<int()>& body) {
    return WaitChild(StartInDirectory(dir, body));
}

// Runs `body` in a child with its stderr going to a file; gives the status and the text.
int CaptureStderr(const std::function<int()>& body, std::string& text) {
    const std::string file = ZelMakeTempDir("zelreg-stderr") + "/stderr.txt";
    const int status = RunChild([&] {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
        return body();
    });
    text = ReadFile(file);
    return status;
}

// ---- Hive files and their place -------------------------------------------------------------

TEST(HiveFiles, NewUserHiveAndItsDirectoryArePrivate) {
    const std::string dir = ZelMakeTempDir("zelreg-perm") + "/made/by/store";
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Test", "v", 1) == ERROR_SUCCESS);
        return 0;
    }));
    EXPECT_EQ(0700u, ModeOf(dir));
    EXPECT_EQ(0700u, ModeOf(fs::path(dir).parent_path().string()));
    EXPECT_EQ(0600u, ModeOf(dir + "/user.hive"));
    EXPECT_FALSE(fs::exists(dir + "/machine.hive"));  // not used, not made
}

TEST(HiveFiles, UserHiveDefaultsToTheXdgConfigDirectory) {
    const std::string base = ZelMakeTempDir("zelreg-xdg");
    ASSERT_EQ(0, RunChild([&] {
        unsetenv("ZEL_REGISTRY_DIR");
        setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Test", "v", 1) == ERROR_SUCCESS);
        return 0;
    }));
    EXPECT_TRUE(fs::exists(base + "/config/zelregistry/user.hive"));
    EXPECT_EQ(0700u, ModeOf(base + "/config/zelregistry"));
    EXPECT_EQ(0600u, ModeOf(base + "/config/zelregistry/user.hive"));

    ASSERT_EQ(0, RunChild([&] {
        unsetenv("ZEL_REGISTRY_DIR");
        unsetenv("XDG_CONFIG_HOME");
        setenv("HOME", (base + "/home").c_str(), 1);
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Test", "v", 2) == ERROR_SUCCESS);
        return 0;
    }));
    EXPECT_TRUE(fs::exists(base + "/home/.config/zelregistry/user.hive"));
}

TEST(HiveFiles, RegistryDirectoryIsReadWhenAHiveIsFirstOpened) {
    // The test entry sets ZEL_REGISTRY_DIR in main(), after static initialisation.
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(HKEY_CURRENT_USER, "Software\\ZelRegistryTest\\Here", "v", 1));
    EXPECT_TRUE(fs::exists(ZelTestRegistryDir() + "/user.hive"));
}

TEST(HiveFiles, BothHivesAreSeparateFiles) {
    const std::string dir = ZelMakeTempDir("zelreg-two");
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Only", "user", 1) == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\Only", "machine", 2) == ERROR_SUCCESS);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Only", "machine") == -1);
        CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Only", "user") == -1);
        return 0;
    }));
    EXPECT_TRUE(fs::exists(dir + "/user.hive"));
    EXPECT_TRUE(fs::exists(dir + "/machine.hive"));
    EXPECT_EQ(0644u, ModeOf(dir + "/machine.hive"));
}

TEST(HiveFiles, HiveHeaderCarriesTheApplicationIdAndFormat) {
    const std::string dir = ZelMakeTempDir("zelreg-header");
    ASSERT_EQ(0, InDirectory(dir, [] { return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 1) ? 1 : 0; }));
    const std::string header = ReadFile(dir + "/user.hive").substr(0, 100);
    ASSERT_EQ(100u, header.size());
    EXPECT_EQ(std::string("SQLite format 3\0", 16), header.substr(0, 16));
    EXPECT_EQ(std::string("\x5A\x65\x6C\x52", 4), header.substr(68, 4));    // application id
    EXPECT_EQ(std::string("\0\0\0\x02", 4), header.substr(60, 4));          // format 2
}

// ---- Files that are not hives -----------------------------------------------------------

class ForeignFile : public ::testing::Test {
protected:
    // Puts `bytes` where the user hive goes, lets a child use HKCU, and checks that it was
    // refused with ERROR_BADDB, a message naming the file and `reason`, and an unchanged file.
    void ExpectRefused(const std::string& reason) {
        const std::string before = ReadFile(file_);
        std::string message;
        const int status = CaptureStderr(
            [&] {
                setenv("ZEL_REGISTRY_DIR", dir_.c_str(), 1);
                HKEY key = nullptr;
                CHILD_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &key, nullptr) == ERROR_BADDB);
                CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key) == ERROR_BADDB);
                CHILD_CHECK(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>("x"), 2) == ERROR_BADDB);
                return 0;
            },
            message);
        EXPECT_EQ(0, status) << message;
        EXPECT_NE(std::string::npos, message.find(file_)) << message;
        EXPECT_NE(std::string::npos, message.find(reason)) << message;
        EXPECT_EQ(before, ReadFile(file_));
    }
    std::string dir_ = ZelMakeTempDir("zelreg-foreign");
    std::string file_ = dir_ + "/user.hive";
};

TEST_F(ForeignFile, TextFileIsRefusedAndLeftAlone) {
    std::string bytes = "These are someone's notes, not a registry.\n";
    for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(i * 31));
    WriteFile(file_, bytes);
    ExpectRefused("not a registry hive");
}

TEST_F(ForeignFile, DatabaseOfAnotherProgramIsRefusedAndLeftAlone) {
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file_.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                                      nullptr, nullptr));
    sqlite3_close(db);
    ExpectRefused("another program");
}

TEST_F(ForeignFile, HiveOfANewerFormatIsRefusedAndLeftAlone) {
    ASSERT_EQ(0, InDirectory(dir_, [] { return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 1) ? 1 : 0; }));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file_.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "PRAGMA user_version = 3; PRAGMA journal_mode = DELETE;", nullptr, nullptr,
                                      nullptr));
    sqlite3_close(db);
    ExpectRefused("newer");
}

TEST_F(ForeignFile, HiveOfTheUnreleasedFirstFormatIsRefusedAndLeftAlone) {
    ASSERT_EQ(0, InDirectory(dir_, [] { return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 1) ? 1 : 0; }));
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file_.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "PRAGMA user_version = 1; PRAGMA journal_mode = DELETE;", nullptr, nullptr,
                                      nullptr));
    sqlite3_close(db);
    ExpectRefused("hive format 1 was written by a development version");
}

// ---- Processes ----------------------------------------------------------------------------

using Processes = RegTest;

TEST_F(Processes, TwoProcessesWritingOneHiveAtOnceLoseNothing) {
    constexpr int kKeys = 250;
    // Used before the fork, so the children also show that inherited connections are set aside.
    SetDword(root_, "before-fork", 1);
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    auto writer = [&](int id) {
        return [&, id] {
            char go;
            if (read(ready[0], &go, 1) != 1) return 2;
            char name[32];
            for (int i = 0; i < kKeys; ++i) {
                std::snprintf(name, sizeof name, "p%d-%03d", id, i);
                CHILD_CHECK(WriteDword(root_, name, "n", static_cast<DWORD>(id * 1000 + i)) == ERROR_SUCCESS);
                CHILD_CHECK(WriteDword(root_, "", name, static_cast<DWORD>(i)) == ERROR_SUCCESS);
            }
            return 0;
        };
    };
    const pid_t first = StartChild(writer(1));
    const pid_t second = StartChild(writer(2));
    ASSERT_EQ(2, write(ready[1], "gg", 2));
    EXPECT_EQ(0, WaitChild(first));
    EXPECT_EQ(0, WaitChild(second));
    close(ready[0]);
    close(ready[1]);

    EXPECT_EQ(static_cast<std::size_t>(2 * kKeys), SubKeys(root_).size());
    EXPECT_EQ(static_cast<std::size_t>(2 * kKeys + 1), ValueNames(root_).size());
    char name[32];
    for (int id = 1; id <= 2; ++id) {
        for (int i = 0; i < kKeys; ++i) {
            std::snprintf(name, sizeof name, "p%d-%03d", id, i);
            ASSERT_EQ(id * 1000 + i, ReadDword(root_, name, "n")) << name;
        }
    }
}

TEST(NewHive, ProcessesThatOpenItWhileItIsMadeAllSucceed) {
    constexpr int kProcesses = 4;
    for (int round = 0; round < 10; ++round) {
        const std::string dir = ZelMakeTempDir("zelreg-race");
        int go[2];
        ASSERT_EQ(0, pipe(go));
        std::vector<pid_t> children;
        for (int id = 0; id < kProcesses; ++id) {
            children.push_back(StartInDirectory(dir, [&, id] {
                char c;
                if (read(go[0], &c, 1) != 1) return 2;
                for (int i = 0; i < 20; ++i) {
                    char name[32];
                    std::snprintf(name, sizeof name, "Software\\P%d\\K%02d", id, i);
                    CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, name, "v", static_cast<DWORD>(i)) == ERROR_SUCCESS);
                }
                return 0;
            }));
        }
        ASSERT_EQ(kProcesses, write(go[1], "gggg", kProcesses));
        for (pid_t child : children) EXPECT_EQ(0, WaitChild(child)) << "round " << round;
        close(go[0]);
        close(go[1]);
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
            return WriteDword(root_, "forked", "n", static_cast<DWORD>(child)) ? 1 : 0;
        })) << "child " << child;
    }
    stop = true;
    writer.join();
}

TEST_F(Processes, EveryWriteThatReturnedSurvivesTheWriterBeingKilled) {
    int progress[2];
    ASSERT_EQ(0, pipe(progress));
    const pid_t pid = fork();
    if (pid == 0) {
        close(progress[0]);
        char name[32];
        for (int i = 0;; ++i) {
            std::snprintf(name, sizeof name, "k%06d", i);
            if (WriteDword(root_, name, "n", static_cast<DWORD>(i)) != ERROR_SUCCESS) _exit(3);
            if (write(progress[1], &i, sizeof i) != sizeof i) _exit(4);
        }
    }
    close(progress[1]);
    int last = -1, number = 0;
    while (last < 300 && read(progress[0], &number, sizeof number) == sizeof number) last = number;
    kill(pid, SIGKILL);
    while (read(progress[0], &number, sizeof number) == sizeof number) last = number;
    int status = 0;
    waitpid(pid, &status, 0);
    close(progress[0]);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(last, 300);

    // Read back from a fresh process, which has to open the hive the killed one left.
    const int checked = RunChild([&] {
        char name[32];
        for (int i = 0; i <= last; ++i) {
            std::snprintf(name, sizeof name, "k%06d", i);
            CHILD_CHECK(ReadDword(root_, name, "n") == i);
        }
        return 0;
    });
    EXPECT_EQ(0, checked);
    SetDword(root_, "still-writable", 1);
}

TEST_F(Processes, ReaderSeesAnotherProcessesCommitAtOnce) {
    SetDword(root_, "v", 0);
    HKEY doomed = Create(root_, "Doomed");
    for (int round = 1; round <= 20; ++round) {
        ASSERT_EQ(round - 1, ReadDword(root_, "", "v"));
        ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "", "v", static_cast<DWORD>(round)) ? 1 : 0; }));
        ASSERT_EQ(round, ReadDword(root_, "", "v")) << "round " << round;
    }
    DWORD size = 0;
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(doomed, "x", nullptr, nullptr, nullptr, &size));
    ASSERT_EQ(0, RunChild([&] { return SHDeleteKeyA(root_, "Doomed") ? 1 : 0; }));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "x", nullptr, nullptr, nullptr, &size));
    EXPECT_FALSE(KeyExists(root_, "Doomed"));
    RegCloseKey(doomed);
}

TEST_F(Processes, WriterWaitsForAnotherProcessHoldingTheLockInsteadOfFailing) {
    SetDword(root_, "v", 1);
    const std::string file = ZelTestRegistryDir() + "/user.hive";
    int locked[2];
    ASSERT_EQ(0, pipe(locked));
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (write(locked[1], "L", 1) != 1) _exit(2);
        // Longer than SQLite's own busy timeout in the store: the store has to retry.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        _exit(0);
    }
    char c;
    ASSERT_EQ(1, read(locked[0], &c, 1));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_SUCCESS, WriteDword(root_, "", "v", 2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    int status = 0;
    waitpid(pid, &status, 0);
    close(locked[0]);
    close(locked[1]);
    EXPECT_EQ(2, ReadDword(root_, "", "v"));
}

TEST_F(Processes, ChangeByAnotherProcessSignalsTheEvent) {
    HKEY watched = Create(root_, "Watched");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 100));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Watched\\Deep", "v", 1) ? 1 : 0; }));
    const auto written = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    const auto seen = std::chrono::steady_clock::now();
    std::printf("change by another process seen %.1f ms after its write returned (%.1f ms incl. fork)\n",
                std::chrono::duration<double, std::milli>(seen - written).count(),
                std::chrono::duration<double, std::milli>(seen - start).count());
    CloseHandle(event);
    RegCloseKey(watched);
}

TEST_F(Processes, BlockingNotificationReturnsForAnotherProcessesChange) {
    HKEY watched = Create(root_, "Watched");
    auto waiter = std::async(std::launch::async, [watched] {
        return RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, FALSE);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(0)));
    ASSERT_EQ(0, RunChild([&] {
        HKEY child = nullptr;
        return RegCreateKeyExA(root_, "Watched\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) ? 1 : 0;
    }));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::seconds(5)));
    EXPECT_EQ(ERROR_SUCCESS, waiter.get());
    RegCloseKey(watched);
}

TEST_F(Processes, ChangesByAnotherProcessPassTheFilterAndTheSubTree) {
    HKEY watched = Create(root_, "Watched");
    HKEY sibling = Create(root_, "Sibling");
    RegCloseKey(Create(watched, "Deep"));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    // A sub-tree watch: changes beside the sub-tree and above it are not news.
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME,
                                                     event, TRUE));
    ASSERT_EQ(0, RunChild([&] {
        CHILD_CHECK(WriteDword(root_, "Sibling", "v", 1) == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "Sibling\\New", "v", 1) == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "", "v", 1) == ERROR_SUCCESS);
        return 0;
    }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Watched\\Deep", "v", 1) ? 1 : 0; }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));

    // A watch for names alone: a value set by another process is not news, a new sub-key is.
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, FALSE, REG_NOTIFY_CHANGE_NAME, event, TRUE));
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Watched", "v", 2) ? 1 : 0; }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    ASSERT_EQ(0, RunChild([&] { return SHDeleteKeyA(root_, "Watched\\Deep") ? 1 : 0; }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    CloseHandle(event);
    RegCloseKey(sibling);
    RegCloseKey(watched);
}

// ---- A machine hive that may only be read ------------------------------------------------

TEST(ReadOnlyMachineHive, ReadsWorkAndEveryWriteIsAccessDenied) {
    const std::string dir = ZelMakeTempDir("zelreg-machine");
    // The machine hive is written by one process and stays open in it, as a running
    // administrator's program would keep it.
    int done[2], ready[2];
    ASSERT_EQ(0, pipe(done));
    ASSERT_EQ(0, pipe(ready));
    const pid_t admin = fork();
    if (admin == 0) {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        if (WriteDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v", 42) != ERROR_SUCCESS) _exit(2);
        if (write(ready[1], "r", 1) != 1) _exit(3);
        char c;
        if (read(done[0], &c, 1) < 0) _exit(4);
        _exit(0);
    }
    char c;
    ASSERT_EQ(1, read(ready[0], &c, 1));

    const bool root = geteuid() == 0;
    // Root reads and writes everything; the reader then runs as nobody, who may only read.
    chmod(dir.c_str(), root ? 0755 : 0555);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = dir + "/machine.hive" + suffix;
        if (fs::exists(file)) chmod(file.c_str(), 0444);
    }
    const int status = RunChild([&] {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v") == 42);
        HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
        CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ | KEY_WRITE, &key) ==
                    ERROR_ACCESS_DENIED);
        CHILD_CHECK(key == nullptr);
        key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
        CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr) == ERROR_ACCESS_DENIED);
        CHILD_CHECK(key == nullptr);
        CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                    nullptr) == ERROR_ACCESS_DENIED);
        const DWORD one = 1;
        CHILD_CHECK(RegSetValueExA(HKEY_LOCAL_MACHINE, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4) ==
                    ERROR_ACCESS_DENIED);
        CHILD_CHECK(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor") == ERROR_ACCESS_DENIED);
        CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software") == ERROR_ACCESS_DENIED);
        CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Missing") == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ, &key) == ERROR_SUCCESS);
        DWORD size = 0;
        CHILD_CHECK(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size == 4);
        RegCloseKey(key);
        return 0;
    });
    EXPECT_EQ(0, status);
    ASSERT_EQ(1, write(done[1], "d", 1));
    int adminStatus = 0;
    waitpid(admin, &adminStatus, 0);
    EXPECT_EQ(0, WEXITSTATUS(adminStatus));

    // And after the writer has gone, still readable.
    EXPECT_EQ(0, RunChild([&] {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v") == 42);
        return 0;
    }));
    chmod(dir.c_str(), 0700);
    for (int fd : {done[0], done[1], ready[0], ready[1]}) close(fd);
}

TEST(ReadOnlyMachineHive, MissingMachineHiveThatCannotBeCreatedIsEmptyAndReadOnly) {
    const std::string base = ZelMakeTempDir("zelreg-nomachine");
    chmod(base.c_str(), 0555);
    const bool root = geteuid() == 0;
    if (root) chmod(base.c_str(), 0755);
    EXPECT_EQ(0, RunChild([&] {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        setenv("ZEL_REGISTRY_DIR", (base + "/not-creatable").c_str(), 1);
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        char name[16];
        CHILD_CHECK(RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name) == ERROR_NO_MORE_ITEMS);
        CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_READ, nullptr, &key,
                                    nullptr) == ERROR_ACCESS_DENIED);
        return 0;
    }));
    EXPECT_FALSE(fs::exists(base + "/not-creatable"));
    chmod(base.c_str(), 0700);
}

// ---- Store behaviour beyond the conformance tests -----------------------------------------

using StoreBehaviour = RegTest;

TEST_F(StoreBehaviour, OpenHandleCountFollowsOpensAndCloses) {
    const DWORD before = ZelRegOpenHandleCount();
    HKEY a = Create(root_, "A");
    HKEY b = Open(root_, "A");
    HKEY pseudo = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &pseudo));
    EXPECT_EQ(before + 2, ZelRegOpenHandleCount());
    RegCloseKey(a);
    RegCloseKey(pseudo);
    EXPECT_EQ(before + 1, ZelRegOpenHandleCount());
    RegCloseKey(b);
    EXPECT_EQ(before, ZelRegOpenHandleCount());
}

TEST_F(StoreBehaviour, NullDataWithANonZeroSizeIsNoAccessAndWritesNothing) {
    EXPECT_EQ(ERROR_NOACCESS, RegSetValueExA(root_, "v", 0, REG_BINARY, nullptr, 4));
    EXPECT_TRUE(ValueNames(root_).empty());
}

TEST_F(StoreBehaviour, HandleValuesAreNotReusedAtOnce) {
    HKEY first = Create(root_, "A");
    RegCloseKey(first);
    HKEY second = Create(root_, "A");
    EXPECT_NE(first, second);
    EXPECT_LT(reinterpret_cast<uintptr_t>(second), uintptr_t{0x80000000});
    RegCloseKey(second);
}

TEST_F(StoreBehaviour, OverwrittenValueKeepsItsPlaceInTheEnumeration) {
    for (const char* name : {"first", "second", "third"}) SetDword(root_, name, 1);
    SetString(root_, "FIRST", "changed");
    EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), ValueNames(root_));
}

// The newest key has the largest id; a new key must not get it again, in this process or another,
// after a delete of the key alone or of a tree that holds it.
TEST_F(StoreBehaviour, HandlesToTheNewestKeyStayDeadAfterItsDeleteAndNewKeys) {
    HKEY alone = Create(root_, "Alone");
    ASSERT_EQ(0, RunChild([&] {
        CHILD_CHECK(RegDeleteKeyA(root_, "Alone") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "Other", "v", 1) == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "Alone", "v", 2) == ERROR_SUCCESS);
        return 0;
    }));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(alone, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(2, ReadDword(root_, "Alone", "v"));

    HKEY tree = Create(root_, "Tree");
    HKEY leaf = Create(tree, "Branch\\Leaf");
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(tree, ""));
    RegCloseKey(Create(tree, "Branch"));
    HKEY again = Create(tree, "Branch\\Leaf");
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(leaf, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(again, "v", nullptr, nullptr, nullptr, &size));
    for (HKEY key : {alone, tree, leaf, again}) RegCloseKey(key);
}

TEST_F(StoreBehaviour, RewritingAValueAsItIsChangesNothingAndSignalsNothing) {
    SetString(root_, "text", "same");
    SetDword(root_, "number", 7);
    auto lastWrite = [this] {
        FILETIME time{0, 0};
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, &time));
        return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    };
    const uint64_t before = lastWrite();
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(root_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetString(root_, "TEXT", "same");
    SetDword(root_, "number", 7);
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "", "number", 7) ? 1 : 0; }));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    EXPECT_EQ(before, lastWrite());
    EXPECT_EQ("same", ReadString(root_, "text"));
    EXPECT_EQ(7, ReadDword(root_, "", "number"));
    EXPECT_EQ((std::vector<std::string>{"text", "number"}), ValueNames(root_));

    // The same bytes under another type are a change.
    const DWORD seven = 7;
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(root_, "number", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&seven), sizeof seven));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    EXPECT_LT(before, lastWrite());
    CloseHandle(event);
}

TEST_F(StoreBehaviour, VolatileKeysOfAnEarlierBootAreGoneWhenTheHiveIsOpened) {
    const std::string dir = ZelMakeTempDir("zelreg-volatile");
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Stays", "v", 1) == ERROR_SUCCESS);
        HKEY key = nullptr;
        CHILD_CHECK(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vol\\Inner", 0, nullptr, REG_OPTION_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
        RegCloseKey(key);
        return 0;
    }));
    // Same boot: a new process still sees them.
    ASSERT_EQ(0, InDirectory(dir, [] {
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol\\Inner", 0, KEY_READ, &key) == ERROR_SUCCESS);
        return 0;
    }));
    // Pretend they were made before the last restart.
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((dir + "/user.hive").c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "UPDATE items SET boot = 'an-earlier-boot' WHERE boot IS NOT NULL", nullptr,
                                      nullptr, nullptr));
    sqlite3_close(db);
    ASSERT_EQ(0, InDirectory(dir, [] {
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Stays", "v") == 1);
        return 0;
    }));
}

}  // namespace
