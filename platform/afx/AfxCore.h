// Root of the framework layer: the framework's heap, runtime class records and CObject.
#pragma once

#include <cstddef>
#include <new>

#include "../ZelExport.h"
#include "../win32/ZelWinTypes.h"

#ifndef AFXAPI
#define AFXAPI
#endif

class CObject;
class CArchive;
class CDumpContext;

// The framework's heap. Every allocation of the layer goes through here, so that running out
// of memory always reaches the caller as a CMemoryException*, never as std::bad_alloc.
ZEL_AFX_API void* AFXAPI AfxAllocMemory(size_t nSize);
ZEL_AFX_API void AFXAPI AfxFreeMemory(void* p) noexcept;

// Gives a class the framework's heap as its class-level allocation operators, for objects
// that are not CObjects (implementation objects) but must fail the framework's way.
struct ZEL_AFX_API CAfxHeapObject {
    static void* operator new(size_t nSize) { return AfxAllocMemory(nSize); }
    static void* operator new(size_t, void* p) noexcept { return p; }
    static void operator delete(void* p) noexcept { AfxFreeMemory(p); }
    static void operator delete(void*, void*) noexcept {}
};

// Runtime class record: one static instance per class.
struct ZEL_AFX_API CRuntimeClass {
    LPCSTR m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;  // 0xFFFF: not serialisable
    CObject*(PASCAL* m_pfnCreateObject)();  // null: no dynamic creation
    CRuntimeClass* m_pBaseClass;            // null only for CObject

    CObject* CreateObject();
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)                  \
public:                                              \
    static const CRuntimeClass class##class_name;    \
    static CRuntimeClass* PASCAL GetThisClass();     \
    virtual CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* PASCAL CreateObject();

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                       \
    const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class class_name),     \
                                                         wSchema, pfnNew,                           \
                                                         RUNTIME_CLASS(base_class_name)};          \
    CRuntimeClass* PASCAL class_name::GetThisClass() { return RUNTIME_CLASS(class_name); }          \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                        \
    CObject* PASCAL class_name::CreateObject() { return new class_name; }       \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

class ZEL_AFX_API CObject {
public:
    static const CRuntimeClass classCObject;
    static CRuntimeClass* PASCAL GetThisClass();

    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = 0;
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    BOOL IsSerializable() const;
    BOOL IsKindOf(const CRuntimeClass* pClass) const;

    static void* PASCAL operator new(size_t nSize) { return AfxAllocMemory(nSize); }
    static void* PASCAL operator new(size_t, void* p) noexcept { return p; }
    static void PASCAL operator delete(void* p) noexcept { AfxFreeMemory(p); }
    static void PASCAL operator delete(void*, void*) noexcept {}

protected:
    CObject() = default;

private:
    CObject(const CObject&) = delete;
    void operator=(const CObject&) = delete;
};
