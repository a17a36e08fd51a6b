// The model-free kernels of the flashes: Rachford-Rice, the multiphase amounts (Q-function),
// Brent's root finder, Cholesky.
#include "host/detail/flash_numerics.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

using host::detail::BrentRoot;
using host::detail::solve_rachford_rice;

TEST(RachfordRice, FindsSplitsBuiltFromKnownPhases) {
    // Hand-built: K = (2, 0.5), z = (0.5, 0.5) gives 0.5/(1 + b) = 0.25/(1 - b/2), b = 1/2.
    const std::vector<double> z2{0.5, 0.5}, k2{2.0, 0.5};
    auto r = solve_rachford_rice(z2, k2);
    EXPECT_TRUE(r.converged && r.interior);
    EXPECT_NEAR(r.beta, 0.5, 1e-15);
    // Ternary from a chosen liquid x = (0.2, 0.3, 0.5), K = (2.5, 1, 0.4) (so sum K x = 1) and
    // vapour fraction 0.3: z = x (0.7 + 0.3 K) = (0.29, 0.3, 0.41).
    const std::vector<double> z3{0.29, 0.3, 0.41}, k3{2.5, 1.0, 0.4};
    r = solve_rachford_rice(z3, k3);
    EXPECT_TRUE(r.converged && r.interior);
    EXPECT_NEAR(r.beta, 0.3, 1e-14);
    // An absent component is ignored whatever its K.
    const std::vector<double> z4{0.29, 0.3, 0.0, 0.41}, k4{2.5, 1.0, 1e30, 0.4};
    r = solve_rachford_rice(z4, k4);
    EXPECT_NEAR(r.beta, 0.3, 1e-14);
    // A split with extreme K-values near a bound stays inside [0, 1].
    const std::vector<double> z5{1e-9, 1.0 - 1e-9}, k5{1e9, 0.999};
    r = solve_rachford_rice(z5, k5);
    EXPECT_TRUE(r.converged);
    EXPECT_GT(r.beta, 0.0);
    EXPECT_LT(r.beta, 1.0);
}

TEST(RachfordRice, ClampsWhenThereIsNoSplit) {
    const std::vector<double> z{0.4, 0.6};
    auto r = solve_rachford_rice(z, std::vector<double>{3.0, 1.2});  // all K > 1: vapour
    EXPECT_EQ(r.beta, 1.0);
    EXPECT_FALSE(r.interior);
    r = solve_rachford_rice(z, std::vector<double>{0.9, 0.2});  // all K < 1: liquid
    EXPECT_EQ(r.beta, 0.0);
    EXPECT_FALSE(r.interior);
    // sum z K = 0.4 * 2 + 0.6 * 0.3 = 0.98 < 1: subcooled although one K > 1.
    r = solve_rachford_rice(z, std::vector<double>{2.0, 0.3});
    EXPECT_EQ(r.beta, 0.0);
}

TEST(PhaseAmounts, RecoverThreePhasesBuiltFromKnownCompositions) {
    // Built backwards: three phases x_k with amounts beta_k give the feed z = sum_k beta_k x_k;
    // equal fugacities f_i in every phase give theta_ik = f_i / x_ik. The Q-function's minimum
    // must be those amounts and compositions again (Michelsen 1994: at fixed theta the
    // equilibrium amounts minimise Q).
    using host::detail::kMaxPhases;
    const double x[3][3] = {{0.6, 0.3, 0.1}, {0.9, 0.05, 0.05}, {0.1, 0.6, 0.3}};
    const double beta[3] = {0.25, 0.45, 0.30};
    const double f[3] = {2.0, 0.7, 1.3};
    std::vector<double> z(3, 0.0), ln_theta(3 * kMaxPhases), out(3 * kMaxPhases);
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            z[i] += beta[k] * x[k][i];
            ln_theta[i * kMaxPhases + k] = std::log(f[i] / x[k][i]);
        }
    }
    const std::array<bool, kMaxPhases> all{true, true, true};
    const auto r = host::detail::solve_phase_amounts(z, ln_theta, all, {0.0, 1.0, 0.0}, out);
    ASSERT_TRUE(r.converged);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(r.beta[k], beta[k], 1e-12) << k;
        EXPECT_NEAR(r.gradient[k], 0.0, 1e-13) << k;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(out[i * kMaxPhases + k], x[k][i], 1e-12);
        }
    }

    // A two-phase equilibrium z = 0.4 x_1 + 0.6 x_2, with a third phase whose theta is 5 %
    // above that of the composition x_3 in equilibrium: its would-be composition sums to
    // 1 / 1.05 < 1, so the two-phase state meets every condition of the minimum and the third
    // phase stays out, with gradient 1 - 1/1.05.
    for (std::size_t i = 0; i < 3; ++i) {
        z[i] = 0.4 * x[0][i] + 0.6 * x[1][i];
        ln_theta[i * kMaxPhases + 2] += std::log(1.05);
    }
    const auto s = host::detail::solve_phase_amounts(z, ln_theta, all, {0.3, 0.3, 0.4}, out);
    ASSERT_TRUE(s.converged);
    EXPECT_EQ(s.beta[2], 0.0);
    EXPECT_NEAR(s.beta[0], 0.4, 1e-12);
    EXPECT_NEAR(s.beta[1], 0.6, 1e-12);
    EXPECT_NEAR(s.gradient[2], 1.0 - 1.0 / 1.05, 1e-12);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(out[i * kMaxPhases + 2], x[2][i] / 1.05, 1e-12);
    }
}

