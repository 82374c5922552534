// Conformance of the value functions: sizes, the NUL rules of string types, types, names.
#include "RegTestSupport.h"

namespace {

using RegQueryValueExA_ = RegTest;

TEST_F(RegQueryValueExA_, OutputsAreOptionalAndAMissingValueZeroesOnlyASizeQuery) {
    SetString(root_, "v", "Hello");
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);  // also when only the size is asked for
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, nullptr, nullptr, nullptr));
    BYTE buffer[8];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(root_, "v", nullptr, nullptr, buffer, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, nullptr, nullptr));
    size = 123;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
    size = sizeof buffer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(8u, size);
}

TEST_F(RegQueryValueExA_, BufferGetsTheDataAndANulOnlyForAStringWithRoomForIt) {
    SetString(root_, "str7", "abcdef");
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "sz2", REG_SZ, "abc", 2));  // "ab" without a NUL
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "bin2", REG_BINARY, "ab", 2));
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "empty", REG_SZ, "", 0));
    const struct { const char* name; DWORD room; LONG status; DWORD size, type; std::string buffer; } cases[] = {
        {"str7", 6, ERROR_MORE_DATA, 7, REG_SZ, "xxxxxxxx"},
        {"sz2", 2, ERROR_SUCCESS, 2, REG_SZ, "abxxxxxx"},
        {"sz2", 3, ERROR_SUCCESS, 2, REG_SZ, std::string("ab\0xxxxx", 8)},  // the added NUL is not counted
        {"bin2", 4, ERROR_SUCCESS, 2, REG_BINARY, "abxxxxxx"},
        {"empty", 4, ERROR_SUCCESS, 0, REG_SZ, "xxxxxxxx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + std::to_string(c.room));
        std::string buffer(8, 'x');
        DWORD size = c.room, type = 0;
        EXPECT_EQ(c.status,
                  RegQueryValueExA(root_, c.name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size));
        EXPECT_EQ(c.size, size);
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.buffer, buffer);
    }
}

using RegSetValueExA_ = RegTest;

// A string one byte short gets the NUL past its end stored too; two short, it is cut.
TEST_F(RegSetValueExA_, DataOfAnyTypeAndSizeComesBackAsSet) {
    std::string large(1 << 20, '\0');  // every byte value, many times
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7);
    const std::string hello("Hello\0", 6);
    const struct { DWORD type; std::string data; bool nullData; std::string stored; } cases[] = {
        {REG_BINARY, large, false, ""},  {REG_MULTI_SZ, std::string("This\0Breaks\0\0A\0\0\0Z\0", 20), false, ""},
        {0xff00ff00, "abcd", false, ""}, {REG_DWORD, "ab", false, ""},   {REG_SZ, "", false, ""},
        {REG_SZ, "", true, ""},          {REG_SZ, hello, false, ""},     {REG_SZ, "Hello", false, hello},
    };
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const auto& c = cases[i];
        const std::string name = "v" + std::to_string(i);
        SCOPED_TRACE(name);
        const char* data = c.nullData ? nullptr : c.data.data();
        ASSERT_EQ(ERROR_SUCCESS, Set(root_, name.c_str(), c.type, data, static_cast<DWORD>(c.data.size())));
        DWORD type = 0;
        EXPECT_EQ(ERROR_SUCCESS, Query(root_, name.c_str()));
        EXPECT_TRUE((c.stored.empty() ? c.data : c.stored) == Read(root_, name.c_str(), &type));
        EXPECT_EQ(c.type, type);
    }
    ASSERT_EQ(ERROR_SUCCESS, Set(root_, "cut", REG_SZ, "Hello", 4));
    EXPECT_EQ("Hell", Read(root_, "cut"));
    SetString(root_, "v2", "now a string");  // the type may change
    DWORD type = 0;
    EXPECT_EQ(std::string("now a string", 13), Read(root_, "v2", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST_F(RegSetValueExA_, ValueNamesUpTo16383CharactersAreAcceptedLongerOnesAreInvalid) {
    const std::string longest(16383, 'v'), tooLong(16384, 'v');
    SetDword(root_, longest.c_str(), 7);
    EXPECT_EQ(7, ReadDword(root_, "", longest.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Set(root_, tooLong.c_str(), REG_DWORD, "abcd", 4));
    DWORD values = 0, longestName = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                              &longestName, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, values);
    EXPECT_EQ(16383u, longestName);
}

using RegDeleteValueA_ = RegTest;

TEST_F(RegDeleteValueA_, NamesFoldCaseAndTheFirstSpellingStays) {
    SetDword(root_, "Value", 1);
    SetDword(root_, "VALUE", 2);
    EXPECT_EQ(Names{"Value"}, ValueNames(root_));
    EXPECT_EQ(2, ReadDword(root_, "", "value"));
    SetDword(root_, "other", 3);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, "vALUE"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(root_, "Value"));
    EXPECT_EQ(Names{"other"}, ValueNames(root_));
}

TEST_F(RegDeleteValueA_, NullAndEmptyNamesMeanTheDefaultValue) {
    SetString(root_, nullptr, "via null");
    EXPECT_EQ("via null", ReadString(root_, ""));
    SetString(root_, "", "via empty");
    EXPECT_EQ("via empty", ReadString(root_, nullptr));
    SetString(root_, "named", "kept");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, ""));
    EXPECT_EQ(Names{"named"}, ValueNames(root_));
}

}  // namespace
