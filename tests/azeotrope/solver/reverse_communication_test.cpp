// The IFLAG protocol of FUNEQ1: calls that must end before any evaluation, calls after the end,
// the corrections of the settings, warm starts, and solves that share nothing but the code.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "azeotrope/solver/diagnostic_units.hpp"
#include "azeotrope/solver/funeq.hpp"
#include "azeotrope/solver/nonlinear_solver.hpp"
#include "tests/azeotrope/solver/funeq_harness.hpp"
#include "tests/azeotrope/solver/standard_problems.hpp"

namespace azeotrope::solver {
namespace {

using testing::FuneqHarness;
constexpr double kEps = 2.220446049250313e-16;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) { out.push_back(line); }
    return out;
}

TEST(ReverseCommunication, InvalidSizeEndsWith9BeforeAnyEvaluation) {
    std::ostringstream unit0;
    ScopedUnitConnection connection(0, unit0);
    FuneqHarness h(11, 10);  // the azeotrope solver's leading dimension is 10
    h.azeotrope_settings();
    EXPECT_EQ(h.run(testing::broyden_tridiagonal), 9);
    EXPECT_TRUE(h.requested.empty());
    EXPECT_EQ(lines(unit0.str()),
              (std::vector<std::string>{
                  " *** ERROR FROM FUNEQ1: INVALID PARAMETER ***", "     N =   11  LDB =   10",
                  " ERROR RETURN FROM NONLINEAR EQUATION SOLVER FUNEQ2/FUNEQ1"}));

    unit0.str("");
    FuneqHarness none(0, 10);
    none.azeotrope_settings();
    none.ip(ipar::kPrintLevel) = 0;  // no text at print level 0
    EXPECT_EQ(none.run(testing::broyden_tridiagonal), 9);
    EXPECT_TRUE(none.requested.empty());
    EXPECT_EQ(unit0.str(), "");

    // Missing arguments are refused the same way, not dereferenced.
    std::int64_t iflag = 0;
    FUNEQ1(&iflag, nullptr, h.x.data(), h.f.data(), h.fcur.data(), h.diagx.data(), h.diagf.data(),
           h.jac.data(), &h.ldb, h.work1.data(), h.work2.data(), h.ipar.data(), h.rpar.data());
    EXPECT_EQ(iflag, 9);
    iflag = 0;
    const std::int64_t two = 2;
    FUNEQ1(&iflag, &two, nullptr, h.f.data(), h.fcur.data(), h.diagx.data(), h.diagf.data(),
           h.jac.data(), &h.ldb, h.work1.data(), h.work2.data(), h.ipar.data(), h.rpar.data());
    EXPECT_EQ(iflag, 9);
    FUNEQ1(nullptr, &two, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
           nullptr, nullptr, nullptr);  // nothing to report through: returns quietly
}

TEST(ReverseCommunication, CallAfterTheEndGives10WithItsMessages) {
    std::ostringstream unit0, unit7;
    ScopedUnitConnection c0(0, unit0);
    ScopedUnitConnection c7(7, unit7);
    FuneqHarness h(2, 2);
    h.azeotrope_settings();
    h.ip(ipar::kPrintLevel) = 0;  // the texts of IFLAG 10 do not depend on it
    h.x = {-1.2, 1.0};
    ASSERT_EQ(h.run(testing::rosenbrock), 1);
    const std::vector<double> solution = h.x;
    const std::size_t evaluations = h.requested.size();

    h.call();  // IFLAG is still 1
    EXPECT_EQ(h.iflag, 10);
    EXPECT_EQ(h.x, solution);
    EXPECT_EQ(h.requested.size(), evaluations);
    EXPECT_EQ(lines(unit0.str()),
              (std::vector<std::string>{" *** EXECUTION TERMINATED IN ROUTINE FUNEQ1 ***",
                                        "     BECAUSE IFLAG =   10  ON INPUT"}));
    EXPECT_EQ(lines(unit7.str()), (std::vector<std::string>{"*** Error in funeq1 label 710 ***"}));

    // FUNEQ2 guards its entry the same way.
    h.iflag = 3;
    FUNEQ2(&h.iflag, &h.n, h.x.data(), h.f.data(), h.fcur.data(), h.diagx.data(), h.diagf.data(),
           h.jac.data(), &h.ldb, h.work1.data(), h.work2.data(), h.ipar.data(), h.rpar.data());
    EXPECT_EQ(h.iflag, 10);

    // "Evaluate and call again" with no solve waiting for it: refused, nothing is evaluated.
    FuneqHarness fresh(2, 2);
    fresh.azeotrope_settings();
    fresh.iflag = -3;
    fresh.call();
    EXPECT_EQ(fresh.iflag, 10);
}

struct IntegerCorrection {
    int entry;
    std::int64_t given;
    std::int64_t expected;
};

