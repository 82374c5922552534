#include "RegFileParser.h"

#include "TextUtil.h"
#include "Utf16.h"
#include "Windows1252.h"

namespace zelregtool {
namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) return lines;
        start = end + 1;
    }
}

enum class Encoding { Utf16, Utf8, Windows1252 };

struct DecodedText {
    std::vector<std::string> lines;  // as UTF-8
    Encoding encoding;
};

bool IsUtf8(const std::vector<std::string>& lines, std::size_t& bad) {
    std::u16string ignored;
    for (bad = 0; bad < lines.size(); ++bad)
        if (!Utf8ToUtf16(lines[bad], ignored)) return false;
    return true;
}

DecodedText DecodeUtf16(std::string_view bytes) {
    const std::u16string wide = Utf16FromLittleEndian(bytes);
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = wide.find(u'\n', start);
        std::string line;
        if (!Utf16ToUtf8(std::u16string_view(wide).substr(start, end == std::u16string::npos ? end : end - start),
                         line))
            throw RegFileError(static_cast<int>(lines.size() + 1), "not valid UTF-16 text");
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    if (bytes.size() % 2 != 0) throw RegFileError(static_cast<int>(lines.size()), "the UTF-16 text is cut off");
    return {std::move(lines), Encoding::Utf16};
}

// The file's lines, whatever its encoding: UTF-16LE or UTF-8 by their byte order marks; without
// one, REGEDIT4 is Windows-1252, as regedit wrote it, and a version 5 file is UTF-8 where it
// is valid UTF-8 and Windows-1252 where it is not.
DecodedText DecodeLines(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFE\xFF")
        throw RegFileError(1, "UTF-16 big-endian text is not read; save the file as UTF-16LE or UTF-8");
    if (bytes.substr(0, 2) == "\xFF\xFE") return DecodeUtf16(bytes.substr(2));
    std::size_t bad = 0;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        std::vector<std::string> lines = SplitLines(bytes.substr(3));
        if (!IsUtf8(lines, bad)) throw RegFileError(static_cast<int>(bad + 1), "not valid UTF-8 text");
        return {std::move(lines), Encoding::Utf8};
    }
    std::vector<std::string> lines = SplitLines(bytes);
    if (TrimRight(lines.front()) != kHeader4 && IsUtf8(lines, bad)) return {std::move(lines), Encoding::Utf8};
    for (std::string& line : lines) line = Windows1252ToUtf8(line);
    return {std::move(lines), Encoding::Windows1252};
}

class Parser {
public:
    explicit Parser(DecodedText text) : lines_(std::move(text.lines)), encoding_(text.encoding) {}

    RegFileContent Run() {
        const std::string_view header = TrimRight(lines_.front());
        if (header != kHeader5 && header != kHeader4)
            Error(std::string("not a .reg file: the first line must be \"") + kHeader5 + "\" or \"" + kHeader4 +
                  "\"");
        content_.unicode = header == kHeader5;
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const std::string_view line = TrimLeft(TrimRight(lines_[index_]));
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                Section(line);
            } else if (line.front() == '"' || line.front() == '@') {
                Value(line);
            } else {
                Error("expected a [KEY] line, a value line (\"name\"=... or @=...), a comment or a blank line");
            }
        }
        return std::move(content_);
    }

