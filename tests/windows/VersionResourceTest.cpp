// The settings module's version resource as Windows reads it back: the fixed part, the
// translation and the texts, and that it is the module's only resource.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <ZelRegistry/ZelRegistry.h>

#include "frame/ZelVersion.h"

namespace {

class VersionResource : public ::testing::Test {
protected:
    void SetUp() override {
        m_hModule = LoadLibraryA("MORVAKOFSET111.dll");
        ASSERT_NE(m_hModule, nullptr) << "load failed with " << GetLastError();
    }
    void TearDown() override {
        if (m_hModule) FreeLibrary(m_hModule);
    }

    std::string Path() const {
        char szPath[MAX_PATH];
        DWORD n = GetModuleFileNameA(m_hModule, szPath, MAX_PATH);
        return std::string(szPath, n);
    }

    HMODULE m_hModule = nullptr;
};

// The module's version information block, read from its file.
std::vector<BYTE> ReadVersionInfo(const std::string& path) {
    DWORD dwHandle = 0;
    DWORD cbInfo = GetFileVersionInfoSizeA(path.c_str(), &dwHandle);
    std::vector<BYTE> info(cbInfo);
    if (cbInfo == 0 || !GetFileVersionInfoA(path.c_str(), 0, cbInfo, info.data())) info.clear();
    return info;
}

std::string QueryText(std::vector<BYTE>& info, const std::string& path) {
    LPVOID pText = nullptr;
    UINT cchText = 0;
    if (!VerQueryValueA(info.data(), path.c_str(), &pText, &cchText) || pText == nullptr) return "<none>";
    return std::string(static_cast<const char*>(pText));
}

TEST_F(VersionResource, ReadsBackAsTheModulesVersion) {
    std::vector<BYTE> info = ReadVersionInfo(Path());
    ASSERT_FALSE(info.empty()) << "no version information: " << GetLastError();

    LPVOID pFixed = nullptr;
    UINT cbFixed = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &pFixed, &cbFixed));
    ASSERT_GE(cbFixed, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(pFixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 111);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), 1);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), 0);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 2);
    EXPECT_EQ(HIWORD(fixed->dwProductVersionMS), 3);
    EXPECT_EQ(LOWORD(fixed->dwProductVersionMS), 2);
    EXPECT_EQ(HIWORD(fixed->dwProductVersionLS), 0);
    EXPECT_EQ(LOWORD(fixed->dwProductVersionLS), 1);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    LPVOID pTranslation = nullptr;
    UINT cbTranslation = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &pTranslation, &cbTranslation));
    ASSERT_EQ(cbTranslation, 4u) << "one translation";
    const WORD* translation = static_cast<const WORD*>(pTranslation);
    EXPECT_EQ(translation[0], 1031) << "German (Germany)";
    EXPECT_EQ(translation[1], 1252);

    char szBlock[64];
    std::snprintf(szBlock, sizeof szBlock, "\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    EXPECT_EQ(QueryText(info, std::string(szBlock) + "FileDescription"),
              "Klassen zur Verwaltung von Benutzereinstellungen");
    EXPECT_EQ(QueryText(info, std::string(szBlock) + "FileVersion"), "111.1.0.2");
    EXPECT_EQ(QueryText(info, std::string(szBlock) + "ProductVersion"), "3.2.0.1");
    EXPECT_EQ(QueryText(info, std::string(szBlock) + "OriginalFilename"), "MORVAKOFSET111.dll");

    // The record the module exports as data says the same.
    EXPECT_EQ(zelModuleVersion.wLanguage, translation[0]);
    EXPECT_STREQ(zelModuleVersion.pszFileDescription, "Klassen zur Verwaltung von Benutzereinstellungen");
    const DWORD version[4] = {fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                              fixed->dwProductVersionLS};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(zelModuleVersion.fileVersion[2 * i], HIWORD(version[i]));
        EXPECT_EQ(zelModuleVersion.fileVersion[2 * i + 1], LOWORD(version[i]));
        EXPECT_EQ(zelModuleVersion.productVersion[2 * i], HIWORD(version[2 + i]));
        EXPECT_EQ(zelModuleVersion.productVersion[2 * i + 1], LOWORD(version[2 + i]));
    }
}

// Resource types, names and languages as "#<number>" or the name.
std::string ResourceId(LPCSTR pszId) {
    if (IS_INTRESOURCE(pszId)) return "#" + std::to_string(reinterpret_cast<ULONG_PTR>(pszId));
    return pszId;
}

BOOL CALLBACK CollectType(HMODULE, LPSTR pszType, LONG_PTR lParam) {
    reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(ResourceId(pszType));
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR pszName, LONG_PTR lParam) {
    reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(ResourceId(pszName));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD wLanguage, LONG_PTR lParam) {
    reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(std::to_string(wLanguage));
    return TRUE;
}

TEST_F(VersionResource, IsTheModulesOnlyResource) {
    std::vector<std::string> types;
    EXPECT_TRUE(EnumResourceTypesA(m_hModule, CollectType, reinterpret_cast<LONG_PTR>(&types)));
    EXPECT_EQ(types, std::vector<std::string>{"#16"}) << "RT_VERSION only";

    std::vector<std::string> names;
    EXPECT_TRUE(EnumResourceNamesA(m_hModule, RT_VERSION, CollectName, reinterpret_cast<LONG_PTR>(&names)));
    EXPECT_EQ(names, std::vector<std::string>{"#1"});

    std::vector<std::string> languages;
    EXPECT_TRUE(EnumResourceLanguagesA(m_hModule, RT_VERSION, MAKEINTRESOURCEA(1), CollectLanguage,
                                       reinterpret_cast<LONG_PTR>(&languages)));
    EXPECT_EQ(languages, std::vector<std::string>{"1031"});
}

}  // namespace
