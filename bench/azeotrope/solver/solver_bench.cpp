// Work and time per solve of FUNEQ1 on the standard problems, next to the evaluation counts of
// the independent MINPACK hybrd run in data/reference/solver_reference.json. Counts are the
// stable figures; times depend on the machine.
#include <benchmark/benchmark.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "azeotrope/solver/funeq.hpp"
#include "tests/azeotrope/solver/funeq_harness.hpp"
#include "tests/azeotrope/solver/standard_problems.hpp"

namespace {

using azeotrope::solver::testing::FuneqHarness;
namespace ipar = azeotrope::solver::ipar;

double reference_evaluations(const std::string& name) {
    static const nlohmann::json data = [] {
        std::ifstream in(DISTIL_REFERENCE_DIR "/solver_reference.json");
        return nlohmann::json::parse(in);
    }();
    for (const auto& p : data["problems"]) {
        if (p["name"] == name) { return p["nfev"].get<double>(); }
    }
    return 0.0;  // not in the reference file
}

void report(benchmark::State& state, FuneqHarness& h, const std::string& name) {
    state.counters["iflag"] = static_cast<double>(h.iflag);
    state.counters["evaluations"] = static_cast<double>(h.ip(ipar::kEvaluations));
    state.counters["jacobians"] = static_cast<double>(h.ip(ipar::kJacobians));
    state.counters["iterations"] = static_cast<double>(h.ip(ipar::kIterations));
    state.counters["ref_nfev"] = reference_evaluations(name);
    state.counters["evals_per_s"] = benchmark::Counter(
        static_cast<double>(h.ip(ipar::kEvaluations)) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

// MINPACK-like settings (internal scaling, radius factor 100, tolerances at sqrt(eps)).
void BM_StandardProblem(benchmark::State& state, const std::string& name) {
    const auto problems = azeotrope::solver::testing::standard_problems();
    const azeotrope::solver::testing::StandardProblem* problem = nullptr;
    for (const auto& p : problems) {
        if (p.name == name) { problem = &p; }
    }
    if (problem == nullptr) {
        state.SkipWithError("unknown problem");
        return;
    }
    const auto n = static_cast<std::int64_t>(problem->x0.size());
    FuneqHarness h(n, n);
    for (auto _ : state) {
        h.minpack_like_settings();
        h.x = problem->x0;
        h.requested.clear();
        h.requests.clear();
        benchmark::DoNotOptimize(h.run(problem->residuals));
    }
    report(state, h, name);
}

// The azeotrope solver's own settings on a ternary whose azeotrope is known by construction,
// with the caller normalising X in place before every evaluation.
void BM_AzeotropeSettingsTernary(benchmark::State& state) {
    const azeotrope::solver::testing::MargulesTernary system;
    FuneqHarness h(3, 10);
    for (auto _ : state) {
        h.azeotrope_settings();
        h.x = {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0};
        h.requested.clear();
        h.requests.clear();
        benchmark::DoNotOptimize(h.run(system));
    }
    report(state, h, "");
}

BENCHMARK_CAPTURE(BM_StandardProblem, rosenbrock, std::string("rosenbrock"));
BENCHMARK_CAPTURE(BM_StandardProblem, powell_badly_scaled, std::string("powell_badly_scaled"));
BENCHMARK_CAPTURE(BM_StandardProblem, helical_valley, std::string("helical_valley"));
BENCHMARK_CAPTURE(BM_StandardProblem,
                  broyden_tridiagonal_n10,
                  std::string("broyden_tridiagonal_n10"));
BENCHMARK_CAPTURE(BM_StandardProblem, powell_singular, std::string("powell_singular"));
BENCHMARK_CAPTURE(BM_StandardProblem, freudenstein_roth, std::string("freudenstein_roth"));
BENCHMARK(BM_AzeotropeSettingsTernary);

}  // namespace

BENCHMARK_MAIN();
