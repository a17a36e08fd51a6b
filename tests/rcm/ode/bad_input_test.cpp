// Bad input and failing problems: every case ends with the documented istate and message,
// never a crash, a hang or a silent wrong number. Mostly through the by-reference routine, the
// face the residue-curve tracer uses.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "rcm/ode/lsoda.hpp"
#include "test_problems.hpp"

namespace rcm::ode::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void decay_routine(const std::int64_t* neq, const double*, const double* y, double* d) {
    for (std::int64_t i = 0; i < *neq; ++i) { d[i] = -y[i]; }
}

void robertson_routine(const std::int64_t*, const double* t, const double* y, double* d) {
    robertson(*t, std::span<const double>(y, 3), std::span<double>(d, 3));
}

// A right-hand side that cannot be evaluated beyond t = 1 (a bubble point that did not converge).
void fails_after_one(const std::int64_t*, const double* t, const double* y, double* d) {
    d[0] = *t > 1.0 ? kNaN : -y[0];
}

/// All arguments of one classic call, with sound defaults, and the messages it wrote.
struct ClassicCall {
    LsodaRhsRoutine f = decay_routine;
    std::int64_t neq = 1;
    std::vector<double> y = {1.0};
    double t = 0.0;
    double tout = 1.0;
    std::int64_t itol = 1;
    std::vector<double> rtol = {1e-6};
    std::vector<double> atol = {1e-9};
    std::int64_t itask = 1;
    std::int64_t istate = 1;
    std::int64_t iopt = 0;
    std::vector<double> rwork = std::vector<double>(100, 0.0);
    std::int64_t lrw = 100;
    std::vector<std::int64_t> iwork = std::vector<std::int64_t>(40, 0);
    std::int64_t liw = 40;
    LsodaJacRoutine jac = nullptr;
    std::int64_t jt = 2;
    std::ostringstream messages;

    std::int64_t call() {
        std::ostream* previous = set_lsoda_message_stream(&messages);
        lsoda(f, &neq, y.data(), &t, &tout, &itol, rtol.data(), atol.data(), &itask, &istate, &iopt,
              rwork.data(), &lrw, iwork.data(), &liw, jac, &jt);
        set_lsoda_message_stream(previous);
        return istate;
    }
    bool said(const std::string& text) const {
        return messages.str().find(text) != std::string::npos;
    }
};

