// The language library: the publisher of the resource module and the scope that selects it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <thread>

#include "afx/AfxTestSupport.h"
#include "platform/lang/ZelLanguage.h"

namespace {

HINSTANCE Module(uintptr_t nValue) { return reinterpret_cast<HINSTANCE>(nValue); }

TEST(ZelLanguagePublisher, StartsWithoutModuleAndName) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no other test has set it yet
    EXPECT_EXIT(std::exit(ZelLanguagePublisher::Instance()->GetLangDependentResource() ||
                          !ZelLanguagePublisher::Instance()->GetLangDependentResourceName().IsEmpty()),
                testing::ExitedWithCode(0), "");
}

TEST(ZelLanguagePublisher, KeepsItsOwnCopyOfTheNameAndSharesItsTextWithTheCopiesItHandsOut) {
    ZelLanguagePublisher* pPublisher = ZelLanguagePublisher::Instance();
    char szName[] = "MORVAKRES_DE";
    pPublisher->SetLangDependentResource(Module(0x1000), szName);
    szName[0] = 'X';
    const CString strHeld = pPublisher->GetLangDependentResourceName();
    const char* pszName = pPublisher->GetLangDependentResourceName().GetString();  // of a copy already gone
    EXPECT_EQ(strHeld.GetString(), pszName);
    EXPECT_STREQ("MORVAKRES_DE", pszName);
    EXPECT_TRUE(AfxFailsWithoutMemory([&] { pPublisher->SetLangDependentResource(Module(0x2000), "MORVAKRES_EN"); }));
    EXPECT_EQ(Module(0x1000), pPublisher->GetLangDependentResource());  // nothing changed
    EXPECT_STREQ("MORVAKRES_DE", pPublisher->GetLangDependentResourceName());
    pPublisher->SetLangDependentResource(nullptr, nullptr);
    EXPECT_STREQ("", pPublisher->GetLangDependentResourceName());
}

TEST(ZelLanguagePublisher, ReadersSeeWholeNamesWhileAnotherThreadChangesThem) {
    ZelLanguagePublisher* pPublisher = ZelLanguagePublisher::Instance();
    pPublisher->SetLangDependentResource(Module(0x1000), "MORVAKRES_DE");
    std::thread writer([pPublisher] {
        for (int n = 0; n < 5000; ++n) {
            pPublisher->SetLangDependentResource(Module(0x1000), "MORVAKRES_DE");
            pPublisher->SetLangDependentResource(Module(0x2000), "MORVAKRES_ENGLISH");
        }
    });
    int nTorn = 0;
    for (int n = 0; n < 5000; ++n) {
        const CString strName = pPublisher->GetLangDependentResourceName();  // whole, never torn
        nTorn += strName != "MORVAKRES_DE" && strName != "MORVAKRES_ENGLISH";
    }
    writer.join();
    EXPECT_EQ(0, nTorn);
}

TEST(ZelLanguageResManager, ScopesRestoreThePreviousModuleAlsoWhenAnExceptionLeavesThem) {
    AfxSetResourceHandle(Module(0x100));
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
    EXPECT_EQ("CInvalidArgException", AfxThrown([] {
                  ZelLanguageResManager scope(Module(0x300));
                  AfxThrowInvalidArgException();
              }));
    EXPECT_EQ(Module(0x100), AfxGetResourceHandle());
    AfxSetResourceHandle(nullptr);
}

}  // namespace
