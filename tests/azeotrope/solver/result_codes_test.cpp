// Every way a solve ends, each provoked by a system built to end that way, with the texts the
// routine writes for it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "azeotrope/solver/diagnostic_units.hpp"
#include "azeotrope/solver/funeq.hpp"
#include "tests/azeotrope/solver/funeq_harness.hpp"
#include "tests/azeotrope/solver/standard_problems.hpp"

namespace azeotrope::solver {
namespace {

using testing::FuneqHarness;
const std::string kErrorReturn = " ERROR RETURN FROM NONLINEAR EQUATION SOLVER FUNEQ2/FUNEQ1";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) { out.push_back(line); }
    return out;
}

// A solve whose messages go to a string: unit 4 at print level 3 unless changed.
struct Captured {
    std::ostringstream text;
    ScopedUnitConnection connection{4, text};
    FuneqHarness h;
    Captured(std::int64_t n, std::int64_t ldb) : h(n, ldb) {
        h.azeotrope_settings();
        h.ip(ipar::kNonNegative) = 0;
        h.ip(ipar::kDiagnosticUnit) = 4;
    }
    std::vector<std::string> output() const { return lines(text.str()); }
};

TEST(ResultCodes, ExactlySingularJacobianEnds7) {
    // F = (x1 + x2 - 3, 2 x1 + 2 x2 - 6.5): rank 1 everywhere. Steps of 2^-10 from (1, 1) make
    // every difference exact, so the Jacobian is exactly [[1, 1], [2, 2]] and its elimination
    // leaves an exact zero pivot: singularity parameter 0.
    Captured c(2, 2);
    c.h.rp(rpar::kRelativeDifference) = 0.0009765625;
    c.h.rp(rpar::kMinimumDifference) = 0.0009765625;
    c.h.x = {1.0, 1.0};
    EXPECT_EQ(c.h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] + x[1] - 3.0;
        f[1] = 2.0 * x[0] + 2.0 * x[1] - 6.5;
    }),
              7);
    EXPECT_EQ(c.h.requested.size(), 3u);  // start point and two columns, no step
    EXPECT_EQ(c.h.rp(rpar::kSingularity), 0.0);
    EXPECT_EQ(c.output(),
              (std::vector<std::string>{" JACOBIAN MATRIX BECOME SINGULAR,",
                                        " SINGULARITY PARAMETER =  0.00000E+00", kErrorReturn}));
}

TEST(ResultCodes, RankDeficientSystemIsNeverReportedSolved) {
    // The same inconsistent pair from a generic start with ordinary difference steps, where
    // the differences are no longer exact: still singular, still no step taken.
    FuneqHarness h(2, 2);
    h.minpack_like_settings();
    h.x = {0.3, 0.7};
    EXPECT_EQ(h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] + x[1] - 3.0;
        f[1] = 2.0 * x[0] + 2.0 * x[1] - 6.5;
    }),
              7);
    EXPECT_EQ(h.x, (std::vector<double>{0.3, 0.7}));
    EXPECT_LT(h.rp(rpar::kSingularity), 2.220446049250313e-16);
}

TEST(ResultCodes, FunctionThatNoVariableAffectsEnds100mPlus11) {
    Captured c(3, 10);
    c.h.x = {0.2, 0.3, 0.5};
    EXPECT_EQ(c.h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] - 0.1;
        f[1] = x[1] * x[2] - 0.2;
        f[2] = 0.5;  // the third function ignores every variable
    }),
              311);
    EXPECT_EQ(c.output(),
              (std::vector<std::string>{" SINGULAR - THE    3 TH FUNCTION IS NOT AFFECTED",
                                        " BY ANY VARIABLE", kErrorReturn}));
    EXPECT_EQ(c.h.x, (std::vector<double>{0.2, 0.3, 0.5}));  // the start point comes back
}

TEST(ResultCodes, VariableWithNoEffectEnds100mPlus12) {
    Captured c(3, 10);
    c.h.x = {0.2, 0.3, 0.5};
    EXPECT_EQ(c.h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] + x[2] - 1.0;  // the second variable enters no function
        f[1] = x[0] - x[2];
        f[2] = x[0] * x[2] + 0.1;
    }),
              212);
    EXPECT_EQ(c.output(),
              (std::vector<std::string>{" SINGULAR - THE    2 TH VARIABLE HAS NO EFFECT",
                                        " ON ANY OF THE FUNCTIONS", kErrorReturn}));
}

