// What every benchmark program does around its benchmarks: it runs against a registry of its
// own in a fresh temporary directory, removed afterwards, unless ZEL_REGISTRY_DIR names one;
// there it removes the keys it wrote.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/ZelTestDir.h"

// removeKeys removes the keys the benchmarks wrote; finish runs last (to report, say).
inline int ZelBenchMain(int argc, char** argv, void (*removeKeys)(), void (*finish)() = nullptr) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::string strOwnDir;
    if (std::getenv("ZEL_REGISTRY_DIR") == nullptr) {
        strOwnDir = ZelMakeTempDir("zelreg-bench");
        ZelSetEnv("ZEL_REGISTRY_DIR", strOwnDir.c_str());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (strOwnDir.empty()) {
        removeKeys();
    } else {
        std::error_code ec;
        std::filesystem::remove_all(strOwnDir, ec);
    }
    if (finish) finish();
    return 0;
}
