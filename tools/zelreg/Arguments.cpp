#include "Arguments.h"

#include "TextUtil.h"

namespace zelregtool {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Letters, and for /reg:32 and /reg:64 a colon and digits after them.
bool LooksLikeSwitch(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
    std::size_t i = 1;
    while (i < word.size() && IsLetter(word[i])) ++i;
    if (i == 1) return false;
    if (i == word.size()) return true;
    if (word[i] != ':' || ++i == word.size()) return false;
    while (i < word.size() && IsDigit(word[i])) ++i;
    return i == word.size();
}

const SwitchRule* FindRule(const std::string& word, const std::vector<SwitchRule>& rules) {
    if (!LooksLikeSwitch(word)) return nullptr;
    for (const SwitchRule& known : rules)
        if (EqualsNoCase(word.substr(1), known.name)) return &known;
    return nullptr;
}

}  // namespace

std::optional<Arguments> Arguments::Parse(const std::vector<std::string>& words,
                                          const std::vector<SwitchRule>& rules, std::string& problem) {
    Arguments arguments;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!LooksLikeSwitch(word)) {
            arguments.positional_.push_back(word);
            continue;
        }
        const SwitchRule* rule = FindRule(word, rules);
        if (!rule) {
            problem = "unknown option " + word;
            return std::nullopt;
        }
        if (arguments.Has(rule->name)) {
            problem = "option " + word + " given twice";
            return std::nullopt;
        }
        std::string value;
        if (rule->takesValue) {
            const bool valueFollows =
                i + 1 < words.size() && !(rule->valueOptional && FindRule(words[i + 1], rules));
            if (valueFollows) {
                value = words[++i];
            } else if (rule->valueOptional) {
                arguments.withoutValue_.insert(rule->name);
            } else {
                problem = "option " + word + " needs a value";
                return std::nullopt;
            }
        }
        arguments.switches_[rule->name] = value;
    }
    return arguments;
}

std::string Arguments::Value(const std::string& name, const std::string& fallback) const {
    const auto found = switches_.find(name);
    return found == switches_.end() ? fallback : found->second;
}

}  // namespace zelregtool
