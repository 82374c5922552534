// State of a settings tree node, and the list that owns its children.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "../ZelRegistrySet.h"

// A node held by whoever is about to hand it over (to a list, or back to a caller).
using ZelOwnedNode = std::unique_ptr<ZelRegistryQuonSet>;

// Takes what a child factory returned; refuses a null result with an invalid-argument failure.
ZelOwnedNode ZelTakeChild(ZelRegistryQuonSet* pChild);

// Standard containers on the framework's heap, so that running out of memory arrives as the
// framework's CMemoryException like everywhere else.
template <class T>
struct ZelAfxAllocator {
    using value_type = T;
    ZelAfxAllocator() = default;
    template <class U>
    ZelAfxAllocator(const ZelAfxAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(AfxAllocMemory(n * sizeof(T))); }
    void deallocate(T* p, size_t) noexcept { AfxFreeMemory(p); }
    template <class U>
    bool operator==(const ZelAfxAllocator<U>&) const noexcept { return true; }
    template <class U>
    bool operator!=(const ZelAfxAllocator<U>&) const noexcept { return false; }
};

class ZelRegistryQuonSet_Imp;

// The children of a node, in order, all owned: destroying the list destroys them.
//
// Besides the framework list it keeps an index from each key to the first child that bears
// it, so that finding a child, and with it the duplicate check of every add, does not walk
// the siblings: reading a wide tree would otherwise cost time in the square of its width.
// The index is only a cache of what walking the list would find. Whatever could make it
// wrong (a listed child renamed, removing a child whose key is also borne by a later one)
// sets it aside, and the next lookup rebuilds it; when there is no memory for it, lookups
// walk the list.
class ZelChildList : public CAfxHeapObject {
public:
    ZelChildList() = default;
    ZelChildList(const ZelChildList&) = delete;
    ZelChildList& operator=(const ZelChildList&) = delete;
    ~ZelChildList();

    const CObList& List() const { return m_list; }
    INT_PTR GetCount() const { return m_list.GetCount(); }

    // Appends at the tail; the list owns pChild once this returns normally.
    void Append(ZelRegistryQuonSet* pChild);
    // Moves a listed child to the tail; on failure it stays where it was.
    void MoveToTail(ZelRegistryQuonSet* pChild);
    // Unlinks a listed child without destroying it.
    void Unlink(ZelRegistryQuonSet* pChild);
    // Destroys every child, head to tail, and empties the list.
    void DestroyAll() noexcept;
    // The first child whose key equals strKey exactly, or null.
    ZelRegistryQuonSet* Find(const CString& strKey);
    // A listed child's key has changed.
    void KeyChanged() noexcept { m_bIndexValid = false; }

private:
    using Index = std::unordered_map<std::string_view, ZelRegistryQuonSet*, std::hash<std::string_view>,
                                     std::equal_to<std::string_view>,
                                     ZelAfxAllocator<std::pair<const std::string_view, ZelRegistryQuonSet*>>>;

    static ZelRegistryQuonSet_Imp& StateOf(const ZelRegistryQuonSet& node);
    ZelRegistryQuonSet* Walk(const CString& strKey) const;
    bool RebuildIndex() noexcept;

    CObList m_list;
    Index m_index;  // keys view the children's own key strings
    bool m_bIndexValid = true;
};

class ZelRegistryQuonSet_Imp : public CAfxHeapObject {
public:
    explicit ZelRegistryQuonSet_Imp(ZelRegistryQuonSet* pInt);
    ZelRegistryQuonSet_Imp(const ZelRegistryQuonSet_Imp&) = delete;
    // Copies the texts and the mark, and replaces the children by copies of src's children,
    // made by the owner's copy factory. On failure nothing has changed.
    ZelRegistryQuonSet_Imp& operator=(const ZelRegistryQuonSet_Imp& src);

    // Every change of the key goes through here, so the list that holds the node hears of it.
    void SetKey(const CString& strKey) noexcept;

    ZelRegistryQuonSet* m_pInt;  // the owner, whose copy factory copies children; never copied
    CString m_strKey;
    CString m_strLayoutName;
    std::unique_ptr<ZelChildList> m_pItemList;
    CString m_strObjectID;
    bool m_bUsedAsSubObject;

    // Where the owner is listed as a child: the list and its position there; never copied.
    ZelChildList* m_pListedIn;
    POSITION m_posListed;
};

inline ZelRegistryQuonSet* ZelChildAt(CObject* pObject) { return static_cast<ZelRegistryQuonSet*>(pObject); }

// The name under which Read, Write and Delete store a node: the explicit one, else its key.
inline CString ZelStorageName(const ZelRegistryQuonSet& node, const char* pszKey) {
    return pszKey != nullptr ? CString(pszKey) : node.GetKey();
}
