// The balance solvers against hand calculations and against the identities every balance must
// satisfy: F = D + B, F x_F = D x_D + B x_B for each component, each product summing to 1, and
// the recoveries of a component adding up to 1.
#include "design/balance_solvers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <utility>

namespace design {
namespace {

constexpr double kTight = 1e-12;

SpecFlags flags(std::initializer_list<std::pair<std::size_t, SpecColumn>> set) {
    SpecFlags spec{};
    for (const auto& [i, k] : set) { spec[3 * k + i] = 1; }
    return spec;
}

void expect_balanced(double F, const Composition& x_F, const BalanceState& s) {
    EXPECT_NEAR(s.D + s.B, F, kTight * F);
    double sum_D = 0.0, sum_B = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(s.D * s.x_D[i] + s.B * s.x_B[i], F * x_F[i], kTight * F) << "component " << i;
        EXPECT_NEAR(s.r_D[i] + s.r_B[i], 1.0, kTight) << "component " << i;
        sum_D += s.x_D[i];
        sum_B += s.x_B[i];
    }
    EXPECT_NEAR(sum_D, 1.0, kTight);
    EXPECT_NEAR(sum_B, 1.0, kTight);
}

TEST(RecoverySolver, HalfOfEveryComponentGivesTwoCopiesOfTheFeed) {
    const Composition x_F{0.2, 0.3, 0.5};
    BalanceState s;
    s.r_D = {0.5, 0.5, 0.5};
    MessageLog log;
    Recov_mat_bal(
        80.0, x_F,
        flags({{0, kDistillateRecovery}, {1, kDistillateRecovery}, {2, kDistillateRecovery}}), s,
        log);
    EXPECT_DOUBLE_EQ(s.D, 40.0);
    EXPECT_DOUBLE_EQ(s.B, 40.0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(s.x_D[i], x_F[i]);
        EXPECT_DOUBLE_EQ(s.x_B[i], x_F[i]);
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST(RecoverySolver, CompletesEachPairFromWhicheverRecoveryIsGiven) {
    // Hand calculation: r_D = (0.99, 0.10, 1 - 0.98), F = 100, x_F = (0.4, 0.35, 0.25):
    // D = 100 (0.396 + 0.035 + 0.005) = 43.6.
    const Composition x_F{0.4, 0.35, 0.25};
    BalanceState s;
    s.r_D = {0.99, 0.10, 0.0};
    s.r_B = {0.0, 0.0, 0.98};
    MessageLog log;
    Recov_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateRecovery}, {1, kDistillateRecovery}, {2, kBottomsRecovery}}), s, log);
    EXPECT_NEAR(s.D, 43.6, 1e-12);
    EXPECT_NEAR(s.r_D[2], 0.02, 1e-15);
    expect_balanced(100.0, x_F, s);
}

TEST(RecoverySolver, AllRecoveredInTheBottomsWarnsOfZeroDistillate) {
    const Composition x_F{0.4, 0.35, 0.25};
    BalanceState s;
    s.r_B = {1.0, 1.0, 1.0};
    MessageLog log;
    Recov_mat_bal(10.0, x_F,
                  flags({{0, kBottomsRecovery}, {1, kBottomsRecovery}, {2, kBottomsRecovery}}), s,
                  log);
    EXPECT_EQ(s.D, 0.0);
    EXPECT_EQ(s.x_D, (Composition{0.0, 0.0, 0.0}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], message_line("***** Warning - Zero distillate flow rate"));
}

TEST(CompositionSolver, TwoDistillateFractionsFollowTheHandCalculation) {
    // x_D(1) = 0.9, x_D(2) = 0.09 (so x_D(3) = 0.01), x_B(1) = 0.02; F = 100, x_F(1) = 0.3:
    // D = 100 (0.3 - 0.02) / (0.9 - 0.02) = 31.8181...
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.9, 0.09, 0.0};
    s.x_B = {0.02, 0.0, 0.0};
    MessageLog log;
    Comp_mat_bal(100.0, x_F,
                 flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {0, kBottomsFraction}}),
                 s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.D, 100.0 * 0.28 / 0.88, 1e-12);
    EXPECT_NEAR(s.x_D[2], 0.01, 1e-15);
    expect_balanced(100.0, x_F, s);
}

