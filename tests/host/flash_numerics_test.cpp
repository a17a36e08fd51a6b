// The model-free kernels of the flashes: Rachford-Rice, Brent's root finder, Cholesky.
#include "host/detail/flash_numerics.hpp"

#include <gtest/gtest.h>

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
