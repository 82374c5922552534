// A node of a settings tree: a registry location with a key name, a layout name, an object
// identifier, a sub-object mark and an ordered list of child nodes that it owns. The tree is
// stored in the registry as nested keys named by the nodes' keys.
#pragma once

#include "ZelRegistryBase.h"

class ZelRegistryQuonSet_Imp;

/// A node of a settings tree: a registry location with a key, a layout name, an object
/// identifier, a sub-object mark and an ordered list of children that it owns.
///
/// A tree is stored as nested keys named by the nodes' keys; only the key names are stored.
/// The layout name, the object identifier and the mark live in memory alone, and the order
/// of the children is not kept: reading gives them in the registry's order (sorted by name).
/// Keys are compared exactly, case included, in memory, while the registry folds case:
/// children whose keys differ only in case are stored as one key and read back as one child.
///
/// Every operation except the plain accessors and the destructor throws
/// ZelPropertyObjectException* on failure, conversion number 1001 (1002 for memory
/// exhaustion in the constructors, the child factories and Replace() by reference), with
/// what it caught as the cause. A node and its tree are used by one thread at a time.
class ZEL_OFSET_API ZelRegistryQuonSet : public ZelRegistryBase {
    DECLARE_DYNAMIC(ZelRegistryQuonSet)
public:
    /// A node with a copy of the location of `Location`, named `szKey`.
    /// @throws ZelPropertyObjectException* when the node cannot be made.
    ZelRegistryQuonSet(const ZelRegistryBase& Location, const CString& szKey);
    /// A node with an empty key on a composed location (see ZelRegistryBase::Create()).
    /// @throws ZelPropertyObjectException* when the node cannot be made.
    ZelRegistryQuonSet(LPCTSTR pszComponent, LPCTSTR pszVersion, ZelRegistryBase::eSubKey eKey,
                       LPCTSTR pszSubPath, LPCTSTR pszReserved, BOOL bReadOnly,
                       BOOL bLocalMachine);
    /// A node with an empty key on a free-path location.
    /// @throws ZelPropertyObjectException* when the node cannot be made.
    ZelRegistryQuonSet(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);
    /// A node with an empty key on an empty location.
    /// @throws ZelPropertyObjectException* when the node cannot be made.
    ZelRegistryQuonSet();
    /// A deep copy of `p`: a default node assigned from `p`, so its children are copies made
    /// by this node's own copy factory.
    /// @throws ZelPropertyObjectException* when the copy cannot be made.
    ZelRegistryQuonSet(const ZelRegistryQuonSet& p);
    /// Destroys the children, then the node; the registry is not touched.
    ~ZelRegistryQuonSet() override;

    /// Deep copy: location, key, texts and mark, and copies of the children made by this
    /// node's copy factory in place of its own children.
    /// @return this node.
    /// @throws ZelPropertyObjectException* when it fails; the node is then left as it was.
    const ZelRegistryQuonSet& operator=(const ZelRegistryQuonSet& p);
    /// Compares key, layout name, object identifier, mark and the children pairwise in
    /// order, as nodes. Locations take no part, nor do the values of property items.
    /// @return TRUE when all of them are equal.
    /// @throws ZelPropertyObjectException* when the comparison fails.
    BOOL operator==(const ZelRegistryQuonSet& other) const;

