// The profile accessors of both families, against a real registry: where values land, every
// fallback, the deletion rules, write protection, overriding subclasses, and that no key
// stays open, also when an allocation fails half-way.
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ZelRegistryBase.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelRegistryFixture.h"

namespace {

std::string Str(const CString& str) { return static_cast<LPCTSTR>(str); }

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
    return std::vector<BYTE>(values.begin(), values.end());
}

// The block GetProfileBinary hands over, released as its contract says. It starts out
// pointing at a marker, so that an accessor that leaves it alone is noticed.
struct Block {
    static BYTE s_unset;
    BYTE* pData = &s_unset;
    UINT nBytes = 99;

    ~Block() {
        if (pData != &s_unset) delete[] pData;
    }
    std::vector<BYTE> Data() const { return std::vector<BYTE>(pData, pData + nBytes); }
};

BYTE Block::s_unset = 0;

using ComposedLocation = ZelRegistryTest;
using ProfileRead = ZelRegistryTest;
using ProfileWrite = ZelRegistryTest;
using EmptyNames = ZelRegistryTest;
using WriteProtection = ZelRegistryTest;
using SectionDeletion = ZelRegistryTest;
using VirtualDispatch = ZelRegistryTest;
using KeyHandles = ZelRegistryTest;

TEST_F(ComposedLocation, LedgerWindowLeftIsWrittenSevenLevelsDownAndReadBack) {
    const std::string strComponentKey = "Software\\Quellmar\\Components\\Ledger";
    if (ZelRawKeyExists(HKEY_CURRENT_USER, strComponentKey)) GTEST_SKIP() << "a Ledger component exists here";
    OwnKey(HKEY_CURRENT_USER, strComponentKey);
    ZelRegistryBase ledger("Ledger", "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);

    ASSERT_TRUE(ledger.WriteProfileInt("Window", "Left", 10));
    const ZelRawValue value =
        ZelRawQuery(HKEY_CURRENT_USER, strComponentKey + "\\Versions\\2.0\\Options\\Window", "Left");
    ASSERT_EQ(value.lStatus, ERROR_SUCCESS);
    EXPECT_EQ(value.dwType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value.data, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(ledger.GetProfileIntA("Window", "Left", 0), 10u);

    ASSERT_TRUE(ledger.WriteProfileInt("Window", "Left", 11)) << "the section is opened again";
    EXPECT_EQ(ledger.GetProfileIntA("Window", "Left", 0), 11u);
}

TEST_F(ProfileRead, MissingSectionsAndEntriesGiveTheDefaultsAndCreateNothing) {
    ZelRegistryBase location = Composed();
    for (int nRound = 0; nRound < 2; ++nRound) {
        EXPECT_EQ(location.GetProfileIntA("Window", "Left", 7), 7u);
        EXPECT_EQ(Str(location.GetProfileStringA("Window", "Title", "untitled")), "untitled");
        EXPECT_EQ(Str(location.GetProfileStringA("Window", "Title", nullptr)), "");
        Block block;
        EXPECT_FALSE(location.GetProfileBinary("Window", "Layout", &block.pData, &block.nBytes));
        EXPECT_EQ(block.pData, nullptr) << "nothing left to free";
        EXPECT_EQ(block.nBytes, 0u);
        if (nRound == 0) {
            EXPECT_FALSE(
                ZelRawKeyExists(HKEY_CURRENT_USER, "Software\\Quellmar\\Components\\" + m_strComponent));
            ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, ComposedPath() + "\\Window"), ERROR_SUCCESS);
        }
    }
}

TEST_F(ProfileRead, IntegersTakeAnyDataOfUpToFourBytesFirstByteLowest) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileInt("Numbers", "MinusOne", -1));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, ComposedPath() + "\\Numbers", "MinusOne").data,
              Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(location.GetProfileIntA("Numbers", "MinusOne", 0), 4294967295u);

    const std::string strSection = ComposedPath() + "\\Numbers";
    const BYTE abData[8] = {0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4};
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Binary", REG_BINARY, abData, 4), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Short", REG_BINARY, abData, 2), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Long", REG_BINARY, abData, 8), ERROR_SUCCESS);
    EXPECT_EQ(location.GetProfileIntA("Numbers", "Binary", 0), 0x12345678u);
    EXPECT_EQ(location.GetProfileIntA("Numbers", "Short", 0), 0x5678u);
    EXPECT_EQ(location.GetProfileIntA("Numbers", "Long", 5), 5u);
}

