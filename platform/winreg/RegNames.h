// Key and value names: case folding, length rules and path splitting.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "../win32/ZelWinTypes.h"

namespace zelreg {

// Longest key name element and longest value name, in UTF-16 code units, as Windows counts.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// The comparison form of a UTF-8 name: every character replaced by its simple upper-case
// mapping (what Windows does), so "Äpfel" and "äPFEL" fold alike while "ß" stays "ß". Bytes that
// are not valid UTF-8 are kept as they are.
std::string FoldName(std::string_view name);

// Whether a name may be stored: it must be valid UTF-8, or it could not be compared without
// regard to case, nor exported or shown. Looking up a name that is not finds nothing.
bool IsStorableName(std::string_view name);

// Length of a UTF-8 name in UTF-16 code units (an invalid byte counts as one unit).
std::size_t Utf16Length(std::string_view text);

// Bytes the string would take as UTF-16, or its own byte count where that is larger: the figure
// RegQueryInfoKey reports as the largest data, never smaller than what the A calls return.
std::size_t StringDataSize(std::string_view bytes);

// The elements of a sub-key path, as views into the caller's text.
using KeyPath = std::vector<std::string_view>;

// Splits a sub-key path into its elements. Doubled and trailing separators are ignored.
// Returns ERROR_BAD_PATHNAME for a leading separator and ERROR_INVALID_PARAMETER for an element
// longer than kMaxKeyNameLength; ERROR_SUCCESS otherwise (an empty result names the key itself).
LONG SplitKeyPath(const char* path, KeyPath& elements);

// The folded elements, each followed by a backslash: a whole path as one comparison form.
std::string FoldPath(const KeyPath& elements);

}  // namespace zelreg
