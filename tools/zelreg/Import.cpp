// import: a .reg file into the registry, read whole and checked before the first change, and
// applied in one transaction; "-" reads it from standard input.
#include "ErrorText.h"
#include "FileIo.h"
#include "KeyHandle.h"
#include "RegFileParser.h"
#include "RegTransaction.h"
#include "RegistryView.h"
#include "ValueWriter.h"
#include "Verbs.h"

#include <memory>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

namespace zelregtool {
namespace {

// Applies entries one after another within one registry transaction per hive (a transaction
// covers one hive in the store), keeping the key of the last one open for the next.
class Importer {
public:
    Importer(REGSAM view, Console& console) : view_(view), console_(console) {}

    LONG Apply(const RegFileEntry& entry) {
        const RegTransaction& transactionOfHive = TransactionFor(entry.key.root);
        if (transactionOfHive.Status() != ERROR_SUCCESS) return transactionOfHive.Status();
        HANDLE transaction = transactionOfHive.get();
        LONG status = ERROR_SUCCESS;
        switch (entry.action) {
        case RegFileEntry::Action::CreateKey:
            return Use(transaction, entry.key);
        case RegFileEntry::Action::DeleteKey:
            open_.Reset();
            status = DeleteKeyTreeIn(transaction, entry.key.root, entry.key.subKey, view_);
            return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
        case RegFileEntry::Action::SetValue: {
            status = Use(transaction, entry.key);
            if (status != ERROR_SUCCESS) return status;
            return WriteValue(open_.get(), entry.value);
        }
        case RegFileEntry::Action::DeleteValue:
            status = Use(transaction, entry.key);
            if (status == ERROR_SUCCESS) status = RegDeleteValueA(open_.get(), entry.value.name.c_str());
            return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
        }
        return ERROR_INVALID_PARAMETER;
    }

    // Whether the changes are made one by one, the system having no registry transactions.
    bool Direct() const { return direct_; }

    // Commits the hives' transactions in turn; the status of the first that failed, and in
    // `committed` the roots whose changes were applied before it.
    LONG Commit(std::vector<std::string>& committed) {
        open_.Reset();
        for (auto& [root, transaction] : transactions_) {
            const LONG status = transaction->Commit();
            if (status != ERROR_SUCCESS) return status;
            committed.push_back(root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
        }
        return ERROR_SUCCESS;
    }

private:
    LONG Use(HANDLE transaction, const KeyPath& key) {
        if (open_ && openName_ == key.FullName()) return ERROR_SUCCESS;
        const LONG status = open_.CreateIn(transaction, key.root, key.subKey, KEY_READ | KEY_WRITE | view_);
        openName_ = status == ERROR_SUCCESS ? key.FullName() : std::string();
        return status;
    }

    // The transaction of the entry's hive, begun on first use.
    const RegTransaction& TransactionFor(HKEY root) {
        for (const auto& [hive, transaction] : transactions_)
            if (hive == root) return *transaction;
        transactions_.emplace_back(root, std::make_unique<RegTransaction>(root));
        const RegTransaction& transaction = *transactions_.back().second;
        if (transaction.Status() == ERROR_SUCCESS && !transaction.Transacted() && !direct_) {
            direct_ = true;
            console_.err << kNoTransactionsWarning;
        }
        return transaction;
    }

    REGSAM view_;
    Console& console_;
    bool direct_ = false;
    std::vector<std::pair<HKEY, std::unique_ptr<RegTransaction>>> transactions_;
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

    // Everything in one transaction: a failure anywhere, up to the commit itself, changes nothing.
    Importer importer(view, console);
    for (const RegFileEntry& entry : content.entries) {
        const LONG status = importer.Apply(entry);
        if (status != ERROR_SUCCESS)
            return Fail(console, file + ", line " + std::to_string(entry.line) + ": cannot apply to " +
                                     entry.key.FullName() + ": " + ErrorText(status) + ". " +
                                     (importer.Direct() ? "The entries before it were imported."
                                                        : "Nothing was imported."));
    }
    std::vector<std::string> committed;
    const LONG status = importer.Commit(committed);
    if (status != ERROR_SUCCESS) {
        std::string applied = "Nothing was imported.";
        if (!committed.empty())
            applied = "Only the changes to " + committed.front() + " were imported; the file's other changes were not.";
        return Fail(console, "Cannot import " + file + ": " + ErrorText(status) + ". " + applied);
    }
    return Succeed(console);
}

}  // namespace zelregtool
