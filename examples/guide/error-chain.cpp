// Failures arrive as a chain: one ZelPropertyObjectException for every level that caught
// and converted it, down to what went wrong first.
#include <ZelRegistry/ZelRegistry.h>

#include <iostream>

#include "PrintChain.h"

int main() {
    // The property classes take their location from a node.
    const ZelRegistryQuonSet location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                      nullptr, FALSE, FALSE);
    ZelPropertySet page(location, "Page");
    page.AddItem(ZelPropertyItem(page, "Margin", 20));
    page.Write(nullptr, nullptr);

    try {
        page.Read(nullptr, nullptr);  // page still holds Margin: a duplicate key
    } catch (CException* e) {  // ZelPropertyObjectException*, or CMemoryException* from an accessor
        PrintChain(e);
        e->Delete();  // frees the whole chain: each exception owns its cause
    }

    // A failure as the error-handling library logs it, in its own (German) terms.
    const ZelPropertyItem title(page, "Title", CString("Page setup"));
    try {
        title.GetLong();  // a string item has no long
    } catch (ZelPropertyObjectException* e) {
        ZelEhLogFile log(std::cout);
        e->Log(log);
        e->Delete();
    }
    return 0;
}
