// Per-item costs of the registry store as the number of keys below one parent, or of values in
// one key, grows. Each benchmark reports items (keys, or calls) per second (items_per_second);
// for the store to scale they must stay flat from 1,000 to 100,000. Runs against hives in a
// fresh temporary directory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#include "ZelBenchMain.h"
#include "platform/winreg/ZelWinReg.h"

namespace {

constexpr const char* kBase = "Software\\ZelRegistryBench";

std::string KeyName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "Key%07d", i);
    return name;
}

void Check(LONG status, const char* what) {
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "%s failed with %d\n", what, static_cast<int>(status));
        std::exit(1);
    }
}

HKEY CreateParent(const std::string& name) {
    HKEY key = nullptr;
    Check(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kBase) + "\\" + name).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr),
          "create parent");
    return key;
}

// The measured unit of the first benchmark: create a key, set a DWORD and a string, close.
void CreateAndSet(HKEY parent, int i) {
    HKEY key = nullptr;
    Check(RegCreateKeyExA(parent, KeyName(i).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
          "create");
    const DWORD number = static_cast<DWORD>(i);
    Check(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
          "set dword");
    static const char text[] = "a string value of ordinary length";
    Check(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), "set string");
    Check(RegCloseKey(key), "close");
}

void Populate(HKEY parent, int count) {
    for (int i = 0; i < count; ++i) CreateAndSet(parent, i);
}

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Finish(benchmark::State& state, int64_t itemsPerIteration) {
    state.SetItemsProcessed(state.iterations() * itemsPerIteration);
    state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_CreateKeySetTwoValuesClose(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "Create" + std::to_string(count) + "-" + std::to_string(round++);
        HKEY parent = CreateParent(name);
        state.ResumeTiming();
        Populate(parent, count);
        state.PauseTiming();
        RegCloseKey(parent);
        Check(SHDeleteKeyA(HKEY_CURRENT_USER, (std::string(kBase) + "\\" + name).c_str()), "delete");
        state.ResumeTiming();
    }
    Finish(state, count);
}

// Trees that several benchmarks read, made once per size.
HKEY ReadTree(int count) {
    static std::map<int, HKEY> trees;
    auto found = trees.find(count);
    if (found != trees.end()) return found->second;
    HKEY parent = CreateParent("Read" + std::to_string(count));
    Populate(parent, count);
    trees[count] = parent;
    return parent;
}

void BM_OpenQueryTwoValuesClose(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    HKEY parent = ReadTree(count);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(KeyName(i));
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            HKEY key = nullptr;
            Check(RegOpenKeyExA(parent, names[i].c_str(), 0, KEY_READ, &key), "open");
            DWORD number = 0, size = sizeof number, type = 0;
            Check(RegQueryValueExA(key, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), "dword");
            char text[64];
            size = sizeof text;
            Check(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), "string");
            Check(RegCloseKey(key), "close");
            benchmark::DoNotOptimize(number);
        }
    }
    Finish(state, count);
}

// A key with `count` values, made once per size.
HKEY ValueTree(int count) {
    static std::map<int, HKEY> trees;
    auto found = trees.find(count);
    if (found != trees.end()) return found->second;
    HKEY key = CreateParent("Values" + std::to_string(count));
    for (int i = 0; i < count; ++i) {
        const DWORD number = static_cast<DWORD>(i);
        Check(RegSetValueExA(key, KeyName(i).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              "set value");
    }
    trees[count] = key;
    return key;
}

enum class Listing { SubKeys, Values };

LONG EnumAt(Listing listing, HKEY key, DWORD index, char* name, DWORD size) {
    if (listing == Listing::SubKeys) return RegEnumKeyA(key, index, name, size);
    return RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
}

// Every index in order, through a handle of its own, as a caller lists a key.
void EnumerateInOrder(benchmark::State& state, Listing listing) {
    const int count = static_cast<int>(state.range(0));
    HKEY tree = listing == Listing::SubKeys ? ReadTree(count) : ValueTree(count);
    for (auto _ : state) {
        HKEY key = nullptr;
        Check(RegOpenKeyExA(tree, "", 0, KEY_READ, &key), "open");
        char name[64];
        DWORD index = 0;
        while (EnumAt(listing, key, index, name, sizeof name) == ERROR_SUCCESS) ++index;
        if (index != static_cast<DWORD>(count)) {
            std::fprintf(stderr, "enumerated %u of %d\n", index, count);
            std::exit(1);
        }
        RegCloseKey(key);
    }
    Finish(state, count);
}

// Calls at indices spread at random over the whole listing, each checked against the name it
// must give, through a handle of its own. The first call far from the start reads the listing
// once to find its way (see EnumWindow.h): it is timed apart, as first_call_ms.
constexpr int kRandomCalls = 1000;

void EnumerateAtRandom(benchmark::State& state, Listing listing) {
    const int count = static_cast<int>(state.range(0));
    HKEY tree = listing == Listing::SubKeys ? ReadTree(count) : ValueTree(count);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, count - 1);
    double firstCallMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HKEY key = nullptr;
        Check(RegOpenKeyExA(tree, "", 0, KEY_READ, &key), "open");
        char name[64];
        const auto began = std::chrono::steady_clock::now();
        Check(EnumAt(listing, key, static_cast<DWORD>(count - 1), name, sizeof name), "first call");
        firstCallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
        state.ResumeTiming();
        for (int call = 0; call < kRandomCalls; ++call) {
            const int index = pick(random);
            Check(EnumAt(listing, key, static_cast<DWORD>(index), name, sizeof name), "enumerate");
            if (KeyName(index) != name) {
                std::fprintf(stderr, "index %d gave %s\n", index, name);
                std::exit(1);
            }
        }
        state.PauseTiming();
        RegCloseKey(key);
        state.ResumeTiming();
    }
    state.counters["first_call_ms"] = firstCallMs;
    Finish(state, kRandomCalls);
}

