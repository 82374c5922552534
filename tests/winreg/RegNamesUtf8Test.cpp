// Non-ASCII names in this platform's store, which takes the A functions' names as UTF-8 (Windows
// and Wine read them in the ANSI code page, so these tests belong to the Linux store alone).
#include <algorithm>

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
        {"\xCE\xB1\xCE\xB2\xCE\xB3", "\xCE\x91\xCE\x92\xCE\x93"},                  // αβγ, ΑΒΓ
    };
    std::vector<std::string> spellings{"STRASSE"};
    for (const auto& pair : pairs) {
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, pair[0]));
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, pair[1], &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition) << pair[0];
        spellings.push_back(pair[0]);
    }
    EXPECT_FALSE(KeyExists(root_, "STRASSE"));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(root_, "STRASSE"));
    std::vector<std::string> listed = SubKeys(root_);
    std::sort(listed.begin(), listed.end());
    std::sort(spellings.begin(), spellings.end());
    EXPECT_EQ(spellings, listed);
}

TEST_F(Utf8Names, ValueNamesFoldAndTheFirstSpellingStays) {
    SetString(root_, "\xC3\x84pfel", "first");
    EXPECT_EQ("first", ReadString(root_, "\xC3\xA4PFEL"));
    SetString(root_, "\xC3\x84PFEL", "second");
    EXPECT_EQ(std::vector<std::string>{"\xC3\x84pfel"}, ValueNames(root_));
    EXPECT_EQ("second", ReadString(root_, "\xC3\x84pfel"));
}

}  // namespace
