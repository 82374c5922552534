// What this process keeps of what it read is never stale: changes of another process, of this
// one, deleted and re-made keys, a sub-tree replaced in a transaction or restored from a file, a
// forked child; and it stays within its bound however much is read.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"

namespace {

using ReadCache = RegTest;

// Every read below is made twice in a row first, so that the second comes from the cache.
TEST_F(ReadCache, ChangesOfAnotherProcessAreReadBackAtOnce) {
    HKEY key = Create(root_, "Cached");
    HKEY doomed = Create(key, "Doomed");
    SetDword(doomed, "v", 1);
    SetDword(key, "n", 0);
    for (DWORD round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(static_cast<int64_t>(round - 1), ReadDword(key, "", "n"));
        ASSERT_EQ(static_cast<int64_t>(round - 1), ReadDword(key, "", "n"));
        ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Cached", "n", round); }));
        EXPECT_EQ(static_cast<int64_t>(round), ReadDword(key, "", "n"));
    }
    // A value deleted, a key deleted and made anew: the old handle is dead, the path leads to the
    // new key, and a path that was missing is found once it exists.
    EXPECT_EQ(1, ReadDword(doomed, "", "v"));
    EXPECT_FALSE(KeyExists(key, "Later"));
    ASSERT_EQ(0, RunChild([&] {
        HKEY cached = Open(root_, "Cached");
        CHILD_CHECK(RegDeleteValueA(cached, "n") == ERROR_SUCCESS);
        CHILD_CHECK(ShDeleteKey(root_, "Cached\\Doomed") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(root_, "Cached\\Doomed", "w", 2) == ERROR_SUCCESS);
        return WriteDword(root_, "Cached\\Later", "x", 3);
    }));
    EXPECT_EQ(-1, ReadDword(key, "", "n"));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(doomed, "v"));
    EXPECT_EQ(2, ReadDword(key, "Doomed", "w"));
    EXPECT_EQ(-1, ReadDword(key, "Doomed", "v"));
    EXPECT_EQ(3, ReadDword(key, "Later", "x"));
    RegCloseKey(doomed);

    // The tree saved, then changed and read here, then restored by another process.
    const std::string file = std::string(std::getenv("ZEL_REGISTRY_DIR")) + "/cached.hiv";
    std::remove(file.c_str());  // a save never replaces a file
    ASSERT_EQ(0, RunChild([&] {
        HKEY cached = Open(root_, "Cached");
        return RegSaveKeyA(cached, file.c_str(), nullptr) == ERROR_SUCCESS ? 0 : 1;
    }));
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Cached", "top", 9) + WriteDword(root_, "Cached\\Later", "x", 4); }));
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(9, ReadDword(key, "", "top"));
        ASSERT_EQ(4, ReadDword(key, "Later", "x"));
    }
    ASSERT_EQ(0, RunChild([&] {
        HKEY cached = Open(root_, "Cached");
        return RegRestoreKeyA(cached, file.c_str(), REG_FORCE_RESTORE) == ERROR_SUCCESS ? 0 : 1;
    }));
    EXPECT_EQ(-1, ReadDword(key, "", "top"));
    EXPECT_EQ(3, ReadDword(key, "Later", "x"));
    RegCloseKey(key);
}

// The cache keeps short values beside their names and longer ones apart: every size, grown and
// shrunk in place, names that differ in case only, and a key with more values than the cache's
// first table holds, each read twice (the second from the cache) as it was stored.
TEST_F(ReadCache, ValuesOfEverySizeAreReadBackAsStored) {
    HKEY key = Create(root_, "Sizes");
    const auto readTwice = [&](const char* name, const std::string& want, DWORD wantType) {
        for (int pass = 0; pass < 2; ++pass) {
            DWORD type = 0;
            EXPECT_EQ(want, Read(key, name, &type)) << name << " pass " << pass;
            EXPECT_EQ(wantType, type) << name;
        }
    };
    for (const std::size_t size : {0, 1, 7, 8, 9, 24, 25, 100, 70000, 3, 0, 30, 2}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + (i * 7 + size) % 26);
        ASSERT_EQ(ERROR_SUCCESS, Set(key, "Grows", REG_BINARY, data.data(), static_cast<DWORD>(size)));
        readTwice("Grows", data, REG_BINARY);
        readTwice("gROWS", data, REG_BINARY);
    }
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "GROWS"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, "grows"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, "grows"));
    for (int i = 0; i < 1500; ++i) SetDword(key, ("Many" + std::to_string(i)).c_str(), static_cast<DWORD>(i));
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 1500; ++i) ASSERT_EQ(i, ReadDword(key, "", ("mANY" + std::to_string(i)).c_str()));
    }
    RegCloseKey(key);
}

