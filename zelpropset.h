// A property set: a settings-tree node whose children are property items. Reading it back
// from the registry makes an item of every sub-key; copying it copies its items as items.
#pragma once

#include "ZelRegistrySet.h"

class ZEL_OFSET_API ZelPropertySet : public ZelRegistryQuonSet {
    DECLARE_DYNAMIC(ZelPropertySet)
public:
    ZelPropertySet();
    // A set under Parent's location, named szKey; it is not added to Parent.
    ZelPropertySet(const ZelRegistryQuonSet& Parent, const CString& szKey);
    // An empty set of this class first, then the node's assignment, so that the children are
    // copied by this class's copy factory.
    ZelPropertySet(const ZelPropertySet& src);
    ~ZelPropertySet() override;

    const ZelPropertySet& operator=(const ZelPropertySet& src);
    // The node's equality: the items are compared as nodes, their values take no part.
    BOOL operator==(const ZelPropertySet& other) const;

    // Makes a property item for a sub-key found while reading.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) override;
    // Copies a property item (or an object of a class derived from it) as a property item;
    // any other node gives null, with no error.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj) override;
};
