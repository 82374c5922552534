// Non-ASCII names in this platform's store, which takes the A functions' names as UTF-8 (Windows
// and Wine read them in the ANSI code page, so these tests belong to the Linux store alone).
#include "RegTestSupport.h"

namespace {

using Utf8Names = RegTest;

TEST_F(Utf8Names, KeyNameLimitCountsCharactersNotBytes) {
    std::string longest;
    for (int i = 0; i < 255; ++i) longest += "\xC3\x84";  // Ä, two bytes in UTF-8
    EXPECT_EQ(ERROR_SUCCESS, CreateKey(root_, longest.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateKey(root_, (longest + "\xC3\x84").c_str()));
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
