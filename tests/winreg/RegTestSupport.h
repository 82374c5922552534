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

// A handle value that no call returns: a result that a failed call must clear or leave alone.
inline const HKEY kSentinel = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
using Names = std::vector<std::string>;

// SHDeleteKeyA returns a DWORD in some Windows headers, LONG in others.
inline LONG ShDeleteKey(HKEY key, const char* subKey) { return static_cast<LONG>(SHDeleteKeyA(key, subKey)); }

inline LONG Set(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// Creates `path` below `root` and sets a DWORD in it; also for forked children, which report statuses.
inline LONG WriteDword(HKEY root, const char* path, const char* name, DWORD value) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = Set(key, name, REG_DWORD, &value, sizeof value);
    RegCloseKey(key);
    return rc;
}

// The DWORD, or -1 when it cannot be read.
inline int64_t ReadDword(HKEY root, const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0, size = sizeof value;
    const LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && size == 4 ? static_cast<int64_t>(value) : int64_t{-1};
}

// Every test works below a key of its own, HKCU\Software\ZelRegistryTest\<suite>.<test>.
class RegTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::string("Software\\ZelRegistryTest\\") + info->test_suite_name() + "." + info->name();
        ShDeleteKey(HKEY_CURRENT_USER, path_.c_str());
        root_ = Create(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_NE(nullptr, root_);
    }
    void TearDown() override {
        RegCloseKey(root_);
        ShDeleteKey(HKEY_CURRENT_USER, path_.c_str());
    }

    static HKEY Create(HKEY parent, const char* name) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        return key;
    }
    static HKEY Open(HKEY parent, const char* name, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(parent, name, 0, access, &key)) << name;
        return key;
    }
    // Creates (or opens) and closes a key; the status.
    static LONG CreateKey(HKEY parent, const char* name, DWORD* disposition = nullptr, DWORD options = 0) {
        HKEY key = nullptr;
        const LONG rc = RegCreateKeyExA(parent, name, 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, disposition);
        if (rc == ERROR_SUCCESS) RegCloseKey(key);
        return rc;
    }
    // Creates (or opens) and closes a key: REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY, 0 on failure.
    static LONG Disposition(HKEY parent, const char* name, DWORD options = 0) {
        DWORD disposition = 0;
        return CreateKey(parent, name, &disposition, options) == ERROR_SUCCESS ? static_cast<LONG>(disposition) : 0;
    }
    static bool KeyExists(HKEY parent, const char* name) {
        HKEY key = nullptr;
        return RegOpenKeyExA(parent, name, 0, KEY_READ, &key) == ERROR_SUCCESS && RegCloseKey(key) == ERROR_SUCCESS;
    }
    static void SetString(HKEY key, const char* name, const char* text) {
        EXPECT_EQ(ERROR_SUCCESS, Set(key, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)));
    }
    static void SetDword(HKEY key, const char* name, DWORD value) {
        EXPECT_EQ(ERROR_SUCCESS, Set(key, name, REG_DWORD, &value, sizeof value));
    }
    // The status of a query for the value's size.
    static LONG Query(HKEY key, const char* name) {
        DWORD size = 0;
        return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    }
    // The value's bytes (none when it cannot be read).
    static std::string Read(HKEY key, const char* name, DWORD* type = nullptr) {
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
        std::string data(size, '\0');
        if (size && RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(&data[0]), &size)) return {};
        return data;
    }
    static std::string ReadString(HKEY key, const char* name) { return Read(key, name).c_str(); }
    // The sub-key names of `key` itself, or of its sub-key `path`, in enumeration order.
    static Names SubKeys(HKEY key, const char* path = nullptr) {
        Names names;
        HKEY sub = key;
        if (path && RegOpenKeyExA(key, path, 0, KEY_READ, &sub) != ERROR_SUCCESS) return names;
        char name[512];
        for (DWORD i = 0; RegEnumKeyA(sub, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
        if (path) RegCloseKey(sub);
        return names;
    }
    static Names ValueNames(HKEY key) {
        Names names;
        char name[512];
        for (DWORD i = 0, length = sizeof name;
             RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, length = sizeof name)
            names.push_back(name);
        return names;
    }
    static uint64_t LastWrite(HKEY key) {
        FILETIME time{0, 0};
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, &time));
        return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    }

    HKEY root_ = nullptr;
    std::string path_;  // of root_, below HKEY_CURRENT_USER
};
