#include "HelpText.h"

namespace zelregtool {

const char kOverviewHelp[] =
    "zelreg looks into and changes the registry with reg.exe's verbs and switches.\n"
    "\n"
    "  zelreg query   KEY [/v [NAME] | /ve] [/s] [/f DATA [/k] [/d] [/c] [/e]] [/t TYPE[,TYPE...]]\n"
    "                 [/z] [/se SEPARATOR] [/reg:32 | /reg:64]\n"
    "  zelreg add     KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f] [/reg:32 | /reg:64]\n"
    "  zelreg delete  KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
    "  zelreg compare KEY1 KEY2 [/v NAME | /ve] [/s] [/oa | /od | /os | /on] [/reg:32 | /reg:64]\n"
    "  zelreg watch   KEY [/s]\n"
    "  zelreg export  KEY FILE [/y] [/reg:32 | /reg:64]\n"
    "  zelreg import  FILE [/reg:32 | /reg:64]\n"
    "  zelreg copy    KEY1 KEY2 [/s] [/f] [/reg:32 | /reg:64]\n"
    "  zelreg save    KEY FILE [/y] [/reg:32 | /reg:64]\n"
    "  zelreg restore KEY FILE [/reg:32 | /reg:64]\n"
    "  zelreg backup  [HKCU | HKLM] FILE [/machine] [/y]\n"
    "  zelreg check   [HKCU | HKLM] [/machine]\n"
    "  zelreg where\n"
    "  zelreg demo\n"
    "\n"
    "  zelreg VERB /?  the verb's switches in full\n"
    "\n"
    "  KEY      HKCU\\path or HKLM\\path (also HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE)\n"
    "  FILE     a file name, or - for standard output (export) or input (import)\n"
    "  /reg:32  the 32-bit view of the registry, /reg:64 the 64-bit view (Windows);\n"
    "           accepted and without effect on Linux, whose registry has one view\n"
    "\n"
    "Verbs and switches are read in any case. Exit code: 0 success, 1 failure;\n"
    "compare: 0 identical, 2 different, 1 failure.\n"
    "\n"
    "On Linux the registry lives in the folder ZEL_REGISTRY_DIR names, or else in\n"
    "$XDG_CONFIG_HOME/zelregistry (~/.config/zelregistry) for HKCU and /var/lib/zelregistry\n"
    "for HKLM; zelreg where shows which. Verbs that only read never create a registry.\n";

namespace {

const char kQueryHelp[] =
    "zelreg query KEY [/v [NAME] | /ve] [/s] [/f DATA [/k] [/d] [/c] [/e]] [/t TYPE[,TYPE...]]\n"
    "             [/z] [/se SEPARATOR] [/reg:32 | /reg:64]\n"
    "\n"
    "  Shows the key's values and sub-keys in reg.exe's layout.\n"
    "  /v NAME  only the value NAME; /ve only the default value\n"
    "  /s       the key and every key below it; with /v or /ve, searches them for the value\n"
    "  /f DATA  searches key names, value names and data for DATA (* and ? are wildcards),\n"
    "           and ends with \"End of search: N match(es) found.\"; exit code 1 without a match\n"
    "  /k       searches key names only; /d data only; /v without NAME value names only\n"
    "  /c       case-sensitive; /e the whole name or data must match\n"
    "  /t TYPE  only values of these types (REG_SZ, REG_MULTI_SZ, REG_EXPAND_SZ, REG_DWORD,\n"
    "           REG_QWORD, REG_BINARY, REG_NONE, comma-separated); searches like /f\n"
    "  /z       shows each type's number too: REG_SZ (1)\n"
    "  /se SEPARATOR  the one character shown between REG_MULTI_SZ items (\\0 if not given)\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kAddHelp[] =
    "zelreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f] [/reg:32 | /reg:64]\n"
    "\n"
    "  Creates the key and sets a value in it; asks before overwriting one unless /f.\n"
    "  /v NAME  the value NAME; /ve, or no /v at all, the default value (KEY alone sets it\n"
    "           to an empty string, as reg.exe does)\n"
    "  /t TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
    "           REG_DWORD_LITTLE_ENDIAN, REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY, REG_NONE\n"
    "  /d DATA  text for the string types and REG_NONE; numbers decimal or 0x hex; REG_BINARY\n"
    "           hex digits. Without /d: an empty string, an empty list, no bytes, 0 for\n"
    "           REG_QWORD, two zero bytes for REG_NONE; REG_DWORD needs /d\n"
    "  /s SEPARATOR  the one character between REG_MULTI_SZ items in DATA (\\0 if not given)\n"
    "  /f       overwrites without asking\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kDeleteHelp[] =
    "zelreg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
    "\n"
    "  Deletes the key with everything below it, or values of it; asks first unless /f.\n"
    "  /v NAME  the value NAME; /ve the default value; /va every value of the key\n"
    "  /f       deletes without asking\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kCompareHelp[] =
    "zelreg compare KEY1 KEY2 [/v NAME | /ve] [/s] [/oa | /od | /os | /on] [/reg:32 | /reg:64]\n"
    "\n"
    "  Compares the values of two keys, which may lie below either root. Lines: \"< \" what\n"
    "  KEY1 has and KEY2 has not, or KEY1's side of a value that differs; \"> \" the same for\n"
    "  KEY2; \"= \" what both have alike. Then \"Result Compared: Identical\" or \"Different\".\n"
    "  /v NAME  only the value NAME; /ve only the default value\n"
    "  /s       the keys below them too (not with /v or /ve)\n"
    "  /od      shows the differences (the default); /os what is alike; /oa both; /on neither\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n"
    "  Exit code: 0 identical, 2 different, 1 failure.\n";

const char kWatchHelp[] =
    "zelreg watch KEY [/s]\n"
    "\n"
    "  Prints a line for each change to the key as it happens, by any program, until\n"
    "  interrupted (Ctrl+C): the time, what happened (value set, value deleted, key created,\n"
    "  key deleted), the key and, for a value set, the value as query shows it; for a value\n"
    "  deleted, its name. \"changes lost\" means some changes could not be told: read the key\n"
    "  again. A deleted key is watched on, and its creation anew is shown. On Windows changes\n"
    "  in quick succession may be shown merged.\n"
    "  /s       the keys below it too; without /s, its values and its sub-keys' creation\n"
    "           and deletion\n"
    "  Exit code: 0 when interrupted, 1 when the key does not exist.\n";

const char kExportHelp[] =
    "zelreg export KEY FILE [/y] [/reg:32 | /reg:64]\n"
    "\n"
    "  Writes the key and every key below it to FILE as regedit does: \"Windows Registry\n"
    "  Editor Version 5.00\", UTF-16LE. A key that cannot be read is left out with a warning,\n"
    "  and the exit code is then 1. A plain file is replaced whole (through a file beside it),\n"
    "  keeping its permissions; a symbolic link's target is written; a device or pipe is\n"
    "  written as it is. FILE - writes to standard output, with no message there.\n"
    "  /y       overwrites FILE without asking\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kImportHelp[] =
    "zelreg import FILE [/reg:32 | /reg:64]\n"
    "\n"
    "  Applies a .reg file: \"Windows Registry Editor Version 5.00\" (UTF-16LE, or UTF-8) or\n"
    "  REGEDIT4 (Windows-1252), with [-KEY] and \"name\"=- deletions. The whole file is checked\n"
    "  first: a malformed one is refused with its line number and changes nothing.\n"
    "  FILE - reads standard input. The file is applied in one transaction: a failure\n"
    "  anywhere (a conflicting change by another program, a full disk) changes nothing.\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kCopyHelp[] =
    "zelreg copy KEY1 KEY2 [/s] [/f] [/reg:32 | /reg:64]\n"
    "\n"
    "  Copies the values of KEY1 into KEY2, which is made when missing, in one transaction:\n"
    "  KEY2 changes whole or not at all. Values KEY2 has that KEY1 has not stay; key classes\n"
    "  are not copied.\n"
    "  /s       every key below KEY1 too\n"
    "  /f       overwrites KEY2's values without asking (otherwise each asks Yes/No/All)\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n";

const char kSaveHelp[] =
    "zelreg save KEY FILE [/y] [/reg:32 | /reg:64]\n"
    "\n"
    "  Saves the key and every key below it to the hive file FILE (RegSaveKey): one moment's\n"
    "  keys, values and classes, however much other programs write meanwhile. On Linux the\n"
    "  file is a hive of the registry's own format; zelreg restore reads it back.\n"
    "  /y       overwrites FILE without asking\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n"
    "  On Windows it needs the backup privilege, which administrators hold.\n";

const char kRestoreHelp[] =
    "zelreg restore KEY FILE [/reg:32 | /reg:64]\n"
    "\n"
    "  Replaces the values of KEY and every key below it with what the hive file FILE holds\n"
    "  (RegRestoreKey), all at once or, should it fail, not at all. A file that is not such a\n"
    "  hive is refused and changes nothing.\n"
    "  /reg:32, /reg:64  the 32-bit or 64-bit view (Windows; without effect on Linux)\n"
    "  On Windows it needs the restore privilege, which administrators hold.\n";

const char kBackupHelp[] =
    "zelreg backup [HKCU | HKLM] FILE [/machine] [/y]\n"
    "\n"
    "  Copies a whole hive to FILE while programs use it: one moment's hive, its log\n"
    "  included, in a file that is a complete hive on its own. HKCU (the default) is the\n"
    "  per-user hive; HKLM or /machine the machine hive. To go back to it, put FILE in the\n"
    "  hive's place (see zelreg where) while no program uses the registry. Linux only.\n"
    "  /y       overwrites FILE without asking\n";

const char kCheckHelp[] =
    "zelreg check [HKCU | HKLM] [/machine]\n"
    "\n"
    "  Checks the hive file (every page and index, and its format) and says in one line\n"
    "  whether it is sound, and if not what to do. HKCU (the default) is the per-user hive;\n"
    "  HKLM or /machine the machine hive. Exit code: 0 sound, 1 not (or no hive). Linux only.\n";

const char kWhereHelp[] =
    "zelreg where\n"
    "\n"
    "  Shows the hive files of HKCU and HKLM: where they are, what chose that folder\n"
    "  (ZEL_REGISTRY_DIR, the per-user default, the machine location), their sizes and\n"
    "  format. Linux only.\n";

const char kDemoHelp[] =
    "zelreg demo\n"
    "\n"
    "  Writes the settings of the demo application \"ZelregDemo\" 1.0 to the per-user registry\n"
    "  with the library's classes, reads them back and shows them with query /s.\n";

}  // namespace

const char* VerbHelp(std::string_view verb) {
    if (verb == "query") return kQueryHelp;
    if (verb == "add") return kAddHelp;
    if (verb == "delete") return kDeleteHelp;
    if (verb == "compare") return kCompareHelp;
    if (verb == "watch") return kWatchHelp;
    if (verb == "export") return kExportHelp;
    if (verb == "import") return kImportHelp;
    if (verb == "copy") return kCopyHelp;
    if (verb == "save") return kSaveHelp;
    if (verb == "restore") return kRestoreHelp;
    if (verb == "backup") return kBackupHelp;
    if (verb == "check") return kCheckHelp;
    if (verb == "where") return kWhereHelp;
    if (verb == "demo") return kDemoHelp;
    return kOverviewHelp;
}

}  // namespace zelregtool
