// Conformance of change notification, the event functions, and the registry used from several
// threads at once.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "RegTestSupport.h"
#include "support/ZelExpectedDeviation.h"

namespace {

constexpr DWORD kSignalWaitMs = 5000;  // a notification must come well within this
constexpr DWORD kQuietWaitMs = 300;    // and no notification may come within this
constexpr DWORD kSignaled = WAIT_OBJECT_0, kQuiet = WAIT_TIMEOUT;

class RegNotify : public RegTest {
protected:
    void SetUp() override {
        RegTest::SetUp();
        watched_ = Create(root_, "Watched");
        for (HANDLE& event : events_) {
            event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            ASSERT_NE(nullptr, event);
        }
    }
    void TearDown() override {
        RegCloseKey(watched_);
        for (HANDLE event : events_) CloseHandle(event);
        RegTest::TearDown();
    }
    LONG Watch(HKEY key, BOOL subtree, DWORD filter, int event = 0) {
        return RegNotifyChangeKeyValue(key, subtree, filter, events_[event], TRUE);
    }
    DWORD Wait(int event, DWORD ms) { return WaitForSingleObject(events_[event], ms); }
    HKEY watched_ = nullptr;
    HANDLE events_[3] = {};
};

TEST_F(RegNotify, AValueSetOrDeletedSignalsOncePerWatch) {
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    EXPECT_EQ(kQuiet, Wait(0, 0));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "Watched", "v", 1));  // through another handle
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));
    SetDword(watched_, "v", 2);
    EXPECT_EQ(kQuiet, Wait(0, kQuietWaitMs));
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(watched_, "v"));
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));
}

// Each watch has a handle of its own: Wine never signals a second watch on one handle
// (kWineOneNotificationPerHandle).
TEST_F(RegNotify, OnlyChangesInTheWatchedScopeThatPassTheFilterSignal) {
    HKEY grandchild = Create(watched_, "a\\b");
    HKEY sibling = Create(root_, "Sibling");
    HKEY subtree = Open(root_, "Watched"), namesOnly = Open(root_, "Watched");
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, 0));
    ASSERT_EQ(ERROR_SUCCESS, Watch(subtree, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, 1));
    ASSERT_EQ(ERROR_SUCCESS, Watch(namesOnly, FALSE, REG_NOTIFY_CHANGE_NAME, 2));
    SetDword(sibling, "v", 1);
    RegCloseKey(Create(sibling, "Child"));
    SetDword(root_, "v", 1);
    EXPECT_EQ(kQuiet, Wait(1, kQuietWaitMs));  // beside and above the tree
    SetDword(grandchild, "v", 1);
    EXPECT_EQ(kSignaled, Wait(1, kSignalWaitMs));
    EXPECT_EQ(kQuiet, Wait(0, 0));  // below a plain watch
    SetDword(watched_, "v", 1);
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));
    EXPECT_EQ(kQuiet, Wait(2, kQuietWaitMs));  // a value for a names-only watch
    RegCloseKey(Create(watched_, "NewChild"));
    EXPECT_EQ(kSignaled, Wait(2, kSignalWaitMs));
    for (HKEY key : {grandchild, sibling, subtree, namesOnly}) RegCloseKey(key);
}

TEST_F(RegNotify, ClosingTheWatchedHandleOrDeletingTheKeySignals) {
    HKEY extra = Open(root_, "Watched");
    ASSERT_EQ(ERROR_SUCCESS, Watch(extra, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(extra));
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(root_, "Watched"));
    const DWORD expected = ZelDeviations::kWineDeletedKeyDoesNotSignal.Expect(kSignaled, kQuiet);
    EXPECT_EQ(expected, Wait(0, expected == kSignaled ? kSignalWaitMs : kQuietWaitMs));
}

TEST_F(RegNotify, BlockingFormReturnsAfterAChange) {
    std::atomic<bool> started{false};
    auto waiter = std::async(std::launch::async, [&] {
        started = true;
        return RegNotifyChangeKeyValue(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
    });
    while (!started) std::this_thread::yield();
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(kQuietWaitMs)));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "Watched", "v", 1));
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::milliseconds(kSignalWaitMs)));
    EXPECT_EQ(ERROR_SUCCESS, waiter.get());
}

TEST_F(RegNotify, BadArguments) {
    EXPECT_EQ(ERROR_INVALID_HANDLE, Watch(nullptr, FALSE, REG_NOTIFY_CHANGE_NAME));
    EXPECT_EQ(ZelDeviations::kWineNullNotifyEventIsInvalidHandle.Expect(ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE),
              RegNotifyChangeKeyValue(watched_, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, TRUE));
    HKEY noNotify = Open(root_, "Watched", KEY_QUERY_VALUE);
    EXPECT_EQ(ERROR_ACCESS_DENIED, Watch(noNotify, FALSE, REG_NOTIFY_CHANGE_NAME));
    RegCloseKey(noNotify);
}

// Auto-reset events, and waits that another thread ends, are what the notification tests use.
TEST(Events, ManualResetEventStaysSignaledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(kSignaled, WaitForSingleObject(event, 0));
    EXPECT_EQ(kSignaled, WaitForSingleObject(event, 0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(kQuiet, WaitForSingleObject(event, 10));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(kSignaled, WaitForSingleObject(event, 0));
    EXPECT_TRUE(CloseHandle(event));
}

using RegThreads = RegTest;

TEST_F(RegThreads, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 4, kKeysEach = 150;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            char name[32], first[32];
            for (int i = 0; i < kKeysEach; ++i) {
                std::snprintf(name, sizeof name, "t%d-k%03d", t, i);
                const DWORD value = static_cast<DWORD>(t * 1000 + i);
                failures += WriteDword(root_, name, "n", value) != ERROR_SUCCESS;
                failures += Set(root_, name, REG_DWORD, &value, 4) != ERROR_SUCCESS;
                failures += RegEnumKeyA(root_, 0, first, sizeof first) != ERROR_SUCCESS;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kKeysEach), SubKeys(root_).size());
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kKeysEach), ValueNames(root_).size());
    char name[32];
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kKeysEach; i += 37) {
            std::snprintf(name, sizeof name, "t%d-k%03d", t, i);
            EXPECT_EQ(t * 1000 + i, ReadDword(root_, name, "n")) << name;
        }
    }
}

}  // namespace
