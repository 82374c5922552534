// Runtime class records, the framework's heap with its failure hook, and its exceptions.
#include <cstring>
#include <memory>
#include <string>

#include "AfxTestSupport.h"

// Outside the anonymous namespace: the record macros define members that nothing here calls.
class CAnimal : public CObject {
    DECLARE_DYNAMIC(CAnimal)
};

// Counts its live instances, to show that a failed allocation constructs nothing.
class CDog : public CAnimal {
    DECLARE_DYNCREATE(CDog)
public:
    CDog() { ++s_nLive; }
    ~CDog() override { --s_nLive; }
    static inline int s_nLive = 0;
};

// Has no text of its own and counts its destructions.
class CTestException : public CException {
    DECLARE_DYNAMIC(CTestException)
public:
    using CException::CException;
    ~CTestException() override { ++s_nDestroyed; }
    static inline int s_nDestroyed = 0;
};

IMPLEMENT_DYNAMIC(CAnimal, CObject)
IMPLEMENT_DYNCREATE(CDog, CAnimal)
IMPLEMENT_DYNAMIC(CTestException, CException)

// Not a CObject, yet allocated on the framework's heap.
struct CImpl : CAfxHeapObject {
    CImpl() { ++s_nMade; }
    static inline int s_nMade = 0;
};

namespace {

class AfxHeap : public AfxHeapGuard {};

TEST(AfxRuntimeClass, RecordsChainToCObjectAndOnlyDynCreateClassesAreCreated) {
    CRuntimeClass* pDog = RUNTIME_CLASS(CDog);
    EXPECT_STREQ("CDog", pDog->m_lpszClassName);
    EXPECT_EQ(RUNTIME_CLASS(CAnimal), pDog->m_pBaseClass);
    EXPECT_EQ(RUNTIME_CLASS(CObject), RUNTIME_CLASS(CAnimal)->m_pBaseClass);
    EXPECT_EQ(nullptr, CObject::classCObject.m_pBaseClass);
    EXPECT_TRUE(pDog->IsDerivedFrom(pDog) && pDog->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(CAnimal)->IsDerivedFrom(pDog) || pDog->IsDerivedFrom(nullptr));
    // The layer's own records, as clients in other modules see them.
    EXPECT_TRUE(RUNTIME_CLASS(CMemoryException)->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(RUNTIME_CLASS(CInvalidArgException)->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(CObList().IsKindOf(RUNTIME_CLASS(CObject)));
    CAnimal animal;
    EXPECT_EQ(RUNTIME_CLASS(CAnimal), animal.GetRuntimeClass());
    EXPECT_FALSE(animal.IsKindOf(pDog) || animal.IsSerializable());
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CAnimal)->CreateObject());
    std::unique_ptr<CObject> pMade(pDog->CreateObject());
    ASSERT_NE(nullptr, pMade);
    EXPECT_EQ(pDog, pMade->GetRuntimeClass());
    EXPECT_EQ(1, CDog::s_nLive);
}

TEST_F(AfxHeap, TheNthNextAllocationFailsAndClassLevelNewFailsBeforeAnyConstructorRuns) {
    AfxTestFailAllocation(3);
    void* p1 = AfxAllocMemory(8);
    void* p2 = AfxAllocMemory(0);
    EXPECT_EQ("CMemoryException", AfxThrown([] { AfxAllocMemory(8); }));
    void* p3 = AfxAllocMemory(8);
    for (void* p : {p1, p2, p3}) {
        EXPECT_NE(nullptr, p);
        AfxFreeMemory(p);
    }
    EXPECT_TRUE(AfxFailsWithoutMemory([] { delete new CDog; }));
    EXPECT_TRUE(AfxFailsWithoutMemory([] { delete RUNTIME_CLASS(CDog)->CreateObject(); }));
    EXPECT_TRUE(AfxFailsWithoutMemory([] { delete new CImpl; }));
    EXPECT_EQ(0, CDog::s_nLive);
    EXPECT_EQ(0, CImpl::s_nMade);
    delete new CImpl;
    EXPECT_EQ(1, CImpl::s_nMade);
}

TEST(AfxException, DeleteReleasesOnlyAutoDeletingOnesAndMemoryExceptionIsOneStaticInstance) {
    EXPECT_TRUE(CTestException().m_bAutoDelete);
    CTestException::s_nDestroyed = 0;
    auto* pException = new CTestException(FALSE);
    pException->Delete();
    EXPECT_EQ(0, CTestException::s_nDestroyed);
    pException->m_bAutoDelete = TRUE;
    pException->Delete();
    EXPECT_EQ(1, CTestException::s_nDestroyed);
    CMemoryException* pMemory[2] = {};
    CInvalidArgException* pInvalid[2] = {};
    for (int i = 0; i < 2; ++i) {
        pMemory[i] = AfxCaught<CMemoryException>([] { AfxThrowMemoryException(); });
        pInvalid[i] = AfxCaught<CInvalidArgException>([] { AfxThrowInvalidArgException(); });
        if (pMemory[i]) pMemory[i]->Delete();
    }
    ASSERT_TRUE(pMemory[0] && pInvalid[0] && pInvalid[1]);
    EXPECT_EQ(pMemory[0], pMemory[1]);
    EXPECT_FALSE(pMemory[0]->m_bAutoDelete);
    char szText[64];
    EXPECT_TRUE(pMemory[0]->GetErrorMessage(szText, sizeof szText));  // still alive after Delete()
    EXPECT_NE(pInvalid[0], pInvalid[1]);  // a fresh one per throw, released by its catcher
    EXPECT_TRUE(pInvalid[0]->m_bAutoDelete);
    for (CInvalidArgException* p : pInvalid) p->Delete();
}

TEST(AfxException, MessagesAreTruncatedAndReportedOnStandardError) {
    CTestException plain(FALSE);
    char szText[8] = "xxxxxxx";
    UINT nHelp = 99;
    EXPECT_FALSE(plain.GetErrorMessage(szText, sizeof szText, &nHelp));
    EXPECT_TRUE(szText[0] == '\0' && nHelp == 0);
    CMemoryException memory(FALSE);
    char szFull[128];
    ASSERT_TRUE(memory.GetErrorMessage(szFull, sizeof szFull) && std::strlen(szFull) > 4);
    EXPECT_TRUE(memory.GetErrorMessage(szText, 5));
    EXPECT_EQ(std::string(szFull, 4), szText);
    EXPECT_FALSE(memory.GetErrorMessage(szText, 0));
    EXPECT_EQ(std::string(szFull, 4), szText);  // a buffer of no size stays as it was
    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, memory.ReportError());
    EXPECT_EQ(IDOK, plain.ReportError(MB_OK, 4711));
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, report.find(szFull)) << report;
    EXPECT_NE(std::string::npos, report.find("4711")) << report;
}

}  // namespace