// Another process writes without pause and says after each write that it returned; this one
// reads after each word, and writes values of its own between: no read may come from before a
// write it was told of. Once another process's commit has emptied its cache, this process
// learns of each commit from the hive's journal, also of those still on their way to it.
TEST_F(ReadCache, EveryReadSeesEveryWriteThatReturnedWhileAnotherProcessWritesWithoutPause) {
    constexpr int kWrites = 3000;
    HKEY key = Create(root_, "Race");
    SetDword(key, "n", 0);
    SetDword(key, "still", 7);
    ASSERT_EQ(0, ReadDword(key, "", "n"));
    Pipe progress;
    const pid_t writer = StartChild([&] {
        for (int i = 1; i <= kWrites; ++i) {
            if (WriteDword(root_, "Race", "n", static_cast<DWORD>(i)) != ERROR_SUCCESS || !progress.Say()) return 1;
        }
        return 0;
    });
    progress.CloseWriteEnd();
    int told = 0;
    while (progress.Hear()) {
        ++told;
        const int64_t read = ReadDword(key, "", "n");
        ASSERT_GE(read, told);
        ASSERT_EQ(7, ReadDword(key, "", "still"));
        if (told % 100 == 0) {
            SetDword(key, "mine", static_cast<DWORD>(told));
            ASSERT_EQ(told, ReadDword(key, "", "mine"));
        }
    }
    EXPECT_EQ(0, WaitChild(writer));
    EXPECT_EQ(kWrites, told);
    EXPECT_EQ(kWrites, ReadDword(key, "", "n"));
    RegCloseKey(key);
}

// A writer killed at random moments, often between its commit and its note in the journal (it
// holds the journal's lock all that while), while this process reads what it wrote: this
// process, which follows the journal, reads what a fresh process reads.
TEST_F(ReadCache, AReaderReadsEveryWriteOfAWriterKilledAtRandom) {
    HKEY key = Create(root_, "Killed");
    SetDword(key, "n", 0);
    ASSERT_EQ(0, ReadDword(key, "", "n"));
    ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Killed", "other", 1); }));
    ASSERT_EQ(0, ReadDword(key, "", "n"));
    // The last number whose write returned, told without a system call that could hold the
    // writer up where it is least likely to be killed.
    void* shared = mmap(nullptr, sizeof(std::atomic<DWORD>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, shared);
    auto* returned = new (shared) std::atomic<DWORD>(0);
    std::mt19937 random(17);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const DWORD first = returned->load() + 1;
        const pid_t writer = StartChild([&] {
            for (DWORD n = first;; ++n) {
                if (WriteDword(root_, "Killed", "n", n) != ERROR_SUCCESS) return 1;
                returned->store(n);
            }
        });
        while (returned->load() < first) usleep(100);  // the writer is under way
        for (unsigned reads = 1 + random() % 200; reads > 0; --reads) {
            const DWORD known = returned->load();
            ASSERT_GE(ReadDword(key, "", "n"), static_cast<int64_t>(known));
        }
        kill(writer, SIGKILL);
        ASSERT_EQ(128 + SIGKILL, WaitChild(writer));
        const int64_t read = ReadDword(key, "", "n");
        ASSERT_EQ(0, RunChild([&] { return ReadDword(root_, "Killed", "n") == read ? 0 : 1; })) << read;
        ASSERT_GE(read, static_cast<int64_t>(returned->load()));
        returned->store(static_cast<DWORD>(read));
    }
    munmap(shared, sizeof(std::atomic<DWORD>));
    RegCloseKey(key);
}

// A reader that another process's commits have left more than the journal holds behind reads
// everything anew: the change it must not miss is long gone from the journal.
TEST_F(ReadCache, AReaderLeftFarBehindByAnotherProcessReadsEverythingNew) {
    HKEY key = Create(root_, "Far");
    SetDword(key, "v", 1);
    for (DWORD round = 1; round <= 2; ++round) {  // the first round's commit has the cache follow the journal
        ASSERT_EQ(1, ReadDword(key, "", "v"));
        ASSERT_EQ(1, ReadDword(key, "", "v"));
        ASSERT_EQ(0, RunChild([&] { return WriteDword(root_, "Other", "round", round); }));
    }
    ASSERT_EQ(1, ReadDword(key, "", "v"));
    ASSERT_EQ(0, RunChild([&] {
        CHILD_CHECK(WriteDword(root_, "Far", "v", 2) == ERROR_SUCCESS);
        // Some 2 MB of records, twice what the journal keeps.
        const std::string padding(220, 'p');
        HKEY other = Open(root_, "Other");
        for (int i = 0; i < 9000; ++i) {
            const std::string name = padding + std::to_string(i % 50);
            const DWORD value = static_cast<DWORD>(i);
            CHILD_CHECK(RegSetValueExA(other, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                       sizeof value) == ERROR_SUCCESS);
        }
        return 0;
    }));
    EXPECT_EQ(2, ReadDword(key, "", "v"));
    RegCloseKey(key);
}

