// The residue-curve right-hand side and Jacobian, plain and by reference, against closed forms of
// the made-up ideal ternary with constant relative volatilities alpha = (4, 2, 1)
// (tests/rcm/problems/rcm_systems.toml): y_i = alpha_i x_i / D with D = sum alpha_k x_k, so
// dy_i/dx_j (x_3 dependent) = alpha_i delta_ij / D - alpha_i x_i (alpha_j - alpha_3) / D^2.
#include "rcm/residue_field.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "engine/core/messages.hpp"
#include "rcm/ode/lsoda.hpp"
#include "rcm/residue_curve.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace rcm {
namespace {

using testing::System;

constexpr double kAlpha[3] = {4.0, 2.0, 1.0};

/// Closed-form J = I - dy/dx of the constant-volatility field at x (2 x 2, column-major).
std::vector<double> closed_form_jacobian(const std::vector<double>& x) {
    const double d = kAlpha[0] * x[0] + kAlpha[1] * x[1] + kAlpha[2] * x[2];
    std::vector<double> j(4);
    for (std::size_t c = 0; c < 2; ++c) {
        for (std::size_t r = 0; r < 2; ++r) {
            const double dy = (r == c ? kAlpha[r] / d : 0.0) -
                              kAlpha[r] * x[r] * (kAlpha[c] - kAlpha[2]) / (d * d);
            j[r + 2 * c] = (r == c ? 1.0 : 0.0) - dy;
        }
    }
    return j;
}

class ResidueFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        RCM_OPEN_PROBLEM();
        testing::reset_run_log();
    }
};

TEST_F(ResidueFieldTest, ConstantVolatilityFieldAndJacobianMatchTheirClosedForms) {
    ResidueField field(testing::system(System::constant_alpha));
    // An interior point, and a vertex, where the pair is one-sided and the eigenvalues are
    // 1 - K_j(inf) = 1 - alpha_j / alpha_3 (Doherty & Perkins 1979).
    for (const std::vector<double>& x :
         std::vector<std::vector<double>>{{0.2, 0.3, 0.5}, {0.0, 0.0, 1.0}}) {
        const double d = kAlpha[0] * x[0] + kAlpha[1] * x[1] + kAlpha[2] * x[2];
        std::vector<double> ydot(2), pd(4, 0.0);
        ASSERT_EQ(field.rhs(std::span(x).first(2), ydot), 0);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NEAR(ydot[i], x[i] - kAlpha[i] * x[i] / d, 1e-9);
        }
        ASSERT_EQ(field.jacobian(std::span(x).first(2), pd, 2), 0);
        const std::vector<double> expected = closed_form_jacobian(x);
        // Central differences of 1e-6 over flashes converged to about 1e-10.
        for (std::size_t k = 0; k < 4; ++k) { EXPECT_NEAR(pd[k], expected[k], 1e-3) << k; }
    }
    EXPECT_EQ(field.flashes(), 2 + 2 * 4);
    EXPECT_TRUE(field.take_messages().empty());
}

