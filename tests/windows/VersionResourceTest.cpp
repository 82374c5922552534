// The settings module's version resource as Windows reads it back, and the record the module
// exports as data, which says the same. CheckModules.cmake checks the resource's bytes (the
// fixed part's versions among them) and that it is the module's only one.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <ZelRegistry/ZelRegistry.h>

#include "frame/ZelVersion.h"

namespace {

using Words = std::vector<WORD>;

TEST(VersionResource, ReadsBackAsTheModulesVersionAndAgreesWithTheExportedRecord) {
    char szPath[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(GetModuleHandleA("MORVAKOFSET111.dll"), szPath, MAX_PATH));
    std::vector<BYTE> info(GetFileVersionInfoSizeA(szPath, nullptr));
    ASSERT_TRUE(!info.empty() && GetFileVersionInfoA(szPath, 0, static_cast<DWORD>(info.size()), info.data()))
        << "no version information: " << GetLastError();
    UINT nSize = 0;
    const auto query = [&](const std::string& path) -> const void* {
        LPVOID p = nullptr;
        return VerQueryValueA(info.data(), path.c_str(), &p, &nSize) ? p : nullptr;
    };

    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query("\\"));
    ASSERT_TRUE(fixed != nullptr && nSize >= sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));  // its versions: see CheckModules.cmake

    const auto* translation = static_cast<const WORD*>(query("\\VarFileInfo\\Translation"));
    ASSERT_TRUE(translation != nullptr && nSize == 4u) << "one translation";
    EXPECT_EQ(translation[0], 1031) << "German (Germany)";
    EXPECT_EQ(translation[1], 1252);
    const std::pair<const char*, const char*> texts[] = {
        {"FileDescription", "Klassen zur Verwaltung von Benutzereinstellungen"},
        {"FileVersion", "111.1.0.2"},
        {"ProductVersion", "3.2.0.1"},
        {"OriginalFilename", "MORVAKOFSET111.dll"}};
    for (const auto& [pszName, pszText] : texts)
        EXPECT_STREQ(static_cast<const char*>(query(std::string("\\StringFileInfo\\040704e4\\") + pszName)), pszText);

    EXPECT_EQ(zelModuleVersion.wLanguage, 1031);
    EXPECT_STREQ(zelModuleVersion.pszFileDescription, texts[0].second);
    EXPECT_EQ(Words(std::begin(zelModuleVersion.fileVersion), std::end(zelModuleVersion.fileVersion)),
              (Words{111, 1, 0, 2}));
    EXPECT_EQ(Words(std::begin(zelModuleVersion.productVersion), std::end(zelModuleVersion.productVersion)),
              (Words{3, 2, 0, 1}));
}

}  // namespace
