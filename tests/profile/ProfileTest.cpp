// The profile accessors of both families against a real registry: where values land, every
// fallback, the deletion rules, write protection, overriding subclasses, and that no key stays
// open, also when an allocation fails half-way.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ZelRegistryBase.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelRegistryFixture.h"

namespace {

using Bytes = std::vector<BYTE>;
using Value = std::pair<DWORD, Bytes>;

std::string Str(const CString& str) { return static_cast<LPCTSTR>(str); }

// The block GetProfileBinary hands over, released as its contract says. It starts out pointing
// at a marker, so that an accessor that leaves it alone is noticed.
struct Block {
    static inline BYTE s_unset = 0;
    BYTE* pData = &s_unset;
    UINT nBytes = 99;
    ~Block() {
        if (pData != &s_unset) delete[] pData;
    }
    Bytes Data() const { return Bytes(pData, pData + nBytes); }
};

// What the three readers give for an entry, with the defaults 7 and "d": "<int> <string> none"
// where GetProfileBinary fails and leaves no block to release.
template <class Section>
std::string ReadAll(ZelRegistryBase& location, Section section, const char* pszEntry) {
    Block block;
    const BOOL bBinary = location.GetProfileBinary(section, pszEntry, &block.pData, &block.nBytes);
    return std::to_string(location.GetProfileIntA(section, pszEntry, 7)) + " " +
           Str(location.GetProfileStringA(section, pszEntry, "d")) +
           (bBinary ? " block read" : block.pData == nullptr ? " none" : " failed, block left");
}

class Profile : public ZelRegistryTest {
protected:
    // A value in a section of the composed location, as its type and bytes.
    Value Raw(const char* pszSection, const char* pszName) const {
        const ZelRawValue value = ZelRawQuery(HKEY_CURRENT_USER, ComposedPath() + "\\" + pszSection, pszName);
        return {value.lStatus == ERROR_SUCCESS ? value.dwType : REG_NONE, value.data};
    }
    void SetRaw(const char* pszSection, const char* pszName, DWORD dwType, const void* pData, DWORD cbData) {
        ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, ComposedPath() + "\\" + pszSection, pszName, dwType, pData, cbData),
                  ERROR_SUCCESS);
    }
    bool Exists(const char* pszSection) const {
        return ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\" + pszSection);
    }
    // A location of the given class at this test's composed place.
    template <class T>
    T Make() const {
        return T(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
    }
};

TEST_F(Profile, MissingSectionsAndEntriesGiveTheDefaultsAndCreateNothing) {
    ZelRegistryBase location = Composed();
    for (int nRound = 0; nRound < 2; ++nRound) {
        EXPECT_EQ(ReadAll(location, "Window", "Left"), "7 d none");
        EXPECT_EQ(Str(location.GetProfileStringA("Window", "Title", nullptr)), "");
        Block block;
        EXPECT_FALSE(location.GetProfileBinary("Window", "Left", &block.pData, &block.nBytes));
        EXPECT_EQ(block.nBytes, 0u);
        if (nRound == 0) {
            EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, "Software\\Quellmar\\Components\\" + m_strComponent));
            ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, ComposedPath() + "\\Window"), ERROR_SUCCESS);
        }
    }
}

TEST_F(Profile, IntegersTakeUpToFourBytesLowestFirstAndStringsEndAtTheFirstNul) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileInt("Data", "MinusOne", -1));
    EXPECT_EQ(Raw("Data", "MinusOne"), (Value{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}));

    const BYTE abData[8] = {0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4};
    SetRaw("Data", "Four", REG_BINARY, abData, 4);
    SetRaw("Data", "Two", REG_BINARY, abData, 2);
    SetRaw("Data", "Eight", REG_BINARY, abData, 8);
    EXPECT_EQ(location.GetProfileIntA("Data", "Four", 0), 0x12345678u);
    EXPECT_EQ(location.GetProfileIntA("Data", "Two", 0), 0x5678u);
    EXPECT_EQ(location.GetProfileIntA("Data", "Eight", 5), 5u);

    SetRaw("Data", "Raw", REG_BINARY, "abc", 3);
    SetRaw("Data", "Split", REG_SZ, "ab\0cd", 6);
    SetRaw("Data", "Empty", REG_SZ, "", 0);
    EXPECT_EQ(Str(location.GetProfileStringA("Data", "Raw", "d")), "abc");
    EXPECT_EQ(Str(location.GetProfileStringA("Data", "Split", "d")), "ab");
    EXPECT_EQ(Str(location.GetProfileStringA("Data", "Empty", "d")), "");
}

