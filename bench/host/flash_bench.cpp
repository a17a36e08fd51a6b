// Per-call cost of the host flashes on fixed databank systems at 101325 Pa. Each benchmark
// reports the activity-model evaluations per call ("evaluations") next to the time, since counts
// are stable across machines and times are not. Run with --benchmark_repetitions=10
// --benchmark_report_aggregates_only=true for medians.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/mixture.hpp"
#include "host/model_factory.hpp"

namespace {

constexpr double kAtm = 101325.0;

host::Mixture make(const std::vector<std::string>& ids, host::PropertyMethod method) {
    return host::make_mixture(host::Databank::embedded(), ids, method);
}

const std::vector<std::string> kTernary{"ACETONE", "CHCL3", "MEOH"};
const std::vector<std::string> kTen{"WATER", "MEOH",  "ETOH",    "ACETONE", "ETAC",
                                    "NBUOH", "IPROH", "BENZENE", "TOLUENE", "CHCL3"};

/// Runs one flash kind over a ring of feeds, so that consecutive calls differ as they do along a
/// residue curve; with_guess passes the previous temperature as the start value, as curve
/// tracing does.
/// A ring of 16 feeds around the centre of the composition simplex.
std::vector<std::vector<double>> central_feeds(std::size_t n) {
    std::vector<std::vector<double>> feeds;
    for (int k = 0; k < 16; ++k) {
        std::vector<double> z(n);
        for (std::size_t i = 0; i < n; ++i) { z[i] = 1.0 + 0.5 * ((k + 3 * i) % 5); }
        feeds.push_back(z);
    }
    return feeds;
}

/// A ring of 16 ethanol/water/benzene feeds inside the two-liquid region, at 298.15 K and at
/// the bubble point.
std::vector<std::vector<double>> two_liquid_feeds() {
    std::vector<std::vector<double>> feeds;
    for (int k = 0; k < 16; ++k) {
        const double ethanol = 0.02 + 0.02 * (k % 8);
        const double water = (1.0 - ethanol) * (0.3 + 0.3 * (k / 8));
        feeds.push_back({ethanol, water, 1.0 - ethanol - water});
    }
    return feeds;
}

void run_flash(benchmark::State& state,
               const host::Mixture& m,
               host::FlashKind kind,
               double spec1,
               double spec2,
               bool with_guess,
               std::int64_t phase_count = 2,
               std::vector<std::vector<double>> feeds = {}) {
    host::Flash flash(m);
    if (feeds.empty()) { feeds = central_feeds(m.size()); }
    host::FlashResult r;
    host::FlashOptions o;
    o.phase_count = phase_count;
    // Two liquids counted per call, to show which benchmarks split.
    std::int64_t splits = 0;
    std::int64_t evaluations = 0, calls = 0;
    std::size_t k = 0;
    for (auto _ : state) {
        flash.run(kind, spec1, spec2, feeds[k], o, r);
        if (!r.converged()) {
            state.SkipWithError("flash failed");
            break;
        }
        if (with_guess) { o.temperature_guess = r.temperature; }
        splits += (r.phases == host::PhaseState::liquid_liquid ||
                   r.phases == host::PhaseState::vapour_liquid_liquid)
                      ? 1
                      : 0;
        evaluations += r.iterations;
        ++calls;
        k = (k + 1) % feeds.size();
        benchmark::DoNotOptimize(r.temperature);
    }
    if (calls > 0) {
        state.counters["evaluations"] =
            static_cast<double>(evaluations) / static_cast<double>(calls);
        state.counters["split"] = static_cast<double>(splits) / static_cast<double>(calls);
    }
}

void BM_BubbleT_Ternary_NRTL(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0);
}
BENCHMARK(BM_BubbleT_Ternary_NRTL)->Arg(0)->Arg(1)->ArgName("guess");