TEST_F(ProfileRead, StringsEndAtTheFirstNulOrTakeDataWithoutOneWhole) {
    ZelRegistryBase location = Composed();
    const std::string strSection = ComposedPath() + "\\Texts";
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Raw", REG_BINARY, "abc", 3), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Split", REG_SZ, "ab\0cd", 6), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Empty", REG_SZ, "", 0), ERROR_SUCCESS);
    EXPECT_EQ(Str(location.GetProfileStringA("Texts", "Raw", "d")), "abc");
    EXPECT_EQ(Str(location.GetProfileStringA("Texts", "Split", "d")), "ab");
    EXPECT_EQ(Str(location.GetProfileStringA("Texts", "Empty", "d")), "");
}

TEST_F(ProfileRead, BinaryBlocksBelongToTheCallerEvenWhenEmpty) {
    ZelRegistryBase location = Composed();
    BYTE abData[3] = {1, 0, 255};
    ASSERT_TRUE(location.WriteProfileBinary("Blocks", "Three", abData, 3));
    ASSERT_TRUE(location.WriteProfileBinary("Blocks", "None", abData, 0));

    Block three;
    ASSERT_TRUE(location.GetProfileBinary("Blocks", "Three", &three.pData, &three.nBytes));
    EXPECT_EQ(three.Data(), Bytes({1, 0, 255}));
    Block none;
    ASSERT_TRUE(location.GetProfileBinary("Blocks", "None", &none.pData, &none.nBytes));
    EXPECT_NE(none.pData, nullptr) << "a block of no bytes, still to be released";
    EXPECT_EQ(none.nBytes, 0u);
    Block missing;
    EXPECT_FALSE(location.GetProfileBinary("Blocks", "Missing", &missing.pData, &missing.nBytes));
    EXPECT_EQ(missing.pData, nullptr);
}

TEST_F(ProfileWrite, StringsAreNulTerminatedAndANullValueDeletesTheEntryOnce) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Texts", "Empty", ""));
    const ZelRawValue empty = ZelRawQuery(HKEY_CURRENT_USER, ComposedPath() + "\\Texts", "Empty");
    EXPECT_EQ(empty.dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.data, Bytes({0}));
    ASSERT_TRUE(location.WriteProfileStringA("Texts", "Title", "Hello"));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, ComposedPath() + "\\Texts", "Title").Text(),
              std::string("Hello", 6));
    EXPECT_EQ(Str(location.GetProfileStringA("Texts", "Title", "d")), "Hello");

    EXPECT_TRUE(location.WriteProfileStringA("Texts", "Title", nullptr));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, ComposedPath() + "\\Texts", "Title").lStatus,
              ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(location.WriteProfileStringA("Texts", "Title", nullptr)) << "nothing left to delete";

    HKEY hKey = location.GetSectionKey("Texts", TRUE);
    EXPECT_TRUE(location.WriteProfileStringA(hKey, "Empty", nullptr));
    EXPECT_FALSE(location.WriteProfileStringA(hKey, "Empty", nullptr));
    location.CloseKey(hKey);
}

