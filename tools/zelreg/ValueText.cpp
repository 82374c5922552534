#include "ValueText.h"

#include "TextUtil.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace zelregtool {
namespace {

struct TypeNameEntry {
    DWORD type;
    const char* name;
};
const TypeNameEntry kTypes[] = {
    {REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},       {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},       {REG_DWORD, "REG_DWORD"}, {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},           {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST"}, {REG_QWORD, "REG_QWORD"},
};

uint64_t LittleEndian(const std::vector<BYTE>& data) {
    uint64_t number = 0;
    for (std::size_t i = data.size(); i-- > 0;) number = (number << 8) | data[i];
    return number;
}

std::string Hex(uint64_t number) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(number));
    return text;
}

std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t maximum) {
    const bool hex = StartsWithNoCase(text, "0x");
    const std::size_t start = hex ? 2 : 0;
    if (text.size() == start) return std::nullopt;
    const unsigned base = hex ? 16 : 10;
    uint64_t number = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        if (number > (maximum - static_cast<unsigned>(digit)) / base) return std::nullopt;
        number = number * base + static_cast<unsigned>(digit);
    }
    return number;
}

std::vector<BYTE> NumberBytes(uint64_t number, std::size_t size) {
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
    return bytes;
}

// Each item followed by its NUL, then the list's closing NUL, as reg.exe takes them: one
// separator may end the text, and the separator alone is a list of one empty item; any other
// empty item would end the list early.
std::optional<std::vector<BYTE>> MultiString(const std::string& text, const std::string& separator,
                                             std::string& problem) {
    if (text == separator) return std::vector<BYTE>{0, 0};
    std::string_view rest(text);
    if (rest.size() >= separator.size() && rest.substr(rest.size() - separator.size()) == separator)
        rest.remove_suffix(separator.size());
    std::vector<BYTE> bytes;
    for (std::size_t start = 0; !rest.empty();) {
        std::size_t cut = rest.find(separator, start);
        if (cut == std::string_view::npos) cut = rest.size();
        if (cut == start) {
            problem = "an empty item would end the list early";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), rest.begin() + start, rest.begin() + cut);
        bytes.push_back(0);
        if (cut == rest.size()) break;
        start = cut + separator.size();
    }
    bytes.push_back(0);
    return bytes;
}

// Pairs of hex digits; an odd count takes a leading 0, as reg.exe reads it.
std::optional<std::vector<BYTE>> HexData(const std::string& text, std::string& problem) {
    const std::string digits = text.size() % 2 != 0 ? "0" + text : text;
    std::vector<BYTE> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = HexDigit(digits[i]), low = HexDigit(digits[i + 1]);
        if (high < 0 || low < 0) {
            problem = "not hex digits";
            return std::nullopt;
        }
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return bytes;
}

}  // namespace

std::string TypeName(DWORD type) {
    for (const TypeNameEntry& entry : kTypes)
        if (entry.type == type) return entry.name;
    return "REG_UNKNOWN(" + Hex(type) + ")";
}

std::string ShownName(const std::string& name) { return name.empty() ? "(Default)" : name; }

std::optional<DWORD> TypeFromName(const std::string& name) {
    // REG_DWORD_BIG_ENDIAN is reg.exe's too; it stores the number as REG_DWORD does.
    if (EqualsNoCase(name, "REG_DWORD_LITTLE_ENDIAN")) return REG_DWORD;
    for (DWORD type :
         {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY, REG_NONE})
        if (EqualsNoCase(name, TypeName(type))) return type;
    return std::nullopt;
}

std::string DisplayData(const RegValue& value, std::string_view separator) {
    std::string text(value.data.begin(), value.data.end());
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return text.substr(0, text.find('\0'));
    case REG_MULTI_SZ: {
        // Every item, empty ones too, as export keeps them: the last item's NUL and the
        // list's closing NUL end the list, every other NUL stands between two items.
        for (int terminator = 0; terminator < 2 && !text.empty() && text.back() == '\0'; ++terminator)
            text.pop_back();
        std::string shown;
        for (const char c : text) {
            if (c == '\0')
                shown += separator;
            else
                shown.push_back(c);
        }
        return shown;
    }
    case REG_DWORD:
        if (value.data.size() == 4) return Hex(LittleEndian(value.data));
        break;
    case REG_QWORD:
        if (value.data.size() == 8) return Hex(LittleEndian(value.data));
        break;
    default:
        break;
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (BYTE b : value.data) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0xF]);
    }
    return hex;
}

std::optional<std::vector<BYTE>> DataFromText(DWORD type, const std::optional<std::string>& text,
                                              const std::string& separator, std::string& problem) {
    const std::string given = text.value_or("");
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_NONE: {
        // reg.exe stores REG_NONE's text as a string too; without one, a NUL of UTF-16.
        if (type == REG_NONE && !text) return std::vector<BYTE>{0, 0};
        std::vector<BYTE> bytes(given.begin(), given.end());
        bytes.push_back(0);
        return bytes;
    }
    case REG_MULTI_SZ:
        if (!text) return std::vector<BYTE>{0};
        return MultiString(given, separator, problem);
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        const bool dword = type != REG_QWORD;
        if (!text && !dword) return NumberBytes(0, 8);
        const auto number = ParseNumber(given, dword ? UINT32_MAX : UINT64_MAX);
        if (!number) {
            problem = std::string("not a number that fits ") + (dword ? "32" : "64") +
                      " bits (decimal, or hex with 0x)";
            return std::nullopt;
        }
        return NumberBytes(*number, dword ? 4 : 8);
    }
    default:
        return HexData(given, problem);
    }
}

}  // namespace zelregtool
