// Distillation curves (total-reflux tray sequences) through real host flashes: the made-up ideal
// ternary with constant relative volatilities 4 : 2 : 1 (closed forms), benzene/toluene/
// p-xylene with original UNIFAC, acetone/chloroform/methanol with NRTL (databank parameters),
// all at 101325 Pa.
#include "rcm/distillation_curve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rcm/residue_curve.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace rcm {
namespace {

using testing::nearest;
using testing::point;
using testing::System;

class DistillationCurves : public ::testing::Test {
protected:
    void SetUp() override {
        RCM_OPEN_PROBLEM();
        testing::reset_run_log();
    }
    static CurveProblem through(System s, std::vector<double> start) {
        CurveProblem p;
        p.system = testing::system(s);
        p.start = std::move(start);
        return p;
    }
};

TEST_F(DistillationCurves, ConstantVolatilityTraysFollowTheClosedForm) {
    // One tray up: y_i = alpha_i x_i / D, so each forward point (dew-point liquid of the previous
    // one) has x1/x3 divided by 4 and x2/x3 by 2.
    const Curve c = trace_distillation_curve(through(System::constant_alpha, {0.2, 0.3, 0.5}));
    ASSERT_EQ(c.error, kDistillationCurveOk);
    ASSERT_EQ(c.order, 2);
    int checked = 0;
    for (std::size_t k = 0; k + 1 < c.point_count(); ++k) {
        const auto a = point(c.points, 3, k), b = point(c.points, 3, k + 1);
        if (std::min({a[0], a[1], a[2], b[0], b[1], b[2]}) < 1e-4) { continue; }
        EXPECT_NEAR(std::log(a[0] / a[2]) - std::log(b[0] / b[2]), std::log(4.0), 1e-5) << k;
        EXPECT_NEAR(std::log(a[1] / a[2]) - std::log(b[1] / b[2]), std::log(2.0), 1e-5) << k;
        ++checked;
    }
    EXPECT_GT(checked, 4);
    EXPECT_GT(c.points[0], 0.999);      // from the lightest vertex
    EXPECT_GT(c.points.back(), 0.999);  // to the heaviest
}

TEST_F(DistillationCurves, DistillationLineAndResidueCurveShareTheirEndsAndDifferInBetween) {
    // Through the same point both run from the light to the heavy vertex, but they are different
    // curves: with alpha = (4, 2, 1) the distillation line keeps x1 x3 / x2^2 (ln 4 = 2 ln 2)
    // while the residue curve keeps x1 x3^2 / x2^3 (Doherty & Malone 2001, ch. 5).
    const std::vector<double> start{0.2, 0.3, 0.5};
    const Curve line = trace_distillation_curve(through(System::constant_alpha, start));
    const Curve residue = trace_residue_curve(through(System::constant_alpha, start));
    ASSERT_EQ(line.error, 0);
    ASSERT_EQ(residue.error, 0);
    const auto line_invariant = [](std::span<const double> x) {
        return x[0] * x[2] / (x[1] * x[1]);
    };
    const auto residue_invariant = [](std::span<const double> x) {
        return x[0] * x[2] * x[2] / std::pow(x[1], 3);
    };
    double largest_departure = 0.0;
    for (std::size_t k = 0; k < line.point_count(); ++k) {
        const auto x = point(line.points, 3, k);
        if (std::min({x[0], x[1], x[2]}) < 1e-3) { continue; }
        EXPECT_NEAR(line_invariant(x) / line_invariant(start), 1.0, 1e-6) << k;
        largest_departure = std::max(
            largest_departure, std::abs(residue_invariant(x) / residue_invariant(start) - 1.0));
    }
    EXPECT_GT(largest_departure, 0.5);
    for (const Curve* c : {&line, &residue}) {
        EXPECT_NEAR(point(c->points, 3, 0)[0], 1.0, 0.01);
        EXPECT_NEAR(point(c->points, 3, c->point_count() - 1)[2], 1.0, 0.01);
    }

    // The same for a real mixture: acetone/chloroform/methanol end at the same nodes (the
    // acetone/methanol azeotrope and methanol; reference singular points 4 and 2).
    const auto singular =
        testing::reference_singular_points("vle_acetone_chloroform_methanol_nrtl.json", "NRTL");
    using Trace = Curve (*)(const CurveProblem&);
    for (const Trace trace : {Trace{&trace_distillation_curve}, Trace{&trace_residue_curve}}) {
        const Curve c = trace(through(System::acetone_chloroform_methanol, {0.45, 0.05, 0.5}));
        ASSERT_GE(c.error, 0);
        EXPECT_EQ(nearest(point(c.points, 3, 0), singular).index, 4u);
        EXPECT_EQ(nearest(point(c.points, 3, c.point_count() - 1), singular).index, 2u);
    }
}

TEST_F(DistillationCurves, TemperaturesRiseTrayByTrayAndCostAlmostNothing) {
    CurveProblem p = through(System::benzene_toluene_pxylene, {0.3, 0.4, 0.3});
    p.temperatures = true;
    const Curve c = trace_distillation_curve(p);
    ASSERT_EQ(c.error, kDistillationCurveOk);
    ASSERT_EQ(c.temperatures.size(), c.point_count());
    for (std::size_t k = 1; k < c.point_count(); ++k) {
        EXPECT_GT(c.temperatures[k], c.temperatures[k - 1] - 1e-7) << k;
    }
    // Each tray's temperature is its own bubble point: recompute them independently.
    std::int64_t flashes = 0;
    const std::vector<double> check = bubble_temperatures(p.system, c.points, flashes);
    for (std::size_t k = 0; k < check.size(); ++k) {
        EXPECT_NEAR(c.temperatures[k], check[k], 1e-6) << k;
    }
    // One flash per new tray in each direction (count - 1), plus the bubble point of the far
    // end of the backward branch, which no step needed.
    EXPECT_EQ(c.flashes, static_cast<std::int64_t>(c.point_count()));
}

TEST_F(DistillationCurves, StartOnASingularPointRunsToTheBudget) {
    const Curve c = trace_distillation_curve(through(System::benzene_toluene_pxylene, {0, 0, 1}));
    EXPECT_EQ(c.error, kDistillationCurvePointBudget);
    EXPECT_EQ(c.point_count(), kCurvePointCapacity);
    EXPECT_EQ(c.messages, (std::vector<std::int64_t>{501, 501}));
}

TEST_F(DistillationCurves, ByReferenceRoutineMatchesThePlainCurve) {
    const CurveSystem s = testing::system(System::benzene_toluene_pxylene);
    const std::int64_t nc = 3, forward = 2, at_rest = 2, nsing = 0, phases = 2, length = 6;
    const double x0[3] = {0.3, 0.4, 0.3}, pressure = s.pressure;
    std::int64_t points = 500, order = 0, error = 99;
    std::vector<double> result(1500, 0.0);
    Distillation_Curve(&nc, x0, &forward, &at_rest, &nsing, nullptr, nullptr, &pressure,
                       s.components.data(), "UNIFAC", &phases, &points, &order, result.data(),
                       &error, &length);
    CurveProblem p = through(System::benzene_toluene_pxylene, {0.3, 0.4, 0.3});
    p.directions = Directions::forward;
    const Curve plain = trace_distillation_curve(p);
    ASSERT_EQ(error, kDistillationCurveOk);
    EXPECT_EQ(order, 2);
    ASSERT_EQ(points, static_cast<std::int64_t>(plain.point_count()));
    for (std::size_t k = 0; k < plain.points.size(); ++k) {
        EXPECT_NEAR(result[k], plain.points[k], 1e-9);
    }
    EXPECT_EQ(result[plain.points.size()], -1.0);
    EXPECT_EQ(result.back(), -1.0);

    // A fatal flash (no bubble point below the correlations' limit at 1e9 Pa) ends the branch.
    const double crushing = 1e9;
    points = 500;
    Distillation_Curve(&nc, x0, &forward, &at_rest, &nsing, nullptr, nullptr, &crushing,
                       s.components.data(), "UNIFAC", &phases, &points, &order, result.data(),
                       &error, &length);
    EXPECT_EQ(error, kDistillationCurveFlashFailed);
    EXPECT_EQ(points, 1);
    EXPECT_EQ(testing::run_log_lines(), std::vector<std::string>{"Fatal flash error"});

    const std::int64_t bad_stop = 0;
    points = 500;
    Distillation_Curve(&nc, x0, &forward, &bad_stop, &nsing, nullptr, nullptr, &pressure,
                       s.components.data(), "UNIFAC", &phases, &points, &order, result.data(),
                       &error, &length);
    EXPECT_EQ(error, kCurveBadArguments);
    EXPECT_EQ(points, 0);
}

}  // namespace
}  // namespace rcm
