// Non-ASCII names in this platform's store, which takes the A functions' names as UTF-8. Under
// Windows or Wine the A functions use the ANSI code page (1252 under Wine), so these bytes would be
// other characters there: these tests belong to the Linux store alone.
#include "RegTestSupport.h"

namespace {

using Utf8Names = RegTest;

TEST_F(Utf8Names, KeyNameLimitCountsCharactersNotBytes) {
    std::string longest;
    for (int i = 0; i < 255; ++i) longest += "\xC3\x84";  // Ä, two bytes in UTF-8
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root_, longest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExA(root_, (longest + "\xC3\x84").c_str(), 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(Utf8Names, NonAsciiKeyNamesFoldCaseAndKeepTheirSpelling) {
    RegCloseKey(Create(root_, "\xC3\x84pfel"));  // Äpfel
    EXPECT_TRUE(KeyExists(root_, "\xC3\xA4PFEL"));  // äPFEL
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root_, "\xC3\x84PFEL", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                             &disposition));  // ÄPFEL
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    RegCloseKey(key);
    EXPECT_EQ(std::vector<std::string>{"\xC3\x84pfel"}, SubKeys(root_));
}

TEST_F(Utf8Names, SharpSFoldsOnlyToItselfNotToSS) {
    RegCloseKey(Create(root_, "Stra\xC3\x9F" "e"));  // Straße
    EXPECT_TRUE(KeyExists(root_, "STRA\xC3\x9F" "E"));
    EXPECT_FALSE(KeyExists(root_, "STRASSE"));
    RegCloseKey(Create(root_, "STRASSE"));
    EXPECT_EQ(2u, SubKeys(root_).size());
}

TEST_F(Utf8Names, CyrillicAndGreekNamesFoldToo) {
    RegCloseKey(Create(root_, "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0"));  // Ёлка
    EXPECT_TRUE(KeyExists(root_, "\xD1\x91\xD0\x9B\xD0\x9A\xD0\x90"));  // ёЛКА
    RegCloseKey(Create(root_, "\xCE\xB1\xCE\xB2\xCE\xB3"));  // αβγ
    EXPECT_TRUE(KeyExists(root_, "\xCE\x91\xCE\x92\xCE\x93"));  // ΑΒΓ
    EXPECT_EQ(2u, SubKeys(root_).size());
}

TEST_F(Utf8Names, ValueNamesFoldAndTheFirstSpellingStays) {
    SetString(root_, "\xC3\x84pfel", "first");
    EXPECT_EQ("first", ReadString(root_, "\xC3\xA4PFEL"));
    SetString(root_, "\xC3\x84PFEL", "second");
    EXPECT_EQ(std::vector<std::string>{"\xC3\x84pfel"}, ValueNames(root_));
    EXPECT_EQ("second", ReadString(root_, "\xC3\x84pfel"));
}

}  // namespace
