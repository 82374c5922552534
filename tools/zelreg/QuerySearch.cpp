#include "QuerySearch.h"

#include "ErrorText.h"
#include "KeyReader.h"
#include "ValueText.h"

#include <algorithm>
#include <ostream>

namespace zelregtool {
namespace {

// reg.exe's layout: a blank line first; a key with matching values as a block (the key, its
// values, a blank line); keys matched by name one to a line, with a blank line after a run
// of them before the next block or the end.
class SearchPrinter {
public:
    SearchPrinter(std::ostream& out, const ValueFormat& format) : out_(out), format_(format) { out_ << '\n'; }

    void Block(const KeyPath& key, const std::vector<RegValue>& values) {
        if (afterKeyLines_) out_ << '\n';
        out_ << key.FullName() << '\n';
        for (const RegValue& value : values) out_ << ValueLine(value, format_) << '\n';
        out_ << '\n';
        afterKeyLines_ = false;
    }
    void KeyLine(const KeyPath& key) {
        out_ << key.FullName() << '\n';
        afterKeyLines_ = true;
    }
    void End(std::size_t matches) {
        if (afterKeyLines_) out_ << '\n';
        out_ << "End of search: " << matches << " match(es) found.\n";
    }

private:
    std::ostream& out_;
    const ValueFormat& format_;
    bool afterKeyLines_ = false;
};

bool ValueMatches(const QuerySearch& search, const RegValue& value, const ValueFormat& format) {
    if (!search.types.empty() && std::find(search.types.begin(), search.types.end(), value.type) == search.types.end())
        return false;
    return (search.valueNames && search.pattern.Matches(value.name)) ||
           (search.data && search.pattern.Matches(DisplayData(value, format.separator)));
}

}  // namespace

int RunSearch(const QuerySearch& search, const KeyPath& key, HKEY handle, REGSAM view, const ValueFormat& format,
              Console& console) {
    SearchPrinter printer(console.out, format);
    std::size_t matches = 0;
    bool start = true;  // the key searched, whose own name is not looked at
    const auto visit = [&](const KeyPath& path, const std::vector<RegValue>& values,
                           const std::vector<std::string>& subKeys) {
        std::vector<RegValue> found;
        for (const RegValue& value : values)
            if (ValueMatches(search, value, format)) found.push_back(value);
        const bool nameMatches = search.keyNames && !start && search.pattern.Matches(path.Name());
        start = false;
        matches += found.size() + (nameMatches ? 1 : 0);
        if (!found.empty())
            printer.Block(path, found);
        else if (nameMatches)
            printer.KeyLine(path);
        // Without /s the search looks at the key's values and at the names of its sub-keys.
        for (std::size_t i = 0; !search.recursive && search.keyNames && i < subKeys.size(); ++i) {
            if (!search.pattern.Matches(subKeys[i])) continue;
            printer.KeyLine(path.Child(subKeys[i]));
            ++matches;
        }
    };
    KeyPath failed;
    const LONG status = WalkKeys(key, handle, search.recursive, search.onlyValue, view, visit, nullptr, failed);
    if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status));
    printer.End(matches);
    return matches > 0 ? 0 : 1;
}

}  // namespace zelregtool
