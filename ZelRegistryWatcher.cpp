#include "ZelRegistryWatcher.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "Imp/ZelKeyPath.h"
#include "Imp/ZelRegistrySetI.h"
#include "ZelRegistryBase.h"
#include "ZelRegistrySet.h"
#include "frame/ZelConvert.h"
#include "frame/ZelLocalError.h"
#include "frame/ZelRegWatch.h"

namespace {

constexpr const char* kSource = ".\\ZelRegistryWatcher";
constexpr const char* kClass = "ZelRegistryWatcher";

// Room for most key paths and value names at the first attempt.
constexpr DWORD kFirstRoom = 256;

[[noreturn]] void RaiseLocal(DWORD nLocalErrorNo) {
    ZelLocalErrorScope scope;
    ZelRaiseLocalError(nLocalErrorNo);
}

// The path a location's Write with a null handle reaches, below HKEY_CURRENT_USER. A location
// without a path (or without its state) reaches no key there, so it has none to watch.
CString LocationKey(const ZelRegistryBase& Location) {
    CString strKey = Location.GetRegistryPath();
    ZelStripOuterBackslash(strKey);
    if (strKey.IsEmpty()) RaiseLocal(ZEL_LOCAL_EMPTY_KEY);
    return strKey;
}

CString JoinKey(const CString& strPath, const std::string& strName) {
    if (strName.empty()) return strPath;
    return strPath + '\\' + strName.c_str();
}

}  // namespace

// What the watcher and its delivering thread share: the thread keeps it alive while it runs,
// so a watcher destroyed from inside its callback leaves the thread nothing freed to touch.
struct ZelRegistryWatcherState {
    HANDLE hWatch = nullptr;
    CString strPath;  // the watched key's full path
    ZelRegistryWatcher::Callback callback;
    ZelWatchWaiter waiter;
    std::atomic<bool> bStopping{false};
    std::unique_ptr<std::thread> thread;

    ZelRegistryWatcherState() = default;
    ZelRegistryWatcherState(const ZelRegistryWatcherState&) = delete;
    ZelRegistryWatcherState& operator=(const ZelRegistryWatcherState&) = delete;
    ~ZelRegistryWatcherState() {
        if (hWatch != nullptr && waiter.OfThisProcess()) ZelRegCloseWatch(hWatch);
    }

    // Takes the oldest change waiting; false when there is none.
    bool Take(ZelRegistryWatcher::Change& change) {
        std::string strKey(kFirstRoom, '\0');
        std::string strValue(kFirstRoom, '\0');
        for (;;) {
            DWORD dwKind = 0;
            DWORD cchKey = static_cast<DWORD>(strKey.size());
            DWORD cchValue = static_cast<DWORD>(strValue.size());
            const LONG lStatus = ZelRegReadChange(hWatch, &dwKind, &strKey[0], &cchKey, &strValue[0], &cchValue);
            if (lStatus == ERROR_MORE_DATA) {
                strKey.resize(std::max<std::size_t>(strKey.size(), cchKey));
                strValue.resize(std::max<std::size_t>(strValue.size(), cchValue));
                continue;
            }
            if (lStatus != ERROR_SUCCESS) return false;
            strKey.resize(cchKey);
            strValue.resize(cchValue);
            change.kind = static_cast<ZelRegistryWatcher::eChange>(dwKind);
            change.strKey = JoinKey(strPath, dwKind == ZELREG_CHANGE_LOST ? std::string() : strKey);
            change.strValue = strValue.c_str();
            return true;
        }
    }

    void Deliver(const ZelRegistryWatcher::Change& change) noexcept {
        try {
            callback(change);
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    }

    // The delivering thread: takes the changes as they come and hands them on one by one,
    // until the watcher stops.
    static void Run(std::shared_ptr<ZelRegistryWatcherState> state) {
        const ZelWatchWaitable waitable = ZelRegWatchWaitable(state->hWatch);
        while (state->waiter.Wait(waitable)) {
            ZelRegistryWatcher::Change change{};
            try {
                while (!state->bStopping && state->Take(change)) state->Deliver(change);
            } catch (CException* e) {
                // Out of memory: the change being taken is dropped; those after it come
                // at the next wake, which is at once while any wait.
                e->Delete();
            } catch (const std::exception&) {
            }
        }
    }
};

ZelRegistryWatcher::ZelRegistryWatcher(const ZelRegistryBase& Location, BOOL bSubtree)
    : ZelRegistryWatcher(Location, bSubtree, Callback()) {}

ZelRegistryWatcher::ZelRegistryWatcher(const ZelRegistryBase& Location, BOOL bSubtree, Callback callback) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryWatcher(const ZelRegistryBase&)"};
    ZelCatchAtEndTellingMemory(kSite, [&] { Start(HKEY_CURRENT_USER, LocationKey(Location), bSubtree, std::move(callback)); });
}

