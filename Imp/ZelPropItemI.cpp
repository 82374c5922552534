#include "ZelPropItemI.h"

#include "../frame/ZelConvert.h"

namespace {

constexpr const char* kSource = ".\\Imp\\ZelPropItemI";
constexpr const char* kClass = "ZelPropertyItem_Imp";

}  // namespace

ZelPropertyItem_Imp::ZelPropertyItem_Imp(ZelPropertyItem* pInt)
    : m_pInt(nullptr), m_nValue(0), m_eItemType(ITEMTYPE_NONE) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelPropertyItem_Imp :: ZelPropertyItem_Imp ( ZelRegistrySet * pInt )"};
    ZelCatchAtEnd(kSite, [&] { m_pInt = pInt; });
}

// The destructor has nothing that can fail: the string releases its buffer without error.

ZelPropertyItem_Imp& ZelPropertyItem_Imp::operator=(const ZelPropertyItem_Imp& src) {
    static constexpr ZelSite kSite{kSource, kClass, "ZelPropertyItem_Imp::operator=( const ZelPropertyItem_Imp& )"};
    return ZelCatchAtEnd(kSite, [&]() -> ZelPropertyItem_Imp& {
        if (this == &src) return *this;
        m_strValue = src.m_strValue;
        m_nValue = src.m_nValue;
        m_eItemType = src.m_eItemType;
        return *this;
    });
}

bool ZelPropertyItem_Imp::operator==(const ZelPropertyItem_Imp& other) const {
    return m_strValue == other.m_strValue && m_nValue == other.m_nValue && m_eItemType == other.m_eItemType;
}
