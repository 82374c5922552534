// copy: a key's values (with /s, every key below it too) into another key, as reg.exe copies,
// in one registry transaction: the destination changes whole or not at all. The source is read
// first, as it stands then; classes are not copied, as with reg.exe.
#include "CaseFold.h"
#include "ErrorText.h"
#include "KeyHandle.h"
#include "KeyReader.h"
#include "RegTransaction.h"
#include "RegistryView.h"
#include "Utf16.h"
#include "ValueText.h"
#include "ValueWriter.h"
#include "Verbs.h"

#include <ostream>

namespace zelregtool {
namespace {

struct KeyCopy {
    std::string name;
    std::vector<RegValue> values;
    std::vector<KeyCopy> children;
};

// Reads the key (and with `recursive` everything below it); sub-keys deleted meanwhile are
// passed over. On failure `failed` names the key.
LONG ReadTree(HKEY key, const KeyPath& path, bool recursive, REGSAM view, KeyCopy& tree, KeyPath& failed) {
    std::vector<std::string> names;
    LONG status = ReadValues(key, tree.values);
    if (status == ERROR_SUCCESS && recursive) status = ReadSubKeyNames(key, names);
    if (status != ERROR_SUCCESS) {
        failed = path;
        return status;
    }
    for (const std::string& name : names) {
        KeyHandle child;
        status = child.Open(key, name, KEY_READ | view);
        if (status == ERROR_FILE_NOT_FOUND) continue;
        if (status == ERROR_SUCCESS) {
            tree.children.push_back(KeyCopy{name, {}, {}});
            status = ReadTree(child.get(), path.Child(name), true, view, tree.children.back(), failed);
        } else {
            failed = path.Child(name);
        }
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

class Writer {
public:
    Writer(HANDLE transaction, REGSAM view, bool force, Console& console)
        : transaction_(transaction), view_(view), overwrite_(force), console_(console) {}

    // Writes the tree into `parent`\`name` (made when missing); on failure `failed` names the key.
    LONG Write(HKEY parent, const std::string& name, const KeyPath& path, const KeyCopy& tree, KeyPath& failed) {
        KeyHandle key;
        DWORD disposition = 0;
        LONG status = key.CreateIn(transaction_, parent, name, KEY_READ | KEY_WRITE | view_, &disposition);
        for (std::size_t i = 0; status == ERROR_SUCCESS && i < tree.values.size(); ++i) {
            const RegValue& value = tree.values[i];
            if (disposition == REG_OPENED_EXISTING_KEY && !Overwrite(key.get(), path, value.name)) continue;
            status = WriteValue(key.get(), value);
        }
        if (status != ERROR_SUCCESS) {
            failed = path;
            return status;
        }
        for (const KeyCopy& child : tree.children) {
            status = Write(key.get(), child.name, path.Child(child.name), child, failed);
            if (status != ERROR_SUCCESS) return status;
        }
        return ERROR_SUCCESS;
    }

private:
    // Whether a value may be written over what the key holds: asked for each value the key
    // has already, unless /f or an earlier All.
    bool Overwrite(HKEY key, const KeyPath& path, const std::string& name) {
        if (overwrite_ || RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return true;
        const Answer answer = ConfirmAll(console_, "Value " + ShownName(name) + " exists in " + path.FullName() + ", overwrite");
        if (answer == Answer::All) overwrite_ = true;
        return answer != Answer::No;
    }

    HANDLE transaction_;
    REGSAM view_;
    bool overwrite_;
    Console& console_;
};

bool SameKey(const KeyPath& a, const KeyPath& b) {
    return a.root == b.root && UpperCase(Utf8ToUtf32(a.subKey)) == UpperCase(Utf8ToUtf32(b.subKey));
}

}  // namespace

int CopyVerb(const Arguments& arguments, Console& console) {
    const auto source = KeyArgument(arguments.Positional()[0], console);
    if (!source) return 1;
    const auto target = KeyArgument(arguments.Positional()[1], console);
    if (!target) return 1;
    if (SameKey(*source, *target)) return Fail(console, "The source and destination keys cannot be the same.");
    if (target->subKey.empty())
        return Fail(console, "Invalid key name: " + arguments.Positional()[1] + " (the destination must lie below the root)");

    const REGSAM view = ViewAccess(arguments);
    KeyCopy tree;
    KeyPath failed;
    {
        KeyHandle handle;
        LONG status = handle.Open(source->root, source->subKey, KEY_READ | view);
        if (status != ERROR_SUCCESS) return KeyFailure(*source, status, console);
        status = ReadTree(handle.get(), *source, arguments.Has("s"), view, tree, failed);
        if (status != ERROR_SUCCESS) return Fail(console, "Cannot read " + failed.FullName() + ": " + ErrorText(status) + ".");
    }

    RegTransaction transaction(target->root);
    if (transaction.Status() != ERROR_SUCCESS)
        return Fail(console, "Cannot begin a registry transaction: " + ErrorText(transaction.Status()) + ".");
    if (!transaction.Transacted()) console.err << kNoTransactionsWarning;
    Writer writer(transaction.get(), view, arguments.Has("f"), console);
    LONG status = writer.Write(target->root, target->subKey, *target, tree, failed);
    if (status != ERROR_SUCCESS)
        return Fail(console, "Cannot write " + failed.FullName() + ": " + ErrorText(status) + ". " +
                                 (transaction.Transacted() ? "Nothing was copied." : "What was written before it stays."));
    status = transaction.Commit();
    if (status != ERROR_SUCCESS)
        return Fail(console, "Cannot copy to " + target->FullName() + ": " + ErrorText(status) + ". Nothing was copied.");
    return Succeed(console);
}

}  // namespace zelregtool
