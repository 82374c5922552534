// The module as the host sees it: its entry function, its link into the framework's chain and its
// runtime class records across the shared libraries.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <ZelRegistry/ZelRegistry.h>

#include "platform/afx/AfxTestHooks.h"

namespace {

// The instance handles of the framework's chain, newest first.
std::vector<HINSTANCE> Chain() {
    std::vector<HINSTANCE> chain;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) chain.push_back(p->m_hModule);
    return chain;
}

TEST(Module, TheEntryJoinsTheFrameworkAtLoadAndRefusesWhenItCannot) {
    const std::vector<HINSTANCE> loaded = Chain();  // only the module links itself in
    ASSERT_EQ(1u, loaded.size()) << "the module did not link itself in at load";
    const HINSTANCE module = loaded.front();
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(ZelModuleEntry(module, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(Chain(), loaded);
    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_DETACH, nullptr));
    EXPECT_TRUE(Chain().empty());

    AfxTestFailExtensionInit(TRUE);  // the framework cannot take the module in: nothing is linked
    EXPECT_FALSE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    AfxTestFailExtensionInit(FALSE);
    EXPECT_TRUE(Chain().empty());
    EXPECT_TRUE(ZelModuleEntry(module, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(Chain(), loaded);
}

// Each record once in the process: the libraries' code and the program see the same one.
TEST(Module, ClassRecordsChainAcrossTheSharedLibrariesAndTheExceptionIsCleanedUpAtTermination) {
    const std::pair<CRuntimeClass*, CRuntimeClass*> records[] = {
        {RUNTIME_CLASS(ZelRegistryBase), RUNTIME_CLASS(CObject)},
        {RUNTIME_CLASS(ZelRegistryQuonSet), RUNTIME_CLASS(ZelRegistryBase)},
        {RUNTIME_CLASS(ZelPropertyItem), RUNTIME_CLASS(ZelRegistryQuonSet)},
        {RUNTIME_CLASS(ZelPropertySet), RUNTIME_CLASS(ZelRegistryQuonSet)},
        {RUNTIME_CLASS(ZelPropertySets), RUNTIME_CLASS(ZelPropertySet)},
        {RUNTIME_CLASS(ZelPropertyObjectException), RUNTIME_CLASS(ZelEhBasis)},
    };
    for (const auto& [pRecord, pBase] : records) {
        EXPECT_EQ(pRecord->m_pBaseClass, pBase) << pRecord->m_lpszClassName;
        EXPECT_TRUE(pRecord->IsDerivedFrom(RUNTIME_CLASS(CObject))) << pRecord->m_lpszClassName;
    }
    EXPECT_EQ(ZelRegistryBase().GetRuntimeClass(), RUNTIME_CLASS(ZelRegistryBase));
    EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(RUNTIME_CLASS(ZelPropertyObjectException)));
}

}  // namespace
