// The whole import, file bytes to registry store, in a registry of its own below a temporary
// directory. After each input every key and value it left is removed again, so that inputs do
// not pile up in the hives.
#include "zelreg/KeyHandle.h"
#include "zelreg/KeyReader.h"
#include "zelreg/Verbs.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

std::filesystem::path g_registryDir;

void RemoveRegistryDir() {
    std::error_code ignored;
    std::filesystem::remove_all(g_registryDir, ignored);
}

void Check(LONG status) {
    if (status != ERROR_SUCCESS) std::abort();
}

// Takes away everything below a root key, and its own values.
void Empty(HKEY root) {
    std::vector<std::string> names;
    Check(zelregtool::ReadSubKeyNames(root, names));
    for (const std::string& name : names) Check(static_cast<LONG>(SHDeleteKeyA(root, name.c_str())));
    std::vector<zelregtool::RegValue> values;
    Check(zelregtool::ReadValues(root, values));
    for (const zelregtool::RegValue& value : values) Check(RegDeleteValueA(root, value.name.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before the first registry call: the store reads the variable when it opens a hive. In
    // /dev/shm where there is one, as the hives are written on every input.
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "zelreg-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    g_registryDir = pattern;
    std::atexit(RemoveRegistryDir);
    setenv("ZEL_REGISTRY_DIR", pattern.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in;
    std::ostringstream out, err;
    zelregtool::Console console{in, out, err};
    const int code = zelregtool::ImportBytes(std::string_view(reinterpret_cast<const char*>(data), size),
                                             "input.reg", 0, console);
    if (code != 0 && code != 1) std::abort();
    Empty(HKEY_CURRENT_USER);
    Empty(HKEY_LOCAL_MACHINE);
    return 0;
}
