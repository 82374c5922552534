#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "ZelEhTestSupport.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kProgram[] = "zel_eh_tests";
const std::string kCaption = std::string("Fehler in ") + kProgram;

std::string ExpectedReport() {
    return kCaption +
           "\r\nQuelle: .\\Quelle\r\nKlasse: Klasse\r\nMethode: void Klasse::Tu()\r\nAbschluss:\r\n"
           "Fehlernummer: 1001\r\nTextnummer: 0\r\nUnternummer: 0\r\nUrsache:\r\n"
           "      Fehlerart: CountedException\r\n            Meldung: Platte voll\r\n";
}

TestError* NewError(BOOL bReport = TRUE) {
    return new TestError(".\\Quelle", "Klasse", "void Klasse::Tu()", "", 1001,
                         new CountedException("Platte voll"), TRUE, 0, bReport);
}

// Sets an environment variable for the length of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* pszName, const std::string& strValue) : m_pszName(pszName) {
        ZelSetEnv(pszName, strValue.c_str());
    }
    ~ScopedEnv() { ZelSetEnv(m_pszName, ""); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_pszName;
};

TEST(ZelEhReport, ReportErrorWritesCaptionAndChainToStandardError) {
    TestError* pError = NewError();
    CaptureStderr();
    EXPECT_EQ(IDOK, pError->ReportError());
    EXPECT_EQ(ExpectedReport(), GetCapturedStderr());
    pError->Delete();
}

TEST(ZelEhReport, ReportFlagFalseReportsNothing) {
    TestError* pError = NewError(FALSE);
    CaptureStderr();
    EXPECT_EQ(0, pError->ReportError());
    EXPECT_EQ(0, pError->ReportErrorOnObject("Objekt", "Text"));
    EXPECT_EQ("", GetCapturedStderr());
    pError->Delete();
}

TEST(ZelEhReport, ReportOnObjectPutsObjectAndTextBeforeTheChain) {
    TestError error(".\\Quelle", "Klasse", "", "", 5);
    CaptureStderr();
    EXPECT_EQ(IDOK, error.ReportErrorOnObject("Einstellungen", "Speichern misslungen"));
    const std::string strReport = GetCapturedStderr();
    EXPECT_EQ(0u, strReport.find(kCaption + "\r\nObjekt: Einstellungen\r\nSpeichern misslungen\r\n"
                                            "Quelle: .\\Quelle\r\n"))
        << strReport;
}

TEST(ZelEhReport, ApplicationIsTheProgramsNameTruncatedToTheBuffer) {
    TestError error("", "", "", "", 1);
    char szName[64];
    ASSERT_TRUE(error.GetApplication(szName, sizeof szName));
    EXPECT_STREQ(kProgram, szName);
    ASSERT_TRUE(error.GetApplication(szName, 4));
    EXPECT_STREQ("zel", szName);
    EXPECT_FALSE(error.GetApplication(szName, 0));
}

TEST(ZelEhReport, ReportsAreAppendedToTheLogFileNamedByTheEnvironment) {
    TempDir dir;
    const std::string strPath = dir.strPath + "/fehler.log";
    ScopedEnv env("ZEL_EH_LOGFILE", strPath);
    TestError* pError = NewError();
    char szPath[MAX_PATH];
    ZelEhLogfileStyle eStyle = ZELEH_LOGFILE_NONE;
    ULONG nMaxSize = 1;
    ASSERT_TRUE(pError->GetLogFileInfos(szPath, eStyle, nMaxSize));
    EXPECT_EQ(strPath, szPath);
    EXPECT_EQ(ZELEH_LOGFILE_APPEND, eStyle);
    EXPECT_EQ(0u, nMaxSize);

    CaptureStderr();
    pError->ReportError();
    pError->ReportError();
    GetCapturedStderr();
    const std::string strReport = ExpectedReport();
    EXPECT_EQ(strReport + strReport, ReadFile(strPath));
    pError->Delete();
}

TEST(ZelEhReport, UnusableLogFileIsNamedOnStandardError) {
    TempDir dir;
    ScopedEnv env("ZEL_EH_LOGFILE", dir.strPath + "/fehlt/fehler.log");
    TestError error(".\\Quelle", "Klasse", "", "", 5);
    CaptureStderr();
    EXPECT_EQ(IDOK, error.ReportError());
    EXPECT_NE(std::string::npos,
              GetCapturedStderr().find("/fehlt/fehler.log kann nicht geoeffnet werden"));
}

// A log file with a size limit, as a derived class may configure it.
class LimitedLogError : public TestError {
public:
    LimitedLogError(std::string strPath, ULONG nMaxSize)
        : TestError(".\\Quelle", "Klasse", "", "", 3),
          m_strPath(std::move(strPath)),
          m_nMaxSize(nMaxSize) {}
    BOOL GetLogFileInfos(char* pszPath, ZelEhLogfileStyle& eStyle, ULONG& nMaxSize) const override {
        const size_t nLength = m_strPath.copy(pszPath, MAX_PATH - 1);
        pszPath[nLength] = '\0';
        eStyle = ZELEH_LOGFILE_APPEND;
        nMaxSize = m_nMaxSize;
        return TRUE;
    }

private:
    std::string m_strPath;
    ULONG m_nMaxSize;
};

TEST(ZelEhReport, LogFileThatReachedItsLimitIsStartedAnew) {
    TempDir dir;
    const std::string strPath = dir.strPath + "/fehler.log";
    LimitedLogError error(strPath, 10);
    CaptureStderr();
    error.ReportError();
    const std::string strOne = ReadFile(strPath);
    error.ReportError();
    GetCapturedStderr();
    ASSERT_GT(strOne.size(), 10u);
    EXPECT_EQ(strOne, ReadFile(strPath));
}

// Supplies a caption through the resource hooks and counts what is released.
class CaptionError : public TestError {
public:
    CaptionError() : TestError(".\\Quelle", "Klasse", "", "", 9) {}
    const char* GetResourceModulname() const override { return "Sprachmodul"; }
    DWORD GetResIdForCaption() const override { return 322; }
    mutable int m_nModulesFreed = 0;
    mutable int m_nEntriesFreed = 0;

protected:
    HINSTANCE LoadResourceModule(const char* pszName) const override {
        return std::string(pszName) == "Sprachmodul" ? Module() : nullptr;
    }
    void FreeResourceModule(HINSTANCE hModule) const override {
        m_nModulesFreed += hModule == Module();
    }
    void* GetResourceEntry(ULONG nId, HINSTANCE& hModule) const override {
        return nId == 322 && hModule == Module() ? const_cast<int*>(&m_nEntry) : nullptr;
    }
    void FreeResourceEntry(void* pEntry) const override { m_nEntriesFreed += pEntry == &m_nEntry; }
    char* GetCaptionText(void* pEntry, ULONG nId) const override {
        if (pEntry != &m_nEntry || nId != 322) return nullptr;
        return ZelEhCopyString("Einstellungen - Fehler");
    }

private:
    static HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(uintptr_t{0x4000}); }
    const int m_nEntry = 0;
};

TEST(ZelEhReport, CaptionComesFromTheResourceHooksWhenTheyHaveOne) {
    CaptionError error;
    CaptureStderr();
    EXPECT_EQ(IDOK, error.ReportError());
    EXPECT_EQ(0u, GetCapturedStderr().find("Einstellungen - Fehler\r\nQuelle: .\\Quelle\r\n"));
    EXPECT_EQ(1, error.m_nModulesFreed);
    EXPECT_EQ(1, error.m_nEntriesFreed);
}

}  // namespace