TEST(ResultCodes, VariableTheCallerWillNotMoveEnds100mPlus10AfterTheOppositeStep) {
    // The caller pins x2 (as a caller may fix a mole fraction): the perturbation is undone on
    // every call, the column is retried once with the opposite step, then given up.
    Captured c(2, 10);
    c.h.x = {0.5, 0.25};
    EXPECT_EQ(c.h.run([](std::span<double> x, std::span<double> f) {
        x[1] = 0.25;
        f[0] = x[0] * x[0] - 0.16;
        f[1] = x[0] + x[1] - 1.0;
    }),
              210);
    ASSERT_EQ(c.h.requested.size(), 4u);  // start, column 1, column 2 twice
    const double up = c.h.requested[2][1] - 0.25;
    const double down = c.h.requested[3][1] - 0.25;
    EXPECT_NEAR(up, 0.05, 1e-15);  // max(|x| RPAR(6), RPAR(7)) = 0.05
    EXPECT_EQ(down, -up);
    EXPECT_EQ(c.output(),
              (std::vector<std::string>{
                  " CANNOT PERTURB THE    2 TH VARIABLE FOR JACOBIAN EVALUATION", kErrorReturn}));
}

TEST(ResultCodes, UndefinedStartEnds8) {
    Captured c(2, 2);
    c.h.x = {1.0, 2.0};
    EXPECT_EQ(c.h.run([](std::span<double>, std::span<double> f) {
        f[0] = std::numeric_limits<double>::quiet_NaN();
        f[1] = 0.0;
    }),
              8);
    EXPECT_EQ(c.h.requested.size(), 1u);
    EXPECT_EQ(c.output(), (std::vector<std::string>{" FUNCTION IS UNDEFINED AT THE STARTING POINT",
                                                    kErrorReturn}));
    // A start point that is not a number is not even offered for evaluation.
    Captured nan(2, 2);
    nan.h.x = {std::numeric_limits<double>::quiet_NaN(), 2.0};
    EXPECT_EQ(nan.h.run(testing::rosenbrock), 8);
    EXPECT_TRUE(nan.h.requested.empty());
}

TEST(ResultCodes, UndefinedTrialPointIsRejectedAndTheSolveGoesOn) {
    // F is undefined for x2 < -2 (a flash that fails, say); the first Newton step from
    // (-1.2, 1) lands at (1, -3.84). The solver shrinks the step and still reaches (1, 1).
    FuneqHarness h(2, 2);
    h.minpack_like_settings();
    h.x = {-1.2, 1.0};
    int undefined = 0;
    EXPECT_EQ(h.run([&undefined](std::span<double> x, std::span<double> f) {
        testing::rosenbrock(x, f);
        if (x[1] < -2.0) {
            f[0] = std::numeric_limits<double>::infinity();
            ++undefined;
        }
    }),
              1);
    EXPECT_GT(undefined, 0);
    EXPECT_NEAR(h.x[0], 1.0, 1e-8);
    EXPECT_NEAR(h.x[1], 1.0, 1e-7);
}

TEST(ResultCodes, LimitsEnd5And6WithTheirCounts) {
    Captured iterations(2, 2);
    iterations.h.ip(ipar::kMaxIterations) = 3;
    iterations.h.x = {-1.2, 1.0};
    EXPECT_EQ(iterations.h.run(testing::rosenbrock), 6);
    EXPECT_EQ(iterations.h.ip(ipar::kIterations), 3);
    EXPECT_EQ(iterations.output(),
              (std::vector<std::string>{
                  " SUBROUTINE FUNEQ2 DID NOT FIND A SOLUTION IN    3 ITERATIONS", kErrorReturn}));

    Captured jacobians(2, 2);
    jacobians.h.ip(ipar::kJacobianUpdate) = 1;  // a difference Jacobian at every iteration
    jacobians.h.ip(ipar::kMaxJacobians) = 2;
    jacobians.h.x = {-1.2, 1.0};
    EXPECT_EQ(jacobians.h.run(testing::rosenbrock), 5);
    EXPECT_EQ(jacobians.h.ip(ipar::kJacobians), 2);
    EXPECT_EQ(jacobians.output(),
              (std::vector<std::string>{
                  " SUBROUTINE FUNEQ2 DID NOT FIND A SOLUTION IN    2 JACOBIAN EVALUATIONS",
                  kErrorReturn}));
}

