// Exceptions thrown by pointer across the DLLs: each class's code, virtual table and runtime
// class record live in the DLL that defines it (the framework layer, the error-handling
// library, the settings module), yet an exception thrown in one DLL is caught in another or in
// the program, by its own class or by a base class from a third DLL, and the kind tests
// (IsKindOf and dynamic_cast) agree across all of them.
#include <gtest/gtest.h>

#include <string>

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"

namespace {

// The file name of the module whose image holds an address.
std::string ModuleOf(const void* pAddress) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(pAddress), &hModule))
        return "?";
    char szPath[MAX_PATH];
    DWORD n = GetModuleFileNameA(hModule, szPath, MAX_PATH);
    std::string path(szPath, n);
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

class CrossModuleExceptions : public ::testing::Test {
protected:
    void TearDown() override { AfxTestFailAllocation(0); }
};

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
    CException* pCaught = nullptr;
    try {
        FailCreate();
    } catch (CException* e) {
        pCaught = e;
    }
    AfxTestFailAllocation(0);
    ASSERT_NE(pCaught, nullptr) << "nothing was thrown";
    ZelCaught<CException> e(pCaught);

    // The settings module made it, of its own class.
    EXPECT_EQ(ClassModuleOf(e.get()), "MORVAKOFSET111.dll");
    EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertyObjectException));

    // Kind tests through records of three DLLs, and C++'s own.
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(ZelPropertyObjectException)));
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(ZelRegistryBase)));
    EXPECT_NE(dynamic_cast<ZelPropertyObjectException*>(e.get()), nullptr);
    ZelEhBasis* pBasis = dynamic_cast<ZelEhBasis*>(e.get());
    ASSERT_NE(pBasis, nullptr);
    EXPECT_EQ(dynamic_cast<CMemoryException*>(e.get()), nullptr);

    // Its texts, read through the error-handling library's base class.
    EXPECT_EQ(ZelDescribe(*pBasis), ".\\ZelRegistryBase | ZelRegistryBase | "
                                    "PVOID ZelRegistryBase :: Create ( LPCTSTR, LPCTSTR,... ) | "
                                    "Catch am Methodenende | 1001");

    // Down the cause chain: the framework DLL's memory exception, which the settings module
    // caught and kept.
    CException* pCause = pBasis->GetCause();
    ASSERT_NE(pCause, nullptr);
    EXPECT_EQ(ClassModuleOf(pCause), "ZelAfx.dll");
    EXPECT_EQ(pCause->GetRuntimeClass(), RUNTIME_CLASS(CMemoryException));
    EXPECT_TRUE(pCause->IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(pCause->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
    EXPECT_NE(dynamic_cast<CMemoryException*>(pCause), nullptr);
    EXPECT_EQ(dynamic_cast<ZelEhBasis*>(pCause), nullptr);
}

TEST_F(CrossModuleExceptions, CaughtByItsOwnClassAndByBaseClassesOfOtherDlls) {
    int nCaught = 0;
    try {
        FailCreate();
    } catch (ZelPropertyObjectException* e) {  // the settings module's class
        ZelCaught<ZelPropertyObjectException> owned(e);
        ++nCaught;
    }
    try {
        FailCreate();
    } catch (CMemoryException* e) {  // must not match: only the cause is one
        ZelCaught<CMemoryException> owned(e);
        ADD_FAILURE() << "caught as the cause's class";
    } catch (ZelEhBasis* e) {  // the error-handling library's class
        ZelCaught<ZelEhBasis> owned(e);
        ++nCaught;
    }
    try {
        FailCreate();
    } catch (CObject* e) {  // the framework layer's root class
        ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        static_cast<CException*>(e)->Delete();
        ++nCaught;
    }
    EXPECT_EQ(nCaught, 3);
}

TEST_F(CrossModuleExceptions, ThrownInTheFrameworkDllUnwindsThroughTheErrorHandlingDll) {
    // The error-handling library's constructor refuses a null class: the framework DLL throws,
    // the exception leaves through the error-handling library's frame into the program.
    bool bCaught = false;
    try {
        ZelEhDeleteAtTerminate registration(nullptr);
    } catch (CException* e) {
        ZelCaught<CException> owned(e);
        EXPECT_EQ(ClassModuleOf(e), "ZelAfx.dll");
        EXPECT_EQ(e->GetRuntimeClass()->m_lpszClassName, std::string("CInvalidArgException"));
        EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
        bCaught = true;
    }
    EXPECT_TRUE(bCaught);
}

}  // namespace
