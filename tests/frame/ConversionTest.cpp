// The end-of-method convention: what each catch clause makes of what it catches, and how the
// converted chain writes itself into a log.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/ZelConvert.h"
#include "frame/ZelLocalError.h"
#include "tree/ZelTreeTestSupport.h"

namespace {

constexpr ZelSite kOuter{".\\Outer", "Outer", "void Outer::Run()"};
constexpr ZelSite kMiddle{".\\Imp\\MiddleI", "Middle_Imp", "Middle_Imp::Step()"};
constexpr ZelSite kInner{".\\Inner", "Inner", ""};
const std::string kOuterLine = ".\\Outer | Outer | void Outer::Run()" + kZelEnd;
const std::string kMiddleLine = ".\\Imp\\MiddleI | Middle_Imp | Middle_Imp::Step() |  | ";

HINSTANCE Module(uintptr_t n) { return reinterpret_cast<HINSTANCE>(n); }

std::vector<std::string> LogLines(const ZelPropertyObjectException& e) {
    std::ostringstream out;
    ZelEhLogFile log(out);
    e.Log(log);
    const std::string text = out.str();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

TEST(Conversion, ChainOfThreeLevelsKeepsEveryLevelsTextsAndNumbers) {
    int cleanups = 0;
    const auto run = [&] {
        ZelCatchAtEnd(kOuter, [&] {
            ZelCatchAtEndTellingMemory(kMiddle, [&] {
                ZelCatchAtEnd(kInner, [] { AfxThrowInvalidArgException(); }, [&]() noexcept { ++cleanups; });
            }, [&]() noexcept { ++cleanups; });
        });
    };
    // A converted exception is not memory exhaustion, even in a clause that tells it apart.
    EXPECT_EQ(ZelFailure(run), (ZelLines{kOuterLine, kMiddleLine + "1001", ".\\Inner | Inner | " + kZelEnd,
                                         "CInvalidArgException"}));
    EXPECT_EQ(cleanups, 2);
}

TEST(Conversion, MemoryExhaustionIsToldApartOnlyWithTwoClauses) {
    EXPECT_EQ(ZelFailure([] { ZelCatchAtEndTellingMemory(kMiddle, [] { AfxThrowMemoryException(); }); }),
              (ZelLines{kMiddleLine + "1002", "CMemoryException"}));
    EXPECT_EQ(ZelFailure([] { ZelCatchAtEnd(kOuter, [] { AfxThrowMemoryException(); }); }),
              (ZelLines{kOuterLine, "CMemoryException"}));
}

TEST(Conversion, ResultsPassAndForeignExceptionsAreNotTouched) {
    EXPECT_EQ(ZelCatchAtEnd(kOuter, [] { return 42; }), 42);
    int value = 1;
    int& ref = ZelCatchAtEndTellingMemory(kOuter, [&]() -> int& { return value; });
    EXPECT_EQ(&ref, &value);
    int cleanups = 0;
    EXPECT_THROW(ZelCatchAtEnd(kOuter, [] { throw std::runtime_error("not ours"); }, [&]() noexcept { ++cleanups; }),
                 std::runtime_error);
    EXPECT_EQ(cleanups, 0);
}

TEST(Conversion, LocalErrorIsRaisedInTheResourceScopeAndTheChainIsLoggedTopToBottom) {
    ZelLanguagePublisher::Instance()->SetLangDependentResource(Module(0x5000), "lang.test");
    AfxSetResourceHandle(Module(0x1000));
    HINSTANCE duringRaise = nullptr;
    auto e = ZelExpectConverted([&] {
        ZelCatchAtEnd(kOuter, [&] {
            ZelCatchAtEnd(kMiddle, [&] {
                ZelLocalErrorScope scope;
                duringRaise = AfxGetResourceHandle();
                ZelRaiseLocalError(ZEL_LOCAL_WRONG_TYPE);
            });
        });
    });
    ASSERT_TRUE(e && ZelObjectCause(*e));
    EXPECT_EQ(duringRaise, Module(0x5000));
    EXPECT_EQ(AfxGetResourceHandle(), Module(0x1000));
    EXPECT_EQ(ZelLocalCauseNo(*ZelObjectCause(*e)), 2803u);
    EXPECT_EQ(ZelText(e->GetResourceModulname()), "lang.test");
    ZelLanguagePublisher::Instance()->SetLangDependentResource(nullptr, "");
    AfxSetResourceHandle(nullptr);
    // The base's lines are the error-handling library's; this class adds a header and a trailer
    // around them, six blanks deeper, and so at every level of the chain.
    const std::vector<std::string> lines = LogLines(*e);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "Fehlerart: ZelPropertyObjectException");
    EXPECT_EQ(lines[1], "      Quelle: .\\Outer");
    EXPECT_EQ(lines[8], "      Ursache:");
    EXPECT_EQ(lines[9], "            Fehlerart: ZelPropertyObjectException");
    EXPECT_EQ(lines[10], "                  Quelle: .\\Imp\\MiddleI");
    EXPECT_EQ(lines[18], "                        Fehlerart: ZelPropertyLocalException");
    EXPECT_EQ(lines[19], "                  Weitere Informationen:");  // a conversion has no additional text
    EXPECT_EQ(lines[20], "      Weitere Informationen:");
}

TEST(Conversion, AdditionalTextFollowsItsLabelAndTheLocalRecordCreatesNumberZero) {
    ZelCaught<ZelPropertyObjectException> e(new ZelPropertyObjectException(
        nullptr, TRUE, ".\\ZelRegistryBase", "ZelRegistryBase", "m", "", 1002, 0, 0, "Platte voll", 0, TRUE));
    const std::vector<std::string> lines = LogLines(*e);
    ASSERT_EQ(lines.size(), 9u);  // no cause, no line for it
    EXPECT_EQ(lines.back(), "      Weitere Informationen:Platte voll");
    EXPECT_EQ(e->GetResIdForTextInfo(), 321u);
    EXPECT_EQ(e->GetResIdForCaption(), 322u);
    CRuntimeClass* record = ZelPropertyLocalException::GetThisClass();
    EXPECT_STREQ(record->m_lpszClassName, "ZelPropertyLocalException");
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CException));
    ZelCaught<ZelPropertyLocalException> local(static_cast<ZelPropertyLocalException*>(record->CreateObject()));
    ASSERT_TRUE(local);
    EXPECT_EQ(local->GetLocalErrorNo(), 0u);
    EXPECT_TRUE(local->m_bAutoDelete);
}

}  // namespace
