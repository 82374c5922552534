#include <gtest/gtest.h>

#include <cstdint>

#include "platform/lang/ZelLanguage.h"

namespace {

HINSTANCE Module(uintptr_t nValue) { return reinterpret_cast<HINSTANCE>(nValue); }

class ZelLanguageResManagerTest : public testing::Test {
protected:
    void SetUp() override {
        m_hBefore = AfxGetResourceHandle();
        AfxSetResourceHandle(Module(0x100));
    }
    void TearDown() override { AfxSetResourceHandle(m_hBefore); }

private:
    HINSTANCE m_hBefore = nullptr;
};

TEST_F(ZelLanguageResManagerTest, NestedScopesRestoreInTurn) {
    {
        ZelLanguageResManager outer(Module(0x200));
        EXPECT_EQ(Module(0x200), AfxGetResourceHandle());
        {
            ZelLanguageResManager inner(nullptr);  // the publisher's module before one is set
            EXPECT_EQ(nullptr, AfxGetResourceHandle());
        }
        EXPECT_EQ(Module(0x200), AfxGetResourceHandle());
    }
    EXPECT_EQ(Module(0x100), AfxGetResourceHandle());
}

TEST_F(ZelLanguageResManagerTest, ScopeLeftByAnExceptionRestoresThePreviousModule) {
    bool bCaught = false;
    try {
        ZelLanguageResManager scope(Module(0x300));
        AfxThrowInvalidArgException();
    } catch (CInvalidArgException* e) {
        bCaught = true;
        EXPECT_EQ(Module(0x100), AfxGetResourceHandle());
        e->Delete();
    }
    EXPECT_TRUE(bCaught);
}

}  // namespace
