// Conformance of enumeration (RegEnumKeyA, RegEnumKeyExA, RegEnumValueA) and RegQueryInfoKeyA.
#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>
#include <chrono>

#include "RegTestSupport.h"
#include "support/ZelExpectedDeviation.h"

namespace {

// ---- RegEnumKeyA / RegEnumKeyExA ---------------------------------------------------------

using RegEnumKeyA_ = RegTest;

TEST_F(RegEnumKeyA_, SubKeysComeInCaseInsensitiveNameOrder) {
    for (const char* name : {"b", "_x", "C", "a"}) RegCloseKey(Create(root_, name));
    // Folded: A, B, C, _X. A case-sensitive order would put "C" and "_x" before "a".
    EXPECT_EQ(ZelDeviations::kWineSortsSubKeysLowerCased.Expect(std::vector<std::string>{"a", "b", "C", "_x"},
                                                                 std::vector<std::string>{"_x", "a", "b", "C"}),
              SubKeys(root_));
}

TEST_F(RegEnumKeyA_, IndicesStayDenseAfterADelete) {
    for (const char* name : {"a", "b", "c"}) RegCloseKey(Create(root_, name));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "b"));
    char name[16];
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 0, name, sizeof name));
    EXPECT_STREQ("a", name);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 1, name, sizeof name));
    EXPECT_STREQ("c", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(root_, 2, name, sizeof name));
}

TEST_F(RegEnumKeyA_, PastTheEndIsNoMoreItems) {
    char name[16];
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(root_, 0, name, sizeof name));
    RegCloseKey(Create(root_, "only"));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(root_, 1, name, sizeof name));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(root_, 7, name, sizeof name));
}

TEST_F(RegEnumKeyA_, BufferWithoutRoomForTheNulIsMoreDataAndUntouched) {
    RegCloseKey(Create(root_, "abcdef"));
    char name[8];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(root_, 0, name, 6));
    EXPECT_EQ(std::string(8, 'x'), std::string(name, 8));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 0, name, 7));
    EXPECT_STREQ("abcdef", name);
}

TEST_F(RegEnumKeyA_, DeletingIndexZeroUntilNoMoreItemsEmptiesTheKey) {
    char name[32];
    for (int i = 0; i < 60; ++i) {
        std::snprintf(name, sizeof name, "k%03d", i);
        RegCloseKey(Create(root_, name));
    }
    int deleted = 0;
    while (RegEnumKeyA(root_, 0, name, sizeof name) == ERROR_SUCCESS) {
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, name));
        ++deleted;
        ASSERT_LE(deleted, 60);
    }
    EXPECT_EQ(60, deleted);
}

TEST_F(RegEnumKeyA_, LongListingsComeCompleteAndInOrderWhateverTheAccessPattern) {
    std::vector<std::string> names;
    char name[32];
    for (int i = 0; i < 3000; ++i) {
        std::snprintf(name, sizeof name, "Key%05d", i);
        names.push_back(name);
    }
    std::vector<std::string> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
    for (const std::string& n : shuffled) RegCloseKey(Create(root_, n.c_str()));

    EXPECT_EQ(names, SubKeys(root_));
    for (DWORD index : {2500u, 10u, 2999u, 11u, 1500u, 1501u}) {
        ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, index, name, sizeof name)) << index;
        EXPECT_EQ(names[index], name);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(root_, 3000, name, sizeof name));
    // A key added in the middle shifts the later indices at once.
    RegCloseKey(Create(root_, "Key01500a"));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 1501, name, sizeof name));
    EXPECT_STREQ("Key01500a", name);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 3000, name, sizeof name));
    EXPECT_STREQ("Key02999", name);
}

TEST_F(RegEnumKeyA_, SeesKeysAddedThroughOtherHandles) {
    HKEY enumerator = Open(HKEY_CURRENT_USER, path().c_str(), KEY_READ);
    char name[16];
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(enumerator, 0, name, sizeof name));
    RegCloseKey(Create(root_, "late"));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(enumerator, 0, name, sizeof name));
    EXPECT_STREQ("late", name);
    RegCloseKey(enumerator);
}

