// The shared lock table of a hive's index: the exclusion SQLite expects of its shared-memory
// locks, between connections of one process and of several, and what becomes of the locks and
// the table when a process dies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "platform/winreg/HiveLocks.h"
#include "support/ZelTestDir.h"

namespace {

using zelreg::HiveLocks;
using zelreg::HiveLockTable;

constexpr int kShared = SQLITE_SHM_LOCK | SQLITE_SHM_SHARED;
constexpr int kExclusive = SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE;
constexpr int kUnlockShared = SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED;
constexpr int kUnlockExclusive = SQLITE_SHM_UNLOCK | SQLITE_SHM_EXCLUSIVE;

// A forked process that runs `hold`, which takes locks with a connection and returns it (null
// when something failed), says through a pipe that it holds them, and waits to be killed.
class Holder {
public:
    explicit Holder(const std::function<std::unique_ptr<HiveLocks>()>& hold) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            const std::unique_ptr<HiveLocks> held = hold();
            const char status = held ? 0 : 1;
            if (write(ready[1], &status, 1) != 1) _exit(2);
            for (;;) pause();
        }
        close(ready[1]);
        char status = 1;
        ready_ = read(ready[0], &status, 1) == 1 && status == 0;
        close(ready[0]);
    }
    ~Holder() { Kill(); }
    bool ready() const { return ready_; }
    // SIGKILL, as a crash or the system would end it; true when it died of it.
    bool Kill() {
        int status = 0;
        const bool killed =
            pid_ > 0 && kill(pid_, SIGKILL) == 0 && waitpid(pid_, &status, 0) == pid_ && WIFSIGNALED(status);
        pid_ = -1;
        return killed;
    }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

class LockTable : public ::testing::Test {
protected:
    void SetUp() override {
        database_ = ZelMakeTempDir("zelreg-locks") + "/hive";
        // The index file, whose bytes the table read-locks against programs with SQLite's locks.
        std::ofstream(database_ + "-shm").put('\0');
    }

    std::unique_ptr<HiveLocks> Join() const {
        int rc = SQLITE_OK;
        auto locks = HiveLocks::Open(database_, rc);
        EXPECT_EQ(SQLITE_OK, rc);
        return locks;
    }

    std::string database_;
};

