// Conformance of enumeration (RegEnumKeyA, RegEnumKeyExA, RegEnumValueA) and RegQueryInfoKeyA.
#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <thread>

#include "RegTestSupport.h"
#include "support/ZelExpectedDeviation.h"

namespace {

using RegEnumKeyA_ = RegTest;

TEST_F(RegEnumKeyA_, SubKeysComeInCaseInsensitiveNameOrder) {
    for (const char* name : {"b", "_x", "C", "a"}) RegCloseKey(Create(root_, name));
    // Folded: A, B, C, _X. A case-sensitive order would put "C" and "_x" before "a".
    EXPECT_EQ(ZelDeviations::kWineSortsSubKeysLowerCased.Expect(Names{"a", "b", "C", "_x"}, Names{"_x", "a", "b", "C"}),
              SubKeys(root_));
}

// Also through a handle of its own, which has to see the changes made through another.
TEST_F(RegEnumKeyA_, LongListingsStayCompleteOrderedAndDenseWhateverTheAccessPattern) {
    HKEY reader = Open(root_, "", KEY_READ);
    char name[32];
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(reader, 0, name, sizeof name));
    Names names;
    for (int i = 0; i < 3000; ++i) names.push_back("Key" + std::to_string(10000 + i));
    Names shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
    for (const std::string& n : shuffled) RegCloseKey(Create(root_, n.c_str()));
    EXPECT_EQ(names, SubKeys(reader));
    for (DWORD index : {2500u, 10u, 2999u, 11u, 1500u, 1501u}) {
        ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(reader, index, name, sizeof name)) << index;
        EXPECT_EQ(names[index], name);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(reader, 3000, name, sizeof name));
    // A key added or deleted in the middle shifts the later indices at once.
    RegCloseKey(Create(root_, "Key11500a"));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(reader, 1501, name, sizeof name));
    EXPECT_STREQ("Key11500a", name);
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(reader, 3000, name, sizeof name));
    EXPECT_STREQ("Key12999", name);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, "Key11499"));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(reader, 1499, name, sizeof name));
    EXPECT_STREQ("Key11500", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(reader, 3000, name, sizeof name));
    int deleted = 0;  // deleting index 0 until there is none empties the key
    for (; deleted <= 3000 && RegEnumKeyA(reader, 0, name, sizeof name) == ERROR_SUCCESS; ++deleted)
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(root_, name));
    EXPECT_EQ(3000, deleted);
    RegCloseKey(reader);
}

TEST_F(RegEnumKeyA_, NameNeedsRoomForItsNul) {
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, "abcdef"));
    char name[8];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(root_, 0, name, 6));
    EXPECT_EQ(std::string(8, 'x'), std::string(name, 8));
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(root_, 0, name, 7));
    EXPECT_STREQ("abcdef", name);
}

using RegEnumValueA_ = RegTest;

TEST_F(RegEnumValueA_, ValuesComeInTheOrderTheyWereSetWithDenseIndices) {
    for (const char* name : {"A", "C", "E", "D", "B"}) SetDword(root_, name, 1);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, "E"));
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Expect(Names{"A", "C", "D", "B"}, Names{"A", "B", "C", "D"}),
              ValueNames(root_));
}

// Through a handle of its own, which has to see the changes made through another; the names sort
// in the order they are set (kWineSortsValues), until one is set again at the end.
TEST_F(RegEnumValueA_, LongListingsStayCompleteOrderedAndDenseWhateverTheAccessPattern) {
    HKEY reader = Open(root_, "", KEY_READ);
    Names names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("Value" + std::to_string(1000 + i));
        SetDword(root_, names.back().c_str(), static_cast<DWORD>(i));
        if (i == 40) {
            EXPECT_EQ(names, ValueNames(reader));  // a few, before the many
        }
    }
    EXPECT_EQ(names, ValueNames(reader));
    auto nameAt = [reader](DWORD index) {
        char name[32];
        DWORD length = sizeof name;
        const LONG status = RegEnumValueA(reader, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        return status == ERROR_SUCCESS ? std::string(name) : "status " + std::to_string(status);
    };
    for (DWORD index : {250u, 3u, 299u, 64u, 63u, 65u, 128u, 127u, 0u, 191u})
        EXPECT_EQ(names[index], nameAt(index)) << index;
    EXPECT_EQ("status 259", nameAt(300));
    EXPECT_EQ("status 259", nameAt(100000));
    // A value deleted shifts the later indices at once; one set again comes last.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, "Value1100"));
    names.erase(names.begin() + 100);
    EXPECT_EQ(names[100], nameAt(100));
    SetDword(root_, "Value1100", 7);
    names.push_back("Value1100");
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Expect(names, [&] {
                  Names sorted = names;
                  std::sort(sorted.begin(), sorted.end());
                  return sorted;
              }()),
              ValueNames(reader));
    EXPECT_EQ(ZelDeviations::kWineSortsValues.Expect<std::string>("Value1100", "Value1299"), nameAt(299));
    int deleted = 0;  // deleting index 0 until there is none empties the key
    for (std::string name = nameAt(0); deleted <= 300 && name.rfind("Value", 0) == 0; name = nameAt(0), ++deleted)
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, name.c_str()));
    EXPECT_EQ(300, deleted);
    RegCloseKey(reader);
}

