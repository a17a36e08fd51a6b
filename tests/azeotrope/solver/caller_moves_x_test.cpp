// Callers that move X while they evaluate F: the azeotrope solver normalises the mole fractions
// in place before every flash, and the solver must difference and step with the X it gets back.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "azeotrope/solver/funeq.hpp"
#include "tests/azeotrope/solver/funeq_harness.hpp"
#include "tests/azeotrope/solver/standard_problems.hpp"

namespace azeotrope::solver {
namespace {

using testing::FuneqHarness;

using testing::MargulesTernary;

TEST(CallerMovesX, AzeotropeSettingsFindTheConstructedAzeotrope) {
    const MargulesTernary system;
    FuneqHarness h(3, 10);
    h.azeotrope_settings();
    h.x = {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0};  // the uniform start
    const std::int64_t iflag = h.run(system);
    ASSERT_TRUE(iflag == 1 || iflag == 2) << iflag;  // what the azeotrope solver accepts
    // Solved means ||1 - K|| <= sqrt(0.001) = 0.032; near x* that bounds |x - x*| by a few
    // hundredths.
    EXPECT_LE(h.rp(rpar::kResidualNorm), std::sqrt(0.001));
    for (std::size_t i = 0; i < 3; ++i) { EXPECT_NEAR(h.x[i], system.azeotrope[i], 0.03); }
    EXPECT_NEAR(h.x[0] + h.x[1] + h.x[2], 1.0, 1e-15);  // the caller's normalised point
    for (const auto& x : h.requested) {
        for (double v : x) { EXPECT_GE(v, 0.0); }
    }

    // Tight tolerances and small difference steps: the composition to 1e-8.
    FuneqHarness tight(3, 10);
    tight.azeotrope_settings();
    tight.rp(rpar::kFunctionTolerance) = 1e-22;
    tight.rp(rpar::kStepTolerance) = 1e-22;
    tight.rp(rpar::kAbsoluteStepTolerance) = 0.0;
    tight.rp(rpar::kRelativeDifference) = 1e-7;
    tight.rp(rpar::kMinimumDifference) = 1e-7;
    tight.x = {1.0 / 3.0, 1.0 / 3.0, 1.0 / 3.0};
    ASSERT_EQ(tight.run(system), 1);
    for (std::size_t i = 0; i < 3; ++i) { EXPECT_NEAR(tight.x[i], system.azeotrope[i], 1e-8); }
}

TEST(CallerMovesX, DifferenceColumnUsesTheChangeActuallyMade) {
    // F = A x - b, linear, with steps of 2^-10 from a dyadic point: exact differences. The
    // caller takes back three quarters of every perturbation. Dividing by the step asked for
    // would give A / 4; dividing by the change found on return gives A, and then one Newton
    // step solves the system.
    const double a[3][3] = {{4.0, 1.0, 0.0}, {1.0, 3.0, 1.0}, {0.0, 1.0, 2.0}};
    const double b[3] = {1.0, 2.0, 3.0};
    FuneqHarness h(3, 4);
    h.minpack_like_settings();
    h.ip(ipar::kXScaling) = 0;
    h.rp(rpar::kRelativeDifference) = 0.0009765625;
    h.rp(rpar::kMinimumDifference) = 0.0009765625;
    h.x = {0.5, 0.25, 0.125};
    const std::vector<double> start = h.x;
    std::vector<double> first_jacobian;
    const std::int64_t iflag = h.run([&](std::span<double> x, std::span<double> f) {
        if (h.iflag == -2) {
            for (std::size_t j = 0; j < 3; ++j) { x[j] = start[j] + 0.25 * (x[j] - start[j]); }
        }
        if (h.iflag == -3 && first_jacobian.empty()) { first_jacobian = h.jac; }
        for (std::size_t i = 0; i < 3; ++i) {
            f[i] = a[i][0] * x[0] + a[i][1] * x[1] + a[i][2] * x[2] - b[i];
        }
    });
    ASSERT_EQ(first_jacobian.size(), 12u);
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            EXPECT_NEAR(first_jacobian[i + 4 * j], a[i][j], 1e-12) << i << "," << j;
        }
    }
    EXPECT_EQ(iflag, 1);
    EXPECT_EQ(h.ip(ipar::kIterations), 1);
    EXPECT_EQ(h.ip(ipar::kEvaluations), 5);  // start, three columns, one step
    // Solution of A x = b by hand (Cramer): det A = 18; x = (4, 2, 26) / 18.
    EXPECT_NEAR(h.x[0], 4.0 / 18.0, 1e-14);
    EXPECT_NEAR(h.x[1], 2.0 / 18.0, 1e-14);
    EXPECT_NEAR(h.x[2], 26.0 / 18.0, 1e-14);
}

}  // namespace
}  // namespace azeotrope::solver
