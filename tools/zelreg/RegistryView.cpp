#include "RegistryView.h"

#include "KeyHandle.h"

namespace zelregtool {

const SwitchRule kViewSwitches[2] = {{"reg:32", false}, {"reg:64", false}};

#if defined(_WIN32)

REGSAM ViewAccess(const Arguments& arguments) {
    if (arguments.Has("reg:32")) return KEY_WOW64_32KEY;
    if (arguments.Has("reg:64")) return KEY_WOW64_64KEY;
    return 0;
}

// SHDeleteKeyA knows no views: the tree is emptied through a handle opened in the view, and
// the key itself deleted by name in it.
LONG DeleteKeyTree(HKEY root, const std::string& subKey, REGSAM view) {
    if (view == 0) return static_cast<LONG>(SHDeleteKeyA(root, subKey.c_str()));
    KeyHandle key;
    LONG status = key.Open(root, subKey, KEY_READ | KEY_WRITE | DELETE | view);
    if (status == ERROR_SUCCESS) status = RegDeleteTreeA(key.get(), nullptr);
    key.Reset();
    if (status == ERROR_SUCCESS) status = RegDeleteKeyExA(root, subKey.c_str(), view, 0);
    return status;
}

// The tree is emptied through a transacted handle to the key, which makes the handles that
// RegDeleteTreeA opens below it transacted too, and then the key itself deleted in the
// transaction.
LONG DeleteKeyTreeIn(HANDLE transaction, HKEY root, const std::string& subKey, REGSAM view) {
    if (!transaction) return DeleteKeyTree(root, subKey, view);
    KeyHandle key;
    LONG status = key.OpenIn(transaction, root, subKey, KEY_READ | KEY_WRITE | DELETE | view);
    if (status == ERROR_SUCCESS) status = RegDeleteTreeA(key.get(), nullptr);
    key.Reset();
    if (status == ERROR_SUCCESS) status = RegDeleteKeyTransactedA(root, subKey.c_str(), view, 0, transaction, nullptr);
    return status;
}

#else

REGSAM ViewAccess(const Arguments&) { return 0; }

// The store's SHDeleteKeyA works in the transaction of the handle it is given.
LONG DeleteKeyTreeIn(HANDLE transaction, HKEY root, const std::string& subKey, REGSAM) {
    KeyHandle top;
    const LONG status = top.OpenIn(transaction, root, "", KEY_READ | KEY_WRITE);
    return status == ERROR_SUCCESS ? static_cast<LONG>(SHDeleteKeyA(top.get(), subKey.c_str())) : status;
}

LONG DeleteKeyTree(HKEY root, const std::string& subKey, REGSAM) {
    return static_cast<LONG>(SHDeleteKeyA(root, subKey.c_str()));
}

#endif

}  // namespace zelregtool
