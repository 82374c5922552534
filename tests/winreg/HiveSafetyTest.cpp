// How the store keeps its hive files safe: the log goes into the hive when processes exit, a
// damaged or emptied hive is refused untouched, files that another user could plant or replace
// are refused, a full disk is reported as such (once), side files deleted under a running
// program stop its writes, and no wait for a lock lasts for ever.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "platform/winreg/HiveLocks.h"
#include "support/ZelTestDir.h"

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

off_t SizeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// A child that writes a value and is killed before it could exit, leaving the value in the log.
long WriteAndDie(const char* name, DWORD value) {
    if (WriteDword(HKEY_CURRENT_USER, "Software\\Safety", name, value) != ERROR_SUCCESS) return 1;
    raise(SIGKILL);
    return 1;
}

// Runs body in a child in `dir` with its error output in `messages`; the child's status.
int WithMessages(const std::string& dir, const std::string& messages, const std::function<long()>& body) {
    return InDirectory(dir, [&] { return std::freopen(messages.c_str(), "w", stderr) ? body() : 1; });
}

long WriteUserDword() { return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 1); }

int CountLines(const std::string& text, const std::string& containing) {
    int count = 0;
    for (std::size_t at = text.find(containing); at != std::string::npos; at = text.find(containing, at + 1)) ++count;
    return count;
}

TEST(HiveFileSafety, TheLogGoesIntoTheHiveWhenAProcessExitsAlsoWhatAKilledOneLeft) {
    const std::string dir = ZelMakeTempDir("zelreg-log"), hive = dir + "/user.hive", log = hive + "-wal";
    ASSERT_EQ(128 + SIGKILL, InDirectory(dir, [] { return WriteAndDie("killed", 1); }));
    EXPECT_GT(SizeOf(log), 0);
    ASSERT_EQ(0, InDirectory(dir, ExitingNormally([] {
        return WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "exited", 2);
    })));
    EXPECT_EQ(0, SizeOf(log));

    // Another process that has the hive open does not keep an exiting one from emptying the log.
    Pipe ready, done;
    const pid_t holder = StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "exited") == 2);
        // Idle, as a program waiting for its user is: it keeps no read going (which would hold
        // the log, as SQLite's readers do) beyond a moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return ready.Say() && done.Hear() ? 0 : 1;
    });
    ASSERT_TRUE(ready.Hear());
    ASSERT_EQ(0, InDirectory(dir, ExitingNormally([] {
        return WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "beside", 3);
    })));
    EXPECT_EQ(0, SizeOf(log));
    ASSERT_TRUE(done.Say());
    EXPECT_EQ(0, WaitChild(holder));

    // The hive file alone holds everything.
    const std::string alone = ZelMakeTempDir("zelreg-alone");
    fs::copy_file(hive, alone + "/user.hive");
    EXPECT_EQ(0, InDirectory(alone, [] {
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "killed") == 1);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "exited") == 2);
        return ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "beside") == 3 ? 0 : 1;
    }));
}

// The next process copies a killed writer's log into the hive in the background while it goes on
// (it ends as a killed one does, so nothing is copied at its exit): the hive file alone, copied
// meanwhile, comes to hold what the killed writer wrote.
TEST(HiveFileSafety, TheNextProcessCopiesAKilledWritersLogInTheBackground) {
    const std::string dir = ZelMakeTempDir("zelreg-killed"), hive = dir + "/user.hive";
    ASSERT_EQ(128 + SIGKILL, InDirectory(dir, [] { return WriteAndDie("killed", 5); }));
    Pipe ready, done;
    const pid_t reader = StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "killed") == 5);
        return ready.Say() && done.Hear() ? 0 : 1;
    });
    ASSERT_TRUE(ready.Hear());
    bool inHive = false;
    for (int attempt = 0; attempt < 200 && !inHive; ++attempt) {
        const std::string alone = ZelMakeTempDir("zelreg-alone");
        fs::copy_file(hive, alone + "/user.hive");
        inHive = InDirectory(alone, [] {
            return ReadDword(HKEY_CURRENT_USER, "Software\\Safety", "killed") == 5 ? 0 : 1;
        }) == 0;
        if (!inHive) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(inHive);
    ASSERT_TRUE(done.Say());
    EXPECT_EQ(0, WaitChild(reader));
}

