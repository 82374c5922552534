// What only this platform's registry store has: hive files, their place and permissions, refusal
// of foreign files, several processes on one hive, a killed writer, a read-only machine hive.
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>

#include "StoreTestSupport.h"
#include "RegTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;

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
    const std::string header = ReadFile(dir + "/user.hive").substr(0, 72);
    EXPECT_EQ(std::string("\0\0\0\x03", 4), header.substr(60, 4));  // format 3
    EXPECT_EQ("ZelR", header.substr(68));                            // application id
    ASSERT_EQ(0, InDirectory(dir, [] {
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\X", "machine", 2) == ERROR_SUCCESS);
        return ReadDword(HKEY_CURRENT_USER, "Software\\X", "machine") == -1 ? 0 : 1;  // a file of its own
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
        {true, "PRAGMA user_version = 4; PRAGMA journal_mode = DELETE;", "newer"},
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
            std::ofstream(file, std::ios::binary) << "Someone's notes, not a registry.\n" << std::string(5000, '\x9b');
        }
        const std::string before = ReadFile(file), messages = dir + "/stderr.txt";
        const int status = InDirectory(dir, [&] {
            CHILD_CHECK(std::freopen(messages.c_str(), "w", stderr));
            CHILD_CHECK(CreateKey(HKEY_CURRENT_USER, "Software\\X") == ERROR_BADDB);
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

// Each round on a new hive: the first of the processes makes it while the others open it.
TEST_F(Processes, SeveralWritingOneHiveAtOnceAlsoWhileItIsMadeLoseNothing) {
    constexpr int kProcesses = 4, kKeys = 60;  // each
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        const std::string dir = ZelMakeTempDir("zelreg-race");
        ASSERT_TRUE(RunTogether(kProcesses, [&](int id) {
            setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
            for (int i = id * kKeys; i < (id + 1) * kKeys; ++i) {
                const std::string name = "k" + std::to_string(i);
                CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, ("Software\\" + name).c_str(), "n", i) == ERROR_SUCCESS);
                CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software", name.c_str(), i) == ERROR_SUCCESS);
            }
            return 0;
        }));
        ASSERT_EQ(0, InDirectory(dir, [] {
            const HKEY software = Open(HKEY_CURRENT_USER, "Software", KEY_READ);
            CHILD_CHECK(ValueNames(software).size() == static_cast<std::size_t>(kProcesses * kKeys));
            for (int i = 0; i < kProcesses * kKeys; ++i)
                CHILD_CHECK(ReadDword(software, ("k" + std::to_string(i)).c_str(), "n") == i);
            return 0;
        }));
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
        for (int i = 0; !stop; ++i)
            if (WriteDword(root_, ("busy\\k" + std::to_string(i)).c_str(), "n", 1) != ERROR_SUCCESS) return;
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

// The store's own threads are at work while this process forks: the watcher thread compares
// after every commit and watch, the background thread checkpoints. No child may inherit a lock
// one of them held, whatever the allocator (this one runs under the address sanitizer too).
TEST_F(Processes, ChildrenForkedWhileTheStoresOwnThreadsWorkCanUseTheRegistry) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (int child = 0; child < 150; ++child) {
        ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(root_, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, ("busy\\k" + std::to_string(i)).c_str(), "n", child));
        ASSERT_EQ(0, RunChild([&] {
            alarm(20);  // a child that hangs fails the test instead of stopping it
            CHILD_CHECK(ReadDword(root_, "busy\\k9", "n") == child);
            return WriteDword(root_, "forked", "n", static_cast<DWORD>(child)) == ERROR_SUCCESS ? 0 : 1;
        })) << "child " << child;
    }
    CloseHandle(event);
}

TEST_F(Processes, EveryWriteThatReturnedSurvivesTheWriterBeingKilled) {
    Pipe progress;  // a byte for each write that returned
    const pid_t pid = StartChild([&] {
        int i = 0;
        while (WriteDword(root_, ("k" + std::to_string(i)).c_str(), "n", i) == ERROR_SUCCESS && progress.Say()) ++i;
        return 1;
    });
    progress.CloseWriteEnd();
    int last = -1;
    while (last < 300 && progress.Hear()) ++last;
    kill(pid, SIGKILL);
    while (progress.Hear()) ++last;
    ASSERT_EQ(128 + SIGKILL, WaitChild(pid));
    ASSERT_GE(last, 300);
    EXPECT_EQ(0, RunChild([&] {  // a fresh process, which opens the hive that the killed one left
        for (int i = 0; i <= last; ++i) CHILD_CHECK(ReadDword(root_, ("k" + std::to_string(i)).c_str(), "n") == i);
        return 0;
    }));
    SetDword(root_, "still-writable", 1);
}

TEST_F(Processes, ChangesOfAnotherProcessAreSeenAtOnceAndItsDeletesKillOurHandles) {
    HKEY doomed = Create(root_, "Doomed");
    for (int round = 1; round <= 20; ++round) {
        ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "", "v", static_cast<DWORD>(round)); }));
        ASSERT_EQ(round, ReadDword(root_, "", "v")) << "round " << round;
    }
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, Query(doomed, "x"));
    ASSERT_EQ(0, RunChild([&] { return SHDeleteKeyA(root_, "Doomed"); }));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(doomed, "x"));
    RegCloseKey(doomed);
}

