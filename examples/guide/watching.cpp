// Hearing about changes below a location: a watcher without a callback, read in the
// program's own loop.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>
#include <cstring>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#endif

#include "PrintChain.h"

// Waits until the watcher has something to read, for at most 10 seconds; false when nothing
// came in that time.
bool WaitForChanges(const ZelRegistryWatcher& watcher) {
#if defined(_WIN32)
    return WaitForSingleObject(watcher.GetWaitable(), 10000) == WAIT_OBJECT_0;
#else
    pollfd waiting = {watcher.GetWaitable(), POLLIN, 0};
    return poll(&waiting, 1, 10000) == 1;
#endif
}

// Takes changes until `count` have come, in the order they were made.
std::vector<ZelRegistryWatcher::Change> Collect(ZelRegistryWatcher& watcher, size_t count) {
    std::vector<ZelRegistryWatcher::Change> changes;
    while (changes.size() < count && WaitForChanges(watcher))
        for (ZelRegistryWatcher::Change& change : watcher.ReadChanges()) changes.push_back(change);
    return changes;
}

// Makes one change with `change`, then prints the `count` changes the watcher reports for it,
// each key below the watched one; false when they did not all come.
template <typename Make>
bool Show(ZelRegistryWatcher& watcher, const char* what, size_t count, Make change) {
    std::printf("%s:\n", what);
    change();
    const CString watched = watcher.GetKeyPath();
    const std::vector<ZelRegistryWatcher::Change> changes = Collect(watcher, count);
    for (const ZelRegistryWatcher::Change& c : changes) {
        const char* below = c.strKey.GetString() + watched.GetLength();
        std::printf("  %-13s %s", ZelRegistryWatcher::KindText(c.kind),
                    *below == '\\' ? below + 1 : "(the location)");
        if (c.kind == ZelRegistryWatcher::eValueSet || c.kind == ZelRegistryWatcher::eValueDeleted)
            std::printf(" [%s]", c.strValue.GetString());
        std::printf("\n");
    }
    if (changes.size() != count) {
        std::printf("  %u changes came, not %u\n", static_cast<unsigned>(changes.size()),
                    static_cast<unsigned>(count));
        return false;
    }
    return true;
}

int main() {
    try {
        ZelRegistryQuonSet location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr, nullptr,
                                    FALSE, FALSE);
        // The watched key has to exist: the first value creates it.
        if (!location.WriteProfileInt("Window", "Left", 120)) {
            std::printf("the settings could not be written\n");
            return 1;
        }
        // No callback: the changes wait for ReadChanges. TRUE: every key below as well. Watched
        // as the location it is: as a node it would be watched at its own key, and it has none.
        ZelRegistryWatcher watcher(static_cast<const ZelRegistryBase&>(location), TRUE);
        std::printf("watching %s\n", watcher.GetKeyPath().GetString());

        bool ok = Show(watcher, "a profile value", 1, [&] {
            location.WriteProfileInt("Window", "Left", 200);
        });
        ok = ok && Show(watcher, "a property set written", 4, [&] {
            ZelPropertySet printer(location, "Printer");
            printer.AddItem(ZelPropertyItem(printer, "Copies", 2));
            printer.Write(nullptr, nullptr);
        });
        ok = ok && Show(watcher, "a profile value deleted", 1, [&] {
            location.WriteProfileStringA("Window", "Left", nullptr);
        });
        ok = ok && Show(watcher, "a section deleted", 2, [&] {
            location.WriteProfileStringA("Printer", nullptr, nullptr);
        });
        return ok ? 0 : 1;
    } catch (CException* e) {
        PrintChain(e);
        e->Delete();
        return 1;
    }
}
