// CObject and the runtime class records.
#include "AfxCore.h"

// The root of every chain: the only record without a base.
const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CRuntimeClass* PASCAL CObject::GetThisClass() { return RUNTIME_CLASS(CObject); }

CRuntimeClass* CObject::GetRuntimeClass() const { return RUNTIME_CLASS(CObject); }

// Pure, so that CObject itself cannot be instantiated, but every derived destructor calls it.
CObject::~CObject() {}

void CObject::Serialize(CArchive&) {}

void CObject::AssertValid() const {}

void CObject::Dump(CDumpContext&) const {}

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

// A failing creation function (out of memory) is not swallowed: its exception reaches the
// caller, so null means only that the class cannot be created dynamically.
CObject* CRuntimeClass::CreateObject() {
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

// Records exist once per process (the classes are exported whole), so identity is address
// identity.
BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass) {
        if (p == pBaseClass) return TRUE;
    }
    return FALSE;
}
