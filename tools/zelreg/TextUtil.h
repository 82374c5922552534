// Small text helpers shared by the command line and the .reg file reader.
#pragma once

#include <string>
#include <string_view>

namespace zelregtool {

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// Blanks are spaces, tabs and carriage returns.
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);
// The value of a hex digit, or -1.
int HexDigit(char c);

}  // namespace zelregtool
