#include "zelpropitem.h"

#include "Imp/ZelOpenedKey.h"
#include "Imp/ZelPropItemI.h"
#include "Imp/ZelRegistrySetI.h"
#include "frame/ZelConvert.h"
#include "frame/ZelLocalError.h"

IMPLEMENT_DYNAMIC(ZelPropertyItem, ZelRegistryQuonSet)

namespace {

constexpr const char* kSource = ".\\zelpropitem";
constexpr const char* kClass = "ZelPropertyItem";

// The item's two registry values.
constexpr const char* kTypeValue = "TYPE";
constexpr const char* kValueValue = "VALUE";

// Asking an item for the value of the type it does not hold. The error is raised while the
// language-dependent resource module is current, and the scope ends as the error leaves.
[[noreturn]] void RaiseWrongType() {
    ZelLocalErrorScope scope;
    ZelRaiseLocalError(ZEL_LOCAL_WRONG_TYPE);
}

}  // namespace

ZelPropertyItem::ZelPropertyItem() : ZelRegistryQuonSet(), m_pItemImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelPropertyItem :: ZelPropertyItem()"};
    ZelCatchAtEndTellingMemory(kSite, [&] { m_pItemImp = new ZelPropertyItem_Imp(this); },
                               [this]() noexcept { DropItemImp(); });
}

ZelPropertyItem::ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey)
    : ZelRegistryQuonSet(Parent, szKey), m_pItemImp(nullptr) {
    static constexpr ZelSite kSite{
        kSource, kClass, "ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, const CString & szKey )"};
    ZelCatchAtEndTellingMemory(kSite, [&] { m_pItemImp = new ZelPropertyItem_Imp(this); },
                               [this]() noexcept { DropItemImp(); });
}

ZelPropertyItem::ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, const CString& szValue)
    : ZelRegistryQuonSet(Parent, szKey), m_pItemImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass,
                                   "ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, "
                                   "const CString & szKey, const CString & szValue )"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        m_pItemImp = new ZelPropertyItem_Imp(this);
        m_pItemImp->m_strValue = szValue;
        m_pItemImp->m_eItemType = ITEMTYPE_STRING;
    }, [this]() noexcept { DropItemImp(); });
}

ZelPropertyItem::ZelPropertyItem(const ZelRegistryQuonSet& Parent, const CString& szKey, LONG nValue)
    : ZelRegistryQuonSet(Parent, szKey), m_pItemImp(nullptr) {
    static constexpr ZelSite kSite{
        kSource, kClass,
        "ZelPropertyItem  :: ZelPropertyItem ( const ZelRegistryQuonSet & Parent, const CString & szKey,LONG nValue )"};
    ZelCatchAtEndTellingMemory(kSite, [&] {
        m_pItemImp = new ZelPropertyItem_Imp(this);
        m_pItemImp->m_nValue = nValue;
        m_pItemImp->m_eItemType = ITEMTYPE_LONG;
    }, [this]() noexcept { DropItemImp(); });
}

// A default node first, then the assignment, which copies the node's children too.
ZelPropertyItem::ZelPropertyItem(const ZelPropertyItem& CopyObj) : ZelRegistryQuonSet(), m_pItemImp(nullptr) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelPropertyItem :: ZelPropertyItem ( const ZelPropertyItem & CopyObj)"};
    ZelCatchAtEnd(kSite, [&] {
        m_pItemImp = new ZelPropertyItem_Imp(this);
        *this = CopyObj;
    }, [this]() noexcept { DropItemImp(); });
}

ZelPropertyItem::~ZelPropertyItem() { DropItemImp(); }

// Also the clean-up of a failing constructor: no destructor runs for an object whose
// constructor threw.
void ZelPropertyItem::DropItemImp() noexcept {
    delete m_pItemImp;
    m_pItemImp = nullptr;
}

const ZelPropertyItem& ZelPropertyItem::operator=(const ZelPropertyItem& src) {
    static constexpr ZelSite kSite{kSource, kClass, "const ZelPropertyItem & ZelPropertyItem :: operator = ( const ZelPropertyItem &)"};
    return ZelCatchAtEnd(kSite, [&]() -> const ZelPropertyItem& {
        if (&src == this) return *this;
        // The value is taken before the node is assigned: src may be a child of this item
        // and go with its former children.
        ZelPropertyItem_Imp value(this);
        value = *src.m_pItemImp;
        ZelRegistryQuonSet::operator=(src);
        *m_pItemImp = value;
        return *this;
    });
}

