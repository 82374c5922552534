// A property set: a settings-tree node whose children are property items. Reading it back
// from the registry makes an item of every sub-key; copying it copies its items as items.
#pragma once

#include "ZelRegistrySet.h"

/// A property set: a settings-tree node whose children are property items.
///
/// Reading it back makes a ZelPropertyItem of every sub-key of its key (values that stand in
/// the set's key itself are not read); copying it copies its items as items. The class of a
/// child is decided by the set alone, never by what the registry holds. Everything else is
/// the node's, failures included.
class ZEL_OFSET_API ZelPropertySet : public ZelRegistryQuonSet {
    DECLARE_DYNAMIC(ZelPropertySet)
public:
    /// An empty set without key or location.
    /// @throws ZelPropertyObjectException* when the set cannot be made.
    ZelPropertySet();
    /// An empty set with the location of `Parent`, named `szKey`; it is not added to
    /// `Parent`.
    /// @throws ZelPropertyObjectException* when the set cannot be made.
    ZelPropertySet(const ZelRegistryQuonSet& Parent, const CString& szKey);
    /// An empty set of this class first, then the node's assignment, so that the children are
    /// copied by this class's copy factory.
    /// @throws ZelPropertyObjectException* when the copy cannot be made, among others when
    ///         `src` holds a child that is not a property item.
    ZelPropertySet(const ZelPropertySet& src);
    /// Destroys the set and its items; the registry is not touched.
    ~ZelPropertySet() override;

    /// The node's assignment: the items are copied as items.
    /// @return this set.
    /// @throws ZelPropertyObjectException* when it fails, among others when `src` holds a
    ///         child that is not a property item; the set is then left as it was.
    const ZelPropertySet& operator=(const ZelPropertySet& src);
    /// The node's equality: the items are compared as nodes, their values take no part.
    /// @return TRUE when keys, texts, marks and the items' keys are equal, in order.
    /// @throws ZelPropertyObjectException* when the comparison fails.
    BOOL operator==(const ZelPropertySet& other) const;

    /// The reading factory.
    /// @return a new ZelPropertyItem of type ITEMTYPE_NONE with the location of `Parent`,
    ///         named `szKey`, owned by the caller.
    /// @throws ZelPropertyObjectException* when the item cannot be made.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) override;
    /// The copy factory.
    /// @return a new ZelPropertyItem copied from `CopyObj` when it is one (or of a class
    ///         derived from it), owned by the caller; null, with no error, for any other node.
    /// @throws ZelPropertyObjectException* when the copy cannot be made.
    ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj) override;
};
