// A typed property: the leaf of a settings tree, carrying one string or one signed 32-bit long
// together with its type. In the registry an item is one key named by its key, holding the
// values "TYPE" (REG_DWORD) and "VALUE" (REG_SZ for a string, REG_DWORD for a long).
#pragma once

#include "ZelRegistrySet.h"

/// The type of a property item's value. "TYPE" is stored as it is read, so an item can hold
/// any other number too; such an item stores no "VALUE" and passes both type checks.
enum _ZELITEMTYPE : int32_t {
    ITEMTYPE_NONE = 0,    ///< no value set; "VALUE" is neither written nor read
    ITEMTYPE_STRING = 1,  ///< a string, stored as "VALUE" of type REG_SZ
    ITEMTYPE_LONG = 2,    ///< a signed 32-bit long, stored as "VALUE" of type REG_DWORD
};

class ZelPropertyItem_Imp;

/// A typed property: the leaf of a settings tree, carrying one string or one signed 32-bit
/// long together with its type.
///
/// In the registry an item is one key named by its key, holding the values "TYPE"
/// (REG_DWORD) and "VALUE" (REG_SZ for a string, REG_DWORD for a long). Nothing is ever
/// converted between the two types. Children added to an item are neither written nor read.
/// Failures throw ZelPropertyObjectException*, as the node's do.
class ZEL_OFSET_API ZelPropertyItem : public ZelRegistryQuonSet {
    DECLARE_DYNAMIC(ZelPropertyItem)
public:
    /// An item without key, location or value (ITEMTYPE_NONE).
    /// @throws ZelPropertyObjectException* when the item cannot be made (1002 for memory).
    ZelPropertyItem();
    /// An item of type ITEMTYPE_NONE with the location of `Parent`, named `szKey`; it is not
    /// added to `Parent`.
    /// @throws ZelPropertyObjectException* when the item cannot be made (1002 for memory).
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey);
    /// A string item with the location of `Parent`, named `szKey`; it is not added to
    /// `Parent`.
    /// @throws ZelPropertyObjectException* when the item cannot be made (1002 for memory).
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, const CString& szValue);
    /// A long item with the location of `Parent`, named `szKey`; it is not added to
    /// `Parent`.
    /// @throws ZelPropertyObjectException* when the item cannot be made (1002 for memory).
    ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, LONG nValue);
    /// A copy of `CopyObj`: node, children, type and both value fields.
    /// @throws ZelPropertyObjectException* when the copy cannot be made.
    ZelPropertyItem(const ZelPropertyItem& CopyObj);
    /// Destroys the item and its children; the registry is not touched.
    ~ZelPropertyItem() override;

    /// The node's assignment, then type and both value fields.
    /// @return this item.
    /// @throws ZelPropertyObjectException* when it fails.
    const ZelPropertyItem& operator=(const ZelPropertyItem& src);
    /// Node equality, then type and both value fields: an item that Read() left holding a
    /// stale value of the other type differs from a fresh one with the same type and value.
    /// @return TRUE when all of them are equal.
    /// @throws ZelPropertyObjectException* when the comparison fails.
    BOOL operator==(const ZelPropertyItem& other) const;

    /// @return the type: one of the enumerators, or whatever other number Read() found in
    ///         "TYPE".
    _ZELITEMTYPE GetItemType() const;
    /// @return the string value; empty for a new item of type ITEMTYPE_NONE.
    /// @throws ZelPropertyObjectException* with local error 2803 as the cause for a long
    ///         item; the item is unchanged.
    CString GetString() const;
    /// @return the long value; 0 for a new item of type ITEMTYPE_NONE.
    /// @throws ZelPropertyObjectException* with local error 2803 as the cause for a string
    ///         item; the item is unchanged.
    LONG GetLong() const;
    /// Makes this a string item holding `szValue`; a change of type clears the long field.
    void SetString(const CString& szValue);
    /// Makes this a long item holding `nValue`; a change of type clears the string field.
    void SetLong(LONG nValue);

    /// Loads "TYPE" and the "VALUE" of that type from the item key `pszKey` below
    /// `pHandle` (null: the location; null `pszKey`: the item's key, which an explicit name
    /// replaces). Neither value's registry type is checked. A missing "TYPE" reads as
    /// ITEMTYPE_NONE, and any other number is kept as it is. The field of the other type
    /// keeps what it held. Sub-keys of the item key are not read.
    /// @return TRUE when the key was opened; FALSE, the values unchanged, for an empty name,
    ///         a missing key or a write-protected location.
    /// @throws ZelPropertyObjectException* when it fails.
    BOOL Read(void* const pHandle, const char* const pszKey) override;
    /// Stores "TYPE" and, for a string or long item, "VALUE" in the item key `pszKey` below
    /// `pHandle` (null: the location; null `pszKey`: the item's key, which an explicit name
    /// replaces), creating it when missing. A "VALUE" already there stays when the item has
    /// none to write. The statuses of the single writes are not examined: a key that cannot
    /// be created, or a write-protected location, writes nothing, silently; below the key of
    /// a ZelRegistryTransaction its Commit() tells.
    /// @throws ZelPropertyObjectException* when it fails.
    void Write(void* const pHandle, const char* const pszKey) override;

private:
    void DropItemImp() noexcept;

    ZelPropertyItem_Imp* m_pItemImp;
};
