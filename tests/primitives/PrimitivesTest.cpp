// The key and value primitives and the key-opening operations against a real registry: where
// names land, what write protection refuses, and which calls go through the virtual slots.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "ZelRegistryBase.h"
#include "platform/afx/AfxTestHooks.h"
#include "support/ZelExceptionCheck.h"
#include "support/ZelRegistryFixture.h"

namespace {

const BYTE kOne[4] = {1, 0, 0, 0};

class Primitives : public ZelRegistryTest {
protected:
    LONG Status(const std::string& strPath, const char* pszName) const {
        return ZelRawQuery(HKEY_CURRENT_USER, strPath, pszName).lStatus;
    }
    // Whether the root holds a value of this name (a value named like a path, not a key).
    LONG RootValue(const std::string& strName) const { return Status("", strName.c_str()); }
};

TEST_F(Primitives, ANullHandleTakesTheNameBelowTheLocationInCurrentUserWhateverTheLocalMachineFlag) {
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, ComposedPath() + "\\Sub"), ERROR_SUCCESS);
    ZelRegistryBase location = Composed(FALSE, TRUE);
    for (const char* pszName : {"Sub", "\\Sub", "Sub\\", "\\Sub\\"}) {
        HKEY hKey = nullptr;
        ASSERT_EQ(location.OpenKey(hKey, pszName, KEY_READ), ERROR_SUCCESS) << pszName;
        EXPECT_EQ(location.QueryValue(hKey, "Marker", nullptr, nullptr, nullptr), ERROR_SUCCESS) << pszName;
        location.CloseKey(hKey);
    }
    HKEY hKey = nullptr;
    EXPECT_EQ(location.OpenKey(hKey, "Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hKey, nullptr);
}

TEST_F(Primitives, ValueNamesAreJoinedToThePathWithOneBackslashTakenAtEachEnd) {
    // A path ending in a backslash and a name starting with one leave a single separator.
    const std::string strJoined = m_strFreePath + "\\Entry";
    OwnRootValue(HKEY_CURRENT_USER, strJoined);
    ZelRegistryBase trailing((m_strFreePath + "\\").c_str(), FALSE, FALSE);
    ASSERT_EQ(trailing.SetValue(nullptr, "\\Entry", REG_DWORD, kOne, 4), ERROR_SUCCESS);
    EXPECT_EQ(RootValue(strJoined), ERROR_SUCCESS);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, m_strFreePath)) << "a value, not a key, was asked for";

    // Without a path the name is joined to nothing, and keeps the separator.
    const std::string strBare = "\\" + m_strComponent;
    OwnRootValue(HKEY_CURRENT_USER, strBare);
    ASSERT_EQ(ZelRegistryBase().SetValue(nullptr, m_strComponent.c_str(), REG_DWORD, kOne, 4), ERROR_SUCCESS);
    EXPECT_EQ(RootValue(strBare), ERROR_SUCCESS);

    // Only one backslash goes at each end, with or without a handle.
    const std::string strDoubled = m_strFreePath + "\\\\Entry\\";
    OwnRootValue(HKEY_CURRENT_USER, strDoubled);
    ZelRegistryBase location(m_strFreePath.c_str(), FALSE, FALSE);
    ASSERT_EQ(location.SetValue(nullptr, "\\\\Entry\\\\", REG_DWORD, kOne, 4), ERROR_SUCCESS);
    EXPECT_EQ(RootValue(strDoubled), ERROR_SUCCESS);
    HKEY hKey = location.GetSectionKey("Section", TRUE);
    ASSERT_NE(hKey, nullptr);
    ASSERT_EQ(location.SetValue(hKey, "\\\\Inner", REG_DWORD, kOne, 4), ERROR_SUCCESS);
    ASSERT_EQ(location.SetValue(hKey, "\\", REG_DWORD, kOne, 4), ERROR_SUCCESS);
    location.CloseKey(hKey);
    EXPECT_EQ(Status(m_strFreePath + "\\Section", "\\Inner"), ERROR_SUCCESS);
    EXPECT_EQ(Status(m_strFreePath + "\\Section", ""), ERROR_SUCCESS) << "a lone backslash names the unnamed value";
}

