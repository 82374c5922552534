// Detailed watches of the store: which key and value changed and how, from this process and
// from others, through deletion and re-creation, in bursts, and when the journal loses records.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "RegTestSupport.h"
#include "StoreTestSupport.h"
#include "support/ZelTestDir.h"

namespace {

struct Change {
    DWORD kind;
    std::string key;
    std::string value;
    bool operator==(const Change& other) const { return kind == other.kind && key == other.key && value == other.value; }
};

std::ostream& operator<<(std::ostream& out, const Change& c) {
    static const char* const kinds[] = {"?", "value set", "value deleted", "key created", "key deleted", "lost"};
    return out << kinds[c.kind < 6 ? c.kind : 0] << " '" << c.key << "' '" << c.value << "'";
}

using Changes = std::vector<Change>;

// Reads what the watch has now, without waiting.
Changes Drain(HANDLE watch) {
    Changes changes;
    for (;;) {
        char key[1024], value[1024];
        DWORD kind = 0, keySize = sizeof key, valueSize = sizeof value;
        const LONG rc = ZelRegReadChange(watch, &kind, key, &keySize, value, &valueSize);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc);
            return changes;
        }
        changes.push_back({kind, std::string(key, keySize), std::string(value, valueSize)});
    }
}

// Waits on the watch's descriptor, as a program's poll() loop would, until `count` changes have
// come (or, with a count of 0, for `quiet` and then takes what came).
Changes Collect(HANDLE watch, std::size_t count, std::chrono::milliseconds quiet = std::chrono::milliseconds(5000)) {
    Changes changes;
    const auto deadline = std::chrono::steady_clock::now() + quiet;
    while (changes.size() < count || count == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{ZelRegWatchDescriptor(watch), POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        const Changes more = Drain(watch);
        changes.insert(changes.end(), more.begin(), more.end());
    }
    return changes;
}

constexpr DWORD kSet = ZELREG_CHANGE_VALUE_SET, kDeleted = ZELREG_CHANGE_VALUE_DELETED,
                kCreated = ZELREG_CHANGE_KEY_CREATED, kGone = ZELREG_CHANGE_KEY_DELETED, kLost = ZELREG_CHANGE_LOST;

using DetailedWatch = RegTest;

TEST_F(DetailedWatch, TellsEveryKindOfChangeFromThisProcessAndOthersAsTheSubTreeSays) {
    HKEY watched = Create(root_, "W");
    RegCloseKey(Create(watched, "Old"));
    struct Case {
        const char* name;
        bool subtree;
        bool inChild;
    };
    for (const Case& c : {Case{"here, key alone", false, false}, Case{"here, sub-tree", true, false},
                          Case{"other process, key alone", false, true}, Case{"other process, sub-tree", true, true}}) {
        SCOPED_TRACE(c.name);
        HANDLE watch = ZelRegCreateWatch(watched, c.subtree);
        ASSERT_NE(nullptr, watch);
        auto changes = [&] {
            HKEY w = Open(root_, "W");
            SetDword(w, "v", 1);
            SetDword(w, "v", 1);  // the same data again: no change
            SetDword(w, "V", 2);  // the name as first stored comes back
            RegDeleteValueA(w, "v");
            HKEY sub = Create(w, "Sub");
            SetDword(sub, "inner", 3);
            RegCloseKey(Create(sub, "Deeper"));
            RegCloseKey(sub);
            ShDeleteKey(w, "Sub");
            RegDeleteKeyA(w, "Old");
            RegCloseKey(Create(w, "Old"));
            SetDword(root_, "beside", 4);  // outside the watched key
            RegCloseKey(w);
            return 0L;
        };
        if (c.inChild) {
            ASSERT_EQ(0, RunChild(changes));
        } else {
            changes();
        }
        Changes expected = {{kSet, "", "v"}, {kSet, "", "v"}, {kDeleted, "", "v"}, {kCreated, "Sub", ""}};
        if (c.subtree) {
            expected.push_back({kSet, "Sub", "inner"});
            expected.push_back({kCreated, "Sub\\Deeper", ""});
            expected.push_back({kGone, "Sub\\Deeper", ""});
        }
        expected.push_back({kGone, "Sub", ""});
        expected.push_back({kGone, "Old", ""});
        expected.push_back({kCreated, "Old", ""});
        EXPECT_EQ(expected, Collect(watch, expected.size()));
        EXPECT_EQ(Changes{}, Collect(watch, 0, std::chrono::milliseconds(100)));
        EXPECT_TRUE(CloseHandle(watch));
        EXPECT_EQ(-1, ZelRegWatchDescriptor(watch));
    }
    RegCloseKey(watched);
}

TEST_F(DetailedWatch, FollowsTheWatchedKeyThroughDeletionAndRecreationByItsPath) {
    HKEY a = Create(root_, "Parent\\A");
    RegCloseKey(Create(a, "B\\C"));
    HANDLE watch = ZelRegCreateWatch(a, TRUE);
    ASSERT_NE(nullptr, watch);
    RegCloseKey(a);
    // Another process deletes the watched key's parent, then makes the key anew, deeper first.
    ASSERT_EQ(0, RunChild([this] { return ShDeleteKey(root_, "Parent"); }));
    ASSERT_EQ(0, RunChild([this] { return WriteDword(root_, "PARENT\\a\\New", "x", 1); }));
    ASSERT_EQ(0, RunChild([this] { return WriteDword(root_, "Parent\\A", "y", 2); }));
    const Changes expected = {{kGone, "B\\C", ""}, {kGone, "B", ""},       {kGone, "", ""},   {kCreated, "", ""},
                              {kCreated, "New", ""}, {kSet, "New", "x"}, {kSet, "", "y"}};
    EXPECT_EQ(expected, Collect(watch, expected.size()));
    // A key of the same name elsewhere is not the watched one.
    ASSERT_EQ(0, RunChild([this] { return WriteDword(root_, "Other\\A", "z", 3); }));
    EXPECT_EQ(Changes{}, Collect(watch, 0, std::chrono::milliseconds(100)));
    CloseHandle(watch);
}

TEST_F(DetailedWatch, ATransactionsChangesArriveTogetherOnceItCommits) {
    HANDLE watch = ZelRegCreateWatch(root_, TRUE);
    ASSERT_NE(nullptr, watch);
    HANDLE tx = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyTransactedA(root_, "Tx", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr,
                                                     tx, nullptr));
    SetDword(key, "a", 1);
    SetDword(key, "b", 2);
    EXPECT_EQ(Changes{}, Collect(watch, 0, std::chrono::milliseconds(100)));
    ASSERT_TRUE(CommitTransaction(tx));
    const Changes expected = {{kCreated, "Tx", ""}, {kSet, "Tx", "a"}, {kSet, "Tx", "b"}};
    EXPECT_EQ(expected, Collect(watch, expected.size()));
    RegCloseKey(key);
    CloseHandle(tx);
    CloseHandle(watch);
}

