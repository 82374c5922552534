// The module as the host sees it: its entry function, its link into the framework's chain and its
// runtime class records across the shared libraries.
#include <gtest/gtest.h>

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"

namespace {

int ChainLength() {
    int n = 0;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) ++n;
    return n;
}

// The module linked itself in at load; its link carries its instance handle.
HINSTANCE OurModule() {
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL)
        if (p->m_hModule) return p->m_hModule;
    return nullptr;
}

TEST(Module, TheEntryJoinsTheFrameworkAtLoadAndRefusesWhenItCannot) {
    const int loaded = ChainLength();
    ASSERT_GE(loaded, 1) << "the module did not link itself in at load";
    const HINSTANCE module = OurModule();
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded);
    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded - 1);

    AfxTestFailExtensionInit(TRUE);  // the framework cannot take the module in: nothing is linked
    EXPECT_FALSE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    AfxTestFailExtensionInit(FALSE);
    EXPECT_EQ(ChainLength(), loaded - 1);
    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(ChainLength(), loaded);
    EXPECT_EQ(OurModule(), module);
}

TEST(Module, ClassRecordsChainAcrossTheSharedLibrariesAndTheExceptionIsCleanedUpAtTermination) {
    const struct {
        CRuntimeClass *record, *base;
        const char* name;
    } records[] = {
        {RUNTIME_CLASS(ZelRegistryBase), RUNTIME_CLASS(CObject), "ZelRegistryBase"},
        {RUNTIME_CLASS(ZelRegistryQuonSet), RUNTIME_CLASS(ZelRegistryBase), "ZelRegistryQuonSet"},
        {RUNTIME_CLASS(ZelPropertyItem), RUNTIME_CLASS(ZelRegistryQuonSet), "ZelPropertyItem"},
        {RUNTIME_CLASS(ZelPropertySet), RUNTIME_CLASS(ZelRegistryQuonSet), "ZelPropertySet"},
        {RUNTIME_CLASS(ZelPropertySets), RUNTIME_CLASS(ZelPropertySet), "ZelPropertySets"},
        {RUNTIME_CLASS(ZelPropertyObjectException), RUNTIME_CLASS(ZelEhBasis), "ZelPropertyObjectException"},
    };
    for (const auto& r : records) {
        EXPECT_STREQ(r.record->m_lpszClassName, r.name);
        EXPECT_EQ(r.record->m_pBaseClass, r.base) << r.name;
        EXPECT_TRUE(r.record->IsDerivedFrom(RUNTIME_CLASS(CObject))) << r.name;
    }
    EXPECT_EQ(ZelRegistryBase::GetThisClass(), &ZelRegistryBase::classZelRegistryBase);
    EXPECT_EQ(ZelRegistryBase().GetRuntimeClass(), RUNTIME_CLASS(ZelRegistryBase));
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(RUNTIME_CLASS(ZelPropertyObjectException)));
}

}  // namespace
