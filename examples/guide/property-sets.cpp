// Typed settings: a collection of property sets of items, read back with the right class at
// every level.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>

#include "PrintChain.h"

void PrintItem(const ZelPropertyItem& item) {
    switch (item.GetItemType()) {
    case ITEMTYPE_STRING:
        std::printf("  %s = \"%s\"\n", item.GetKey().GetString(), item.GetString().GetString());
        break;
    case ITEMTYPE_LONG:
        std::printf("  %s = %ld\n", item.GetKey().GetString(), static_cast<long>(item.GetLong()));
        break;
    default:
        std::printf("  %s, no value\n", item.GetKey().GetString());
    }
}

int main() {
    try {
        const ZelRegistryQuonSet location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                          nullptr, FALSE, FALSE);
        ZelPropertySets layouts(location, "Layouts");
        ZelPropertySet mainWindow(layouts, "Main");
        mainWindow.AddItem(ZelPropertyItem(mainWindow, "Width", 800));
        mainWindow.AddItem(ZelPropertyItem(mainWindow, "Title", CString("Main window")));
        layouts.AddItem(mainWindow);
        layouts.AddItem(ZelPropertySet(layouts, "Print"));
        // Layouts\Main\Width holds TYPE = 2 and VALUE = 800 (REG_DWORD), Layouts\Main\Title
        // TYPE = 1 and VALUE = "Main window" (REG_SZ); Layouts\Print is an empty key.
        layouts.Write(nullptr, nullptr);

        ZelPropertySets stored(location, "Layouts");
        stored.Read(nullptr, nullptr);
        for (POSITION pos = stored.GetHeadPosition(); pos != nullptr;) {
            const ZelRegistryQuonSet* set = stored.GetNext(pos);
            std::printf("%s, a %s\n", set->GetKey().GetString(),
                        set->GetRuntimeClass()->m_lpszClassName);
            for (POSITION itemPos = set->GetHeadPosition(); itemPos != nullptr;) {
                // A set made by reading holds only items.
                PrintItem(*static_cast<const ZelPropertyItem*>(set->GetNext(itemPos)));
            }
        }
    } catch (CException* e) {
        PrintChain(e);
        e->Delete();
        return 1;
    }
    return 0;
}
