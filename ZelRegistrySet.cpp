#include "ZelRegistrySet.h"

#include "Imp/ZelOpenedKey.h"
#include "Imp/ZelRegistrySetI.h"
#include "frame/ZelConvert.h"
#include "frame/ZelLocalError.h"

IMPLEMENT_DYNAMIC(ZelRegistryQuonSet, ZelRegistryBase)

namespace {

constexpr const char* kSource = ".\\ZelRegistrySet";
constexpr const char* kClass = "ZelRegistryQuonSet";

// Room for a sub-key name, terminating zero included.
constexpr DWORD kKeyNameBuffer = 260;

}  // namespace

ZelRegistryQuonSet::ZelRegistryQuonSet(const ZelRegistryBase& Location, const CString& szKey)
    : ZelRegistryBase(Location), m_pSetImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet:: ZelRegistryQuonSet( const CString& szKey)"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        m_pSetImp = new ZelRegistryQuonSet_Imp(this);
        m_pSetImp->m_strKey = szKey;
    }, [this]() noexcept { DropSetImp(); });
}

ZelRegistryQuonSet::ZelRegistryQuonSet(LPCTSTR pszComponent, LPCTSTR pszVersion,
                                       ZelRegistryBase::eSubKey eKey, LPCTSTR pszSubPath,
                                       LPCTSTR pszReserved, BOOL bReadOnly, BOOL bLocalMachine)
    : ZelRegistryBase(pszComponent, pszVersion, eKey, pszSubPath, pszReserved, bReadOnly, bLocalMachine),
      m_pSetImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet :: ZelRegistryQuonSet( LPCTSTR, LPCTSTR,... )"};
    ZelCatchAtEndTellingMemory(kSite, [&] { m_pSetImp = new ZelRegistryQuonSet_Imp(this); },
                               [this]() noexcept { DropSetImp(); });
}

ZelRegistryQuonSet::ZelRegistryQuonSet(LPCTSTR pszPath, BOOL bReadOnly, BOOL bLocalMachine)
    : ZelRegistryBase(pszPath, bReadOnly, bLocalMachine), m_pSetImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet :: ZelRegistryQuonSet( PVOID&, ... )"};
    ZelCatchAtEndTellingMemory(kSite, [&] { m_pSetImp = new ZelRegistryQuonSet_Imp(this); },
                               [this]() noexcept { DropSetImp(); });
}

ZelRegistryQuonSet::ZelRegistryQuonSet() : ZelRegistryBase(), m_pSetImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet::ZelRegistryQuonSet()"};
    ZelCatchAtEndTellingMemory(kSite, [&] { m_pSetImp = new ZelRegistryQuonSet_Imp(this); },
                               [this]() noexcept { DropSetImp(); });
}

ZelRegistryQuonSet::ZelRegistryQuonSet(const ZelRegistryQuonSet& p)
    : ZelRegistryBase(), m_pSetImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet:: ZelRegistryQuonSet(const ZelRegistryQuonSet & p)"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        m_pSetImp = new ZelRegistryQuonSet_Imp(this);
        *this = p;
    }, [this]() noexcept { DropSetImp(); });
}

// Releasing the implementation object destroys the children, head to tail.
ZelRegistryQuonSet::~ZelRegistryQuonSet() { DropSetImp(); }

// Also the clean-up of a failing constructor: no destructor runs for an object whose
// constructor threw.
void ZelRegistryQuonSet::DropSetImp() noexcept {
    delete m_pSetImp;
    m_pSetImp = nullptr;
}

const ZelRegistryQuonSet& ZelRegistryQuonSet::operator=(const ZelRegistryQuonSet& p) {
    static constexpr ZelSite kSite{kSource, kClass, "const ZelRegistryQuonSet& operator= (const ZelRegistryQuonSet& p)"};
    return ZelCatchAtEnd(kSite, [&]() -> const ZelRegistryQuonSet& {
        if (&p == this) return *this;
        // The location is taken first, while p is certainly alive: p may lie below this node
        // and go with its former children. It is put back when the rest fails, so that a
        // failed assignment changes nothing.
        const ZelRegistryBase previous(*this);
        ZelRegistryBase::operator=(p);
        try {
            *m_pSetImp = *p.m_pSetImp;
        } catch (...) {
            ZelRegistryBase::operator=(previous);
            throw;
        }
        return *this;
    });
}