TEST_F(DetailedWatch, ABurstFromSeveralProcessesLosesNothingAndKeepsEachWritersOrder) {
    constexpr int kWriters = 4, kEach = 1000;
    // The writers are forked before the watch starts the watcher thread: a child forked while
    // another thread is inside the allocator can hang there under AddressSanitizer.
    Pipe gate;
    std::vector<pid_t> writers;
    for (int id = 0; id < kWriters; ++id) {
        writers.push_back(StartChild([&, id] {
            CHILD_CHECK(gate.Hear());
            HKEY key = nullptr;
            CHILD_CHECK(RegOpenKeyExA(root_, nullptr, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS);
            for (DWORD i = 0; i < kEach; ++i) {
                const std::string name = "w" + std::to_string(id) + "." + std::to_string(i);
                CHILD_CHECK(Set(key, name.c_str(), REG_DWORD, &i, sizeof i) == ERROR_SUCCESS);
            }
            return 0;
        }));
    }
    HANDLE watch = ZelRegCreateWatch(root_, FALSE);
    ASSERT_NE(nullptr, watch);
    for (int id = 0; id < kWriters; ++id) ASSERT_TRUE(gate.Say());
    for (pid_t writer : writers) EXPECT_EQ(0, WaitChild(writer));
    const Changes changes = Collect(watch, kWriters * kEach);
    for (const Change& c : changes) if (c.kind != kSet) ADD_FAILURE() << c;
    ASSERT_EQ(static_cast<std::size_t>(kWriters * kEach), changes.size());
    int next[kWriters] = {};
    for (const Change& c : changes) {
        ASSERT_EQ(kSet, c.kind) << c;
        const int writer = c.value[1] - '0';
        ASSERT_EQ("w" + std::to_string(writer) + "." + std::to_string(next[writer]), c.value);
        ++next[writer];
    }
    CloseHandle(watch);
}

TEST_F(DetailedWatch, AWatcherThatFallsTooFarBehindIsToldItLostChangesAndGoesOn) {
    // The watcher, a process of its own, is stopped while another writes more than the journal
    // holds: once it runs again it must say so once, and then follow what comes after. It says
    // "lost" on `told` as soon as it is told, so that what comes after is written only then.
    Pipe ready, told, report;
    const pid_t watcher = StartChild([&] {
        HANDLE watch = ZelRegCreateWatch(root_, FALSE);
        CHILD_CHECK(watch != nullptr && ready.Say());
        Changes seen;
        while (seen.empty() || seen.back().value != "last") {
            const Changes more = Collect(watch, 1);
            CHILD_CHECK(!more.empty());
            for (const Change& c : more) {
                if (c.kind == kLost) CHILD_CHECK(told.Say());
            }
            seen.insert(seen.end(), more.begin(), more.end());
        }
        std::string lines;
        for (const Change& c : seen) lines += std::to_string(c.kind) + " " + c.value.substr(0, 8) + "\n";
        return write(report.end[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size()) ? 0 : 1;
    });
    ASSERT_TRUE(ready.Hear());
    ASSERT_EQ(0, kill(watcher, SIGSTOP));
    const std::string longName(900, 'n');
    ASSERT_EQ(0, RunChild([&] {
        for (DWORD i = 0; i < 2000; ++i) CHILD_CHECK(WriteDword(root_, "", (longName + std::to_string(i)).c_str(), i) == 0);
        return 0;
    }));
    ASSERT_EQ(0, kill(watcher, SIGCONT));
    ASSERT_TRUE(told.Hear());
    SetDword(root_, "after", 1);
    SetDword(root_, "last", 1);
    EXPECT_EQ(0, WaitChild(watcher));
    report.CloseWriteEnd();
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = read(report.end[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(n));
    const std::string lost = std::to_string(kLost) + " \n";
    const std::string tail = lost + std::to_string(kSet) + " after\n" + std::to_string(kSet) + " last\n";
    EXPECT_EQ(tail, seen.substr(seen.size() >= tail.size() ? seen.size() - tail.size() : 0)) << seen;
    EXPECT_EQ(seen.find(lost), seen.rfind(lost)) << "told once: " << seen;
}

TEST_F(DetailedWatch, MachineHiveChangesOfOtherProcessesAreFoundByComparing) {
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ZelWatchTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &machine, nullptr));
    HANDLE watch = ZelRegCreateWatch(machine, TRUE);
    ASSERT_NE(nullptr, watch);
    ASSERT_EQ(0, RunChild([] {
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\ZelWatchTest\\K", "a", 1) == 0);
        CHILD_CHECK(WriteDword(HKEY_LOCAL_MACHINE, "Software\\ZelWatchTest", "b", 2) == 0);
        return 0;
    }));
    Changes found = Collect(watch, 3);
    std::multiset<std::string> kinds;
    for (const Change& c : found) kinds.insert(std::to_string(c.kind) + ":" + c.key + ":" + c.value);
    EXPECT_EQ((std::multiset<std::string>{"3:K:", "1:K:a", "1::b"}), kinds);
    // This process's own changes too.
    RegDeleteValueA(machine, "b");
    EXPECT_EQ((Changes{{kDeleted, "", "b"}}), Collect(watch, 1));
    CloseHandle(watch);
    ShDeleteKey(machine, nullptr);
    RegCloseKey(machine);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\ZelWatchTest");
}

TEST_F(DetailedWatch, AForkedChildCannotReadItsParentsWatch) {
    HANDLE watch = ZelRegCreateWatch(root_, FALSE);
    ASSERT_NE(nullptr, watch);
    SetDword(root_, "before", 1);
    pollfd fd{ZelRegWatchDescriptor(watch), POLLIN, 0};
    ASSERT_EQ(1, poll(&fd, 1, 5000));
    ASSERT_EQ(0, RunChild([watch] {
        char key[64], value[64];
        DWORD kind = 0, keySize = sizeof key, valueSize = sizeof value;
        CHILD_CHECK(ZelRegReadChange(watch, &kind, key, &keySize, value, &valueSize) == ERROR_INVALID_HANDLE);
        CHILD_CHECK(ZelRegWatchDescriptor(watch) == -1);
        return 0;
    }));
    EXPECT_EQ(1, poll(&fd, 1, 0)) << "the parent's descriptor still says that a change waits";
    EXPECT_EQ((Changes{{kSet, "", "before"}}), Drain(watch));
    CloseHandle(watch);
}

TEST_F(DetailedWatch, ReadingRefusesBadHandlesAndKeepsAChangeThatDoesNotFit) {
    HKEY readOnly = Open(root_, "", KEY_QUERY_VALUE);
    EXPECT_EQ(nullptr, ZelRegCreateWatch(readOnly, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    RegCloseKey(readOnly);
    EXPECT_EQ(nullptr, ZelRegCreateWatch(kSentinel, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    HANDLE watch = ZelRegCreateWatch(root_, FALSE);
    ASSERT_NE(nullptr, watch);
    SetDword(root_, "a-long-name", 1);
    ASSERT_EQ(1u, Collect(watch, 1).size());
    SetDword(root_, "a-long-name", 2);
    pollfd fd{ZelRegWatchDescriptor(watch), POLLIN, 0};
    ASSERT_EQ(1, poll(&fd, 1, 5000));
    char key[8], value[4];
    DWORD kind = 0, keySize = sizeof key, valueSize = sizeof value;
    EXPECT_EQ(ERROR_MORE_DATA, ZelRegReadChange(watch, &kind, key, &keySize, value, &valueSize));
    EXPECT_EQ(1u, keySize);
    EXPECT_EQ(12u, valueSize);
    EXPECT_EQ(1, poll(&fd, 1, 0));  // still there
    EXPECT_EQ((Changes{{kSet, "", "a-long-name"}}), Drain(watch));
    EXPECT_EQ(0, poll(&fd, 1, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, ZelRegReadChange(watch, nullptr, key, &keySize, value, &valueSize));
    EXPECT_TRUE(CloseHandle(watch));
    EXPECT_EQ(ERROR_INVALID_HANDLE, ZelRegReadChange(watch, &kind, key, &keySize, value, &valueSize));
    EXPECT_FALSE(CloseHandle(watch));
}

}  // namespace