TEST_F(RegEnumValueA_, GivesNameTypeAndDataWhenBothFit) {
    SetString(root_, "greeting", "Testing");  // 8 bytes
    char name[16];
    BYTE data[8];
    DWORD nameLength = sizeof name, type = 0, size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(root_, 0, name, &nameLength, nullptr, &type, data, &size));
    EXPECT_STREQ("greeting", name);
    EXPECT_EQ(8u, nameLength);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(8u, size);
    EXPECT_STREQ("Testing", reinterpret_cast<char*>(data));
    nameLength = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(root_, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr));
}

// When the name or the data does not fit, the type and the size of the data are told, and
// neither buffer nor the name's length is touched; with the data left out, its size is told.
TEST_F(RegEnumValueA_, TooSmallABufferTellsTypeAndSizeAndWritesNothing) {
    // Names in the order of their setting, also when sorted (kWineSortsValues).
    SetString(root_, "Alpha", "hello");  // 5 characters, 6 bytes
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "Bin", REG_BINARY, "\1\2\3\4", 4));
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "Multi", REG_MULTI_SZ, "a\0b\0", 5));
    constexpr DWORD kNoData = 0xFFFFFFFF;  // the call gets no data buffer (its size pointer stays)
    const struct { DWORD index, nameRoom, dataRoom; LONG status; DWORD type, size; } cases[] = {
        {0, 5, 6, ERROR_MORE_DATA, REG_SZ, 6},  // the name one short
        {0, 0, 6, ERROR_MORE_DATA, REG_SZ, 6},
        {0, 5, 5, ERROR_MORE_DATA, REG_SZ, 6},  // both short
        {0, 8, 5, ERROR_MORE_DATA, REG_SZ, 6},  // the data one short
        {0, 5, kNoData, ERROR_MORE_DATA, REG_SZ, 6},
        {1, 8, 3, ERROR_MORE_DATA, REG_BINARY, 4},
        {2, 8, 4, ERROR_MORE_DATA, REG_MULTI_SZ, 5},
        {0, 6, kNoData, ERROR_SUCCESS, REG_SZ, 6},
        {0, 6, 6, ERROR_SUCCESS, REG_SZ, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("index " + std::to_string(c.index) + ", name room " + std::to_string(c.nameRoom) +
                     ", data room " + std::to_string(c.dataRoom));
        std::string name(16, 'x'), data(16, 'x');
        DWORD nameLength = c.nameRoom, type = 1234, size = c.dataRoom == kNoData ? 99 : c.dataRoom;
        BYTE* buffer = c.dataRoom == kNoData ? nullptr : reinterpret_cast<BYTE*>(&data[0]);
        EXPECT_EQ(c.status, RegEnumValueA(root_, c.index, &name[0], &nameLength, nullptr, &type, buffer, &size));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.size, size);
        if (c.status == ERROR_SUCCESS) {
            EXPECT_EQ(5u, nameLength);
            EXPECT_EQ(std::string("Alpha\0", 6), name.substr(0, 6));
            EXPECT_EQ(buffer ? std::string("hello\0", 6) : std::string(6, 'x'), data.substr(0, 6));
            continue;
        }
        EXPECT_EQ(c.nameRoom, nameLength);
        // Wine answers a name that does not fit, with data that does, as Windows in its older
        // code pages does: with as much of the name as fits, and the data.
        std::string wineName(16, 'x'), wineData(16, 'x');
        const bool onlyNameShort = c.index == 0 && c.nameRoom <= 5 && (!buffer || c.dataRoom >= c.size);
        if (onlyNameShort && c.nameRoom > 0) {
            wineName.replace(0, c.nameRoom, std::string("Alpha").substr(0, c.nameRoom - 1) + '\0');
        }
        if (onlyNameShort && buffer) wineData.replace(0, 6, std::string("hello\0", 6));
        EXPECT_EQ(ZelDeviations::kWineWritesWhatFitsOfAValueName.Expect(std::string(16, 'x'), wineName), name);
        EXPECT_EQ(ZelDeviations::kWineWritesWhatFitsOfAValueName.Expect(std::string(16, 'x'), wineData), data);
    }
    // Without a size pointer the data cannot be asked for, only the name and the type.
    char name[8];
    DWORD nameLength = sizeof name, type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(root_, 1, name, &nameLength, nullptr, &type, nullptr, nullptr));
    EXPECT_STREQ("Bin", name);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
}