TEST_F(Primitives, OpenKeyBelowAGivenHandleTrimsTheNameAndLeavesTheHandleOnFailure) {
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath + "\\Child"), ERROR_SUCCESS);
    ZelRegistryBase location(m_strFreePath.c_str(), FALSE, FALSE);
    HKEY hParent = location.GetSectionKey(HKEY_CURRENT_USER, m_strFreePath.c_str(), FALSE);
    ASSERT_NE(hParent, nullptr);

    HKEY hChild = hParent;
    EXPECT_EQ(location.OpenKey(hChild, "Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hChild, hParent);
    ASSERT_EQ(location.OpenKey(hChild, "\\Child\\", KEY_READ), ERROR_SUCCESS);
    EXPECT_NE(hChild, hParent);
    HKEY hSame = hParent;  // a lone backslash: a new handle on the key itself
    ASSERT_EQ(location.OpenKey(hSame, "\\", KEY_READ), ERROR_SUCCESS);
    EXPECT_NE(hSame, hParent);
    UINT nSubKeys = 0;
    EXPECT_EQ(location.QueryInfoKey(hSame, &nSubKeys, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(nSubKeys, 1u);
    EXPECT_EQ(location.QueryInfoKey(hParent, &nSubKeys, nullptr), ERROR_SUCCESS) << "the parent stays open";
    EXPECT_TRUE(location.VerifyKey(hParent, "\\"));
    for (HKEY* pKey : {&hChild, &hSame, &hParent}) location.CloseKey(*pKey);
}

TEST_F(Primitives, EmptyNamesAreRefusedForQueriesAndKeysWhileValueWritesAddressTheUnnamedValue) {
    ZelRegistryBase location = Composed();
    HKEY hKey = location.GetSectionKey("Section", TRUE);
    ASSERT_NE(hKey, nullptr);
    const std::string strSection = ComposedPath() + "\\Section";
    for (const char* pszName : {"", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(location.SetValue(hKey, pszName, REG_DWORD, kOne, 4), ERROR_SUCCESS);
        EXPECT_EQ(Status(strSection, ""), ERROR_SUCCESS);
        DWORD dwType = 77;
        BYTE abData[4] = {9, 9, 9, 9};
        DWORD cbData = sizeof(abData);
        EXPECT_EQ(location.QueryValue(hKey, pszName, &dwType, abData, &cbData), ERROR_NO_DATA);
        EXPECT_EQ(std::make_tuple(dwType, abData[0], cbData), std::make_tuple(77u, BYTE{9}, 4u)) << "nothing written";
        ASSERT_EQ(location.DeleteValue(hKey, pszName), ERROR_SUCCESS);
        EXPECT_EQ(Status(strSection, ""), ERROR_FILE_NOT_FOUND);

        // Key names: nothing is created, opened or deleted, and the handle stays as it was.
        HKEY hSame = hKey;
        EXPECT_EQ(location.CreateKey(hSame, pszName, nullptr, 0, KEY_READ, nullptr, nullptr), ERROR_NO_DATA);
        EXPECT_EQ(hSame, hKey);
        EXPECT_FALSE(location.VerifyKey(hKey, pszName));
        EXPECT_EQ(location.DeleteKey(hKey, pszName, TRUE), ERROR_NO_DATA);
        HKEY hNull = nullptr;
        EXPECT_NE(location.OpenKey(hNull, pszName, KEY_READ), ERROR_SUCCESS);
        EXPECT_EQ(hNull, nullptr);
    }
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, strSection));
    location.CloseKey(hKey);
}

TEST_F(Primitives, DeleteKeyTakesTheWholeSubTreeWithEitherFlagAndReportsAMissingKey) {
    ZelRegistryBase location = Composed();
    for (BOOL bFlag : {TRUE, FALSE}) {
        ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, ComposedPath() + "\\Tree\\Leaf\\Deeper"), ERROR_SUCCESS);
        EXPECT_EQ(location.DeleteKey(nullptr, "Tree", bFlag), ERROR_SUCCESS);
        EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Tree"));
        EXPECT_EQ(location.DeleteKey(nullptr, "Tree", bFlag), ERROR_NO_DATA);
    }
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath()));
}

TEST_F(Primitives, ResetHandleClosesWhatItHoldsAndCloseKeyClosesOnce) {
    ZelRegistryBase location = Composed();
    const auto handlesBefore = ZelOpenKeyHandleCount();
    HKEY hKey = location.GetSectionKey("Section", TRUE);
    ASSERT_NE(hKey, nullptr);
    location.ResetHandle(hKey, TRUE);
    EXPECT_EQ(hKey, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ZelOpenKeyHandleCount(), handlesBefore);
    location.ResetHandle(hKey, FALSE);
    EXPECT_EQ(hKey, HKEY_CURRENT_USER);

    hKey = location.GetSectionKey("Section", FALSE);
    location.CloseKey(hKey);
    EXPECT_EQ(hKey, nullptr);
    location.CloseKey(hKey);
    EXPECT_EQ(hKey, nullptr);
}