TEST(CompositionSolver, TwoBottomsFractionsAreTheMirrorImage) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_B = {0.01, 0.3, 0.0};
    s.x_D = {0.0, 0.0, 0.05};
    MessageLog log;
    Comp_mat_bal(50.0, x_F,
                 flags({{0, kBottomsFraction}, {1, kBottomsFraction}, {2, kDistillateFraction}}), s,
                 log);
    EXPECT_EQ(s.status, 0);
    // B = F (x_F(3) - x_D(3)) / (x_B(3) - x_D(3)) with x_B(3) = 0.69.
    EXPECT_NEAR(s.B, 50.0 * 0.35 / 0.64, 1e-12);
    expect_balanced(50.0, x_F, s);
}

TEST(CompositionSolver, EqualReferenceFractionsHaveInfiniteSolutions) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.5, 0.3, 0.0};
    s.x_B = {0.0, 0.3, 0.0};
    MessageLog log;
    Comp_mat_bal(100.0, x_F,
                 flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {1, kBottomsFraction}}),
                 s, log);
    EXPECT_EQ(s.status, 2);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0],
              message_line("***** Error (Comp_mat_bal) - xd(2) = xb(2) ==> infinite solutions "));
    EXPECT_EQ(log.lines()[0].size(), kMessageLineWidth);
}

TEST(CompositionSolver, ASpecificationMakingDZeroOnlyWarns) {
    // x_B(r) = x_F(r): nothing goes overhead, the bottoms is the feed.
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.6, 0.3, 0.0};
    s.x_B = {0.3, 0.0, 0.0};
    MessageLog log;
    Comp_mat_bal(100.0, x_F,
                 flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {0, kBottomsFraction}}),
                 s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.D, 0.0);
    EXPECT_EQ(s.B, 100.0);
    for (std::size_t i = 0; i < 3; ++i) { EXPECT_DOUBLE_EQ(s.x_B[i], x_F[i]); }
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], message_line("***** Warning - Zero distillate flowrate"));
}

TEST(CompositionSolver, ZeroBottomsFlowIsAnError) {
    // x_D(r) = x_F(r) with r's bottoms fraction elsewhere: everything goes overhead.
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.3, 0.3, 0.0};
    s.x_B = {0.9, 0.0, 0.0};
    MessageLog log;
    Comp_mat_bal(100.0, x_F,
                 flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {0, kBottomsFraction}}),
                 s, log);
    EXPECT_EQ(s.status, 3);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0],
              message_line("***** Error (Comp_mat_bal) - Zero bottoms product flowrate "));
}

TEST(MixedSolver, RecoveryOnTheDistillateFractionComponentFixesD) {
    // c = a: x_D(1) = 0.95 and r_D(1) = 0.98 give D = 0.98 * 0.3 * 100 / 0.95 alone.
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.95, 0.0, 0.0};
    s.x_B = {0.0, 0.42, 0.0};
    s.r_D = {0.98, 0.0, 0.0};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {1, kBottomsFraction}, {0, kDistillateRecovery}}), s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.D, 0.98 * 0.3 * 100.0 / 0.95, 1e-12);
    EXPECT_DOUBLE_EQ(s.x_D[0], 0.95);
    EXPECT_DOUBLE_EQ(s.x_B[1], 0.42);
    expect_balanced(100.0, x_F, s);
}

TEST(MixedSolver, RecoveryOnTheBottomsFractionComponentFixesB) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.6, 0.0, 0.0};
    s.x_B = {0.0, 0.0, 0.6};
    s.r_B = {0.0, 0.0, 0.9};
    MessageLog log;
    Mixed_mat_bal(100.0, x_F,
                  flags({{0, kDistillateFraction}, {2, kBottomsFraction}, {2, kBottomsRecovery}}),
                  s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.B, 0.9 * 0.4 * 100.0 / 0.6, 1e-12);
    expect_balanced(100.0, x_F, s);
}

