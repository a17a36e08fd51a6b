// Time and flashes of complete envelope traces with the default step (0.1): the liquid-liquid
// envelope at 298.15 K and the vapour-liquid-liquid envelope at 101325 Pa. The flash and tie-line
// counts are the stable figures; times depend on the machine.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "lle/envelope.hpp"
#include "tests/lle/lle_problem.hpp"

namespace {

using lle::testing::components;

void run_trace(benchmark::State& state, lle::EnvelopeProblem p) {
    const std::string error = lle::testing::open_problem();
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    lle::EnvelopeResult r;
    for (auto _ : state) {
        r = lle::trace_envelopes(p);
        benchmark::DoNotOptimize(r);
    }
    state.counters["flashes"] = static_cast<double>(r.flashes);
    state.counters["tie_lines"] = static_cast<double>(r.tie_lines.size());
    state.counters["envelopes"] = static_cast<double>(r.envelopes.size());
    state.counters["error"] = static_cast<double>(r.error_code);
    state.counters["flashes_per_s"] =
        benchmark::Counter(static_cast<double>(r.flashes) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

lle::EnvelopeProblem liquid_liquid(std::vector<std::int64_t> ids, const char* option_set) {
    lle::EnvelopeProblem p;
    p.variant = lle::Variant::liquid_liquid;
    p.components = std::move(ids);
    p.temperature = lle::testing::kRoomTemperature;
    p.pressure = lle::testing::kAtmosphere;
    p.option_set = option_set;
    return p;
}

lle::EnvelopeProblem vapour_liquid_liquid(std::vector<std::int64_t> ids, const char* option_set) {
    lle::EnvelopeProblem p;
    p.variant = lle::Variant::vapour_liquid_liquid;
    p.components = std::move(ids);
    p.pressure = lle::testing::kAtmosphere;
    p.option_set = option_set;
    return p;
}

void BM_LleEnvelope_EthanolWaterBenzene_NRTL(benchmark::State& state) {
    run_trace(state, liquid_liquid(components({"ETOH", "WATER", "BENZENE"}), "EWB"));
}
BENCHMARK(BM_LleEnvelope_EthanolWaterBenzene_NRTL)->Unit(benchmark::kMillisecond);

void BM_LleEnvelope_EthanolWaterBenzene_UNIFACLLE(benchmark::State& state) {
    run_trace(state, liquid_liquid(components({"ETOH", "WATER", "BENZENE"}), "UNIFACLL"));
}
BENCHMARK(BM_LleEnvelope_EthanolWaterBenzene_UNIFACLLE)->Unit(benchmark::kMillisecond);

void BM_LleEnvelope_WaterBenzeneToluene_Band(benchmark::State& state) {
    // Two partly miscible edges: two branches across the triangle.
    run_trace(state, liquid_liquid(components({"WATER", "BENZENE", "TOLUENE"}), "WXULLE"));
}
BENCHMARK(BM_LleEnvelope_WaterBenzeneToluene_Band)->Unit(benchmark::kMillisecond);

void BM_VlleEnvelope_EthanolWaterBenzene_NRTL(benchmark::State& state) {
    run_trace(state, vapour_liquid_liquid(components({"ETOH", "WATER", "BENZENE"}), "EWB"));
}
BENCHMARK(BM_VlleEnvelope_EthanolWaterBenzene_NRTL)->Unit(benchmark::kMillisecond);

void BM_VlleEnvelope_EthanolWaterBenzene_UNIFAC(benchmark::State& state) {
    run_trace(state, vapour_liquid_liquid(components({"ETOH", "WATER", "BENZENE"}), "UNIFAC"));
}
BENCHMARK(BM_VlleEnvelope_EthanolWaterBenzene_UNIFAC)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