TEST(ReverseCommunication, OutOfRangeSettingsAreCorrectedAtTheStart) {
    const IntegerCorrection integer_cases[] = {
        {ipar::kMaxIterations, 0, 50},    {ipar::kMaxIterations, 1000, 50},
        {ipar::kMaxIterations, 999, 999}, {ipar::kMaxIterations, -7, 50},
        {ipar::kMaxJacobians, 0, 5},      {ipar::kMaxJacobians, 1000, 5},
        {ipar::kMaxJacobians, 1, 1},      {ipar::kXScaling, 3, 0},
        {ipar::kXScaling, 2, 2},          {ipar::kFScaling, 5, 2},
        {ipar::kFScaling, 0, 0},          {ipar::kJacobianUpdate, 7, 2},
        {ipar::kPrintLevel, 11, 3},       {ipar::kPrintLevel, 10, 10},
        {ipar::kDiagnosticUnit, 6, 0},    {ipar::kDiagnosticUnit, 100, 0},
        {ipar::kDiagnosticUnit, 7, 7},    {ipar::kNonNegative, 2, 0},
        {ipar::kWarmStart, 3, 0},         {ipar::kReserved10, 0, 2},
    };
    for (const auto& c : integer_cases) {
        FuneqHarness h(2, 2);
        h.azeotrope_settings();
        h.ip(c.entry) = c.given;
        h.x = {0.3, 0.7};
        h.call();
        EXPECT_EQ(h.iflag, -1);
        EXPECT_EQ(h.ip(c.entry), c.expected) << "IPAR(" << c.entry << ") = " << c.given;
    }

    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct RealCorrection {
        double given[7];
        double expected[7];
    };
    const RealCorrection real_cases[] = {
        // The azeotrope solver's values are all in range.
        {{0.001, 1e-8, 1e-6, 0.2, 0.1, 0.05, 0.05}, {0.001, 1e-8, 1e-6, 0.2, 0.1, 0.05, 0.05}},
        // RPAR(2) too big, RPAR(1) too big, the others beyond 1e30.
        {{0.7, 0.01, 2e30, 2e30, 2e30, 2e30, 2e30},
         {1e-4, kEps, 0.0, 1.0, 1e-4, 10.0 * std::sqrt(kEps), std::sqrt(kEps)}},
        // RPAR(1) clamped to 0.1 from above and to RPAR(2) from below; RPAR(4) too small;
        // RPAR(5) not positive takes the corrected RPAR(1).
        {{0.3, 1e-4, 0.0, 1e-6, -1.0, 0.1, 0.1}, {0.1, 1e-4, 0.0, 1.0, 0.1, 0.1, 0.1}},
        {{1e-12, 1e-8, 0.0, 1.0, 0.0, 0.1, 0.1}, {1e-8, 1e-8, 0.0, 1.0, 1e-8, 0.1, 0.1}},
        // NaN is never in range.
        {{nan, nan, nan, nan, nan, nan, nan},
         {1e-4, kEps, 0.0, 1.0, 1e-4, 10.0 * std::sqrt(kEps), std::sqrt(kEps)}},
    };
    for (const auto& c : real_cases) {
        FuneqHarness h(2, 2);
        h.azeotrope_settings();
        for (int k = 0; k < 7; ++k) { h.rp(k + 1) = c.given[k]; }
        h.x = {0.3, 0.7};
        h.call();
        for (int k = 0; k < 7; ++k) {
            EXPECT_DOUBLE_EQ(h.rp(k + 1), c.expected[k]) << "RPAR(" << k + 1 << ")";
        }
    }

    // The corrected limits are the ones applied: Powell's badly scaled problem needs far more
    // than 50 iterations, so an iteration limit of 1000 ends it after 50.
    FuneqHarness h(2, 2);
    h.minpack_like_settings();
    h.ip(ipar::kMaxIterations) = 1000;
    h.x = {0.0, 1.0};
    EXPECT_EQ(h.run(testing::powell_badly_scaled), 6);
    EXPECT_EQ(h.ip(ipar::kIterations), 50);
    // A Jacobian limit of 0 becomes 5: with a difference Jacobian at every iteration, the
    // sixth one is refused.
    FuneqHarness j(2, 2);
    j.minpack_like_settings();
    j.ip(ipar::kJacobianUpdate) = 1;
    j.ip(ipar::kMaxJacobians) = 0;
    j.x = {0.0, 1.0};
    EXPECT_EQ(j.run(testing::powell_badly_scaled), 5);
    EXPECT_EQ(j.ip(ipar::kJacobians), 5);
}

TEST(ReverseCommunication, NonNegativeStartUsesAbsoluteValues) {
    FuneqHarness h(2, 2);
    h.azeotrope_settings();
    h.x = {-0.4, 0.6};
    h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] - 0.25;
        f[1] = x[1] - 0.75;
    });
    ASSERT_FALSE(h.requested.empty());
    EXPECT_EQ(h.requested.front(), (std::vector<double>{0.4, 0.6}));
    EXPECT_EQ(h.requests.front(), -1);
}

