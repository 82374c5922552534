// ZelEhBasis: ownership of the cause, its message, its log entry and its reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <utility>

#include "ZelEhTestSupport.h"
#include "afx/AfxTestSupport.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kSource[] = ".\\ZelRegistrySet";
constexpr char kClass[] = "ZelRegistryQuonSet";
constexpr char kMethod[] = "BOOL ZelRegistryQuonSet::Read(HKEY)";
constexpr char kClosing[] = "Catch am Methodenende";

TEST(ZelEhBasis, OwnedCausesGoWithTheChainOthersStayWithTheirOwner) {
    CountedException::s_nDestroyed = 0;
    auto* pMiddle = new TestError(kSource, kClass, kMethod, kClosing, 1001, new CountedException, TRUE);
    (new TestError(kSource, kClass, kMethod, kClosing, 1001, pMiddle, TRUE))->Delete();
    EXPECT_EQ(1, CountedException::s_nDestroyed);
    auto* pCause = new CountedException;
    (new TestError(kSource, kClass, kMethod, kClosing, 1001, pCause, FALSE))->Delete();
    EXPECT_EQ(1, CountedException::s_nDestroyed);
    pCause->Delete();
    EXPECT_EQ(2, CountedException::s_nDestroyed);
    // Allocated on the framework's heap.
    EXPECT_TRUE(AfxFailsWithoutMemory([] { delete new TestError(kSource, kClass, kMethod, kClosing, 1001); }));
}

TEST(ZelEhBasis, MessageNamesNumberAndMethodOrElseTheClassCutToTheBuffer) {
    TestError error(kSource, kClass, kMethod, kClosing, 1001, nullptr, TRUE, 42);
    char szMessage[64];
    UINT nHelpContext = 0;
    ASSERT_TRUE(error.GetErrorMessage(szMessage, sizeof szMessage, &nHelpContext));
    EXPECT_STREQ("Fehler 1001 in BOOL ZelRegistryQuonSet::Read(HKEY)", szMessage);
    EXPECT_EQ(42u, nHelpContext);
    ASSERT_TRUE(error.GetErrorMessage(szMessage, 8));
    EXPECT_STREQ("Fehler ", szMessage);
    EXPECT_FALSE(error.GetErrorMessage(nullptr, 8));
    EXPECT_FALSE(error.GetApplication(szMessage, 0));  // no room: the buffer stays as it is
    EXPECT_STREQ("Fehler ", szMessage);
    TestError withoutMethod(kSource, kClass, nullptr, kClosing, 1002);
    EXPECT_STREQ("", withoutMethod.GetMethodText());
    ASSERT_TRUE(withoutMethod.GetErrorMessage(szMessage, sizeof szMessage));
    EXPECT_STREQ("Fehler 1002 in ZelRegistryQuonSet", szMessage);  // the class stands in
}

TEST(ZelEhBasis, ChainIsLoggedFromTheLogsIndentationEachCauseDeeperAndTheIndentationComesBack) {
    auto* pMiddle = new WrappingError(".\\Imp\\ZelRegistrySetI", "ZelRegistryQuonSet_Imp", "", "", 1002,
                                      new CountedException("Kein Speicher"));
    WrappingError top(kSource, kClass, kMethod, kClosing, 1001, pMiddle);
    top.SetErrorTextNo(12);
    std::ostringstream out;
    ZelEhLogFile log(out);
    log.SetBlanks(2);
    log << "Eintrag:\r\n";
    top.WriteLog(log);
    log << "Ende\r\n";
    const char* const expected[] = {
        "  Eintrag:",
        "  Fehlerart: WrappingError",
        "        Quelle: .\\ZelRegistrySet",
        "        Klasse: ZelRegistryQuonSet",
        "        Methode: BOOL ZelRegistryQuonSet::Read(HKEY)",
        "        Abschluss: Catch am Methodenende",
        "        Fehlernummer: 1001",
        "        Textnummer: 12",
        "        Unternummer: 0",
        "        Ursache:",
        "              Fehlerart: WrappingError",
        "                    Quelle: .\\Imp\\ZelRegistrySetI",
        "                    Klasse: ZelRegistryQuonSet_Imp",
        "                    Methode:",
        "                    Abschluss:",
        "                    Fehlernummer: 1002",
        "                    Textnummer: 0",
        "                    Unternummer: 0",
        "                    Ursache:",
        "                          Fehlerart: CountedException",
        "                                Meldung: Kein Speicher",
        "                    Weitere Informationen:",
        "        Weitere Informationen:",
        "  Ende",
    };
    std::string strExpected;
    for (const char* pszLine : expected) strExpected = strExpected + pszLine + "\r\n";
    EXPECT_EQ(strExpected, out.str());
}

