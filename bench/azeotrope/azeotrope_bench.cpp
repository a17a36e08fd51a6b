// Time and flashes of full azeotrope searches (pure components, K-values at infinite dilution,
// subset searches, refinement and classification of every singular point) on real systems at
// 101325 Pa. The flash counts are the stable figures; times depend on the machine.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "azeotrope/stability_rcm.hpp"
#include "tests/azeotrope/host_problem.hpp"

namespace {

using azeotrope::testing::components;

void run_search(benchmark::State& state,
                std::vector<std::int64_t> ids,
                const char* option_set,
                std::int64_t phase_count = 2) {
    const std::string error = azeotrope::testing::open_problem("azeotrope_systems.toml");
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    azeotrope::SearchProblem p;
    p.components = std::move(ids);
    p.pressure = azeotrope::testing::kAtmosphere;
    p.option_set = option_set;
    p.phase_count = phase_count;
    azeotrope::SearchResult r;
    for (auto _ : state) {
        r = azeotrope::search(p);
        benchmark::DoNotOptimize(r);
    }
    state.counters["flashes"] = static_cast<double>(r.flashes);
    state.counters["azeotropes"] = static_cast<double>(r.azeotropes.size());
    state.counters["error"] = static_cast<double>(r.error);
    state.counters["flashes_per_s"] =
        benchmark::Counter(static_cast<double>(r.flashes) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_TernarySearch_AcetoneChloroformMethanol_NRTL(benchmark::State& state) {
    // Three binary azeotropes and a ternary saddle; the rule holds at the first ordering.
    run_search(state, components({"ACETONE", "CHCL3", "MEOH"}), "NRTL");
}
BENCHMARK(BM_TernarySearch_AcetoneChloroformMethanol_NRTL)->Unit(benchmark::kMillisecond);

void BM_TernarySearch_EthylAcetateEthanolWater_NRTL(benchmark::State& state) {
    // Three binary azeotropes and a ternary unstable node.
    run_search(state, components({"ETAC", "ETOH", "WATER"}), "NRTL");
}
BENCHMARK(BM_TernarySearch_EthylAcetateEthanolWater_NRTL)->Unit(benchmark::kMillisecond);

void BM_TernarySearch_BenzeneToluenePXylene_UNIFAC(benchmark::State& state) {
    // Zeotropic: no subset search runs.
    run_search(state, components({"BENZENE", "TOLUENE", "PXYLENE"}), "UNIFAC");
}
BENCHMARK(BM_TernarySearch_BenzeneToluenePXylene_UNIFAC)->Unit(benchmark::kMillisecond);

void BM_TernarySearch_EthanolWaterBenzene_UNIFAC_TwoLiquids(benchmark::State& state) {
    // Two heteroazeotropes (water/benzene and the ternary); the rule holds at the second ordering.
    run_search(state, components({"ETOH", "WATER", "BENZENE"}), "UNIFAC", 3);
}
BENCHMARK(BM_TernarySearch_EthanolWaterBenzene_UNIFAC_TwoLiquids)->Unit(benchmark::kMillisecond);

void BM_SixComponentSearch_UNIFAC(benchmark::State& state) {
    run_search(state, components({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"}), "UNIFAC");
}
BENCHMARK(BM_SixComponentSearch_UNIFAC)->Unit(benchmark::kMillisecond);

void BM_SixComponentSearch_UNIFAC_TwoLiquids(benchmark::State& state) {
    run_search(state, components({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"}), "UNIFAC",
               3);
}
BENCHMARK(BM_SixComponentSearch_UNIFAC_TwoLiquids)->Unit(benchmark::kMillisecond);

void BM_EightComponentSearch_UNIFAC(benchmark::State& state) {
    run_search(
        state,
        components({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH", "CHCL3", "BENZENE"}),
        "UNIFAC");
}
BENCHMARK(BM_EightComponentSearch_UNIFAC)->Unit(benchmark::kMillisecond);

void BM_ClassifyTernarySaddle_NRTL(benchmark::State& state) {
    const std::string error = azeotrope::testing::open_problem("azeotrope_systems.toml");
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto ids = components({"ACETONE", "CHCL3", "MEOH"});
    const std::vector<double> x{0.35399821792487546, 0.21542871543245815, 0.4305730666426663};
    azeotrope::ClassificationRequest r;
    r.components = ids;
    r.x = x;
    r.pressure = azeotrope::testing::kAtmosphere;
    r.option_set = "NRTL";
    r.eigenvectors = true;
    std::int64_t flashes = 0;
    for (auto _ : state) {
        const azeotrope::Classification c = azeotrope::classify_singular_point(r);
        flashes = c.flashes;
        benchmark::DoNotOptimize(c);
    }
    state.counters["flashes"] = static_cast<double>(flashes);
}
BENCHMARK(BM_ClassifyTernarySaddle_NRTL)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
