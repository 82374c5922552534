// A set collection: a property set whose children are property sets. Written and read back
// with the registry, it gives a collection of sets of items, each with its own class.
#pragma once

#include "zelpropset.h"

class ZEL_OFSET_API ZelPropertySets : public ZelPropertySet {
    DECLARE_DYNAMIC(ZelPropertySets)
public:
    ZelPropertySets();
    // A collection under Parent's location, named szKey; it is not added to Parent.
    ZelPropertySets(const ZelRegistryQuonSet& Parent, const CString& szKey);
    // An empty collection of this class first, then the node's assignment, so that the sets
    // are copied by this class's copy factory and their items by theirs.
    ZelPropertySets(const ZelPropertySets& src);
    ~ZelPropertySets() override;

    const ZelPropertySets& operator=(const ZelPropertySets& src);
    // The node's equality, down to the items compared as nodes.
    BOOL operator==(const ZelPropertySets& other) const;

    // Makes a property set for a sub-key found while reading.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) override;
    // Copies a property set (or an object of a class derived from it, a collection included)
    // as a plain property set; any other node gives null, with no error.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj) override;
};
