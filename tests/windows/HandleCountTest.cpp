// The test-support count of open key handles on Windows: it follows keys being opened and
// closed, and only keys: the process's other handles do not count.
#include <gtest/gtest.h>

#include "support/ZelHandleCount.h"

namespace {

TEST(ZelOpenKeyHandleCount, FollowsKeysOpenedAndClosed) {
    const char szPath[] = "Software\\ZelRegistryTests\\HandleCount";
    HKEY hFirst = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, szPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &hFirst, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(hFirst));

    const DWORD dwBefore = ZelOpenKeyHandleCount();
    HKEY hSecond = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, szPath, 0, KEY_READ, &hFirst));
    EXPECT_EQ(ZelOpenKeyHandleCount(), dwBefore + 1);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(hFirst, "", 0, KEY_READ, &hSecond));
    EXPECT_EQ(ZelOpenKeyHandleCount(), dwBefore + 2);
    RegCloseKey(hFirst);
    EXPECT_EQ(ZelOpenKeyHandleCount(), dwBefore + 1);
    RegCloseKey(hSecond);
    EXPECT_EQ(ZelOpenKeyHandleCount(), dwBefore);

    HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(hEvent, nullptr);
    EXPECT_EQ(ZelOpenKeyHandleCount(), dwBefore);
    CloseHandle(hEvent);
    EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, szPath));
}

}  // namespace