// Each case damages a hive whose latest changes are in its log; the next process is refused with
// a message naming the file, and the hive and its log stay as they were, also after that process
// exits normally.
TEST(HiveFileSafety, ADamagedHiveIsRefusedAndLeftByteForByte) {
    const struct {
        const char* what;
        void (*damage)(const std::string& hive);
        const char* message;
    } cases[] = {
        {"emptied", [](const std::string& hive) { fs::resize_file(hive, 0); }, "the hive file is empty while its log"},
        {"removed", [](const std::string& hive) { fs::remove(hive); }, "the hive file is missing while its log"},
        {"cut to one page", [](const std::string& hive) { fs::resize_file(hive, 2048); }, "is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = ZelMakeTempDir("zelreg-damage"), hive = dir + "/user.hive", log = hive + "-wal";
        // Enough keys that the hive spans many pages, all of them in the hive file; then one more
        // change, in the log only.
        ASSERT_EQ(0, InDirectory(dir, ExitingNormally([] {
            for (int i = 0; i < 400; ++i) {
                const std::string key = "Software\\Safety\\K" + std::to_string(i);
                CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, key.c_str(), "v", static_cast<DWORD>(i)) == ERROR_SUCCESS);
            }
            return 0;
        })));
        ASSERT_EQ(128 + SIGKILL, InDirectory(dir, [] { return WriteAndDie("last", 7); }));
        c.damage(hive);
        const bool hadHive = fs::exists(hive);
        const std::string hiveBytes = ReadFile(hive), logBytes = ReadFile(log), messages = dir + "/messages.txt";
        ASSERT_FALSE(logBytes.empty());

        const int status = WithMessages(dir, messages, ExitingNormally([] {
            // Every key is read: the first that the damage took fails, and so does every call after it.
            for (int i = 0; i < 400; ++i) {
                const std::string key = "Software\\Safety\\K" + std::to_string(i);
                if (ReadDword(HKEY_CURRENT_USER, key.c_str(), "v") != i) {
                    HKEY opened = nullptr;
                    const LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened);
                    if (rc == ERROR_SUCCESS) RegCloseKey(opened);
                    return rc == ERROR_REGISTRY_CORRUPT ? 0 : 1;
                }
            }
            return 2;  // nothing was found damaged
        }));
        const std::string said = ReadFile(messages);
        EXPECT_EQ(0, status) << said;
        EXPECT_NE(std::string::npos, said.find(hive)) << said;
        EXPECT_NE(std::string::npos, said.find(c.message)) << said;
        EXPECT_EQ(hadHive, fs::exists(hive));
        EXPECT_TRUE(hiveBytes == ReadFile(hive));
        EXPECT_TRUE(logBytes == ReadFile(log));
    }
}

// SQLite gives the files it makes the mode of the hive file; the store makes them the user's
// alone, whatever the hive file's mode and the umask.
TEST(HiveFileSafety, EveryFileIsTheUsersAloneWhateverIsBesideIt) {
    const std::string made = ZelMakeTempDir("zelreg-mode") + "/new", hive = made + "/user.hive";
    ASSERT_EQ(0, InDirectory(made, ExitingNormally([] {
        umask(0);
        return WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "v", 1);
    })));
    EXPECT_EQ(0700u, ModeOf(made));
    for (const char* suffix : {"", "-wal", "-shm", "-locks"}) EXPECT_EQ(0600u, ModeOf(hive + suffix)) << suffix;

    // A hive file its user made readable to others (theirs to decide), alone in a directory.
    const std::string dir = ZelMakeTempDir("zelreg-mode");
    fs::copy_file(hive, dir + "/user.hive");
    ASSERT_EQ(0, chmod((dir + "/user.hive").c_str(), 0644));
    ASSERT_EQ(0, InDirectory(dir, [] {
        umask(0);
        return WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "v", 2);
    }));
    for (const char* suffix : {"-wal", "-shm", "-locks"}) EXPECT_EQ(0600u, ModeOf(dir + "/user.hive" + suffix)) << suffix;
}

