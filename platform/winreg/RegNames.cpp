#include "RegNames.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace zelreg {

std::string FoldName(std::string_view name) {
    std::string folded;
    folded.reserve(name.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    const int32_t length = static_cast<int32_t>(name.size());
    int32_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) {
            char c = static_cast<char>(bytes[i++]);
            folded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
            continue;
        }
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            folded.append(name.substr(start, i - start));
            continue;
        }
        const UChar32 upper = u_toupper(c);
        uint8_t buf[U8_MAX_LENGTH];
        int32_t n = 0;
        UBool error = false;
        U8_APPEND(buf, n, U8_MAX_LENGTH, upper, error);
        if (error) {
            folded.append(name.substr(start, i - start));
        } else {
            folded.append(reinterpret_cast<const char*>(buf), n);
        }
    }
    return folded;
}

bool IsStorableName(std::string_view name) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
    const int32_t length = static_cast<int32_t>(name.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::size_t Utf16Length(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    std::size_t units = 0;
    int32_t i = 0;
    while (i < length) {
        if (bytes[i] < 0x80) {
            ++i;
            ++units;
            continue;
        }
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            units += static_cast<std::size_t>(i - start);
        } else {
            units += c > 0xFFFF ? 2 : 1;
        }
    }
    return units;
}

std::size_t StringDataSize(std::string_view bytes) {
    const std::size_t wide = 2 * Utf16Length(bytes);
    return wide > bytes.size() ? wide : bytes.size();
}

LONG SplitKeyPath(const char* path, std::vector<std::string>& elements) {
    elements.clear();
    if (!path || !*path) return ERROR_SUCCESS;
    if (*path == '\\') return ERROR_BAD_PATHNAME;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t cut = rest.find('\\');
        const std::string_view element = rest.substr(0, cut);
        if (!element.empty()) {
            if (Utf16Length(element) > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
            elements.emplace_back(element);
        }
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

}  // namespace zelreg
