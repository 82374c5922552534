#include "ValueText.h"

#include "TextUtil.h"

#include <cstdint>
#include <cstdio>

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

// Each item followed by its NUL, then the list's closing NUL.
std::optional<std::vector<BYTE>> MultiString(const std::string& text, const std::string& separator,
                                             std::string& problem) {
    std::vector<BYTE> bytes;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t cut = text.find(separator, start);
        if (cut == std::string::npos) cut = text.size();
        if (cut == start) {
            problem = "an empty item would end the list early";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), text.begin() + start, text.begin() + cut);
        bytes.push_back(0);
        start = cut + separator.size();
    }
    bytes.push_back(0);
    return bytes;
}

}  // namespace

std::string TypeName(DWORD type) {
    for (const TypeNameEntry& entry : kTypes)
        if (entry.type == type) return entry.name;
    return "REG_UNKNOWN(" + Hex(type) + ")";
}

std::optional<DWORD> TypeFromName(const std::string& name) {
    for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE})
        if (EqualsNoCase(name, TypeName(type))) return type;
    return std::nullopt;
}

std::string DisplayData(const RegValue& value) {
    const std::string text(value.data.begin(), value.data.end());
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return text.substr(0, text.find('\0'));
    case REG_MULTI_SZ: {
        std::string shown;
        for (std::size_t start = 0; start < text.size() && text[start] != '\0';) {
            std::size_t end = text.find('\0', start);
            if (end == std::string::npos) end = text.size();
            if (!shown.empty()) shown += "\\0";
            shown += text.substr(start, end - start);
            start = end + 1;
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

std::optional<std::vector<BYTE>> DataFromText(DWORD type, const std::string& text, const std::string& separator,
                                              std::string& problem) {
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::vector<BYTE> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return bytes;
    }
    case REG_MULTI_SZ:
        return MultiString(text, separator, problem);
    case REG_DWORD:
    case REG_QWORD: {
        const bool dword = type == REG_DWORD;
        const auto number = ParseNumber(text.empty() ? "0" : text, dword ? UINT32_MAX : UINT64_MAX);
        if (!number) {
            problem = std::string("not a number that fits ") + (dword ? "32" : "64") +
                      " bits (decimal, or hex with 0x)";
            return std::nullopt;
        }
        return NumberBytes(*number, dword ? 4 : 8);
    }
    default: {
        if (text.size() % 2 != 0) {
            problem = "hex data needs two digits per byte";
            return std::nullopt;
        }
        std::vector<BYTE> bytes;
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
            if (high < 0 || low < 0) {
                problem = "not hex digits";
                return std::nullopt;
            }
            bytes.push_back(static_cast<BYTE>(high * 16 + low));
        }
        return bytes;
    }
    }
}

}  // namespace zelregtool
