// Case-insensitive comparison of text as the registry compares names: character by character
// in upper case, for every script, not only ASCII.
#pragma once

#include <string>

namespace zelregtool {

// Each code point in upper case where it has a simple upper-case form, the others as they are.
std::u32string UpperCase(std::u32string text);

}  // namespace zelregtool
