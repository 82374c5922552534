#include "Windows1252.h"

#include "Utf16.h"

namespace zelregtool {
namespace {

// 0x80-0x9F; 0 marks the undefined bytes, which keep their own number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t mapped = byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : 0;
        wide.push_back(mapped ? mapped : static_cast<char16_t>(byte));
    }
    std::string utf8;
    Utf16ToUtf8(wide, utf8);
    return utf8;
}

}  // namespace zelregtool