TEST(MixedSolver, BothFractionsOfOneComponentWithARecoveryOfAnother) {
    // a = b: D from component 1's two fractions, component 2's recovery given, 3 by closure.
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.7, 0.0, 0.0};
    s.x_B = {0.1, 0.0, 0.0};
    s.r_D = {0.0, 0.2, 0.0};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {0, kBottomsFraction}, {1, kDistillateRecovery}}), s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.D, 100.0 * 0.2 / 0.6, 1e-12);
    expect_balanced(100.0, x_F, s);

    BalanceState same = s;
    same.x_B[0] = same.x_D[0];
    MessageLog log2;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {0, kBottomsFraction}, {1, kDistillateRecovery}}), same,
        log2);
    EXPECT_EQ(same.status, 3);
    ASSERT_EQ(log2.lines().size(), 2u);
    EXPECT_EQ(log2.lines()[0],
              message_line("***** Error (Mixed_mat_bal) - Composition specifications xd(1) = "
                           "xb(1) "));
    EXPECT_EQ(log2.lines()[1], message_line("    ==> infinite material balance solutions"));
}

TEST(MixedSolver, TwoDistillateFractionsAndARecovery) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.6, 0.35, 0.0};
    s.r_B = {0.0, 0.0, 0.95};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {2, kBottomsRecovery}}), s, log);
    EXPECT_EQ(s.status, 0);
    // x_D(3) = 0.05 and D x_D(3) = 0.05 * 0.4 * 100: D = 40.
    EXPECT_NEAR(s.D, 40.0, 1e-12);
    expect_balanced(100.0, x_F, s);

    BalanceState zero;
    zero.x_D = {0.6, 0.4, 0.0};
    zero.r_B = {0.0, 0.0, 0.95};
    MessageLog log2;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {2, kBottomsRecovery}}), zero,
        log2);
    EXPECT_EQ(zero.status, 2);
    ASSERT_EQ(log2.lines().size(), 1u);
    EXPECT_EQ(log2.lines()[0],
              message_line(
                  "***** Error (Mixed_mat_bal) - Composition ofreference component xd(3) is zero"));
}

TEST(MixedSolver, TwoRecoveriesAndTheFractionOfARecoveredComponent) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.9, 0.0, 0.0};
    s.r_D = {0.95, 0.05, 0.0};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {0, kDistillateRecovery}, {1, kDistillateRecovery}}), s,
        log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.D, 0.95 * 0.3 * 100.0 / 0.9, 1e-12);
    expect_balanced(100.0, x_F, s);
}

TEST(MixedSolver, TwoRecoveriesAndTheFractionOfTheThirdComponent) {
    // The fraction belongs to the component without a recovery: D holds the recovered parts of
    // components 1 and 2, which make up 1 - x_D(3) of it. Hand calculation:
    // D = 100 (0.95 * 0.3 + 0.05 * 0.3) / (1 - 0.02) = 30 / 0.98.
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.0, 0.0, 0.02};
    s.r_D = {0.95, 0.05, 0.0};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{2, kDistillateFraction}, {0, kDistillateRecovery}, {1, kDistillateRecovery}}), s,
        log);
    EXPECT_EQ(s.status, 0);
    EXPECT_NEAR(s.D, 30.0 / 0.98, 1e-12);
    EXPECT_DOUBLE_EQ(s.x_D[2], 0.02);
    expect_balanced(100.0, x_F, s);
}

TEST(MixedSolver, ARecoveryOnNeitherFractionComponentIsRefusedQuietly) {
    const Composition x_F{0.3, 0.3, 0.4};
    BalanceState s;
    s.x_D = {0.9, 0.0, 0.0};
    s.x_B = {0.0, 0.5, 0.0};
    s.r_D = {0.0, 0.0, 0.1};
    MessageLog log;
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {1, kBottomsFraction}, {2, kDistillateRecovery}}), s, log);
    EXPECT_EQ(s.status, 1);
    EXPECT_TRUE(log.lines().empty());
}

