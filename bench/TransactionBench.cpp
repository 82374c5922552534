// Settings written through a registry transaction against the same settings written without
// one, and reads through a transacted handle against ordinary reads.
//
// Writing: a ZelPropertySets collection of 20 sets and 100, 1,000 or 10,000 items in all
// (longs and strings by turns) into an empty place, with Write(nullptr, nullptr) or with
// Write(transaction.Key(), nullptr) and the commit, opening the transaction included.
// "per_item" is the time per item, "commit_per_item" the commit's part of it. Goal: at 1,000 items the transacted write costs at most a
// fifth of the plain one per item.
//
// Reading: RegQueryValueExA of an existing value of an item key, and RegEnumKeyA over every
// sub-key of a set key with 500 items, each through a handle opened in a transaction (which
// has written a value elsewhere, as a transaction writing settings has) or opened the ordinary
// way. "per_call" is the time per call. Goal: transacted reads take at most twice as long.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "ZelBenchMain.h"
#include "ZelRegistryTransaction.h"
#include "transaction/ZelCollectionSupport.h"

namespace {

constexpr const char* kPlace = "Software\\ZelBench.Transaction";
constexpr int kSets = 20;

const ZelRegistryBase& Location() {
    static const ZelRegistryBase location(kPlace, FALSE, FALSE);
    return location;
}

void ClearPlace() { SHDeleteKeyA(HKEY_CURRENT_USER, kPlace); }

void Check(LONG status, const char* what) {
    if (status != ERROR_SUCCESS) {
        std::fprintf(stderr, "%s failed with %d\n", what, static_cast<int>(status));
        std::exit(1);
    }
}

void PerUnit(benchmark::State& state, const char* name, double units) {
    state.counters[name] =
        benchmark::Counter(units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void WriteCollection(benchmark::State& state, bool transacted) {
    const int items = static_cast<int>(state.range(0));
    const auto collection = ZelRoundCollection(Location(), 1, kSets, items / kSets);
    std::chrono::duration<double> committing{0};
    for (auto _ : state) {
        state.PauseTiming();
        ClearPlace();
        state.ResumeTiming();
        if (transacted) {
            ZelRegistryTransaction transaction(Location());
            collection->Write(transaction.Key(), nullptr);
            const auto start = std::chrono::steady_clock::now();
            Check(transaction.Commit(), "commit");
            committing += std::chrono::steady_clock::now() - start;
        } else {
            collection->Write(nullptr, nullptr);
        }
    }
    if (ZelStoredImage(Location()) != ZelImageOf(*collection)) state.SkipWithError("the collection did not land whole");
    PerUnit(state, "per_item", items);
    // Of that, the commit's part: where a transacted write spends its time.
    if (transacted) state.counters["commit_per_item"] = benchmark::Counter(committing.count() / items, benchmark::Counter::kAvgIterations);
}

void BM_WriteCollection(benchmark::State& state) { WriteCollection(state, false); }
void BM_WriteCollectionTransacted(benchmark::State& state) { WriteCollection(state, true); }

constexpr int kReadItems = 500;  // in the one set read below
constexpr const char* kReadSet = "Layouts\\Set000";

// A set key opened in a transaction, below the transaction's key, or the ordinary way. The
// transaction has written, beside the set, what a transaction writing settings writes: it is not
// an empty one.
class ReadSubject {
public:
    explicit ReadSubject(bool transacted) {
        ClearPlace();
        ZelRoundCollection(Location(), 1, 1, kReadItems)->Write(nullptr, nullptr);
        if (!transacted) {
            Check(RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kPlace) + "\\" + kReadSet).c_str(), 0, KEY_READ,
                                &m_set),
                  "open set");
            return;
        }
        m_transaction = std::make_unique<ZelRegistryTransaction>(Location());
        Check(m_transaction->Status(), "open transaction");
        ZelRoundCollection(Location(), 2, 2, 10)->Write(m_transaction->Key(), "Elsewhere");
        Check(RegOpenKeyExA(m_transaction->Key(), kReadSet, 0, KEY_READ, &m_set), "open set in the transaction");
    }
    ~ReadSubject() {
        RegCloseKey(m_set);
        m_transaction.reset();
        ClearPlace();
    }
    HKEY Set() const { return m_set; }

private:
    std::unique_ptr<ZelRegistryTransaction> m_transaction;
    HKEY m_set = nullptr;
};

void QueryValue(benchmark::State& state, bool transacted) {
    ReadSubject subject(transacted);
    HKEY item = nullptr;
    Check(RegOpenKeyExA(subject.Set(), "Item0001", 0, KEY_READ, &item), "open item");
    constexpr int kCalls = 1000;
    for (auto _ : state) {
        for (int call = 0; call < kCalls; ++call) {
            char text[64];
            DWORD type = 0, size = sizeof text;
            Check(RegQueryValueExA(item, "VALUE", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), "query");
            benchmark::DoNotOptimize(text);
        }
    }
    RegCloseKey(item);
    PerUnit(state, "per_call", kCalls);
}

void EnumKeys(benchmark::State& state, bool transacted) {
    ReadSubject subject(transacted);
    for (auto _ : state) {
        char name[64];
        DWORD index = 0;
        while (RegEnumKeyA(subject.Set(), index, name, sizeof name) == ERROR_SUCCESS) ++index;
        if (index != kReadItems) return state.SkipWithError("enumerated too few sub-keys");
    }
    PerUnit(state, "per_call", kReadItems);
}

void BM_QueryValue(benchmark::State& state) { QueryValue(state, false); }
void BM_QueryValueTransacted(benchmark::State& state) { QueryValue(state, true); }
void BM_EnumKey(benchmark::State& state) { EnumKeys(state, false); }
void BM_EnumKeyTransacted(benchmark::State& state) { EnumKeys(state, true); }

}  // namespace

BENCHMARK(BM_WriteCollection)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("items")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteCollectionTransacted)->Arg(100)->Arg(1000)->Arg(10000)->ArgName("items")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QueryValue)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_QueryValueTransacted)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EnumKey)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EnumKeyTransacted)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) { return ZelBenchMain(argc, argv, ClearPlace); }
