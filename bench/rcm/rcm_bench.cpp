// Time and work of residue curves, distillation curves, boundary sets and isovolatility curves of
// the classic systems at 101325 Pa (databank parameters; the singular points come from the
// azeotrope search, as the map gets them). Flash, right-hand-side and Jacobian counts are the
// stable figures; times depend on the machine.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "rcm/dist_boundary.hpp"
#include "rcm/distillation_curve.hpp"
#include "rcm/isovolatility.hpp"
#include "rcm/residue_curve.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace {

using rcm::testing::System;

/// The singular points of a system from the azeotrope search, as the map gets them.
std::vector<rcm::SingularPoint> searched_singular_points(const rcm::CurveSystem& s) {
    azeotrope::SearchProblem search;
    search.components = s.components;
    search.pressure = s.pressure;
    search.phase_count = s.phase_count;
    search.option_set = s.option_set;
    return rcm::singular_points_from_search(azeotrope::search(search));
}

bool open(benchmark::State& state) {
    const std::string error = rcm::testing::open_problem();
    if (!error.empty()) { state.SkipWithError(error.c_str()); }
    return error.empty();
}

void report_curve(benchmark::State& state, const rcm::Curve& c) {
    state.counters["points"] = static_cast<double>(c.point_count());
    state.counters["flashes"] = static_cast<double>(c.flashes);
    state.counters["rhs"] = static_cast<double>(c.rhs_calls);
    state.counters["jacobians"] = static_cast<double>(c.jacobian_calls);
    state.counters["steps"] = static_cast<double>(c.steps);
    state.counters["error"] = static_cast<double>(c.error);
}

/// A curve across the triangle through (0.3, 0.3, 0.4), both directions.
template <rcm::Curve (*Trace)(const rcm::CurveProblem&)>
void curve(benchmark::State& state, System s, std::int64_t phase_count = 2) {
    if (!open(state)) { return; }
    rcm::CurveProblem p;
    p.system = rcm::testing::system(s, phase_count);
    p.start = {0.3, 0.3, 0.4};
    rcm::Curve c;
    for (auto _ : state) {
        c = Trace(p);
        benchmark::DoNotOptimize(c);
    }
    report_curve(state, c);
}

void BM_ResidueCurve_AcetoneChloroformMethanol_NRTL(benchmark::State& state) {
    curve<&rcm::trace_residue_curve>(state, System::acetone_chloroform_methanol);
}
void BM_ResidueCurve_BenzeneToluenePXylene_UNIFAC(benchmark::State& state) {
    curve<&rcm::trace_residue_curve>(state, System::benzene_toluene_pxylene);
}
void BM_ResidueCurve_EthylAcetateEthanolWater_NRTL(benchmark::State& state) {
    curve<&rcm::trace_residue_curve>(state, System::ethyl_acetate_ethanol_water);
}
void BM_DistillationCurve_AcetoneChloroformMethanol_NRTL(benchmark::State& state) {
    curve<&rcm::trace_distillation_curve>(state, System::acetone_chloroform_methanol);
}
void BM_DistillationCurve_BenzeneToluenePXylene_UNIFAC(benchmark::State& state) {
    curve<&rcm::trace_distillation_curve>(state, System::benzene_toluene_pxylene);
}
void BM_DistillationCurve_EthylAcetateEthanolWater_NRTL(benchmark::State& state) {
    curve<&rcm::trace_distillation_curve>(state, System::ethyl_acetate_ethanol_water);
}
void BM_ResidueCurve_EthanolWaterBenzene_UNIFAC_TwoLiquids(benchmark::State& state) {
    curve<&rcm::trace_residue_curve>(state, System::ethanol_water_benzene, 3);
}
void BM_DistillationCurve_EthanolWaterBenzene_UNIFAC_TwoLiquids(benchmark::State& state) {
    curve<&rcm::trace_distillation_curve>(state, System::ethanol_water_benzene, 3);
}
BENCHMARK(BM_ResidueCurve_AcetoneChloroformMethanol_NRTL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResidueCurve_BenzeneToluenePXylene_UNIFAC)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResidueCurve_EthylAcetateEthanolWater_NRTL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResidueCurve_EthanolWaterBenzene_UNIFAC_TwoLiquids)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DistillationCurve_AcetoneChloroformMethanol_NRTL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DistillationCurve_BenzeneToluenePXylene_UNIFAC)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DistillationCurve_EthylAcetateEthanolWater_NRTL)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DistillationCurve_EthanolWaterBenzene_UNIFAC_TwoLiquids)
    ->Unit(benchmark::kMicrosecond);

/// The complete boundary set: edges, saddle classifications and separatrix traces.
void boundaries(benchmark::State& state, System s, std::int64_t phase_count = 2) {
    if (!open(state)) { return; }
    rcm::BoundaryProblem p;
    p.system = rcm::testing::system(s, phase_count);
    p.singular_points = searched_singular_points(p.system);
    rcm::BoundarySet set;
    for (auto _ : state) {
        set = rcm::distillation_boundaries(p);
        benchmark::DoNotOptimize(set);
    }
    state.counters["curves"] = static_cast<double>(set.curves.size());
    state.counters["flashes"] = static_cast<double>(set.flashes);
    state.counters["error"] = static_cast<double>(set.error);
}

void BM_Boundaries_AcetoneChloroformMethanol_NRTL(benchmark::State& state) {
    boundaries(state, System::acetone_chloroform_methanol);
}
void BM_Boundaries_BenzeneToluenePXylene_UNIFAC(benchmark::State& state) {
    boundaries(state, System::benzene_toluene_pxylene);
}
void BM_Boundaries_EthylAcetateEthanolWater_NRTL(benchmark::State& state) {
    boundaries(state, System::ethyl_acetate_ethanol_water);
}
void BM_Boundaries_EthanolWaterBenzene_UNIFAC_TwoLiquids(benchmark::State& state) {
    boundaries(state, System::ethanol_water_benzene, 3);
}
BENCHMARK(BM_Boundaries_AcetoneChloroformMethanol_NRTL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Boundaries_BenzeneToluenePXylene_UNIFAC)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Boundaries_EthylAcetateEthanolWater_NRTL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Boundaries_EthanolWaterBenzene_UNIFAC_TwoLiquids)->Unit(benchmark::kMillisecond);

void BM_IsovolatilityCurves_AcetoneChloroformMethanol_NRTL(benchmark::State& state) {
    if (!open(state)) { return; }
    const rcm::CurveSystem s = rcm::testing::system(System::acetone_chloroform_methanol);
    rcm::IsovolatilityCurves found;
    for (auto _ : state) {
        found = rcm::isovolatility_curves(s);
        benchmark::DoNotOptimize(found);
    }
    state.counters["curves"] = static_cast<double>(found.curves.size());
    state.counters["flashes"] = static_cast<double>(found.flashes);
}
BENCHMARK(BM_IsovolatilityCurves_AcetoneChloroformMethanol_NRTL)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
