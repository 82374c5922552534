#include "ZelRegistrySetI.h"

#include <utility>

#include "../frame/ZelConvert.h"

namespace {

constexpr const char* kSource = ".\\Imp\\ZelRegistrySetI";
constexpr const char* kClass = "ZelRegistryQuonSet_Imp";

std::string_view KeyView(const CString& strKey) {
    return std::string_view(strKey.GetString(), static_cast<size_t>(strKey.GetLength()));
}

}  // namespace

// A child factory may answer null: a container's copy factory does so for a node of a class
// it does not hold. Every operation that would store such a result refuses as a whole
// instead of skipping that child. Skipping would give a copy that is silently unequal to its
// source, and an AddItem or Replace by reference that reports success without adding
// anything; refusing tells the caller, and the operation leaves the node as it was.
ZelOwnedNode ZelTakeChild(ZelRegistryQuonSet* pChild) {
    if (pChild == nullptr) AfxThrowInvalidArgException();
    return ZelOwnedNode(pChild);
}

ZelChildList::~ZelChildList() { DestroyAll(); }

ZelRegistryQuonSet_Imp& ZelChildList::StateOf(const ZelRegistryQuonSet& node) { return *node.m_pSetImp; }

void ZelChildList::Append(ZelRegistryQuonSet* pChild) {
    ZelRegistryQuonSet_Imp& state = StateOf(*pChild);
    state.m_posListed = m_list.AddTail(pChild);
    state.m_pListedIn = this;
    if (!m_bIndexValid) return;
    // A child already indexed under this key comes earlier in the list and stays the answer.
    // Without memory for the entry the index is set aside rather than the add refused.
    try {
        m_index.try_emplace(KeyView(state.m_strKey), pChild);
    } catch (CException* e) {
        e->Delete();
        m_bIndexValid = false;
    }
}

void ZelChildList::MoveToTail(ZelRegistryQuonSet* pChild) {
    ZelRegistryQuonSet_Imp& state = StateOf(*pChild);
    const POSITION posOld = state.m_posListed;
    state.m_posListed = m_list.AddTail(pChild);
    m_list.RemoveAt(posOld);
    // A later child with the same key now comes first.
    if (m_index.size() != static_cast<size_t>(m_list.GetCount())) m_bIndexValid = false;
}

void ZelChildList::Unlink(ZelRegistryQuonSet* pChild) {
    ZelRegistryQuonSet_Imp& state = StateOf(*pChild);
    if (m_bIndexValid) {
        const auto it = m_index.find(KeyView(state.m_strKey));
        if (it != m_index.end() && it->second == pChild) {
            // Only when no two children share a key is nobody else waiting behind this entry.
            if (m_index.size() == static_cast<size_t>(m_list.GetCount()))
                m_index.erase(it);
            else
                m_bIndexValid = false;
        }
    }
    m_list.RemoveAt(state.m_posListed);
    state.m_pListedIn = nullptr;
    state.m_posListed = nullptr;
}

void ZelChildList::DestroyAll() noexcept {
    m_index.clear();  // before the keys it views go
    m_bIndexValid = true;
    for (POSITION pos = m_list.GetHeadPosition(); pos != nullptr;) delete ZelChildAt(m_list.GetNext(pos));
    m_list.RemoveAll();
}

ZelRegistryQuonSet* ZelChildList::Find(const CString& strKey) {
    if (!m_bIndexValid && !RebuildIndex()) return Walk(strKey);
    const auto it = m_index.find(KeyView(strKey));
    return it != m_index.end() ? it->second : nullptr;
}

ZelRegistryQuonSet* ZelChildList::Walk(const CString& strKey) const {
    for (POSITION pos = m_list.GetHeadPosition(); pos != nullptr;) {
        ZelRegistryQuonSet* pChild = ZelChildAt(m_list.GetNext(pos));
        if (StateOf(*pChild).m_strKey == strKey) return pChild;
    }
    return nullptr;
}

bool ZelChildList::RebuildIndex() noexcept {
    m_index.clear();
    try {
        m_index.reserve(static_cast<size_t>(m_list.GetCount()));
        for (POSITION pos = m_list.GetHeadPosition(); pos != nullptr;) {
            ZelRegistryQuonSet* pChild = ZelChildAt(m_list.GetNext(pos));
            m_index.try_emplace(KeyView(StateOf(*pChild).m_strKey), pChild);
        }
    } catch (CException* e) {
        e->Delete();
        m_index.clear();
        return false;
    }
    m_bIndexValid = true;
    return true;
}

ZelRegistryQuonSet_Imp::ZelRegistryQuonSet_Imp(ZelRegistryQuonSet* pInt)
    : m_pInt(nullptr), m_bUsedAsSubObject(false), m_pListedIn(nullptr), m_posListed(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass,
                                   "ZelRegistryQuonSet_Imp :: ZelRegistryQuonSet_Imp ( ZelRegistrySet * pInt )"};
    ZelCatchAtEnd(kSite, [&] {
        m_pInt = pInt;
        m_pItemList.reset(new ZelChildList);
    });
}

// The destructor has nothing that can fail: the children's destructors, the list's and the
// strings' release their memory without error.

ZelRegistryQuonSet_Imp& ZelRegistryQuonSet_Imp::operator=(const ZelRegistryQuonSet_Imp& src) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet_Imp::operator=( const ZelRegistryQuonSet_Imp& )"};
    return ZelCatchAtEnd(kSite, [&]() -> ZelRegistryQuonSet_Imp& {
        if (this == &src) return *this;
        // Every copy is made before anything here changes: a copy that fails or is refused
        // leaves the node as it was, and a source that lies below this node stays alive
        // while it is copied (it goes with the former children only at the end).
        std::unique_ptr<ZelChildList> pCopies(new ZelChildList);
        for (POSITION pos = src.m_pItemList->List().GetHeadPosition(); pos != nullptr;) {
            const ZelRegistryQuonSet& child = *ZelChildAt(src.m_pItemList->List().GetNext(pos));
            ZelOwnedNode pCopy = ZelTakeChild(m_pInt->CreateChildObject(child));
            pCopies->Append(pCopy.get());
            pCopy.release();
        }
        SetKey(src.m_strKey);
        m_strLayoutName = src.m_strLayoutName;
        m_strObjectID = src.m_strObjectID;
        m_bUsedAsSubObject = src.m_bUsedAsSubObject;
        std::swap(m_pItemList, pCopies);  // the former children are destroyed with pCopies
        return *this;
    });
}

void ZelRegistryQuonSet_Imp::SetKey(const CString& strKey) noexcept {
    // Read and Write set the key they were stored under again; an unchanged key must not
    // cost the list holding this node its index.
    if (m_strKey == strKey) return;
    m_strKey = strKey;
    if (m_pListedIn != nullptr) m_pListedIn->KeyChanged();
}
