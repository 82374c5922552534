#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ZelEhTestSupport.h"
#include "ZelEhTestThrower.h"
#include "platform/afx/AfxTestHooks.h"

namespace {

TEST(ZelEhString, CopyIsTheCallersOwnAndNullStaysNull) {
    char szText[] = "Einstellungen";
    char* pszCopy = ZelEhCopyString(szText);
    szText[0] = 'X';
    EXPECT_STREQ("Einstellungen", pszCopy);
    ZelEhDeleteString(pszCopy);
    EXPECT_EQ(nullptr, ZelEhCopyString(nullptr));
}

TEST(ZelEhString, CopyWithoutMemoryThrowsMemoryException) {
    AfxTestFailAllocation(1);
    bool bMemoryException = false;
    try {
        ZelEhDeleteString(ZelEhCopyString("Text"));
    } catch (CMemoryException* e) {
        bMemoryException = true;
        e->Delete();
    }
    AfxTestFailAllocation(0);
    EXPECT_TRUE(bMemoryException);
}

TEST(ZelEhDeleteAtTerminate, ClassIsRegisteredWhileAnyRegistrationLives) {
    CRuntimeClass* pClass = RUNTIME_CLASS(CountedException);
    CRuntimeClass* pOther = RUNTIME_CLASS(ZelEhBasis);
    EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pClass));
    {
        ZelEhDeleteAtTerminate first(pClass);
        {
            ZelEhDeleteAtTerminate second(pClass);
            ZelEhDeleteAtTerminate other(pOther);
            EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(pOther));
        }
        EXPECT_TRUE(ZelEhDeleteAtTerminate::IsRegistered(pClass));
        EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pOther));
    }
    EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pClass));
}

TEST(ZelEhDeleteAtTerminate, NullClassIsRefused) {
    bool bRefused = false;
    try {
        ZelEhDeleteAtTerminate registration(nullptr);
    } catch (CInvalidArgException* e) {
        bRefused = true;
        e->Delete();
    }
    EXPECT_TRUE(bRefused);
}

TEST(ZelEhDeleteAtTerminate, RegistrationsFromManyThreadsKeepTheirCount) {
    CRuntimeClass* const classes[] = {RUNTIME_CLASS(CException), RUNTIME_CLASS(CMemoryException)};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([pClass = classes[i % 2]] {
            for (int n = 0; n < 2000; ++n) {
                ZelEhDeleteAtTerminate registration(pClass);
                if (!ZelEhDeleteAtTerminate::IsRegistered(pClass)) {
                    ADD_FAILURE() << "registration lost";
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (CRuntimeClass* pClass : classes) {
        EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pClass));
    }
}

TEST(ZelEhBasis, ErrorFromAnotherModuleIsCaughtAsFrameworkException) {
    bool bCaught = false;
    try {
        ZelEhTestThrowFromModule();
    } catch (CException* e) {
        bCaught = true;
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
        EXPECT_STREQ("ModuleError", e->GetRuntimeClass()->m_lpszClassName);
        auto* pError = dynamic_cast<ZelEhBasis*>(e);
        ASSERT_NE(nullptr, pError);
        EXPECT_EQ(4711u, pError->GetErrorNo());
        EXPECT_TRUE(pError->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));
        e->Delete();
    }
    EXPECT_TRUE(bCaught);
}

}  // namespace
