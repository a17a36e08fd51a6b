// The four ways of getting the Jacobian (user/difference quotients, full/banded) on a stiff
// linear diffusion problem whose exact solution is known, and the difference Jacobian's cost.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "rcm/ode/lsoda.hpp"

namespace rcm::ode {
namespace {

// y_i' = D (y_{i-1} - 2 y_i + y_{i+1}), y_0 = y_{n+1} = 0. The discrete sine modes
// v_m,i = sin(m pi i / (n+1)) are eigenvectors with eigenvalues D (2 cos(m pi / (n+1)) - 2), so
// y(0) = v_1 + v_n gives y(t) = exp(mu_1 t) v_1 + exp(mu_n t) v_n: a fast transient (mu_n about
// -4 D) on top of a slow decay, stiff once the transient has gone.
constexpr int kN = 20;
constexpr double kD = 100.0;

double mode(int m, int i) { return std::sin(m * std::numbers::pi * (i + 1) / (kN + 1)); }
double eigenvalue(int m) { return kD * (2.0 * std::cos(m * std::numbers::pi / (kN + 1)) - 2.0); }
double exact(double t, int i) {
    return std::exp(eigenvalue(1) * t) * mode(1, i) + std::exp(eigenvalue(kN) * t) * mode(kN, i);
}

int diffusion(double, std::span<const double> y, std::span<double> d) {
    for (int i = 0; i < kN; ++i) {
        const double left = i > 0 ? y[static_cast<std::size_t>(i - 1)] : 0.0;
        const double right = i + 1 < kN ? y[static_cast<std::size_t>(i + 1)] : 0.0;
        d[static_cast<std::size_t>(i)] = kD * (left - 2.0 * y[static_cast<std::size_t>(i)] + right);
    }
    return 0;
}

int diffusion_jacobian(double,
                       std::span<const double>,
                       std::int64_t ml,
                       std::int64_t mu,
                       std::span<double> pd,
                       std::int64_t nrowpd) {
    const bool banded = ml > 0 || mu > 0;
    for (std::int64_t j = 0; j < kN; ++j) {
        for (std::int64_t i = std::max<std::int64_t>(0, j - 1);
             i <= std::min<std::int64_t>(kN - 1, j + 1); ++i) {
            const double value = i == j ? -2.0 * kD : kD;
            const std::int64_t row = banded ? i - j + mu : i;
            pd[static_cast<std::size_t>(row + j * nrowpd)] = value;
        }
    }
    return 0;
}

struct Outcome {
    std::vector<double> y;
    LsodaState state;
};

Outcome run(JacobianType type) {
    LsodaSettings settings;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    settings.jacobian_type = type;
    settings.lower_bandwidth = 1;
    settings.upper_bandwidth = 1;
    Outcome r;
    r.y.resize(kN);
    for (int i = 0; i < kN; ++i) { r.y[static_cast<std::size_t>(i)] = mode(1, i) + mode(kN, i); }
    double t = 0.0;
    std::int64_t istate = 1;
    for (double tout : {0.01, 0.1, 0.5, 1.0, 2.0}) {
        integrate(r.state, diffusion, diffusion_jacobian, r.y, t, tout, istate, settings);
        EXPECT_EQ(istate, 2) << static_cast<int>(type) << " at " << tout;
        for (int i = 0; i < kN; ++i) {
            // Global error within the tolerance's order of magnitude.
            EXPECT_NEAR(r.y[static_cast<std::size_t>(i)], exact(tout, i),
                        10.0 * (1e-6 * std::abs(exact(tout, i)) + 1e-9))
                << "jt " << static_cast<int>(type) << ", t " << tout << ", i " << i;
        }
    }
    return r;
}

TEST(JacobianTypes, AllFourSolveTheStiffDiffusionProblemWithTheSameSteps) {
    const Outcome full_user = run(JacobianType::user_full);
    const Outcome full_fd = run(JacobianType::internal_full);
    const Outcome band_user = run(JacobianType::user_banded);
    const Outcome band_fd = run(JacobianType::internal_banded);

    EXPECT_EQ(full_user.state.method_used, Method::bdf);
    EXPECT_GT(full_user.state.jacobian_calls, 0);
    // A band Jacobian is the same matrix stored differently: identical integration.
    EXPECT_EQ(band_user.y, full_user.y);
    EXPECT_EQ(band_user.state.steps, full_user.state.steps);
    EXPECT_EQ(band_user.state.rhs_calls, full_user.state.rhs_calls);
    // Grouped differences perturb columns three apart together; for a tridiagonal f every
    // column comes out bit for bit as with one column at a time.
    EXPECT_EQ(band_fd.y, full_fd.y);
    EXPECT_EQ(band_fd.state.steps, full_fd.state.steps);
    EXPECT_EQ(band_fd.state.jacobian_calls, full_fd.state.jacobian_calls);
    // Cost of a difference Jacobian: n calls of f (full) or ml + mu + 1 calls (band).
    const std::int64_t nje = full_fd.state.jacobian_calls;
    EXPECT_EQ(full_fd.state.rhs_calls - kN * nje, band_fd.state.rhs_calls - 3 * nje);
    // Difference quotients are not the exact Jacobian, so the path differs a little.
    EXPECT_NEAR(static_cast<double>(full_fd.state.steps),
                static_cast<double>(full_user.state.steps),
                0.1 * static_cast<double>(full_user.state.steps));
    // Work space of the BDF method: 20 + 9n + (2 ml + mu + 1) n + 2 banded, n^2 + 2 full.
    EXPECT_EQ(band_fd.state.real_work_needed, 20 + 9 * kN + 4 * kN + 2);
    EXPECT_EQ(full_fd.state.real_work_needed, 20 + 9 * kN + kN * kN + 2);
}

}  // namespace
}  // namespace rcm::ode
