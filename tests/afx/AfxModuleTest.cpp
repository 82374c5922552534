// Extension module records, the chain of CDynLinkLibrary objects and the resource module.
#include <cstdint>
#include <vector>

#include "AfxTestSupport.h"

namespace {

HMODULE FakeModule(uintptr_t n) { return reinterpret_cast<HMODULE>(n * 0x10000); }

struct CCountedLibrary : CDynLinkLibrary {
    using CDynLinkLibrary::CDynLinkLibrary;
    ~CCountedLibrary() override { ++s_nDeleted; }
    static inline int s_nDeleted = 0;
};

using Libs = std::vector<CDynLinkLibrary*>;

// The chain of libraries, newest first.
Libs Chain() {
    Libs chain;
    for (CDynLinkLibrary* p = AfxGetFirstDynLinkLibrary(); p; p = p->m_pNextDLL) chain.push_back(p);
    return chain;
}

TEST(AfxModule, InitFillsTheRecordOnceLibrariesChainNewestFirstAndTermReleasesThem) {
    AFX_EXTENSION_MODULE a{}, b{};
    AfxTestFailExtensionInit(TRUE);
    EXPECT_FALSE(AfxInitExtensionModule(a, FakeModule(1)));
    AfxTestFailExtensionInit(FALSE);
    EXPECT_EQ(nullptr, a.hModule);
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { delete new CDynLinkLibrary(a); }));  // still uninitialised
    ASSERT_TRUE(AfxInitExtensionModule(a, FakeModule(1)) && AfxInitExtensionModule(b, FakeModule(2)));
    EXPECT_TRUE(AfxInitExtensionModule(a, FakeModule(2)));  // keeps the first module
    EXPECT_EQ(FakeModule(1), a.hModule);
    ASSERT_EQ(Libs{}, Chain());
    CDynLinkLibrary* pA1 = new CCountedLibrary(a);
    CDynLinkLibrary* pB1 = new CCountedLibrary(b, TRUE);
    CDynLinkLibrary* pA2 = new CCountedLibrary(a);
    EXPECT_EQ((Libs{pA2, pB1, pA1}), Chain());
    EXPECT_TRUE(pB1->m_hModule == FakeModule(2) && pB1->m_hResource == FakeModule(2) && pB1->m_bSystem);
    AfxTermExtensionModule(a);  // this module's libraries only
    EXPECT_EQ(2, CCountedLibrary::s_nDeleted);
    EXPECT_FALSE(a.bInitialized);
    EXPECT_EQ(Libs{pB1}, Chain());
    ASSERT_TRUE(AfxInitExtensionModule(a, FakeModule(1)));
    CDynLinkLibrary* pA3 = new CCountedLibrary(a);
    CDynLinkLibrary* pB2 = new CCountedLibrary(b);
    delete pB1;  // a library deleted by its owner leaves the chain itself
    EXPECT_EQ((Libs{pB2, pA3}), Chain());
    AfxTermExtensionModule(b, TRUE);  // every library, whichever module
    EXPECT_EQ(5, CCountedLibrary::s_nDeleted);
    EXPECT_EQ(Libs{}, Chain());
    AfxTermExtensionModule(a);
}

TEST(AfxModule, ChainAndResourceHandleAreOneForAllThreads) {
    AFX_EXTENSION_MODULE state{};
    ASSERT_TRUE(AfxInitExtensionModule(state, FakeModule(3)));
    AfxOnThreads(4, [&state] {
        for (int i = 0; i < 500; ++i) delete new CDynLinkLibrary(state);
    });
    EXPECT_EQ(Libs{}, Chain());
    AfxTermExtensionModule(state);
    EXPECT_EQ(nullptr, AfxGetResourceHandle());
    AfxSetResourceHandle(FakeModule(3));
    std::thread([] {
        EXPECT_EQ(FakeModule(3), AfxGetResourceHandle());
        AfxSetResourceHandle(FakeModule(4));
    }).join();
    EXPECT_EQ(FakeModule(4), AfxGetResourceHandle());
    AfxSetResourceHandle(nullptr);
}

}  // namespace
