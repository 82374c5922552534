// A verb's arguments: positional ones and reg.exe-style switches (/v NAME, -f, ...).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zelregtool {

struct SwitchRule {
    const char* name;  // lower case, without the slash
    bool takesValue;
    // The value may be left out (query's /v with /f): then the next word is not taken when
    // it is another of the verb's switches, or there is none.
    bool valueOptional = false;
};

class Arguments {
public:
    // A word of letters after "/" or "-" is a switch, in any case, also with ":" and digits
    // after them (/reg:32), so "/tmp/x.reg" is a file name; a switch the verb does not know,
    // a repeated one or a missing value sets `problem`.
    static std::optional<Arguments> Parse(const std::vector<std::string>& words,
                                          const std::vector<SwitchRule>& rules, std::string& problem);

    const std::vector<std::string>& Positional() const { return positional_; }
    bool Has(const std::string& name) const { return switches_.count(name) != 0; }
    // Whether a switch that takes a value was given one.
    bool HasValue(const std::string& name) const { return Has(name) && withoutValue_.count(name) == 0; }
    // The switch's value, or `fallback` when it was not given.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> switches_;
    std::set<std::string> withoutValue_;
};

}  // namespace zelregtool