TEST(BadInput, IllegalArgumentsGiveMinusThreeWithTheClassicMessageAndTouchNothing) {
    struct Case {
        const char* what;
        void (*spoil)(ClassicCall&);
        const char* message;
    };
    const Case cases[] = {
        {"neq 0", [](ClassicCall& c) { c.neq = 0; }, "NEQ (=I1) .lt. 1"},
        {"negative rtol", [](ClassicCall& c) { c.rtol[0] = -1e-6; }, "RTOL(I1) is R1 .lt. 0.0"},
        {"negative atol component",
         [](ClassicCall& c) {
             c.neq = 2;
             c.y = {1.0, 1.0};
             c.itol = 2;
             c.atol = {1e-9, -1e-9};
         },
         "ATOL(I1) is R1 .lt. 0.0"},
        {"NaN rtol", [](ClassicCall& c) { c.rtol[0] = kNaN; }, "RTOL(I1)"},
        {"both tolerances zero", [](ClassicCall& c) { c.rtol[0] = c.atol[0] = 0.0; },
         "EWT(I1) is R1 .le. 0.0"},
        {"rwork too small", [](ClassicCall& c) { c.lrw = 20 + 16 - 1; },
         "RWORK length needed, LENRW (=I1), exceeds LRW (=I2)"},
        {"iwork too small", [](ClassicCall& c) { c.liw = 20; },
         "IWORK length needed, LENIW (=I1), exceeds LIW (=I2)"},
        {"negative lrw", [](ClassicCall& c) { c.lrw = -5; }, "RWORK length needed"},
        {"istate 4", [](ClassicCall& c) { c.istate = 4; }, "ISTATE (=I1) illegal"},
        {"itask 6", [](ClassicCall& c) { c.itask = 6; }, "ITASK (=I1) illegal"},
        {"itol 5", [](ClassicCall& c) { c.itol = 5; }, "ITOL (=I1) illegal"},
        {"iopt 2", [](ClassicCall& c) { c.iopt = 2; }, "IOPT (=I1) illegal"},
        {"jt 3", [](ClassicCall& c) { c.jt = 3; }, "JT (=I1) illegal"},
        {"jt 1 without jac", [](ClassicCall& c) { c.jt = 1; }, "needs a Jacobian routine"},
        {"band wider than neq",
         [](ClassicCall& c) {
             c.jt = 5;
             c.iwork[0] = 1;
         },
         "ML (=I1) illegal"},
        {"negative hmax",
         [](ClassicCall& c) {
             c.iopt = 1;
             c.rwork[5] = -1.0;
         },
         "HMAX (=R1) .lt. 0.0"},
        {"negative mxstep",
         [](ClassicCall& c) {
             c.iopt = 1;
             c.iwork[5] = -1;
         },
         "MXSTEP (=I1) .lt. 0"},
        {"h0 pointing away from tout",
         [](ClassicCall& c) {
             c.iopt = 1;
             c.rwork[4] = -0.1;
         },
         "TOUT (=R1) behind T (=R2)"},
        {"tout too close to t",
         [](ClassicCall& c) {
             c.t = 1e10;
             c.tout = std::nextafter(1e10, 2e10);  // one ulp, below 2 U max(|t|, |tout|)
         },
         "too close to T(=R2)"},
        {"NaN tout", [](ClassicCall& c) { c.tout = kNaN; }, "is not a finite number"},
        {"infinite t", [](ClassicCall& c) { c.t = std::numeric_limits<double>::infinity(); },
         "is not a finite number"},
        {"NaN in y0", [](ClassicCall& c) { c.y[0] = kNaN; }, "not a finite number"},
        {"NaN from f at the start",
         [](ClassicCall& c) { c.f = fails_after_one, c.t = 2.0, c.tout = 3.0; },
         "could not be evaluated"},
        {"too much accuracy at the start",
         [](ClassicCall& c) {
             c.rtol[0] = 1e-20;
             c.atol[0] = 1e-30;
         },
         "At start of problem, too much accuracy"},
    };
    for (const Case& c : cases) {
        ClassicCall call;
        c.spoil(call);
        const std::vector<double> y_before = call.y;
        const double t_before = call.t;
        EXPECT_EQ(call.call(), -3) << c.what;
        EXPECT_TRUE(call.said(c.message)) << c.what << ": " << call.messages.str();
        EXPECT_EQ(call.t, t_before) << c.what;
        if (!std::isnan(y_before[0])) { EXPECT_EQ(call.y, y_before) << c.what; }
    }
}

TEST(BadInput, ContinuationWithoutAStartOrWithToutBehindTheLastStepIsIllegal) {
    ClassicCall fresh;
    fresh.istate = 1;
    fresh.neq = 0;  // leaves the routine uninitialised
    fresh.call();
    fresh.neq = 1;
    fresh.istate = 2;
    EXPECT_EQ(fresh.call(), -3);
    EXPECT_TRUE(fresh.said("ISTATE .gt. 1 but LSODA not initialized"));

    ClassicCall c;
    c.tout = 5.0;
    ASSERT_EQ(c.call(), 2);
    const double hu = lsoda_module_state().step_used;
    c.tout = 5.0 - 2.0 * hu;  // behind the last step: no interpolation possible
    EXPECT_EQ(c.call(), -3);
    EXPECT_TRUE(c.said("Trouble from INTDY"));
    EXPECT_EQ(c.t, 5.0);
    // The integration itself is intact: going on forward works and stays accurate.
    c.istate = 2;
    c.tout = 6.0;
    EXPECT_EQ(c.call(), 2);
    EXPECT_NEAR(c.y[0], std::exp(-6.0), 1e-5 * std::exp(-6.0));
    // Within the last step, backwards interpolation is legal.
    c.tout = lsoda_module_state().t - 0.5 * lsoda_module_state().step_used;
    EXPECT_EQ(c.call(), 2);
    EXPECT_NEAR(c.y[0], std::exp(-c.tout), 1e-5 * std::exp(-c.tout));
}