TEST_F(ResidueFieldTest, ByReferenceRoutinesDriveTheIntegratorWithTheStoredSettings) {
    ASSERT_TRUE(set_residue_curve_settings(testing::system(System::constant_alpha)));
    const std::int64_t neq = 2, itol = 1, itask = 1, iopt = 0, jt = 1, lrw = 20 + 16 * 2, liw = 22;
    const double rtol = 1e-8, atol = 1e-8;
    std::vector<double> rwork(lrw), y{0.2, 0.3};
    std::vector<std::int64_t> iwork(liw);
    double t = 0.0;
    std::int64_t istate = 1;
    std::ostream* previous = ode::set_lsoda_message_stream(nullptr);
    for (const double tout : {-1.0, 1.0, 3.0}) {
        if (tout > 0.0 && t < 0.0) {  // forward again from the start
            y = {0.2, 0.3};
            t = 0.0;
            istate = 1;
        }
        ode::lsoda(RCM_FUN, &neq, y.data(), &t, &tout, &itol, &rtol, &atol, &itask, &istate, &iopt,
                   rwork.data(), &lrw, iwork.data(), &liw, RCM_JAC, &jt);
        ASSERT_EQ(istate, 2) << tout;
        // x1 x3^2 / x2^3 is constant along residue curves of alpha = (4, 2, 1).
        const double x3 = 1.0 - y[0] - y[1];
        EXPECT_NEAR(y[0] * x3 * x3 / std::pow(y[1], 3), 0.2 * 0.25 / 0.027, 1e-5) << tout;
    }
    ode::set_lsoda_message_stream(previous);

    // The same numbers as the plain field.
    ResidueField field(testing::system(System::constant_alpha));
    const double t0 = 0.0;
    const std::vector<double> at{0.25, 0.35};
    std::vector<double> by_reference(2), plain(2);
    RCM_FUN(&neq, &t0, at.data(), by_reference.data());
    field.rhs(at, plain);
    EXPECT_NEAR(by_reference[0], plain[0], 1e-9);
    EXPECT_NEAR(by_reference[1], plain[1], 1e-9);
    std::vector<double> pd_by_reference(4, 0.0), pd_plain(4, 0.0);
    const std::int64_t rows = 2;
    RCM_JAC(&neq, &t0, at.data(), nullptr, nullptr, pd_by_reference.data(), &rows);
    field.jacobian(at, pd_plain, 2);
    for (std::size_t k = 0; k < 4; ++k) { EXPECT_NEAR(pd_by_reference[k], pd_plain[k], 1e-4); }

    // A size that does not match the settings cannot be evaluated: NaN, no crash.
    const std::int64_t three = 3;
    std::vector<double> wrong(3, 0.0), pd(9, 0.0);
    RCM_FUN(&three, &t0, wrong.data(), wrong.data());
    EXPECT_TRUE(std::isnan(wrong[0]) && std::isnan(wrong[2]));
    RCM_JAC(&three, &t0, at.data(), nullptr, nullptr, pd.data(), &three);
    EXPECT_TRUE(std::isnan(pd[0]));
    const std::int64_t short_rows = 1;
    pd.assign(9, 0.0);
    RCM_FUN(nullptr, &t0, at.data(), plain.data());
    RCM_JAC(&neq, &t0, at.data(), nullptr, nullptr, pd.data(), &short_rows);
    EXPECT_EQ(pd, std::vector<double>(9, 0.0));
    EXPECT_FALSE(set_residue_curve_settings(CurveSystem{}));
    EXPECT_THROW(ResidueField{CurveSystem{}}, std::invalid_argument);
    EXPECT_EQ(residue_curve_settings().component_count, 3);
}

TEST_F(ResidueFieldTest, FailedBubblePointsAreReportedNotIntegrated) {
    // At 1e9 Pa no bubble point lies within the vapour-pressure correlations' range: the host's
    // answer is fatal, and its zero vapour must not steer the curve.
    CurveSystem s = testing::system(System::acetone_chloroform_methanol);
    s.pressure = 1e9;
    ResidueField field(s);
    std::vector<double> ydot(2);
    EXPECT_LT(field.rhs(std::vector<double>{0.3, 0.3}, ydot), 0);
    EXPECT_TRUE(std::isnan(ydot[0]));
    EXPECT_EQ(field.take_messages(), std::vector<std::int64_t>{507});

    CurveProblem p;
    p.system = s;
    p.start = {0.3, 0.3, 0.4};
    const Curve c = trace_residue_curve(p);
    EXPECT_EQ(c.error, kResidueCurveIntegrationFailed);
    EXPECT_EQ(c.point_count(), 1u);  // the start point alone
    EXPECT_EQ(c.messages, (std::vector<std::int64_t>{507, 503, 507, 504}));
}

}  // namespace
}  // namespace rcm