using RegQueryInfoKeyA_ = RegTest;

// Sub-keys, longest sub-key name, longest class, values, longest value name, largest data.
using Figures = std::array<DWORD, 6>;

Figures QueryFigures(HKEY key) {
    Figures f{99, 99, 99, 99, 99, 99};
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                                              nullptr, nullptr));
    return f;
}

TEST_F(RegQueryInfoKeyA_, CountsLongestNamesLargestDataAndLastWriteTime) {
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ((Figures{0, 0, 0, 0, 0, 0}), QueryFigures(root_));
    const uint64_t before = LastWrite(root_);
    EXPECT_NE(0u, before);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    RegCloseKey(Create(root_, "subsubkey"));
    SetString(root_, "", "data");
    EXPECT_GT(LastWrite(root_), before);
    SetString(root_, "value one", "first value data");
    SetString(root_, "value 2", "second value data");
    // Names count without their NUL; the default value counts but has no name; string data
    // counts in UTF-16 bytes with the NUL, binary data as stored.
    EXPECT_EQ((Figures{1, 9, 0, 3, 9, 36}), QueryFigures(root_));
    const BYTE binary[40] = {};
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "bin", REG_BINARY, binary, sizeof binary));
    EXPECT_EQ((Figures{1, 9, 0, 4, 9, 40}), QueryFigures(root_));
}

TEST_F(RegQueryInfoKeyA_, ClassIsEnumeratedCountedAndCutToTheBuffer) {
    HKEY key = nullptr;
    char keyClass[] = "subkey class";  // 12 characters
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, "Classy", 0, keyClass, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(12u, QueryFigures(root_)[2]);
    char name[16], cls[16];
    DWORD nameLength = sizeof name, length = sizeof cls;
    FILETIME time{0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(root_, 0, name, &nameLength, nullptr, cls, &length, &time));
    EXPECT_EQ(6u, nameLength);
    EXPECT_STREQ("subkey class", cls);
    EXPECT_EQ(12u, length);
    EXPECT_NE(0u, time.dwHighDateTime);

    std::memset(cls, 'x', sizeof cls);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryInfoKeyA(key, cls, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ('x', cls[0]);
    const struct { DWORD room; LONG status; DWORD length; std::string start; } cases[] = {
        {0, ERROR_SUCCESS, ZelDeviations::kWineClassLengthWithoutBuffer.Expect(0u, 12u), "x"},
        {1, ERROR_MORE_DATA, 0, std::string("\0x", 2)},
        {12, ERROR_MORE_DATA, 11, std::string("subkey clas\0", 12)},
        {13, ERROR_SUCCESS, 12, std::string("subkey class\0", 13)},
    };
    for (const auto& c : cases) {
        std::memset(cls, 'x', sizeof cls);
        length = c.room;
        EXPECT_EQ(c.status, RegQueryInfoKeyA(key, cls, &length, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr))
            << c.room;
        EXPECT_EQ(c.length, length) << c.room;
        EXPECT_EQ(c.start, std::string(cls, c.start.size())) << c.room;  // the buffer's start afterwards
    }
    RegCloseKey(key);
}

}  // namespace
