#include "RegFileWriter.h"

#include "TextUtil.h"
#include "Utf16.h"

#include <cstdio>

namespace zelregtool {
namespace {

// regedit breaks hex data once a line reaches this column, so that no line passes 80.
constexpr std::size_t kWrapColumn = 77;

void CheckName(const std::string& name, const char* what) {
    if (!RegFileCanHoldName(name))
        throw std::runtime_error(std::string("the ") + what + " name \"" + name +
                                 "\" holds a line break, which a .reg file cannot hold");
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A REG_SZ that reads back the same from a quoted string: one closing NUL, no line break.
bool Quotable(const RegValue& value) {
    const std::string text(value.data.begin(), value.data.end());
    return value.type == REG_SZ && !text.empty() && text.find('\0') == text.size() - 1 &&
           text.find_first_of("\r\n") == std::string::npos;
}

void AppendHex(std::string& line, const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::size_t column = Utf8Length(line);  // columns as an editor counts them
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        line.push_back(kDigits[b >> 4]);
        line.push_back(kDigits[b & 0xF]);
        if (i + 1 == bytes.size()) break;
        line.push_back(',');
        column += 3;
        if (column >= kWrapColumn) {
            line += "\\\r\n  ";
            column = 2;
        }
    }
}

std::string ValueLine(const RegValue& value) {
    CheckName(value.name, "value");
    std::string line = (value.name.empty() ? std::string("@") : Quoted(value.name)) + "=";
    const std::string text(value.data.begin(), value.data.end());
    if (Quotable(value)) return line + Quoted(text.substr(0, text.size() - 1));
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08x",
                      static_cast<unsigned>(value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                            static_cast<unsigned>(value.data[3]) << 24));
        return line + number;
    }
    if (value.type == REG_BINARY) {
        line += "hex:";
    } else {
        char tag[16];
        std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(value.type));
        line += tag;
    }
    std::u16string wide;
    Utf8ToUtf16(text, wide);
    AppendHex(line, IsStringType(value.type) ? Utf16ToLittleEndian(wide) : text);
    return line;
}

}  // namespace

bool RegFileCanHoldName(std::string_view name) { return name.find_first_of("\r\n") == std::string_view::npos; }

std::string FormatRegFile(const std::vector<RegKeySection>& sections) {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (const RegKeySection& section : sections) {
        CheckName(section.name, "key");
        text += "\r\n[" + section.name + "]\r\n";
        for (const RegValue& value : section.values) text += ValueLine(value) + "\r\n";
    }
    return text + "\r\n";
}

std::string EncodeRegFile(std::string_view text) {
    std::u16string wide;
    Utf8ToUtf16(text, wide);
    return "\xFF\xFE" + Utf16ToLittleEndian(wide);
}

}  // namespace zelregtool
