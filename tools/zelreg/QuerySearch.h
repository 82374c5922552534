// query's search: /f, /t, and /v or /ve with /s look through a key (with /s, the keys below
// it too) and show what matches, as reg.exe does.
#pragma once

#include "Console.h"
#include "KeyPath.h"
#include "QueryFormat.h"
#include "Registry.h"
#include "SearchPattern.h"

#include <optional>
#include <string>
#include <vector>

namespace zelregtool {

struct QuerySearch {
    SearchPattern pattern;                  // /f; "*" without it
    bool keyNames, valueNames, data;        // where the pattern is looked for
    std::optional<std::string> onlyValue;   // /v NAME, or "" for /ve: only that value
    std::vector<DWORD> types;               // /t; empty for every type
    bool recursive;                         // /s
};

// Searches `key`, open as `handle`. Every value that matches is shown under its key; a key whose
// own name matches (never the one searched) is shown alone on its line; then "End of search:
// N match(es) found.". The exit code: 0 with a match, 1 without one or on a failure.
int RunSearch(const QuerySearch& search, const KeyPath& key, HKEY handle, REGSAM view, const ValueFormat& format,
              Console& console);

}  // namespace zelregtool
