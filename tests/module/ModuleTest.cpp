// The module as the host sees it: its entry function, its link into the framework's chain,
// its runtime class records across the shared libraries, and its version record.
#include <gtest/gtest.h>

#include <string>

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"

namespace {

int ChainLength() {
    int n = 0;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) ++n;
    return n;
}

HINSTANCE OurModule() {
    // The module linked itself in at load; its link carries its instance handle.
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL)
        if (p->m_hModule) return p->m_hModule;
    return nullptr;
}

TEST(ModuleEntry, JoinsTheFrameworkAtLoadAndRefusesWhenItCannot) {
    const int loaded = ChainLength();
    ASSERT_GE(loaded, 1) << "the module did not link itself in at load";
    HINSTANCE module = OurModule();
    ASSERT_NE(module, nullptr);

    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded);

    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded - 1);

    // A framework that cannot take the module in makes the entry refuse, linking nothing.
    AfxTestFailExtensionInit(TRUE);
    EXPECT_FALSE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    AfxTestFailExtensionInit(FALSE);
    EXPECT_EQ(ChainLength(), loaded - 1);

    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded);
    EXPECT_EQ(OurModule(), module);
}

TEST(ModuleRecords, ClassRecordsChainAcrossTheSharedLibraries) {
    struct Expected {
        CRuntimeClass* record;
        const char* name;
        CRuntimeClass* base;
    };
    const Expected records[] = {
        {RUNTIME_CLASS(ZelRegistryBase), "ZelRegistryBase", RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(ZelRegistryQuonSet), "ZelRegistryQuonSet", RUNTIME_CLASS(ZelRegistryBase)},
        {RUNTIME_CLASS(ZelPropertyItem), "ZelPropertyItem", RUNTIME_CLASS(ZelRegistryQuonSet)},
        {RUNTIME_CLASS(ZelPropertySet), "ZelPropertySet", RUNTIME_CLASS(ZelRegistryQuonSet)},
        {RUNTIME_CLASS(ZelPropertySets), "ZelPropertySets", RUNTIME_CLASS(ZelPropertySet)},
        {RUNTIME_CLASS(ZelPropertyObjectException), "ZelPropertyObjectException", RUNTIME_CLASS(ZelEhBasis)},
    };
    for (const auto& r : records) {
        EXPECT_STREQ(r.record->m_lpszClassName, r.name);
        EXPECT_EQ(r.record->m_wSchema, 0xFFFFu) << r.name;
        EXPECT_EQ(r.record->m_pfnCreateObject, nullptr) << r.name;
        EXPECT_EQ(r.record->m_pBaseClass, r.base) << r.name;
        EXPECT_TRUE(r.record->IsDerivedFrom(RUNTIME_CLASS(CObject))) << r.name;
    }
    EXPECT_EQ(ZelRegistryBase::GetThisClass(), &ZelRegistryBase::classZelRegistryBase);

    ZelRegistryBase location;
    EXPECT_EQ(location.GetRuntimeClass(), RUNTIME_CLASS(ZelRegistryBase));
    EXPECT_TRUE(location.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(location.IsKindOf(RUNTIME_CLASS(CException)));

    // An exception made in this module is a kind of the error-handling library's and the
    // framework's classes, and is caught as theirs.
    try {
        throw new ZelPropertyObjectException(nullptr, TRUE, ".\\Test", "Test", "Run", "", 1001, 0, 0,
                                             "extra", 0, TRUE);
    } catch (CException* caught) {
        ZelCaught<CException> e(caught);
        EXPECT_EQ(e->GetRuntimeClass(), RUNTIME_CLASS(ZelPropertyObjectException));
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        EXPECT_FALSE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
        EXPECT_STREQ(static_cast<ZelPropertyObjectException*>(e.get())->GetAdditionalText(), "extra");
    }
}

TEST(ModuleRecords, ExceptionClassIsRegisteredForTerminationCleanup) {
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(RUNTIME_CLASS(ZelPropertyObjectException)));
}

TEST(ModuleVersion, VersionRecordNamesTheModule) {
    EXPECT_EQ(zelModuleVersion.wLanguage, 1031);
    EXPECT_STREQ(zelModuleVersion.pszFileDescription, "Klassen zur Verwaltung von Benutzereinstellungen");
    const WORD file[4] = {111, 1, 0, 2};
    const WORD product[4] = {3, 2, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(zelModuleVersion.fileVersion[i], file[i]);
        EXPECT_EQ(zelModuleVersion.productVersion[i], product[i]);
    }
}

}  // namespace