BOOL ZelPropertyItem::operator==(const ZelPropertyItem& other) const {
    static constexpr ZelSite kSite{kSource, kClass, "BOOL ZelPropertyItem::operator ==(const ZelPropertyItem&)"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        if (!ZelRegistryQuonSet::operator==(other)) return FALSE;
        return *m_pItemImp == *other.m_pItemImp ? TRUE : FALSE;
    });
}

_ZELITEMTYPE ZelPropertyItem::GetItemType() const { return m_pItemImp->m_eItemType; }

CString ZelPropertyItem::GetString() const {
    static constexpr ZelSite kSite{kSource, kClass, "CString ZelPropertyItem :: GetString()"};
    return ZelCatchAtEnd(kSite, [&]() -> CString {
        if (m_pItemImp->m_eItemType == ITEMTYPE_LONG) RaiseWrongType();
        return m_pItemImp->m_strValue;
    });
}

LONG ZelPropertyItem::GetLong() const {
    static constexpr ZelSite kSite{kSource, kClass, "LONG ZelPropertyItem::GetLong()"};
    return ZelCatchAtEnd(kSite, [&]() -> LONG {
        if (m_pItemImp->m_eItemType == ITEMTYPE_STRING) RaiseWrongType();
        return m_pItemImp->m_nValue;
    });
}

void ZelPropertyItem::SetString(const CString& szValue) {
    ZelPropertyItem_Imp& state = *m_pItemImp;
    if (state.m_eItemType != ITEMTYPE_STRING) {
        state.m_eItemType = ITEMTYPE_STRING;
        state.m_nValue = 0;
    }
    state.m_strValue = szValue;
}

void ZelPropertyItem::SetLong(LONG nValue) {
    ZelPropertyItem_Imp& state = *m_pItemImp;
    if (state.m_eItemType != ITEMTYPE_LONG) {
        state.m_eItemType = ITEMTYPE_LONG;
        state.m_strValue.Empty();
    }
    state.m_nValue = nValue;
}

BOOL ZelPropertyItem::Read(void* const pHandle, const char* const pszKey) {
    static constexpr ZelSite kSite{kSource, kClass, "BOOL ZelPropertyItem :: Read ( const PVOID pHandle, const LPCTSTR pszKey )"};
    return ZelCatchAtEnd(kSite, [&]() -> BOOL {
        const CString strName = ZelStorageName(*this, pszKey);
        if (strName.IsEmpty()) return FALSE;
        SetKey(strName);
        ZelOpenedKey key(*this, GetSectionKey(static_cast<HKEY>(pHandle), strName, FALSE));
        if (!key) return FALSE;
        const HKEY hKey = key.Get();
        ZelPropertyItem_Imp& state = *m_pItemImp;
        // Whatever number "TYPE" holds is kept, so that writing the item back preserves it.
        // Only the field of that type is loaded; the other keeps what it held.
        state.m_eItemType = static_cast<_ZELITEMTYPE>(static_cast<int32_t>(GetProfileIntA(hKey, kTypeValue, 0)));
        if (state.m_eItemType == ITEMTYPE_STRING)
            state.m_strValue = GetProfileStringA(hKey, kValueValue, nullptr);
        else if (state.m_eItemType == ITEMTYPE_LONG)
            state.m_nValue = static_cast<LONG>(GetProfileIntA(hKey, kValueValue, 0));
        return TRUE;
    });
}

void ZelPropertyItem::Write(void* const pHandle, const char* const pszKey) {
    static constexpr ZelSite kSite{kSource, kClass, "VOID ZelPropertyItem :: Write ( const PVOID pHandle, const LPCTSTR pszKey )"};
    ZelCatchAtEnd(kSite, [&] {
        const CString strName = ZelStorageName(*this, pszKey);
        if (strName.IsEmpty()) return;
        SetKey(strName);
        ZelOpenedKey key(*this, GetSectionKey(static_cast<HKEY>(pHandle), strName, TRUE));
        if (!key) return;
        const HKEY hKey = key.Get();
        // The results of the single writes are not looked at: the item writes what it can.
        // A "VALUE" already there stays when the item has no value of its own to write.
        const ZelPropertyItem_Imp& state = *m_pItemImp;
        WriteProfileInt(hKey, kTypeValue, state.m_eItemType);
        if (state.m_eItemType == ITEMTYPE_STRING)
            WriteProfileStringA(hKey, kValueValue, state.m_strValue);
        else if (state.m_eItemType == ITEMTYPE_LONG)
            WriteProfileInt(hKey, kValueValue, state.m_nValue);
    });
}
