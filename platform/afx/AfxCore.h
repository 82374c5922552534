// Root of the framework layer: the framework's heap, runtime class records and CObject.
#pragma once

#include <cstddef>
#include <new>

#include "../ZelExport.h"
#include "../win32/ZelWinTypes.h"

#ifndef AFXAPI
/// The calling convention of the framework's functions: the platform's default.
#define AFXAPI
#endif

class CObject;
class CArchive;
class CDumpContext;

/// @file
/// The root of the framework layer: the framework's heap, runtime class records and CObject.

/// Allocates from the framework's heap. Every allocation of the layer goes through here, so
/// that running out of memory always reaches the caller as a CMemoryException*, never as
/// std::bad_alloc.
/// @return the storage, never null.
/// @throws CMemoryException* when memory runs out.
ZEL_AFX_API void* AFXAPI AfxAllocMemory(size_t nSize);
/// Releases storage from AfxAllocMemory(); null is ignored.
ZEL_AFX_API void AFXAPI AfxFreeMemory(void* p) noexcept;

/// Gives a class the framework's heap as its class-level allocation operators, for objects
/// that are not CObjects (implementation objects) but must fail the framework's way.
struct ZEL_AFX_API CAfxHeapObject {
    /// Allocates from the framework's heap; throws CMemoryException* when memory runs out.
    static void* operator new(size_t nSize) { return AfxAllocMemory(nSize); }
    /// Placement: constructs at `p`.
    static void* operator new(size_t, void* p) noexcept { return p; }
    /// Releases to the framework's heap.
    static void operator delete(void* p) noexcept { AfxFreeMemory(p); }
    /// Placement: releases nothing.
    static void operator delete(void*, void*) noexcept {}
};

/// Runtime class record: one static instance per class, `class` followed by the class name
/// (`ZelRegistryBase::classZelRegistryBase`), reached with RUNTIME_CLASS(). Records exist
/// once per process, so they are compared by address.
struct ZEL_AFX_API CRuntimeClass {
    LPCSTR m_lpszClassName;  ///< the class's name, such as "ZelPropertyItem"
    int m_nObjectSize;       ///< `sizeof` the class
    UINT m_wSchema;          ///< 0xFFFF: not serialisable
    CObject*(PASCAL* m_pfnCreateObject)();  ///< null: no dynamic creation
    CRuntimeClass* m_pBaseClass;            ///< null only for CObject

    /// Creates an object of the class.
    /// @return a new object, or null when the class has no creation function.
    CObject* CreateObject();
    /// @return TRUE when the class is `pBaseClass` or derives from it.
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

/// The runtime class record of a class, as a `CRuntimeClass*`.
#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

/// Declares a class's runtime class record and the functions that return it.
#define DECLARE_DYNAMIC(class_name)                  \
public:                                              \
    static const CRuntimeClass class##class_name;    \
    static CRuntimeClass* PASCAL GetThisClass();     \
    virtual CRuntimeClass* GetRuntimeClass() const override;

/// DECLARE_DYNAMIC() with a creation function.
#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name)       \
    static CObject* PASCAL CreateObject();

/// Defines a class's runtime class record and the functions that return it.
#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)                       \
    const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class class_name),     \
                                                         wSchema, pfnNew,                           \
                                                         RUNTIME_CLASS(base_class_name)};          \
    CRuntimeClass* PASCAL class_name::GetThisClass() { return RUNTIME_CLASS(class_name); }          \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

/// Defines the record of a class declared with DECLARE_DYNAMIC().
#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

/// Defines the record and the creation function of a class declared with DECLARE_DYNCREATE().
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                        \
    CObject* PASCAL class_name::CreateObject() { return new class_name; }       \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

/// The root of the framework's classes: a runtime class record per class, and the
/// framework's heap for every object. Objects are not copyable as CObjects.
class ZEL_AFX_API CObject {
public:
    /// The record of CObject itself, the root of every record's base chain.
    static const CRuntimeClass classCObject;
    /// @return the record of the class.
    static CRuntimeClass* PASCAL GetThisClass();

    /// @return the record of the object's own class.
    virtual CRuntimeClass* GetRuntimeClass() const;
    /// Destroys the object.
    virtual ~CObject() = 0;
    /// Does nothing: the layer has no archives.
    virtual void Serialize(CArchive& ar);
    /// Does nothing.
    virtual void AssertValid() const;
    /// Does nothing.
    virtual void Dump(CDumpContext& dc) const;

    /// @return TRUE when the record's schema is not 0xFFFF; no class of the library is
    ///         serialisable.
    BOOL IsSerializable() const;
    /// Tells the object's class apart at run time, across modules.
    /// @return TRUE when the object's class is `pClass` or derives from it.
    BOOL IsKindOf(const CRuntimeClass* pClass) const;

    /// Allocates from the framework's heap; throws CMemoryException* when memory runs out.
    static void* PASCAL operator new(size_t nSize) { return AfxAllocMemory(nSize); }
    /// Placement: constructs at `p`.
    static void* PASCAL operator new(size_t, void* p) noexcept { return p; }
    /// Releases to the framework's heap.
    static void PASCAL operator delete(void* p) noexcept { AfxFreeMemory(p); }
    /// Placement: releases nothing.
    static void PASCAL operator delete(void*, void*) noexcept {}

protected:
    /// For derived classes.
    CObject() = default;

private:
    CObject(const CObject&) = delete;
    void operator=(const CObject&) = delete;
};
