// A client of the installed or embedded library: composes a location and checks its path,
// then catches a failure and looks into the local error it carries, by its runtime class
// and by dynamic_cast, which needs the class exported from the library.
#include <ZelRegistry/ZelRegistry.h>
#include <ZelRegistry/frame/ZelPropertyLocalException.h>

#include <cstdio>
#include <cstring>

namespace {

int PathIsComposed() {
    ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", nullptr, FALSE, FALSE);
    const char* expected = "Software\\Quellmar\\Components\\Ledger\\Versions\\2.0\\Settings\\Print";
    if (std::strcmp(location.GetRegistryPath(), expected) != 0) {
        std::printf("unexpected path %s\n", static_cast<const char*>(location.GetRegistryPath()));
        return 1;
    }
    std::printf("%s\n", static_cast<const char*>(location.GetRegistryPath()));
    return 0;
}

// Asking a text item for a number fails with local error 2803 as the cause.
int LocalErrorIsInspected() {
    const ZelRegistryQuonSet settings("Ledger", "2.0", ZelRegistryBase::eSettings, nullptr, nullptr, FALSE, FALSE);
    const ZelPropertyItem title(settings, "Title", CString("Ledger"));
    try {
        title.GetLong();
    } catch (ZelPropertyObjectException* e) {
        CException* cause = e->GetCause();
        const auto* local = dynamic_cast<const ZelPropertyLocalException*>(cause);
        const bool kind = cause != nullptr && cause->IsKindOf(RUNTIME_CLASS(ZelPropertyLocalException));
        const DWORD number = local ? local->GetLocalErrorNo() : 0;
        e->Delete();
        if (!local || !kind || number != ZEL_LOCAL_WRONG_TYPE) {
            std::printf("the cause is not the local error 2803 (cast %d, kind %d, number %u)\n", local != nullptr,
                        kind, static_cast<unsigned>(number));
            return 1;
        }
        std::printf("local error %u\n", static_cast<unsigned>(number));
        return 0;
    }
    std::printf("a text item gave a number\n");
    return 1;
}

}  // namespace

int main() { return PathIsComposed() + LocalErrorIsInspected(); }
