// A location and its first profile values.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>

int main() {
    // Software\Quellmar\Components\Ledger\Versions\2.0\Options, below HKEY_CURRENT_USER.
    ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                             FALSE /* bReadOnly */, FALSE /* bLocalMachine */);
    std::printf("HKEY_CURRENT_USER\\%s\n", location.GetRegistryPath().GetString());

    // Section "Window" is a key below the location, created on the first write; each entry
    // is a value in it.
    BYTE placement[4] = {1, 0, 2, 0};
    if (!location.WriteProfileInt("Window", "Left", 120) ||
        !location.WriteProfileStringA("Window", "Title", "Ledger 2.0") ||
        !location.WriteProfileBinary("Window", "Placement", placement, sizeof placement)) {
        std::printf("the settings could not be written\n");
        return 1;
    }

    UINT left = location.GetProfileIntA("Window", "Left", 0);
    UINT top = location.GetProfileIntA("Window", "Top", 80);  // not stored: the default
    CString title = location.GetProfileStringA("Window", "Title", "untitled");
    std::printf("Left=%u Top=%u Title=%s\n", left, top, title.GetString());

    BYTE* data = nullptr;
    UINT size = 0;
    if (location.GetProfileBinary("Window", "Placement", &data, &size)) {
        std::printf("Placement: %u bytes, the first %u\n", size, data[0]);
        delete[] data;  // the block is the caller's
    }
    return 0;
}