const std::string kCaption = "Fehler in zel_eh_tests";
const std::string kEntry =
    "Quelle: .\\Quelle\r\nKlasse: Klasse\r\nMethode: void Klasse::Tu()\r\nAbschluss:\r\nFehlernummer: 1001\r\n"
    "Textnummer: 0\r\nUnternummer: 0\r\nUrsache:\r\n      Fehlerart: CountedException\r\n"
    "            Meldung: Platte voll\r\n";

// Names the log file through the environment; the name is taken back when the test ends.
struct LogFileEnv {
    void Set(const std::string& strPath) { ZelSetEnv("ZEL_EH_LOGFILE", strPath.c_str()); }
    ~LogFileEnv() { ZelSetEnv("ZEL_EH_LOGFILE", ""); }
};

TEST(ZelEhReport, ReportsGoToStandardErrorAndTheLogFileTheEnvironmentNamesUnlessNotToBeReported) {
    TempDir dir;
    LogFileEnv env;
    env.Set(dir.strPath + "/fehler.log");
    TestError error(".\\Quelle", "Klasse", "void Klasse::Tu()", "", 1001, new CountedException("Platte voll"));
    TestError silent(".\\Quelle", "Klasse", "", "", 5, nullptr, TRUE, 0, FALSE);
    const std::string strReports = kCaption + "\r\n" + kEntry + kCaption +
                                   "\r\nObjekt: Einstellungen\r\nSpeichern misslungen\r\n" + kEntry;
    CaptureStderr();
    EXPECT_EQ(0, silent.ReportErrorOnObject("Objekt", "Text"));
    EXPECT_EQ(IDOK, error.ReportError());
    EXPECT_EQ(IDOK, error.ReportErrorOnObject("Einstellungen", "Speichern misslungen"));
    EXPECT_EQ(strReports, GetCapturedStderr());
    EXPECT_EQ(strReports, ReadFile(dir.strPath + "/fehler.log"));
    env.Set(dir.strPath + "/fehlt/fehler.log");
    CaptureStderr();
    EXPECT_EQ(IDOK, error.ReportError());
    EXPECT_NE(std::string::npos, GetCapturedStderr().find("/fehlt/fehler.log kann nicht geoeffnet werden"));
}

// What a derived class may configure: a log file with a size limit, and a caption from the
// resource hooks, counting what it is asked to release.
class ConfiguredError : public TestError {
public:
    explicit ConfiguredError(std::string strLogPath)
        : TestError(".\\Quelle", "Klasse", "", "", 9), m_strLogPath(std::move(strLogPath)) {}
    BOOL GetLogFileInfos(char* pszPath, ZelEhLogfileStyle& eStyle, ULONG& nMaxSize) const override {
        pszPath[m_strLogPath.copy(pszPath, MAX_PATH - 1)] = '\0';
        eStyle = ZELEH_LOGFILE_APPEND;
        nMaxSize = 10;
        return TRUE;
    }
    const char* GetResourceModulname() const override { return "Sprachmodul"; }
    DWORD GetResIdForCaption() const override { return 322; }
    HINSTANCE LoadResourceModule(const char* pszName) const override {
        return std::string(pszName) == "Sprachmodul" ? m_hModule : nullptr;
    }
    void FreeResourceModule(HINSTANCE hModule) const override { m_nModulesFreed += hModule == m_hModule; }
    void* GetResourceEntry(ULONG nId, HINSTANCE& hModule) const override {
        return nId == 322 && hModule == m_hModule ? &m_nEntriesFreed : nullptr;
    }
    void FreeResourceEntry(void* pEntry) const override { m_nEntriesFreed += pEntry == &m_nEntriesFreed; }
    char* GetCaptionText(void* pEntry, ULONG nId) const override {
        return pEntry == &m_nEntriesFreed && nId == 322 ? ZelEhCopyString("Einstellungen - Fehler") : nullptr;
    }
    const HINSTANCE m_hModule = reinterpret_cast<HINSTANCE>(uintptr_t{0x4000});
    std::string m_strLogPath;
    mutable int m_nModulesFreed = 0;
    mutable int m_nEntriesFreed = 0;  // its address is the resource entry
};

TEST(ZelEhReport, DerivedClassSuppliesTheCaptionAndALogFileStartedAnewPastItsLimit) {
    TempDir dir;
    const std::string strPath = dir.strPath + "/fehler.log";
    ConfiguredError error(strPath);
    CaptureStderr();
    EXPECT_EQ(IDOK, error.ReportError());
    const std::string strOne = ReadFile(strPath);
    error.ReportError();
    EXPECT_EQ(0u, GetCapturedStderr().find("Einstellungen - Fehler\r\nQuelle: .\\Quelle\r\n"));
    EXPECT_EQ(2, error.m_nModulesFreed);  // once per report
    EXPECT_EQ(2, error.m_nEntriesFreed);
    ASSERT_GT(strOne.size(), 10u);
    EXPECT_EQ(strOne, ReadFile(strPath));
}

}  // namespace
