// A typed property: the leaf of a settings tree, carrying one string or one signed 32-bit long
// together with its type. In the registry an item is one key named by its key, holding the
// values "TYPE" (REG_DWORD) and "VALUE" (REG_SZ for a string, REG_DWORD for a long).
#pragma once

#include "ZelRegistrySet.h"

// The type of an item's value. "TYPE" is stored as it is read, so an item can hold any other
// number too; such an item stores no "VALUE" and passes both type checks.
enum _ZELITEMTYPE : int32_t {
    ITEMTYPE_NONE = 0,
    ITEMTYPE_STRING = 1,
    ITEMTYPE_LONG = 2,
};

class ZelPropertyItem_Imp;

class ZEL_OFSET_API ZelPropertyItem : public ZelRegistryQuonSet {
    DECLARE_DYNAMIC(ZelPropertyItem)
public:
    ZelPropertyItem();
    // An item under Parent's location, named szKey; it is not added to Parent.
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey);
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, const CString& szValue);
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, LONG nValue);
    ZelPropertyItem(const ZelPropertyItem& CopyObj);
    ~ZelPropertyItem() override;

    // The node's assignment, then type and both value fields.
    const ZelPropertyItem& operator=(const ZelPropertyItem& src);
    // Node equality, then type and both value fields: an item that Read left holding a stale
    // value of the other type differs from a fresh one with the same type and value.
    BOOL operator==(const ZelPropertyItem& other) const;

    _ZELITEMTYPE GetItemType() const;
    // The value of the item's type; asking a long item for its string or a string item for its
    // long is an error (local error 2803). Nothing is ever converted between the two types.
    CString GetString() const;
    LONG GetLong() const;
    // Make the item a string or a long item; a change of type clears the other field.
    void SetString(const CString& szValue);
    void SetLong(LONG nValue);

    // Load and store "TYPE" and "VALUE" in the item key below pHandle (null: the location's
    // own key), named pszKey (null: the item's key, which an explicit name replaces). Read
    // returns FALSE when the key does not open; a key that cannot be created is not written.
    // Neither touches the item's children.
    BOOL Read(void* const pHandle, const char* const pszKey) override;
    void Write(void* const pHandle, const char* const pszKey) override;

private:
    void DropItemImp() noexcept;

    ZelPropertyItem_Imp* m_pItemImp;
};
