// Small text helpers shared by the command line and the .reg file reader.
#pragma once

#include <string>
#include <string_view>

namespace zelregtool {

bool EqualsNoCase(std::string_view a, std::string_view b);
// ASCII letters changed, every other byte kept.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Blanks are spaces, tabs and carriage returns.
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);
// Characters, not bytes, of UTF-8 text.
std::size_t Utf8Length(std::string_view text);
// The value of a hex digit, or -1.
int HexDigit(char c);

}  // namespace zelregtool
