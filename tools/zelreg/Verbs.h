// The verbs, each given its parsed arguments (positional counts already checked).
#pragma once

#include "Arguments.h"
#include "Console.h"
#include "KeyPath.h"
#include "Registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelregtool {

int QueryVerb(const Arguments& arguments, Console& console);
int AddVerb(const Arguments& arguments, Console& console);
int DeleteVerb(const Arguments& arguments, Console& console);
int ExportVerb(const Arguments& arguments, Console& console);
int ImportVerb(const Arguments& arguments, Console& console);
int CompareVerb(const Arguments& arguments, Console& console);
int WatchVerb(const Arguments& arguments, Console& console);
int DemoVerb(const Arguments& arguments, Console& console);
int CopyVerb(const Arguments& arguments, Console& console);
int SaveVerb(const Arguments& arguments, Console& console);
int RestoreVerb(const Arguments& arguments, Console& console);
int BackupVerb(const Arguments& arguments, Console& console);
int CheckVerb(const Arguments& arguments, Console& console);
int WhereVerb(const Arguments& arguments, Console& console);

// What import does with a file's bytes, in the registry view `view` (see RegistryView.h);
// `file` names it in messages.
int ImportBytes(std::string_view bytes, const std::string& file, REGSAM view, Console& console);

// reg.exe's answer to a command line it cannot take: "ERROR: Invalid syntax." and where the
// verb's usage is; the failing exit code.
int UsageError(Console& console, const std::string& verb);

// The key a verb names, or an error and nothing.
std::optional<KeyPath> KeyArgument(const std::string& text, Console& console);
// Reports a key that would not open: "not found" as reg.exe says it, anything else with its
// error number (a hive that cannot be opened, access denied, ...).
int KeyFailure(const KeyPath& key, LONG status, Console& console);

}  // namespace zelregtool
