// Registry transactions between processes: isolation, kills inside a transaction and inside its
// commit, conflicts between two processes, a forked child, change notification and a full disk.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

using TransactionProcesses = RegTest;

HANDLE NewTransaction() { return CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr); }

// Sets `count` values "v<i>" = `round` in `key`, within a transaction of its own, and commits.
bool WriteRound(HKEY parent, const char* path, int count, DWORD round) {
    HANDLE tx = NewTransaction();
    HKEY key = nullptr;
    bool ok = RegCreateKeyTransactedA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr, tx,
                                      nullptr) == ERROR_SUCCESS;
    for (int i = 0; ok && i < count; ++i) {
        const std::string name = "v" + std::to_string(i);
        ok = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&round), sizeof round) ==
             ERROR_SUCCESS;
    }
    ok = ok && CommitTransaction(tx);
    RegCloseKey(key);
    CloseHandle(tx);
    return ok;
}

TEST_F(TransactionProcesses, AnotherProcessSeesNothingBeforeTheCommitAndAllAfterAndIsSignaledOnce) {
    HKEY watched = Create(root_, "Watched");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME,
                                                     event, TRUE));
    HANDLE tx = NewTransaction();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyTransactedA(watched, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                     nullptr, tx, nullptr));
    SetDword(key, "a", 1);
    SetDword(key, "b", 2);
    // Whether a fresh process finds both values (or neither).
    const auto seen = [this](bool both) {
        return RunChild([this, both] {
            const int64_t a = ReadDword(root_, "Watched\\New", "a"), b = ReadDword(root_, "Watched\\New", "b");
            return both ? !(a == 1 && b == 2) : !(a == -1 && b == -1);
        });
    };
    EXPECT_EQ(0, seen(false));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    ASSERT_TRUE(CommitTransaction(tx));
    EXPECT_EQ(0, seen(true));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 5000));

    // A rolled back transaction signals nothing.
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    HANDLE rolled = NewTransaction();
    HKEY again = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(watched, "New", 0, KEY_ALL_ACCESS, &again, rolled, nullptr));
    SetDword(again, "a", 3);
    ASSERT_TRUE(RollbackTransaction(rolled));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 300));
    EXPECT_EQ(1, ReadDword(watched, "New", "a"));
    for (HKEY k : {watched, key, again}) RegCloseKey(k);
    for (HANDLE h : {event, tx, rolled}) CloseHandle(h);
}

// A writer that commits one round after another is killed at random moments, inside a round or
// inside its commit: every value then holds the same round, the last confirmed or the one after.
TEST_F(TransactionProcesses, AKillInsideATransactionOrItsCommitLeavesTheRoundBeforeOrAfter) {
    constexpr int kValues = 200;
    DWORD confirmed = 0;
    for (int kill = 0; kill < 25; ++kill) {
        SCOPED_TRACE(kill);
        Pipe progress;
        const DWORD first = confirmed + 1;
        const pid_t writer = StartChild([&] {
            for (DWORD round = first;; ++round)
                if (!WriteRound(root_, "Rounds", kValues, round) || !progress.Say()) return 1;
        });
        progress.CloseWriteEnd();
        // One round in, so that every kill falls among rounds, however slow the build.
        ASSERT_TRUE(progress.Hear());
        ++confirmed;
        std::this_thread::sleep_for(std::chrono::microseconds((kill * 7919) % 20000));
        ::kill(writer, SIGKILL);
        ASSERT_EQ(128 + SIGKILL, WaitChild(writer));
        while (progress.Hear()) ++confirmed;
        ASSERT_EQ(0, RunChild([&] {
            const int64_t round = ReadDword(root_, "Rounds", "v0");
            CHILD_CHECK(round == confirmed || round == confirmed + 1);
            for (int i = 1; i < kValues; ++i)
                CHILD_CHECK(ReadDword(root_, "Rounds", ("v" + std::to_string(i)).c_str()) == round);
            return 0;
        }));
        confirmed = static_cast<DWORD>(std::max<int64_t>(confirmed, ReadDword(root_, "Rounds", "v0")));
    }
}

