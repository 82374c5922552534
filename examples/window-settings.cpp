// Window settings kept in the registry from one run of an application to the next.
//
// The settings are a collection "Windows" holding one property set per window; each set holds
// the window's Left, Top, Width and Height as longs and its Title as a string:
//
//   HKEY_CURRENT_USER\Software\Quellmar\Components\WindowSettingsExample\Versions\1.0\Settings
//     Windows\Main\Left     TYPE = 2, VALUE = 100   (both REG_DWORD)
//     Windows\Main\Title    TYPE = 1, VALUE = "Ledger" (REG_SZ)
//     ...
//
// At start the program reads the collection back (every level comes back with its own class)
// and falls back to defaults for whatever is missing; at exit it writes what it holds. Each run
// moves the main window a little, so that running it twice shows the settings surviving. Any
// failure reaches the program as a ZelPropertyObjectException, which it logs.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct WindowPlacement {
    std::string name;
    LONG left;
    LONG top;
    LONG width;
    LONG height;
    std::string title;
};

const WindowPlacement kDefaults[] = {
    {"Main", 100, 80, 1024, 768, "Ledger"},
    {"Print", 200, 160, 640, 480, "Print preview"},
};

// The place of the settings: this program's own component and version, below "Settings".
ZelRegistryQuonSet SettingsLocation() {
    return ZelRegistryQuonSet("WindowSettingsExample", "1.0", ZelRegistryBase::eSettings, nullptr, nullptr,
                              FALSE, FALSE);
}

// A long item of a set, or the fallback when it is missing or holds no long.
LONG LongOr(const ZelRegistryQuonSet& set, const char* key, LONG fallback) {
    const ZelRegistryQuonSet* node = set.GetItem(key);
    if (node == nullptr || !node->IsKindOf(RUNTIME_CLASS(ZelPropertyItem))) return fallback;
    const auto& item = static_cast<const ZelPropertyItem&>(*node);
    return item.GetItemType() == ITEMTYPE_LONG ? item.GetLong() : fallback;
}

std::string StringOr(const ZelRegistryQuonSet& set, const char* key, const std::string& fallback) {
    const ZelRegistryQuonSet* node = set.GetItem(key);
    if (node == nullptr || !node->IsKindOf(RUNTIME_CLASS(ZelPropertyItem))) return fallback;
    const auto& item = static_cast<const ZelPropertyItem&>(*node);
    return item.GetItemType() == ITEMTYPE_STRING ? std::string(item.GetString()) : fallback;
}

void Print(const char* what, const std::vector<WindowPlacement>& windows) {
    std::printf("%s\n", what);
    for (const WindowPlacement& w : windows)
        std::printf("  %-6s Left=%ld Top=%ld Width=%ld Height=%ld Title=\"%s\"\n", w.name.c_str(),
                    static_cast<long>(w.left), static_cast<long>(w.top), static_cast<long>(w.width),
                    static_cast<long>(w.height), w.title.c_str());
}

// At start: the stored settings, with the defaults for windows and values not stored yet.
std::vector<WindowPlacement> LoadWindows(const ZelRegistryQuonSet& location) {
    ZelPropertySets stored(location, "Windows");
    if (!stored.Read(nullptr, nullptr)) std::printf("Nothing stored yet: this is the first run.\n");
    std::vector<WindowPlacement> windows;
    for (const WindowPlacement& d : kDefaults) {
        const ZelRegistryQuonSet* set = stored.GetItem(d.name.c_str());
        if (set == nullptr) {
            windows.push_back(d);
            continue;
        }
        windows.push_back({d.name, LongOr(*set, "Left", d.left), LongOr(*set, "Top", d.top),
                           LongOr(*set, "Width", d.width), LongOr(*set, "Height", d.height),
                           StringOr(*set, "Title", d.title)});
    }
    return windows;
}

// At exit: one set per window, written over what is stored.
void SaveWindows(const ZelRegistryQuonSet& location, const std::vector<WindowPlacement>& windows) {
    ZelPropertySets settings(location, "Windows");
    for (const WindowPlacement& w : windows) {
        ZelPropertySet window(settings, w.name.c_str());
        window.AddItem(ZelPropertyItem(window, "Left", w.left));
        window.AddItem(ZelPropertyItem(window, "Top", w.top));
        window.AddItem(ZelPropertyItem(window, "Width", w.width));
        window.AddItem(ZelPropertyItem(window, "Height", w.height));
        window.AddItem(ZelPropertyItem(window, "Title", CString(w.title.c_str())));
        settings.AddItem(window);
    }
    settings.Write(nullptr, nullptr);
}

// A failure as the error-handling library logs it: the exception, then every cause below it.
void LogFailure(ZelPropertyObjectException* e) {
    ZelEhLogFile log(std::cerr);
    e->Log(log);
    e->Delete();
}

}  // namespace

int main() {
    const ZelRegistryQuonSet location = SettingsLocation();
    std::printf("Settings: HKEY_CURRENT_USER\\%s\\Windows\n\n", static_cast<const char*>(location.GetRegistryPath()));
    try {
        std::vector<WindowPlacement> windows = LoadWindows(location);
        Print("Read at start:", windows);

        windows.front().left += 20;  // the user moved the main window

        Print("\nWritten at exit:", windows);
        SaveWindows(location, windows);
    } catch (ZelPropertyObjectException* e) {
        std::fprintf(stderr, "The window settings could not be kept:\n");
        LogFailure(e);
        return 1;
    }

    // What a mistake looks like: Width is a long, and asking it for a string is refused.
    std::printf("\nDeliberate mistake: asking the long item Width for a string. The log:\n");
    std::fflush(stdout);
    try {
        const ZelPropertyItem width(location, "Width", 1024);
        width.GetString();
    } catch (ZelPropertyObjectException* e) {
        LogFailure(e);
    }
    return 0;
}
