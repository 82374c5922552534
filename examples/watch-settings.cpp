// Hearing about changes to settings: prints each change to a location as it happens, made by
// this program or any other, until Enter is pressed.
//
//   watch-settings                 the location of the window-settings example, with its sub-keys
//   watch-settings --poll          the same, read in the program's own loop instead of a callback
//                                  (on Windows it runs until Ctrl+C)
//
// Change the settings meanwhile, e.g. with `window-settings` or
//   zelreg add "HKCU\Software\Quellmar\Components\WindowSettingsExample\Versions\1.0\Settings\Main" /v Left /t REG_DWORD /d 5 /f
#include <ZelRegistry/ZelRegistry.h>

#include <cstring>
#include <iostream>
#include <string>

#if !defined(_WIN32)
#include <poll.h>
#include <unistd.h>
#endif

namespace {

void Print(const ZelRegistryWatcher::Change& change) {
    std::cout << ZelRegistryWatcher::KindText(change.kind) << ": " << static_cast<LPCTSTR>(change.strKey);
    if (change.kind == ZelRegistryWatcher::eLost) std::cout << " (read the settings again)";
    if (change.kind == ZelRegistryWatcher::eValueSet || change.kind == ZelRegistryWatcher::eValueDeleted)
        std::cout << " [" << static_cast<LPCTSTR>(change.strValue) << "]";
    std::cout << std::endl;
}

// Waits in the program's own loop for the watcher's changes, or for Enter; false for Enter.
bool WaitForChanges(ZelWatchWaitable waitable) {
#if defined(_WIN32)
    return WaitForSingleObject(waitable, INFINITE) == WAIT_OBJECT_0;
#else
    pollfd fds[2] = {{waitable, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    return poll(fds, 2, -1) > 0 && fds[1].revents == 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const bool bOwnLoop = argc > 1 && std::strcmp(argv[1], "--poll") == 0;
    const ZelRegistryBase location("WindowSettingsExample", "1.0", ZelRegistryBase::eSettings, nullptr, nullptr, FALSE,
                                   FALSE);
    // The location's key has to be there to be watched.
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, location.GetRegistryPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                        nullptr, &hKey, nullptr) == ERROR_SUCCESS)
        RegCloseKey(hKey);
    try {
        if (!bOwnLoop) {
            ZelRegistryWatcher watcher(location, TRUE, Print);
            std::cout << "Watching " << static_cast<LPCTSTR>(watcher.GetKeyPath()) << "; Enter ends.\n";
            std::string line;
            std::getline(std::cin, line);
            return 0;
        }
        ZelRegistryWatcher watcher(location, TRUE);
        std::cout << "Watching " << static_cast<LPCTSTR>(watcher.GetKeyPath()) << " in a loop; Enter ends.\n";
        while (WaitForChanges(watcher.GetWaitable()))
            for (const ZelRegistryWatcher::Change& change : watcher.ReadChanges()) Print(change);
    } catch (ZelPropertyObjectException* e) {
        std::cerr << "Cannot watch the settings\n";
        e->Delete();
        return 1;
    }
    return 0;
}
