// Residue curves traced through the real host flashes. Thermodynamics: acetone/chloroform/
// methanol with NRTL, benzene/toluene/p-xylene and ethanol/water/benzene with original UNIFAC
// (databank parameters, the ones data/reference/vle_*.json were computed from), and a made-up
// ideal ternary with constant relative volatilities 4 : 2 : 1 (tests/rcm/problems), all at
// 101325 Pa. Expected nodes are the reference files' singular points.
#include "rcm/residue_curve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/core/messages.hpp"
#include "rcm/residue_field.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace rcm {
namespace {

using testing::nearest;
using testing::point;
using testing::System;

constexpr const char* kAcm = "vle_acetone_chloroform_methanol_nrtl.json";
constexpr const char* kBtx = "vle_benzene_toluene_pxylene.json";
constexpr std::int64_t k501 = 501;

// Indices of the acetone/chloroform/methanol reference singular points.
enum Acm : std::size_t { kMethanol = 2, kAcAz = 3, kAmAz = 4, kCmAz = 5, kSaddle = 6 };

class ResidueCurves : public ::testing::Test {
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

/// Every point inside the triangle (to the clipping tolerance) and summing to 1.
void expect_inside(const Curve& c, const char* label) {
    for (std::size_t k = 0; k < c.point_count(); ++k) {
        double sum = 0.0;
        for (const double v : point(c.points, 3, k)) {
            ASSERT_TRUE(std::isfinite(v)) << label << " point " << k;
            ASSERT_GE(v, -1e-7) << label << " point " << k;
            ASSERT_LE(v, 1.0 + 1e-7) << label << " point " << k;
            sum += v;
        }
        ASSERT_NEAR(sum, 1.0, 1e-6) << label << " point " << k;
    }
}

TEST_F(ResidueCurves, IdealLikeTernaryRunsFromLightestToHeaviestWithRisingTemperature) {
    const auto singular = testing::reference_singular_points(kBtx, "UNIFAC");
    for (const std::vector<double>& start : std::vector<std::vector<double>>{
             {1.0 / 3, 1.0 / 3, 1.0 / 3}, {0.6, 0.3, 0.1}, {0.1, 0.2, 0.7}, {0.2, 0.7, 0.1}}) {
        CurveProblem p = through(System::benzene_toluene_pxylene, start);
        p.temperatures = true;
        const Curve c = trace_residue_curve(p);
        ASSERT_EQ(c.error, kResidueCurveOk);
        ASSERT_EQ(c.order, 2);
        ASSERT_GT(c.point_count(), 10u);
        // Benzene is the unstable node, p-xylene the stable node (reference singular points).
        EXPECT_EQ(nearest(point(c.points, 3, 0), singular).index, 0u);
        EXPECT_LT(nearest(point(c.points, 3, 0), singular).distance, 0.01);
        EXPECT_EQ(nearest(point(c.points, 3, c.point_count() - 1), singular).index, 2u);
        EXPECT_LT(nearest(point(c.points, 3, c.point_count() - 1), singular).distance, 0.01);
        // The bubble temperature is a Lyapunov function of the residue-curve field.
        for (std::size_t k = 1; k < c.temperatures.size(); ++k) {
            ASSERT_GE(c.temperatures[k], c.temperatures[k - 1] - 1e-7) << "point " << k;
        }
        EXPECT_NEAR(c.temperatures.front(), singular[0].temperature, 1.0);
        EXPECT_NEAR(c.temperatures.back(), singular[2].temperature, 1.0);
        expect_inside(c, "BTX");
    }
}

TEST_F(ResidueCurves, ConstantVolatilityCurvesKeepTheirClosedFormInvariant) {
    // With alpha = (4, 2, 1), d ln(x_i / x_3) / dxi = (alpha_3 - alpha_i) / mean alpha gives
    // x1 x3^2 / x2^3 = const along a residue curve (Doherty & Malone 2001, ch. 5).
    for (const std::vector<double>& start :
         std::vector<std::vector<double>>{{0.2, 0.3, 0.5}, {0.6, 0.2, 0.2}}) {
        const Curve c = trace_residue_curve(through(System::constant_alpha, start));
        ASSERT_EQ(c.error, kResidueCurveOk);
        const double invariant = start[0] * start[2] * start[2] / std::pow(start[1], 3);
        int checked = 0;
        for (std::size_t k = 0; k < c.point_count(); ++k) {
            const auto x = point(c.points, 3, k);
            if (std::min({x[0], x[1], x[2]}) < 0.02) { continue; }
            EXPECT_NEAR(x[0] * x[2] * x[2] / std::pow(x[1], 3) / invariant, 1.0, 2e-3) << k;
            ++checked;
        }
        EXPECT_GT(checked, 10);
        EXPECT_GT(c.points[0], 0.99);      // from the lightest vertex
        EXPECT_GT(c.points.back(), 0.99);  // to the heaviest
    }
}

TEST_F(ResidueCurves, AcetoneChloroformMethanolCurvesRunBetweenTheNodesOfTheirRegion) {
    // The four regions of the map: unstable node (acetone/methanol or chloroform/methanol
    // azeotrope) to stable node (methanol or the acetone/chloroform azeotrope).
    const auto singular = testing::reference_singular_points(kAcm, "NRTL");
    struct Case {
        std::vector<double> start;
        std::size_t from, to;
    };
    for (const Case& c :
         {Case{{0.85, 0.10, 0.05}, kAmAz, kAcAz}, Case{{0.10, 0.85, 0.05}, kCmAz, kAcAz},
          Case{{0.45, 0.05, 0.50}, kAmAz, kMethanol}, Case{{0.05, 0.45, 0.50}, kCmAz, kMethanol}}) {
        const Curve curve =
            trace_residue_curve(through(System::acetone_chloroform_methanol, c.start));
        ASSERT_EQ(curve.error, kResidueCurveOk);
        const auto first = nearest(point(curve.points, 3, 0), singular);
        const auto last = nearest(point(curve.points, 3, curve.point_count() - 1), singular);
        EXPECT_EQ(first.index, c.from) << "start " << c.start[0] << ", " << c.start[1];
        EXPECT_LT(first.distance, 0.01);
        EXPECT_EQ(last.index, c.to) << "start " << c.start[0] << ", " << c.start[1];
        EXPECT_LT(last.distance, 0.01);
    }
}

TEST_F(ResidueCurves, CurvesStartedOnEitherSideOfABoundaryEndAtDifferentNodes) {
    // Near the ternary saddle, the boundary between the basins of methanol and of the
    // acetone/chloroform azeotrope runs through the saddle; so does the one between the
    // sources. A step of 0.02 from the saddle towards each node lands on that node's side.
    const auto singular = testing::reference_singular_points(kAcm, "NRTL");
    const auto towards = [&](std::size_t node) {
        std::vector<double> x(3);
        double length = 0.0;
        for (std::size_t i = 0; i < 3; ++i) {
            length += std::pow(singular[node].x[i] - singular[kSaddle].x[i], 2);
        }
        for (std::size_t i = 0; i < 3; ++i) {
            x[i] = singular[kSaddle].x[i] +
                   0.02 * (singular[node].x[i] - singular[kSaddle].x[i]) / std::sqrt(length);
        }
        return x;
    };
    for (const std::size_t node : {kMethanol, kAcAz, kAmAz, kCmAz}) {
        CurveProblem p = through(System::acetone_chloroform_methanol, towards(node));
        const bool sink = node == kMethanol || node == kAcAz;
        p.directions = sink ? Directions::forward : Directions::backward;
        const Curve c = trace_residue_curve(p);
        ASSERT_EQ(c.error, kResidueCurveOk);
        const auto end = nearest(point(c.points, 3, c.point_count() - 1), singular);
        EXPECT_EQ(end.index, node);
        EXPECT_LT(end.distance, 0.01);
    }
}

/// Traces from a lattice of start points (the corners, singular points, left out): no failure,
/// every point inside the triangle, and each curve from an unstable node to a stable node of the
/// reference's singular points (curves on an edge: between two singular points of that edge).
void trace_grid(const CurveSystem& system, const std::vector<SingularPoint>& singular) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr int kDivisions = 5;  // 18 start points under the sanitizers
#else
    constexpr int kDivisions = 13;  // 102 start points
#endif
    for (int i = 0; i <= kDivisions; ++i) {
        for (int j = 0; i + j <= kDivisions; ++j) {
            if (i == kDivisions || j == kDivisions || i + j == 0) { continue; }
            CurveProblem p;
            p.system = system;
            const double a = double(i) / kDivisions, b = double(j) / kDivisions;
            p.start = {a, b, 1.0 - a - b};
            const Curve c = trace_residue_curve(p);
            ASSERT_EQ(c.error, kResidueCurveOk) << a << ", " << b;
            expect_inside(c, "grid");
            const auto first = nearest(point(c.points, 3, 0), singular);
            const auto last = nearest(point(c.points, 3, c.point_count() - 1), singular);
            EXPECT_LT(first.distance, 0.01) << a << ", " << b;
            EXPECT_LT(last.distance, 0.01) << a << ", " << b;
            if (i > 0 && j > 0 && i + j < kDivisions) {
                EXPECT_EQ(singular[first.index].stability, azeotrope::Stability::unstable_node);
                EXPECT_EQ(singular[last.index].stability, azeotrope::Stability::stable_node);
            }
        }
    }
}

TEST_F(ResidueCurves, GridOfStartPointsTracesFromSourceToSinkInsideTheTriangle) {
    trace_grid(testing::system(System::acetone_chloroform_methanol),
               testing::reference_singular_points(kAcm, "NRTL"));
    trace_grid(testing::system(System::benzene_toluene_pxylene),
               testing::reference_singular_points(kBtx, "UNIFAC"));
}

TEST_F(ResidueCurves, HeterogeneousCurvesRunFromTheTernaryHeteroazeotropeToThePureComponents) {
    // Treated as one liquid, ethanol/water/benzene has bubble points far below benzene's
    // vapour-pressure range inside the miscibility gap; only the two-liquid field is physical.
    if (!testing::two_liquid_bubble_points_available()) {
        GTEST_SKIP() << "the host's bubble points with phase count 3 do not reproduce the "
                        "reference three-phase bubble point yet";
    }
    const CurveSystem s = testing::system(System::ethanol_water_benzene, 3);
    const auto singular =
        testing::reference_singular_points("vle_ethanol_water_benzene_unifac.json", "UNIFAC");
    trace_grid(s, singular);
    // A boundary leaves each binary saddle (points 3, 4, 5) into the triangle: just inside,
    // a step along the edge to either side ends at either pure component of that edge.
    for (std::size_t saddle = 3; saddle <= 5; ++saddle) {
        const std::vector<double>& az = singular[saddle].x;
        const std::size_t absent = az[0] == 0.0 ? 0 : (az[1] == 0.0 ? 1 : 2);
        std::vector<std::size_t> present;
        for (std::size_t i = 0; i < 3; ++i) {
            if (i != absent) { present.push_back(i); }
        }
        for (const std::size_t towards : present) {
            const std::size_t away = towards == present[0] ? present[1] : present[0];
            CurveProblem p;
            p.system = s;
            p.start = az;
            p.start[towards] += 0.02;
            p.start[away] -= 0.03;
            p.start[absent] = 0.01;
            p.directions = Directions::forward;
            const Curve c = trace_residue_curve(p);
            ASSERT_EQ(c.error, kResidueCurveOk);
            EXPECT_EQ(nearest(point(c.points, 3, c.point_count() - 1), singular).index, towards)
                << "saddle " << saddle;
        }
    }
}

TEST_F(ResidueCurves, StartOnASingularPointSpendsTheWholeBudget) {
    // At pure p-xylene every displacement is 0, so the curve never comes to rest "shrinking".
    const Curve c = trace_residue_curve(through(System::benzene_toluene_pxylene, {0.0, 0.0, 1.0}));
    EXPECT_EQ(c.error, kResidueCurvePointBudget);
    EXPECT_EQ(c.point_count(), kCurvePointCapacity);
    EXPECT_EQ(c.forward_points, kCurvePointCapacity);
    EXPECT_EQ(c.messages, (std::vector<std::int64_t>{k501, k501}));
    EXPECT_EQ(testing::run_log_lines().size(), 0u);  // the plain face writes no run log
}

TEST_F(ResidueCurves, StartSummingAboveOneIsKeptAndTheCurveStaysInTheSimplex) {
    // x1 + x2 = 1.003: the right-hand side divides by the sum; the curve follows the edge.
    const Curve c =
        trace_residue_curve(through(System::benzene_toluene_pxylene, {0.6, 0.403, 0.0}));
    ASSERT_EQ(c.error, kResidueCurveOk);
    const auto start = point(c.points, 3, c.backward_points - 1);
    EXPECT_EQ(std::vector<double>(start.begin(), start.end()),
              (std::vector<double>{0.6, 0.403, 0.0}));
    for (std::size_t k = 0; k < c.point_count(); ++k) {
        if (k + 1 == c.backward_points) { continue; }
        EXPECT_NEAR(point(c.points, 3, k)[2], 0.0, 1e-7) << "edges are invariant";
        EXPECT_NEAR(point(c.points, 3, k)[0] + point(c.points, 3, k)[1], 1.0, 1e-9);
    }
    // Beyond the tolerance of a rounded client value it is no composition.
    EXPECT_EQ(trace_residue_curve(through(System::benzene_toluene_pxylene, {0.6, 0.42, 0.0})).error,
              kCurveBadArguments);
}

TEST_F(ResidueCurves, PointBudgetIsSharedBetweenTheBranches) {
    const CurveProblem full = through(System::acetone_chloroform_methanol, {0.3, 0.3, 0.4});
    const Curve unlimited = trace_residue_curve(full);
    ASSERT_EQ(unlimited.error, kResidueCurveOk);
    ASSERT_GT(unlimited.backward_points, 6u);
    CurveProblem p = full;
    p.capacity = unlimited.forward_points + unlimited.backward_points / 2;
    const Curve c = trace_residue_curve(p);
    EXPECT_EQ(c.error, kResidueCurvePointBudget);
    EXPECT_EQ(c.forward_points, unlimited.forward_points);
    EXPECT_EQ(c.backward_points, unlimited.backward_points / 2);
    EXPECT_EQ(c.point_count(), p.capacity - 1);
    EXPECT_EQ(c.messages, std::vector<std::int64_t>{k501});

    // Backward only: the points run from the start towards the unstable node.
    p = full;
    p.directions = Directions::backward;
    const Curve b = trace_residue_curve(p);
    EXPECT_EQ(b.order, -2);
    EXPECT_EQ(b.point_count(), unlimited.backward_points);
    EXPECT_EQ(b.points[0], 0.3);
}

TEST_F(ResidueCurves, StopModesEndOnlyNearTheSingularPointsTheyLookFor) {
    auto singular = testing::reference_singular_points(kBtx, "UNIFAC");
    CurveProblem p = through(System::benzene_toluene_pxylene, {0.3, 0.3, 0.4});
    p.directions = Directions::forward;
    p.stop = StopMode::at_node;
    p.singular_points = singular;
    p.capacity = 120;
    EXPECT_EQ(trace_residue_curve(p).error, kResidueCurveOk);
    // The same stable node labelled a saddle: at_node no longer ends there ...
    p.singular_points[2].stability = azeotrope::Stability::saddle;
    const Curve c = trace_residue_curve(p);
    EXPECT_EQ(c.error, kResidueCurvePointBudget);
    EXPECT_EQ(c.point_count(), p.capacity);
    // ... while at_singular_point still does.
    p.stop = StopMode::at_singular_point;
    EXPECT_EQ(trace_residue_curve(p).error, kResidueCurveOk);
}

TEST_F(ResidueCurves, ByReferenceRoutineReturnsThePlainCurveAndWritesTheRunLog) {
    const CurveSystem s = testing::system(System::acetone_chloroform_methanol);
    const std::int64_t nc = 3, both = 1, at_rest = 2, nsing = 0, phases = 2, length = 10;
    const double x0[3] = {0.3, 0.3, 0.4}, pressure = s.pressure, step = 0.3;
    const char option_set[10] = {'N', 'R', 'T', 'L', ' ', ' ', ' ', ' ', ' ', ' '};
    std::int64_t points = 500, order = 0, error = 99;
    std::vector<double> result(1500, 0.0);
    residue_curve(&nc, x0, &both, &at_rest, &nsing, nullptr, nullptr, &pressure,
                  s.components.data(), option_set, &phases, &step, &points, &order, result.data(),
                  &error, &length);
    const Curve plain =
        trace_residue_curve(through(System::acetone_chloroform_methanol, {0.3, 0.3, 0.4}));
    ASSERT_EQ(error, 0);
    EXPECT_EQ(order, 2);
    ASSERT_EQ(points, static_cast<std::int64_t>(plain.point_count()));
    for (std::size_t k = 0; k < plain.points.size(); ++k) {
        ASSERT_NEAR(result[k], plain.points[k], 1e-9) << k;
    }
    for (std::size_t k = plain.points.size(); k < result.size(); ++k) {
        ASSERT_EQ(result[k], -1.0);
    }
    EXPECT_EQ(residue_curve_settings().component_count, 3);
    EXPECT_EQ(residue_curve_settings().pressure, pressure);

    // Budget exhausted: the text of 501 goes to the run log, once per branch.
    const double vertex[3] = {0.0, 0.0, 1.0};
    points = 20;
    residue_curve(&nc, vertex, &both, &at_rest, &nsing, nullptr, nullptr, &pressure,
                  s.components.data(), option_set, &phases, &step, &points, &order, result.data(),
                  &error, &length);
    EXPECT_EQ(error, kResidueCurvePointBudget);
    EXPECT_EQ(testing::run_log_lines(),
              std::vector<std::string>(2, std::string(engine::core::message_text(k501))));

    // Arguments that describe no curve: a code, no crash, nothing traced or logged.
    testing::reset_run_log();
    const std::int64_t one = 1, bad_direction = 4, negative = -1;
    const double nan_start[3] = {NAN, 0.5, 0.5};
    const auto call = [&](const std::int64_t* n, const double* x, const std::int64_t* d,
                          const std::int64_t* ns, double* r) {
        points = 500;
        error = 99;
        residue_curve(n, x, d, &at_rest, ns, nullptr, nullptr, &pressure, s.components.data(),
                      option_set, &phases, &step, &points, &order, r, &error, &length);
        return error;
    };
    EXPECT_EQ(call(&one, x0, &both, &nsing, result.data()), kCurveBadArguments);
    EXPECT_EQ(call(&nc, x0, &bad_direction, &nsing, result.data()), kCurveBadArguments);
    EXPECT_EQ(call(&nc, x0, &both, &negative, result.data()), kCurveBadArguments);
    EXPECT_EQ(call(&nc, nan_start, &both, &nsing, result.data()), kCurveBadArguments);
    EXPECT_EQ(call(&nc, x0, &both, &nsing, nullptr), kCurveBadArguments);
    EXPECT_EQ(call(nullptr, x0, &both, &nsing, result.data()), kCurveBadArguments);
    EXPECT_TRUE(testing::run_log_lines().empty());
}

}  // namespace
}  // namespace rcm
