// Conformance of change notification, the event functions, and the registry used from several
// threads at once.
#include <atomic>
#include <chrono>
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
        for (HANDLE& event : events_) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
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
    HKEY grandchild = Create(watched_, "a\\b"), sibling = Create(root_, "Sibling");
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

// The deletion of the watched key signals no watch on it, of values or of names; the watches
// stay pending, also through a new key of the same name, until their handles are closed.
TEST_F(RegNotify, DeletingTheWatchedKeySignalsNothingClosingItsHandleDoes) {
    HKEY extra = Open(root_, "Watched");
    ASSERT_EQ(ERROR_SUCCESS, Watch(extra, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(extra));
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));

    SetDword(watched_, "v", 1);
    HKEY values = Open(root_, "Watched"), everything = Open(root_, "Watched"), parent = Open(root_, "");
    ASSERT_EQ(ERROR_SUCCESS, Watch(values, FALSE, REG_NOTIFY_CHANGE_LAST_SET, 0));
    ASSERT_EQ(ERROR_SUCCESS, Watch(everything, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, 1));
    ASSERT_EQ(ERROR_SUCCESS, Watch(parent, FALSE, REG_NOTIFY_CHANGE_NAME, 2));
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(root_, "Watched"));
    EXPECT_EQ(kSignaled, Wait(2, kSignalWaitMs));  // the parent lost a sub-key
    EXPECT_EQ(kQuiet, Wait(0, kQuietWaitMs));
    EXPECT_EQ(kQuiet, Wait(1, 0));
    ASSERT_EQ(ERROR_SUCCESS, WriteDword(root_, "Watched", "v", 2));
    EXPECT_EQ(kQuiet, Wait(0, kQuietWaitMs));
    EXPECT_EQ(kQuiet, Wait(1, 0));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(values));
    EXPECT_EQ(kSignaled, Wait(0, kSignalWaitMs));
    EXPECT_EQ(kQuiet, Wait(1, 0));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(everything));
    EXPECT_EQ(kSignaled, Wait(1, kSignalWaitMs));
    RegCloseKey(parent);
}

TEST_F(RegNotify, BlockingFormReturnsAfterAChange) {
    auto waiter = std::async(std::launch::async, [this] {
        return RegNotifyChangeKeyValue(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
    });
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
            char first[32];
            for (int i = t * kKeysEach; i < (t + 1) * kKeysEach; ++i) {
                const std::string name = "k" + std::to_string(i);
                const DWORD value = static_cast<DWORD>(i);
                failures += WriteDword(root_, name.c_str(), "n", value) != ERROR_SUCCESS;
                failures += Set(root_, name.c_str(), REG_DWORD, &value, 4) != ERROR_SUCCESS;
                failures += RegEnumKeyA(root_, 0, first, sizeof first) != ERROR_SUCCESS;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kKeysEach), ValueNames(root_).size());
    for (int i = 0; i < kThreads * kKeysEach; ++i)
        EXPECT_EQ(i, ReadDword(root_, ("k" + std::to_string(i)).c_str(), "n")) << i;
}

}  // namespace
