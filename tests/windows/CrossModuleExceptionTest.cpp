// Exceptions thrown by pointer across the DLLs: each class's code, virtual table and runtime
// class record live in the DLL that defines it (the framework layer, the error-handling
// library, the settings module), yet an exception thrown in one DLL is caught in another or in
// the program, by its own class or by a base class from a third DLL, and the kind tests
// (IsKindOf and dynamic_cast) agree across all of them.
#include <gtest/gtest.h>

#include <string>

#include <ZelRegistry/ZelRegistry.h>

#include "afx/AfxTestSupport.h"
#include "support/ZelExceptionCheck.h"

namespace {

// The file name of the module whose image holds an address.
std::string ModuleOf(const void* pAddress) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(pAddress), &hModule))
        return "?";
    char szPath[MAX_PATH];
    const std::string path(szPath, GetModuleFileNameA(hModule, szPath, MAX_PATH));
    return path.substr(path.find_last_of("\\/") + 1);
}

// The module that defines an object's dynamic class: where its virtual table is.
std::string ClassModuleOf(const void* pObject) { return ModuleOf(*static_cast<const void* const*>(pObject)); }

// Fails Create in the settings module: the framework DLL throws a CMemoryException* for the
// armed allocation, the settings module catches it and throws its own exception with that
// cause.
void FailCreate() {
    ZelRegistryBase location("\\before", FALSE, FALSE);
    AfxTestFailAllocation(1);  // the copy of the component text
    location.Create("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
}

class CrossModuleExceptions : public AfxHeapGuard {};

TEST_F(CrossModuleExceptions, ClassesLiveInTheirOwnDlls) {
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(CObject)), "ZelAfx.dll");
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(CException)), "ZelAfx.dll");
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(CMemoryException)), "ZelAfx.dll");
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(ZelEhBasis)), "MORVAKEH113.dll");
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(ZelPropertyObjectException)), "MORVAKOFSET111.dll");
    EXPECT_EQ(ModuleOf(RUNTIME_CLASS(ZelRegistryBase)), "MORVAKOFSET111.dll");
    EXPECT_EQ(ModuleOf(reinterpret_cast<const void*>(&ZelLanguagePublisher::Instance)), "MORVAKLANG101.dll");
}

TEST_F(CrossModuleExceptions, ThrownInTheSettingsDllCaughtAsCExceptionInTheProgram) {
    ZelCaught<CException> e(AfxCaught(FailCreate));
    ASSERT_NE(e, nullptr) << "nothing was thrown";

    // The settings module made it, of its own class; the kind tests go through records of three
    // DLLs, and through C++'s own.
    EXPECT_EQ(ClassModuleOf(e.get()), "MORVAKOFSET111.dll");
    EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertyObjectException));
    for (CRuntimeClass* pBase : {RUNTIME_CLASS(ZelEhBasis), RUNTIME_CLASS(CException), RUNTIME_CLASS(CObject)})
        EXPECT_TRUE(e->IsKindOf(pBase)) << pBase->m_lpszClassName;
    EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(ZelRegistryBase)));
    EXPECT_NE(dynamic_cast<ZelPropertyObjectException*>(e.get()), nullptr);
    EXPECT_EQ(dynamic_cast<CMemoryException*>(e.get()), nullptr);
    ZelEhBasis* pBasis = dynamic_cast<ZelEhBasis*>(e.get());
    ASSERT_NE(pBasis, nullptr);
    EXPECT_EQ(ZelDescribe(*pBasis), ".\\ZelRegistryBase | ZelRegistryBase | "
                                    "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... ) | "
                                    "Catch am Methodenende | 1001");

    // The cause: the framework DLL's memory exception, which the settings module caught and kept.
    CException* pCause = pBasis->GetCause();
    ASSERT_NE(pCause, nullptr);
    EXPECT_EQ(ClassModuleOf(pCause), "ZelAfx.dll");
    EXPECT_EQ(pCause->GetRuntimeClass(), RUNTIME_CLASS(CMemoryException));
    EXPECT_NE(dynamic_cast<CMemoryException*>(pCause), nullptr);
    EXPECT_EQ(dynamic_cast<ZelEhBasis*>(pCause), nullptr);
}

TEST_F(CrossModuleExceptions, CaughtByItsOwnClassAndByBaseClassesOfOtherDlls) {
    EXPECT_NE(ZelCaught<ZelPropertyObjectException>(AfxCaught<ZelPropertyObjectException>(FailCreate)), nullptr);
    // The error-handling library's class, and not the class of the cause, which is the only
    // memory exception.
    EXPECT_NE(ZelCaught<ZelEhBasis>(AfxCaught<ZelEhBasis>([] {
                  AfxCaught<CMemoryException>(FailCreate);
                  ADD_FAILURE() << "caught as the cause's class";
              })),
              nullptr);
    CObject* pObject = AfxCaught<CObject>(FailCreate);  // the framework layer's root class
    ASSERT_NE(pObject, nullptr);
    ASSERT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CException)));
    static_cast<CException*>(pObject)->Delete();
}

}  // namespace