TEST(ResultCodes, UnreachableToleranceEnds2AtTheRoot) {
    // DIAGF = 1e-20 asks for ||F|| <= 1.5e-28, below what double arithmetic can deliver around
    // Broyden's tridiagonal root: X stops changing at the root and the solve says so.
    Captured c(10, 10);
    c.h.minpack_like_settings();
    c.h.ip(ipar::kPrintLevel) = 3;
    c.h.ip(ipar::kDiagnosticUnit) = 4;
    c.h.ip(ipar::kFScaling) = 1;
    c.h.diagf.assign(10, 1e-20);
    c.h.x.assign(10, -1.0);
    EXPECT_EQ(c.h.run(testing::broyden_tridiagonal), 2);
    EXPECT_EQ(c.h.ip(ipar::kXConverged), 3);
    EXPECT_NEAR(c.h.x[0], -0.5707221306203709, 1e-7);  // solver_reference.json
    EXPECT_NEAR(c.h.x[9], -0.4164122574494101, 1e-7);
    EXPECT_EQ(c.output(), (std::vector<std::string>{" THE SOLUTION X HAS CONVERGED    3 TIMES",
                                                    " BUT FUNCTION IS STILL TOO BIG -- SOLUTION",
                                                    " MAY BE INCORRECT", kErrorReturn}));
}

TEST(ResultCodes, StallAtALocalMinimumEnds4) {
    Captured c(2, 2);
    c.h.minpack_like_settings();
    c.h.ip(ipar::kPrintLevel) = 3;
    c.h.ip(ipar::kDiagnosticUnit) = 4;
    c.h.x = {0.5, -2.0};
    EXPECT_EQ(c.h.run(testing::freudenstein_roth), 4);
    EXPECT_EQ(c.output(),
              (std::vector<std::string>{" VERY SLOW CONVERGENCE IN FUNEQ2", kErrorReturn}));
}

TEST(ResultCodes, RootBeyondTheBoundEnds3WithUnknownsNeverNegative) {
    // F = (x1 + 1, x2 - 0.5) with x held non-negative: the root x1 = -1 is out of reach. The
    // step lands on x1 = 0 and stays there.
    Captured c(2, 2);
    c.h.ip(ipar::kNonNegative) = 1;
    c.h.x = {1.0, 0.9};
    EXPECT_EQ(c.h.run([](std::span<double> x, std::span<double> f) {
        f[0] = x[0] + 1.0;
        f[1] = x[1] - 0.5;
    }),
              3);
    EXPECT_EQ(c.h.x[0], 0.0);
    EXPECT_NEAR(c.h.x[1], 0.5, 1e-12);
    for (const auto& x : c.h.requested) {
        EXPECT_GE(x[0], 0.0);
        EXPECT_GE(x[1], 0.0);
    }
    EXPECT_EQ(c.output(), (std::vector<std::string>{
                              " VERY SMALL STEP POSSIBLY DUE TO BOUND CONSTRAINTS", kErrorReturn}));
}

TEST(ResultCodes, SolutionMessageAndProgressFollowThePrintLevel) {
    Captured quiet(2, 2);  // print level 3: nothing for a solution
    quiet.h.x = {-1.2, 1.0};
    ASSERT_EQ(quiet.h.run(testing::rosenbrock), 1);
    EXPECT_TRUE(quiet.output().empty());

    Captured loud(2, 2);
    loud.h.ip(ipar::kPrintLevel) = 7;
    loud.h.x = {-1.2, 1.0};
    ASSERT_EQ(loud.h.run(testing::rosenbrock), 1);
    const auto out = loud.output();
    ASSERT_FALSE(out.empty());
    char expected[128];
    std::snprintf(expected, sizeof expected,
                  " FUNEQ2 FOUND A SOLUTION AFTER%5lld ITERATIONS AND%5lld JACOBIAN EVALUATIONS",
                  static_cast<long long>(loud.h.ip(ipar::kIterations)),
                  static_cast<long long>(loud.h.ip(ipar::kJacobians)));
    EXPECT_EQ(out.back(), expected);
    EXPECT_EQ(out.front(), " *** JACOBIAN EVALUATION NO.    1 ***");
    // One " AT ITERATION NO." line and one norm line per iteration at levels 6 to 8.
    std::int64_t iteration_lines = 0;
    for (const auto& line : out) {
        if (line.rfind(" AT ITERATION NO.", 0) == 0) { ++iteration_lines; }
    }
    EXPECT_EQ(iteration_lines, loud.h.ip(ipar::kIterations));
    EXPECT_EQ(out[2].substr(0, 23), "    2-NORM OF F/DIAGF =");

    Captured vectors(2, 2);  // level 9 adds X, F, DIAGF and DIAGX after every iteration
    vectors.h.ip(ipar::kPrintLevel) = 9;
    vectors.h.x = {-1.2, 1.0};
    ASSERT_EQ(vectors.h.run(testing::rosenbrock), 1);
    const auto all = vectors.output();
    std::int64_t headers = 0;
    for (const auto& line : all) {
        if (line == " X =" || line == " F =" || line == " DIAGF" || line == " DIAGX") { ++headers; }
    }
    EXPECT_EQ(headers, 4 * vectors.h.ip(ipar::kIterations));
}

}  // namespace
}  // namespace azeotrope::solver
