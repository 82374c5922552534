// A set collection: a property set whose children are property sets. Written and read back
// with the registry, it gives a collection of sets of items, each with its own class.
#pragma once

#include "zelpropset.h"

/// A set collection: a property set whose children are property sets.
///
/// Written and read back, it gives a collection of ZelPropertySet children holding
/// ZelPropertyItem children, each with its own class; that is the deepest tree the factories
/// rebuild. A collection held by a collection is copied, and read back, as a plain
/// ZelPropertySet. Everything else is the node's, failures included.
class ZEL_OFSET_API ZelPropertySets : public ZelPropertySet {
    DECLARE_DYNAMIC(ZelPropertySets)
public:
    /// An empty collection without key or location.
    /// @throws ZelPropertyObjectException* when the collection cannot be made.
    ZelPropertySets();
    /// An empty collection with the location of `Parent`, named `szKey`; it is not added to
    /// `Parent`.
    /// @throws ZelPropertyObjectException* when the collection cannot be made.
    ZelPropertySets(const ZelRegistryQuonSet& Parent, const CString& szKey);
    /// An empty collection of this class first, then the node's assignment, so that the sets
    /// are copied by this class's copy factory and their items by theirs.
    /// @throws ZelPropertyObjectException* when the copy cannot be made, among others when
    ///         `src` holds a child that is not a property set.
    ZelPropertySets(const ZelPropertySets& src);
    /// Destroys the collection, its sets and their items; the registry is not touched.
    ~ZelPropertySets() override;

    /// The node's assignment: the sets are copied as sets, their items as items.
    /// @return this collection.
    /// @throws ZelPropertyObjectException* when it fails, among others when `src` holds a
    ///         child that is not a property set; the collection is then left as it was.
    const ZelPropertySets& operator=(const ZelPropertySets& src);
    /// The node's equality, down to the items compared as nodes: item values take no part.
    /// @return TRUE when keys, texts, marks and the children's keys are equal, in order.
    /// @throws ZelPropertyObjectException* when the comparison fails.
    BOOL operator==(const ZelPropertySets& other) const;

    /// The reading factory.
    /// @return a new, empty ZelPropertySet with the location of `Parent`, named `szKey`,
    ///         owned by the caller.
    /// @throws ZelPropertyObjectException* when the set cannot be made.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) override;
    /// The copy factory.
    /// @return a new ZelPropertySet copied from `CopyObj` when it is one (a collection
    ///         included, which becomes a plain set), owned by the caller; null, with no
    ///         error, for any other node.
    /// @throws ZelPropertyObjectException* when the copy cannot be made.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj) override;
};
