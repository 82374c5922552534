// Runtime class records, CObject, and the framework's heap with its failure hook.
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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
    static int s_nLive;
};

int CDog::s_nLive = 0;

IMPLEMENT_DYNAMIC(CAnimal, CObject)
IMPLEMENT_DYNCREATE(CDog, CAnimal)

// Not a CObject, yet allocated on the framework's heap.
struct CImpl : CAfxHeapObject {
    CImpl() { ++s_nMade; }
    static int s_nMade;
};

int CImpl::s_nMade = 0;

namespace {

class AfxHeap : public AfxHeapGuard {};

TEST(AfxRuntimeClass, RecordsChainToCObjectAndOnlyDynCreateClassesAreCreated) {
    CRuntimeClass* pDog = RUNTIME_CLASS(CDog);
    EXPECT_STREQ("CDog", pDog->m_lpszClassName);
    EXPECT_EQ(static_cast<int>(sizeof(CDog)), pDog->m_nObjectSize);
    EXPECT_EQ(0xFFFFu, pDog->m_wSchema);
    EXPECT_EQ(pDog, CDog::GetThisClass());
    EXPECT_EQ(RUNTIME_CLASS(CAnimal), pDog->m_pBaseClass);
    EXPECT_EQ(RUNTIME_CLASS(CObject), RUNTIME_CLASS(CAnimal)->m_pBaseClass);
    EXPECT_EQ(nullptr, CObject::classCObject.m_pBaseClass);

    EXPECT_TRUE(pDog->IsDerivedFrom(pDog));
    EXPECT_TRUE(pDog->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(CAnimal)->IsDerivedFrom(pDog));
    EXPECT_FALSE(pDog->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(pDog->IsDerivedFrom(nullptr));

    CAnimal animal;
    EXPECT_EQ(RUNTIME_CLASS(CAnimal), animal.GetRuntimeClass());
    EXPECT_TRUE(animal.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(animal.IsKindOf(pDog));
    EXPECT_FALSE(animal.IsSerializable());
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CAnimal)->CreateObject());
    std::unique_ptr<CObject> pMade(pDog->CreateObject());
    ASSERT_NE(nullptr, pMade);
    EXPECT_EQ(pDog, pMade->GetRuntimeClass());
    EXPECT_EQ(1, CDog::s_nLive);

    // The layer's own classes, as clients in other modules see them.
    EXPECT_TRUE(RUNTIME_CLASS(CMemoryException)->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(RUNTIME_CLASS(CInvalidArgException)->IsDerivedFrom(RUNTIME_CLASS(CException)));
    EXPECT_TRUE(CObList().IsKindOf(RUNTIME_CLASS(CObject)));
}

TEST_F(AfxHeap, TheNthNextAllocationFailsExactlyOnceAcrossThreads) {
    AfxTestFailAllocation(3);
    void* p1 = AfxAllocMemory(8);
    void* p2 = AfxAllocMemory(0);
    EXPECT_EQ("CMemoryException", AfxThrown([] { AfxAllocMemory(8); }));
    void* p3 = AfxAllocMemory(8);
    for (void* p : {p1, p2, p3}) {
        EXPECT_NE(nullptr, p);
        AfxFreeMemory(p);
    }

    // Threads allocating all at once still see exactly one failure per arming (a lost update
    // of the counter shows up here as two failures or none in some round).
    for (int nRound = 0; nRound < 50; ++nRound) {
        std::atomic<int> nFailures{0};
        AfxTestFailAllocation(2000);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&nFailures] {
                for (int i = 0; i < 1000; ++i) {
                    if (!AfxThrown([] { AfxFreeMemory(AfxAllocMemory(16)); }).empty()) ++nFailures;
                }
            });
        }
        for (std::thread& t : threads) t.join();
        ASSERT_EQ(1, nFailures.load()) << "round " << nRound;
    }
}

TEST_F(AfxHeap, ClassLevelNewFailsBeforeAnyConstructorRuns) {
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([] { delete new CDog; }));
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([] { delete RUNTIME_CLASS(CDog)->CreateObject(); }));
    EXPECT_EQ(0, CDog::s_nLive);
    AfxTestFailAllocation(1);
    EXPECT_EQ("CMemoryException", AfxThrown([] { delete new CImpl; }));
    EXPECT_EQ(0, CImpl::s_nMade);
    delete new CImpl;
    EXPECT_EQ(1, CImpl::s_nMade);
}

}  // namespace
