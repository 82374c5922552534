#include "Zelreg.h"

#include "HelpText.h"
#include "HiveFiles.h"
#include "KeyPath.h"
#include "RegistryView.h"
#include "TextUtil.h"
#include "Verbs.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace zelregtool {
namespace {

struct Verb {
    const char* name;
    std::size_t minPositional;
    std::size_t maxPositional;
    std::vector<SwitchRule> switches;
    int (*run)(const Arguments&, Console&);
    // Whether the verb only reads: it never creates a hive, and the keys among its first
    // `keyWords` words must lie in a registry that exists.
    bool readsOnly = false;
    std::size_t keyWords = 0;
};

std::vector<SwitchRule> WithViews(std::vector<SwitchRule> rules) {
    rules.insert(rules.end(), std::begin(kViewSwitches), std::end(kViewSwitches));
    return rules;
}

const Verb kVerbs[] = {
    {"query", 1, 1,
     WithViews({{"v", true, true},
                {"ve", false},
                {"s", false},
                {"f", true},
                {"k", false},
                {"d", false},
                {"c", false},
                {"e", false},
                {"t", true},
                {"z", false},
                {"se", true}}),
     QueryVerb, true, 1},
    {"add", 1, 1,
     WithViews({{"v", true}, {"ve", false}, {"t", true}, {"d", true}, {"s", true}, {"se", true}, {"f", false}}),
     AddVerb},
    {"delete", 1, 1, WithViews({{"v", true}, {"ve", false}, {"va", false}, {"f", false}}), DeleteVerb},
    {"export", 2, 2, WithViews({{"y", false}}), ExportVerb, true, 1},
    {"import", 1, 1, WithViews({}), ImportVerb},
    {"compare", 2, 2,
     WithViews({{"v", true}, {"ve", false}, {"s", false}, {"oa", false}, {"od", false}, {"os", false}, {"on", false}}),
     CompareVerb, true, 2},
    {"watch", 1, 1, {{"s", false}}, WatchVerb},
    {"copy", 2, 2, WithViews({{"s", false}, {"f", false}}), CopyVerb},
    {"save", 2, 2, WithViews({{"y", false}}), SaveVerb, true, 1},
    {"restore", 2, 2, WithViews({}), RestoreVerb},
    {"backup", 1, 2, {{"machine", false}, {"y", false}}, BackupVerb, true},
    {"check", 0, 1, {{"machine", false}}, CheckVerb, true},
    {"where", 0, 0, {}, WhereVerb, true},
    {"demo", 0, 0, {}, DemoVerb},
};

bool IsHelp(const std::string& word) {
    for (const char* help : {"/?", "-?", "/h", "-h", "--help"})
        if (EqualsNoCase(word, help)) return true;
    return false;
}

}  // namespace

int UsageError(Console& console, const std::string& verb) {
    // reg.exe names the verb in capitals.
    console.err << "ERROR: Invalid syntax.\nType \"zelreg " << (verb.empty() ? "" : AsciiUpper(verb) + " ")
                << "/?\" for usage.\n";
    return 1;
}

int RunZelreg(const std::vector<std::string>& words, std::istream& in, std::ostream& out, std::ostream& err) {
    Console console{in, out, err};
    return RunZelreg(words, console);
}

int RunZelreg(const std::vector<std::string>& words, Console& console) {
    if (words.empty()) return UsageError(console, "");
    // "zelreg /?" and "zelreg VERB /?"; elsewhere "/?" may be a value's data.
    if (words.size() <= 2 && IsHelp(words.back())) {
        console.out << (words.size() == 1 ? kOverviewHelp : VerbHelp(AsciiLower(words.front())));
        return 0;
    }
    const std::string verbName = AsciiLower(words.front());
    const auto verb = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                   [&](const Verb& known) { return verbName == known.name; });
    if (verb == std::end(kVerbs)) return UsageError(console, "");
    std::string problem;
    const auto arguments =
        Arguments::Parse(std::vector<std::string>(words.begin() + 1, words.end()), verb->switches, problem);
    const std::size_t count = arguments ? arguments->Positional().size() : 0;
    if (!arguments || count < verb->minPositional || count > verb->maxPositional ||
        (arguments->Has("reg:32") && arguments->Has("reg:64")))
        return UsageError(console, verbName);
    try {
        AllowHiveCreation(!verb->readsOnly);
        for (std::size_t i = 0; i < verb->keyWords; ++i) {
            const auto key = ParseKeyPath(arguments->Positional()[i]);
            if (key && !RegistryPresent(key->root, console)) return 1;
        }
        return verb->run(*arguments, console);
    } catch (const std::exception& e) {
        // Out of memory and the like: reported, never a crash.
        return Fail(console, e.what());
    }
}

}  // namespace zelregtool
