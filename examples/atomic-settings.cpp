// Settings written atomically: a collection of property sets lands whole or not at all.
//
// Each run reads the collection "Layouts" back and prints it, then writes a new one: four sets
// of five items, every value stamped with the run's number. The Write goes through a
// ZelRegistryTransaction, and only its Commit makes the new collection visible:
//
//   HKEY_CURRENT_USER\Software\Quellmar\Components\AtomicSettingsExample\Versions\1.0\Settings
//     Layouts\Set1\Width    TYPE = 2, VALUE = 3001   (run 3, set 1: both REG_DWORD)
//     Layouts\Set1\Title    TYPE = 1, VALUE = "run 3, set 1" (REG_SZ)
//     ...
//
// `atomic-settings --kill-after N` kills its own process after N item writes, in the middle of
// the collection and before the commit. The next run still reads the whole collection of the
// last run that committed: the killed run left nothing behind. The same Write without a
// transaction would have left the first N items of the new run among the old ones.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <set>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

constexpr int kSets = 4;
const char* const kItems[] = {"Left", "Top", "Width", "Height", "Title"};

ZelRegistryQuonSet SettingsLocation() {
    return ZelRegistryQuonSet("AtomicSettingsExample", "1.0", ZelRegistryBase::eSettings, nullptr, nullptr, FALSE,
                              FALSE);
}

// The end a power cut or `kill -9` would give the program: no clean-up, no commit.
[[noreturn]] void KillThisProcess() {
    std::fflush(stdout);
#if defined(_WIN32)
    TerminateProcess(GetCurrentProcess(), 9);
#else
    raise(SIGKILL);
#endif
    std::abort();
}

// An item that counts the item writes of the whole run, and kills the process when the count
// reaches the limit given on the command line.
class CountedItem : public ZelPropertyItem {
public:
    using ZelPropertyItem::ZelPropertyItem;
    void Write(void* const pHandle, const char* const pszKey) override {
        ZelPropertyItem::Write(pHandle, pszKey);
        std::printf("  wrote %s\n", static_cast<const char*>(GetKey()));
        if (++s_written == s_killAfter) {
            std::printf("Killed after %d item writes, before the commit.\n", s_written);
            KillThisProcess();
        }
    }
    static inline int s_written = 0;
    static inline int s_killAfter = -1;
};

// Run n's collection: set s holds longs n*1000+s*10+i and the string "run n, set s".
void BuildRun(ZelPropertySets& layouts, LONG run) {
    for (int s = 1; s <= kSets; ++s) {
        const std::string name = "Set" + std::to_string(s);
        auto* set = new ZelPropertySet(layouts, name.c_str());
        layouts.AddItem(set);
        for (int i = 0; i < 4; ++i) set->AddItem(new CountedItem(*set, kItems[i], run * 1000 + s * 10 + i));
        const std::string title = "run " + std::to_string(run) + ", set " + std::to_string(s);
        set->AddItem(new CountedItem(*set, kItems[4], CString(title.c_str())));
    }
}

// Prints the stored collection and returns the run that wrote it (0 when there is none). A
// collection whose items come from different runs would be half written; it is reported.
LONG PrintStored(const ZelRegistryQuonSet& location) {
    ZelPropertySets stored(location, "Layouts");
    if (!stored.Read(nullptr, nullptr)) {
        std::printf("Nothing stored yet: this is the first run.\n");
        return 0;
    }
    std::set<LONG> runs;
    std::printf("Stored collection:\n");
    for (POSITION pos = stored.GetHeadPosition(); pos != nullptr;) {
        const ZelRegistryQuonSet* set = stored.GetNext(pos);
        std::printf("  %s:", static_cast<const char*>(set->GetKey()));
        for (POSITION at = set->GetHeadPosition(); at != nullptr;) {
            const auto* item = static_cast<const ZelPropertyItem*>(set->GetNext(at));
            if (item->GetItemType() == ITEMTYPE_LONG) {
                std::printf(" %s=%ld", static_cast<const char*>(item->GetKey()), static_cast<long>(item->GetLong()));
                runs.insert(item->GetLong() / 1000);
            } else {
                std::printf(" %s=\"%s\"", static_cast<const char*>(item->GetKey()),
                            static_cast<const char*>(item->GetString()));
            }
        }
        std::printf("\n");
    }
    if (runs.size() != 1) {
        std::printf("The collection is a mixture of %u runs: it was written halfway.\n",
                    static_cast<unsigned>(runs.size()));
        return runs.empty() ? 0 : *runs.rbegin();
    }
    std::printf("Whole: every item comes from run %ld.\n", static_cast<long>(*runs.begin()));
    return *runs.begin();
}

void LogFailure(ZelPropertyObjectException* e) {
    ZelEhLogFile log(std::cerr);
    e->Log(log);
    e->Delete();
}

int Usage() {
    std::fprintf(stderr, "usage: atomic-settings [--kill-after N]   (N: item writes before the kill, 1 or more)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--kill-after") == 0) {
        char* end = nullptr;
        const long limit = std::strtol(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0' || limit < 1 || limit > 1000000) return Usage();
        CountedItem::s_killAfter = static_cast<int>(limit);
    } else if (argc != 1) {
        return Usage();
    }

    const ZelRegistryQuonSet location = SettingsLocation();
    std::printf("Settings: HKEY_CURRENT_USER\\%s\\Layouts\n\n", static_cast<const char*>(location.GetRegistryPath()));
    try {
        const LONG run = PrintStored(location) + 1;
        std::printf("\nWriting run %ld in a transaction:\n", static_cast<long>(run));
        ZelRegistryTransaction transaction(location);
        if (transaction.Status() != ERROR_SUCCESS) {
            std::fprintf(stderr, "No transaction on the settings: error %ld\n", static_cast<long>(transaction.Status()));
            return 1;
        }
        ZelPropertySets layouts(location, "Layouts");
        BuildRun(layouts, run);
        layouts.Write(transaction.Key(), nullptr);
        const LONG status = transaction.Commit();
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "Run %ld was not stored (error %ld); the previous settings stay.\n",
                         static_cast<long>(run), static_cast<long>(status));
            return 1;
        }
        std::printf("Committed: run %ld is stored whole.\n", static_cast<long>(run));
    } catch (ZelPropertyObjectException* e) {
        // The transaction ended with the exception, rolled back: nothing of this run was stored.
        std::fprintf(stderr, "The settings could not be written:\n");
        LogFailure(e);
        return 1;
    }
    return 0;
}
