// Settings trees in the registry: writing, reading back and deleting a root with N nodes of
// M children each. The "per_node" counter is the time per node of the tree (1 + N + N*M
// nodes); it should stay flat whether the tree grows in breadth or in depth of fan-out.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "ZelRegistrySet.h"
#include "ZelBenchMain.h"

namespace {

constexpr const char* kPlace = "Software\\ZelBench.Tree";

using Node = std::unique_ptr<ZelRegistryQuonSet>;

Node NewRoot() {
    Node root(new ZelRegistryQuonSet(kPlace, FALSE, FALSE));
    root->SetKey("Root");
    return root;
}

Node BuildTree(benchmark::State& state) {
    Node root = NewRoot();
    const auto nNodes = state.range(0);
    const auto nChildren = state.range(1);
    for (int64_t n = 0; n < nNodes; ++n) {
        auto* node = new ZelRegistryQuonSet(*root, ("Node" + std::to_string(n)).c_str());
        root->AddItem(node);
        for (int64_t c = 0; c < nChildren; ++c)
            node->AddItem(new ZelRegistryQuonSet(*root, ("Child" + std::to_string(c)).c_str()));
    }
    return root;
}

void ClearPlace() { SHDeleteKeyA(HKEY_CURRENT_USER, kPlace); }

void CountNodes(benchmark::State& state) {
    const double nodes = 1.0 + static_cast<double>(state.range(0)) * (1.0 + static_cast<double>(state.range(1)));
    state.counters["nodes"] = nodes;
    state.counters["per_node"] =
        benchmark::Counter(nodes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void TreeWrite(benchmark::State& state) {
    const Node tree = BuildTree(state);
    for (auto _ : state) {
        state.PauseTiming();
        ClearPlace();
        state.ResumeTiming();
        tree->Write(nullptr, nullptr);
    }
    CountNodes(state);
}

void TreeRead(benchmark::State& state) {
    ClearPlace();
    BuildTree(state)->Write(nullptr, nullptr);
    const LONG nExpected = static_cast<LONG>(state.range(0));
    for (auto _ : state) {
        Node back = NewRoot();
        if (!back->Read(nullptr, nullptr) || back->GetCount() != nExpected) return state.SkipWithError("read back too little");
        state.PauseTiming();
        back.reset();
        state.ResumeTiming();
    }
    CountNodes(state);
}

void TreeDelete(benchmark::State& state) {
    const Node tree = BuildTree(state);
    for (auto _ : state) {
        state.PauseTiming();
        tree->Write(nullptr, nullptr);
        state.ResumeTiming();
        tree->Delete(nullptr, nullptr);
    }
    CountNodes(state);
}

// In memory, for comparison: a deep copy of the same tree.
void TreeCopy(benchmark::State& state) {
    const Node tree = BuildTree(state);
    for (auto _ : state) {
        ZelRegistryQuonSet copy(*tree);
        benchmark::DoNotOptimize(copy.GetCount());
    }
    CountNodes(state);
}

void Shapes(benchmark::internal::Benchmark* b) {
    b->Args({10, 100})->Args({100, 100})->Args({10, 1000})->Args({100, 10})->Args({1000, 10});
    b->ArgNames({"nodes", "children"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK(TreeWrite)->Apply(Shapes);
BENCHMARK(TreeRead)->Apply(Shapes);
BENCHMARK(TreeDelete)->Apply(Shapes);
BENCHMARK(TreeCopy)->Apply(Shapes);

int main(int argc, char** argv) { return ZelBenchMain(argc, argv, ClearPlace); }
