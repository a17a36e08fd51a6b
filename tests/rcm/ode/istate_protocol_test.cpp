// The istate/itask protocol as the residue-curve tracer and other callers use it.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "rcm/ode/lsoda.hpp"
#include "test_problems.hpp"

namespace rcm::ode::testing {
namespace {

const RightHandSide kDecay = [](double, std::span<const double> y, std::span<double> d) {
    d[0] = -y[0];
    return 0;
};

TEST(IstateProtocol, RestartWithIstateOneForgetsTheHistory) {
    // The tracer clips y back into the simplex and restarts with istate = 1: the result must be
    // exactly that of a fresh integration from the corrected point.
    LsodaSettings settings;
    settings.rtol = {1e-5};
    settings.atol = {1e-5};
    LsodaState reused;
    std::vector<double> y = {0.3, 0.3};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(reused, constant_volatility_residue, {}, y, t, 2.0, istate, settings);
    ASSERT_EQ(istate, 2);
    y[1] = 0.0;  // "clipped"
    std::vector<double> y_fresh = y;
    istate = 1;
    integrate(reused, constant_volatility_residue, {}, y, t, 4.0, istate, settings);
    ASSERT_EQ(istate, 2);

    LsodaState fresh;
    double t_fresh = 2.0;
    std::int64_t istate_fresh = 1;
    integrate(fresh, constant_volatility_residue, {}, y_fresh, t_fresh, 4.0, istate_fresh,
              settings);
    ASSERT_EQ(istate_fresh, 2);
    EXPECT_EQ(y, y_fresh);
    EXPECT_EQ(reused.steps, fresh.steps);
    EXPECT_EQ(reused.rhs_calls, fresh.rhs_calls);
    EXPECT_EQ(y[1], 0.0);  // a zero component stays exactly zero (f_2 = 0 there)
}

TEST(IstateProtocol, StepLimitReturnsMinusOneAndContinuingGivesTheUninterruptedResult) {
    std::ostringstream messages;
    LsodaSettings settings;
    settings.rtol = {1e-5};
    settings.atol = {1e-5};
    settings.messages = &messages;
    const VanDerPol vdp{1000.0};  // about 950 steps to t = 3000

    LsodaState state;
    std::vector<double> y = {2.0, 0.0};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(state, vdp.rhs(), {}, y, t, 3000.0, istate, settings);
    EXPECT_EQ(istate, -1);
    EXPECT_EQ(state.steps, 500);
    EXPECT_EQ(t, state.t);  // y and t are the solution at the furthest point reached
    EXPECT_GT(t, 0.0);
    EXPECT_LT(t, 3000.0);
    EXPECT_NE(messages.str().find("MXSTEP (=I1) steps"), std::string::npos);
    EXPECT_NE(messages.str().find("I1 = 500"), std::string::npos);
    int calls = 1;
    while (istate == -1 && calls < 10) {
        istate = 2;  // the tracer's rule: -1 is not a failure
        integrate(state, vdp.rhs(), {}, y, t, 3000.0, istate, settings);
        ++calls;
    }
    ASSERT_EQ(istate, 2);
    EXPECT_EQ(calls, 2);

    settings.max_steps = 5000;
    LsodaState single;
    std::vector<double> y_single = {2.0, 0.0};
    double t_single = 0.0;
    std::int64_t istate_single = 1;
    integrate(single, vdp.rhs(), {}, y_single, t_single, 3000.0, istate_single, settings);
    ASSERT_EQ(istate_single, 2);
    EXPECT_EQ(y, y_single);
    EXPECT_EQ(state.steps, single.steps);
    EXPECT_EQ(state.rhs_calls, single.rhs_calls);
}

TEST(IstateProtocol, ToutEqualToTOnAFirstCallDoesNothingUntilItLooksLikeALoop) {
    LsodaSettings settings;
    LsodaState state;
    std::vector<double> y = {1.0};
    double t = 1.0;
    for (int call = 1; call <= 4; ++call) {
        std::int64_t istate = 1;
        integrate(state, kDecay, {}, y, t, 1.0, istate, settings);
        EXPECT_EQ(istate, 1) << call;
    }
    EXPECT_EQ(state.rhs_calls, 0);
    std::int64_t istate = 1;
    integrate(state, kDecay, {}, y, t, 1.0, istate, settings);
    EXPECT_EQ(istate, -3);
    EXPECT_EQ(y[0], 1.0);
}

TEST(IstateProtocol, ChangedTolerancesWithIstateThreeTakeEffect) {
    LsodaSettings settings;
    settings.rtol = {1e-3};
    settings.atol = {1e-12};
    LsodaState state;
    std::vector<double> y = {1.0};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(state, kDecay, {}, y, t, 5.0, istate, settings);
    ASSERT_EQ(istate, 2);
    const std::int64_t loose_steps = state.steps;
    settings.rtol = {1e-9};
    istate = 3;
    integrate(state, kDecay, {}, y, t, 10.0, istate, settings);
    ASSERT_EQ(istate, 2);
    // The second half at 1e-9 needs several times the steps of the first half at 1e-3, and its
    // own error (relative to y(5)) is far below the loose tolerance.
    EXPECT_GT(state.steps - loose_steps, 3 * loose_steps);
    EXPECT_NEAR(y[0] / std::exp(-10.0), 1.0, 1e-2);
}

TEST(IstateProtocol, TooMuchAccuracyIsReportedAndCanBeRelaxed) {
    // Pure absolute control with atol = 1e-12 while y = exp(t) grows: once U |y| / atol passes
    // 0.01 the tolerance cannot be met in double precision.
    const RightHandSide growth = [](double, std::span<const double> y, std::span<double> d) {
        d[0] = y[0];
        return 0;
    };
    LsodaSettings settings;
    settings.rtol = {0.0};
    settings.atol = {1e-12};
    LsodaState state;
    std::vector<double> y = {1.0};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(state, growth, {}, y, t, 10.0, istate, settings);
    ASSERT_EQ(istate, -2);
    EXPECT_GT(t, 3.0);  // U e^t / 1e-12 > 0.01 from t = ln(45) = 3.8
    EXPECT_LT(t, 10.0);
    EXPECT_GT(state.tolerance_scale, 1.0);
    settings.atol = {1e-12 * 2.0 * state.tolerance_scale};
    istate = 3;
    integrate(state, growth, {}, y, t, 5.0, istate, settings);
    EXPECT_EQ(istate, 2);
    EXPECT_NEAR(y[0], std::exp(5.0), 1e-4 * std::exp(5.0));
}

TEST(IstateProtocol, OtherTasksStepOnceStopAtMeshPointsAndRespectTcrit) {
    LsodaSettings settings;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    std::vector<double> y = {1.0};
    double t = 0.0;
    std::int64_t istate = 1;
    LsodaState state;

    settings.task = Task::one_step;
    for (int k = 1; k <= 5; ++k) {
        const double before = t;
        integrate(state, kDecay, {}, y, t, 10.0, istate, settings);
        ASSERT_EQ(istate, 2);
        EXPECT_EQ(state.steps, k);
        EXPECT_EQ(t, state.t);
        EXPECT_GT(t, before);
    }

    settings.task = Task::stop_at_mesh_point;
    integrate(state, kDecay, {}, y, t, 1.0, istate, settings);
    ASSERT_EQ(istate, 2);
    EXPECT_GE(t, 1.0);
    EXPECT_EQ(t, state.t);
    EXPECT_NEAR(y[0], std::exp(-t), 1e-5 * std::exp(-t));
    // The derivative of the interpolant is f itself, to the tolerance.
    std::vector<double> dy(1);
    ASSERT_EQ(interpolate(state, t - 0.5 * state.step_used, 1, dy), 0);
    EXPECT_NEAR(dy[0], -std::exp(-(t - 0.5 * state.step_used)), 1e-4);
    EXPECT_EQ(interpolate(state, t + 1.0, 0, dy), -2);
    EXPECT_EQ(interpolate(state, t, state.order + 1, dy), -1);

    // Beyond tcrit = 2 the right-hand side must never be called (as if undefined there).
    bool beyond = false;
    const RightHandSide guarded = [&](double tt, std::span<const double> yy, std::span<double> d) {
        beyond = beyond || tt > 2.0;
        d[0] = -yy[0];
        return 0;
    };
    settings.task = Task::normal_within_tcrit;
    settings.critical_time = 2.0;
    for (double tout : {1.5, 1.8, 2.0}) {
        istate = 2;
        integrate(state, guarded, {}, y, t, tout, istate, settings);
        ASSERT_EQ(istate, 2);
        EXPECT_EQ(t, tout);
        EXPECT_NEAR(y[0], std::exp(-tout), 1e-5 * std::exp(-tout));
    }
    EXPECT_FALSE(beyond);
    settings.task = Task::one_step_within_tcrit;
    settings.critical_time = 3.0;
    for (int k = 0; k < 1000 && t < 3.0; ++k) {
        integrate(state, guarded, {}, y, t, 3.0, istate, settings);
        ASSERT_EQ(istate, 2);
    }
    EXPECT_EQ(t, 3.0);
    EXPECT_NEAR(state.t, 3.0, 1e-12);
}

TEST(IstateProtocol, ByReferenceRoutineFollowsTheSameProtocolAndFillsTheOptionalOutputs) {
    std::ostringstream messages;
    std::ostream* previous = set_lsoda_message_stream(&messages);
    const std::int64_t neq = 3, itol = 2, itask = 1, iopt = 0, jt = 1;
    const std::int64_t lrw = std::max(20 + 16 * neq, 22 + 9 * neq + neq * neq), liw = 20 + neq;
    std::vector<double> rwork(static_cast<std::size_t>(lrw));
    std::vector<std::int64_t> iwork(static_cast<std::size_t>(liw));
    const double rtol = 1e-4;
    const double atol[3] = {1e-6, 1e-10, 1e-6};
    const LsodaRhsRoutine f = [](const std::int64_t*, const double* tt, const double* yy,
                                 double* d) {
        robertson(*tt, std::span<const double>(yy, 3), std::span<double>(d, 3));
    };
    const LsodaJacRoutine jac = [](const std::int64_t*, const double* tt, const double* yy,
                                   const std::int64_t* ml, const std::int64_t* mu, double* pd,
                                   const std::int64_t* nrowpd) {
        robertson_jacobian(*tt, std::span<const double>(yy, 3), *ml, *mu, std::span<double>(pd, 9),
                           *nrowpd);
    };
    double y[3] = {1.0, 0.0, 0.0};
    double t = 0.0;
    std::int64_t istate = 1;
    for (int k = 0; k < 12; ++k) {
        const double tout = 0.4 * std::pow(10.0, k);
        lsoda(f, &neq, y, &t, &tout, &itol, &rtol, atol, &itask, &istate, &iopt, rwork.data(), &lrw,
              iwork.data(), &liw, jac, &jt);
        ASSERT_EQ(istate, 2) << k;
    }
    // Classic demo run: nst 361, nfe 501, nje 64, order 1, BDF, tsw 6.0092293e-3.
    EXPECT_NEAR(iwork[10], 361, 3);
    EXPECT_NEAR(iwork[11], 501, 5);
    EXPECT_NEAR(iwork[12], 64, 1);
    EXPECT_EQ(iwork[13], 1);
    EXPECT_EQ(iwork[18], 2);
    EXPECT_NEAR(rwork[14], 6.0092293e-3, 1e-9);
    EXPECT_EQ(rwork[12], lsoda_module_state().t);
    EXPECT_NEAR(y[0], 1.4283526e-8, 1e-12);  // the classic run's output at 4e10 (reference file)
    EXPECT_TRUE(messages.str().empty()) << messages.str();
    set_lsoda_message_stream(previous);
}

}  // namespace
}  // namespace rcm::ode::testing
