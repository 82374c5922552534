// The profile accessors by section name, against the raw registry calls they are built on:
// an integer and a string, read and written in a section below a composed location
// (Software\Quellmar\Components\<component>\Versions\2.0\Options\Window, seven levels).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "ZelRegistryBase.h"
#include "ZelBenchMain.h"

namespace {

constexpr const char* kComponent = "ZelBench.Profile";
const std::string kComponentKey = std::string("Software\\Quellmar\\Components\\") + kComponent;
const std::string kSection = kComponentKey + "\\Versions\\2.0\\Options\\Window";
constexpr const char* kText = "The quick brown fox jumps over the lazy dog";

ZelRegistryBase Location() {
    return ZelRegistryBase(kComponent, "2.0", ZelRegistryBase::eOptions, nullptr, nullptr, FALSE, FALSE);
}

void Fail(benchmark::State& state, const std::string& strWhat) { state.SkipWithError(strWhat.c_str()); }

void Fail(benchmark::State& state, const char* pszCall, LONG lStatus) {
    Fail(state, std::string(pszCall) + " returned " + std::to_string(lStatus));
}

// Puts both entries in place, so that the reads find them.
void Prepare(benchmark::State& state) {
    ZelRegistryBase location = Location();
    if (!location.WriteProfileInt("Window", "Left", 10) ||
        !location.WriteProfileStringA("Window", "Title", kText))
        Fail(state, "the section could not be prepared");
}

void ProfileWriteInt(benchmark::State& state) {
    ZelRegistryBase location = Location();
    int nValue = 0;
    for (auto _ : state) {
        if (!location.WriteProfileInt("Window", "Left", ++nValue))
            return Fail(state, "WriteProfileInt failed");
    }
}

// The raw calls a profile write stands on: create (open) the section, set one value, close.
// `before` runs ahead of each round, to change the data.
void RawCreateSetClose(benchmark::State& state, const char* pszName, DWORD dwType, const void* pData, DWORD cbData,
                       void (*before)() = nullptr) {
    for (auto _ : state) {
        if (before) before();
        HKEY hKey = nullptr;
        LONG lStatus =
            RegCreateKeyExA(HKEY_CURRENT_USER, kSection.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &hKey, nullptr);
        if (lStatus != ERROR_SUCCESS) return Fail(state, "RegCreateKeyExA", lStatus);
        lStatus = RegSetValueExA(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cbData);
        RegCloseKey(hKey);
        if (lStatus != ERROR_SUCCESS) return Fail(state, "RegSetValueExA", lStatus);
    }
}

DWORD g_dwValue = 0;

void RawCreateSetCloseInt(benchmark::State& state) {
    RawCreateSetClose(state, "Left", REG_DWORD, &g_dwValue, sizeof(g_dwValue), [] { ++g_dwValue; });
}

void ProfileReadInt(benchmark::State& state) {
    Prepare(state);
    ZelRegistryBase location = Location();
    for (auto _ : state) benchmark::DoNotOptimize(location.GetProfileIntA("Window", "Left", 0));
}

// The raw calls a profile read stands on: open the section, query one value, close.
void RawOpenQueryClose(benchmark::State& state, const char* pszName, void* pBuffer, DWORD cbBuffer) {
    Prepare(state);
    for (auto _ : state) {
        HKEY hKey = nullptr;
        LONG lStatus = RegOpenKeyExA(HKEY_CURRENT_USER, kSection.c_str(), 0, KEY_READ, &hKey);
        if (lStatus != ERROR_SUCCESS) return Fail(state, "RegOpenKeyExA", lStatus);
        DWORD dwType = 0;
        DWORD cbData = cbBuffer;
        lStatus = RegQueryValueExA(hKey, pszName, nullptr, &dwType, static_cast<BYTE*>(pBuffer), &cbData);
        RegCloseKey(hKey);
        if (lStatus != ERROR_SUCCESS) return Fail(state, "RegQueryValueExA", lStatus);
        benchmark::ClobberMemory();
    }
}

void RawOpenQueryCloseInt(benchmark::State& state) {
    DWORD dwValue = 0;
    RawOpenQueryClose(state, "Left", &dwValue, sizeof(dwValue));
}

void ProfileWriteString(benchmark::State& state) {
    ZelRegistryBase location = Location();
    for (auto _ : state) {
        if (!location.WriteProfileStringA("Window", "Title", kText))
            return Fail(state, "WriteProfileStringA failed");
    }
}

void RawCreateSetCloseString(benchmark::State& state) {
    RawCreateSetClose(state, "Title", REG_SZ, kText, static_cast<DWORD>(std::strlen(kText) + 1));
}

void ProfileReadString(benchmark::State& state) {
    Prepare(state);
    ZelRegistryBase location = Location();
    for (auto _ : state) {
        CString strTitle = location.GetProfileStringA("Window", "Title", nullptr);
        benchmark::DoNotOptimize(strTitle.GetString());
    }
}

void RawOpenQueryCloseString(benchmark::State& state) {
    char szTitle[128];
    RawOpenQueryClose(state, "Title", szTitle, sizeof(szTitle));
}

}  // namespace

BENCHMARK(ProfileWriteInt);
BENCHMARK(RawCreateSetCloseInt);
BENCHMARK(ProfileReadInt);
BENCHMARK(RawOpenQueryCloseInt);
BENCHMARK(ProfileWriteString);
BENCHMARK(RawCreateSetCloseString);
BENCHMARK(ProfileReadString);
BENCHMARK(RawOpenQueryCloseString);

int main(int argc, char** argv) {
    return ZelBenchMain(argc, argv, [] { SHDeleteKeyA(HKEY_CURRENT_USER, kComponentKey.c_str()); });
}