TEST_F(Profile, BinaryBlocksBelongToTheCallerEvenWhenEmpty) {
    ZelRegistryBase location = Composed();
    BYTE abData[3] = {1, 0, 255};
    ASSERT_TRUE(location.WriteProfileBinary("Blocks", "Three", abData, 3));
    ASSERT_TRUE(location.WriteProfileBinary("Blocks", "None", abData, 0));
    EXPECT_EQ(Raw("Blocks", "Three"), (Value{REG_BINARY, {1, 0, 255}}));
    Block three;
    ASSERT_TRUE(location.GetProfileBinary("Blocks", "Three", &three.pData, &three.nBytes));
    EXPECT_EQ(three.Data(), (Bytes{1, 0, 255}));
    Block none;
    ASSERT_TRUE(location.GetProfileBinary("Blocks", "None", &none.pData, &none.nBytes));
    EXPECT_NE(none.pData, nullptr) << "a block of no bytes, still to be released";
    EXPECT_EQ(none.nBytes, 0u);
}

TEST_F(Profile, StringsAreNulTerminatedAndANullValueDeletesTheEntryOnce) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Texts", "Empty", ""));
    ASSERT_TRUE(location.WriteProfileStringA("Texts", "Title", "Hi"));
    EXPECT_EQ(Raw("Texts", "Empty"), (Value{REG_SZ, {0}}));
    EXPECT_EQ(Raw("Texts", "Title"), (Value{REG_SZ, {'H', 'i', 0}}));

    EXPECT_TRUE(location.WriteProfileStringA("Texts", "Title", nullptr));
    EXPECT_FALSE(location.WriteProfileStringA("Texts", "Title", nullptr)) << "nothing left to delete";
    HKEY hKey = location.GetSectionKey("Texts", TRUE);
    EXPECT_TRUE(location.WriteProfileStringA(hKey, "Empty", nullptr));
    EXPECT_FALSE(location.WriteProfileStringA(hKey, "Empty", nullptr));
    location.CloseKey(hKey);
}

TEST_F(Profile, NullHandleWritesOnlyIntegersAsRootValuesNamedByTheJoinedPath) {
    ZelRegistryBase location = Composed();
    const std::string strJoined = ComposedPath() + "\\Entry";
    OwnRootValue(HKEY_CURRENT_USER, strJoined);
    BYTE abData[2] = {1, 2};
    EXPECT_TRUE(location.WriteProfileInt(HKEY{nullptr}, "Entry", 7));
    EXPECT_EQ(ZelRawQuery(HKEY_CURRENT_USER, "", strJoined.c_str()).data, (Bytes{7, 0, 0, 0}));
    EXPECT_FALSE(location.WriteProfileStringA(HKEY{nullptr}, "Entry", "text"));
    EXPECT_FALSE(location.WriteProfileBinary(HKEY{nullptr}, "Entry", abData, 2));
    // The integer read takes the default; the others resolve the handle like the integer write.
    EXPECT_EQ(location.GetProfileIntA(HKEY{nullptr}, "Entry", 3), 3u);
    Block block;
    EXPECT_TRUE(location.GetProfileBinary(HKEY{nullptr}, "Entry", &block.pData, &block.nBytes));
    EXPECT_EQ(block.Data(), (Bytes{7, 0, 0, 0}));
}

