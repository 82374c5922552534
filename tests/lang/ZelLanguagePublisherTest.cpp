#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <thread>

#include "platform/lang/ZelLanguage.h"

namespace {

HINSTANCE Module(uintptr_t nValue) { return reinterpret_cast<HINSTANCE>(nValue); }

TEST(ZelLanguagePublisher, StartsWithoutModuleAndName) {
    // In a process of its own, so that no other test has set the publisher before.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ZelLanguagePublisher* pPublisher = ZelLanguagePublisher::Instance();
            const bool bInitial = pPublisher->GetLangDependentResource() == nullptr &&
                                  pPublisher->GetLangDependentResourceName().IsEmpty();
            std::exit(bInitial ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(ZelLanguagePublisher, KeepsItsOwnCopyOfTheName) {
    ZelLanguagePublisher* pPublisher = ZelLanguagePublisher::Instance();
    char szName[] = "MORVAKRES_DE";
    pPublisher->SetLangDependentResource(Module(0x1000), szName);
    szName[0] = 'X';
    EXPECT_EQ(Module(0x1000), pPublisher->GetLangDependentResource());
    EXPECT_STREQ("MORVAKRES_DE", pPublisher->GetLangDependentResourceName());

    pPublisher->SetLangDependentResource(nullptr, nullptr);
    EXPECT_EQ(nullptr, pPublisher->GetLangDependentResource());
    EXPECT_STREQ("", pPublisher->GetLangDependentResourceName());
}

TEST(ZelLanguagePublisher, NameTextOutlivesTheReturnedCopyWhileThePublisherHoldsIt) {
    ZelLanguagePublisher* pPublisher = ZelLanguagePublisher::Instance();
    pPublisher->SetLangDependentResource(Module(0x2000), "MORVAKRES_EN");
    // A copy that stays, taken first: it shares the buffer the publisher holds.
    const CString strHeld = pPublisher->GetLangDependentResourceName();
    // The temporary copy dies at the end of the statement; its text must be that same buffer.
    const char* pszName = pPublisher->GetLangDependentResourceName().GetString();
    EXPECT_EQ(strHeld.GetString(), pszName);
    EXPECT_STREQ("MORVAKRES_EN", pszName);
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
        const CString strName = pPublisher->GetLangDependentResourceName();
        nTorn += strName != "MORVAKRES_DE" && strName != "MORVAKRES_ENGLISH";
    }
    writer.join();
    EXPECT_EQ(0, nTorn);
}

}  // namespace
