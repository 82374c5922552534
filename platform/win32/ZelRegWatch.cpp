// Detailed watches on Windows, over RegNotifyChangeKeyValue: a thread per watch waits for the
// system's notification (or its stop), copies the watched tree and tells the changes by
// comparing the copy with the one before. The notification is asked for before the tree is
// copied, so that nothing changed while copying goes unnoticed.
//
// The watch follows its key by path. While the key is there, its own handle is watched, and
// its parent's names, which tell its deletion wherever the deleted key's own handle does not;
// a deleted key's handle goes dead, so then the nearest ancestor that exists is watched, with
// its sub-tree, until the key is back.
#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../afx/ZelAfx.h"
#include "../watch/TreeSnapshot.h"
#include "../watch/ZelRegWatch.h"

namespace {

using zelreg::TreeChange;
using zelreg::TreeChanges;
using zelreg::TreeSnapshot;

constexpr DWORD kNotifyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() { Reset(); }
    HKEY get() const { return m_hKey; }
    HKEY* out() {
        Reset();
        return &m_hKey;
    }
    void Reset() {
        if (m_hKey != nullptr) RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey = nullptr;
};

// A key's values, their digests, with buffers as long as RegQueryInfoKeyA says they must be.
void CopyValues(HKEY hKey, std::map<std::string, uint64_t>& values) {
    DWORD cValues = 0, cchMaxName = 0, cbMaxData = 0;
    if (RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &cValues, &cchMaxName,
                         &cbMaxData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::string name(cchMaxName + 1, '\0');
    std::vector<BYTE> data(std::max<DWORD>(cbMaxData, 1));
    for (DWORD i = 0;; ++i) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD dwType = REG_NONE;
        const LONG lStatus = RegEnumValueA(hKey, i, &name[0], &cchName, nullptr, &dwType, data.data(), &cbData);
        if (lStatus == ERROR_MORE_DATA) {
            // Grown since it was measured: measured again, and this index read anew.
            name.resize(std::max<std::size_t>(name.size() * 2, 256));
            data.resize(std::max<std::size_t>(data.size() * 2, cbData));
            --i;
            continue;
        }
        if (lStatus != ERROR_SUCCESS) return;
        values[std::string(name.data(), cchName)] = TreeSnapshot::Digest(dwType, data.data(), cbData);
    }
}

std::vector<std::string> SubKeyNames(HKEY hKey) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof name;
        if (RegEnumKeyExA(hKey, i, name, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, cchName);
    }
    return names;
}

void CopyTree(HKEY hKey, const std::string& path, bool subtree, TreeSnapshot& snapshot) {
    CopyValues(hKey, snapshot.keys[path]);
    for (const std::string& name : SubKeyNames(hKey)) {
        const std::string subPath = zelreg::JoinKeyPath(path, name);
        if (!subtree) {
            snapshot.keys[subPath];
            continue;
        }
        KeyHandle sub;
        // A key deleted meanwhile is left out; the notification it caused comes next.
        if (RegOpenKeyExA(hKey, name.c_str(), 0, KEY_READ, sub.out()) == ERROR_SUCCESS)
            CopyTree(sub.get(), subPath, subtree, snapshot);
    }
}

bool Deleted(HKEY hKey) {
    return RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_KEY_DELETED;
}

// A copy taken while another process changes the tree can show a state the tree was never in:
// an enumeration by index skips a key when one before it goes, and the handle of a key deleted
// meanwhile enumerates nothing (the key is then no longer there). Copies are taken, a moment
// apart, until two agree.
constexpr int kSettleTries = 20;

TreeSnapshot SettledCopy(HKEY hKey, bool subtree) {
    TreeSnapshot copy;
    for (int tries = 0; tries < kSettleTries; ++tries) {
        TreeSnapshot again;
        CopyTree(hKey, "", subtree, again);
        again.present = !Deleted(hKey);
        if (!again.present) again.keys.clear();
        if (tries > 0 && again.present == copy.present && again.keys == copy.keys) break;
        copy = std::move(again);
        Sleep(1);
    }
    return copy;
}

