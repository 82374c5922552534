// Non-ASCII names in this platform's store, which takes the A functions' names as UTF-8 (Windows
// and Wine read them in the ANSI code page, so these tests belong to the Linux store alone).
#include <algorithm>

#include "RegTestSupport.h"

namespace {

using Utf8Names = RegTest;

std::string Repeat(const char* text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) repeated += text;
    return repeated;
}

TEST_F(Utf8Names, KeyNameLimitCountsCharactersNotBytes) {
    const std::string longest = Repeat("\xC3\x84", 255);  // Ä, two bytes in UTF-8
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(root_, longest.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(root_, (longest + "\xC3\x84").c_str()));
}

// RegQueryInfoKeyA counts names and classes in UTF-16 units, as Windows does, and a caller that
// allocates 3 bytes a unit and 1 for the NUL (as the README says) can enumerate every name,
// whatever its characters: one unit takes at most three bytes in UTF-8, a surrogate pair four
// bytes for two units. The largest data is big enough for every value's data as well.
TEST_F(Utf8Names, BuffersSizedFromQueryInfoKeyHoldEveryNameAndValue) {
    const char* const characters[] = {"\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E", "k"};  // ä € 𝄞 k
    const int units[] = {1, 1, 2, 1};
    Names keys, values;
    for (int i = 0; i < 4; ++i) {
        keys.push_back(Repeat(characters[i], 255 / units[i]) + (units[i] == 2 ? "a" : ""));
        values.push_back(Repeat(characters[i], 16383 / units[i]) + (units[i] == 2 ? "a" : ""));
        values.push_back(characters[i]);
    }
    HKEY classy = nullptr;
    std::string keyClass = Repeat("\xE2\x82\xAC", 100);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, "Classy", 0, &keyClass[0], 0, KEY_ALL_ACCESS, nullptr, &classy,
                                             nullptr));
    RegCloseKey(classy);
    keys.push_back("Classy");
    for (const std::string& name : keys) ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, name.c_str())) << name.size();
    for (std::size_t i = 0; i < values.size(); ++i) SetString(root_, values[i].c_str(), values[i % 2].c_str());

    DWORD subKeys = 0, longestKey = 0, longestClass = 0, valueCount = 0, longestValue = 0, largestData = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, &subKeys, &longestKey, &longestClass,
                                              &valueCount, &longestValue, &largestData, nullptr, nullptr));
    EXPECT_EQ(keys.size(), subKeys);
    EXPECT_EQ(255u, longestKey);
    EXPECT_EQ(100u, longestClass);
    EXPECT_EQ(values.size(), valueCount);
    EXPECT_EQ(16383u, longestValue);

    std::string name(3 * longestKey + 1, '\0'), cls(3 * longestClass + 1, '\0');
    Names listed;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), classLength = static_cast<DWORD>(cls.size());
        const LONG status = RegEnumKeyExA(root_, i, &name[0], &nameLength, nullptr, &cls[0], &classLength, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, status) << i;
        listed.emplace_back(name.data(), nameLength);
    }
    EXPECT_EQ(keys.size(), listed.size());
    for (const std::string& key : keys) EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), key));

    name.assign(3 * longestValue + 1, '\0');
    std::string data(largestData, '\0');
    listed.clear();
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
        const LONG status = RegEnumValueA(root_, i, &name[0], &nameLength, nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(&data[0]), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(ERROR_SUCCESS, status) << i;
        listed.emplace_back(name.data(), nameLength);
        EXPECT_EQ(values[i % 2] + '\0', data.substr(0, size));
    }
    EXPECT_EQ(values, listed);
}

TEST_F(Utf8Names, KeyNamesFoldCaseAndKeepTheirSpelling) {
    const char* const pairs[][2] = {
        {"\xC3\x84pfel", "\xC3\xA4PFEL"},                                         // Äpfel, äPFEL
        {"Stra\xC3\x9F" "e", "STRA\xC3\x9F" "E"},                                // Straße: ß folds to itself only
        {"\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0", "\xD1\x91\xD0\x9B\xD0\x9A\xD0\x90"},  // Ёлка, ёЛКА
    };
    for (const auto& pair : pairs) {
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, pair[0]));
        EXPECT_EQ(REG_OPENED_EXISTING_KEY, Disposition(root_, pair[1])) << pair[0];
    }
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, "STRASSE"));  // another key than Straße
    EXPECT_EQ((Names{"STRASSE", pairs[1][0], pairs[0][0], pairs[2][0]}), SubKeys(root_));  // in folded name order
}

TEST_F(Utf8Names, ValueNamesFoldAndTheFirstSpellingStays) {
    SetString(root_, "\xC3\x84pfel", "first");
    EXPECT_EQ("first", ReadString(root_, "\xC3\xA4PFEL"));
    SetString(root_, "\xC3\x84PFEL", "second");
    EXPECT_EQ(Names{"\xC3\x84pfel"}, ValueNames(root_));
    EXPECT_EQ("second", ReadString(root_, "\xC3\x84pfel"));
}

// A name that is not UTF-8 could not be folded, exported or shown: creating a key or setting a
// value under it is refused, and no lookup finds it. Data is not a name and is kept as given.
TEST_F(Utf8Names, NamesThatAreNotUtf8AreRefusedAndNeverFound) {
    const std::string bad[] = {
        "caf\xE9",              // Windows-1252
        "\xC3",                 // a sequence cut short
        "\xC0\xAF",             // an overlong form
        "\xED\xA0\x80",         // a surrogate
        "\xF4\x90\x80\x80",     // beyond U+10FFFF
    };
    for (const std::string& name : bad) {
        SCOPED_TRACE(::testing::PrintToString(name));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(root_, name.c_str()));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(root_, ("made\\" + name + "\\below").c_str()));
        EXPECT_EQ(ERROR_INVALID_PARAMETER, Set(root_, name.c_str(), REG_SZ, "x", 2));
        HKEY key = kSentinel;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(root_, name.c_str(), 0, KEY_READ, &key));
        EXPECT_EQ(nullptr, key);
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(root_, name.c_str()));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(root_, name.c_str()));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(root_, name.c_str()));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, SHDeleteKeyA(root_, name.c_str()));
    }
    EXPECT_EQ(Names{}, SubKeys(root_));  // not even the first level of a refused path
    EXPECT_EQ(Names{}, ValueNames(root_));
    SetString(root_, "data", "caf\xE9");
    EXPECT_EQ("caf\xE9", ReadString(root_, "data"));
}

}  // namespace
