// Section profiles traced with real flashes: benzene / toluene / p-xylene at 101325 Pa with
// Raoult's law (option set IDEAL). What must hold whatever the numbers: the operating lines as
// material balances between stages, the stop rules, and the failure contract.
#include "design/profiles.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/design/design_problem.hpp"

namespace design {
namespace {

double squared_step(const Profile& p, std::int64_t k) {  // stage k (1-based) against k - 1
    double d = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        const double diff = p.x[3 * (k - 1) + i] - p.x[3 * (k - 2) + i];
        d += diff * diff;
    }
    return d;
}

struct Profiles : ::testing::Test {
    std::vector<std::int64_t> idx;
    PropertyContext ctx;
    const std::vector<double> x_B{0.001, 0.499, 0.5};
    const std::vector<double> x_D{0.98, 0.0199, 0.0001};
    void SetUp() override {
        DESIGN_OPEN_PROBLEM();
        idx = testing::components({"BENZENE", "TOLUENE", "PXYLENE"});
        ctx = PropertyContext{idx, "IDEAL", 2, testing::kAtmosphere};
    }
};

TEST_F(Profiles, TheStrippingOperatingLineBalancesEveryStage) {
    MessageLog log;
    const double S = 1.5;
    const Profile p = stripping_profile(ctx, 60, 1, S, x_B, log);
    ASSERT_EQ(p.status, 0);
    ASSERT_GT(p.count, 3);
    for (std::size_t i = 0; i < 3; ++i) { EXPECT_EQ(p.x[i], x_B[i]); }
    for (std::int64_t k = 2; k <= p.count; ++k) {
        double sum_x = 0.0, sum_y = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            const double x = p.x[3 * (k - 1) + i], y_below = p.y[3 * (k - 2) + i];
            EXPECT_NEAR((S + 1.0) * x - S * y_below, x_B[i], 1e-12) << "stage " << k;
            sum_x += x;
            sum_y += p.y[3 * (k - 1) + i];
        }
        EXPECT_NEAR(sum_x, 1.0, 1e-12);
        EXPECT_NEAR(sum_y, 1.0, 1e-9);
        // Going up a zeotropic column the liquid gets lighter and cooler.
        EXPECT_LT(p.T[k - 1], p.T[k - 2]) << "stage " << k;
    }
    EXPECT_EQ(p.T[p.count], -1.0);  // not computed
    EXPECT_EQ(p.x[3 * p.count], -1.0);
}

TEST_F(Profiles, APinchStopsAtTheFirstStageWhoseStepIsTinyAndShrinking) {
    MessageLog log;
    const Profile p = stripping_profile(ctx, 200, 1, 1.5, x_B, log);
    ASSERT_EQ(p.status, 0);
    ASSERT_LT(p.count, 200);
    EXPECT_TRUE(log.lines().empty());
    const std::int64_t k = p.count;
    EXPECT_LE(squared_step(p, k), kPinchThreshold);
    EXPECT_LT(squared_step(p, k), squared_step(p, k - 1));
    for (std::int64_t j = 3; j < k; ++j) {
        EXPECT_FALSE(squared_step(p, j) <= kPinchThreshold &&
                     squared_step(p, j) < squared_step(p, j - 1))
            << "stage " << j << " pinched first";
    }
    EXPECT_EQ(kPinchThreshold, 1.000000023372195e-14);
}

TEST_F(Profiles, TracingEveryStageNeverStopsAtThePinchAndGivesNoWarning) {
    MessageLog log;
    const Profile pinched = stripping_profile(ctx, 200, 1, 1.5, x_B, log);
    const Profile all = stripping_profile(ctx, 200, kTraceAllStages, 1.5, x_B, log);
    ASSERT_LT(pinched.count, 200);
    EXPECT_EQ(all.count, 200);
    EXPECT_EQ(all.status, 0);
    EXPECT_TRUE(log.lines().empty());
    // The stages both traced are the same stages.
    for (std::size_t i = 0; i < 3 * static_cast<std::size_t>(pinched.count); ++i) {
        EXPECT_EQ(all.x[i], pinched.x[i]);
    }
}

