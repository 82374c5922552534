// A node of a settings tree: a registry location with a key name, a layout name, an object
// identifier, a sub-object mark and an ordered list of child nodes that it owns. The tree is
// stored in the registry as nested keys named by the nodes' keys.
#pragma once

#include "ZelRegistryBase.h"

class ZelRegistryQuonSet_Imp;

class ZEL_OFSET_API ZelRegistryQuonSet : public ZelRegistryBase {
    DECLARE_DYNAMIC(ZelRegistryQuonSet)
public:
    // A node under a copy of the given location, named szKey.
    ZelRegistryQuonSet(const ZelRegistryBase& Location, const CString& szKey);
    ZelRegistryQuonSet(LPCTSTR pszComponent, LPCTSTR pszVersion, ZelRegistryBase::eSubKey eKey,
                       LPCTSTR pszSubPath, LPCTSTR pszReserved, BOOL bReadOnly,
                       BOOL bLocalMachine);
    ZelRegistryQuonSet(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine);
    ZelRegistryQuonSet();
    // A default node assigned from p: the children are copies made by this node's own copy
    // factory.
    ZelRegistryQuonSet(const ZelRegistryQuonSet& p);
    ~ZelRegistryQuonSet() override;

    // Deep copy. On failure the node is left as it was.
    const ZelRegistryQuonSet& operator=(const ZelRegistryQuonSet& p);
    // Location intact on both sides, equal key, layout name, object identifier and mark, and
    // pairwise equal children in the same order (compared as nodes).
    BOOL operator==(const ZelRegistryQuonSet& other) const;

    // The child factories. What they return belongs to the caller. The reading factory makes
    // the child for a sub-key found while reading; the copy factory makes the copy of a child
    // while a node is copied or a child is added by reference. A container whose children
    // must have a class of their own overrides both.
    virtual ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey);
    virtual ZelRegistryQuonSet* CreateChildObject(const ZelRegistryQuonSet& CopyObj);

    virtual void SetKey(const CString& szKey);
    virtual const CString& GetKey() const;
    virtual void SetLayoutName(const CString& szLayoutName);
    virtual const CString& GetLayoutName() const;
    virtual void SetObjectID(const CString& szObjectID);
    virtual const CString& GetObjectID() const;
    virtual void SetUsedAsSubObject(BOOL bUsed);
    virtual BOOL IsUsedAsSubObject() const;

    // Persistence below the parent key pHandle (null: this node's location), under the name
    // szKey (null: the node's key, which an explicit name replaces). Read appends the children
    // it finds; it returns FALSE when the key does not open. Write adds and overwrites, never
    // removes. Delete removes the key with its sub-tree and leaves the children in memory.
    virtual BOOL Read(void* const pHandle, const char* const szKey);
    virtual void Write(void* const pHandle, const char* const szKey);
    virtual void Delete(void* const pHandle, const char* const szKey);

    // Adding: the key must not be empty nor already be a child's. An item given by pointer
    // belongs to the node once the call returns normally; after a failure it is still the
    // caller's. An item given by reference is copied through the copy factory.
    virtual void AddItem(const ZelRegistryQuonSet& Item);
    virtual void AddItem(ZelRegistryQuonSet* pItem);
    // Destroys the child with the item's key, if any, and appends the item at the tail.
    virtual void Replace(const ZelRegistryQuonSet& Item);
    virtual void Replace(ZelRegistryQuonSet* pItem);

    // Walking the children: GetNext returns the child at pos and moves pos on (null after the
    // last child); a null pos is a failure.
    virtual POSITION GetHeadPosition() const;
    virtual ZelRegistryQuonSet* GetNext(POSITION& pos) const;
    // The first direct child with exactly this key (case-sensitive), still owned by the node;
    // null when there is none.
    virtual ZelRegistryQuonSet* GetItem(const CString& szKey) const;
    // Destroys the first child with exactly this key; FALSE when there is none.
    virtual BOOL Remove(const CString& szKey);
    virtual BOOL RemoveAll();
    virtual LONG GetCount();
    // TRUE when a child has the key of pObject; pObject itself need not be a child.
    virtual BOOL CheckObject(const ZelRegistryQuonSet* pObject);

private:
    friend class ZelChildList;  // keeps each listed child's place in its state

    void DropSetImp() noexcept;

    ZelRegistryQuonSet_Imp* m_pSetImp;
};