void BM_BubbleT_Ten_UNIFAC(benchmark::State& state) {
    static const host::Mixture m = make(kTen, host::PropertyMethod::unifac);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0);
}
BENCHMARK(BM_BubbleT_Ten_UNIFAC)->Arg(0)->Arg(1)->ArgName("guess");

void BM_BubbleT_Ten_NRTL(benchmark::State& state) {
    static const host::Mixture m = make(kTen, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0);
}
BENCHMARK(BM_BubbleT_Ten_NRTL)->Arg(0)->Arg(1)->ArgName("guess");

void BM_BubbleT_Ternary_UNIFAC(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::unifac);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0);
}
BENCHMARK(BM_BubbleT_Ternary_UNIFAC)->Arg(0)->Arg(1)->ArgName("guess");

void BM_DewT_Ternary_NRTL(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::pv, kAtm, 1.0, state.range(0) != 0);
}
BENCHMARK(BM_DewT_Ternary_NRTL)->Arg(0)->Arg(1)->ArgName("guess");

void BM_TP_Ternary_NRTL(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::tp, 333.0, kAtm, false);
}
BENCHMARK(BM_TP_Ternary_NRTL);

// ---- Phase count 3: the liquid-liquid stability test on every answer, two liquids where they
// form. Ethanol/water/benzene with NRTL (water/benzene estimated from UNIFAC-LLE) and original
// UNIFAC splits; acetone/chloroform/methanol does not.

const std::vector<std::string> kHeterogeneous{"ETOH", "WATER", "BENZENE"};

void BM_BubbleT3_Ternary_NRTL_Split(benchmark::State& state) {
    static const host::Mixture m = make(kHeterogeneous, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0, 3, two_liquid_feeds());
}
BENCHMARK(BM_BubbleT3_Ternary_NRTL_Split)->Arg(0)->Arg(1)->ArgName("guess");

void BM_BubbleT3_Ternary_UNIFAC_Split(benchmark::State& state) {
    static const host::Mixture m = make(kHeterogeneous, host::PropertyMethod::unifac);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0, 3, two_liquid_feeds());
}
BENCHMARK(BM_BubbleT3_Ternary_UNIFAC_Split)->Arg(0)->Arg(1)->ArgName("guess");

void BM_BubbleT3_Ternary_NRTL_NoSplit(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::pv, kAtm, 0.0, state.range(0) != 0, 3);
}
BENCHMARK(BM_BubbleT3_Ternary_NRTL_NoSplit)->Arg(0)->Arg(1)->ArgName("guess");

void BM_TP3_Ternary_NRTL_Split(benchmark::State& state) {
    static const host::Mixture m = make(kHeterogeneous, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::tp, 298.15, kAtm, false, 3, two_liquid_feeds());
}
BENCHMARK(BM_TP3_Ternary_NRTL_Split);

void BM_TP3_Ternary_UNIFAC_Split(benchmark::State& state) {
    static const host::Mixture m = make(kHeterogeneous, host::PropertyMethod::unifac);
    run_flash(state, m, host::FlashKind::tp, 298.15, kAtm, false, 3, two_liquid_feeds());
}
BENCHMARK(BM_TP3_Ternary_UNIFAC_Split);

void BM_TP3_Ternary_NRTL_VapourTwoLiquids(benchmark::State& state) {
    // Just above the three-phase bubble points of these feeds: vapour and two liquids.
    static const host::Mixture m = make(kHeterogeneous, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::tp, 339.0, kAtm, false, 3, two_liquid_feeds());
}
BENCHMARK(BM_TP3_Ternary_NRTL_VapourTwoLiquids);

void BM_TP3_Ternary_NRTL_NoSplit(benchmark::State& state) {
    static const host::Mixture m = make(kTernary, host::PropertyMethod::nrtl);
    run_flash(state, m, host::FlashKind::tp, 333.0, kAtm, false, 3);
}
BENCHMARK(BM_TP3_Ternary_NRTL_NoSplit);

}  // namespace

BENCHMARK_MAIN();
