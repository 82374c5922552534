// Value types and data as the command line shows and takes them (reg.exe's forms).
#pragma once

#include "Registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelregtool {

std::string TypeName(DWORD type);
// A value's name as reg.exe shows it: "(Default)" for the default value.
std::string ShownName(const std::string& name);
// The types `add` takes, by name in any case.
std::optional<DWORD> TypeFromName(const std::string& name);

// The data as `query` prints it: strings as they are, REG_MULTI_SZ items (empty ones too)
// joined by `separator` (query's /se; the two characters \0 without it), numbers in hex with
// 0x, anything else as hex digits.
std::string DisplayData(const RegValue& value, std::string_view separator = "\\0");

// The bytes `add` stores for `/d text`, or without /d for no text: the string types and
// REG_NONE take text (REG_NONE without it two zero bytes), a REG_MULTI_SZ splits at
// `separator`, numbers are decimal or 0x hex (REG_QWORD without text 0), REG_BINARY takes hex
// digits. Nothing, with `problem` set, when the text does not fit the type or a REG_DWORD has
// none.
std::optional<std::vector<BYTE>> DataFromText(DWORD type, const std::optional<std::string>& text,
                                              const std::string& separator, std::string& problem);

}  // namespace zelregtool
