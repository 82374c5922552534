// What a .reg file holds: key sections with their values when written, a list of changes
// when read.
#pragma once

#include "KeyPath.h"
#include "Registry.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace zelregtool {

// One [KEY] section of an exported file; `name` is the key's full name.
struct RegKeySection {
    std::string name;
    std::vector<RegValue> values;
};

// One change a file asks for, with the line it stands on.
struct RegFileEntry {
    enum class Action { CreateKey, DeleteKey, SetValue, DeleteValue };
    Action action;
    KeyPath key;
    RegValue value;  // the name alone for DeleteValue
    int line;
};

struct RegFileContent {
    bool unicode;  // "Windows Registry Editor Version 5.00" rather than REGEDIT4
    std::vector<RegFileEntry> entries;
};

class RegFileError : public std::runtime_error {
public:
    RegFileError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
    int Line() const { return line_; }

private:
    int line_;
};

}  // namespace zelregtool