TEST_F(KeyHandles, NullHandleWritesOnlyIntegersAsRootValuesNamedByTheJoinedPath) {
    ZelRegistryBase location = Composed();
    const std::string strJoined = ComposedPath() + "\\Entry";
    OwnRootValue(HKEY_CURRENT_USER, strJoined);
    BYTE abData[2] = {1, 2};

    EXPECT_TRUE(location.WriteProfileInt(HKEY{nullptr}, "Entry", 7));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, "", strJoined.c_str()).data, Bytes({7, 0, 0, 0}));
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath()));
    EXPECT_FALSE(location.WriteProfileStringA(HKEY{nullptr}, "Entry", "text"));
    EXPECT_FALSE(location.WriteProfileBinary(HKEY{nullptr}, "Entry", abData, 2));
    EXPECT_EQ(location.GetProfileIntA(HKEY{nullptr}, "Entry", 3), 3u);

    // The other reads resolve a null handle against the location like the integer write.
    Block block;
    EXPECT_TRUE(location.GetProfileBinary(HKEY{nullptr}, "Entry", &block.pData, &block.nBytes));
    EXPECT_EQ(block.Data(), Bytes({7, 0, 0, 0}));
}

TEST_F(EmptyNames, WritesActOnTheUnnamedValueWhileReadsFallBack) {
    ZelRegistryBase location = Composed();
    HKEY hKey = location.GetSectionKey("Section", TRUE);
    ASSERT_NE(hKey, nullptr);
    const std::string strSection = ComposedPath() + "\\Section";
    BYTE abData[2] = {1, 2};
    for (const char* pszEntry : {"", static_cast<const char*>(nullptr)}) {
        ASSERT_TRUE(location.WriteProfileInt(hKey, pszEntry, 5));
        EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, strSection, "").data, Bytes({5, 0, 0, 0}));
        ASSERT_TRUE(location.WriteProfileStringA(hKey, pszEntry, "x"));
        EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, strSection, "").data, Bytes({'x', 0}));
        ASSERT_TRUE(location.WriteProfileBinary(hKey, pszEntry, abData, 2));
        EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, strSection, "").data, Bytes({1, 2}));

        EXPECT_EQ(location.GetProfileIntA(hKey, pszEntry, 9), 9u);
        EXPECT_EQ(Str(location.GetProfileStringA(hKey, pszEntry, "d")), "d");
        Block block;
        EXPECT_FALSE(location.GetProfileBinary(hKey, pszEntry, &block.pData, &block.nBytes));
        EXPECT_EQ(block.pData, nullptr);

        // An empty section names no key below the location.
        EXPECT_EQ(location.GetProfileIntA(pszEntry, "Entry", 4), 4u);
        EXPECT_FALSE(location.WriteProfileInt(pszEntry, "Entry", 1));
    }
    location.CloseKey(hKey);
}

TEST_F(WriteProtection, OnlyKeyHandleReadsWorkOnAProtectedLocation) {
    const std::string strSection = ComposedPath() + "\\Window";
    const BYTE abTen[4] = {10, 0, 0, 0};
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Left", REG_DWORD, abTen, 4), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Title", REG_SZ, "T", 2), ERROR_SUCCESS);
    ZelRegistryBase location = Composed(TRUE);
    BYTE abData[1] = {1};

    HKEY hKey = nullptr;
    ASSERT_EQ(location.OpenKey(hKey, "Window", KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(location.GetProfileIntA(hKey, "Left", 0), 10u);
    EXPECT_EQ(Str(location.GetProfileStringA(hKey, "Title", "d")), "T");
    Block block;
    EXPECT_TRUE(location.GetProfileBinary(hKey, "Left", &block.pData, &block.nBytes));
    EXPECT_FALSE(location.WriteProfileInt(hKey, "Left", 1));
    EXPECT_FALSE(location.WriteProfileStringA(hKey, "Title", "U"));
    EXPECT_FALSE(location.WriteProfileStringA(hKey, "Title", nullptr));
    EXPECT_FALSE(location.WriteProfileBinary(hKey, "Left", abData, 1));
    location.CloseKey(hKey);

    EXPECT_EQ(location.GetProfileIntA("Window", "Left", 0), 0u);
    EXPECT_EQ(Str(location.GetProfileStringA("Window", "Title", "d")), "d");
    Block none;
    EXPECT_FALSE(location.GetProfileBinary("Window", "Left", &none.pData, &none.nBytes));
    EXPECT_FALSE(location.WriteProfileInt("Window", "Left", 1));
    EXPECT_FALSE(location.WriteProfileStringA("Window", "Title", "U"));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(location.WriteProfileBinary("Window", "Left", abData, 1));

    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, strSection, "Left").data, Bytes({10, 0, 0, 0}));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, strSection, "Title").Text(), std::string("T", 2));
}

