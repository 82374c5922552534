// Conformance of the value functions: sizes, the NUL rules of string types, types, names.
#include "RegTestSupport.h"

namespace {

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

// ---- RegQueryValueExA -------------------------------------------------------------------

using RegQueryValueExA_ = RegTest;

TEST_F(RegQueryValueExA_, SizeOnlyQueryGivesTypeAndFullSize) {
    SetString(root_, "v", "Hello");
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(6u, size);
}

TEST_F(RegQueryValueExA_, AllPointersNullIsAnExistenceCheck) {
    SetDword(root_, "there", 1);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "there", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegQueryValueExA_, TypeAndSizeMayShareOneDword) {
    SetString(root_, "v", "Hello");
    DWORD both = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, &both, nullptr, &both));
}

TEST_F(RegQueryValueExA_, MissingValueSetsSizeToZeroOnlyForASizeQuery) {
    DWORD size = 123;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
    BYTE buffer[8];
    size = sizeof buffer;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(root_, "absent", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(static_cast<DWORD>(sizeof buffer), size);
}

TEST_F(RegQueryValueExA_, TooSmallBufferGivesMoreDataTheSizeAndAnUntouchedBuffer) {
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "bin", 0, REG_BINARY, eight, sizeof eight));
    DWORD buffer = 0xdeadbeef;
    DWORD size = sizeof buffer, type = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExA(root_, "bin", nullptr, &type, reinterpret_cast<BYTE*>(&buffer), &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(0xdeadbeefu, buffer);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);

    SetString(root_, "str", "abcdef");
    char text[7];
    std::memset(text, 'x', sizeof text);
    size = 6;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(root_, "str", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size));
    EXPECT_EQ(7u, size);
    EXPECT_EQ(std::string(7, 'x'), std::string(text, 7));
}

TEST_F(RegQueryValueExA_, StringStoredWithoutNulGetsOneOnlyWhenThereIsRoom) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "v", 0, REG_SZ, Bytes("abc"), 2));  // "ab", no NUL
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = 2;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(2u, size);
    EXPECT_EQ(std::string("abxx"), std::string(buffer, 4));

    std::memset(buffer, 'x', sizeof buffer);
    size = 3;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(2u, size);  // the NUL added on the way out is not counted
    EXPECT_EQ(std::string("ab\0x", 4), std::string(buffer, 4));
}

TEST_F(RegQueryValueExA_, BinaryDataGetsNoNul) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "v", 0, REG_BINARY, Bytes("ab"), 2));
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(std::string("abxx"), std::string(buffer, 4));
}

TEST_F(RegQueryValueExA_, ZeroLengthStringLeavesTheBufferAlone) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "empty", 0, REG_SZ, Bytes(""), 0));
    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD size = sizeof buffer, type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(root_, "empty", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ('x', buffer[0]);
}

TEST_F(RegQueryValueExA_, EmbeddedNulsComeBackInFull) {
    const char multi[] = "This\0Breaks\0\0A\0\0\0Z\0";
    const DWORD size = sizeof multi;  // includes the final NUL of the literal
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "multi", 0, REG_MULTI_SZ, Bytes(multi), size));
    DWORD type = 0;
    std::vector<BYTE> data = Read(root_, "multi", &type);
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
    EXPECT_EQ(std::string(multi, size), std::string(data.begin(), data.end()));
}

TEST_F(RegQueryValueExA_, BufferWithoutSizePointerIsInvalidParameter) {
    SetDword(root_, "v", 1);
    BYTE buffer[4];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(root_, "v", nullptr, nullptr, buffer, nullptr));
}

TEST_F(RegQueryValueExA_, NullAndEmptyNamesBothMeanTheDefaultValue) {
    SetString(root_, nullptr, "via null");
    EXPECT_EQ("via null", ReadString(root_, ""));
    SetString(root_, "", "via empty");
    EXPECT_EQ("via empty", ReadString(root_, nullptr));
    EXPECT_EQ(1u, ValueNames(root_).size());
}

// ---- RegSetValueExA ---------------------------------------------------------------------

using RegSetValueExA_ = RegTest;

TEST_F(RegSetValueExA_, StringLengthRules) {
    const char* text = "Hello";  // 5 characters
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "full", 0, REG_SZ, Bytes(text), 6));
    EXPECT_EQ(6u, Read(root_, "full").size());

    // One short: the NUL just past the given length is stored too.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "noNul", 0, REG_SZ, Bytes(text), 5));
    std::vector<BYTE> stored = Read(root_, "noNul");
    EXPECT_EQ(std::string("Hello\0", 6), std::string(stored.begin(), stored.end()));
    char buffer[8];
    DWORD size = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(root_, "noNul", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(6u, size);

    // Two short: exactly the bytes given, without a NUL.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "cut", 0, REG_SZ, Bytes(text), 4));
    stored = Read(root_, "cut");
    EXPECT_EQ(std::string("Hell"), std::string(stored.begin(), stored.end()));
}