TEST(BadInput, RepeatedIllegalCallsKeepReturningMinusThreeInsteadOfStopping) {
    ClassicCall c;
    c.neq = -4;
    for (int k = 1; k <= 7; ++k) {
        c.istate = 1;
        EXPECT_EQ(c.call(), -3) << k;
    }
    EXPECT_TRUE(c.said("Repeated occurrences of illegal input"));
    // A good call afterwards works normally.
    c.neq = 1;
    c.istate = 1;
    EXPECT_EQ(c.call(), 2);
    EXPECT_NEAR(c.y[0], std::exp(-1.0), 1e-5);
}

TEST(BadInput, MissingArgumentsAreIllegalInput) {
    ClassicCall c;
    std::int64_t istate = 1;
    std::ostream* previous = set_lsoda_message_stream(&c.messages);
    lsoda(decay_routine, nullptr, c.y.data(), &c.t, &c.tout, &c.itol, c.rtol.data(), c.atol.data(),
          &c.itask, &istate, &c.iopt, c.rwork.data(), &c.lrw, c.iwork.data(), &c.liw, nullptr,
          &c.jt);
    EXPECT_EQ(istate, -3);
    istate = 1;
    lsoda(nullptr, &c.neq, c.y.data(), &c.t, &c.tout, &c.itol, c.rtol.data(), c.atol.data(),
          &c.itask, &istate, &c.iopt, c.rwork.data(), &c.lrw, c.iwork.data(), &c.liw, nullptr,
          &c.jt);
    EXPECT_EQ(istate, -3);
    lsoda(decay_routine, &c.neq, c.y.data(), &c.t, &c.tout, &c.itol, c.rtol.data(), c.atol.data(),
          &c.itask, nullptr, &c.iopt, c.rwork.data(), &c.lrw, c.iwork.data(), &c.liw, nullptr,
          &c.jt);
    set_lsoda_message_stream(previous);
    EXPECT_TRUE(c.said("A required argument is missing"));
}

TEST(BadInput, WorkSpaceTooSmallForBdfStopsAtTheSwitchWithAValidSolution) {
    // With at most order 4 for Adams the start needs 20 + 5n + 3n = 44 reals, BDF 58 (n = 3).
    ClassicCall c;
    c.f = robertson_routine;
    c.neq = 3;
    c.y = {1.0, 0.0, 0.0};
    c.tout = 40.0;
    c.itol = 2;
    c.rtol = {1e-4};
    c.atol = {1e-6, 1e-10, 1e-6};
    c.iopt = 1;
    c.iwork[7] = 4;  // mxordn
    c.lrw = 50;
    ASSERT_EQ(c.call(), -7);
    EXPECT_TRUE(c.said("RWORK length too small"));
    EXPECT_GT(c.t, 0.0);
    EXPECT_LT(c.t, 1.0);
    EXPECT_EQ(c.t, lsoda_module_state().switch_time);
    // The three concentrations still add up to 1 (the methods conserve linear invariants).
    EXPECT_NEAR(c.y[0] + c.y[1] + c.y[2], 1.0, 1e-12);
    EXPECT_EQ(c.iwork[16], 58);  // lenrw
    // More space and istate 3: the integration goes on in BDF and ends where it should.
    c.lrw = 58;
    c.istate = 3;
    ASSERT_EQ(c.call(), 2);
    EXPECT_NEAR(c.y[0], 0.7158271, 1e-3);  // tight reference at t = 40 (reference file)
    EXPECT_EQ(c.iwork[19], 2);
}