TEST_F(SectionDeletion, NullEntryDeletesTheSectionBelowTheLocationWithEverythingInIt) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Window", "Title", "T"));
    ASSERT_TRUE(location.WriteProfileInt("Window\\Pane", "Width", 3));
    ASSERT_TRUE(location.WriteProfileInt("Other", "Width", 3));

    EXPECT_TRUE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Window"));
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Other"));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, "ignored")) << "nothing left to delete";
}

TEST_F(SectionDeletion, NeverReachesAKeyOutsideTheLocation) {
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, ComposedPath() + "\\Keep"), ERROR_SUCCESS);
    ZelRegistryBase location = Composed();
    EXPECT_FALSE(location.WriteProfileStringA(m_strFreePath.c_str(), nullptr, nullptr))
        << "not below the location";
    for (const char* pszSection : {"", "\\", "\\\\", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(location.WriteProfileStringA(pszSection, nullptr, nullptr))
            << "section " << (pszSection ? pszSection : "null");
    for (const char* pszPath : {"", "\\", "\\\\\\"}) {
        ZelRegistryBase pathless(pszPath, FALSE, FALSE);
        EXPECT_FALSE(pathless.WriteProfileStringA(m_strFreePath.c_str(), nullptr, nullptr))
            << "path " << pszPath;
    }
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, m_strFreePath));
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Keep"));
}

TEST_F(SectionDeletion, LocalMachineLocationDeletesTheSectionItWroteInCurrentUser) {
    ZelRegistryBase location = Composed(FALSE, TRUE);
    ASSERT_TRUE(location.WriteProfileInt("Window", "Left", 1));
    const bool bMachineCopy = ZelRawCreate(HKEY_LOCAL_MACHINE, ComposedPath() + "\\Window") == ERROR_SUCCESS;

    EXPECT_TRUE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Window"));
    if (bMachineCopy) {
        EXPECT_TRUE(ZelRawKeyExists(HKEY_LOCAL_MACHINE, ComposedPath() + "\\Window"));
    }
}

// Refuses to open any key through OpenKey, the application key included.
class NoApplicationKey : public ZelRegistryBase {
public:
    using ZelRegistryBase::ZelRegistryBase;
    LONG OpenKey(HKEY&, LPCTSTR, DWORD) override { return ERROR_ACCESS_DENIED; }
};

TEST_F(SectionDeletion, NothingIsDeletedWhenTheApplicationKeyCannotBeOpened) {
    NoApplicationKey location(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                              FALSE, FALSE);
    ASSERT_TRUE(location.WriteProfileInt("Window", "Left", 1));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Window"));
}

// Sees no key at all, though the keys are there.
class Blind : public ZelRegistryBase {
public:
    using ZelRegistryBase::ZelRegistryBase;
    BOOL VerifyKey(HKEY, LPCTSTR) override { return FALSE; }
};

// Opens and creates nothing through CreateKey; counts what it closes.
class Sealed : public ZelRegistryBase {
public:
    using ZelRegistryBase::CreateKey;
    using ZelRegistryBase::ZelRegistryBase;
    LONG CreateKey(HKEY&, LPCTSTR, LPTSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, DWORD*) override {
        return ERROR_ACCESS_DENIED;
    }
    void CloseKey(HKEY& hKey) override {
        ++m_nClosed;
        ZelRegistryBase::CloseKey(hKey);
    }
    int m_nClosed = 0;
};

// The value grows between the size query and the data query.
class Growing : public ZelRegistryBase {
public:
    using ZelRegistryBase::ZelRegistryBase;
    LONG QueryValue(HKEY hKey, LPCTSTR pszValue, DWORD* pdwType, BYTE* pData, DWORD* pcbData) override {
        const LONG lStatus = ZelRegistryBase::QueryValue(hKey, pszValue, pdwType, pData, pcbData);
        return pData != nullptr && lStatus == ERROR_SUCCESS ? ERROR_MORE_DATA : lStatus;
    }
};

