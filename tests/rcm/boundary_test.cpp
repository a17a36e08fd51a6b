// Distillation boundaries through real host flashes, with the singular points of the reference
// files (data/reference/vle_*.json) or of the azeotrope search: acetone/chloroform/methanol with
// NRTL, benzene/toluene/p-xylene and ethanol/water/benzene with original UNIFAC (databank
// parameters), the made-up constant-volatility ternary, all at 101325 Pa.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "rcm/dist_boundary.hpp"
#include "rcm/residue_curve.hpp"
#include "tests/rcm/rcm_test_support.hpp"

namespace rcm {
namespace {

using testing::nearest;
using testing::point;
using testing::System;

constexpr const char* kAcm = "vle_acetone_chloroform_methanol_nrtl.json";

class Boundaries : public ::testing::Test {
protected:
    void SetUp() override {
        RCM_OPEN_PROBLEM();
        testing::reset_run_log();
    }
    static BoundaryProblem problem(System s, std::vector<SingularPoint> singular) {
        BoundaryProblem p;
        p.system = testing::system(s);
        p.singular_points = std::move(singular);
        return p;
    }
};

TEST_F(Boundaries, ZeotropicTernaryGivesExactlyTheThreeEdgesDirectedByBoilingPoints) {
    const auto singular =
        testing::reference_singular_points("vle_benzene_toluene_pxylene.json", "UNIFAC");
    const BoundarySet set =
        distillation_boundaries(problem(System::benzene_toluene_pxylene, singular));
    ASSERT_EQ(set.error, 0);
    ASSERT_EQ(set.curves.size(), 3u);
    const std::pair<std::size_t, std::size_t> edges[3] = {{0, 1}, {0, 2}, {1, 2}};
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(set.curves[c].kind, BoundaryKind::edge);
        EXPECT_EQ(set.curves[c].from, edges[c].first);
        EXPECT_EQ(set.curves[c].to, edges[c].second);
        EXPECT_EQ(set.curves[c].points.size(), 6u);
        EXPECT_EQ(set.curves[c].direction, 2);  // benzene < toluene < p-xylene
    }
    // Without singular points (the by-reference arrays absent) the boiling points are flashed.
    // The made-up ternary's components boil at about 352, 375 and 401 K.
    const CurveSystem s = testing::system(System::constant_alpha);
    const std::int64_t nc = 3, nsing = 0, phases = 2, length = 5;
    const double step = 0.3;
    std::int64_t curves = -1, error = 99;
    std::vector<std::int64_t> counts(20, 7), directions(20, 7);
    counts[0] = 500;
    std::vector<double> store(20 * 500 * 3, 0.0);
    Dist_Boundary(&nc, &s.pressure, &nsing, nullptr, nullptr, nullptr, &step, s.components.data(),
                  "IDEAL", &phases, &curves, counts.data(), store.data(), directions.data(), &error,
                  &length);
    ASSERT_EQ(error, 0);
    ASSERT_EQ(curves, 3);
    EXPECT_EQ(std::vector<std::int64_t>(counts.begin(), counts.begin() + 4),
              (std::vector<std::int64_t>{2, 2, 2, 0}));
    EXPECT_EQ(std::vector<std::int64_t>(directions.begin(), directions.begin() + 4),
              (std::vector<std::int64_t>{2, 2, 2, 0}));
    // Curve c starts at point slot 500 c: the (2, 3) edge is its third curve.
    EXPECT_EQ(std::vector<double>(store.begin() + 3000, store.begin() + 3006),
              (std::vector<double>{0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(store[6], -1.0);
    EXPECT_EQ(store.back(), -1.0);
}

/// The separatrices of a set end at distinct nodes; returns the nodes' indices.
std::set<std::size_t> separatrix_ends(const BoundarySet& set,
                                      const std::vector<SingularPoint>& singular) {
    std::set<std::size_t> ends;
    for (const BoundaryCurve& c : set.curves) {
        if (c.kind != BoundaryKind::separatrix) { continue; }
        const auto end = nearest(point(c.points, 3, c.points.size() / 3 - 1), singular);
        EXPECT_LT(end.distance, 0.01);
        const azeotrope::Stability wanted = c.direction == 2 ? azeotrope::Stability::stable_node
                                                             : azeotrope::Stability::unstable_node;
        EXPECT_EQ(singular[end.index].stability, wanted) << "separatrix from " << c.from;
        EXPECT_EQ(c.trace_error, 0);
        ends.insert(end.index);
    }
    return ends;
}

TEST_F(Boundaries, TernarySaddleSeparatricesDivideAcetoneChloroformMethanolIntoFourRegions) {
    const auto singular = testing::reference_singular_points(kAcm, "NRTL");
    const BoundarySet set =
        distillation_boundaries(problem(System::acetone_chloroform_methanol, singular));
    ASSERT_EQ(set.error, 0);
    // Three edges split by their azeotropes, then the four branches of the ternary saddle.
    ASSERT_EQ(set.curves.size(), 10u);
    const std::int64_t edge_directions[6] = {2, -2, -2, 2, -2, 2};  // by the reference T
    for (std::size_t c = 0; c < 6; ++c) {
        EXPECT_EQ(set.curves[c].kind, BoundaryKind::edge);
        EXPECT_EQ(set.curves[c].direction, edge_directions[c]) << c;
    }
    for (std::size_t c = 6; c < 10; ++c) {
        EXPECT_EQ(set.curves[c].kind, BoundaryKind::separatrix);
        EXPECT_EQ(set.curves[c].from, 6u);
    }
    // Two run to the stable nodes (methanol, acetone/chloroform), two come from the unstable
    // ones (the two methanol azeotropes): a cross through the saddle, four regions.
    EXPECT_EQ(separatrix_ends(set, singular), (std::set<std::size_t>{2, 3, 4, 5}));

    // The same from the azeotrope search's own singular points (an independent route to them).
    azeotrope::SearchProblem search;
    search.components = testing::system(System::acetone_chloroform_methanol).components;
    search.pressure = testing::kAtmosphere;
    search.option_set = "NRTL";
    const azeotrope::SearchResult found = azeotrope::search(search);
    ASSERT_EQ(found.error, azeotrope::kSearchOk);
    const std::vector<SingularPoint> searched = singular_points_from_search(found);
    ASSERT_EQ(searched.size(), 7u);
    const BoundarySet again =
        distillation_boundaries(problem(System::acetone_chloroform_methanol, searched));
    EXPECT_EQ(again.error, 0);
    EXPECT_EQ(again.curves.size(), 10u);
    EXPECT_EQ(separatrix_ends(again, searched).size(), 4u);
}

TEST_F(Boundaries, SaddlesOnEdgesSendOneSeparatrixEachIntoTheTriangle) {
    // Ethyl acetate/ethanol/water with VLE-regressed NRTL: three binary saddle azeotropes and a
    // homogeneous ternary unstable node (reference singular points 3, 4, 5 and 6).
    const auto singular =
        testing::reference_singular_points("vle_ethyl_acetate_ethanol_water_nrtl.json", "NRTL");
    const BoundarySet set =
        distillation_boundaries(problem(System::ethyl_acetate_ethanol_water, singular));
    ASSERT_EQ(set.error, 0);
    ASSERT_EQ(set.curves.size(), 9u);
    for (std::size_t c = 6; c < 9; ++c) {
        EXPECT_EQ(set.curves[c].kind, BoundaryKind::separatrix);
        EXPECT_EQ(set.curves[c].from, c - 3);
        // Away from the edge, into the triangle: the saddle's absent component appears.
        const auto start = point(set.curves[c].points, 3, 0);
        EXPECT_GT(std::min({start[0], start[1], start[2]}), 1e-4);
    }
    // Each enters its saddle from the ternary azeotrope: traced backward, ending there.
    EXPECT_EQ(separatrix_ends(set, singular), std::set<std::size_t>{6});
}

TEST_F(Boundaries, HeterogeneousEthanolWaterBenzeneBoundariesJoinTheBinaryAndTernaryAzeotropes) {
    if (!testing::two_liquid_bubble_points_available()) {
        GTEST_SKIP() << "the host's bubble points with phase count 3 do not reproduce the "
                        "reference three-phase bubble point yet, so the heteroazeotropes are not "
                        "singular points of the field";
    }
    const auto singular =
        testing::reference_singular_points("vle_ethanol_water_benzene_unifac.json", "UNIFAC");
    BoundaryProblem p = problem(System::ethanol_water_benzene, singular);
    p.system.phase_count = 3;
    const BoundarySet set = distillation_boundaries(p);
    // Three edges split by the binary saddles, and one separatrix from each of them into the
    // triangle, back to the ternary heteroazeotrope (the unstable node): three regions.
    ASSERT_EQ(set.curves.size(), 9u);
    for (std::size_t c = 6; c < 9; ++c) {
        EXPECT_EQ(set.curves[c].kind, BoundaryKind::separatrix);
        EXPECT_EQ(set.curves[c].direction, -2);
    }
    EXPECT_EQ(separatrix_ends(set, singular), std::set<std::size_t>{6});
}

TEST_F(Boundaries, StoreCapacitiesAreNeverExceeded) {
    const auto singular = testing::reference_singular_points(kAcm, "NRTL");
    BoundaryProblem p = problem(System::acetone_chloroform_methanol, singular);
    p.curve_capacity = 8;
    p.point_capacity = 12;
    const BoundarySet set = distillation_boundaries(p);
    EXPECT_EQ(set.curves.size(), 8u);
    EXPECT_EQ(set.error, kBoundaryIncomplete);
    for (const BoundaryCurve& c : set.curves) { EXPECT_LE(c.points.size(), 12u * 3); }
    // Both separatrices that fit ran out of points (501, then 512 each), and the store ran out of
    // slots (512 once more).
    EXPECT_EQ(std::count(set.messages.begin(), set.messages.end(), 512), 3);
    EXPECT_EQ(std::count(set.messages.begin(), set.messages.end(), 501), 2);

    // By reference, a capacity above 500 is held to 500 and nothing is written past 20 curves.
    const CurveSystem s = testing::system(System::acetone_chloroform_methanol);
    std::vector<double> compositions, temperatures;
    std::vector<std::int64_t> codes;
    for (const SingularPoint& q : singular) {
        compositions.insert(compositions.end(), q.x.begin(), q.x.end());
        codes.push_back(static_cast<std::int64_t>(q.stability));
        temperatures.push_back(q.temperature);
    }
    const std::int64_t nc = 3, nsing = 4, phases = 2, length = 4;
    const double step = 0.3;
    std::int64_t curves = 0, error = 99;
    std::vector<std::int64_t> counts(21, -7), directions(21, -7);
    counts[0] = 1000;
    std::vector<double> store(20 * 500 * 3 + 1, 0.0);
    Dist_Boundary(&nc, &s.pressure, &nsing, compositions.data(), codes.data(), temperatures.data(),
                  &step, s.components.data(), "NRTL", &phases, &curves, counts.data(), store.data(),
                  directions.data(), &error, &length);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(curves, 10);
    EXPECT_EQ(counts[20], -7);
    EXPECT_EQ(directions[20], -7);
    EXPECT_EQ(store.back(), 0.0);
    for (std::size_t c = 6; c < 10; ++c) {
        EXPECT_GT(counts[c], 2);
        EXPECT_EQ(store[c * 1500 + 3 * static_cast<std::size_t>(counts[c])], -1.0);
    }
    EXPECT_TRUE(testing::run_log_lines().empty());

    // Arguments that describe no boundary set: a code and no curves, never a crash.
    const std::int64_t four = 4;
    Dist_Boundary(&four, &s.pressure, &nsing, compositions.data(), codes.data(),
                  temperatures.data(), &step, s.components.data(), "NRTL", &phases, &curves,
                  counts.data(), store.data(), directions.data(), &error, &length);
    EXPECT_EQ(error, kCurveBadArguments);
    EXPECT_EQ(curves, 0);
    const std::int64_t too_many = 1000;
    Dist_Boundary(&nc, &s.pressure, &too_many, compositions.data(), codes.data(),
                  temperatures.data(), &step, s.components.data(), "NRTL", &phases, &curves,
                  counts.data(), store.data(), directions.data(), &error, &length);
    EXPECT_EQ(error, kCurveBadArguments);
    error = 99;
    Dist_Boundary(&nc, &s.pressure, &nsing, compositions.data(), codes.data(), temperatures.data(),
                  &step, s.components.data(), "NRTL", &phases, &curves, counts.data(), nullptr,
                  directions.data(), &error, &length);
    EXPECT_EQ(error, kCurveBadArguments);
}

}  // namespace
}  // namespace rcm