TEST(BadInput, RunTimeFailuresEndWithTheirOwnIstate) {
    {
        // A right-hand side that cannot be evaluated anywhere past the start: every attempt is
        // a convergence failure, h shrinks by 4 each time, and the tenth ends the step.
        ClassicCall c;
        c.f = fails_after_one;
        c.t = 1.0;
        c.tout = 5.0;
        EXPECT_EQ(c.call(), -5);
        EXPECT_TRUE(c.said("corrector convergence failed repeatedly"));
        EXPECT_EQ(c.t, 1.0);
        EXPECT_EQ(c.y[0], 1.0);
        EXPECT_EQ(c.iwork[15], 1);   // imxer
        EXPECT_EQ(c.iwork[11], 11);  // f(t0) and one failed call per attempt
    }
    {
        // A wall at t = 1 (a flash that stops converging there): the steps shrink towards the
        // wall, each one accurate, until the step budget runs out; no step ever lands beyond.
        ClassicCall c;
        c.f = fails_after_one;
        c.tout = 5.0;
        EXPECT_EQ(c.call(), -1);
        EXPECT_LE(c.t, 1.0);
        EXPECT_GT(c.t, 1.0 - 1e-10);
        EXPECT_NEAR(c.y[0], std::exp(-c.t), 1e-6);
        EXPECT_TRUE(c.said("T + H = T on the next step"));
    }
    {
        // Error test failing at |h| = hmin: y' = cos t does not depend on y, so the corrector
        // always converges and only the error test can fail.
        ClassicCall c;
        c.f = [](const std::int64_t*, const double* tt, const double*, double* d) {
            d[0] = std::cos(*tt);
        };
        c.y = {0.0};
        c.iopt = 1;
        c.rwork[6] = 1.0;  // hmin
        c.rtol = {1e-10};
        c.atol = {1e-12};
        c.tout = 10.0;
        EXPECT_EQ(c.call(), -4);
        EXPECT_TRUE(c.said("test failed repeatedly or with ABS(H) = HMIN"));
        EXPECT_LT(c.t, 10.0);
        EXPECT_NEAR(c.y[0], std::sin(c.t), 1e-8);
    }
    {
        // Pure relative control on a component that is exactly zero: a zero error weight.
        ClassicCall c;
        c.neq = 2;
        c.y = {1.0, 0.0};
        c.itol = 2;
        c.atol = {1e-9, 1e-9};
        ASSERT_EQ(c.call(), 2);
        c.atol = {1e-9, 0.0};
        c.istate = 3;
        c.tout = 2.0;
        EXPECT_EQ(c.call(), -6);
        EXPECT_TRUE(c.said("EWT(I1) has become R2 .le. 0."));
        EXPECT_EQ(c.t, lsoda_module_state().t);  // the furthest point reached, past tout = 1
        EXPECT_EQ(c.y[1], 0.0);
    }
}

TEST(BadInput, PlainFaceHandlesFailingCallbacksAndWrongSizes) {
    LsodaSettings settings;
    settings.rtol = {1e-6};
    settings.atol = {1e-9};
    // A right-hand side that fails once (a flash that did not converge) costs a smaller step,
    // not the integration.
    bool failed_once = false;
    const RightHandSide flaky = [&](double tt, std::span<const double> yy, std::span<double> d) {
        if (tt > 0.5 && !failed_once) {
            failed_once = true;
            return 1;
        }
        d[0] = -yy[0];
        return 0;
    };
    LsodaState state;
    std::vector<double> y = {1.0};
    double t = 0.0;
    std::int64_t istate = 1;
    integrate(state, flaky, {}, y, t, 2.0, istate, settings);
    EXPECT_EQ(istate, 2);
    EXPECT_TRUE(failed_once);
    EXPECT_NEAR(y[0], std::exp(-2.0), 1e-5 * std::exp(-2.0));

    // A negative code stops at once.
    const RightHandSide stopper = [](double tt, std::span<const double> yy, std::span<double> d) {
        d[0] = -yy[0];
        return tt > 0.5 ? -1 : 0;
    };
    std::ostringstream messages;
    settings.messages = &messages;
    y = {1.0};
    t = 0.0;
    istate = 1;
    integrate(state, stopper, {}, y, t, 2.0, istate, settings);
    EXPECT_EQ(istate, -8);
    EXPECT_LE(t, 0.5);
    EXPECT_NEAR(y[0], std::exp(-t), 1e-5);
    EXPECT_NE(messages.str().find("asked to stop"), std::string::npos);

    // Tolerance arrays must have one entry or one per equation.
    settings.atol = {1e-9, 1e-9};
    y = {1.0, 1.0, 1.0};
    t = 0.0;
    istate = 1;
    integrate(state, stopper, {}, y, t, 2.0, istate, settings);
    EXPECT_EQ(istate, -3);
    EXPECT_NE(messages.str().find("A tolerance array has I1 entries"), std::string::npos);
    // And an empty y is neq = 0.
    std::vector<double> none;
    istate = 1;
    settings.atol = {1e-9};
    integrate(state, stopper, {}, none, t, 2.0, istate, settings);
    EXPECT_EQ(istate, -3);
}

}  // namespace
}  // namespace rcm::ode::testing