// Files another user planted beside the hive, or could replace, are refused and left as they are.
TEST(HiveFileSafety, FilesThatOthersCouldPlantOrReplaceAreRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "planting files as another user needs root";
    // As another user: a file in `dir`, or a change that user may make.
    const auto asNobody = [](const std::function<long()>& body) {
        return RunChild([&] { return setgid(kNobody) == 0 && setuid(kNobody) == 0 ? body() : 1; });
    };
    const auto plant = [&](const std::string& path) {
        return asNobody([&] {
            umask(0);
            const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
            return fd >= 0 && close(fd) == 0 ? 0 : 1;
        });
    };
    const struct {
        const char* what;
        std::function<int(const std::string& dir)> arrange;
        const char* message;
    } cases[] = {
        {"a hive planted", [&](const std::string& dir) { return plant(dir + "/user.hive"); }, "belongs to user 65534"},
        {"a log planted", [&](const std::string& dir) { return plant(dir + "/user.hive-wal"); }, "user.hive-wal': it belongs"},
        {"an index planted", [&](const std::string& dir) { return plant(dir + "/user.hive-shm"); }, "belongs to user"},
        {"a lock file planted", [&](const std::string& dir) { return plant(dir + "/user.hive-locks"); }, "belongs to user"},
        {"the hive writable by others",
         [](const std::string& dir) {
             return InDirectory(dir, WriteUserDword) == 0 ? chmod((dir + "/user.hive").c_str(), 0666) : 1;
         },
         "other users may write it"},
        {"the hive a symbolic link",
         [](const std::string& dir) {
             const std::string elsewhere = ZelMakeTempDir("zelreg-elsewhere");
             fs::create_symlink(elsewhere + "/user.hive", dir + "/user.hive");
             return InDirectory(elsewhere, [] { return WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "v", 1); });
         },
         "symbolic link"},
        {"a directory everyone may write", [](const std::string& dir) { return chmod(dir.c_str(), 0777); },
         "other users may write the directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = ZelMakeTempDir("zelreg-shared"), messages = ZelMakeTempDir("zelreg-said") + "/m.txt";
        ASSERT_EQ(0, chmod(dir.c_str(), 01777));  // shared, as /tmp is
        ASSERT_EQ(0, c.arrange(dir));
        std::vector<std::pair<std::string, std::string>> before;
        for (const auto& entry : fs::directory_iterator(dir)) before.emplace_back(entry.path(), ReadFile(entry.path()));
        const int status = WithMessages(dir, messages, [] {
            CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\Safety", "secret", 1) == ERROR_ACCESS_DENIED);
            return ReadDword(HKEY_CURRENT_USER, "Software\\X", "v") == -1 ? 0 : 1;
        });
        const std::string said = ReadFile(messages);
        EXPECT_EQ(0, status) << said;
        EXPECT_NE(std::string::npos, said.find(c.message)) << said;
        std::vector<std::pair<std::string, std::string>> after;
        for (const auto& entry : fs::directory_iterator(dir)) after.emplace_back(entry.path(), ReadFile(entry.path()));
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_TRUE(before == after) << "the store changed or made files";
    }

    // In a shared directory with the sticky bit the user's own files are used, and no other
    // user can replace them.
    const std::string dir = ZelMakeTempDir("zelreg-sticky");
    ASSERT_EQ(0, chmod(dir.c_str(), 01777));
    ASSERT_EQ(0, InDirectory(dir, WriteUserDword));
    EXPECT_NE(0, asNobody([&] { return unlink((dir + "/user.hive-wal").c_str()); }));
    EXPECT_EQ(0, InDirectory(dir, [] { return ReadDword(HKEY_CURRENT_USER, "Software\\X", "v") == 1 ? 0 : 1; }));
}

