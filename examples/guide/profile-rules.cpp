// What the profile accessors do that is easy to miss.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>

int main() {
    ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                             FALSE, FALSE);
    location.WriteProfileInt("Print", "Copies", 2);

    // A write-protected location cannot read by section either: opening a section goes
    // through CreateKey, which it refuses. A key opened with OpenKey can still be read.
    ZelRegistryBase readOnly("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                             TRUE, FALSE);
    std::printf("read-only, by section: %u\n", readOnly.GetProfileIntA("Print", "Copies", 0));
    HKEY print = nullptr;
    if (readOnly.OpenKey(print, "Print", KEY_READ) == ERROR_SUCCESS) {
        std::printf("read-only, opened key: %u\n", readOnly.GetProfileIntA(print, "Copies", 0));
        readOnly.CloseKey(print);
    }

    // bLocalMachine moves only GetAppRegistryKey to HKEY_LOCAL_MACHINE: this location reads
    // and writes its sections in HKEY_CURRENT_USER like the others.
    ZelRegistryBase machine("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                            FALSE, TRUE);
    std::printf("local-machine location: %u\n", machine.GetProfileIntA("Print", "Copies", 0));

    // Reads take whatever is stored: "12" is the bytes 31 32 00, read as 0x3231.
    location.WriteProfileStringA("Print", "Margin", "12");
    std::printf("string \"12\" read as an integer: %u\n",
                location.GetProfileIntA("Print", "Margin", 0));

    // A null value deletes the entry, a null entry the whole section.
    location.WriteProfileStringA("Print", "Margin", nullptr);
    std::printf("Margin after a null value: %s\n",
                location.GetProfileStringA("Print", "Margin", "(gone)").GetString());
    location.WriteProfileStringA("Print", nullptr, nullptr);
    std::printf("Copies after a null entry: %u\n", location.GetProfileIntA("Print", "Copies", 0));
    return 0;
}