class Watch {
public:
    Watch(HKEY hRoot, std::string path, bool subtree)
        : m_hRoot(hRoot),
          m_path(std::move(path)),
          m_subtree(subtree),
          m_hPending(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_hStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          m_hNotify(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          m_hParentNotify(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

    ~Watch() {
        if (m_thread.joinable()) {
            SetEvent(m_hStop);
            m_thread.join();
        }
        for (HANDLE h : {m_hPending, m_hStop, m_hNotify, m_hParentNotify})
            if (h != nullptr) CloseHandle(h);
    }

    // Takes the first copy and starts the thread, which asks for the notifications: one asked
    // for here would end with this thread on older systems. The status of opening the key.
    LONG Start() {
        if (!m_hPending || !m_hStop || !m_hNotify || !m_hParentNotify) return ERROR_NOT_ENOUGH_MEMORY;
        KeyHandle key;
        const LONG lStatus = RegOpenKeyExA(m_hRoot, m_path.c_str(), 0, KEY_READ | KEY_NOTIFY, key.out());
        if (lStatus != ERROR_SUCCESS) return lStatus;
        m_last = SettledCopy(key.get(), m_subtree);
        m_thread = std::thread([this] { Run(); });
        return ERROR_SUCCESS;
    }

    HANDLE pending() const { return m_hPending; }

    LONG Read(LPDWORD lpdwKind, LPSTR lpKeyPath, LPDWORD lpcchKeyPath, LPSTR lpValueName, LPDWORD lpcchValueName) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pending.empty()) return ERROR_NO_MORE_ITEMS;
        const TreeChange& change = m_pending.front();
        if (change.key.size() >= *lpcchKeyPath || change.value.size() >= *lpcchValueName) {
            *lpcchKeyPath = static_cast<DWORD>(change.key.size() + 1);
            *lpcchValueName = static_cast<DWORD>(change.value.size() + 1);
            return ERROR_MORE_DATA;
        }
        *lpdwKind = change.kind;
        std::copy(change.key.begin(), change.key.end(), lpKeyPath);
        lpKeyPath[change.key.size()] = '\0';
        std::copy(change.value.begin(), change.value.end(), lpValueName);
        lpValueName[change.value.size()] = '\0';
        *lpcchKeyPath = static_cast<DWORD>(change.key.size());
        *lpcchValueName = static_cast<DWORD>(change.value.size());
        m_pending.pop_front();
        if (m_pending.empty()) ResetEvent(m_hPending);
        return ERROR_SUCCESS;
    }

private:
    // Asks for the next notification and compares the tree as it is now with the copy before.
    void Arm() {
        TreeSnapshot now;
        if (RegOpenKeyExA(m_hRoot, m_path.c_str(), 0, KEY_READ | KEY_NOTIFY, m_watched.out()) == ERROR_SUCCESS) {
            RegNotifyChangeKeyValue(m_watched.get(), m_subtree, kNotifyFilter, m_hNotify, TRUE);
            WatchParent();
            now = SettledCopy(m_watched.get(), m_subtree);
        }
        // Gone, or deleted while it was copied: its handle will tell nothing more. Created again
        // before the ancestor's notification was asked for, it is looked at once more.
        if (!now.present) {
            WatchAncestor();
            KeyHandle again;
            if (RegOpenKeyExA(m_hRoot, m_path.c_str(), 0, KEY_READ, again.out()) == ERROR_SUCCESS) SetEvent(m_hNotify);
        }
        Push(zelreg::CompareSnapshots(m_last, now));
        m_last = std::move(now);
    }

    void WatchParent() {
        m_parent.Reset();
        const std::size_t cut = m_path.rfind('\\');
        const std::string parent = cut == std::string::npos ? std::string() : m_path.substr(0, cut);
        if (!m_path.empty() && RegOpenKeyExA(m_hRoot, parent.c_str(), 0, KEY_NOTIFY, m_parent.out()) == ERROR_SUCCESS)
            RegNotifyChangeKeyValue(m_parent.get(), FALSE, REG_NOTIFY_CHANGE_NAME, m_hParentNotify, TRUE);
    }

    // The key is gone: the nearest ancestor that is there is watched with its sub-tree, which
    // tells when the key (or any key on the way to it) is created.
    void WatchAncestor() {
        std::string path = m_path;
        m_watched.Reset();
        m_parent.Reset();
        for (;;) {
            const std::size_t cut = path.rfind('\\');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
            if (RegOpenKeyExA(m_hRoot, path.c_str(), 0, KEY_NOTIFY, m_watched.out()) == ERROR_SUCCESS) break;
            if (path.empty()) return;
        }
        RegNotifyChangeKeyValue(m_watched.get(), TRUE, REG_NOTIFY_CHANGE_NAME, m_hNotify, TRUE);
    }

    void Push(TreeChanges changes) {
        if (changes.empty()) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (TreeChange& change : changes) m_pending.push_back(std::move(change));
        SetEvent(m_hPending);
    }

    void Run() {
        const HANDLE waits[3] = {m_hStop, m_hNotify, m_hParentNotify};
        for (DWORD dwWoken = WAIT_OBJECT_0 + 1; dwWoken == WAIT_OBJECT_0 + 1 || dwWoken == WAIT_OBJECT_0 + 2;
             dwWoken = WaitForMultipleObjects(3, waits, FALSE, INFINITE))
            Arm();
    }

    const HKEY m_hRoot;
    const std::string m_path;
    const bool m_subtree;
    HANDLE m_hPending;  // manual reset: signalled while changes wait
    HANDLE m_hStop;
    // The system's notifications, each with an event of its own: asking for one may reset
    // its event (Wine does), which would lose the other's signal.
    HANDLE m_hNotify;
    HANDLE m_hParentNotify;
    KeyHandle m_watched;
    KeyHandle m_parent;
    TreeSnapshot m_last;
    std::mutex m_mutex;
    std::deque<TreeChange> m_pending;
    std::thread m_thread;
};

// The watches by handle; a handle is its watch's address.
std::mutex g_watchesMutex;
std::map<HANDLE, std::unique_ptr<Watch>>& Watches() {
    static std::map<HANDLE, std::unique_ptr<Watch>> watches;
    return watches;
}

// f's answer for the watch hWatch, or `nothing` for a handle that is no watch.
template <class R, class F>
R WithWatch(HANDLE hWatch, R nothing, F&& f) {
    std::lock_guard<std::mutex> lock(g_watchesMutex);
    const auto found = Watches().find(hWatch);
    return found == Watches().end() ? nothing : f(*found->second);
}

}  // namespace

