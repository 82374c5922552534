#include "Store.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "KeyStore.h"

namespace zelreg {

bool IsPredefinedKey(HKEY key) {
    return (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)) & 0x80000000u) != 0;
}

Store& Store::Get() {
    // Deliberately never destroyed (see the header); reachable until exit, so not a leak.
    static Store* const store = std::make_unique<Store>().release();
    return *store;
}

Store::Store() {
    for (int kind = 0; kind < kHiveKinds; ++kind) {
        roots_[kind] = std::make_shared<KeyHandle>(static_cast<HiveKind>(kind), kRootKeyId, KEY_ALL_ACCESS);
    }
    upkeepWake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    pthread_atfork(&Store::PrepareFork, &Store::ParentAfterFork, &Store::ChildAfterFork);
}

KeyRef Store::Resolve(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    if (!key) Fail(ERROR_INVALID_HANDLE);
    if (IsPredefinedKey(key)) {
        int kind;
        switch (static_cast<uint32_t>(value)) {
        case 0x80000001u:  // HKEY_CURRENT_USER
            kind = static_cast<int>(HiveKind::User);
            break;
        case 0x80000002u:  // HKEY_LOCAL_MACHINE
            kind = static_cast<int>(HiveKind::Machine);
            break;
        default:
            Fail(ERROR_INVALID_HANDLE);
        }
        return KeyRef{roots_[kind], &GetHive(static_cast<HiveKind>(kind)), true};
    }
    std::shared_ptr<KeyHandle> handle = handles_.Key(value);
    if (!handle) Fail(ERROR_INVALID_HANDLE);
    Hive& hive = GetHive(handle->hive);
    return KeyRef{std::move(handle), &hive, false};
}

Hive& Store::GetHive(HiveKind kind) {
    if (Hive* opened = opened_[static_cast<int>(kind)].load(std::memory_order_acquire)) return *opened;
    std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Hive>& hive = hives_[static_cast<int>(kind)];
    if (!hive) {
        hive = Hive::Open(kind);
        // Registered after the first hive is open, so that it runs before the destructors of
        // whatever opening it made (SQLite's and ICU's among them).
        if (!atExitRegistered_) atExitRegistered_ = std::atexit(&Store::AtExit) == 0;
        opened_[static_cast<int>(kind)].store(hive.get(), std::memory_order_release);
    }
    return *hive;
}

Hive* Store::OpenedHive(HiveKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    return hives_[static_cast<int>(kind)].get();
}

// fork() copies only the calling thread. The background threads are first brought to sleep
// (ForkGate); holding every lock across the fork then means no other thread is half-way through
// a hive (or inside SQLite, whose own locks would stay taken in the child), the handle table or
// the watch list when the copy is taken.
void Store::PrepareFork() {
    Store& store = Get();
    store.upkeepGate_.Close();
    store.notifier_.gate().Close();
    store.mutex_.lock();
    for (auto& hive : store.hives_) {
        if (!hive) continue;
        hive->mutex().lock();
        hive->checkpointMutex().lock();
    }
    store.notifier_.mutex().lock();
    store.handles_.mutex().lock();
}

void Store::ReleaseForkLocks() {
    handles_.mutex().unlock();
    notifier_.mutex().unlock();
    for (auto& hive : hives_) {
        if (!hive) continue;
        hive->checkpointMutex().unlock();
        hive->mutex().unlock();
    }
    mutex_.unlock();
}

void Store::ParentAfterFork() {
    Store& store = Get();
    store.ReleaseForkLocks();
    store.notifier_.gate().Open();
    store.upkeepGate_.Open();
    store.notifier_.StartAfterFork();
    bool upkeep;
    {
        std::lock_guard<std::mutex> lock(store.upkeepMutex_);
        upkeep = store.upkeepAfterFork_;
        store.upkeepAfterFork_ = false;
    }
    if (upkeep) HiveNeedsUpkeep(false);
}

