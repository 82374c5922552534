// Test entry: gives the process a registry of its own in a fresh temporary directory, so no
// test ever touches the developer's hives, and removes it afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/ZelTestDir.h"

namespace {
std::string g_registryDir;
}

const std::string& ZelTestRegistryDir() { return g_registryDir; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    g_registryDir = ZelMakeTempDir("zelreg-test");
    ZelSetEnv("ZEL_REGISTRY_DIR", g_registryDir.c_str());
    int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(g_registryDir, ec);
    return result;
}