ZelRegistryWatcher::ZelRegistryWatcher(const ZelRegistryQuonSet& Node, BOOL bSubtree)
    : ZelRegistryWatcher(Node, bSubtree, Callback()) {}

ZelRegistryWatcher::ZelRegistryWatcher(const ZelRegistryQuonSet& Node, BOOL bSubtree, Callback callback) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryWatcher(const ZelRegistryQuonSet&)"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        CString strKey = LocationKey(Node);
        CString strName = ZelStorageName(Node, nullptr);
        ZelStripOuterBackslash(strName);
        if (strName.IsEmpty()) RaiseLocal(ZEL_LOCAL_EMPTY_KEY);
        Start(HKEY_CURRENT_USER, JoinKey(strKey, static_cast<LPCTSTR>(strName)), bSubtree, std::move(callback));
    });
}

ZelRegistryWatcher::ZelRegistryWatcher(HKEY hRoot, LPCTSTR pszKey, BOOL bSubtree)
    : ZelRegistryWatcher(hRoot, pszKey, bSubtree, Callback()) {}

ZelRegistryWatcher::ZelRegistryWatcher(HKEY hRoot, LPCTSTR pszKey, BOOL bSubtree, Callback callback) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryWatcher(HKEY, LPCTSTR)"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        CString strKey(pszKey);
        ZelStripOuterBackslash(strKey);
        Start(hRoot, strKey, bSubtree, std::move(callback));
    });
}

ZelRegistryWatcher::~ZelRegistryWatcher() { Stop(); }

void ZelRegistryWatcher::Start(HKEY hRoot, const CString& strKey, BOOL bSubtree, Callback callback) {
    if (hRoot != HKEY_CURRENT_USER && hRoot != HKEY_LOCAL_MACHINE) AfxThrowInvalidArgException();
    auto state = std::make_shared<ZelRegistryWatcherState>();
    state->strPath = JoinKey(hRoot == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE",
                             static_cast<LPCTSTR>(strKey));
    state->callback = std::move(callback);

    LONG lStatus = ERROR_SUCCESS;
    state->hWatch = ZelWatchBegin(hRoot, strKey, bSubtree, &lStatus);
    if (state->hWatch == nullptr) {
        if (lStatus == ERROR_NOT_ENOUGH_MEMORY || lStatus == ERROR_OUTOFMEMORY) AfxThrowMemoryException();
        RaiseLocal(lStatus == ERROR_FILE_NOT_FOUND || lStatus == ERROR_KEY_DELETED ? ZEL_LOCAL_NO_KEY
                                                                                  : ZEL_LOCAL_WATCH_REFUSED);
    }

    if (state->callback) {
        try {
            state->thread = std::make_unique<std::thread>(&ZelRegistryWatcherState::Run, state);
        } catch (const std::system_error&) {
            RaiseLocal(ZEL_LOCAL_WATCH_REFUSED);
        } catch (const std::bad_alloc&) {
            AfxThrowMemoryException();
        }
    }
    m_state = std::move(state);
}

void ZelRegistryWatcher::Stop() noexcept {
    const std::shared_ptr<ZelRegistryWatcherState> state = std::move(m_state);
    if (!state || !state->thread) return;
    if (!state->waiter.OfThisProcess()) {
        // A child after fork(): the thread is the parent's and does not run here, so it can be
        // neither joined nor stopped; the object that names it is left as it is.
        static_cast<void>(state->thread.release());
        return;
    }
    state->bStopping = true;
    state->waiter.Stop();
    if (state->thread->get_id() == std::this_thread::get_id()) {
        // From inside the callback: the thread ends once the callback returns, holding the
        // state until then.
        state->thread->detach();
    } else {
        state->thread->join();
    }
}

CString ZelRegistryWatcher::GetKeyPath() const { return m_state ? m_state->strPath : CString(); }

LPCTSTR ZelRegistryWatcher::KindText(eChange kind) {
    switch (kind) {
    case eValueSet:
        return "value set";
    case eValueDeleted:
        return "value deleted";
    case eKeyCreated:
        return "key created";
    case eKeyDeleted:
        return "key deleted";
    case eLost:
        break;
    }
    return "changes lost";
}

ZelWatchWaitable ZelRegistryWatcher::GetWaitable() const {
    if (!m_state || m_state->callback || !m_state->waiter.OfThisProcess()) return ZelNoWatchWaitable;
    return ZelRegWatchWaitable(m_state->hWatch);
}

std::vector<ZelRegistryWatcher::Change> ZelRegistryWatcher::ReadChanges() {
    static constexpr ZelSite kSite{kSource, kClass, "ReadChanges()"};
    return ZelCatchAtEndTellingMemory(kSite, [&] {
        std::vector<Change> changes;
        if (!m_state || m_state->callback || !m_state->waiter.OfThisProcess()) return changes;
        Change change{};
        while (m_state->Take(change)) changes.push_back(change);
        return changes;
    });
}
