// Stiffness detection: the integrator must move to BDF where explicit stability limits Adams,
// and back to Adams where the problem relaxes. Watched step by step with the one-step task.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "rcm/ode/lsoda.hpp"
#include "test_problems.hpp"

namespace rcm::ode::testing {
namespace {

struct Switch {
    double t;
    Method to;
};

struct Trace {
    std::vector<Switch> switches;
    int max_adams_order = 0;
    int max_bdf_order = 0;
    double max_error = 0.0;  // against exact(t), when given
    bool bdf_everywhere_in_window = true;
    std::int64_t istate = 0;
};

template <typename Exact>
Trace trace_steps(const RightHandSide& f,
                  std::vector<double> y,
                  double t_end,
                  LsodaSettings settings,
                  Exact exact,
                  double window_begin = 0.0,
                  double window_end = -1.0) {
    settings.task = Task::one_step;
    LsodaState state;
    Trace trace;
    double t = 0.0;
    std::int64_t istate = 1;
    Method current = Method::adams;
    while (t < t_end) {
        integrate(state, f, {}, y, t, t_end, istate, settings);
        if (istate != 2) { break; }
        if (state.method_used != current) {
            trace.switches.push_back({t, state.method_used});
            current = state.method_used;
        }
        int& top = state.method_used == Method::adams ? trace.max_adams_order : trace.max_bdf_order;
        top = std::max(top, state.order_used);
        if (t >= window_begin && t <= window_end && state.method_used != Method::bdf) {
            trace.bdf_everywhere_in_window = false;
        }
        trace.max_error = std::max(trace.max_error, std::abs(y[0] - exact(t)));
    }
    trace.istate = istate;
    return trace;
}

TEST(MethodSwitching, StiffOnlyInTheMiddleGoesToBdfAndBackToAdams) {
    LsodaSettings settings;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    const Trace trace = trace_steps(
        cosine_tracking, {1.0}, 10.0, settings, [](double t) { return std::cos(t); }, 4.0, 6.0);
    ASSERT_EQ(trace.istate, 2);
    // lambda(t) = -1 - 1e5 exp(-(t-5)^2): Adams is stability-limited once |lambda| h passes
    // about 0.5, i.e. well before t = 4 for the steps this accuracy allows, and free again when
    // |lambda| falls back towards 1 after t = 6.
    ASSERT_EQ(trace.switches.size(), 2u);
    EXPECT_EQ(trace.switches[0].to, Method::bdf);
    EXPECT_GT(trace.switches[0].t, 0.5);
    EXPECT_LT(trace.switches[0].t, 4.0);
    EXPECT_EQ(trace.switches[1].to, Method::adams);
    EXPECT_GT(trace.switches[1].t, 6.0);
    EXPECT_LT(trace.switches[1].t, 10.0);
    EXPECT_TRUE(trace.bdf_everywhere_in_window);  // no Adams step where |lambda| ~ 1e5
    EXPECT_LT(trace.max_error, 1e-4);             // exact solution cos t
}

TEST(MethodSwitching, VeryStiffTrackingProblemSwitchesAtOnceAndStaysAccurate) {
    const RightHandSide f = [](double t, std::span<const double> y, std::span<double> d) {
        d[0] = -1e6 * (y[0] - std::cos(t)) - std::sin(t);
        return 0;
    };
    LsodaSettings settings;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    const Trace trace = trace_steps(f, {1.0}, 10.0, settings, [](double t) { return std::cos(t); });
    ASSERT_EQ(trace.istate, 2);
    ASSERT_EQ(trace.switches.size(), 1u);
    EXPECT_EQ(trace.switches[0].to, Method::bdf);
    // The switch test first runs after 20 steps; with h limited to ~0.5e-6 by Adams stability
    // that is long before t = 1e-3.
    EXPECT_LT(trace.switches[0].t, 1e-3);
    EXPECT_LT(trace.max_error, 1e-5);
    EXPECT_LE(trace.max_bdf_order, 5);
}

TEST(MethodSwitching, VanDerPolAlternatesBetweenSlowAndFastPhases) {
    // mu = 1000: stiff on the slow branches, non-stiff in the quick jumps between them (period
    // about (3 - 2 ln 2) mu = 1614), so two jumps in [0, 3000] give switches both ways; the
    // classic run ends in BDF with its last switch at t = 2420.64 (reference file).
    LsodaSettings settings;
    settings.rtol = {1e-5};
    settings.atol = {1e-5};
    const Trace trace = trace_steps(VanDerPol{1000.0}.rhs(), {2.0, 0.0}, 3000.0, settings,
                                    [](double) { return 0.0; });
    ASSERT_EQ(trace.istate, 2);
    int to_bdf = 0, to_adams = 0;
    for (const Switch& s : trace.switches) { (s.to == Method::bdf ? to_bdf : to_adams) += 1; }
    EXPECT_GE(to_adams, 2);
    EXPECT_GE(to_bdf, 3);
    EXPECT_EQ(trace.switches.back().to, Method::bdf);
    EXPECT_NEAR(trace.switches.back().t, 2420.64, 0.5);
}

TEST(MethodSwitching, OrdersStayWithinEachFamilyAndItsUserLimit) {
    LsodaSettings settings;
    settings.rtol = {1e-11};
    settings.atol = {1e-11};
    // Smooth non-stiff problem at tight tolerances: high Adams orders pay off.
    Trace trace =
        trace_steps(VanDerPol{1.0}.rhs(), {2.0, 0.0}, 20.0, settings, [](double) { return 0.0; });
    ASSERT_EQ(trace.istate, 2);
    EXPECT_GE(trace.max_adams_order, 8);
    EXPECT_LE(trace.max_adams_order, 12);
    EXPECT_TRUE(trace.switches.empty());

    settings.max_adams_order = 4;
    settings.max_bdf_order = 2;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    trace =
        trace_steps(cosine_tracking, {1.0}, 10.0, settings, [](double t) { return std::cos(t); });
    ASSERT_EQ(trace.istate, 2);
    EXPECT_EQ(trace.max_adams_order, 4);
    EXPECT_EQ(trace.max_bdf_order, 2);
    EXPECT_FALSE(trace.switches.empty());
    EXPECT_LT(trace.max_error, 1e-4);
}

TEST(MethodSwitching, ReportsSwitchesWhenAsked) {
    std::ostringstream messages;
    LsodaSettings settings;
    settings.rtol = {1e-4};
    settings.atol = {1e-6, 1e-10, 1e-6};
    settings.print_switches = true;
    settings.messages = &messages;
    LsodaState state;
    std::vector<double> y = {1.0, 0.0, 0.0};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(state, robertson, {}, y, t, 40.0, istate, settings);
    ASSERT_EQ(istate, 2);
    EXPECT_NE(messages.str().find("A switch to the BDF (stiff) method has occurred"),
              std::string::npos)
        << messages.str();
    EXPECT_EQ(state.method, Method::bdf);
    EXPECT_NEAR(state.switch_time, 6.0092293e-3,
                1e-9);  // classic demo run (notes and reference file)
}

}  // namespace
}  // namespace rcm::ode::testing