    /// The reading factory: Read() asks it for the child of every sub-key it finds. A
    /// container whose children must have a class of their own overrides both factories.
    /// @return a new plain node with the location of `Parent` and the key `szKey`, owned by
    ///         the caller.
    /// @throws ZelPropertyObjectException* when the child cannot be made.
    virtual ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey);
    /// The copy factory: copying a node and adding a child by reference make their copies
    /// with it. A factory that answers null makes the operation that asked fail as a whole.
    /// @return a new plain node, a deep copy of `CopyObj` whatever its class, owned by the
    ///         caller.
    /// @throws ZelPropertyObjectException* when the copy cannot be made.
    virtual ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj);

    /// Sets the key, the node's registry key name, without any check: an empty key or one a
    /// sibling has is accepted here.
    virtual void SetKey(const CString& szKey);
    /// @return the key.
    virtual const CString& GetKey() const;
    /// Sets the layout name, a text of the application kept in memory only.
    virtual void SetLayoutName(const CString& szLayoutName);
    /// @return the layout name.
    virtual const CString& GetLayoutName() const;
    /// Sets the object identifier, a text of the application kept in memory only.
    virtual void SetObjectID(const CString& szObjectID);
    /// @return the object identifier.
    virtual const CString& GetObjectID() const;
    /// Sets the sub-object mark, kept in memory only.
    virtual void SetUsedAsSubObject(BOOL bUsed);
    /// @return TRUE or FALSE, the sub-object mark.
    virtual BOOL IsUsedAsSubObject() const;

    /// Reads the node's sub-tree from the key `szKey` below `pHandle`.
    ///
    /// A null `pHandle` stands for the location, a null `szKey` for the node's key; an
    /// explicit name becomes the node's key. For every sub-key a child is made by the
    /// reading factory, reads its own sub-tree and is added with AddItem(). The children
    /// found are appended to those the node already has: reading into a node that holds a
    /// child of the same key fails with local error 2802, keeping the children added so far.
    /// Empty the node with RemoveAll() to read it again. A child whose key does not open is
    /// added all the same.
    /// @return TRUE when the key was opened; FALSE for an empty name, a missing key or a
    ///         write-protected location.
    /// @throws ZelPropertyObjectException* when a child cannot be made, read or added.
    virtual BOOL Read(void* const pHandle, const char* const szKey);
    /// Writes the node's sub-tree to the key `szKey` below `pHandle`, creating what is
    /// missing.
    ///
    /// A null `pHandle` stands for the location, a null `szKey` for the node's key; an
    /// explicit name becomes the node's key. Write adds and overwrites, never removes:
    /// stored keys and values that belong to no child stay, so a child removed in memory
    /// keeps its key until Delete() removes the node's key. The statuses of the single
    /// writes are not examined: a key that cannot be created, or a write-protected location,
    /// writes nothing, silently. Written below the key of a ZelRegistryTransaction, the
    /// write is checked and whole: its Commit() says whether all of it landed.
    /// @throws ZelPropertyObjectException* when it fails, a child's Write() included.
    virtual void Write(void* const pHandle, const char* const szKey);
    /// Removes the key `szKey` below `pHandle` (null: the location; null `szKey`: the node's
    /// key) with everything below it, also on a write-protected location. The children in
    /// memory stay.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual void Delete(void* const pHandle, const char* const szKey);

    /// Appends a copy of `Item`, made by this node's copy factory; `Item` stays the
    /// caller's.
    /// @throws ZelPropertyObjectException* with local error 2801 for an empty key, 2802 when
    ///         a child has this key, or when the factory gives no copy.
    virtual void AddItem(const ZelRegistryQuonSet& Item);
    /// Appends `pItem`, which belongs to the node once the call returns normally; after a
    /// failure it is still the caller's.
    /// @throws ZelPropertyObjectException* with local error 2801 for an empty key, 2802 when
    ///         a child has this key.
    virtual void AddItem(ZelRegistryQuonSet* pItem);
    /// Destroys the child with the key of `Item`, if any, and appends a copy of `Item` made
    /// by this node's copy factory. The copy goes to the tail, not to the old child's place.
    /// @throws ZelPropertyObjectException* with local error 2801 for an empty key, or when
    ///         the factory gives no copy.
    virtual void Replace(const ZelRegistryQuonSet& Item);
    /// Destroys the child with the key of `pItem`, if any, and appends `pItem` at the tail;
    /// `pItem` belongs to the node once the call returns normally.
    /// @throws ZelPropertyObjectException* with local error 2801 for an empty key.
    virtual void Replace(ZelRegistryQuonSet* pItem);

    /// Starts a walk over the children, which GetNext() continues.
    /// @return the position of the first child; null when there is none.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual POSITION GetHeadPosition() const;
    /// Moves `pos` on to the next child (null after the last one).
    /// @return the child at `pos`, still owned by the node.
    /// @throws ZelPropertyObjectException* for a null `pos`.
    virtual ZelRegistryQuonSet* GetNext(POSITION& pos) const;
    /// Looks among the direct children for the key, compared exactly, case included.
    /// @return the first child with this key, still owned by the node; null when there is
    ///         none.
    /// @throws ZelPropertyObjectException* when the search fails.
    virtual ZelRegistryQuonSet* GetItem(const CString& szKey) const;
    /// Destroys the first child with exactly this key.
    /// @return TRUE when there was one, FALSE when there was none.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual BOOL Remove(const CString& szKey);
    /// Destroys every child; the registry is not touched.
    /// @return TRUE.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual BOOL RemoveAll();
    /// @return the number of direct children.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual LONG GetCount();
    /// Tells whether a child has the key of `pObject`, which need not be a child itself.
    /// @return TRUE when a child has that key.
    /// @throws ZelPropertyObjectException* when it fails.
    virtual BOOL CheckObject(const ZelRegistryQuonSet* pObject);

private:
    friend class ZelChildList;  // keeps each listed child's place in its state

    void DropSetImp() noexcept;

    ZelRegistryQuonSet_Imp* m_pSetImp;
};