TEST_F(Profiles, RunningOutOfStagesWarnsWithStatusTwo) {
    MessageLog log;
    const Profile p = stripping_profile(ctx, 5, 1, 1.5, x_B, log);
    EXPECT_EQ(p.count, 5);
    EXPECT_EQ(p.status, 2);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0], message_line("***** Warning - reached the maximum number of stages"));
    EXPECT_EQ(log.lines()[1], message_line("      The stripping profile may be incomplete"));

    MessageLog rect_log;
    const Profile r = rectifying_profile(ctx, 4, 1, 2.0, x_D, x_D, x_D, rect_log);
    EXPECT_EQ(r.count, 4);
    EXPECT_EQ(r.status, 2);
    ASSERT_EQ(rect_log.lines().size(), 2u);
    EXPECT_EQ(rect_log.lines()[1], message_line("      The rectifying profile may be incomplete"));
}

TEST_F(Profiles, AFailedFlashCutsTheProfileShortAtTheStageBefore) {
    // A negative reboil ratio drives the operating line out of the composition triangle; the
    // flash of that stage fails (negative mole fraction) and the profile ends one stage lower.
    MessageLog log;
    const Profile p = stripping_profile(ctx, 50, 1, -0.6, std::vector<double>{0.3, 0.3, 0.4}, log);
    EXPECT_EQ(p.status, 1);
    EXPECT_LT(p.flash_error, 0);
    ASSERT_GE(p.count, 1);
    const std::int64_t failed = p.count + 1;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(p.x[3 * (failed - 1) + i], -1.0);
        EXPECT_EQ(p.y[3 * (failed - 1) + i], -1.0);
    }
    EXPECT_EQ(p.T[failed - 1], -1.0);
    EXPECT_GT(p.T[failed - 2], 0.0);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0],
              message_line("***** Fatal Flash Error during stripping profilecalculations"));
    EXPECT_EQ(log.lines()[1], message_line("      The stripping profile may be incomplete"));

    // A failure at the very first flash leaves no stage at all.
    MessageLog log2;
    const PropertyContext no_pressure{idx, "IDEAL", 2, -1.0};
    const Profile none = rectifying_profile(no_pressure, 10, 1, 2.0, x_D, x_D, x_D, log2);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.x[0], -1.0);
    EXPECT_EQ(log2.lines()[0],
              message_line("***** Fatal Flash Error during rectifying profilecalculations"));
}

TEST_F(Profiles, TheRectifyingProfileStartsAtTheCondenserAndBalancesEveryStage) {
    MessageLog log;
    const double R = 3.0;
    const Profile p = rectifying_profile(ctx, 60, 1, R, x_D, x_D, x_D, log);
    ASSERT_EQ(p.status, 0);
    ASSERT_GT(p.count, 3);
    // Total condenser: stage 1 holds the reflux (= distillate) at the distillate's dew point,
    // and the top tray's vapour is the distillate, so both stages sit at that temperature.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(p.x[i], x_D[i]);
        EXPECT_NEAR(p.y[i], x_D[i], 1e-12);
        EXPECT_EQ(p.y[3 + i], x_D[i]);
    }
    EXPECT_NEAR(p.T[0], p.T[1], 1e-9);
    for (std::int64_t k = 3; k <= p.count; ++k) {
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR((R + 1.0) * p.y[3 * (k - 1) + i] - R * p.x[3 * (k - 2) + i], x_D[i], 1e-12)
                << "stage " << k;
        }
        EXPECT_GT(p.T[k - 1], p.T[k - 2]) << "stage " << k;  // hotter going down
    }
}

}  // namespace
}  // namespace design