private:
    [[noreturn]] void Error(const std::string& message) const {
        throw RegFileError(static_cast<int>(index_ + 1), message);
    }

    void Add(RegFileEntry::Action action, RegValue value = {}) {
        content_.entries.push_back({action, *key_, std::move(value), static_cast<int>(index_ + 1)});
    }

    void Section(std::string_view line) {
        const std::size_t close = line.rfind(']');
        if (close != line.size() - 1) Error("a [KEY] line must end with ]");
        std::string_view name = line.substr(1, close - 1);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove) name.remove_prefix(1);
        key_ = ParseKeyPath(std::string(name));
        if (!key_)
            Error("invalid key name \"" + std::string(name) +
                  "\" (it must start with HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE)");
        if (remove && key_->subKey.empty()) Error("a whole hive cannot be deleted");
        Add(remove ? RegFileEntry::Action::DeleteKey : RegFileEntry::Action::CreateKey);
        // Values after [-KEY] would have no key to go to.
        if (remove) key_.reset();
    }

    // A quoted text at the start of `text`, which moves past it. The escapes are those regedit
    // writes: \\ and \" (Windows and Wine), \r and \n (Wine, for line breaks); a backslash
    // before anything else stands for itself.
    std::string Quoted(std::string_view& text) const {
        std::string result;
        for (std::size_t i = 1; i < text.size(); ++i) {
            char c = text[i];
            if (c == '"') {
                text.remove_prefix(i + 1);
                return result;
            }
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (c == '\\' && next == '0')
                Error("\\0 cannot stand in a quoted text; string data with a NUL in it is written as hex(1):");
            if (c == '\\' && (next == '\\' || next == '"' || next == 'r' || next == 'n')) {
                c = next == 'r' ? '\r' : next == 'n' ? '\n' : next;
                ++i;
            }
            result.push_back(c);
        }
        Error("a quoted text is not closed");
    }

    void Value(std::string_view line) {
        if (!key_) Error("a value line must follow a [KEY] line");
        RegValue value;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            value.name = Quoted(line);
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=') Error("expected = after the value name");
        line = TrimLeft(line.substr(1));
        std::size_t last = index_;
        if (line == "-") {
            Add(RegFileEntry::Action::DeleteValue, std::move(value));
            return;
        }
        if (!line.empty() && line.front() == '"') {
            const std::string text = Quoted(line);
            if (!TrimLeft(line).empty()) Error("unexpected text after the closing quote");
            value.type = REG_SZ;
            value.data.assign(text.begin(), text.end());
            value.data.push_back(0);
        } else if (StartsWithNoCase(line, "dword:")) {
            value.type = REG_DWORD;
            value.data = Dword(line.substr(6));
        } else if (StartsWithNoCase(line, "hex")) {
            last = Hex(line.substr(3), value);
        } else {
            Error("unrecognised value data: expected \"text\", dword:, hex:, hex(TYPE): or -");
        }
        Add(RegFileEntry::Action::SetValue, std::move(value));
        index_ = last;
    }

    std::vector<BYTE> Dword(std::string_view digits) const {
        if (digits.empty() || digits.size() > 8) Error("dword: takes one to eight hex digits");
        DWORD number = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) Error("dword: takes one to eight hex digits");
            number = number * 16 + static_cast<DWORD>(HexDigit(c));
        }
        return {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                static_cast<BYTE>(number >> 24)};
    }

    // hex:... or hex(TYPE):..., over as many lines as end in a backslash; the index of the
    // last of them. Errors name the value's first line.
    std::size_t Hex(std::string_view text, RegValue& value) const {
        value.type = REG_BINARY;
        if (!text.empty() && text.front() == '(') {
            const std::size_t close = text.find(')');
            if (close == std::string_view::npos || close < 2 || close > 9) Error("hex(TYPE) takes a hex type number");
            value.type = 0;
            for (char c : text.substr(1, close - 1)) {
                if (HexDigit(c) < 0) Error("hex(TYPE) takes a hex type number");
                value.type = value.type * 16 + static_cast<DWORD>(HexDigit(c));
            }
            text.remove_prefix(close + 1);
        }
        if (text.empty() || text.front() != ':') Error("expected : after hex");
        std::string joined(text.substr(1));
        std::size_t last = index_;
        while (!joined.empty() && joined.back() == '\\') {
            joined.pop_back();
            do {
                if (++last == lines_.size()) Error("the hex data goes on past the end of the file");
            } while (TrimLeft(lines_[last]).substr(0, 1) == ";");
            joined += TrimRight(TrimLeft(lines_[last]));
        }
        value.data = HexBytes(joined);
        ConvertStringData(value);
        return last;
    }

    std::vector<BYTE> HexBytes(std::string_view text) const {
        std::vector<BYTE> bytes;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string_view::npos) comma = text.size();
            const std::string_view piece = TrimRight(TrimLeft(text.substr(start, comma - start)));
            if (piece.empty() && comma == text.size()) break;  // blanks after a trailing comma
            if (piece.empty() || piece.size() > 2 || HexDigit(piece[0]) < 0 || HexDigit(piece.back()) < 0)
                Error("hex data must be bytes of two hex digits separated by commas");
            bytes.push_back(static_cast<BYTE>(piece.size() == 1 ? HexDigit(piece[0])
                                                                : HexDigit(piece[0]) * 16 + HexDigit(piece[1])));
            start = comma + 1;
        }
        return bytes;
    }

    // The string types' data is UTF-16LE in a version 5 file and 8-bit in REGEDIT4, in the
    // file's own code page (Windows-1252 unless it is marked as UTF-8); inside, UTF-8.
    void ConvertStringData(RegValue& value) const {
        if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ) return;
        const std::string bytes(value.data.begin(), value.data.end());
        std::string text;
        if (content_.unicode) {
            if (bytes.size() % 2 != 0) Error("string data (UTF-16) must have an even number of bytes");
            Utf16ToUtf8(Utf16FromLittleEndian(bytes), text);
        } else if (encoding_ == Encoding::Utf8) {
            std::u16string ignored;
            if (!Utf8ToUtf16(bytes, ignored)) Error("string data is not valid UTF-8 text");
            text = bytes;
        } else {
            text = Windows1252ToUtf8(bytes);
        }
        value.data.assign(text.begin(), text.end());
    }

    std::vector<std::string> lines_;
    Encoding encoding_;
    std::size_t index_ = 0;
    std::optional<KeyPath> key_;
    RegFileContent content_{false, {}};
};

}  // namespace

RegFileContent ParseRegFile(std::string_view bytes) { return Parser(DecodeLines(bytes)).Run(); }

}  // namespace zelregtool
