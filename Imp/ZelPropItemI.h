// State of a property item.
#pragma once

#include "../zelpropitem.h"

class ZelPropertyItem_Imp : public CAfxHeapObject {
public:
    explicit ZelPropertyItem_Imp(ZelPropertyItem* pInt);
    ZelPropertyItem_Imp(const ZelPropertyItem_Imp&) = delete;
    // Copies the value fields and the type, never the owner.
    ZelPropertyItem_Imp& operator=(const ZelPropertyItem_Imp& src);
    // Both value fields and the type are equal; the string exactly, case-sensitively.
    bool operator==(const ZelPropertyItem_Imp& other) const;

    ZelPropertyItem* m_pInt;  // the owner; never copied, never compared
    CString m_strValue;
    LONG m_nValue;
    _ZELITEMTYPE m_eItemType;
};
