// RegNotifyChangeKeyValue and the event functions it needs.
#include <map>
#include <string>

#include "RegApiSupport.h"
#include "Transaction.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

constexpr DWORD kNotifyFilters = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                 REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

// Named events are shared within the process (there is no other process's handle to share).
std::mutex g_namesMutex;
std::map<std::string, std::weak_ptr<Event>>& EventNames() {
    static std::map<std::string, std::weak_ptr<Event>> names;
    return names;
}

std::shared_ptr<Event> FindEvent(HANDLE handle) {
    return Store::Get().handles().GetEvent(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

LONG WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                                    BOOL fAsynchronous) {
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        if ((dwNotifyFilter & ~(kNotifyFilters | REG_NOTIFY_THREAD_AGNOSTIC)) || !(dwNotifyFilter & kNotifyFilters)) {
            return ERROR_INVALID_PARAMETER;
        }
        if (fAsynchronous && !hEvent) return ERROR_INVALID_PARAMETER;
        RequireAccess(ref, KEY_NOTIFY);
        std::shared_ptr<Event> event = fAsynchronous ? FindEvent(hEvent) : std::make_shared<Event>(false, false);
        if (!event) return ERROR_INVALID_HANDLE;
        Watch watch{ref.handle->hive,
                    ref.handle->key,
                    bWatchSubtree != FALSE,
                    dwNotifyFilter,
                    ref.predefined ? uintptr_t{0} : reinterpret_cast<uintptr_t>(hKey),
                    event};
        HiveJournal* journal = ref.hive->StartWatching();
        try {
            ref.hive->Read([&watch, journal](Connection& db) {
                Store::Get().notifier().Add(db, watch, journal);
                return ERROR_SUCCESS;
            });
        } catch (...) {
            if (journal) ref.hive->StopWatching(1);
            throw;
        }
        if (!fAsynchronous) event->Wait(INFINITE);
        return ERROR_SUCCESS;
    });
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    try {
        std::shared_ptr<Event> event;
        if (lpName && *lpName) {
            std::lock_guard<std::mutex> lock(g_namesMutex);
            std::weak_ptr<Event>& named = EventNames()[lpName];
            event = named.lock();
            if (!event) {
                event = std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE);
                named = event;
            }
        } else {
            event = std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE);
        }
        return reinterpret_cast<HANDLE>(Store::Get().handles().Add(std::move(event)));
    } catch (...) {
        return nullptr;
    }
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    std::shared_ptr<Event> event = FindEvent(hEvent);
    if (!event) return FALSE;
    event->Set();
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    std::shared_ptr<Event> event = FindEvent(hEvent);
    if (!event) return FALSE;
    event->Reset();
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<Event> event = FindEvent(hHandle);
    if (!event) return WAIT_FAILED;
    return event->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// Closes event handles, transactions (rolling back one that has not ended), detailed watches
// and, as on Windows, key handles too.
BOOL WINAPI CloseHandle(HANDLE hObject) {
    const auto value = reinterpret_cast<uintptr_t>(hObject);
    if (!hObject || IsPredefinedKey(reinterpret_cast<HKEY>(hObject))) return FALSE;
    std::shared_ptr<Transaction> transaction;
    switch (Store::Get().handles().Close(value, &transaction)) {
    case HandleTable::Closed::Key:
    case HandleTable::Closed::Feed:
        Store::Get().notifier().HandleClosed(value);
        return TRUE;
    case HandleTable::Closed::Event:
        return TRUE;
    case HandleTable::Closed::Transaction: {
        std::lock_guard<std::mutex> lock(transaction->mutex());
        if (transaction->OfThisProcess() && transaction->state() == Transaction::State::Active) {
            transaction->End(Transaction::State::RolledBack);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}
