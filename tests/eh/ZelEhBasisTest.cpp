#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ZelEhTestSupport.h"
#include "platform/afx/AfxTestHooks.h"

namespace {

constexpr char kSource[] = ".\\ZelRegistrySet";
constexpr char kClass[] = "ZelRegistryQuonSet";
constexpr char kMethod[] = "BOOL ZelRegistryQuonSet::Read(HKEY)";
constexpr char kClosing[] = "Catch am Methodenende";

std::string LogOf(const ZelEhBasis& error) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    error.WriteLog(log);
    return out.str();
}

class ZelEhBasisTest : public testing::Test {
protected:
    void SetUp() override { CountedException::s_nDestroyed = 0; }
};

TEST_F(ZelEhBasisTest, OwnedCauseIsReleasedExactlyOnceWithTheChain) {
    auto* pBottom = new CountedException("unten");
    auto* pMiddle = new TestError(kSource, kClass, kMethod, kClosing, 1001, pBottom, TRUE);
    auto* pTop = new TestError(kSource, kClass, kMethod, kClosing, 1001, pMiddle, TRUE);
    EXPECT_EQ(pMiddle, pTop->GetCause());
    pTop->Delete();
    EXPECT_EQ(1, CountedException::s_nDestroyed);
}

TEST_F(ZelEhBasisTest, CauseNotOwnedIsLeftToItsOwner) {
    auto* pCause = new CountedException;
    auto* pError = new TestError(kSource, kClass, kMethod, kClosing, 1001, pCause, FALSE);
    pError->Delete();
    EXPECT_EQ(0, CountedException::s_nDestroyed);
    pCause->Delete();
    EXPECT_EQ(1, CountedException::s_nDestroyed);
}

TEST_F(ZelEhBasisTest, KeepsTheThrowersTextsAndShowsNullOnesAsEmpty) {
    TestError error(kSource, kClass, nullptr, kClosing, 1002);
    EXPECT_EQ(kSource, error.GetSourceName());  // the same static text, not a copy
    EXPECT_EQ(kClass, error.GetClassText());
    EXPECT_STREQ("", error.GetMethodText());
    EXPECT_EQ(kClosing, error.GetClosingText());
    EXPECT_EQ(1002u, error.GetErrorNo());
}

TEST_F(ZelEhBasisTest, AllocationComesFromTheFrameworkHeap) {
    AfxTestFailAllocation(1);
    bool bMemoryException = false;
    try {
        delete new TestError(kSource, kClass, kMethod, kClosing, 1001);
    } catch (CMemoryException* e) {
        bMemoryException = true;
        e->Delete();
    }
    AfxTestFailAllocation(0);
    EXPECT_TRUE(bMemoryException);
}

TEST_F(ZelEhBasisTest, ChainIsLoggedTopToBottomWithIncreasingIndentation) {
    auto* pMiddle = new WrappingError(".\\Imp\\ZelRegistrySetI", "ZelRegistryQuonSet_Imp", "", "",
                                      1002, new CountedException("Kein Speicher"));
    WrappingError top(kSource, kClass, kMethod, kClosing, 1001, pMiddle);
    const std::vector<std::string> expected = {
        "Fehlerart: WrappingError",
        "      Quelle: .\\ZelRegistrySet",
        "      Klasse: ZelRegistryQuonSet",
        "      Methode: BOOL ZelRegistryQuonSet::Read(HKEY)",
        "      Abschluss: Catch am Methodenende",
        "      Fehlernummer: 1001",
        "      Textnummer: 0",
        "      Unternummer: 0",
        "      Ursache:",
        "            Fehlerart: WrappingError",
        "                  Quelle: .\\Imp\\ZelRegistrySetI",
        "                  Klasse: ZelRegistryQuonSet_Imp",
        "                  Methode:",
        "                  Abschluss:",
        "                  Fehlernummer: 1002",
        "                  Textnummer: 0",
        "                  Unternummer: 0",
        "                  Ursache:",
        "                        Fehlerart: CountedException",
        "                              Meldung: Kein Speicher",
        "                  Weitere Informationen:",
        "      Weitere Informationen:",
    };
    EXPECT_EQ(expected, LinesOf(LogOf(top)));
}

TEST_F(ZelEhBasisTest, EntryStartsAtTheLogsIndentationWhichComesBackAfterwards) {
    WrappingError error(kSource, kClass, kMethod, kClosing, 7, nullptr);
    error.SetErrorTextNo(12);
    std::ostringstream out;
    ZelEhLogFile log(out);
    log.SetBlanks(2);
    log << "Eintrag:\r\n";
    error.WriteLog(log);
    log << "Ende\r\n";
    const std::vector<std::string> expected = {
        "  Eintrag:",
        "  Fehlerart: WrappingError",
        "        Quelle: .\\ZelRegistrySet",
        "        Klasse: ZelRegistryQuonSet",
        "        Methode: BOOL ZelRegistryQuonSet::Read(HKEY)",
        "        Abschluss: Catch am Methodenende",
        "        Fehlernummer: 7",
        "        Textnummer: 12",
        "        Unternummer: 0",
        "        Weitere Informationen:",
        "  Ende",
    };
    EXPECT_EQ(expected, LinesOf(out.str()));
}

TEST_F(ZelEhBasisTest, ErrorMessageNamesNumberAndWhereTruncatedToTheBuffer) {
    TestError error(kSource, kClass, kMethod, kClosing, 1001, nullptr, TRUE, 42);
    char szMessage[64];
    UINT nHelpContext = 0;
    ASSERT_TRUE(error.GetErrorMessage(szMessage, sizeof szMessage, &nHelpContext));
    EXPECT_STREQ("Fehler 1001 in BOOL ZelRegistryQuonSet::Read(HKEY)", szMessage);
    EXPECT_EQ(42u, nHelpContext);
    ASSERT_TRUE(error.GetErrorMessage(szMessage, 8));
    EXPECT_STREQ("Fehler ", szMessage);
    EXPECT_FALSE(error.GetErrorMessage(nullptr, 8));

    TestError withoutMethod(kSource, kClass, "", kClosing, 1002);
    ASSERT_TRUE(withoutMethod.GetErrorMessage(szMessage, sizeof szMessage));
    EXPECT_STREQ("Fehler 1002 in ZelRegistryQuonSet", szMessage);
}

}  // namespace