// On a disk that is full to the last byte, every write fails with 112 and says so once, reads go
// on, nothing is lost, and a hive that cannot even get its index or lock file is not taken for
// damaged.
TEST(HiveFileSafety, AFullDiskIsReportedAsSuchOnceAndLosesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "a small disk of its own (tmpfs) needs root";
    const std::string disk = ZelMakeTempDir("zelreg-full"), messages = ZelMakeTempDir("zelreg-said") + "/m.txt";
    const std::string dir = disk + "/reg", copy = disk + "/copy", filler = disk + "/filler";
    // In a mount namespace of its own: the small disk goes with the child.
    const int status = RunChild([&]() -> long {
        CHILD_CHECK(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        CHILD_CHECK(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") == 0);
        CHILD_CHECK(InDirectory(dir, ExitingNormally([] {
                        for (int i = 0; i < 20; ++i) CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\F", ("v" + std::to_string(i)).c_str(), i) == 0);
                        return 0;
                    })) == 0);
        // Copies of the hive without the index and lock files, and without the lock file alone:
        // there is no room to make them once the disk is full.
        for (const char* suffix : {"", "-shm"}) {
            const std::string to = copy + suffix;
            CHILD_CHECK(fs::create_directory(to) && chmod(to.c_str(), 0700) == 0);
            fs::copy_file(dir + "/user.hive", to + "/user.hive");
            if (*suffix) fs::copy_file(dir + "/user.hive-shm", to + "/user.hive-shm");
        }
        {
            const int fd = open(filler.c_str(), O_CREAT | O_WRONLY, 0600);
            const std::string block(4096, 'x');
            while (write(fd, block.data(), block.size()) > 0) {
            }
            while (write(fd, "x", 1) > 0) {
            }
            close(fd);
        }
        CHILD_CHECK(WithMessages(dir, messages, [] {
                        for (int i = 0; i < 300; ++i) {
                            const std::string name = "new" + std::to_string(i);
                            CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\F", name.c_str(), 1) == ERROR_DISK_FULL);
                        }
                        for (int i = 0; i < 20; ++i) CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\F", ("v" + std::to_string(i)).c_str()) == i);
                        return 0;
                    }) == 0);
        CHILD_CHECK(CountLines(ReadFile(messages), "disk is full") == 1);
        for (const char* suffix : {"", "-shm"}) {
            CHILD_CHECK(WithMessages(copy + suffix, messages, [] {
                            HKEY key = kSentinel;
                            return RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\F", 0, KEY_READ, &key) == ERROR_DISK_FULL ? 0 : 1;
                        }) == 0);
            CHILD_CHECK(CountLines(ReadFile(messages), "disk is full") == 1);
        }
        CHILD_CHECK(fs::remove(filler));
        return InDirectory(dir, [] {
            CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\F", "after", 1) == ERROR_SUCCESS);
            for (int i = 0; i < 20; ++i) CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\F", ("v" + std::to_string(i)).c_str()) == i);
            return 0;
        });
    });
    EXPECT_EQ(0, status) << ReadFile(messages);
}

// Deleting a lock or index file that processes use would let the next process start another lock
// table over the same hive: the processes that had the old one stop writing, and say why.
TEST(HiveFileSafety, ALockOrIndexFileDeletedInUseStopsTheWritesOfThoseThatHadIt) {
    for (const char* side : {"-locks", "-shm"}) {
        SCOPED_TRACE(side);
        const std::string dir = ZelMakeTempDir("zelreg-deleted"), messages = dir + "/m.txt";
        Pipe ready, go;
        const pid_t old = StartChild([&] {
            setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
            CHILD_CHECK(std::freopen(messages.c_str(), "w", stderr));
            CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\D", "old", 1) == ERROR_SUCCESS);
            CHILD_CHECK(ready.Say() && go.Hear());
            CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\D", "old", 2) == ERROR_REGISTRY_IO_FAILED);
            return WriteDword(HKEY_CURRENT_USER, "Software\\D", "other", 2) == ERROR_REGISTRY_IO_FAILED ? 0 : 1;
        });
        ASSERT_TRUE(ready.Hear());
        ASSERT_EQ(0, unlink((dir + "/user.hive" + side).c_str()));
        EXPECT_EQ(0, InDirectory(dir, [] { return WriteDword(HKEY_CURRENT_USER, "Software\\D", "new", 3); }));
        ASSERT_TRUE(go.Say());
        EXPECT_EQ(0, WaitChild(old));
        const std::string said = ReadFile(messages);
        EXPECT_EQ(1, CountLines(said, "was deleted or replaced while in use")) << said;
        EXPECT_EQ(0, InDirectory(dir, [] {
            CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\D", "old") == 1);
            return ReadDword(HKEY_CURRENT_USER, "Software\\D", "new") == 3 ? 0 : 1;
        }));
        EXPECT_EQ(SQLITE_OK, Sql(dir + "/user.hive", "PRAGMA integrity_check"));
    }
}

// A process stopped (not dead) while it holds the lock table's mutex keeps it: the others fail
// with a busy hive's status once the wait limit has passed, instead of waiting for ever, and
// take the mutex over only once the holder is dead.
TEST(HiveFileSafety, AStoppedLockHolderMakesCallsFailInTimeAndIsNeverTakenOver) {
    const std::string dir = ZelMakeTempDir("zelreg-stopped"), messages = dir + "/m.txt";
    Pipe ready;
    const pid_t holder = StartChild([&] {
        setenv("ZEL_REGISTRY_DIR", dir.c_str(), 1);
        CHILD_CHECK(WriteUserDword() == ERROR_SUCCESS);  // the hive stays open: this process is counted in
        const int fd = open((dir + "/user.hive-locks").c_str(), O_RDWR);
        void* table = mmap(nullptr, sizeof(zelreg::HiveLockTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        CHILD_CHECK(table != MAP_FAILED);
        CHILD_CHECK(pthread_mutex_lock(&static_cast<zelreg::HiveLockTable*>(table)->mutex) == 0);
        CHILD_CHECK(ready.Say());
        raise(SIGSTOP);
        return 0;
    });
    ASSERT_TRUE(ready.Hear());
    const auto call = [&](LONG expected) {
        return WithMessages(dir, messages, [expected] {
            alarm(60);  // a call that hangs fails the test instead of stopping it
            setenv("ZEL_REGISTRY_LOCK_WAIT", "1", 1);
            return WriteDword(HKEY_CURRENT_USER, "Software\\X", "v", 2) == expected ? 0 : 1;
        });
    };
    EXPECT_EQ(0, call(ERROR_REGISTRY_IO_FAILED));
    EXPECT_NE(std::string::npos, ReadFile(messages).find("stays locked by another process"));
    EXPECT_EQ(0, call(ERROR_REGISTRY_IO_FAILED));  // still stopped: still not taken over
    kill(holder, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, WaitChild(holder));
    EXPECT_EQ(0, call(ERROR_SUCCESS));
}

}  // namespace
