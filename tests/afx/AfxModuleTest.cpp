// Extension module records, the chain of CDynLinkLibrary objects and the resource module.
#include <cstdint>
#include <thread>
#include <vector>

#include "AfxTestSupport.h"

namespace {

HMODULE FakeModule(uintptr_t n) { return reinterpret_cast<HMODULE>(n * 0x10000); }

class CCountedLibrary : public CDynLinkLibrary {
public:
    using CDynLinkLibrary::CDynLinkLibrary;
    ~CCountedLibrary() override { ++s_nDeleted; }
    static int s_nDeleted;
};

int CCountedLibrary::s_nDeleted = 0;

TEST(AfxModule, InitFillsTheRecordOnceAndTheHookMakesItFail) {
    AFX_EXTENSION_MODULE state{};
    AfxTestFailExtensionInit(TRUE);
    EXPECT_FALSE(AfxInitExtensionModule(state, FakeModule(1)));
    AfxTestFailExtensionInit(FALSE);
    EXPECT_FALSE(state.bInitialized);
    EXPECT_EQ(nullptr, state.hModule);

    EXPECT_TRUE(AfxInitExtensionModule(state, FakeModule(1)));
    EXPECT_TRUE(state.bInitialized);
    EXPECT_EQ(FakeModule(1), state.hModule);
    EXPECT_EQ(FakeModule(1), state.hResource);
    EXPECT_TRUE(AfxInitExtensionModule(state, FakeModule(2)));
    EXPECT_EQ(FakeModule(1), state.hModule);

    AFX_EXTENSION_MODULE never{};
    EXPECT_EQ("CInvalidArgException", AfxThrown([&] { delete new CDynLinkLibrary(never); }));
    EXPECT_EQ(nullptr, AfxGetFirstDynLinkLibrary());
}

TEST(AfxModule, LibrariesChainNewestFirstAndTermReleasesThem) {
    ASSERT_EQ(nullptr, AfxGetFirstDynLinkLibrary());
    AFX_EXTENSION_MODULE a{}, b{};
    ASSERT_TRUE(AfxInitExtensionModule(a, FakeModule(1)));
    ASSERT_TRUE(AfxInitExtensionModule(b, FakeModule(2)));
    CCountedLibrary::s_nDeleted = 0;
    CDynLinkLibrary* pA1 = new CCountedLibrary(a);
    CDynLinkLibrary* pB1 = new CCountedLibrary(b, TRUE);
    CDynLinkLibrary* pA2 = new CCountedLibrary(a);
    EXPECT_EQ(pA2, AfxGetFirstDynLinkLibrary());
    EXPECT_EQ(pB1, pA2->m_pNextDLL);
    EXPECT_EQ(pA1, pB1->m_pNextDLL);
    EXPECT_EQ(nullptr, pA1->m_pNextDLL);
    EXPECT_EQ(FakeModule(2), pB1->m_hModule);
    EXPECT_EQ(FakeModule(2), pB1->m_hResource);
    EXPECT_TRUE(pB1->m_bSystem);

    AfxTermExtensionModule(a);  // this module's libraries only
    EXPECT_EQ(2, CCountedLibrary::s_nDeleted);
    EXPECT_FALSE(a.bInitialized);
    EXPECT_EQ(pB1, AfxGetFirstDynLinkLibrary());
    EXPECT_EQ(nullptr, pB1->m_pNextDLL);

    ASSERT_TRUE(AfxInitExtensionModule(a, FakeModule(1)));
    new CCountedLibrary(a);
    CDynLinkLibrary* pB2 = new CCountedLibrary(b);
    delete pB1;  // a library deleted by its owner leaves the chain itself
    EXPECT_EQ(pB2, AfxGetFirstDynLinkLibrary());
    AfxTermExtensionModule(b, TRUE);  // every library, whichever module
    EXPECT_EQ(5, CCountedLibrary::s_nDeleted);
    EXPECT_EQ(nullptr, AfxGetFirstDynLinkLibrary());
    AfxTermExtensionModule(a);
}

TEST(AfxModule, ChainSurvivesLibrariesComingAndGoingOnManyThreads) {
    AFX_EXTENSION_MODULE state{};
    ASSERT_TRUE(AfxInitExtensionModule(state, FakeModule(3)));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&state] {
            for (int i = 0; i < 500; ++i) delete new CDynLinkLibrary(state);
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(nullptr, AfxGetFirstDynLinkLibrary());
    AfxTermExtensionModule(state);
}

TEST(AfxModule, ResourceHandleIsOneForTheProcess) {
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
