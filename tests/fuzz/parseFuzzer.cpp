// The .reg parser on any bytes: it either returns the changes or throws RegFileError naming a
// line of the file; nothing else may escape it, and it must not read or write out of bounds.
#include "zelreg/RegFileParser.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

// Every line break the parser may count: LF in 8-bit text, LF units in UTF-16 (counted twice
// at most), and a line for the text after the last one.
int MostLines(std::string_view bytes) {
    return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n')) + 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const zelregtool::RegFileContent content = zelregtool::ParseRegFile(bytes);
        for (const zelregtool::RegFileEntry& entry : content.entries)
            if (entry.line < 2 || entry.line > MostLines(bytes)) std::abort();
    } catch (const zelregtool::RegFileError& e) {
        if (e.Line() < 1 || e.Line() > MostLines(bytes)) std::abort();
    }
    return 0;
}
