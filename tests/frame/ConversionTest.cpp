// The end-of-method convention: what each catch clause makes of what it catches.
#include <gtest/gtest.h>

#include <stdexcept>

#include "frame/ZelConvert.h"
#include "support/ZelExceptionCheck.h"

namespace {

constexpr ZelSite kOuter{".\\Outer", "Outer", "void Outer::Run()"};
constexpr ZelSite kMiddle{".\\Imp\\MiddleI", "Middle_Imp", "Middle_Imp::Step()"};
constexpr ZelSite kInner{".\\Inner", "Inner", ""};

HINSTANCE Module(uintptr_t n) { return reinterpret_cast<HINSTANCE>(n); }

TEST(Conversion, ChainOfThreeLevelsKeepsEveryLevelsTextsAndNumbers) {
    int cleanups = 0;
    auto e = ZelExpectConverted([&] {
        ZelCatchAtEnd(kOuter, [&] {
            ZelCatchAtEndTellingMemory(kMiddle, [&] {
                ZelCatchAtEnd(kInner, [] { AfxThrowInvalidArgException(); }, [&]() noexcept { ++cleanups; });
            }, [&]() noexcept { ++cleanups; });
        });
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(cleanups, 2);
    EXPECT_EQ(ZelDescribe(*e), ".\\Outer | Outer | void Outer::Run() | Catch am Methodenende | 1001");
    ZelPropertyObjectException* middle = ZelObjectCause(*e);
    ASSERT_NE(middle, nullptr);
    // A converted exception is not memory exhaustion, even in a clause that tells it apart.
    EXPECT_EQ(ZelDescribe(*middle), ".\\Imp\\MiddleI | Middle_Imp | Middle_Imp::Step() |  | 1001");
    ZelPropertyObjectException* inner = ZelObjectCause(*middle);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(ZelDescribe(*inner), ".\\Inner | Inner |  | Catch am Methodenende | 1001");
    ASSERT_NE(inner->GetCause(), nullptr);
    EXPECT_TRUE(inner->GetCause()->IsKindOf(RUNTIME_CLASS(CInvalidArgException)));
    EXPECT_EQ(ZelObjectCause(*inner), nullptr);
    EXPECT_EQ(e->GetResIdForTextInfo(), 321u);
    EXPECT_EQ(e->GetResIdForCaption(), 322u);
    EXPECT_EQ(e->GetAdditionalText(), nullptr);
}

TEST(Conversion, MemoryExhaustionIsToldApartOnlyWithTwoClauses) {
    auto told = ZelExpectConverted([] { ZelCatchAtEndTellingMemory(kMiddle, [] { AfxThrowMemoryException(); }); });
    ASSERT_TRUE(told);
    EXPECT_EQ(ZelDescribe(*told), ".\\Imp\\MiddleI | Middle_Imp | Middle_Imp::Step() |  | 1002");
    EXPECT_TRUE(told->GetCause()->IsKindOf(RUNTIME_CLASS(CMemoryException)));

    auto plain = ZelExpectConverted([] { ZelCatchAtEnd(kOuter, [] { AfxThrowMemoryException(); }); });
    ASSERT_TRUE(plain);
    EXPECT_EQ(ZelDescribe(*plain), ".\\Outer | Outer | void Outer::Run() | Catch am Methodenende | 1001");
}

TEST(Conversion, ResultsPassAndForeignExceptionsAreNotTouched) {
    EXPECT_EQ(ZelCatchAtEnd(kOuter, [] { return 42; }), 42);
    int value = 1;
    int& ref = ZelCatchAtEndTellingMemory(kOuter, [&]() -> int& { return value; });
    EXPECT_EQ(&ref, &value);

    int cleanups = 0;
    EXPECT_THROW(ZelCatchAtEnd(kOuter, [] { throw std::runtime_error("not ours"); },
                               [&]() noexcept { ++cleanups; }),
                 std::runtime_error);
    EXPECT_EQ(cleanups, 0);
}

TEST(Conversion, LocalErrorIsRaisedInTheResourceScopeAndArrivesAsCause) {
    ZelLanguagePublisher::Instance()->SetLangDependentResource(Module(0x5000), "lang.test");
    AfxSetResourceHandle(Module(0x1000));
    HINSTANCE duringRaise = nullptr;
    auto e = ZelExpectConverted([&] {
        ZelCatchAtEnd(kOuter, [&] {
            ZelLocalErrorScope scope;
            duringRaise = AfxGetResourceHandle();
            ZelRaiseLocalError(ZEL_LOCAL_WRONG_TYPE);
        });
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(duringRaise, Module(0x5000));
    EXPECT_EQ(AfxGetResourceHandle(), Module(0x1000));
    EXPECT_EQ(ZelLocalCauseNo(*e), 2803u);
    EXPECT_EQ(e->GetErrorNo(), 1001u);
    EXPECT_EQ(ZelText(e->GetResourceModulname()), "lang.test");
    ZelLanguagePublisher::Instance()->SetLangDependentResource(nullptr, "");
    AfxSetResourceHandle(nullptr);
}

TEST(Conversion, LocalExceptionRecordCreatesNumberZero) {
    CRuntimeClass* record = ZelPropertyLocalException::GetThisClass();
    EXPECT_STREQ(record->m_lpszClassName, "ZelPropertyLocalException");
    EXPECT_EQ(record->m_wSchema, 0xFFFFu);
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CException));
    CObject* created = record->CreateObject();
    ASSERT_NE(created, nullptr);
    ZelCaught<ZelPropertyLocalException> local(static_cast<ZelPropertyLocalException*>(created));
    EXPECT_EQ(local->GetLocalErrorNo(), 0u);
    EXPECT_TRUE(local->m_bAutoDelete);
}

}  // namespace
