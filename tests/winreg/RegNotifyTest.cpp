// Conformance of change notification (event and blocking forms), the event functions, and the
// registry used from several threads at once.
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

class RegNotify : public RegTest {
protected:
    void SetUp() override {
        RegTest::SetUp();
        event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_NE(nullptr, event_);
        watched_ = Create(root_, "Watched");
    }
    void TearDown() override {
        RegCloseKey(watched_);
        CloseHandle(event_);
        RegTest::TearDown();
    }
    LONG Watch(HKEY key, BOOL subtree, DWORD filter) {
        return RegNotifyChangeKeyValue(key, subtree, filter, event_, TRUE);
    }
    HANDLE event_ = nullptr;
    HKEY watched_ = nullptr;
};

TEST_F(RegNotify, ValueSetThroughAnotherHandleSignalsTheEvent) {
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, 0));
    HKEY other = Open(root_, "Watched");
    SetDword(other, "v", 1);
    RegCloseKey(other);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
}

TEST_F(RegNotify, ValueDeleteSignals) {
    SetDword(watched_, "v", 1);
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(watched_, "v"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
}

TEST_F(RegNotify, NameFilterIgnoresValuesAndSeesNewSubKeys) {
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_NAME));
    SetDword(watched_, "v", 1);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, kQuietWaitMs));
    RegCloseKey(Create(watched_, "NewChild"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
}

TEST_F(RegNotify, SubtreeWatchSeesChangesBelowAndPlainWatchDoesNot) {
    HKEY grandchild = Create(watched_, "a\\b");
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    SetDword(grandchild, "v", 1);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, kQuietWaitMs));

    // The subtree watch goes on a handle of its own: a second watch on a handle that already has
    // one pending is never signalled under Wine (kWineOneNotificationPerHandle).
    HKEY subtreeWatched = Open(root_, "Watched");
    HANDLE subtreeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(subtreeWatched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, subtreeEvent, TRUE));
    SetDword(grandchild, "v", 2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(subtreeEvent, kSignalWaitMs));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, 0));  // the plain watch still sees nothing
    RegCloseKey(subtreeWatched);
    CloseHandle(subtreeEvent);
    RegCloseKey(grandchild);
}

TEST_F(RegNotify, ChangesElsewhereDoNotSignal) {
    HKEY sibling = Create(root_, "Sibling");
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME));
    SetDword(sibling, "v", 1);
    RegCloseKey(Create(sibling, "Child"));
    SetDword(root_, "v", 1);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, kQuietWaitMs));
    RegCloseKey(sibling);
}

TEST_F(RegNotify, ANotificationFiresOnce) {
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    SetDword(watched_, "v", 1);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
    SetDword(watched_, "v", 2);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event_, kQuietWaitMs));
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    SetDword(watched_, "v", 3);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
}

TEST_F(RegNotify, DeletingTheWatchedKeySignals) {
    ASSERT_EQ(ERROR_SUCCESS, Watch(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, ShDeleteKey(root_, "Watched"));
    const DWORD expected = ZelDeviations::kWineDeletedKeyDoesNotSignal.Expect(static_cast<DWORD>(WAIT_OBJECT_0),
                                                                             static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(expected, WaitForSingleObject(event_, expected == WAIT_OBJECT_0 ? kSignalWaitMs : kQuietWaitMs));
}

TEST_F(RegNotify, ClosingTheWatchedHandleSignals) {
    HKEY extra = Open(root_, "Watched");
    ASSERT_EQ(ERROR_SUCCESS, Watch(extra, FALSE, REG_NOTIFY_CHANGE_LAST_SET));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(extra));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event_, kSignalWaitMs));
}

TEST_F(RegNotify, BlockingFormReturnsAfterAChange) {
    std::atomic<bool> started{false};
    auto waiter = std::async(std::launch::async, [&] {
        started = true;
        return RegNotifyChangeKeyValue(watched_, FALSE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE);
    });
    while (!started) std::this_thread::yield();
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(kQuietWaitMs)));
    HKEY other = Open(root_, "Watched");
    SetDword(other, "v", 1);
    RegCloseKey(other);
    ASSERT_EQ(std::future_status::ready, waiter.wait_for(std::chrono::milliseconds(kSignalWaitMs)));
    EXPECT_EQ(ERROR_SUCCESS, waiter.get());
}

TEST_F(RegNotify, BadArguments) {
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegNotifyChangeKeyValue(nullptr, FALSE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
    EXPECT_EQ(ZelDeviations::kWineNullNotifyEventIsInvalidHandle.Expect(ERROR_INVALID_PARAMETER, ERROR_INVALID_HANDLE),
              RegNotifyChangeKeyValue(watched_, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, TRUE));
    HKEY noNotify = Open(root_, "Watched", KEY_QUERY_VALUE);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegNotifyChangeKeyValue(noNotify, FALSE, REG_NOTIFY_CHANGE_NAME, event_, TRUE));
    RegCloseKey(noNotify);
}

// ---- Events -----------------------------------------------------------------------------

TEST(Events, AutoResetEventWakesOneWaitAndClears) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 10));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, ManualResetEventStaysSignaledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 10));
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, 0));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 10));
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, SetFromAnotherThreadWakesAWaiter) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::thread setter([event] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SetEvent(event);
    });
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(event, kSignalWaitMs));
    setter.join();
    CloseHandle(event);
}

// ---- Several threads at once ------------------------------------------------------------

using RegThreads = RegTest;

TEST_F(RegThreads, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kKeysEach = 150;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            char name[32];
            for (int i = 0; i < kKeysEach; ++i) {
                std::snprintf(name, sizeof name, "t%d-k%03d", t, i);
                HKEY key = nullptr;
                if (RegCreateKeyExA(root_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
                    ++failures;
                    continue;
                }
                const DWORD value = static_cast<DWORD>(t * 1000 + i);
                if (RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) != 0) ++failures;
                if (RegSetValueExA(root_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) != 0) ++failures;
                if (RegCloseKey(key) != 0) ++failures;
                char first[32];
                if (RegEnumKeyA(root_, 0, first, sizeof first) != 0) ++failures;
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
            HKEY key = Open(root_, name, KEY_READ);
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size));
            EXPECT_EQ(static_cast<DWORD>(t * 1000 + i), value);
            RegCloseKey(key);
        }
    }
}

}  // namespace
