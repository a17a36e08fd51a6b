// The crossing search and the column assembled around it, on constructed profiles whose
// crossing is known by construction (no flashes).
#include <gtest/gtest.h>

#include <vector>

#include "design/bv_design.hpp"
#include "design/profiles.hpp"

namespace design {
namespace {

/// A profile of points (x0, x1), closed with x2 = 1 - x0 - x1, and temperatures T0 + dT k.
Profile make_profile(const std::vector<std::pair<double, double>>& points,
                     double T0,
                     double dT,
                     std::size_t max_stages) {
    Profile p;
    p.x.assign(3 * max_stages, -1.0);
    p.y.assign(3 * max_stages, -1.0);
    p.T.assign(max_stages, -1.0);
    for (std::size_t k = 0; k < points.size(); ++k) {
        p.x[3 * k] = points[k].first;
        p.x[3 * k + 1] = points[k].second;
        p.x[3 * k + 2] = 1.0 - points[k].first - points[k].second;
        // A vapour distinguishable from the liquid: shifted along x0.
        p.y[3 * k] = points[k].first + 0.01;
        p.y[3 * k + 1] = points[k].second;
        p.y[3 * k + 2] = p.x[3 * k + 2] - 0.01;
        p.T[k] = T0 + dT * static_cast<double>(k + 1);
    }
    p.count = static_cast<std::int64_t>(points.size());
    return p;
}

/// Rectifying profile along x1 = 0.5 with x0 = 0.1 k, and a stripping profile along x0 = 0.425
/// with x1 = 0.5 + 0.05 (6.5 - j): they cross on rectifying segment 4-5 at s = 0.25 and on
/// stripping segment 6-7 at t = 0.5, so p_R = 4.25 and p_S = 6.5.
struct CrossingAt425And65 : ::testing::Test {
    static constexpr std::size_t kMaxStages = 10;
    Profile rect, strip;
    void SetUp() override {
        std::vector<std::pair<double, double>> a, b;
        for (int k = 1; k <= 8; ++k) { a.emplace_back(0.1 * k, 0.5); }
        for (int j = 1; j <= 9; ++j) { b.emplace_back(0.425, 0.5 + 0.05 * (6.5 - j)); }
        rect = make_profile(a, 340.0, 1.0, kMaxStages);
        strip = make_profile(b, 400.0, -1.0, kMaxStages);
    }
};

TEST_F(CrossingAt425And65, TheSearchFindsBothFractionalPositions) {
    const Intersection hit = find_intersection(3, rect.x, rect.count, 2, rect.count, strip.x,
                                               strip.count, 1, strip.count);
    ASSERT_TRUE(hit.found);
    EXPECT_NEAR(hit.p_A, 4.25, 1e-12);
    EXPECT_NEAR(hit.p_B, 6.5, 1e-12);
    EXPECT_NEAR(hit.x[0], 0.425, 1e-12);
    EXPECT_NEAR(hit.x[1], 0.5, 1e-12);
    EXPECT_NEAR(hit.x[2], 0.075, 1e-12);  // the last fraction by closure
}

TEST_F(CrossingAt425And65, TheColumnIsNumberedFromTheTopAroundTheFeedPoint) {
    const Intersection hit = find_intersection(3, rect.x, rect.count, 2, rect.count, strip.x,
                                               strip.count, 1, strip.count);
    ASSERT_TRUE(hit.found);
    ColumnProfile col = empty_column(3, kMaxStages);
    const std::vector<double> y_feed{0.6, 0.3, 0.1};
    const std::vector<double> y_top{0.9, 0.05, 0.05};
    assemble_column(rect, strip, hit, 377.0, y_feed, false, y_top, kMaxStages, col);

    // Hand numbers: 4.25 + 6.5 - 1 = 9.75 stages, ten whole ones, the feed on stage 5.
    EXPECT_NEAR(col.dbStage_Rect, 9.75, 1e-12);
    EXPECT_NEAR(col.dbStages_Strip, 4.25, 1e-12);
    EXPECT_EQ(col.r_n_Stages, 10);
    EXPECT_EQ(col.r_Feed_Stage, 5);
    // Rectifying stages 1-4, the feed point, stripping stages 6, 5, ..., 1.
    ASSERT_EQ(col.iN_Col, 11);
    const double stages[11] = {1, 2, 3, 4, 4.25, 4.75, 5.75, 6.75, 7.75, 8.75, 9.75};
    for (std::size_t k = 0; k < 11; ++k) {
        EXPECT_NEAR(col.Stage_Col[k], stages[k], 1e-12) << "point " << k;
    }
    EXPECT_EQ(col.Stage_Col[11], -1.0);
    EXPECT_EQ(col.T_Col[0], 341.0);
    EXPECT_EQ(col.T_Col[3], 344.0);
    EXPECT_EQ(col.T_Col[4], 377.0);
    EXPECT_EQ(col.T_Col[5], 394.0);   // stripping stage 6
    EXPECT_EQ(col.T_Col[10], 399.0);  // the reboiler
    EXPECT_NEAR(col.x_Col[3 * 4 + 0], 0.425, 1e-12);
    EXPECT_EQ(col.y_Col[3 * 4 + 0], 0.6);
    EXPECT_EQ(col.x_Col[3 * 10 + 1], strip.x[1]);

    // Truncated profiles end in the crossing point.
    EXPECT_EQ(col.iN_Rect_f, 5);
    EXPECT_EQ(col.iN_Strip_f, 7);
    EXPECT_NEAR(col.x_Rect_f[3 * 4], 0.425, 1e-12);
    EXPECT_EQ(col.x_Rect_f[3 * 3], rect.x[3 * 3]);
    EXPECT_NEAR(col.x_Strip_f[3 * 6 + 1], 0.5, 1e-12);
    EXPECT_EQ(col.x_Rect_f[3 * 5], -1.0);

    // Ten stages and eleven points: the estimates are the column without its feed point.
    ASSERT_EQ(col.estimates, 10);
    const double T_est[10] = {341, 342, 343, 344, 394, 395, 396, 397, 398, 399};
    for (std::size_t k = 0; k < 10; ++k) { EXPECT_EQ(col.T_est[k], T_est[k]) << "stage " << k; }
    EXPECT_EQ(col.X_est[0], rect.x[0]);

    // With a decanter the first liquid estimate is the top vapour.
    ColumnProfile dec = empty_column(3, kMaxStages);
    assemble_column(rect, strip, hit, 377.0, y_feed, true, y_top, kMaxStages, dec);
    EXPECT_EQ(dec.X_est[0], 0.9);
    EXPECT_EQ(dec.X_est[2], 0.05);
    EXPECT_EQ(dec.X_est[3], rect.x[3]);
}

TEST_F(CrossingAt425And65, FractionsAddingToAWholeStageKeepTheFeedPointInTheEstimates) {
    // p_R = 4.75 and p_S = 6.5: 10.25 stages, eleven whole ones, as many as column points.
    Intersection hit;
    hit.found = true;
    hit.x = {0.475, 0.5, 0.025};
    hit.p_A = 4.75;
    hit.p_B = 6.5;
    ColumnProfile col = empty_column(3, kMaxStages);
    const std::vector<double> y{0.5, 0.4, 0.1};
    assemble_column(rect, strip, hit, 377.0, y, false, y, kMaxStages, col);
    EXPECT_EQ(col.r_n_Stages, 11);
    EXPECT_EQ(col.iN_Col, 11);
    EXPECT_EQ(col.estimates, 11);
    EXPECT_EQ(col.T_est[4], 377.0);
    EXPECT_NEAR(col.Stage_Col[5], 5.25, 1e-12);
}

TEST(IntersectionSearch, SegmentsTouchingAtTheirEndsCount) {
    // A ends where B starts: s = 1 and t = 0 exactly.
    const std::vector<double> A{0.0, 0.0, 1.0, 0.5, 0.0, 0.5};
    const std::vector<double> B{0.5, 0.0, 0.5, 0.5, 0.5, 0.0};
    const Intersection hit = find_intersection(3, A, 2, 1, 2, B, 2, 1, 2);
    ASSERT_TRUE(hit.found);
    EXPECT_EQ(hit.p_A, 2.0);
    EXPECT_EQ(hit.p_B, 1.0);
    EXPECT_EQ(hit.x[0], 0.5);
    EXPECT_EQ(hit.x[2], 0.5);
}

TEST(IntersectionSearch, CollinearOverlappingSegmentsNeverCross) {
    const std::vector<double> A{0.0, 0.0, 1.0, 0.5, 0.0, 0.5};
    const std::vector<double> B{0.25, 0.0, 0.75, 0.75, 0.0, 0.25};
    EXPECT_FALSE(find_intersection(3, A, 2, 1, 2, B, 2, 1, 2).found);
    // Nearly parallel (determinant below 1e-10) counts as parallel.
    const std::vector<double> C{0.25, -1e-11, 0.75, 0.75, 1e-11, 0.25};
    EXPECT_FALSE(find_intersection(3, A, 2, 1, 2, C, 2, 1, 2).found);
}

TEST(IntersectionSearch, TheFirstRectifyingSegmentWinsAndTheStageRangesAreRespected) {
    // A zigzags across the line x1 = 0.3 twice; B runs along it.
    const std::vector<double> A{0.1, 0.1, 0.8, 0.2, 0.5, 0.3, 0.3, 0.1, 0.6, 0.4, 0.5, 0.1};
    const std::vector<double> B{0.0, 0.3, 0.7, 0.9, 0.3, -0.2};
    const Intersection first = find_intersection(3, A, 4, 1, 4, B, 2, 1, 2);
    ASSERT_TRUE(first.found);
    EXPECT_NEAR(first.p_A, 1.5, 1e-12);
    // Starting at A's stage 2 finds the second crossing instead.
    const Intersection second = find_intersection(3, A, 4, 2, 4, B, 2, 1, 2);
    ASSERT_TRUE(second.found);
    EXPECT_NEAR(second.p_A, 2.5, 1e-12);
    // Profiles of one stage have no segment.
    EXPECT_FALSE(find_intersection(3, A, 1, 1, 1, B, 2, 1, 2).found);
    EXPECT_FALSE(find_intersection(3, A, 4, 1, 4, B, 1, 1, 1).found);
    // Counts beyond the arrays are clipped, not read.
    EXPECT_TRUE(find_intersection(3, A, 400, 1, 400, B, 200, 1, 200).found);
}

TEST(ColumnAssembly, ACrossingAtTheVeryLastStagesStaysInsideTheArrays) {
    // Both crossings exactly at the last stage of four: the crossing point is that stage, and
    // the column must not need 2 M + 1 points.
    constexpr std::size_t kMax = 4;
    const Profile rect =
        make_profile({{0.9, 0.05}, {0.8, 0.1}, {0.7, 0.15}, {0.6, 0.2}}, 340.0, 1.0, kMax);
    const Profile strip =
        make_profile({{0.1, 0.2}, {0.3, 0.2}, {0.5, 0.2}, {0.6, 0.2}}, 400.0, -1.0, kMax);
    Intersection hit;
    hit.found = true;
    hit.x = {0.6, 0.2, 0.2};
    hit.p_A = 4.0;
    hit.p_B = 4.0;
    ColumnProfile col = empty_column(3, kMax);
    const std::vector<double> y{0.7, 0.2, 0.1};
    assemble_column(rect, strip, hit, 370.0, y, false, y, kMax, col);
    EXPECT_EQ(col.x_Rect_f.size(), 3 * kMax);
    EXPECT_EQ(col.iN_Rect_f, 4);
    EXPECT_EQ(col.iN_Strip_f, 4);
    EXPECT_LE(col.iN_Col, static_cast<std::int64_t>(2 * kMax));
    EXPECT_EQ(col.Stage_Col.size(), 2 * kMax);
    EXPECT_EQ(col.Stage_Col[3], 4.0);  // the feed point
}

}  // namespace
}  // namespace design