BOOL ZelRegistryQuonSet::operator==(const ZelRegistryQuonSet& other) const {
    static constexpr ZelSite kSite{kSource, kClass, "BOOL ZelRegistryQuonSet::operator ==(const ZelRegistryQuonSet&)"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        if (!ZelRegistryBase::operator==(other)) return FALSE;
        const ZelRegistryQuonSet_Imp& mine = *m_pSetImp;
        const ZelRegistryQuonSet_Imp& theirs = *other.m_pSetImp;
        if (mine.m_strKey != theirs.m_strKey || mine.m_strLayoutName != theirs.m_strLayoutName ||
            mine.m_strObjectID != theirs.m_strObjectID) {
            return FALSE;
        }
        if (mine.m_bUsedAsSubObject != theirs.m_bUsedAsSubObject) return FALSE;
        const CObList& listMine = mine.m_pItemList->List();
        const CObList& listTheirs = theirs.m_pItemList->List();
        if (listMine.GetCount() != listTheirs.GetCount()) return FALSE;
        POSITION posMine = listMine.GetHeadPosition();
        POSITION posTheirs = listTheirs.GetHeadPosition();
        while (posMine != nullptr) {
            // Compared as nodes, whatever their classes' own equality says.
            const ZelRegistryQuonSet& childMine = *ZelChildAt(listMine.GetNext(posMine));
            const ZelRegistryQuonSet& childTheirs = *ZelChildAt(listTheirs.GetNext(posTheirs));
            if (!(childMine == childTheirs)) return FALSE;
        }
        return TRUE;
    });
}

ZelRegistryQuonSet* ZelRegistryQuonSet::CreateChildObject(const ZelRegistryQuonSet& Parent, const CString& szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSet :: CreateChildObject( Parent,.. )"};
    // Nothing can fail once the child exists; a failing constructor's storage is released by
    // the new-expression itself.
    return ZelCatchAtEndTellingMemory(kSite, [&] { return new ZelRegistryQuonSet(Parent, szKey); });
}

ZelRegistryQuonSet* ZelRegistryQuonSet::CreateChildObject(const ZelRegistryQuonSet& CopyObj) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet * ZelRegistryQuonSet::CreateChildObject( CopyObj )"};
    return ZelCatchAtEndTellingMemory(kSite, [&] { return new ZelRegistryQuonSet(CopyObj); });
}

void ZelRegistryQuonSet::SetKey(const CString& szKey) { m_pSetImp->SetKey(szKey); }

const CString& ZelRegistryQuonSet::GetKey() const { return m_pSetImp->m_strKey; }

void ZelRegistryQuonSet::SetLayoutName(const CString& szLayoutName) {
    m_pSetImp->m_strLayoutName = szLayoutName;
}

const CString& ZelRegistryQuonSet::GetLayoutName() const { return m_pSetImp->m_strLayoutName; }

void ZelRegistryQuonSet::SetObjectID(const CString& szObjectID) { m_pSetImp->m_strObjectID = szObjectID; }

const CString& ZelRegistryQuonSet::GetObjectID() const { return m_pSetImp->m_strObjectID; }

void ZelRegistryQuonSet::SetUsedAsSubObject(BOOL bUsed) { m_pSetImp->m_bUsedAsSubObject = bUsed != FALSE; }

BOOL ZelRegistryQuonSet::IsUsedAsSubObject() const { return m_pSetImp->m_bUsedAsSubObject ? TRUE : FALSE; }

