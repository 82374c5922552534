// RegSaveKeyA and RegRestoreKeyA: a key's sub-tree to a hive file of the store's format and
// back (HiveImage.h has what the file holds).
#include "HiveImage.h"
#include "KeyStore.h"
#include "NewFile.h"
#include "RegApiSupport.h"
#include "ZelWinReg.h"

using namespace zelreg;

namespace {

constexpr DWORD kKnownRestoreFlags = REG_WHOLE_HIVE_VOLATILE | REG_REFRESH_HIVE | REG_NO_LAZY_FLUSH | REG_FORCE_RESTORE;

}  // namespace

// One snapshot of the sub-tree, however many keys it has and whoever writes meanwhile. The
// file must not exist; it appears whole or not at all. The security attributes are not kept:
// the file is private to the user (0600), as the hives are.
LONG WINAPI RegSaveKeyA(HKEY hKey, LPCSTR lpFile, const LPSECURITY_ATTRIBUTES) {
    if (!lpFile) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        // What a transaction has not committed is in no hive to save.
        if (ref.handle->tx) return ERROR_NOT_SUPPORTED;
        NewFile file(lpFile);
        ref.hive->Read([&](Connection& db) {
            WriteSubtreeImage(db, ref.handle->key, file.Begin());
            return 0;
        });
        file.Publish();
        return ERROR_SUCCESS;
    });
}

// The file is read and checked whole first; then the key's values and everything below it are
// replaced in one write transaction, all or nothing. REG_NO_LAZY_FLUSH changes nothing (every
// change is written as it commits), nor does REG_FORCE_RESTORE: the store never refuses a
// restore for handles open below the key, which answer ERROR_KEY_DELETED afterwards, as handles
// to deleted keys do. A volatile hive (REG_WHOLE_HIVE_VOLATILE) and going back to the last
// flush (REG_REFRESH_HIVE) are not supported.
LONG WINAPI RegRestoreKeyA(HKEY hKey, LPCSTR lpFile, DWORD dwFlags) {
    if (!lpFile || (dwFlags & ~kKnownRestoreFlags)) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const KeyRef ref = Store::Get().Resolve(hKey);
        if (ref.handle->tx || (dwFlags & (REG_WHOLE_HIVE_VOLATILE | REG_REFRESH_HIVE))) return ERROR_NOT_SUPPORTED;
        const ImageKey image = ReadHiveImage(lpFile);
        if (ref.hive->readOnly()) return ERROR_ACCESS_DENIED;
        ref.hive->Write([&](Connection& db, ChangeSet& changes) {
            ApplyHiveImage(db, changes, ref.handle->key, image);
            return 0;
        });
        return ERROR_SUCCESS;
    });
}
