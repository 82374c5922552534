// What query /f looks for: text with the wildcards * (any run of characters) and ? (any one
// character), found anywhere in a name or data unless it must match the whole (/e), in any
// case unless /c.
#pragma once

#include <string>
#include <string_view>

namespace zelregtool {

class SearchPattern {
public:
    SearchPattern(std::string_view pattern, bool caseSensitive, bool exact);

    bool Matches(std::string_view text) const;

private:
    std::u32string Prepared(std::string_view text) const;

    bool caseSensitive_;
    std::u32string pattern_;  // with * at both ends unless exact
};

}  // namespace zelregtool