TEST(ReverseCommunication, InterleavedSolvesDoNotDisturbEachOther) {
    // All state lives in the caller's arrays: two solves advanced alternately give exactly what
    // each gives alone.
    FuneqHarness alone_a(2, 2), alone_b(3, 5);
    alone_a.minpack_like_settings();
    alone_b.minpack_like_settings();
    alone_a.x = {-1.2, 1.0};
    alone_b.x = {-1.0, 0.0, 0.0};
    alone_a.run(testing::rosenbrock);
    alone_b.run(testing::helical_valley);

    FuneqHarness a(2, 2), b(3, 5);
    a.minpack_like_settings();
    b.minpack_like_settings();
    a.x = {-1.2, 1.0};
    b.x = {-1.0, 0.0, 0.0};
    a.iflag = 0;
    b.iflag = 0;
    a.call();
    b.call();
    while (a.iflag < 0 || b.iflag < 0) {
        if (a.iflag < 0) {
            testing::rosenbrock(a.x, a.f);
            a.call();
        }
        if (b.iflag < 0) {
            testing::helical_valley(std::span<double>(b.x.data(), 3),
                                    std::span<double>(b.f.data(), 3));
            b.call();
        }
    }
    EXPECT_EQ(a.iflag, alone_a.iflag);
    EXPECT_EQ(b.iflag, alone_b.iflag);
    EXPECT_EQ(a.x, alone_a.x);
    EXPECT_EQ(b.x, alone_b.x);
    EXPECT_EQ(a.ip(ipar::kEvaluations), alone_a.ip(ipar::kEvaluations));
    EXPECT_EQ(b.ip(ipar::kEvaluations), alone_b.ip(ipar::kEvaluations));
}

TEST(ReverseCommunication, WarmStartBeginsFromTheHeldJacobian) {
    std::ostringstream unit3;
    ScopedUnitConnection connection(3, unit3);
    FuneqHarness h(10, 10);
    h.minpack_like_settings();
    h.x.assign(10, -1.0);
    ASSERT_EQ(h.run(testing::broyden_tridiagonal), 1);
    const auto cold_evaluations = h.ip(ipar::kEvaluations);

    // A nearby start with IPAR(9) = 1: the scales stay exactly as passed and no difference
    // Jacobian is needed to get going.
    for (double& v : h.x) { v += 0.01; }
    h.diagx.assign(10, 0.5);
    h.ip(ipar::kWarmStart) = 1;
    h.ip(ipar::kPrintLevel) = 6;
    h.ip(ipar::kDiagnosticUnit) = 3;
    h.requested.clear();
    h.requests.clear();
    ASSERT_EQ(h.run(testing::broyden_tridiagonal), 1);
    EXPECT_EQ(h.ip(ipar::kJacobians), 0);
    EXPECT_LT(h.ip(ipar::kEvaluations), cold_evaluations);
    EXPECT_EQ(h.diagx, std::vector<double>(10, 0.5));
    EXPECT_EQ(lines(unit3.str()).front(), " *** REUSE PREVIOUS JACOBIAN ***");
    for (std::int64_t r : h.requests) { EXPECT_NE(r, -2) << "no difference column expected"; }

    // Without a held Jacobian (a fresh set of arrays) the warm start evaluates one.
    FuneqHarness cold(10, 10);
    cold.minpack_like_settings();
    cold.ip(ipar::kWarmStart) = 1;
    cold.x.assign(10, -1.0);
    ASSERT_EQ(cold.run(testing::broyden_tridiagonal), 1);
    EXPECT_GE(cold.ip(ipar::kJacobians), 1);
}

TEST(ReverseCommunication, PlainSolveRefusesBadInputAndHonoursTheCallbackRule) {
    const std::vector<double> none;
    EXPECT_EQ(solve(testing::rosenbrock, none).iflag, 9);
    SolverSettings wrong;
    wrong.diagx = {1.0, 1.0, 1.0};
    EXPECT_EQ(solve(testing::rosenbrock, std::vector<double>{-1.2, 1.0}, wrong).iflag, 9);

    // Positive: F cannot be evaluated here (at the start: IFLAG 8).
    const SolverResult undefined = solve([](std::span<double>, std::span<double>) { return 1; },
                                         std::vector<double>{1.0, 2.0});
    EXPECT_EQ(undefined.iflag, 8);
    EXPECT_EQ(undefined.function_evaluations, 1);
    // Negative: stop; the result carries the callback's status and no solver result.
    int calls = 0;
    const SolverResult stopped = solve(
        [&calls](std::span<double> x, std::span<double> f) {
            testing::rosenbrock(x, f);
            return ++calls == 4 ? -7 : 0;
        },
        std::vector<double>{-1.2, 1.0});
    EXPECT_EQ(stopped.iflag, 0);
    EXPECT_FALSE(stopped.solved());
    EXPECT_EQ(stopped.callback_status, -7);
    EXPECT_EQ(calls, 4);
}

}  // namespace
}  // namespace azeotrope::solver
