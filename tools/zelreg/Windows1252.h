// Windows-1252, the 8-bit code page REGEDIT4 files are written in on Western Windows systems,
// decoded to the UTF-8 the tool keeps inside.
#pragma once

#include <string>
#include <string_view>

namespace zelregtool {

// Every byte decodes: 0x80-0x9F to their own characters (the euro sign, typographic quotes,
// ...), the five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) to the
// control characters of the same number, as Windows' own conversion maps them.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace zelregtool
