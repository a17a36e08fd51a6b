#pragma once
// Test functions of the More-Garbow-Hillstrom collection (J. J. More, B. S. Garbow,
// K. E. Hillstrom, "Testing unconstrained optimization software", ACM TOMS 7 (1981) 17-41),
// written from their published definitions. Shared by the tests and the benchmarks.
#include <cmath>
#include <numbers>
#include <span>
#include <string>
#include <vector>

namespace azeotrope::solver::testing {

struct StandardProblem {
    std::string name;        // as in solver_reference.json
    std::vector<double> x0;  // the standard start point
    int (*residuals)(std::span<double> x, std::span<double> f);
};

inline int rosenbrock(std::span<double> x, std::span<double> f) {
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
    return 0;
}

inline int powell_badly_scaled(std::span<double> x, std::span<double> f) {
    f[0] = 1e4 * x[0] * x[1] - 1.0;
    f[1] = std::exp(-x[0]) + std::exp(-x[1]) - 1.0001;
    return 0;
}

inline int helical_valley(std::span<double> x, std::span<double> f) {
    const double theta = std::atan2(x[1], x[0]) / (2.0 * std::numbers::pi);
    f[0] = 10.0 * (x[2] - 10.0 * theta);
    f[1] = 10.0 * (std::hypot(x[0], x[1]) - 1.0);
    f[2] = x[2];
    return 0;
}

inline int powell_singular(std::span<double> x, std::span<double> f) {
    f[0] = x[0] + 10.0 * x[1];
    f[1] = std::sqrt(5.0) * (x[2] - x[3]);
    f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
    f[3] = std::sqrt(10.0) * (x[0] - x[3]) * (x[0] - x[3]);
    return 0;
}

inline int freudenstein_roth(std::span<double> x, std::span<double> f) {
    f[0] = -13.0 + x[0] + ((5.0 - x[1]) * x[1] - 2.0) * x[1];
    f[1] = -29.0 + x[0] + ((x[1] + 1.0) * x[1] - 14.0) * x[1];
    return 0;
}

/// Broyden tridiagonal: f_i = (3 - 2 x_i) x_i - x_{i-1} - 2 x_{i+1} + 1, x_0 = x_{n+1} = 0.
inline int broyden_tridiagonal(std::span<double> x, std::span<double> f) {
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double before = i > 0 ? x[i - 1] : 0.0;
        const double after = i + 1 < n ? x[i + 1] : 0.0;
        f[i] = (3.0 - 2.0 * x[i]) * x[i] - before - 2.0 * after + 1.0;
    }
    return 0;
}

// A ternary "bubble point" with a two-suffix Margules liquid, gE/RT = 1/2 x^T A x (A symmetric,
// zero diagonal), so ln gamma_i = (A x)_i - 1/2 x^T A x, and vapour pressures p_i independent of
// T: K_i = gamma_i p_i / sum_k x_k gamma_k p_k. Choosing p_i = 1 / gamma_i(x*) makes every K_i = 1
// at x* by construction: x* is the azeotrope, independently of any solver.
struct MargulesTernary {
    double a[3][3] = {{0.0, -1.5, -0.8}, {-1.5, 0.0, -1.2}, {-0.8, -1.2, 0.0}};
    std::vector<double> azeotrope = {0.2, 0.3, 0.5};
    double p[3] = {};

    void ln_gamma(std::span<const double> x, double out[3]) const {
        double q = 0.0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                q +=
                    0.5 * a[i][j] * x[static_cast<std::size_t>(i)] * x[static_cast<std::size_t>(j)];
            }
        }
        for (int i = 0; i < 3; ++i) {
            double s = 0.0;
            for (int j = 0; j < 3; ++j) { s += a[i][j] * x[static_cast<std::size_t>(j)]; }
            out[i] = s - q;
        }
    }
    MargulesTernary() {
        double lg[3];
        ln_gamma(azeotrope, lg);
        for (int i = 0; i < 3; ++i) { p[i] = std::exp(-lg[i]); }
    }
    // What the azeotrope solver does on every request: normalise X in place, flash, F = 1 - K.
    void operator()(std::span<double> x, std::span<double> f) const {
        const double sum = x[0] + x[1] + x[2];
        for (double& v : x) { v /= sum; }
        double lg[3];
        ln_gamma(x, lg);
        double activity[3];
        double bubble = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            activity[i] = std::exp(lg[i]) * p[i];
            bubble += x[i] * activity[i];
        }
        for (std::size_t i = 0; i < 3; ++i) { f[i] = 1.0 - activity[i] / bubble; }
    }
};

inline std::vector<StandardProblem> standard_problems() {
    return {
        {"rosenbrock", {-1.2, 1.0}, rosenbrock},
        {"powell_badly_scaled", {0.0, 1.0}, powell_badly_scaled},
        {"helical_valley", {-1.0, 0.0, 0.0}, helical_valley},
        {"broyden_tridiagonal_n10", std::vector<double>(10, -1.0), broyden_tridiagonal},
        {"powell_singular", {3.0, -1.0, 0.0, 1.0}, powell_singular},
        {"freudenstein_roth", {0.5, -2.0}, freudenstein_roth},
    };
}

}  // namespace azeotrope::solver::testing
