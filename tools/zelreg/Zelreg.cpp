#include "Zelreg.h"

#include "Verbs.h"

#include <ostream>
#include <stdexcept>

namespace zelregtool {
namespace {

const char kUsage[] =
    "Usage:\n"
    "  zelreg query  KEY [/v NAME | /ve] [/s]\n"
    "  zelreg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  zelreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  zelreg export KEY FILE [/y]\n"
    "  zelreg import FILE\n"
    "  zelreg demo\n"
    "\n"
    "  KEY   HKCU\\path or HKLM\\path (also HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE)\n"
    "  /v    the named value; /ve the default value; /va (delete) all values of the key\n"
    "  /s    (query) the key and all keys below it;\n"
    "        (add) the separator of REG_MULTI_SZ items in DATA, \\0 when not given (also /se)\n"
    "  TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
    "        REG_BINARY, REG_NONE; numbers decimal or 0x hex, REG_BINARY and REG_NONE hex digits\n"
    "  /f    overwrite or delete without asking; /y (export) overwrite the file without asking\n"
    "  FILE  a .reg file: written as \"Windows Registry Editor Version 5.00\" (UTF-16LE);\n"
    "        read in that format (UTF-16LE or UTF-8) or as REGEDIT4\n"
    "  demo  writes the settings of a demo application to the per-user registry and shows them\n"
    "\n"
    "Exit code: 0 success, 1 failure.\n";

struct Verb {
    const char* name;
    std::size_t minPositional;
    std::size_t maxPositional;
    std::vector<SwitchRule> switches;
    int (*run)(const Arguments&, Console&);
};

const Verb kVerbs[] = {
    {"query", 1, 1, {{"v", true}, {"ve", false}, {"s", false}}, QueryVerb},
    {"add", 1, 1, {{"v", true}, {"ve", false}, {"t", true}, {"d", true}, {"s", true}, {"se", true}, {"f", false}},
     AddVerb},
    {"delete", 1, 1, {{"v", true}, {"ve", false}, {"va", false}, {"f", false}}, DeleteVerb},
    {"export", 2, 2, {{"y", false}}, ExportVerb},
    {"import", 1, 1, {}, ImportVerb},
    {"demo", 0, 0, {}, DemoVerb},
};

int UsageError(Console& console, const std::string& problem) {
    console.err << "ERROR: " << problem << "\n\n" << kUsage;
    return 1;
}

}  // namespace

int RunZelreg(const std::vector<std::string>& words, std::istream& in, std::ostream& out, std::ostream& err) {
    Console console{in, out, err};
    if (words.empty()) return UsageError(console, "no verb given");
    // "zelreg /?" and "zelreg VERB /?"; elsewhere "/?" may be a value's data.
    const std::string& last = words.back();
    if (words.size() <= 2 && (last == "/?" || last == "-?" || last == "-h" || last == "--help")) {
        out << kUsage;
        return 0;
    }
    for (const Verb& verb : kVerbs) {
        if (words.front() != verb.name) continue;
        std::string problem;
        const auto arguments =
            Arguments::Parse(std::vector<std::string>(words.begin() + 1, words.end()), verb.switches, problem);
        if (!arguments) return UsageError(console, problem);
        const std::size_t count = arguments->Positional().size();
        if (count < verb.minPositional) return UsageError(console, std::string(verb.name) + ": too few arguments");
        if (count > verb.maxPositional)
            return UsageError(console, std::string(verb.name) + ": unexpected argument " +
                                           arguments->Positional()[verb.maxPositional]);
        try {
            return verb.run(*arguments, console);
        } catch (const std::exception& e) {
            // Out of memory and the like: reported, never a crash.
            return Fail(console, e.what());
        }
    }
    return UsageError(console, "unknown verb " + words.front());
}

}  // namespace zelregtool