TEST(PhaseAmounts, TwoPhasesAreRachfordRice) {
    // With a vapour (theta = P) and a liquid (theta_i = P K_i), the amounts are the
    // Rachford-Rice vapour fraction, from any start; a phase that is not allowed takes no part.
    using host::detail::kMaxPhases;
    const std::vector<double> z{0.29, 0.3, 0.41}, k{2.5, 1.0, 0.4};
    std::vector<double> ln_theta(3 * kMaxPhases, 0.0), out(3 * kMaxPhases);
    for (std::size_t i = 0; i < 3; ++i) {
        ln_theta[i * kMaxPhases + 0] = 0.0;  // vapour, P = 1
        ln_theta[i * kMaxPhases + 1] = std::log(k[i]);
        ln_theta[i * kMaxPhases + 2] = -1e3;  // would swallow everything, but is not allowed
    }
    for (const std::array<double, kMaxPhases> start :
         {std::array<double, kMaxPhases>{0, 1, 0}, std::array<double, kMaxPhases>{1, 0, 0},
          std::array<double, kMaxPhases>{0, 0, 0}}) {
        const auto r =
            host::detail::solve_phase_amounts(z, ln_theta, {true, true, false}, start, out);
        ASSERT_TRUE(r.converged);
        EXPECT_NEAR(r.beta[0], solve_rachford_rice(z, k).beta, 1e-13);
        EXPECT_NEAR(r.beta[0], 0.3, 1e-13);
        EXPECT_EQ(r.beta[2], 0.0);
    }
}

TEST(BrentRoot, SolvesClassicRootProblems) {
    // cos x = x: 0.7390851332151607 (the Dottie number); x^3 - 2x - 5 = 0: 2.0945514815423265
    // (Wallis's example, the test problem of Brent 1973).
    const auto solve = [](auto f, double a, double b, int& evaluations) {
        BrentRoot br(a, f(a), b, f(b));
        evaluations = 2;
        while (br.width() > 1e-14 && br.best_value() != 0.0 && evaluations < 100) {
            const double x = br.next(1e-15);
            br.update(x, f(x));
            ++evaluations;
        }
        return br.best();
    };
    int evaluations = 0;
    EXPECT_NEAR(solve([](double x) { return std::cos(x) - x; }, 0.0, 1.0, evaluations),
                0.7390851332151607, 1e-14);
    EXPECT_LT(evaluations, 15);
    EXPECT_NEAR(solve([](double x) { return x * x * x - 2 * x - 5; }, 2.0, 3.0, evaluations),
                2.0945514815423265, 1e-14);
    EXPECT_LT(evaluations, 15);
    // A step function: bisection still closes in on the jump.
    EXPECT_NEAR(solve([](double x) { return x < 0.3 ? -1.0 : 1.0; }, 0.0, 1.0, evaluations), 0.3,
                1e-13);
}

TEST(Cholesky, SolvesPositiveDefiniteSystemsAndRejectsOthers) {
    // A = [[4, 2, 0], [2, 5, 1], [0, 1, 3]], b = A (1, -2, 3) = (0, -5, 7).
    std::vector<double> a{4, 2, 0, 2, 5, 1, 0, 1, 3};
    ASSERT_TRUE(host::detail::cholesky_factor(a, 3));
    std::vector<double> b{0, -5, 7};
    host::detail::cholesky_solve(a, 3, b);
    EXPECT_NEAR(b[0], 1.0, 1e-14);
    EXPECT_NEAR(b[1], -2.0, 1e-14);
    EXPECT_NEAR(b[2], 3.0, 1e-14);
    std::vector<double> indefinite{1, 2, 2, 1};  // eigenvalues 3 and -1
    EXPECT_FALSE(host::detail::cholesky_factor(indefinite, 2));
    std::vector<double> nan{1, 0, 0, std::nan("")};
    EXPECT_FALSE(host::detail::cholesky_factor(nan, 2));
}

}  // namespace