TEST_F(Profile, EmptyEntryNamesWriteTheUnnamedValueWhileReadsFallBack) {
    ZelRegistryBase location = Composed();
    HKEY hKey = location.GetSectionKey("Section", TRUE);
    ASSERT_NE(hKey, nullptr);
    BYTE abData[2] = {1, 2};
    for (const char* pszEntry : {"", static_cast<const char*>(nullptr)}) {
        ASSERT_TRUE(location.WriteProfileInt(hKey, pszEntry, 5));
        EXPECT_EQ(Raw("Section", ""), (Value{REG_DWORD, {5, 0, 0, 0}}));
        ASSERT_TRUE(location.WriteProfileStringA(hKey, pszEntry, "x"));
        EXPECT_EQ(Raw("Section", ""), (Value{REG_SZ, {'x', 0}}));
        ASSERT_TRUE(location.WriteProfileBinary(hKey, pszEntry, abData, 2));
        EXPECT_EQ(Raw("Section", ""), (Value{REG_BINARY, {1, 2}}));
        EXPECT_EQ(ReadAll(location, hKey, pszEntry), "7 d none");
        // An empty section names no key below the location.
        EXPECT_EQ(location.GetProfileIntA(pszEntry, "Entry", 4), 4u);
        EXPECT_FALSE(location.WriteProfileInt(pszEntry, "Entry", 1));
    }
    location.CloseKey(hKey);
}

TEST_F(Profile, OnlyKeyHandleReadsWorkOnAProtectedLocation) {
    const BYTE abTen[4] = {10, 0, 0, 0};
    SetRaw("Window", "Left", REG_DWORD, abTen, 4);
    SetRaw("Window", "Title", REG_SZ, "T", 2);
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

    EXPECT_EQ(ReadAll(location, "Window", "Left"), "7 d none");
    EXPECT_FALSE(location.WriteProfileInt("Window", "Left", 1));
    EXPECT_FALSE(location.WriteProfileStringA("Window", "Title", "U"));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(location.WriteProfileBinary("Window", "Left", abData, 1));
    EXPECT_EQ(Raw("Window", "Left"), (Value{REG_DWORD, {10, 0, 0, 0}}));
    EXPECT_EQ(Raw("Window", "Title"), (Value{REG_SZ, {'T', 0}}));
}