BOOL ZelRegistryQuonSet::Read(void* const pHandle, const char* const szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "Read(const PVOID   pHandle,, const CString& szKey)"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        const CString strName = ZelStorageName(*this, szKey);
        if (strName.IsEmpty()) return FALSE;
        SetKey(strName);
        ZelOpenedKey key(*this);
        key.Handle() = GetSectionKey(static_cast<HKEY>(pHandle), strName, FALSE);
        if (key.Handle() == nullptr) return FALSE;
        UINT nSubKeys = 0;
        if (QueryInfoKey(key.Handle(), &nSubKeys, nullptr) == ERROR_SUCCESS) {
            char szName[kKeyNameBuffer];
            for (UINT nIndex = 0; nIndex < nSubKeys; ++nIndex) {
                // The count was taken once; an index that no longer names a sub-key is skipped.
                if (EnumKey(key.Handle(), nIndex, szName, kKeyNameBuffer) != ERROR_SUCCESS) continue;
                ZelOwnedNode pChild = ZelTakeChild(CreateChildObject(*this, CString(szName)));
                // A child whose key does not open is added all the same, as its factory made it.
                pChild->Read(key.Handle(), nullptr);
                AddItem(pChild.get());
                pChild.release();
            }
        }
        return TRUE;
    });
}

void ZelRegistryQuonSet::Write(void* const pHandle, const char* const szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "Write(const PVOID   pHandle,)"};
    ZelCatchAtEnd(kSite, [&] {
        const CString strName = ZelStorageName(*this, szKey);
        if (strName.IsEmpty()) return;
        SetKey(strName);
        ZelOpenedKey key(*this);
        key.Handle() = pHandle != nullptr ? GetSectionKey(static_cast<HKEY>(pHandle), strName, TRUE)
                                          : GetSectionKey(strName, TRUE);
        if (key.Handle() == nullptr) return;
        for (POSITION pos = GetHeadPosition(); pos != nullptr;) GetNext(pos)->Write(key.Handle(), nullptr);
    });
}

void ZelRegistryQuonSet::Delete(void* const pHandle, const char* const szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "void ZelRegistryQuonSet::Delete(const PVOID)"};
    ZelCatchAtEnd(kSite, [&] {
        const CString strName = ZelStorageName(*this, szKey);
        if (strName.IsEmpty()) return;
        SetKey(strName);
        {
            ZelOpenedKey key(*this);
            key.Handle() = GetSectionKey(static_cast<HKEY>(pHandle), strName, FALSE);
            UINT nSubKeys = 0;
            if (key.Handle() != nullptr && QueryInfoKey(key.Handle(), &nSubKeys, nullptr) == ERROR_SUCCESS) {
                char szName[kKeyNameBuffer];
                // Each removal moves the later sub-keys down one index, so this walk takes
                // only some of them; removing the node's own key below takes the rest.
                for (UINT nIndex = 0; nIndex < nSubKeys; ++nIndex) {
                    if (EnumKey(key.Handle(), nIndex, szName, kKeyNameBuffer) != ERROR_SUCCESS) continue;
                    DeleteKey(key.Handle(), szName, TRUE);
                }
            }
        }
        DeleteKey(static_cast<HKEY>(pHandle), strName, TRUE);
    });
}

void ZelRegistryQuonSet::AddItem(const ZelRegistryQuonSet& Item) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet::AddItem(const ZelRegistryQuonSet& Item)"};
    ZelCatchAtEnd(kSite, [&] {
        // The copy is destroyed, before the failure is converted, when adding it fails.
        ZelOwnedNode pCopy = ZelTakeChild(CreateChildObject(Item));
        AddItem(pCopy.get());
        pCopy.release();
    });
}

void ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet::AddItem(ZelRegistryQuonSet* pItem)"};
    ZelCatchAtEnd(kSite, [&] {
        ZelLocalErrorScope scope;
        if (pItem == nullptr) AfxThrowInvalidArgException();
        if (pItem->GetKey().IsEmpty()) ZelRaiseLocalError(ZEL_LOCAL_EMPTY_KEY);
        if (CheckObject(pItem)) ZelRaiseLocalError(ZEL_LOCAL_DUPLICATE_KEY);
        m_pSetImp->m_pItemList->Append(pItem);
    });
}

