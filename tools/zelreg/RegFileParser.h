// Reading .reg files: "Windows Registry Editor Version 5.00" (UTF-16LE with a byte order mark,
// or UTF-8 with or without one, or Windows-1252 where it is not UTF-8) and REGEDIT4
// (Windows-1252 unless marked as UTF-8, 8-bit string data). The whole file is read before
// anything is changed, so a malformed one changes nothing.
#pragma once

#include "RegFile.h"

#include <string_view>

namespace zelregtool {

// The changes the file asks for, in order. Throws RegFileError, with the line, for anything
// that is not well-formed.
RegFileContent ParseRegFile(std::string_view bytes);

}  // namespace zelregtool
