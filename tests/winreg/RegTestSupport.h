// Shared pieces of the registry tests. The conformance tests use the Win32 functions alone, so
// the same sources build for Windows and run against the system's registry there.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include "platform/win32/ZelWinTypes.h"
#else
#include "platform/winreg/ZelWinReg.h"
#endif

// SHDeleteKeyA returns a DWORD in some Windows headers, LONG in others; tests compare LONGs.
inline LONG ShDeleteKey(HKEY key, const char* subKey) { return static_cast<LONG>(SHDeleteKeyA(key, subKey)); }

// Every test works below a key of its own, HKCU\Software\ZelRegistryTest\<suite>.<test>,
// which it removes again.
class RegTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string("Software\\ZelRegistryTest\\") + info->test_suite_name() + "." + info->name();
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &root_, nullptr));
    }
    void TearDown() override {
        RegCloseKey(root_);
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }

    // Creates (or opens) a key below `parent`; fails the test when it cannot.
    HKEY Create(HKEY parent, const char* name, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, name, 0, nullptr, 0, access, nullptr, &key, nullptr))
            << name;
        return key;
    }
    HKEY Open(HKEY parent, const char* name, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, name, 0, access, &key)) << name;
        return key;
    }
    static void SetString(HKEY key, const char* name, const char* text) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                                static_cast<DWORD>(std::strlen(text) + 1)));
    }
    static void SetDword(HKEY key, const char* name, DWORD value) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
    }
    // The value's bytes, or an empty vector with the status in `status`.
    static std::vector<BYTE> Read(HKEY key, const char* name, DWORD* type = nullptr, LONG* status = nullptr) {
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
        std::vector<BYTE> data(size);
        if (rc == ERROR_SUCCESS && size) rc = RegQueryValueExA(key, name, nullptr, type, data.data(), &size);
        if (status) *status = rc;
        if (rc != ERROR_SUCCESS) data.clear();
        return data;
    }
    static std::string ReadString(HKEY key, const char* name) {
        std::vector<BYTE> data = Read(key, name);
        return std::string(data.begin(), data.end()).c_str();
    }
    static bool KeyExists(HKEY parent, const char* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    // The sub-key names in enumeration order.
    static std::vector<std::string> SubKeys(HKEY key) {
        std::vector<std::string> names;
        char name[512];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
        return names;
    }
    static std::vector<std::string> ValueNames(HKEY key) {
        std::vector<std::string> names;
        char name[512];
        for (DWORD i = 0;; ++i) {
            DWORD length = sizeof name;
            if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.push_back(name);
        }
        return names;
    }

    const std::string& path() const { return path_; }

    HKEY root_ = nullptr;

private:
    std::string path_;
};
