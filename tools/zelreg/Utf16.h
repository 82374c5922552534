// UTF-8 <-> UTF-16 conversion, written out here because the tool keeps UTF-8 inside on every
// platform and .reg files are UTF-16LE. Both directions replace each malformed sequence by
// U+FFFD and report that they had to.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelregtool {

// False when the input was not well-formed UTF-8.
bool Utf8ToUtf16(std::string_view in, std::u16string& out);
// The code points of UTF-8 text, each malformed sequence as U+FFFD.
std::u32string Utf8ToUtf32(std::string_view in);
// False when the input held an unpaired surrogate.
bool Utf16ToUtf8(std::u16string_view in, std::string& out);

// Little-endian byte forms, as .reg files and string values of regedit hold them.
std::string Utf16ToLittleEndian(std::u16string_view text);
std::u16string Utf16FromLittleEndian(std::string_view bytes);  // an odd last byte is dropped

}  // namespace zelregtool