TEST_F(ReadCache, ChangesOfThisProcessAndAReplacedSubTreeAreNeverReadStale) {
    HKEY key = Create(root_, "Mine");
    HKEY other = Open(root_, "Mine");  // another handle to the same key
    for (DWORD i = 0; i < 5; ++i) {
        SetDword(key, "a", i);
        EXPECT_EQ(static_cast<int64_t>(i), ReadDword(other, "", "a"));
        EXPECT_EQ(static_cast<int64_t>(i), ReadDword(other, "", "a"));
    }
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(other, "a"));
    EXPECT_EQ(-1, ReadDword(key, "", "a"));
    HKEY inner = Create(key, "Inner");
    SetDword(inner, "v", 1);
    EXPECT_EQ(1, ReadDword(root_, "Mine\\Inner", "v"));
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(key, "Inner"));
    EXPECT_EQ(ERROR_KEY_DELETED, Query(inner, "v"));
    EXPECT_FALSE(KeyExists(root_, "Mine\\Inner"));
    RegCloseKey(inner);

    // A sub-tree another process replaces in one transaction, read before and after.
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "Mine\\Tree\\A", "v", 1));
    EXPECT_EQ(1, ReadDword(root_, "Mine\\Tree\\A", "v"));
    ASSERT_EQ(0, RunChild([&] {
        HANDLE tx = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        HKEY mine = nullptr;
        CHILD_CHECK(RegOpenKeyTransactedA(root_, "Mine", 0, KEY_ALL_ACCESS, &mine, tx, nullptr) == ERROR_SUCCESS);
        CHILD_CHECK(ShDeleteKey(mine, "Tree") == ERROR_SUCCESS);
        CHILD_CHECK(WriteDword(mine, "Tree\\B", "v", 2) == ERROR_SUCCESS);
        return CommitTransaction(tx) ? 0 : 1;
    }));
    EXPECT_FALSE(KeyExists(root_, "Mine\\Tree\\A"));
    EXPECT_EQ(2, ReadDword(root_, "Mine\\Tree\\B", "v"));
    RegCloseKey(other);
    RegCloseKey(key);
}

// A child forked from a process that has read the hive reads it as it is, and so does the parent
// after the child changed it.
TEST_F(ReadCache, AForkedChildAndItsParentReadWhatTheOtherWrote) {
    SetDword(root_, "forked", 1);
    EXPECT_EQ(1, ReadDword(root_, "", "forked"));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "", "forked", 2));
    EXPECT_EQ(0, RunChild([&] {
        CHILD_CHECK(ReadDword(root_, "", "forked") == 2);
        return WriteDword(root_, "", "forked", 3);
    }));
    EXPECT_EQ(3, ReadDword(root_, "", "forked"));
}

// Reading every key of a large hive keeps the cache within its bound (16 MB per hive), and
// reads stay right after it has been emptied to make room.
TEST_F(ReadCache, ItStaysWithinItsBoundOverAReadOfEveryKeyOfALargeHive) {
    constexpr int kKeys = 100000;
    constexpr DWORD kBound = 16u << 20;
    HANDLE tx = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY many = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyTransactedA(root_, "Many", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &many,
                                                     nullptr, tx, nullptr));
    const std::string payload(100, 'p');
    for (int i = 0; i < kKeys; ++i) {
        HKEY key = nullptr;
        const std::string name = "K" + std::to_string(i);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(many, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        SetString(key, "text", payload.c_str());
        SetDword(key, "n", static_cast<DWORD>(i));
        RegCloseKey(key);
    }
    ASSERT_TRUE(CommitTransaction(tx));
    CloseHandle(tx);
    RegCloseKey(many);
    DWORD largest = 0;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kKeys; ++i) {
            const std::string path = "Many\\K" + std::to_string(i);
            ASSERT_EQ(static_cast<int64_t>(i), ReadDword(root_, path.c_str(), "n")) << path;
            HKEY key = Open(root_, path.c_str(), KEY_READ);
            ASSERT_EQ(payload, ReadString(key, "text"));
            RegCloseKey(key);
            largest = std::max(largest, ZelRegReadCacheBytes());
        }
    }
    EXPECT_LE(largest, kBound);
    EXPECT_GT(largest, kBound / 2);  // it was used
}

}  // namespace
