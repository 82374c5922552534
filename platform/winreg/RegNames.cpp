#include "RegNames.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

namespace zelreg {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

}  // namespace

std::string FoldName(std::string_view name) {
    // Most names are ASCII: those are upper-cased byte by byte, in place.
    if (IsAscii(name)) {
        std::string folded(name);
        for (char& c : folded) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return folded;
    }
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
    if (IsAscii(name)) return true;
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

LONG SplitKeyPath(const char* path, KeyPath& elements) {
    elements.clear();
    if (!path || !*path) return ERROR_SUCCESS;
    if (*path == '\\') return ERROR_BAD_PATHNAME;
    std::string_view rest(path);
    elements.reserve(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\\')) + 1);
    while (!rest.empty()) {
        const std::size_t cut = rest.find('\\');
        const std::string_view element = rest.substr(0, cut);
        if (!element.empty()) {
            // A UTF-16 unit takes at least one byte: only a long element can be too long.
            if (element.size() > kMaxKeyNameLength && Utf16Length(element) > kMaxKeyNameLength) {
                return ERROR_INVALID_PARAMETER;
            }
            elements.emplace_back(element);
        }
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

std::string FoldPath(const KeyPath& elements) {
    std::size_t size = 0;
    for (std::string_view element : elements) size += element.size() + 1;
    std::string folded;
    folded.reserve(size);
    for (std::string_view element : elements) {
        if (IsAscii(element)) {
            for (char c : element) folded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        } else {
            folded.append(FoldName(element));
        }
        folded.push_back('\\');
    }
    return folded;
}

}  // namespace zelreg
