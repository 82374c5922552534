// import: a .reg file into the registry, read whole and checked before the first change; "-"
// reads it from standard input.
#include "ErrorText.h"
#include "FileIo.h"
#include "KeyHandle.h"
#include "RegFileParser.h"
#include "RegistryView.h"
#include "ValueWriter.h"
#include "Verbs.h"

#include <set>

namespace zelregtool {
namespace {

// Applies entries one after another, keeping the key of the last one open for the next.
class Importer {
public:
    explicit Importer(REGSAM view) : view_(view) {}

    LONG Apply(const RegFileEntry& entry) {
        LONG status = ERROR_SUCCESS;
        switch (entry.action) {
        case RegFileEntry::Action::CreateKey:
            return Use(entry.key);
        case RegFileEntry::Action::DeleteKey:
            open_.Reset();
            status = DeleteKeyTree(entry.key.root, entry.key.subKey, view_);
            return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
        case RegFileEntry::Action::SetValue: {
            status = Use(entry.key);
            if (status != ERROR_SUCCESS) return status;
            return WriteValue(open_.get(), entry.value);
        }
        case RegFileEntry::Action::DeleteValue:
            status = Use(entry.key);
            if (status == ERROR_SUCCESS) status = RegDeleteValueA(open_.get(), entry.value.name.c_str());
            return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
        }
        return ERROR_INVALID_PARAMETER;
    }

private:
    LONG Use(const KeyPath& key) {
        if (open_ && openName_ == key.FullName()) return ERROR_SUCCESS;
        const LONG status = open_.Create(key.root, key.subKey, KEY_READ | KEY_WRITE | view_);
        openName_ = status == ERROR_SUCCESS ? key.FullName() : std::string();
        return status;
    }

    REGSAM view_;
    KeyHandle open_;
    std::string openName_;
};

}  // namespace

int ImportVerb(const Arguments& arguments, Console& console) {
    const std::string& file = arguments.Positional()[0];
    const bool fromStandardInput = file == "-";
    const std::string shown = fromStandardInput ? "standard input" : file;
    std::string bytes, problem;
    if (!(fromStandardInput ? ReadWholeStream(console.in, bytes, problem) : ReadWholeFile(file, bytes, problem)))
        return Fail(console, "Cannot read " + shown + ": " + problem);
    return ImportBytes(bytes, shown, ViewAccess(arguments), console);
}

int ImportBytes(std::string_view bytes, const std::string& file, REGSAM view, Console& console) {
    RegFileContent content;
    try {
        content = ParseRegFile(bytes);
    } catch (const RegFileError& e) {
        return Fail(console, file + ", " + e.what() + ". Nothing was imported.");
    }

    // A hive that cannot be opened is found before the first change, not halfway through.
    std::set<std::string> checked;
    for (const RegFileEntry& entry : content.entries) {
        if (!checked.insert(entry.key.rootName).second) continue;
        KeyHandle root;
        const LONG status = root.Open(entry.key.root, "", KEY_READ);
        if (status != ERROR_SUCCESS)
            return Fail(console, "Cannot open " + entry.key.rootName + ": " + ErrorText(status) +
                                     ". Nothing was imported.");
    }

    Importer importer(view);
    for (const RegFileEntry& entry : content.entries) {
        const LONG status = importer.Apply(entry);
        if (status != ERROR_SUCCESS)
            return Fail(console, file + ", line " + std::to_string(entry.line) + ": cannot apply to " +
                                     entry.key.FullName() + ": " + ErrorText(status) +
                                     ". The lines before it were imported.");
    }
    return Succeed(console);
}

}  // namespace zelregtool