void BM_RegEnumKeyA_InOrder(benchmark::State& state) { EnumerateInOrder(state, Listing::SubKeys); }
void BM_RegEnumKeyA_AtRandom(benchmark::State& state) { EnumerateAtRandom(state, Listing::SubKeys); }
void BM_RegEnumValueA_InOrder(benchmark::State& state) { EnumerateInOrder(state, Listing::Values); }
void BM_RegEnumValueA_AtRandom(benchmark::State& state) { EnumerateAtRandom(state, Listing::Values); }

// Counts and longest names of a key with `count` sub-keys (and of its values).
void BM_RegQueryInfoKeyA(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    HKEY key = ReadTree(count);
    constexpr int kCalls = 1000;
    for (auto _ : state) {
        for (int call = 0; call < kCalls; ++call) {
            DWORD subKeys = 0, longestName = 0, values = 0;
            Check(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &longestName, nullptr, &values, nullptr,
                                   nullptr, nullptr, nullptr),
                  "query info");
            if (subKeys != static_cast<DWORD>(count) || longestName != 10) {
                std::fprintf(stderr, "%u sub-keys, longest name %u\n", subKeys, longestName);
                std::exit(1);
            }
        }
    }
    Finish(state, kCalls);
}

void BM_DeleteTree(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "Delete" + std::to_string(count) + "-" + std::to_string(round++);
        HKEY parent = CreateParent(name);
        Populate(parent, count);
        RegCloseKey(parent);
        state.ResumeTiming();
        Check(SHDeleteKeyA(HKEY_CURRENT_USER, (std::string(kBase) + "\\" + name).c_str()), "delete tree");
    }
    Finish(state, count);
}

// How the settings library reaches a section: a seven-level path from the user root.
constexpr const char* kSection = "Software\\Quellmar\\Components\\C\\Versions\\1\\Options\\Section";

void MakeSection() {
    static bool made = false;
    if (made) return;
    HKEY key = nullptr;
    Check(RegCreateKeyExA(HKEY_CURRENT_USER, kSection, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
          "section");
    const DWORD number = 7;
    Check(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number), "set");
    RegCloseKey(key);
    made = true;
}

void BM_SectionOpenQueryClose(benchmark::State& state) {
    MakeSection();
    for (auto _ : state) {
        HKEY key = nullptr;
        Check(RegOpenKeyExA(HKEY_CURRENT_USER, kSection, 0, KEY_READ, &key), "open section");
        DWORD number = 0, size = sizeof number;
        Check(RegQueryValueExA(key, "Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size), "query");
        RegCloseKey(key);
        benchmark::DoNotOptimize(number);
    }
    Finish(state, 1);
}

// The library opens sections for reading through RegCreateKeyExA as well.
void BM_SectionCreateOpenQueryClose(benchmark::State& state) {
    MakeSection();
    for (auto _ : state) {
        HKEY key = nullptr;
        Check(RegCreateKeyExA(HKEY_CURRENT_USER, kSection, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              "create section");
        DWORD number = 0, size = sizeof number;
        Check(RegQueryValueExA(key, "Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size), "query");
        RegCloseKey(key);
        benchmark::DoNotOptimize(number);
    }
    Finish(state, 1);
}

const std::vector<int64_t> kSizes{1000, 10000, 100000};

BENCHMARK(BM_CreateKeySetTwoValuesClose)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenQueryTwoValuesClose)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegEnumKeyA_InOrder)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegEnumKeyA_AtRandom)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegEnumValueA_InOrder)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegEnumValueA_AtRandom)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegQueryInfoKeyA)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeleteTree)->ArgsProduct({kSizes})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SectionOpenQueryClose)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SectionCreateOpenQueryClose)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return ZelBenchMain(
        argc, argv, [] { SHDeleteKeyA(HKEY_CURRENT_USER, kBase); },
        [] { std::printf("peak resident memory: %.1f MB\n", PeakRssMb()); });
}