TEST_F(RegSetValueExA_, EmptyStringWithZeroLengthIsStoredAsZeroBytes) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "v", 0, REG_SZ, Bytes(""), 0));
    DWORD size = 99;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
}

TEST_F(RegSetValueExA_, NullDataWithZeroLengthIsAccepted) {
    for (DWORD type : {DWORD{REG_SZ}, DWORD{REG_EXPAND_SZ}, DWORD{REG_BINARY}}) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "v", 0, type, nullptr, 0)) << type;
        DWORD size = 99, stored = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(root_, "v", nullptr, &stored, nullptr, &size));
        EXPECT_EQ(0u, size);
        EXPECT_EQ(type, stored);
    }
}

TEST_F(RegSetValueExA_, AnyTypeNumberRoundTripsAndTheTypeMayChange) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "v", 0, 0xff00ff00, Bytes("abcd"), 4));
    DWORD type = 0;
    EXPECT_EQ(4u, Read(root_, "v", &type).size());
    EXPECT_EQ(0xff00ff00u, type);
    SetString(root_, "v", "now a string");
    EXPECT_EQ("now a string", ReadString(root_, "v"));
    Read(root_, "v", &type);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
}

TEST_F(RegSetValueExA_, DwordOfAnotherSizeIsNotRejected) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "zero", 0, REG_DWORD, Bytes("abcd"), 0));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "two", 0, REG_DWORD, Bytes("abcd"), 2));
    EXPECT_EQ(0u, Read(root_, "zero").size());
    EXPECT_EQ(2u, Read(root_, "two").size());
}

TEST_F(RegSetValueExA_, EveryByteValueRoundTrips) {
    std::vector<BYTE> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<BYTE>(i);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(root_, "bytes", 0, REG_BINARY, all.data(), 256));
    EXPECT_EQ(all, Read(root_, "bytes"));
}

TEST_F(RegSetValueExA_, LargeValueRoundTrips) {
    std::vector<BYTE> large(1 << 20);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(root_, "large", 0, REG_BINARY, large.data(), static_cast<DWORD>(large.size())));
    EXPECT_EQ(large, Read(root_, "large"));
}

TEST_F(RegSetValueExA_, NameDifferingOnlyInCaseReplacesTheDataAndKeepsTheName) {
    SetDword(root_, "Value", 1);
    SetDword(root_, "VALUE", 2);
    EXPECT_EQ(std::vector<std::string>{"Value"}, ValueNames(root_));
    std::vector<BYTE> data = Read(root_, "value");
    ASSERT_EQ(4u, data.size());
    EXPECT_EQ(2, data[0]);
}

TEST_F(RegSetValueExA_, ValueNamesUpTo16383CharactersAreAcceptedLongerOnesAreInvalid) {
    const std::string longest(16383, 'v');
    const std::string tooLong(16384, 'v');
    SetDword(root_, longest.c_str(), 7);
    EXPECT_EQ(4u, Read(root_, longest.c_str()).size());
    const DWORD one = 1;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegSetValueExA(root_, tooLong.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4));
    LONG status = 0;
    Read(root_, tooLong.c_str(), nullptr, &status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    DWORD values = 0, longestName = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(root_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                              &longestName, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, values);
    EXPECT_EQ(16383u, longestName);
}

// ---- RegDeleteValueA --------------------------------------------------------------------

using RegDeleteValueA_ = RegTest;

TEST_F(RegDeleteValueA_, DeletesOnceThenNotFound) {
    SetDword(root_, "v", 1);
    SetDword(root_, "other", 2);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, "V"));
    LONG status = 0;
    Read(root_, "v", nullptr, &status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(root_, "v"));
    EXPECT_EQ(std::vector<std::string>{"other"}, ValueNames(root_));
}

TEST_F(RegDeleteValueA_, LongMissingNameIsNotFound) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(root_, std::string(400, 'x').c_str()));
}

TEST_F(RegDeleteValueA_, EmptyNameDeletesTheDefaultValue) {
    SetString(root_, "", "default");
    SetString(root_, "named", "kept");
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(root_, ""));
    LONG status = 0;
    Read(root_, "", nullptr, &status);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    EXPECT_EQ("kept", ReadString(root_, "named"));
}

}  // namespace