// Programs that open a hive with SQLite itself: the machine hive keeps SQLite's own locks, and a
// writer waits for such a program instead of failing; the user hive's locks are the store's own,
// and while the store has it open such a program can neither write it nor checkpoint it.
TEST_F(Processes, ProgramsUsingSqliteOnAHiveAreWaitedForOrKeptOut) {
    HKEY machine = Create(HKEY_LOCAL_MACHINE, "Software\\ZelTest");
    Pipe locked;
    const pid_t pid = StartChild([&] {
        sqlite3* db = nullptr;
        sqlite3_open((ZelTestRegistryDir() + "/machine.hive").c_str(), &db);
        CHILD_CHECK(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK && locked.Say());
        // Longer than SQLite's own busy timeout in the store: the store has to retry.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    });
    ASSERT_TRUE(locked.Hear());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ERROR_SUCCESS, WriteDword(machine, "", "v", 2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(0, WaitChild(pid));
    EXPECT_EQ(2, ReadDword(machine, "", "v"));
    RegCloseKey(machine);

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
    Pipe ready, done;
    const pid_t admin = StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v", 42) == ERROR_SUCCESS);
        CHILD_CHECK(ready.Say() && done.Hear());
        return 0;
    });
    ASSERT_TRUE(ready.Hear());
    chmod(dir.c_str(), root ? 0755 : 0555);
    for (const char* suffix : {"", "-wal", "-shm"}) chmod((dir + "/machine.hive" + suffix).c_str(), 0444);
    const auto reader = [&](bool tryWrites) {
        return InDirectory(dir, [&] {
            CHILD_CHECK(BecomeNobody(root));
            CHILD_CHECK(ReadDword(HKEY_LOCAL_MACHINE, "Software\\Vendor", "v") == 42);
            if (!tryWrites) return 0;
            HKEY key = kSentinel;
            CHILD_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ | KEY_WRITE, &key) ==
                        ERROR_ACCESS_DENIED);
            CHILD_CHECK(key == nullptr);
            for (REGSAM access : {KEY_ALL_ACCESS, KEY_READ}) {
                key = kSentinel;
                CHILD_CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, access, nullptr, &key,
                                            nullptr) == ERROR_ACCESS_DENIED);
                CHILD_CHECK(key == nullptr);
            }
            CHILD_CHECK(Set(HKEY_LOCAL_MACHINE, "x", REG_DWORD, "abcd", 4) == ERROR_ACCESS_DENIED);
            CHILD_CHECK(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor") == ERROR_ACCESS_DENIED);
            CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software") == ERROR_ACCESS_DENIED);
            CHILD_CHECK(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Missing") == ERROR_FILE_NOT_FOUND);
            return 0;
        });
    };
    EXPECT_EQ(0, reader(true));
    ASSERT_TRUE(done.Say());
    EXPECT_EQ(0, WaitChild(admin));
    EXPECT_EQ(0, reader(false));  // also after the writer has gone

    // A machine hive that is missing and cannot be made is empty and read-only, and stays missing.
    EXPECT_EQ(0, InDirectory(dir + "/not-creatable", [&] {
        CHILD_CHECK(BecomeNobody(root));
        HKEY key = nullptr;
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
    EXPECT_EQ(ERROR_NOACCESS, Set(root_, "v", REG_BINARY, nullptr, 4));  // and writes nothing
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    EXPECT_EQ(before, LastWrite(root_));

    // The same bytes under another type are a change; an overwritten value keeps its place.
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "number", REG_BINARY, "\7\0\0\0", 4));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));
    EXPECT_LT(before, LastWrite(root_));
    SetString(root_, "TEXT", "changed");
    EXPECT_EQ((Names{"text", "number"}), ValueNames(root_));
    CloseHandle(event);
}

