// Writing .reg files as regedit does: "Windows Registry Editor Version 5.00", UTF-16LE with a
// byte order mark, CRLF line ends, string data of the string types as UTF-16LE hex.
#pragma once

#include "RegFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelregtool {

// Whether a key or value name can stand in a .reg file: not with a line break in it.
bool RegFileCanHoldName(std::string_view name);

// The file's text, UTF-8 with CRLF line ends. Throws std::runtime_error for a name that a
// .reg file cannot hold (one with a line break).
std::string FormatRegFile(const std::vector<RegKeySection>& sections);

// The file's bytes: the byte order mark and the text in UTF-16LE.
std::string EncodeRegFile(std::string_view text);

}  // namespace zelregtool
