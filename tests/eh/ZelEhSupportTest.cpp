// The library's helpers: the log file, string copies, the delete-at-terminate registry, and
// errors thrown from other modules.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "ZelEhTestSupport.h"
#include "ZelEhTestThrower.h"
#include "afx/AfxTestSupport.h"

namespace {

TEST(ZelEhLogFile, BlanksGoBeforeTheFirstCharacterOfEachLineOnly) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    const char* pszNull = nullptr;
    log << "x";
    log.SetBlanks(3);  // the line already begun keeps its indentation
    log << "y\r\n" << "\r\n" << "a" << "b\r\nc\n" << -5L << " " << 4294967295UL << pszNull << " " << -7 << " " << 8u;
    EXPECT_EQ("xy\r\n\r\n   ab\r\n   c\n   -5 4294967295 -7 8", out.str());
}

TEST(ZelEhLogFile, NestedBlanksCountFromBeginNestedAndUnwindPastTheSaveStack) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    log.SetBlanks(2);
    log.BeginNested();
    log.SetBlanks(3);
    log << "a\n";
    log.BeginNested();
    log.SetBlanks(1);
    log << "b\n";
    log.EndNested();
    log << "c\n";
    log.EndNested();
    log << "d\n";
    // Deeper than the save stack: the deepest indentation holds until the saved levels unwind.
    log.SetBlanks(1);
    const unsigned nLevels = ZelEhLogFile::kMaxNesting + 4;
    for (unsigned i = 0; i < nLevels; ++i) {
        log.BeginNested();
        log.SetBlanks(1);
    }
    log << "tief\n";
    for (unsigned i = ZelEhLogFile::kMaxNesting; i < nLevels; ++i) log.EndNested();
    log << "tief\n";
    for (unsigned i = 0; i <= ZelEhLogFile::kMaxNesting; ++i) log.EndNested();  // one too many
    log << "oben\n";
    const std::string strDeepest(ZelEhLogFile::kMaxNesting + 1, ' ');
    EXPECT_EQ("     a\n      b\n     c\n  d\n" + strDeepest + "tief\n" + strDeepest + "tief\n oben\n", out.str());
}

TEST(ZelEhLogFile, UnopenableFileSwallowsWhatIsWritten) {
    TempDir dir;
    const std::string strMissing = dir.strPath + "/fehlt/fehler.log";
    ZelEhLogFile lost(strMissing.c_str());
    EXPECT_FALSE(lost.IsOpen());
    lost << "verloren" << 1 << "\r\n";
    lost.Flush();
    EXPECT_FALSE(std::filesystem::exists(strMissing));
    EXPECT_FALSE(ZelEhLogFile(static_cast<const char*>(nullptr)).IsOpen());
}

TEST(ZelEhString, CopyIsTheCallersOwnNullStaysNullAndNoMemoryIsAMemoryException) {
    char szText[] = "Einstellungen";
    char* pszCopy = ZelEhCopyString(szText);
    szText[0] = 'X';
    EXPECT_STREQ("Einstellungen", pszCopy);
    ZelEhDeleteString(pszCopy);
    EXPECT_EQ(nullptr, ZelEhCopyString(nullptr));
    EXPECT_TRUE(AfxFailsWithoutMemory([] { ZelEhDeleteString(ZelEhCopyString("Text")); }));
}

TEST(ZelEhDeleteAtTerminate, ClassIsRegisteredWhileAnyRegistrationLivesAndNullIsRefused) {
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
    EXPECT_EQ("CInvalidArgException", AfxThrown([] { ZelEhDeleteAtTerminate refused(nullptr); }));
}

TEST(ZelEhDeleteAtTerminate, RegistrationsFromManyThreadsKeepTheirCount) {
    CRuntimeClass* const classes[] = {RUNTIME_CLASS(CException), RUNTIME_CLASS(CMemoryException)};
    AfxOnThreads(4, [&classes] {
        for (int n = 0; n < 4000; ++n) {
            ZelEhDeleteAtTerminate registration(classes[n % 2]);
            if (!ZelEhDeleteAtTerminate::IsRegistered(classes[n % 2])) ADD_FAILURE() << "registration lost";
        }
    });
    for (CRuntimeClass* pClass : classes) EXPECT_FALSE(ZelEhDeleteAtTerminate::IsRegistered(pClass));
}

TEST(ZelEhBasis, ErrorFromAnotherModuleIsCaughtAsFrameworkException) {
    CException* e = AfxCaught(ZelEhTestThrowFromModule);
    ASSERT_NE(nullptr, e);
    EXPECT_STREQ("ModuleError", e->GetRuntimeClass()->m_lpszClassName);
    auto* pError = dynamic_cast<ZelEhBasis*>(e);
    ASSERT_NE(nullptr, pError);
    EXPECT_TRUE(pError->IsKindOf(RUNTIME_CLASS(ZelEhBasis)));
    EXPECT_EQ(4711u, pError->GetErrorNo());
    EXPECT_TRUE(pError->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    e->Delete();
}

}  // namespace