// Two processes change the same key, each in a transaction: the first commit wins, the second
// fails with ERROR_TRANSACTIONAL_CONFLICT and leaves nothing of its own behind.
TEST_F(TransactionProcesses, OfTwoProcessesChangingOneKeyTheFirstToCommitWins) {
    RegCloseKey(Create(root_, "Contended"));
    Pipe ready, go;
    const pid_t second = StartChild([&] {
        HANDLE tx = NewTransaction();
        HKEY key = nullptr;
        CHILD_CHECK(RegOpenKeyTransactedA(root_, "Contended", 0, KEY_ALL_ACCESS, &key, tx, nullptr) == ERROR_SUCCESS);
        const DWORD value = 2;
        CHILD_CHECK(RegSetValueExA(key, "second", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) == 0);
        CHILD_CHECK(ready.Say() && go.Hear());
        CHILD_CHECK(!CommitTransaction(tx) && GetLastError() == static_cast<DWORD>(ERROR_TRANSACTIONAL_CONFLICT));
        return 0;
    });
    ASSERT_TRUE(ready.Hear());
    HANDLE tx = NewTransaction();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyTransactedA(root_, "Contended", 0, KEY_ALL_ACCESS, &key, tx, nullptr));
    SetDword(key, "first", 1);
    ASSERT_TRUE(CommitTransaction(tx));
    ASSERT_TRUE(go.Say());
    EXPECT_EQ(0, WaitChild(second));
    EXPECT_EQ(1, ReadDword(root_, "Contended", "first"));
    EXPECT_EQ(-1, ReadDword(root_, "Contended", "second"));
    RegCloseKey(key);
    CloseHandle(tx);
}

// A transaction belongs to the process that made it: a child forked from it can neither use nor
// end it, and the parent's commit is untouched by what the child tried.
TEST_F(TransactionProcesses, AForkedChildCannotUseItsParentsTransaction) {
    HANDLE tx = NewTransaction();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyTransactedA(root_, "Parents", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                     nullptr, tx, nullptr));
    EXPECT_EQ(0, RunChild([&] {
        const DWORD value = 9;
        CHILD_CHECK(RegSetValueExA(key, "child", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) ==
                    ERROR_INVALID_TRANSACTION);
        CHILD_CHECK(!CommitTransaction(tx) && GetLastError() == static_cast<DWORD>(ERROR_INVALID_TRANSACTION));
        CHILD_CHECK(!RollbackTransaction(tx) && GetLastError() == static_cast<DWORD>(ERROR_INVALID_TRANSACTION));
        return 0;
    }));
    SetDword(key, "parent", 1);
    ASSERT_TRUE(CommitTransaction(tx));
    EXPECT_EQ(1, ReadDword(root_, "Parents", "parent"));
    EXPECT_EQ(-1, ReadDword(root_, "Parents", "child"));
    RegCloseKey(key);
    CloseHandle(tx);
}

// On a full disk the commit fails with 112 and nothing of the transaction lands; with room again
// the same work commits.
TEST(TransactionDisk, ACommitOnAFullDiskFailsWholeWithDiskFull) {
    if (geteuid() != 0) GTEST_SKIP() << "a small disk of its own (tmpfs) needs root";
    const std::string disk = ZelMakeTempDir("zelreg-tx-full");
    EXPECT_EQ(0, RunChild([&] {
        CHILD_CHECK(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
        CHILD_CHECK(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") == 0);
        setenv("ZEL_REGISTRY_DIR", (disk + "/reg").c_str(), 1);
        CHILD_CHECK(WriteDword(HKEY_CURRENT_USER, "Software\\T", "before", 1) == ERROR_SUCCESS);
        const std::string filler = disk + "/filler";
        {
            std::FILE* fill = std::fopen(filler.c_str(), "w");
            const std::string block(4096, 'x');
            while (fill && std::fwrite(block.data(), 1, block.size(), fill) == block.size() && std::fflush(fill) == 0) {
            }
            if (fill) std::fclose(fill);
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            HANDLE tx = NewTransaction();
            HKEY key = nullptr;
            CHILD_CHECK(RegCreateKeyTransactedA(HKEY_CURRENT_USER, "Software\\T\\Many", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                nullptr, &key, nullptr, tx, nullptr) == ERROR_SUCCESS);
            const std::string big(3000, 'y');
            for (int i = 0; i < 100; ++i) {
                CHILD_CHECK(RegSetValueExA(key, ("v" + std::to_string(i)).c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(big.c_str()), 3001) == ERROR_SUCCESS);
            }
            const BOOL committed = CommitTransaction(tx);
            const DWORD error = GetLastError();
            RegCloseKey(key);
            CloseHandle(tx);
            if (attempt == 0) {
                CHILD_CHECK(!committed && error == static_cast<DWORD>(ERROR_DISK_FULL));
                CHILD_CHECK(ReadDword(HKEY_CURRENT_USER, "Software\\T", "before") == 1);
                HKEY many = nullptr;
                CHILD_CHECK(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\T\\Many", 0, KEY_READ, &many) ==
                            ERROR_FILE_NOT_FOUND);
                CHILD_CHECK(std::remove(filler.c_str()) == 0);
            } else {
                CHILD_CHECK(committed);
            }
        }
        return 0;
    }));
}

}  // namespace
