// Work and time of the integrator on the standard problems, at the settings of the classic
// reference runs (data/reference/lsoda_reference.json). Counters: steps, f and Jacobian
// evaluations of one integration (stable across machines), and the time per step.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "rcm/ode/lsoda.hpp"

namespace {

using rcm::ode::JacobianFunction;
using rcm::ode::JacobianType;
using rcm::ode::LsodaSettings;
using rcm::ode::LsodaState;
using rcm::ode::RightHandSide;

int robertson(double, std::span<const double> y, std::span<double> d) {
    d[0] = -0.04 * y[0] + 1e4 * y[1] * y[2];
    d[2] = 3e7 * y[1] * y[1];
    d[1] = -d[0] - d[2];
    return 0;
}

int robertson_jacobian(double,
                       std::span<const double> y,
                       std::int64_t,
                       std::int64_t,
                       std::span<double> pd,
                       std::int64_t n) {
    const auto k = static_cast<std::size_t>(n);
    pd[0] = -0.04;
    pd[1] = 0.04;
    pd[k] = 1e4 * y[2];
    pd[k + 1] = -1e4 * y[2] - 6e7 * y[1];
    pd[k + 2] = 6e7 * y[1];
    pd[2 * k] = 1e4 * y[1];
    pd[2 * k + 1] = -1e4 * y[1];
    return 0;
}

RightHandSide van_der_pol(double mu) {
    return [mu](double, std::span<const double> y, std::span<double> d) {
        d[0] = y[1];
        d[1] = mu * (1.0 - y[0] * y[0]) * y[1] - y[0];
        return 0;
    };
}

int residue_curve(double, std::span<const double> x, std::span<double> d) {
    const double s = 4.0 * x[0] + 2.0 * x[1] + (1.0 - x[0] - x[1]);
    d[0] = x[0] - 4.0 * x[0] / s;
    d[1] = x[1] - 2.0 * x[1] / s;
    return 0;
}

std::vector<double> robertson_outputs() {
    std::vector<double> t;
    for (int k = 0; k < 12; ++k) { t.push_back(0.4 * std::pow(10.0, k)); }
    return t;
}

void run_problem(benchmark::State& bench,
                 const RightHandSide& f,
                 const JacobianFunction& jac,
                 const std::vector<double>& y0,
                 const std::vector<double>& t_out,
                 const LsodaSettings& settings) {
    LsodaState state;
    for (auto _ : bench) {
        std::vector<double> y = y0;
        double t = 0.0;
        std::int64_t istate = 1;
        for (double tout : t_out) {
            rcm::ode::integrate(state, f, jac, y, t, tout, istate, settings);
            if (istate < 0) {
                bench.SkipWithError("integration failed");
                return;
            }
        }
        benchmark::DoNotOptimize(y.data());
    }
    bench.counters["steps"] = static_cast<double>(state.steps);
    bench.counters["f_calls"] = static_cast<double>(state.rhs_calls);
    bench.counters["jacobians"] = static_cast<double>(state.jacobian_calls);
    bench.counters["time_per_step"] = benchmark::Counter(
        static_cast<double>(state.steps),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

LsodaSettings settings(double rtol, std::vector<double> atol, JacobianType jt) {
    LsodaSettings s;
    s.rtol = {rtol};
    s.atol = std::move(atol);
    s.jacobian_type = jt;
    return s;
}

void BM_RobertsonDemoTolerancesExactJacobian(benchmark::State& bench) {
    run_problem(bench, robertson, robertson_jacobian, {1.0, 0.0, 0.0}, robertson_outputs(),
                settings(1e-4, {1e-6, 1e-10, 1e-6}, JacobianType::user_full));
}

void BM_RobertsonDifferenceJacobian(benchmark::State& bench) {
    run_problem(bench, robertson, {}, {1.0, 0.0, 0.0}, robertson_outputs(),
                settings(1e-5, {1e-5}, JacobianType::internal_full));
}

void BM_VanDerPolStiff(benchmark::State& bench) {
    run_problem(bench, van_der_pol(1000.0), {}, {2.0, 0.0},
                {1, 10, 100, 500, 800, 1000, 1500, 2000, 2500, 3000},
                settings(1e-5, {1e-5}, JacobianType::internal_full));
}

void BM_VanDerPolNonStiff(benchmark::State& bench) {
    run_problem(bench, van_der_pol(1.0), {}, {2.0, 0.0},
                {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16, 18, 20},
                settings(1e-5, {1e-5}, JacobianType::internal_full));
}

void BM_ResidueCurveConstantVolatility(benchmark::State& bench) {
    run_problem(bench, residue_curve, {}, {0.3, 0.3},
                {0.1, 0.2, 0.5, 1.0, 2.0, 3.0, 5.0, 7.5, 10.0},
                settings(1e-5, {1e-5}, JacobianType::internal_full));
}

// The by-reference routine as the residue-curve tracer calls it (restart per output point
// included in the cost of the adapter).
void BM_ByReferenceRobertson(benchmark::State& bench) {
    const std::int64_t neq = 3, itol = 2, itask = 1, iopt = 0, jt = 2;
    const std::int64_t lrw =
        22 + 9 * neq + neq * neq > 20 + 16 * neq ? 22 + 9 * neq + neq * neq : 20 + 16 * neq;
    const std::int64_t liw = 20 + neq;
    std::vector<double> rwork(static_cast<std::size_t>(lrw));
    std::vector<std::int64_t> iwork(static_cast<std::size_t>(liw));
    const double rtol = 1e-4;
    const double atol[3] = {1e-6, 1e-10, 1e-6};
    const rcm::ode::LsodaRhsRoutine f = [](const std::int64_t*, const double* t, const double* y,
                                           double* d) {
        robertson(*t, std::span<const double>(y, 3), std::span<double>(d, 3));
    };
    const std::vector<double> t_out = robertson_outputs();
    for (auto _ : bench) {
        double y[3] = {1.0, 0.0, 0.0};
        double t = 0.0;
        std::int64_t istate = 1;
        for (double tout : t_out) {
            rcm::ode::lsoda(f, &neq, y, &t, &tout, &itol, &rtol, atol, &itask, &istate, &iopt,
                            rwork.data(), &lrw, iwork.data(), &liw, nullptr, &jt);
        }
        benchmark::DoNotOptimize(y);
    }
    bench.counters["steps"] = static_cast<double>(iwork[10]);
    bench.counters["f_calls"] = static_cast<double>(iwork[11]);
    bench.counters["jacobians"] = static_cast<double>(iwork[12]);
    bench.counters["time_per_step"] = benchmark::Counter(
        static_cast<double>(iwork[10]),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_RobertsonDemoTolerancesExactJacobian);
BENCHMARK(BM_RobertsonDifferenceJacobian);
BENCHMARK(BM_VanDerPolStiff);
BENCHMARK(BM_VanDerPolNonStiff);
BENCHMARK(BM_ResidueCurveConstantVolatility);
BENCHMARK(BM_ByReferenceRobertson);

}  // namespace

BENCHMARK_MAIN();
