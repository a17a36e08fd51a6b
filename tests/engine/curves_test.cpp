// Residue curves, distillation curves, boundaries and isovolatility curves through the
// distillation map, against the routines called directly with the same arguments, and the array
// layouts the map returns (rows = points, columns = components; curves x points x 3 with -1.0
// beyond a shorter curve).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine_test_support.hpp"
#include "rcm/dist_boundary.hpp"
#include "rcm/distillation_curve.hpp"
#include "rcm/isovolatility.hpp"
#include "rcm/residue_curve.hpp"

namespace engine::testing {
namespace {

using namespace platform;

constexpr std::int64_t kLength = 10;

/// The azeotrope search's singular points, as the map hands them to the routines.
struct Singular {
    LONG azeotropes = 0;
    DOUBLE* points = nullptr;
    LONGLONG* codes = nullptr;
    DOUBLE* temperatures = nullptr;
};

Singular singular_points(IAzeotropeSearch* search) {
    Singular s;
    search->get_NoAzeotropes(&s.azeotropes);
    search->get_CompositionMatrix(&s.points);
    search->get_StabilityIndex(&s.codes);
    search->get_BPTemperatures(&s.temperatures);
    return s;
}

/// A map of the test problem for a ternary, with pure components and azeotropes searched.
Engine mapped(std::string_view top,
              std::string_view left,
              std::string_view right,
              std::string_view option_set) {
    Engine e = open_engine();
    EXPECT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), top, left, right, option_set, 2);
    CComVariant a, b, c, d;
    LONG n = 0;
    EXPECT_EQ(e.map->GetPureProperties(&a, &b, &c), S_OK);
    EXPECT_EQ(e.map->GetAzeotropes(&n, &a, &b, &c, &d), S_OK);
    return e;
}

char* field(std::string_view name, std::array<char, 10>& f) {
    f.fill('\0');
    std::copy(name.begin(), name.end(), f.begin());
    return f.data();
}

