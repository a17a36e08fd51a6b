// Unit-volatility curves through real host flashes: acetone/chloroform/methanol with NRTL
// (databank parameters; azeotropes from vle_acetone_chloroform_methanol_nrtl.json), the made-up
// constant-volatility ternary and benzene/toluene/p-xylene with UNIFAC, at 101325 Pa.
#include "rcm/isovolatility.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "properties/equilibrium.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace rcm {
namespace {

using testing::point;
using testing::System;

class Isovolatility : public ::testing::Test {
protected:
    void SetUp() override { RCM_OPEN_PROBLEM(); }
};

TEST_F(Isovolatility, MixturesWithoutAzeotropesHaveNoUnitVolatilityCurve) {
    for (const System s : {System::constant_alpha, System::benzene_toluene_pxylene}) {
        const IsovolatilityCurves found = isovolatility_curves(testing::system(s));
        EXPECT_EQ(found.error, 0);
        EXPECT_TRUE(found.curves.empty());
    }
    // The by-reference driver: no curves, and the store stays -1.0.
    const CurveSystem s = testing::system(System::constant_alpha);
    const std::int64_t nc = 3, phases = 2, length = 5;
    std::int64_t curves = 20, error = 99;
    std::vector<std::int64_t> counts(20, 0);
    counts[0] = 500;
    std::vector<double> store(20 * 500 * 3, 0.0);
    Isovolatility_Curves(&nc, &s.pressure, s.components.data(), &phases, "IDEAL", &curves,
                         counts.data(), store.data(), &error, &length);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(curves, 0);
    EXPECT_TRUE(std::all_of(store.begin(), store.end(), [](double v) { return v == -1.0; }));
}

TEST_F(Isovolatility, EachAcetoneChloroformMethanolCurveStartsAtItsAzeotropeAndCrossesTheSaddle) {
    const auto singular =
        testing::reference_singular_points("vle_acetone_chloroform_methanol_nrtl.json", "NRTL");
    const IsovolatilityCurves found =
        isovolatility_curves(testing::system(System::acetone_chloroform_methanol));
    ASSERT_EQ(found.curves.size(), 3u);
    // Excluded component 1, 2, 3: the chloroform/methanol, acetone/methanol and
    // acetone/chloroform azeotropes (reference singular points 5, 4, 3).
    const std::size_t azeotrope_of[3] = {5, 4, 3};
    for (const IsovolatilityCurve& c : found.curves) {
        const auto i = static_cast<std::size_t>(c.excluded - 1);
        const SingularPoint& az = singular[azeotrope_of[i]];
        const auto first = point(c.points, 3, 0);
        EXPECT_LT(first[i], 1e-4) << "on the pair's edge";
        for (std::size_t m = 0; m < 3; ++m) {
            EXPECT_NEAR(first[m], az.x[m], 0.01) << "excluded " << c.excluded;
        }
        // All three K-values are 1 at the ternary azeotrope, so every curve passes it.
        double closest = 1.0;
        for (std::size_t k = 0; k + 1 < c.point_count(); ++k) {
            // distance from the saddle to the chord between neighbouring points
            const auto a = point(c.points, 3, k), b = point(c.points, 3, k + 1);
            double ab2 = 0.0, ap_ab = 0.0;
            for (std::size_t m = 0; m < 3; ++m) {
                ab2 += (b[m] - a[m]) * (b[m] - a[m]);
                ap_ab += (singular[6].x[m] - a[m]) * (b[m] - a[m]);
            }
            const double s = std::clamp(ab2 > 0 ? ap_ab / ab2 : 0.0, 0.0, 1.0);
            double d2 = 0.0;
            for (std::size_t m = 0; m < 3; ++m) {
                d2 += std::pow(a[m] + s * (b[m] - a[m]) - singular[6].x[m], 2);
            }
            closest = std::min(closest, std::sqrt(d2));
        }
        EXPECT_LT(closest, 0.01) << "excluded " << c.excluded;
        // Each runs across to another edge (where the last corrector may leave the triangle);
        // one whose predictor crosses an edge ends exactly on it.
        const auto last = point(c.points, 3, c.point_count() - 1);
        EXPECT_LT(std::min({last[0], last[1], last[2]}), 0.03) << "excluded " << c.excluded;
        if (c.end == IsovolatilityEnd::predicted_edge) {
            EXPECT_EQ(std::min({last[0], last[1], last[2]}), 0.0) << "exactly on the edge";
        }
    }
}

TEST_F(Isovolatility, EveryCorrectedPointSatisfiesTheTargetWithinTheSecantTolerance) {
    const CurveSystem s = testing::system(System::acetone_chloroform_methanol);
    for (const double target : {1.0, 1.5}) {
        const IsovolatilityCurve c =
            trace_isovolatility_curve(s, 3, std::vector<double>{0.5, 0.5, 0.0}, target);
        ASSERT_GT(c.point_count(), 5u);
        for (std::size_t k = 0; k < c.point_count(); ++k) {
            if (k + 1 == c.point_count() && c.end == IsovolatilityEnd::predicted_edge) { break; }
            const auto x = point(c.points, 3, k);
            properties::FlashRequest r;
            r.phase_count = 2;
            r.option_set = s.option_set;
            r.components = s.components;
            r.composition = x;
            r.pressure = s.pressure;
            const properties::FlashResult f = properties::calc_flash(r);
            ASSERT_TRUE(f.converged());
            EXPECT_LT(std::abs(f.y[0] / x[0] - target * f.y[1] / x[1]), kIsovolatilityTolerance)
                << "target " << target << ", point " << k;
            EXPECT_NEAR(c.temperatures[k], f.temperature, 1e-6);
            EXPECT_NEAR(c.k_excluded[k], f.y[2] / x[2], 1e-6 * f.y[2] / x[2]);
        }
    }
}

TEST_F(Isovolatility, SingleCurveTracerByReference) {
    const CurveSystem s = testing::system(System::acetone_chloroform_methanol);
    const std::int64_t unused = 0, nc = 3, pair = 3, capacity = 500, phases = 2, length = 4;
    const double start[3] = {0.5, 0.5, 0.0}, target = 1.0;
    std::int64_t status = 4, found = -1;
    std::vector<double> t(500), k(500), x1(500), x2(500), x3(500);
    const auto trace = [&](const double* x, const std::int64_t* selector) {
        Isovolatility_Curve(&status, &unused, &s.pressure, &nc, s.components.data(), selector, x,
                            &target, &capacity, &found, nullptr, t.data(), k.data(), x1.data(),
                            x2.data(), x3.data(), &phases, "NRTL", &length);
    };
    trace(start, &pair);
    const IsovolatilityCurve plain = trace_isovolatility_curve(s, 3, start);
    ASSERT_EQ(found, static_cast<std::int64_t>(plain.point_count()));
    EXPECT_EQ(status, 4);
    for (std::size_t p = 0; p < plain.point_count(); ++p) {
        EXPECT_EQ(x1[p], plain.points[3 * p]);
        EXPECT_EQ(x3[p], plain.points[3 * p + 2]);
        EXPECT_EQ(t[p], plain.temperatures[p]);
    }
    // The point capacity ends a curve.
    const IsovolatilityCurve short_curve = trace_isovolatility_curve(s, 3, start, 1.0, 3);
    EXPECT_EQ(short_curve.point_count(), 3u);
    EXPECT_EQ(short_curve.end, IsovolatilityEnd::capacity);
    // A pair component absent from the start: no curve, and a status of 2 or more becomes 1.
    const double absent[3] = {0.0, 1.0, 0.0};
    trace(absent, &pair);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(status, 1);
    const std::int64_t bad_pair = 4;
    trace(start, &bad_pair);
    EXPECT_EQ(status, kCurveBadArguments);
    EXPECT_EQ(found, 0);
}

}  // namespace
}  // namespace rcm
