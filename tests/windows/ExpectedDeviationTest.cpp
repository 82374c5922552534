// The deviation helper against the registry the Windows tests run under: on Wine it expects
// Wine's answer and reports the deviation, on Windows it expects Windows' answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/ZelPlatform.h"
#include "support/ZelExpectedDeviation.h"

namespace {

class ExpectedDeviation : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = std::string("Software\\ZelRegistryTests\\Deviation.") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr));
    }
    void TearDown() override {
        RegCloseKey(m_hKey);
        SHDeleteKeyA(HKEY_CURRENT_USER, m_path.c_str());
    }

    std::string m_path;
    HKEY m_hKey = nullptr;
};

TEST_F(ExpectedDeviation, KnowsWhereItRuns) {
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    ASSERT_NE(hNtdll, nullptr);
    EXPECT_EQ(ZelRunningOnWine(), GetProcAddress(hNtdll, "wine_get_version") != nullptr);
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Applies(), ZelRunningOnWine());
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Expect(1, 2), ZelRunningOnWine() ? 2 : 1);
}

TEST_F(ExpectedDeviation, ValueOrderIsCheckedOnBothPlatforms) {
    for (const char* pszName : {"A", "C", "D", "B"}) {
        const DWORD dwValue = 1;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_hKey, pszName, 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue));
    }
    std::vector<std::string> names;
    char szName[16];
    for (DWORD i = 0;; ++i) {
        DWORD cchName = sizeof szName;
        if (RegEnumValueA(m_hKey, i, szName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(szName);
    }
    using Names = std::vector<std::string>;
    EXPECT_EQ(names, ZelDeviations::kWineSortsValues.Expect(Names{"A", "C", "D", "B"}, Names{"A", "B", "C", "D"}));
}

}  // namespace
