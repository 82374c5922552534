// What the tests of ZelRegistryWatcher share: the watched key, changes in a comparable form, a
// callback that collects them, and waits that end when the awaited changes have come (or after
// a deadline far beyond any delivery, so that a missing change fails the test, not hangs it).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include "platform/win32/ZelWinTypes.h"
#else
#include <poll.h>
#endif

#include "ZelRegistryWatcher.h"
#include "support/ZelRegistryFixture.h"

struct Seen {
    DWORD kind;
    std::string key;
    std::string value;

    Seen(DWORD k, std::string strKey, std::string strValue = "") : kind(k), key(std::move(strKey)), value(std::move(strValue)) {}
    explicit Seen(const ZelRegistryWatcher::Change& change)
        : kind(change.kind), key(static_cast<LPCTSTR>(change.strKey)), value(static_cast<LPCTSTR>(change.strValue)) {}
    bool operator==(const Seen& other) const { return kind == other.kind && key == other.key && value == other.value; }
};

inline std::ostream& operator<<(std::ostream& out, const Seen& seen) {
    static const char* const kinds[] = {"?", "value set", "value deleted", "key created", "key deleted", "lost"};
    return out << kinds[seen.kind < 6 ? seen.kind : 0] << " '" << seen.key << "' '" << seen.value << "'";
}

using SeenList = std::vector<Seen>;

// Far beyond any delivery: reached only when a change never comes.
constexpr std::chrono::seconds kGiveUp(20);

// Collects what a watcher's callback is given, from the watcher's thread.
class Heard {
public:
    ZelRegistryWatcher::Callback Callback() {
        return [this](const ZelRegistryWatcher::Change& change) { Add(Seen(change)); };
    }

    void Add(const Seen& seen) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.push_back(seen);
        m_changed.notify_all();
    }

    // Waits until at least `count` changes have come; all that came.
    SeenList WaitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, kGiveUp, [&] { return m_seen.size() >= count; });
        return m_seen;
    }

    // Takes what came, and waits for at least `count` first.
    SeenList Take(std::size_t count) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, kGiveUp, [&] { return m_seen.size() >= count; });
        SeenList taken;
        taken.swap(m_seen);
        return taken;
    }

    std::size_t Count() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    SeenList m_seen;
};

// Whether the watcher's waitable is signalled within `timeout`, as an event loop would find it.
inline bool Signalled(ZelWatchWaitable waitable, std::chrono::milliseconds timeout) {
#if defined(_WIN32)
    return WaitForSingleObject(waitable, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
#else
    pollfd fd{waitable, POLLIN, 0};
    return poll(&fd, 1, static_cast<int>(timeout.count())) == 1 && (fd.revents & POLLIN);
#endif
}

// Reads the watcher's changes as an event loop does, waiting on its waitable, until at least
// `count` have come.
inline SeenList ReadUntil(ZelRegistryWatcher& watcher, std::size_t count) {
    SeenList seen;
    const auto deadline = std::chrono::steady_clock::now() + kGiveUp;
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
        if (!Signalled(watcher.GetWaitable(), std::chrono::milliseconds(500))) continue;
        for (const ZelRegistryWatcher::Change& change : watcher.ReadChanges()) seen.emplace_back(change);
    }
    return seen;
}

// A test's own registry places, with its composed location's key created: the key watched.
class WatchedKeyTest : public ZelRegistryTest {
protected:
    void SetUp() override {
        ZelRegistryTest::SetUp();
        ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strKey), ERROR_SUCCESS);
    }

    const std::string m_strKey = ComposedPath();
    const std::string m_strFull = "HKEY_CURRENT_USER\\" + ComposedPath();
};