void ZelRegistryQuonSet::Replace(const ZelRegistryQuonSet& Item) {
    static constexpr ZelSite kSite{kSource, kClass, "Replace(const ZelRegistryQuonSet* pItem)"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        ZelOwnedNode pCopy = ZelTakeChild(CreateChildObject(Item));
        Replace(pCopy.get());
        pCopy.release();
    });
}

void ZelRegistryQuonSet::Replace(ZelRegistryQuonSet* pItem) {
    static constexpr ZelSite kSite{kSource, kClass, "void ZelRegistryQuonSet::Replace(ZelRegistryQuonSet* pItem)"};
    ZelCatchAtEnd(kSite, [&] {
        ZelLocalErrorScope scope;
        if (pItem == nullptr) AfxThrowInvalidArgException();
        const CString strKey = pItem->GetKey();
        if (strKey.IsEmpty()) ZelRaiseLocalError(ZEL_LOCAL_EMPTY_KEY);
        ZelChildList& list = *m_pSetImp->m_pItemList;
        ZelRegistryQuonSet* pPresent = GetItem(strKey);
        if (pPresent == pItem) {
            // Replacing a child by itself only moves it to the tail; destroying it would
            // leave the list holding a dangling pointer.
            list.MoveToTail(pItem);
            return;
        }
        if (pPresent != nullptr) Remove(strKey);
        list.Append(pItem);
    });
}

POSITION ZelRegistryQuonSet::GetHeadPosition() const {
    static constexpr ZelSite kSite{kSource, kClass, "POSITION GetHeadPosition() const"};
    return ZelCatchAtEnd(kSite, [&] { return m_pSetImp->m_pItemList->List().GetHeadPosition(); });
}

ZelRegistryQuonSet* ZelRegistryQuonSet::GetNext(POSITION& pos) const {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet* ZelRegistryQuonSet::GetNext(POSITION&"};
    return ZelCatchAtEnd(kSite, [&] { return ZelChildAt(m_pSetImp->m_pItemList->List().GetNext(pos)); });
}

ZelRegistryQuonSet* ZelRegistryQuonSet::GetItem(const CString& szKey) const {
    static constexpr ZelSite kSite{kSource, kClass, "GetItem(CString szKey)"};
    return ZelCatchAtEnd(kSite, [&] { return m_pSetImp->m_pItemList->Find(szKey); });
}

BOOL ZelRegistryQuonSet::Remove(const CString& szKey) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet::Remove(const CString& szKey)"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        ZelChildList& list = *m_pSetImp->m_pItemList;
        ZelRegistryQuonSet* pChild = list.Find(szKey);
        if (pChild == nullptr) return FALSE;
        list.Unlink(pChild);
        delete pChild;
        return TRUE;
    });
}

BOOL ZelRegistryQuonSet::RemoveAll() {
    static constexpr ZelSite kSite{kSource, kClass, "BOOL ZelRegistryQuonSet::RemoveAll()"};
    return ZelCatchAtEnd(kSite, [&] {
        m_pSetImp->m_pItemList->DestroyAll();
        return TRUE;
    });
}

LONG ZelRegistryQuonSet::GetCount() {
    static constexpr ZelSite kSite{kSource, kClass, "LONG ZelRegistryQuonSet::GetCount()"};
    return ZelCatchAtEnd(kSite, [&] { return static_cast<LONG>(m_pSetImp->m_pItemList->GetCount()); });
}

BOOL ZelRegistryQuonSet::CheckObject(const ZelRegistryQuonSet* pObject) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelRegistryQuonSet::CheckObject(ZelRegistryQuonSet*)"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        if (pObject == nullptr) AfxThrowInvalidArgException();
        return GetItem(pObject->GetKey()) != nullptr ? TRUE : FALSE;
    });
}
