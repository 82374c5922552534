// Tests against the registry: a fixture that gives every test registry places of its own,
// removes them afterwards and checks that the test left no key handle open, and raw reads
// and writes through the Win32 functions alone, to check what the library did.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZelRegistryBase.h"
#include "support/ZelHandleCount.h"

inline bool ZelRawKeyExists(HKEY hRoot, const std::string& strPath) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

// A value's type and data, read with one open, two queries and one close.
struct ZelRawValue {
    LONG lStatus = ERROR_FILE_NOT_FOUND;
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;

    std::string Text() const { return std::string(data.begin(), data.end()); }
};

inline ZelRawValue ZelRawQuery(HKEY hRoot, const std::string& strPath, const char* pszName) {
    ZelRawValue value;
    HKEY hKey = nullptr;
    value.lStatus = RegOpenKeyExA(hRoot, strPath.c_str(), 0, KEY_READ, &hKey);
    if (value.lStatus != ERROR_SUCCESS) return value;
    DWORD cbData = 0;
    value.lStatus = RegQueryValueExA(hKey, pszName, nullptr, &value.dwType, nullptr, &cbData);
    if (value.lStatus == ERROR_SUCCESS) {
        value.data.resize(cbData);
        value.lStatus = RegQueryValueExA(hKey, pszName, nullptr, &value.dwType, value.data.data(), &cbData);
        value.data.resize(cbData);
    }
    RegCloseKey(hKey);
    return value;
}

inline LONG ZelRawSet(HKEY hRoot, const std::string& strPath, const char* pszName, DWORD dwType,
                      const void* pData, DWORD cbData) {
    HKEY hKey = nullptr;
    LONG lStatus = RegCreateKeyExA(hRoot, strPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr);
    if (lStatus != ERROR_SUCCESS) return lStatus;
    lStatus = RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
    RegCloseKey(hKey);
    return lStatus;
}

inline LONG ZelRawCreate(HKEY hRoot, const std::string& strPath) {
    return ZelRawSet(hRoot, strPath, "Marker", REG_SZ, "x", 2);
}

class ZelRegistryTest : public ::testing::Test {
protected:
    // A component and a free path that belong to this test alone, so that the tests also
    // run against a real registry shared with other programs.
    ZelRegistryTest()
        : m_strComponent(std::string("ZelTest.") +
                         ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "." +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name()),
          m_strFreePath("Software\\ZelRegistryTests\\" + m_strComponent) {
        OwnKey(HKEY_CURRENT_USER, "Software\\Quellmar\\Components\\" + m_strComponent);
        OwnKey(HKEY_LOCAL_MACHINE, "Software\\Quellmar\\Components\\" + m_strComponent);
        OwnKey(HKEY_CURRENT_USER, m_strFreePath);
    }

    void SetUp() override { m_handlesBefore = ZelOpenKeyHandleCount(); }

    void TearDown() override {
        EXPECT_EQ(ZelOpenKeyHandleCount(), m_handlesBefore) << "key handles left open";
        for (const Owned& owned : m_owned) Remove(owned);
    }

    // A key or a value directly in a root key that the test may create: removed now and
    // after the test.
    void OwnKey(HKEY hRoot, const std::string& strPath) { Own({hRoot, strPath, false}); }
    void OwnRootValue(HKEY hRoot, const std::string& strName) { Own({hRoot, strName, true}); }

    // Software\Quellmar\Components\<component>\Versions\2.0\<sub-key> of this test's component.
    std::string ComposedPath(const char* pszSubKey = "Options") const {
        return "Software\\Quellmar\\Components\\" + m_strComponent + "\\Versions\\2.0\\" + pszSubKey;
    }

    ZelRegistryBase Composed(BOOL bReadOnly = FALSE, BOOL bLocalMachine = FALSE) const {
        return ZelRegistryBase(m_strComponent.c_str(), "2.0", ZelRegistryBase::eOptions, nullptr, nullptr,
                               bReadOnly, bLocalMachine);
    }

    const std::string m_strComponent;
    const std::string m_strFreePath;

private:
    struct Owned {
        HKEY hRoot;
        std::string strName;
        bool bValue;
    };

    void Own(const Owned& owned) {
        m_owned.push_back(owned);
        Remove(owned);
    }

    static void Remove(const Owned& owned) {
        if (owned.bValue)
            RegDeleteValueA(owned.hRoot, owned.strName.c_str());
        else
            SHDeleteKeyA(owned.hRoot, owned.strName.c_str());
    }

    std::vector<Owned> m_owned;
    DWORD m_handlesBefore = 0;
};