TEST_F(Profile, ANullEntryDeletesTheSectionBelowTheLocationWithEverythingInItAndNothingElse) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Window", "Title", "T"));
    ASSERT_TRUE(location.WriteProfileInt("Window\\Pane", "Width", 3));
    ASSERT_TRUE(location.WriteProfileInt("Other", "Width", 3));
    EXPECT_TRUE(location.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(Exists("Window"));
    EXPECT_TRUE(Exists("Other"));
    EXPECT_FALSE(location.WriteProfileStringA("Window", nullptr, "ignored")) << "nothing left to delete";

    // Never a key outside the location.
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
    EXPECT_FALSE(location.WriteProfileStringA(m_strFreePath.c_str(), nullptr, nullptr));
    for (const char* pszSection : {"", "\\", "\\\\", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(location.WriteProfileStringA(pszSection, nullptr, nullptr)) << (pszSection ? pszSection : "null");
    for (const char* pszPath : {"", "\\", "\\\\\\"}) {
        ZelRegistryBase pathless(pszPath, FALSE, FALSE);
        EXPECT_FALSE(pathless.WriteProfileStringA(m_strFreePath.c_str(), nullptr, nullptr)) << "path " << pszPath;
    }
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, m_strFreePath));
    EXPECT_TRUE(Exists("Other"));

    // A local machine location deletes the section it wrote in the current user's hive.
    ZelRegistryBase machine = Composed(FALSE, TRUE);
    ASSERT_TRUE(machine.WriteProfileInt("Window", "Left", 1));
    const bool bMachineCopy = ZelRawCreate(HKEY_LOCAL_MACHINE, ComposedPath() + "\\Window") == ERROR_SUCCESS;
    EXPECT_TRUE(machine.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_FALSE(Exists("Window"));
    EXPECT_TRUE(!bMachineCopy || ZelRawKeyExists(HKEY_LOCAL_MACHINE, ComposedPath() + "\\Window"));
}

TEST_F(Profile, OverridingSubclassesAreReachedThroughTheVirtualSlots) {
    ASSERT_TRUE(Composed().WriteProfileInt("Window", "Left", 10));

    // Refuses to open any key through OpenKey, the application key included: nothing is deleted.
    struct NoApplicationKey : ZelRegistryBase {
        using ZelRegistryBase::ZelRegistryBase;
        LONG OpenKey(HKEY&, LPCTSTR, DWORD) override { return ERROR_ACCESS_DENIED; }
    };
    EXPECT_FALSE(Make<NoApplicationKey>().WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_TRUE(Exists("Window"));

    // The value grows between the size query and the data query: no block, the defaults.
    struct Growing : ZelRegistryBase {
        using ZelRegistryBase::ZelRegistryBase;
        LONG QueryValue(HKEY hKey, LPCTSTR pszValue, DWORD* pdwType, BYTE* pData, DWORD* pcbData) override {
            const LONG lStatus = ZelRegistryBase::QueryValue(hKey, pszValue, pdwType, pData, pcbData);
            return pData != nullptr && lStatus == ERROR_SUCCESS ? ERROR_MORE_DATA : lStatus;
        }
    } growing = Make<Growing>();
    EXPECT_EQ(ReadAll(growing, "Window", "Left"), "7 d none");

    // Sees no key at all: every section is hidden from reading and deleting, not from writing.
    struct Blind : ZelRegistryBase {
        using ZelRegistryBase::ZelRegistryBase;
        BOOL VerifyKey(HKEY, LPCTSTR) override { return FALSE; }
    } blind = Make<Blind>();
    EXPECT_EQ(ReadAll(blind, "Window", "Left"), "7 d none");
    EXPECT_FALSE(blind.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_TRUE(blind.WriteProfileInt("Window", "Left", 11));
    EXPECT_EQ(Raw("Window", "Left"), (Value{REG_DWORD, {11, 0, 0, 0}}));

    // Creates nothing through CreateKey: every section accessor fails; counts what it closes.
    struct Sealed : ZelRegistryBase {
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
    } sealed = Make<Sealed>();
    EXPECT_EQ(sealed.GetProfileIntA("Window", "Left", 0), 0u);
    EXPECT_FALSE(sealed.WriteProfileInt("Window", "Left", 12));
    EXPECT_FALSE(sealed.WriteProfileStringA("Window", "Title", "T"));
    EXPECT_EQ(sealed.m_nClosed, 0);
    // Section deletion opens the application key, and closes it through the override.
    EXPECT_TRUE(sealed.WriteProfileStringA("Window", nullptr, nullptr));
    EXPECT_EQ(sealed.m_nClosed, 1);
}

TEST_F(Profile, AllocationFailuresAnywhereLeaveNoKeyOpen) {
    ZelRegistryBase location = Composed();
    ASSERT_TRUE(location.WriteProfileStringA("Window", "Title", "T"));
    ASSERT_TRUE(location.WriteProfileInt("Window", "Left", 10));
    const auto handlesBefore = ZelOpenKeyHandleCount();
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"GetProfileStringA", [&] { return Str(location.GetProfileStringA("Window", "Title", "d")) == "T"; }},
        {"GetProfileIntA", [&] { return location.GetProfileIntA("Window", "Left", 0) == 10; }},
        {"WriteProfileStringA", [&] { return location.WriteProfileStringA("Window", "Title", "T") != FALSE; }},
        {"section deletion", [&] { return location.WriteProfileStringA("Window", nullptr, nullptr) != FALSE; }},
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