TEST_F(LockTable, ConnectionsExcludeEachOtherAsSqliteExpects) {
    auto a = Join(), b = Join();
    ASSERT_TRUE(a && b);
    // What a holds (offset, count, flags), what b asks for, and b's answer.
    const struct { int offset, count, flags, wantOffset, wantCount, wantFlags, expected; } cases[] = {
        {3, 1, kShared, 3, 1, kShared, SQLITE_OK},         // readers share a read mark
        {3, 1, kShared, 3, 1, kExclusive, SQLITE_BUSY},    // a read mark in use is not moved
        {0, 1, kExclusive, 0, 1, kShared, SQLITE_BUSY},
        {0, 1, kExclusive, 0, 1, kExclusive, SQLITE_BUSY},  // one writer at a time
        {0, 1, kExclusive, 1, 1, kExclusive, SQLITE_OK},   // the checkpoint lock is another lock
        {3, 5, kExclusive, 5, 1, kShared, SQLITE_BUSY},    // a range covers every lock in it
        {3, 5, kExclusive, 2, 2, kExclusive, SQLITE_BUSY},
        {3, 5, kExclusive, 0, 3, kExclusive, SQLITE_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        ASSERT_EQ(SQLITE_OK, a->Lock(c.offset, c.count, c.flags));
        EXPECT_EQ(SQLITE_OK, a->Lock(c.offset, c.count, c.flags));  // asking again for what one holds
        EXPECT_EQ(c.expected, b->Lock(c.wantOffset, c.wantCount, c.wantFlags));
        a->Lock(c.offset, c.count, c.flags == kShared ? kUnlockShared : kUnlockExclusive);
        b->Lock(c.wantOffset, c.wantCount, c.wantFlags == kShared ? kUnlockShared : kUnlockExclusive);
    }
    // A connection that goes takes its locks with it (the last case shows that released ones are free).
    ASSERT_EQ(SQLITE_OK, a->Lock(4, 1, kShared));
    EXPECT_EQ(SQLITE_BUSY, b->Lock(4, 1, kExclusive));
    a.reset();
    EXPECT_EQ(SQLITE_OK, b->Lock(4, 1, kExclusive));
}

// The write lock goes to whoever asks when it is free, except that a connection that has been
// refused it for a while goes before the others, as long as it keeps asking.
TEST_F(LockTable, AWriterRefusedForAWhileGoesFirst) {
    auto holder = Join(), starving = Join(), late = Join();
    ASSERT_TRUE(holder && starving && late);
    const auto pause = [] { usleep(15000); };  // longer than any of the table's thresholds
    ASSERT_EQ(SQLITE_OK, holder->Lock(0, 1, kExclusive));
    EXPECT_EQ(SQLITE_BUSY, starving->Lock(0, 1, kExclusive));
    pause();
    EXPECT_EQ(SQLITE_BUSY, starving->Lock(0, 1, kExclusive));  // still asking
    holder->Lock(0, 1, kUnlockExclusive);
    EXPECT_EQ(SQLITE_BUSY, late->Lock(0, 1, kExclusive));
    EXPECT_EQ(SQLITE_BUSY, holder->Lock(0, 1, kExclusive));
    EXPECT_EQ(SQLITE_OK, late->Lock(1, 1, kExclusive));  // other locks are not held back
    EXPECT_EQ(SQLITE_OK, starving->Lock(0, 1, kExclusive));
    starving->Lock(0, 1, kUnlockExclusive);
    // Until its write is done it keeps its place (SQLite may take and give back the lock first).
    EXPECT_EQ(SQLITE_BUSY, late->Lock(0, 1, kExclusive));
    starving->WriteDone();
    EXPECT_EQ(SQLITE_OK, late->Lock(0, 1, kExclusive));
    late->Lock(0, 1, kUnlockExclusive);
    late->WriteDone();

    // One that stops asking (it gave up, or was stopped) holds no one back for long.
    ASSERT_EQ(SQLITE_OK, holder->Lock(0, 1, kExclusive));
    EXPECT_EQ(SQLITE_BUSY, starving->Lock(0, 1, kExclusive));
    pause();
    holder->Lock(0, 1, kUnlockExclusive);
    EXPECT_EQ(SQLITE_OK, late->Lock(0, 1, kExclusive));
}

TEST_F(LockTable, LocksOfAnotherProcessCountUntilItDies) {
    auto mine = Join();
    ASSERT_TRUE(mine);
    {
        Holder other([this] {
            auto locks = Join();
            const bool held = locks && locks->Lock(0, 1, kExclusive) == SQLITE_OK && locks->Lock(3, 1, kShared) == SQLITE_OK;
            return held ? std::move(locks) : nullptr;
        });
        ASSERT_TRUE(other.ready());
        EXPECT_EQ(SQLITE_BUSY, mine->Lock(0, 1, kExclusive));
        ASSERT_TRUE(other.Kill());
        EXPECT_EQ(SQLITE_OK, mine->Lock(3, 1, kExclusive));  // asked first: freeing 0 clears the dead slot whole
        EXPECT_EQ(SQLITE_OK, mine->Lock(0, 1, kExclusive));
    }
    // A child forked while this process has the table open joins on its own: this process's locks
    // count for it, and its own count once this process has closed the table.
    ASSERT_EQ(SQLITE_OK, mine->Lock(1, 1, kExclusive));
    Holder child([this]() -> std::unique_ptr<HiveLocks> {
        auto locks = Join();
        if (!locks || locks->Lock(1, 1, kShared) != SQLITE_BUSY) return nullptr;
        return locks->Lock(4, 1, kExclusive) == SQLITE_OK ? std::move(locks) : nullptr;
    });
    ASSERT_TRUE(child.ready());
    mine.reset();
    EXPECT_EQ(SQLITE_BUSY, Join()->Lock(4, 1, kShared));
    EXPECT_EQ(SQLITE_OK, Join()->Lock(1, 1, kExclusive));
}

TEST_F(LockTable, AProcessKilledWhileItChangesTheTableLeavesItUsable) {
    auto mine = Join();
    ASSERT_TRUE(mine);
    ASSERT_EQ(SQLITE_OK, mine->Lock(3, 1, kShared));
    Holder dying([this]() -> std::unique_ptr<HiveLocks> {
        auto locks = Join();
        if (!locks || locks->Lock(0, 1, kExclusive) != SQLITE_OK) return nullptr;
        const int fd = open((database_ + "-locks").c_str(), O_RDWR);
        void* mapped = mmap(nullptr, sizeof(HiveLockTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        // Caught half-way through a change: the table's mutex is held when the process dies.
        if (mapped == MAP_FAILED || pthread_mutex_lock(&static_cast<HiveLockTable*>(mapped)->mutex) != 0) return nullptr;
        return locks;
    });
    ASSERT_TRUE(dying.ready());
    ASSERT_TRUE(dying.Kill());
    EXPECT_EQ(SQLITE_OK, mine->Lock(0, 1, kExclusive));
    EXPECT_EQ(SQLITE_BUSY, Join()->Lock(3, 1, kExclusive));  // what the living hold is kept
}

TEST_F(LockTable, ATableLeftWhenEveryProcessHasGoneIsStartedAfresh) {
    for (std::size_t size : {sizeof(HiveLockTable), std::size_t{10}}) {
        SCOPED_TRACE(size);
        // Every slot holding every lock, and a mutex that no one will ever release.
        std::ofstream(database_ + "-locks", std::ios::binary | std::ios::trunc) << std::string(size, '\xff');
        auto a = Join(), b = Join();
        ASSERT_TRUE(a && b);
        EXPECT_EQ(SQLITE_OK, a->Lock(0, 8, kExclusive));
        EXPECT_EQ(SQLITE_BUSY, b->Lock(0, 1, kShared));
    }
}

}  // namespace