TEST_F(Primitives, WriteProtectionRefusesCreatingKeysAndSettingValuesButStillReadsAndDeletes) {
    const std::string strSection = ComposedPath() + "\\Section";
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, strSection + "\\Sub"), ERROR_SUCCESS);
    ASSERT_EQ(ZelRawSet(HKEY_CURRENT_USER, strSection, "Gone", REG_DWORD, kOne, 4), ERROR_SUCCESS);
    ZelRegistryBase location = Composed(TRUE);

    EXPECT_EQ(location.SetValue(nullptr, "Value", REG_DWORD, kOne, 4), ERROR_ACCESS_DENIED);
    HKEY hKey = nullptr;
    EXPECT_EQ(location.CreateKey(hKey, "Section", nullptr, 0, KEY_READ, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(hKey, nullptr);
    EXPECT_EQ(location.GetSectionKey("Section", FALSE), nullptr) << "refused even for reading";
    EXPECT_EQ(location.GetSectionKey(HKEY_CURRENT_USER, strSection.c_str(), FALSE), nullptr);

    ASSERT_EQ(location.OpenKey(hKey, "Section", KEY_READ | KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(location.QueryValue(hKey, "Gone", nullptr, nullptr, nullptr), ERROR_SUCCESS);
    char szName[8] = {};
    EXPECT_EQ(location.EnumKey(hKey, 0, szName, sizeof(szName)), ERROR_SUCCESS);
    EXPECT_STREQ(szName, "Sub");
    EXPECT_EQ(location.SetValue(hKey, "New", REG_DWORD, kOne, 4), ERROR_ACCESS_DENIED);
    EXPECT_EQ(location.DeleteValue(hKey, "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(location.DeleteKey(hKey, "Sub", FALSE), ERROR_SUCCESS);
    location.CloseKey(hKey);
    EXPECT_EQ(Status(strSection, "Gone"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, strSection + "\\Sub"));
}

TEST_F(Primitives, TheApplicationKeyIsTheRootThatTheLocalMachineFlagChooses) {
    ASSERT_EQ(ZelRawCreate(HKEY_CURRENT_USER, m_strFreePath), ERROR_SUCCESS);
    const std::string strMachineOnly = "Software\\Quellmar\\Components\\" + m_strComponent;
    const bool bMachineWritable = ZelRawCreate(HKEY_LOCAL_MACHINE, strMachineOnly) == ERROR_SUCCESS;
    for (BOOL bLocalMachine : {FALSE, TRUE}) {
        ZelRegistryBase location("Elsewhere", FALSE, bLocalMachine);
        HKEY hKey = location.GetAppRegistryKey();
        ASSERT_NE(hKey, nullptr);
        EXPECT_EQ(location.VerifyKey(hKey, m_strFreePath.c_str()), !bLocalMachine);
        EXPECT_EQ(location.VerifyKey(hKey, strMachineOnly.c_str()), bMachineWritable && bLocalMachine);
        location.CloseKey(hKey);
    }
}

TEST_F(Primitives, ASectionKeyForReadingCreatesNothingAndForWritingCreatesEveryLevel) {
    ZelRegistryBase location = Composed();
    EXPECT_EQ(location.GetSectionKey("Window", FALSE), nullptr);
    EXPECT_FALSE(ZelRawKeyExists(HKEY_CURRENT_USER, "Software\\Quellmar\\Components\\" + m_strComponent));

    HKEY hWindow = location.GetSectionKey("Window", TRUE);
    ASSERT_NE(hWindow, nullptr);
    HKEY hPane = location.GetSectionKey(hWindow, "Pane", TRUE);
    ASSERT_NE(hPane, nullptr);
    EXPECT_TRUE(ZelRawKeyExists(HKEY_CURRENT_USER, ComposedPath() + "\\Window\\Pane"));
    UINT nSubKeys = 0;
    EXPECT_EQ(location.QueryInfoKey(hWindow, &nSubKeys, nullptr), ERROR_SUCCESS) << "the parent stays open";
    EXPECT_EQ(nSubKeys, 1u);
    location.CloseKey(hPane);
    location.CloseKey(hWindow);

    HKEY hRead = location.GetSectionKey("Window", FALSE);  // opened for reading only
    ASSERT_NE(hRead, nullptr);
    EXPECT_EQ(RegSetValueExA(hRead, "Left", 0, REG_DWORD, kOne, 4), ERROR_ACCESS_DENIED);
    location.CloseKey(hRead);
}

TEST_F(Primitives, ALocationThatLostItsStateOpensAndWritesNothing) {
    // Empty texts hold no buffer, so the first one set allocates, and fails.
    ZelRegistryBase location;
    AfxTestFailAllocation(1);
    ZelExpectConverted(
        [&] { location.Create("Other", "1.0", ZelRegistryBase::eSettings, nullptr, nullptr, FALSE, FALSE); });
    AfxTestFailAllocation(0);

    EXPECT_EQ(location.GetAppRegistryKey(), nullptr);
    HKEY hKey = nullptr;
    EXPECT_EQ(location.CreateKey(hKey, "Section", nullptr, 0, KEY_READ, nullptr, nullptr), ERROR_NO_DATA);
    EXPECT_EQ(location.SetValue(HKEY_CURRENT_USER, m_strComponent.c_str(), REG_DWORD, kOne, 4), ERROR_SUCCESS);
    EXPECT_EQ(RootValue(m_strComponent), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(location.VerifyKey(HKEY_CURRENT_USER, "Software"));
    EXPECT_FALSE(location.WriteProfileStringA("Section", "Entry", "text"));
}

// Records the virtual calls that reach it, in order, and passes each on.
class Recorder : public ZelRegistryBase {
public:
    explicit Recorder(LPCTSTR pszComponent)
        : ZelRegistryBase(pszComponent, "2.0", eOptions, nullptr, nullptr, FALSE, FALSE) {}

    void ResetHandle(HKEY& h, BOOL bMachine) override { Log("Reset"); ZelRegistryBase::ResetHandle(h, bMachine); }
    BOOL VerifyKey(HKEY h, LPCTSTR psz) override { Log("Verify"); return ZelRegistryBase::VerifyKey(h, psz); }
    LONG CreateKey(HKEY& h, LPCTSTR psz, LPTSTR pszClass, DWORD dwOptions, REGSAM sam, LPSECURITY_ATTRIBUTES pSecurity,
                   DWORD* pdwDisposition) override {
        Log("Create");
        return ZelRegistryBase::CreateKey(h, psz, pszClass, dwOptions, sam, pSecurity, pdwDisposition);
    }
    BOOL CreateKey(HKEY& h, LPCTSTR psz, DWORD sam) override {
        Log("CreateShort");
        return ZelRegistryBase::CreateKey(h, psz, sam);
    }
    LONG OpenKey(HKEY& h, LPCTSTR psz, DWORD sam) override {
        Log("Open");
        return ZelRegistryBase::OpenKey(h, psz, sam);
    }
    void CloseKey(HKEY& h) override { Log("Close"); ZelRegistryBase::CloseKey(h); }
    // The calls recorded since the last Take, separated by blanks.
    std::string Take() { return std::exchange(m_strCalls, std::string()); }

private:
    void Log(const char* pszCall) { m_strCalls += (m_strCalls.empty() ? "" : " ") + std::string(pszCall); }
    std::string m_strCalls;
};

TEST_F(Primitives, PrimitivesAndKeyOpeningReachEachOtherThroughTheVirtualSlots) {
    Recorder recorder(m_strComponent.c_str());
    HKEY hKey = recorder.GetSectionKey("Section", TRUE);
    EXPECT_EQ(recorder.Take(), "CreateShort Create Reset");
    recorder.ResetHandle(hKey, FALSE);
    EXPECT_EQ(recorder.Take(), "Reset Close");
    hKey = recorder.GetSectionKey("Section", FALSE);
    EXPECT_EQ(recorder.Take(), "Verify Reset CreateShort Create Reset");
    recorder.CloseKey(hKey);
    EXPECT_EQ(recorder.Take(), "Close");
    hKey = recorder.GetAppRegistryKey();
    EXPECT_EQ(recorder.Take(), "Open");
    recorder.CloseKey(hKey);
    recorder.Take();
    EXPECT_EQ(recorder.DeleteKey(nullptr, "Section", FALSE), ERROR_SUCCESS);
    EXPECT_EQ(recorder.Take(), "Reset Verify");
}

}  // namespace
