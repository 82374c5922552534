// What the settings tree does that is easy to miss.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>

#include "PrintChain.h"

void PrintKeys(const char* what, const ZelRegistryQuonSet& node) {
    std::printf("%s:", what);
    for (POSITION pos = node.GetHeadPosition(); pos != nullptr;)
        std::printf(" %s", node.GetNext(pos)->GetKey().GetString());
    std::printf("\n");
}

int main() {
    const ZelRegistryQuonSet location("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr,
                                      nullptr, FALSE, FALSE);

    // Write adds and overwrites, and never removes: a child removed in memory keeps its key
    // until Delete removes the node's whole key.
    ZelRegistryQuonSet recent(location, "Recent");
    recent.AddItem(ZelRegistryQuonSet(recent, "a.txt"));
    recent.AddItem(ZelRegistryQuonSet(recent, "b.txt"));
    recent.Write(nullptr, nullptr);
    recent.Remove("b.txt");
    recent.Write(nullptr, nullptr);
    ZelRegistryQuonSet stored(location, "Recent");
    stored.Read(nullptr, nullptr);
    PrintKeys("after Remove and Write", stored);
    recent.Delete(nullptr, nullptr);
    recent.Write(nullptr, nullptr);
    ZelRegistryQuonSet rewritten(location, "Recent");
    rewritten.Read(nullptr, nullptr);
    PrintKeys("after Delete and Write", rewritten);

    // Read appends to the children a node has: reading again fails on the first duplicate.
    try {
        rewritten.Read(nullptr, nullptr);
    } catch (CException* e) {
        PrintChain(e);
        e->Delete();
    }

    // Keys are compared exactly in memory, without regard to case in the registry.
    ZelRegistryQuonSet names(location, "Names");
    names.AddItem(ZelRegistryQuonSet(names, "Name"));
    names.AddItem(ZelRegistryQuonSet(names, "name"));
    names.Write(nullptr, nullptr);
    ZelRegistryQuonSet namesStored(location, "Names");
    namesStored.Read(nullptr, nullptr);
    PrintKeys("two children in memory, stored", namesStored);

    // Equality compares keys, texts and children, not locations and not item values.
    const ZelRegistryQuonSet elsewhere("Other", "1.0", ZelRegistryBase::eOptions, nullptr,
                                       nullptr, FALSE, FALSE);
    ZelPropertySet wide(location, "Page");
    wide.AddItem(ZelPropertyItem(wide, "Width", 1200));
    ZelPropertySet narrow(elsewhere, "Page");
    narrow.AddItem(ZelPropertyItem(narrow, "Width", 600));
    std::printf("sets with Width 1200 and 600 at two locations are %s\n",
                wide == narrow ? "equal" : "different");
    return 0;
}