TEST(MapResidueCurve, EqualsTheTracerAndRunsFromTheLightestToTheHeaviestComponent) {
    Engine e = mapped("BENZENE", "TOLUENE", "PXYLENE", "IDEAL");
    LONG direction = 0;
    CComVariant curve;
    ASSERT_EQ(e.map->GetResidueCurve(doubles({0.2, 0.3, 0.5}), &direction, &curve), S_OK);
    LONG error = -1;
    e.map->get_ErrorCode(&error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(direction, 2);
    const Array a = read_array(curve);
    ASSERT_EQ(a.extents.size(), 2u);
    ASSERT_EQ(a.extents[1], 3);

    // residue_curve called directly: stop mode 2 (CurveCalcOption 2), no azeotrope.
    const Singular s = singular_points(e.search.get());
    ASSERT_EQ(s.azeotropes, 0);
    const std::int64_t nc = 3, directions = 1, stop = 2, nsing = 0, phases = 2;
    const std::array<std::int64_t, 3> idx{6, 7, 8};
    const std::array<double, 3> x0{0.2, 0.3, 0.5};
    const double pressure = kAtmosphere, step = 0.3;
    std::int64_t points = 500, order = 0, err = -1;
    std::vector<double> result(1500);
    std::array<char, 10> opset{};
    residue_curve(&nc, x0.data(), &directions, &stop, &nsing, s.points, s.codes, &pressure,
                  idx.data(), field("IDEAL", opset), &phases, &step, &points, &order, result.data(),
                  &err, &kLength);
    ASSERT_EQ(a.extents[0], points);
    for (std::int64_t p = 0; p < points; ++p) {
        for (int c = 0; c < 3; ++c) { EXPECT_EQ(a.at(p, c), result[p * 3 + c]); }
    }
    // Benzene (unstable node) to p-xylene (stable node), every point inside the triangle.
    EXPECT_GT(a.at(0, 0), 0.99);
    EXPECT_GT(a.at(points - 1, 2), 0.99);
    for (std::int64_t p = 0; p < points; ++p) {
        const double sum = a.at(p, 0) + a.at(p, 1) + a.at(p, 2);
        EXPECT_NEAR(sum, 1.0, 1e-9);
        for (int c = 0; c < 3; ++c) { EXPECT_GE(a.at(p, c), 0.0); }
    }
    // The bubble temperature rises along the forward direction.
    double previous = 0.0;
    for (std::int64_t p = 0; p < points; p += 5) {
        DOUBLE t = 0.0;
        ASSERT_EQ(e.map->GetBoilingPoint(doubles({a.at(p, 0), a.at(p, 1), a.at(p, 2)}), &t), S_OK);
        EXPECT_GT(t, previous - 1e-9) << "point " << p;
        previous = t;
    }
}

TEST(MapDistillationCurve, EqualsTheRoutineAndStopsOnlyAtNodesWithOptionOne) {
    Engine e = mapped("ACETONE", "CHCL3", "MEOH", "NRTL");
    ASSERT_EQ(e.map->put_CurveCalcOption(1), S_OK);
    LONG direction = 0;
    CComVariant curve;
    ASSERT_EQ(e.map->GetDistillationCurve(doubles({0.3, 0.4, 0.3}), &direction, &curve), S_OK);
    const Array a = read_array(curve);
    const Singular s = singular_points(e.search.get());
    ASSERT_GT(s.azeotropes, 0);
    // With azeotropes known and option 1 the map uses stop mode 1.
    const std::int64_t nc = 3, directions = 1, stop = 1, phases = 2;
    const std::int64_t nsing = s.azeotropes;
    const std::array<std::int64_t, 3> idx{1, 2, 3};
    const std::array<double, 3> x0{0.3, 0.4, 0.3};
    const double pressure = kAtmosphere;
    std::int64_t points = 500, order = 0, err = -1;
    std::vector<double> result(1500);
    std::array<char, 10> opset{};
    Distillation_Curve(&nc, x0.data(), &directions, &stop, &nsing, s.points, s.codes, &pressure,
                       idx.data(), field("NRTL", opset), &phases, &points, &order, result.data(),
                       &err, &kLength);
    ASSERT_EQ(a.extents, (std::vector<std::int64_t>{points, 3}));
    EXPECT_EQ(direction, order);
    LONG error = -5;
    e.map->get_ErrorCode(&error);
    EXPECT_EQ(error, err);
    for (std::int64_t p = 0; p < points; ++p) {
        for (int c = 0; c < 3; ++c) { EXPECT_EQ(a.at(p, c), result[p * 3 + c]); }
    }
}

TEST(MapResidueCurve, NeverEndsAtTheSingularPointsOfAnotherMixture) {
    // Singular points searched for acetone/chloroform/methanol, then the map switched to the
    // aromatics without a new search: the old points must not decide where the new curve ends
    // (acetone's corner is a saddle there, so a backward branch would never be allowed to stop
    // at benzene's corner and would run to its point budget, error 2).
    Engine e = mapped("ACETONE", "CHCL3", "MEOH", "NRTL");
    set_ternary(e.map.get(), "BENZENE", "TOLUENE", "PXYLENE", "IDEAL", 2);
    ASSERT_EQ(e.map->put_CurveCalcOption(1), S_OK);
    LONG direction = 0;
    CComVariant curve;
    ASSERT_EQ(e.map->GetResidueCurve(doubles({0.2, 0.3, 0.5}), &direction, &curve), S_OK);
    LONG error = -1;
    e.map->get_ErrorCode(&error);
    EXPECT_EQ(error, 0);
    const Array a = read_array(curve);
    EXPECT_LT(a.extents.at(0), 500);
    EXPECT_GT(a.at(0, 0), 0.99);
}

TEST(MapDistillationBoundary, EqualsTheRoutineWithEdgesSeparatricesAndPadding) {
    Engine e = mapped("ACETONE", "CHCL3", "MEOH", "NRTL");
    LONG curves = 0;
    CComVariant directions, store;
    ASSERT_EQ(e.map->GetDistillationBoundary(&curves, &directions, &store), S_OK);

    const Singular s = singular_points(e.search.get());
    const std::int64_t nc = 3, phases = 2, nsing = s.azeotropes;
    const std::array<std::int64_t, 3> idx{1, 2, 3};
    const double pressure = kAtmosphere, step = 0.3;
    std::int64_t count = 0, err = -1;
    std::vector<std::int64_t> counts(20, 0), dirs(20, 0);
    counts[0] = 500;
    std::vector<double> direct(20 * 500 * 3, -1.0);
    std::array<char, 10> opset{};
    Dist_Boundary(&nc, &pressure, &nsing, s.points, s.codes, s.temperatures, &step, idx.data(),
                  field("NRTL", opset), &phases, &count, counts.data(), direct.data(), dirs.data(),
                  &err, &kLength);
    ASSERT_EQ(curves, count);
    // Edges with four binary pieces around the three binary azeotropes, and separatrices of the
    // ternary saddle.
    EXPECT_GT(curves, 6);
    const Array d = read_array(directions);
    ASSERT_EQ(d.element, VT_I4);
    ASSERT_EQ(d.extents, (std::vector<std::int64_t>{curves}));
    const Array a = read_array(store);
    const std::int64_t longest = *std::max_element(counts.begin(), counts.begin() + count);
    ASSERT_EQ(a.extents, (std::vector<std::int64_t>{curves, longest, 3}));
    bool padded = false;
    for (std::int64_t c = 0; c < curves; ++c) {
        EXPECT_EQ(d.at(c), static_cast<double>(dirs[c]));
        for (std::int64_t p = 0; p < longest; ++p) {
            for (int k = 0; k < 3; ++k) {
                const double expected = p < counts[c] ? direct[(c * 500 + p) * 3 + k] : -1.0;
                EXPECT_EQ(a.at(c, p, k), expected);
                padded = padded || (p >= counts[c]);
            }
        }
    }
    EXPECT_TRUE(padded) << "the two-point edge curves are padded with -1.0";
}

TEST(MapIsovolatility, EqualsTheDriverAndGivesNoCurveForAnIdealMixture) {
    Engine e = mapped("ACETONE", "CHCL3", "MEOH", "NRTL");
    LONG curves = 0;
    CComVariant store;
    ASSERT_EQ(e.map->GetIsovolatilityCurve(&curves, &store), S_OK);
    const std::int64_t nc = 3, phases = 2;
    const std::array<std::int64_t, 3> idx{1, 2, 3};
    const double pressure = kAtmosphere;
    std::int64_t count = 20, err = -1;
    std::vector<std::int64_t> counts(20, 0);
    counts[0] = 500;
    std::vector<double> direct(20 * 500 * 3, -1.0);
    std::array<char, 10> opset{};
    Isovolatility_Curves(&nc, &pressure, idx.data(), &phases, field("NRTL", opset), &count,
                         counts.data(), direct.data(), &err, &kLength);
    ASSERT_EQ(curves, count);
    EXPECT_GE(curves, 1) << "acetone/chloroform have unit volatility at their azeotrope";
    const Array a = read_array(store);
    const std::int64_t longest = *std::max_element(counts.begin(), counts.begin() + count);
    ASSERT_EQ(a.extents, (std::vector<std::int64_t>{curves, longest, 3}));
    for (std::int64_t c = 0; c < curves; ++c) {
        for (std::int64_t p = 0; p < longest; ++p) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(a.at(c, p, k), p < counts[c] ? direct[(c * 500 + p) * 3 + k] : -1.0);
            }
        }
    }

    set_ternary(e.map.get(), "BENZENE", "TOLUENE", "PXYLENE", "IDEAL", 2);
    CComVariant none;
    ASSERT_EQ(e.map->GetIsovolatilityCurve(&curves, &none), S_OK);
    EXPECT_EQ(curves, 0);
    EXPECT_EQ(read_array(none).extents, (std::vector<std::int64_t>{0, 0, 3}));
}

}  // namespace
}  // namespace engine::testing