TEST_F(VirtualDispatch, ReplacedQueryValueFailingTheDataQueryLeavesNoBlockAndGivesTheDefault) {
    BYTE abData[3] = {1, 2, 3};
    ASSERT_TRUE(Composed().WriteProfileBinary("Blocks", "Three", abData, 3));
    Growing location(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE,
                     FALSE);
    Block block;
    EXPECT_FALSE(location.GetProfileBinary("Blocks", "Three", &block.pData, &block.nBytes));
    EXPECT_EQ(block.pData, nullptr) << "released by the accessor";
    EXPECT_EQ(Str(location.GetProfileStringA("Blocks", "Three", "d")), "d");
}

TEST_F(VirtualDispatch, ReplacedVerifyKeyHidesEverySectionFromReadingAndDeleting) {
    ASSERT_TRUE(Composed().WriteProfileInt("Window", "Left", 10));
    Blind location(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    EXPECT_EQ(location.GetProfileIntA("Window", "Left", 0), 0u);
    EXPECT_EQ(Str(location.GetProfileStringA("Window", "Left", "d")), "d");
    Block block;
    EXPECT_FALSE(location.GetProfileBinary("Window", "Left", &block.pData, &block.nBytes));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_TRUE(location.WriteProfileInt("Window", "Left", 11)) << "writing verifies nothing";
    EXPECT_EQ(Composed().GetProfileIntA("Window", "Left", 0), 11u);
}

TEST_F(VirtualDispatch, ReplacedCreateKeyFailsEverySectionAccessorAndCloseKeyClosesTheirKeys) {
    ASSERT_TRUE(Composed().WriteProfileInt("Window", "Left", 10));
    Sealed location(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    EXPECT_EQ(location.GetProfileIntA("Window", "Left", 0), 0u);
    EXPECT_FALSE(location.WriteProfileInt("Window", "Left", 11));
    EXPECT_FALSE(location.WriteProfileStringA("Window", "Title", "T"));
    EXPECT_EQ(location.GetSectionKey("Window", TRUE), nullptr);
    EXPECT_EQ(location.m_nClosed, 0);
    EXPECT_EQ(Composed().GetProfileIntA("Window", "Left", 0), 10u);

    // Section deletion opens the application key, and closes it through the override.
    EXPECT_TRUE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_EQ(location.m_nClosed, 1);
}

TEST_F(KeyHandles, AllocationFailuresAnywhereLeaveNoKeyOpen) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Window", "Title", "T"));
    ASSERT_TRUE(location.WriteProfileInt("Window", "Left", 10));
    const auto handlesBefore = ZelOpenKeyHandleCount();
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GetProfileStringA", [&] { return Str(location.GetProfileStringA("Window", "Title", "d")) == "T"; }},
        {"GetProfileIntA", [&] { return location.GetProfileIntA("Window", "Left", 0) == 10; }},
        {"WriteProfileStringA",
         [&] { return location.WriteProfileStringA("Window", "Title", "T") != FALSE; }},
        {"section deletion",
         [&] { return location.WriteProfileStringA("Window", nullptr, nullptr) != FALSE; }},
    };
    for (const auto& [pszName, call] : calls) {
        int nFailures = 0;
        for (unsigned long nth = 1;; ++nth) {
            AfxTestFailAllocation(nth);
            bool bDone = false;
            try {
                bDone = call();
            } catch (CMemoryException* e) {
                e->Delete();
                ++nFailures;
            }
            AfxTestFailAllocation(0);
            EXPECT_EQ(ZelOpenKeyHandleCount(), handlesBefore) << pszName << ", allocation " << nth;
            if (bDone) break;
            ASSERT_LT(nth, 100u) << pszName << " never succeeded";
        }
        EXPECT_GT(nFailures, 2) << pszName;
    }
}

}  // namespace
