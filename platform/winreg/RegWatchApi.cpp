// Detailed watches: what changed in a key or its sub-tree, change by change.
#include "ChangeFeed.h"
#include "FeedWatch.h"
#include "RegApiSupport.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

// The feed of a watch this process made; a forked child's copy is no watch of its own.
std::shared_ptr<ChangeFeed> FeedOf(HANDLE watch) {
    std::shared_ptr<ChangeFeed> feed = Store::Get().handles().GetFeed(reinterpret_cast<uintptr_t>(watch));
    return feed && feed->OfThisProcess() ? feed : nullptr;
}

}  // namespace

HANDLE WINAPI ZelRegCreateWatch(HKEY hKey, BOOL bWatchSubtree) {
    uintptr_t value = 0;
    const LONG status = Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        RequireAccess(ref, KEY_NOTIFY);
        auto feed = std::make_shared<ChangeFeed>();
        HandleTable& handles = Store::Get().handles();
        value = handles.Add(feed);
        auto watch = std::make_shared<FeedWatch>(ref.handle->hive, ref.handle->key, bWatchSubtree != FALSE, value, feed);
        HiveJournal* journal = ref.hive->StartWatching();
        try {
            ref.hive->Read([&](Connection& db) {
                Store::Get().notifier().AddFeed(db, watch, journal);
                return 0;
            });
        } catch (...) {
            if (journal) ref.hive->StopWatching(1);
            handles.Close(value);
            value = 0;
            throw;
        }
        return ERROR_SUCCESS;
    });
    SetLastError(static_cast<DWORD>(status));
    return reinterpret_cast<HANDLE>(value);
}

LONG WINAPI ZelRegReadChange(HANDLE hWatch, LPDWORD lpdwKind, LPSTR lpKeyPath, LPDWORD lpcchKeyPath, LPSTR lpValueName,
                             LPDWORD lpcchValueName) {
    return Guarded([&]() -> LONG {
        if (!lpdwKind || !lpKeyPath || !lpcchKeyPath || !lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
        std::shared_ptr<ChangeFeed> feed = FeedOf(hWatch);
        if (!feed) return ERROR_INVALID_HANDLE;
        TreeChange change;
        switch (feed->Take(*lpcchKeyPath, *lpcchValueName, change)) {
        case ChangeFeed::Taken::Nothing:
            return ERROR_NO_MORE_ITEMS;
        case ChangeFeed::Taken::TooLarge:
            *lpcchKeyPath = static_cast<DWORD>(change.key.size() + 1);
            *lpcchValueName = static_cast<DWORD>(change.value.size() + 1);
            return ERROR_MORE_DATA;
        case ChangeFeed::Taken::Change:
            break;
        }
        *lpdwKind = change.kind;
        CopyName(change.key, lpKeyPath);
        CopyName(change.value, lpValueName);
        *lpcchKeyPath = static_cast<DWORD>(change.key.size());
        *lpcchValueName = static_cast<DWORD>(change.value.size());
        return ERROR_SUCCESS;
    });
}

int WINAPI ZelRegWatchDescriptor(HANDLE hWatch) {
    std::shared_ptr<ChangeFeed> feed = FeedOf(hWatch);
    return feed ? feed->descriptor() : -1;
}
