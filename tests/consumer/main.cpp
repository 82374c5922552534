// Composes a location through the installed or embedded library and checks its path.
#include <ZelRegistry/ZelRegistry.h>

#include <cstdio>
#include <cstring>

int main() {
    ZelRegistryBase location("Ledger", "2.0", ZelRegistryBase::eSettings, "Print", nullptr, FALSE, FALSE);
    const char* expected = "Software\\Quellmar\\Components\\Ledger\\Versions\\2.0\\Settings\\Print";
    if (std::strcmp(location.GetRegistryPath(), expected) != 0) {
        std::printf("unexpected path %s\n", static_cast<const char*>(location.GetRegistryPath()));
        return 1;
    }
    std::printf("%s\n", static_cast<const char*>(location.GetRegistryPath()));
    return 0;
}
