// A settings tree written whole: through a registry transaction, checked at its commit.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>

#include "PrintChain.h"

// How many sets of the collection the others see, outside any transaction.
long StoredSets(const ZelRegistryQuonSet& location) {
    ZelPropertySets stored(location, "Layouts");
    return stored.Read(nullptr, nullptr) ? static_cast<long>(stored.GetCount()) : 0;
}

int main() {
    try {
        const ZelRegistryQuonSet location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                          nullptr, FALSE, FALSE);
        ZelPropertySets layouts(location, "Layouts");
        ZelPropertySet mainWindow(layouts, "Main");
        mainWindow.AddItem(ZelPropertyItem(mainWindow, "Width", 800));
        layouts.AddItem(mainWindow);
        layouts.AddItem(ZelPropertySet(layouts, "Print"));

        ZelRegistryTransaction transaction(location);
        if (transaction.Status() != ERROR_SUCCESS) {
            // Wine, for one, has no registry transactions. Nothing has been written.
            std::printf("no transaction (status %ld): nothing written\n",
                        static_cast<long>(transaction.Status()));
            return 0;
        }
        // The same Write as ever, below the transaction's key instead of the location's.
        layouts.Write(transaction.Key(), nullptr);
        std::printf("written, not committed: others see %ld sets\n", StoredSets(location));
        LONG status = transaction.Commit();
        std::printf("commit: %ld, others see %ld sets\n", static_cast<long>(status),
                    StoredSets(location));

        // A transaction that ends without a commit leaves nothing behind.
        {
            ZelRegistryTransaction dropped(location);
            ZelPropertySets scratch(location, "Scratch");
            scratch.AddItem(ZelPropertySet(scratch, "Draft"));
            scratch.Write(dropped.Key(), nullptr);
        }
        ZelPropertySets scratch(location, "Scratch");
        std::printf("a transaction without a commit: Scratch %s\n",
                    scratch.Read(nullptr, nullptr) ? "stored" : "not stored");

        // Another writer changes a key the transaction has read before it commits: the store
        // on Linux fails the commit, and nothing of the transaction lands.
        ZelRegistryTransaction resize(location);
        ZelPropertySets current(location, "Layouts");
        current.Read(resize.Key(), nullptr);
        ZelRegistryBase someoneElse("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                    nullptr, FALSE, FALSE);
        someoneElse.WriteProfileInt("Layouts\\Main\\Width", "VALUE", 1024);
        ZelPropertySets grown(location, "Layouts");
        grown.AddItem(ZelPropertySet(grown, "Preview"));
        grown.Write(resize.Key(), nullptr);
        status = resize.Commit();
        std::printf("commit after another writer: %s, others see %ld sets\n",
                    status == ERROR_SUCCESS ? "landed" : "failed", StoredSets(location));
    } catch (CException* e) {
        PrintChain(e);
        e->Delete();
        return 1;
    }
    return 0;
}