HANDLE ZelWatchBegin(HKEY hRoot, LPCSTR pszKey, BOOL bSubtree, LONG* plStatus) {
    try {
        std::string path(pszKey != nullptr ? pszKey : "");
        auto watch = std::make_unique<Watch>(hRoot, path, bSubtree != FALSE);
        *plStatus = watch->Start();
        if (*plStatus != ERROR_SUCCESS) return nullptr;
        const HANDLE hWatch = watch.get();
        std::lock_guard<std::mutex> lock(g_watchesMutex);
        Watches().emplace(hWatch, std::move(watch));
        return hWatch;
    } catch (const std::exception&) {
        *plStatus = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
}

LONG ZelRegReadChange(HANDLE hWatch, LPDWORD lpdwKind, LPSTR lpKeyPath, LPDWORD lpcchKeyPath, LPSTR lpValueName,
                      LPDWORD lpcchValueName) {
    if (!lpdwKind || !lpKeyPath || !lpcchKeyPath || !lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
    return WithWatch(hWatch, LONG{ERROR_INVALID_HANDLE}, [&](Watch& watch) {
        return watch.Read(lpdwKind, lpKeyPath, lpcchKeyPath, lpValueName, lpcchValueName);
    });
}

ZelWatchWaitable ZelRegWatchWaitable(HANDLE hWatch) {
    return WithWatch(hWatch, ZelNoWatchWaitable, [](Watch& watch) { return watch.pending(); });
}

// The watch leaves the table first, so that the wait for its thread holds no lock.
void ZelRegCloseWatch(HANDLE hWatch) {
    std::unique_ptr<Watch> watch;
    {
        std::lock_guard<std::mutex> lock(g_watchesMutex);
        const auto found = Watches().find(hWatch);
        if (found == Watches().end()) return;
        watch = std::move(found->second);
        Watches().erase(found);
    }
}

ZelWatchWaiter::ZelWatchWaiter() : m_hStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (m_hStop == nullptr) AfxThrowMemoryException();
}

ZelWatchWaiter::~ZelWatchWaiter() { CloseHandle(m_hStop); }

bool ZelWatchWaiter::Wait(ZelWatchWaitable waitable) {
    const HANDLE waits[2] = {m_hStop, waitable};
    return WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

void ZelWatchWaiter::Stop() { SetEvent(m_hStop); }

bool ZelWatchWaiter::OfThisProcess() const { return true; }