void Store::ChildAfterFork() {
    Store& store = Get();
    store.ReleaseForkLocks();
    {
        std::lock_guard<std::mutex> lock(store.mutex_);
        for (auto& hive : store.hives_) {
            if (hive) store.inherited_.push_back(std::move(hive));
        }
        for (auto& opened : store.opened_) opened.store(nullptr, std::memory_order_relaxed);
    }
    store.notifier_.ResetAfterFork();
    store.notifier_.gate().OpenInChild();
    store.upkeepGate_.OpenInChild();
    store.upkeepRunning_ = false;
    store.upkeepAgain_ = false;
    store.upkeepIdle_ = false;
    store.upkeepAfterFork_ = false;
    if (store.upkeepWake_ >= 0) close(store.upkeepWake_);
    store.upkeepWake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

namespace {

// A kept snapshot unused for this long is ended: long enough to carry a burst of reads, short
// enough never to hold back another process's checkpoint noticeably.
constexpr std::chrono::milliseconds kSnapshotIdle{50};

}  // namespace

namespace {

void Wake(int eventFd) {
    const uint64_t one = 1;
    // A full counter already wakes the thread: nothing is lost when the write fails.
    [[maybe_unused]] const ssize_t written = write(eventFd, &one, sizeof one);
}

}  // namespace

void HiveNeedsUpkeep(bool now) {
    Store& store = Store::Get();
    if (now && store.upkeepWake_ >= 0) Wake(store.upkeepWake_);
    std::lock_guard<std::mutex> lock(store.upkeepMutex_);
    if (store.exiting_) return;
    if (store.upkeepRunning_) {
        store.upkeepAgain_ = true;
        if (store.upkeepIdle_ && store.upkeepWake_ >= 0 && !now) Wake(store.upkeepWake_);
        return;
    }
    if (!store.upkeepGate_.EnterToStart()) {
        store.upkeepAfterFork_ = true;
        return;
    }
    store.upkeepRunning_ = true;
    std::thread(&Store::Upkeep, &store).detach();
}

void Store::Upkeep() {
    for (;;) {
        bool idle;
        {
            std::lock_guard<std::mutex> lock(upkeepMutex_);
            idle = upkeepIdle_;
        }
        // Without an eventfd (-1) poll() ignores the entry and only waits out the round. With
        // nothing to do, the thread sleeps until it is asked again rather than end and start
        // anew: a thread's start and end allocate, and a fork() made meanwhile can leave the
        // child an allocator that stays locked (AddressSanitizer's, for one).
        pollfd wake{upkeepWake_, POLLIN, 0};
        const int timeout = idle && upkeepWake_ >= 0 ? -1 : static_cast<int>(kSnapshotIdle.count());
        upkeepGate_.Leave();
        const int woken = poll(&wake, 1, timeout);
        upkeepGate_.Enter();
        if (woken > 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t taken = read(upkeepWake_, &count, sizeof count);
        }
        if (exiting_) break;
        bool more = false;
        for (int kind = 0; kind < kHiveKinds; ++kind) {
            Hive* hive = OpenedHive(static_cast<HiveKind>(kind));
            if (!hive) continue;
            if (hive->CheckpointIfWanted()) more = true;
            if (hive->ReleaseIdleSnapshot(kSnapshotIdle)) more = true;
            if (hive->BuildReadMapIfWanted()) more = true;
        }
        // A hive that asked while this round ran gets another round.
        std::lock_guard<std::mutex> lock(upkeepMutex_);
        upkeepIdle_ = !more && !upkeepAgain_;
        upkeepAgain_ = false;
    }
    upkeepGate_.Leave();
    // The last this thread touches: the exit waits for it.
    std::lock_guard<std::mutex> lock(upkeepMutex_);
    upkeepRunning_ = false;
    upkeepEnded_.notify_all();
}

void Store::AtExit() {
    Store& store = Get();
    {
        std::unique_lock<std::mutex> lock(store.upkeepMutex_);
        store.exiting_ = true;
        if (store.upkeepWake_ >= 0) Wake(store.upkeepWake_);
        store.upkeepEnded_.wait(lock, [&store] { return !store.upkeepRunning_; });
    }
    store.notifier_.Stop();
    for (int kind = 0; kind < kHiveKinds; ++kind) {
        if (Hive* hive = store.OpenedHive(static_cast<HiveKind>(kind))) {
            // The next process then starts from a current map instead of opening the hive.
            hive->BuildReadMapIfWanted();
            hive->CheckpointAtExit();
        }
    }
}

}  // namespace zelreg