// The store keeps what RegQueryInfoKeyA reports instead of counting on every call: after any
// sequence of additions, removals and changes it must be what counting would give, the longest
// names and class and the largest data of the items there now. The values, soon too many to be
// listed without their place rows, stay listed in the order they were first set.
TEST_F(StoreBehaviour, QueryInfoFiguresStayWhatCountingTheItemsGives) {
    struct Item {
        std::string name;
        DWORD size;  // class length or data size
    };
    std::map<std::string, Item> keys, values;  // by upper-cased name
    Names order;                               // of the values, upper-cased
    std::size_t mostValues = 0;
    std::mt19937 random(11);
    auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto upper = [](std::string name) {
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return name;
    };
    auto longest = [](const std::map<std::string, Item>& items, bool ofNames) {
        DWORD most = 0;
        for (const auto& item : items) most = std::max<DWORD>(most, ofNames ? static_cast<DWORD>(item.second.name.size()) : item.second.size);
        return most;
    };
    HKEY box = Create(root_, "Box");
    // First the value that has the longest name and the largest data gets data of the same size,
    // then goes: what it leaves is the next value's.
    SetString(box, "longest", "0123456789");
    ASSERT_EQ(ERROR_SUCCESS, Set(box, "longest", REG_BINARY, "abcdefghijklmnopqrstuv", 22));
    SetDword(box, "v", 1);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(box, "longest"));
    DWORD first[3] = {};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(box, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &first[0],
                                              &first[1], &first[2], nullptr, nullptr));
    EXPECT_EQ((std::vector<DWORD>{1, 1, 4}), std::vector<DWORD>(first, first + 3));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(box, "v"));
    for (int step = 0; step < 1000; ++step) {
        SCOPED_TRACE(step);
        const int what = pick(0, 6);
        // Mostly short names of few letters, so that the same one comes again and lengths tie
        // often; now and then a long one, the longest while it lasts.
        std::string name(static_cast<std::size_t>(pick(0, 9) == 0 ? pick(5, 8) : pick(1, 3)), 'a');
        for (char& c : name) c = static_cast<char>(pick(0, 1) ? 'a' + pick(0, 5) : 'A' + pick(0, 5));
        if (what == 0 || what == 1) {
            std::string keyClass(static_cast<std::size_t>(pick(0, 8)), 'c');
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(box, name.c_str(), 0, &keyClass[0], 0, KEY_ALL_ACCESS, nullptr,
                                                     &key, nullptr));
            RegCloseKey(key);
            keys.emplace(upper(name), Item{name, static_cast<DWORD>(keyClass.size())});  // an existing one stays
        } else if (what == 2 && !keys.empty()) {
            auto victim = std::next(keys.begin(), pick(0, static_cast<int>(keys.size()) - 1));
            ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(box, victim->second.name.c_str()));
            keys.erase(victim);
        } else if (what >= 3 && what <= 5) {
            std::string data(static_cast<std::size_t>(pick(0, 40)), 'd');
            for (char& c : data) c = static_cast<char>(pick(0, 255));  // another value of the same size
            ASSERT_EQ(ERROR_SUCCESS, Set(box, name.c_str(), REG_BINARY, data.data(), static_cast<DWORD>(data.size())));
            auto found = values.find(upper(name));
            if (found == values.end()) {
                values.emplace(upper(name), Item{name, static_cast<DWORD>(data.size())});
                order.push_back(upper(name));
            } else {
                found->second.size = static_cast<DWORD>(data.size());  // the first spelling stays
            }
        } else if (!values.empty()) {
            auto victim = std::next(values.begin(), pick(0, static_cast<int>(values.size()) - 1));
            ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(box, victim->second.name.c_str()));
            order.erase(std::find(order.begin(), order.end(), victim->first));
            values.erase(victim);
        }
        DWORD f[6] = {};
        ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(box, nullptr, nullptr, nullptr, &f[0], &f[1], &f[2], &f[3], &f[4],
                                                  &f[5], nullptr, nullptr));
        const DWORD expected[6] = {static_cast<DWORD>(keys.size()),   longest(keys, true),   longest(keys, false),
                                   static_cast<DWORD>(values.size()), longest(values, true), longest(values, false)};
        ASSERT_EQ(std::vector<DWORD>(expected, expected + 6), std::vector<DWORD>(f, f + 6));
        mostValues = std::max(mostValues, values.size());
        if (step % 50 == 49) {
            Names listed;
            for (const std::string& value : order) listed.push_back(values.at(value).name);
            ASSERT_EQ(listed, ValueNames(box));
        }
    }
    EXPECT_GT(mostValues, 64u);
    // Emptying the key (a tree delete of "" keeps the key) leaves nothing to count.
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(box, ""));
    DWORD counted[6] = {9, 9, 9, 9, 9, 9};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(box, nullptr, nullptr, nullptr, &counted[0], &counted[1], &counted[2],
                                              &counted[3], &counted[4], &counted[5], nullptr, nullptr));
    EXPECT_EQ(std::vector<DWORD>(6, 0), std::vector<DWORD>(counted, counted + 6));
    RegCloseKey(box);
}

// The machine's hive root lies one level higher in Windows' registry than the user's: its keys
// may lie 510 levels below it.
TEST(MachineHive, KeysLieAtMost510LevelsBelowItsRoot) {
    std::string level = "M";
    for (int i = 1; i < 102; ++i) level += "\\M";
    HKEY key = HKEY_LOCAL_MACHINE;
    for (int depth = 0; depth < 510; depth += 102) {
        HKEY next = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(key, level.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &next, nullptr));
        if (key != HKEY_LOCAL_MACHINE) RegCloseKey(key);
        key = next;
    }
    HKEY beyond = kSentinel;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(key, "X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &beyond, nullptr));
    EXPECT_EQ(nullptr, beyond);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_LOCAL_MACHINE, "M"));
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
    ASSERT_EQ(SQLITE_OK, Sql(dir + "/user.hive", "UPDATE cells SET boot = 'an-earlier-boot' WHERE boot IS NOT NULL"));
    ASSERT_EQ(0, InDirectory(dir, [] {
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vol", 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Stays", "v") == 1);
        return 0;
    }));
}

}  // namespace
