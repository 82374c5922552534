#include "SearchPattern.h"

#include "CaseFold.h"
#include "Utf16.h"

namespace zelregtool {

SearchPattern::SearchPattern(std::string_view pattern, bool caseSensitive, bool exact)
    : caseSensitive_(caseSensitive), pattern_(Prepared(pattern)) {
    if (!exact) pattern_ = U'*' + pattern_ + U'*';
}

std::u32string SearchPattern::Prepared(std::string_view text) const {
    std::u32string points = Utf8ToUtf32(text);
    return caseSensitive_ ? points : UpperCase(std::move(points));
}

bool SearchPattern::Matches(std::string_view text) const {
    const std::u32string subject = Prepared(text);
    // Greedy wildcard matching that goes back only to the last *: linear in practice and never
    // exponential, whatever the pattern.
    std::size_t p = 0, s = 0;
    std::size_t starAt = std::u32string::npos, resumeAt = 0;
    while (s < subject.size()) {
        if (p < pattern_.size() && pattern_[p] == U'*') {
            starAt = p++;
            resumeAt = s;
        } else if (p < pattern_.size() && (pattern_[p] == U'?' || pattern_[p] == subject[s])) {
            ++p;
            ++s;
        } else if (starAt != std::u32string::npos) {
            p = starAt + 1;
            s = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern_.size() && pattern_[p] == U'*') ++p;
    return p == pattern_.size();
}

}  // namespace zelregtool
