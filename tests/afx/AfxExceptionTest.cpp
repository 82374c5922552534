// The framework's exceptions: releasing, messages, reports and the two throw functions.
#include <cstring>
#include <string>

#include "AfxTestSupport.h"

// An exception without a text of its own, counting its destructions.
class CTestException : public CException {
    DECLARE_DYNAMIC(CTestException)
public:
    using CException::CException;
    ~CTestException() override { ++s_nDestroyed; }
    static int s_nDestroyed;
};

int CTestException::s_nDestroyed = 0;

IMPLEMENT_DYNAMIC(CTestException, CException)

namespace {

TEST(AfxException, DeleteReleasesOnlyAutoDeletingExceptions) {
    EXPECT_TRUE(CTestException().m_bAutoDelete);
    CTestException::s_nDestroyed = 0;
    CTestException* pException = new CTestException(FALSE);
    pException->Delete();
    EXPECT_EQ(0, CTestException::s_nDestroyed);
    pException->m_bAutoDelete = TRUE;
    pException->Delete();
    EXPECT_EQ(1, CTestException::s_nDestroyed);
}

TEST(AfxException, MessagesAreTruncatedAndReportedOnStandardError) {
    CTestException plain(FALSE);
    char szText[8];
    std::memset(szText, 'x', sizeof szText);
    UINT nHelp = 99;
    EXPECT_FALSE(plain.GetErrorMessage(szText, sizeof szText, &nHelp));
    EXPECT_STREQ("", szText);
    EXPECT_EQ(0u, nHelp);

    CMemoryException memory(FALSE);
    char szFull[128];
    ASSERT_TRUE(memory.GetErrorMessage(szFull, sizeof szFull));
    ASSERT_GT(std::strlen(szFull), 4u);
    EXPECT_TRUE(memory.GetErrorMessage(szText, 5));
    EXPECT_EQ(std::string(szFull, 4), szText);
    szText[0] = 'x';
    EXPECT_FALSE(memory.GetErrorMessage(szText, 0));
    EXPECT_EQ('x', szText[0]);
    char szArg[128];
    EXPECT_TRUE(CInvalidArgException(FALSE).GetErrorMessage(szArg, sizeof szArg));
    EXPECT_STRNE(szFull, szArg);

    testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, memory.ReportError());
    EXPECT_EQ(IDOK, plain.ReportError(MB_OK, 4711));
    std::string report = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, report.find(szFull)) << report;
    EXPECT_NE(std::string::npos, report.find("4711")) << report;
}

TEST(AfxException, MemoryExceptionIsOneStaticInstanceThatSurvivesDelete) {
    CMemoryException* pFirst = nullptr;
    CException* pSecond = nullptr;
    try {
        AfxThrowMemoryException();
    } catch (CMemoryException* e) {
        pFirst = e;
        e->Delete();
    }
    try {
        AfxThrowMemoryException();
    } catch (CException* e) {
        pSecond = e;
        e->Delete();
    }
    ASSERT_NE(nullptr, pFirst);
    EXPECT_EQ(pFirst, pSecond);
    EXPECT_FALSE(pFirst->m_bAutoDelete);
    char szText[64];
    EXPECT_TRUE(pFirst->GetErrorMessage(szText, sizeof szText));  // still alive after Delete()

    // Invalid arguments get a fresh, auto-deleting exception per throw.
    CInvalidArgException* pInvalid[2] = {};
    for (CInvalidArgException*& p : pInvalid) {
        try {
            AfxThrowInvalidArgException();
        } catch (CInvalidArgException* e) {
            p = e;
        }
    }
    ASSERT_NE(nullptr, pInvalid[0]);
    ASSERT_NE(nullptr, pInvalid[1]);
    EXPECT_NE(pInvalid[0], pInvalid[1]);
    EXPECT_TRUE(pInvalid[0]->m_bAutoDelete);
    for (CInvalidArgException* p : pInvalid) p->Delete();
}

}  // namespace