TEST(BalanceSolvers, AComponentAbsentFromTheFeedIsRecoveredNowhere) {
    const Composition x_F{0.5, 0.5, 0.0};
    BalanceState s;
    s.x_D = {0.9, 0.1, 0.0};
    s.x_B = {0.1, 0.0, 0.0};
    MessageLog log;
    Comp_mat_bal(100.0, x_F,
                 flags({{0, kDistillateFraction}, {1, kDistillateFraction}, {0, kBottomsFraction}}),
                 s, log);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.r_D[2], 0.0);
    EXPECT_EQ(s.r_B[2], 0.0);
    EXPECT_TRUE(std::isfinite(s.r_D[0]) && std::isfinite(s.r_D[1]));

    BalanceState m;
    m.x_D = {0.9, 0.0, 0.0};
    m.x_B = {0.0, 0.2, 0.0};
    m.r_D = {0.9, 0.0, 0.0};
    Mixed_mat_bal(
        100.0, x_F,
        flags({{0, kDistillateFraction}, {1, kBottomsFraction}, {0, kDistillateRecovery}}), m, log);
    EXPECT_EQ(m.status, 0);
    EXPECT_EQ(m.r_D[2], 0.0);
    EXPECT_EQ(m.r_B[2], 0.0);
}

TEST(RepairRoutine, SlidesANegativeDistillateBackOntoTheEdgeAlongTheBalanceLine) {
    // x_D = (-0.1, 0.6, 0.5) and x_B = (0.4, 0.2, 0.4) with the feed between them, at 0.6 of
    // the way from x_D: x_F = (0.2, 0.36, 0.44). Hand calculation: t = 0.4 / 0.5 = 0.8, so
    // x_D' = (0, 0.52, 0.48); |x_F - x_B| / |x_D' - x_B| = 0.5, so D = B = 50.
    const Composition x_F{0.2, 0.36, 0.44};
    const Composition x_D{-0.1, 0.6, 0.5};
    const Composition x_B{0.4, 0.2, 0.4};
    const RepairResult fix = Fix_mat_bal(100.0, x_F, x_D, x_B);
    EXPECT_EQ(fix.status, 0);
    EXPECT_EQ(fix.x_D[0], 0.0);  // exactly
    EXPECT_NEAR(fix.x_D[1], 0.52, 1e-14);
    EXPECT_NEAR(fix.x_D[2], 0.48, 1e-14);
    EXPECT_EQ(fix.x_B, x_B);
    // Still on the line through the feed: the cross product of the two directions vanishes.
    const double u0 = fix.x_D[0] - x_F[0], u1 = fix.x_D[1] - x_F[1];
    const double v0 = x_B[0] - x_F[0], v1 = x_B[1] - x_F[1];
    EXPECT_NEAR(u0 * v1 - u1 * v0, 0.0, 1e-15);
    EXPECT_NEAR(fix.D, 50.0, 1e-12);
    EXPECT_NEAR(fix.B, 50.0, 1e-12);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(fix.D * fix.x_D[i] + fix.B * fix.x_B[i], 100.0 * x_F[i], 1e-12);
    }
}

TEST(RepairRoutine, RepairsTheBottomsTooAndFailsWhenTheLineCannotReachTheTriangle) {
    const Composition x_F{0.3, 0.4, 0.3};
    const Composition x_D{0.5, 0.5, 0.0};
    const Composition x_B{0.1, 0.3, 0.6};
    // Extend x_B beyond the triangle on the same line: x_B2 = x_D + 1.5 (x_B - x_D).
    Composition x_B2{};
    for (std::size_t i = 0; i < 3; ++i) { x_B2[i] = x_D[i] + 1.5 * (x_B[i] - x_D[i]); }
    ASSERT_LT(x_B2[0], 0.0);
    const RepairResult fix = Fix_mat_bal(100.0, x_F, x_D, x_B2);
    EXPECT_EQ(fix.status, 0);
    EXPECT_EQ(fix.x_B[0], 0.0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(fix.D * fix.x_D[i] + fix.B * fix.x_B[i], 100.0 * x_F[i], 1e-12);
    }
    // A negative fraction that is the same in both products cannot be slid away.
    const RepairResult stuck = Fix_mat_bal(100.0, x_F, {-0.1, 0.5, 0.6}, {-0.1, 0.2, 0.9});
    EXPECT_EQ(stuck.status, 1);
}

}  // namespace
}  // namespace design
