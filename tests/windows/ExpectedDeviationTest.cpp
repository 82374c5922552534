// The deviation helper against the registry the Windows tests run under: on Wine it expects
// Wine's answer and reports the deviation, on Windows it expects Windows' answer. Wrongly
// telling where it runs fails on the one platform or the other.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/ZelPlatform.h"
#include "support/ZelExpectedDeviation.h"

namespace {

TEST(ExpectedDeviation, ValueOrderIsCheckedOnBothPlatforms) {
    const char szPath[] = "Software\\ZelRegistryTests\\Deviation.ValueOrder";
    SHDeleteKeyA(HKEY_CURRENT_USER, szPath);
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, szPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &hKey, nullptr));
    const DWORD dwValue = 1;
    for (const char* pszName : {"A", "C", "D", "B"})
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue),
                                                sizeof dwValue));
    std::vector<std::string> names;
    char szName[16];
    for (DWORD i = 0, cchName = sizeof szName;
         RegEnumValueA(hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, cchName = sizeof szName)
        names.push_back(szName);
    RegCloseKey(hKey);
    SHDeleteKeyA(HKEY_CURRENT_USER, szPath);
    using Names = std::vector<std::string>;
    EXPECT_EQ(names, ZelDeviations::kWineSortsValues.Expect(Names{"A", "C", "D", "B"}, Names{"A", "B", "C", "D"}));
}

}  // namespace