TEST_F(RegEnumKeyA_, ExFormReportsLengthClassAndTime) {
    HKEY sub = nullptr;
    char keyClass[] = "cls";
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root_, "Sub", 0, keyClass, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    RegCloseKey(sub);
    char name[16], cls[16];
    DWORD nameLength = sizeof name, classLength = sizeof cls;
    FILETIME time{0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(root_, 0, name, &nameLength, nullptr, cls, &classLength, &time));
    EXPECT_STREQ("Sub", name);
    EXPECT_EQ(3u, nameLength);
    EXPECT_STREQ("cls", cls);
    EXPECT_EQ(3u, classLength);
    EXPECT_NE(0u, time.dwHighDateTime);
    nameLength = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(root_, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

// ---- RegEnumValueA ----------------------------------------------------------------------

using RegEnumValueA_ = RegTest;

TEST_F(RegEnumValueA_, ValuesComeInTheOrderTheyWereSet) {
    for (const char* name : {"A", "C", "D", "B"}) SetDword(root_, name, 1);
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Expect(std::vector<std::string>{"A", "C", "D", "B"},
                                                     std::vector<std::string>{"A", "B", "C", "D"}),
              ValueNames(root_));
}

TEST_F(RegEnumValueA_, GivesNameTypeAndData) {
    SetString(root_, "greeting", "hi");
    char name[16];
    DWORD nameLength = sizeof name, type = 0;
    BYTE data[8];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(root_, 0, name, &nameLength, nullptr, &type, data, &size));
    EXPECT_STREQ("greeting", name);
    EXPECT_EQ(8u, nameLength);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(3u, size);
    EXPECT_STREQ("hi", reinterpret_cast<char*>(data));
    nameLength = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(root_, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegEnumValueA_, TooSmallDataBufferIsMoreDataWithTheNeededSize) {
    SetString(root_, "v", "Testing");  // 8 bytes
    char name[16];
    DWORD nameLength = sizeof name;
    BYTE data[4];
    std::memset(data, 'x', sizeof data);
    DWORD size = sizeof data;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(root_, 0, name, &nameLength, nullptr, nullptr, data, &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ('x', data[0]);
}

TEST_F(RegEnumValueA_, TooSmallNameBufferIsMoreData) {
    SetDword(root_, "Testname", 1);
    char name[4];
    DWORD nameLength = sizeof name;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(root_, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegEnumValueA_, IndicesStayDenseAfterADelete) {
    for (const char* name : {"one", "two", "three"}) SetDword(root_, name, 1);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, "two"));
    EXPECT_EQ((std::vector<std::string>{"one", "three"}), ValueNames(root_));
}

// ---- RegQueryInfoKeyA -------------------------------------------------------------------

using RegQueryInfoKeyA_ = RegTest;

struct Info {
    DWORD subKeys = 99, maxSubKey = 99, maxClass = 99, values = 99, maxValueName = 99, maxValueData = 99;
    FILETIME time{0, 0};
};

LONG QueryInfo(HKEY key, Info& info) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &info.subKeys, &info.maxSubKey, &info.maxClass,
                            &info.values, &info.maxValueName, &info.maxValueData, nullptr, &info.time);
}

TEST_F(RegQueryInfoKeyA_, NullHandleIsInvalidHandle) {
    Info info;
    EXPECT_EQ(ERROR_INVALID_HANDLE, QueryInfo(nullptr, info));
}

TEST_F(RegQueryInfoKeyA_, AllOutputsMayBeNull) {
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegQueryInfoKeyA_, ClassBufferWithoutLengthIsInvalidParameterAndUntouched) {
    char cls[8];
    std::memset(cls, 'x', sizeof cls);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryInfoKeyA(root_, cls, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ('x', cls[0]);
}

TEST_F(RegQueryInfoKeyA_, EmptyKeyHasZeroFiguresAndATime) {
    Info info;
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, info));
    EXPECT_EQ(0u, info.subKeys);
    EXPECT_EQ(0u, info.maxSubKey);
    EXPECT_EQ(0u, info.maxClass);
    EXPECT_EQ(0u, info.values);
    EXPECT_EQ(0u, info.maxValueName);
    EXPECT_EQ(0u, info.maxValueData);
    EXPECT_TRUE(info.time.dwLowDateTime != 0 || info.time.dwHighDateTime != 0);
}

TEST_F(RegQueryInfoKeyA_, CountsAndLongestNamesAndLargestData) {
    RegCloseKey(Create(root_, "subsubkey"));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("data"), 5));
    Info info;
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, info));
    EXPECT_EQ(1u, info.subKeys);
    EXPECT_EQ(9u, info.maxSubKey);  // without the NUL
    EXPECT_EQ(1u, info.values);     // the default value counts...
    EXPECT_EQ(0u, info.maxValueName);  // ...but has no name
    EXPECT_EQ(10u, info.maxValueData);  // UTF-16 bytes of "data" and its NUL

    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "value one", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("first value data"), 17));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "value 2", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("second value data"), 18));
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, info));
    EXPECT_EQ(3u, info.values);
    EXPECT_EQ(9u, info.maxValueName);
    EXPECT_EQ(36u, info.maxValueData);

    const BYTE binary[40] = {};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "bin", 0, REG_BINARY, binary, sizeof binary));
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, info));
    EXPECT_EQ(40u, info.maxValueData);  // binary data counts as stored
}

TEST_F(RegQueryInfoKeyA_, ClassIsTruncatedWhenTheBufferIsTooSmall) {
    HKEY key = nullptr;
    char keyClass[] = "subkey class";  // 12 characters
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root_, "Classy", 0, keyClass, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    char cls[32];
    DWORD length = 0;
    std::memset(cls, 'x', sizeof cls);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, cls, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ZelDeviations::kWineClassLengthWithoutBuffer.Expect(0u, 12u), length);
    EXPECT_EQ('x', cls[0]);

    length = 1;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryInfoKeyA(key, cls, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, length);
    EXPECT_EQ('\0', cls[0]);
    EXPECT_EQ('x', cls[1]);

    std::memset(cls, 'x', sizeof cls);
    length = 12;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryInfoKeyA(key, cls, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(11u, length);
    EXPECT_STREQ("subkey clas", cls);

    length = 13;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, cls, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(12u, length);
    EXPECT_STREQ("subkey class", cls);
    RegCloseKey(key);

    Info info;
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, info));
    EXPECT_EQ(12u, info.maxClass);
}

TEST_F(RegQueryInfoKeyA_, LastWriteTimeMovesWhenTheKeyChanges) {
    Info before, after;
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, before));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetDword(root_, "v", 1);
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(root_, after));
    const uint64_t t0 = (uint64_t{before.time.dwHighDateTime} << 32) | before.time.dwLowDateTime;
    const uint64_t t1 = (uint64_t{after.time.dwHighDateTime} << 32) | after.time.dwLowDateTime;
    EXPECT_GT(t1, t0);
}

}  // namespace
