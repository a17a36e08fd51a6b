// Product streams over the full list benzene / toluene / p-xylene / n-octane (host indices 1-4)
// at 101325 Pa, Raoult's law (IDEAL). Bubble temperatures are checked against
// data/reference/vle_benzene_toluene_pxylene.json ("Ideal"; 1e-6 K).
#include "design/product_streams.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "design/feed.hpp"
#include "properties/equilibrium.hpp"
#include "tests/design/design_problem.hpp"

namespace design {
namespace {

constexpr std::size_t kNcc = 4;

struct Streams : ::testing::Test {
    std::vector<std::int64_t> idx{1, 2, 3};
    // Feed: benzene 40, toluene 20, p-xylene 30, n-octane 10; entries 7 and 8 carried over.
    std::vector<double> feed{40, 20, 30, 10, 100, 350, 101325, 0, 0, 1, 77.0, 88.0, 95.0};
    std::vector<double> mol_wt{78.11, 92.14, 106.17, 114.23};
    std::vector<double> mapping = std::vector<double>(12, 0.0);
    std::vector<double> x_dist{0.25, 0.25, 0.5}, x_bot{0.25, 0.25, 0.5};
    void SetUp() override {
        DESIGN_OPEN_PROBLEM();
        // p-xylene and n-octane both count as selected component 3.
        mapping[0] = mapping[4 + 1] = mapping[8 + 2] = mapping[8 + 3] = 1.0;
    }
    ProductStreamInput input(std::int64_t un_Map) const {
        ProductStreamInput in;
        in.ncc = kNcc;
        in.nselcomp = 3;
        in.idx = idx;
        in.opset = "IDEAL";
        in.pres = testing::kAtmosphere;
        in.feed = feed;
        in.un_Map = un_Map;
        in.mapping = mapping;
        in.mol_wt = mol_wt;
        in.D_Flow = 40.0;
        in.x_dist = x_dist;
        in.B_Flow = 60.0;
        in.x_bot = x_bot;
        return in;
    }
};

TEST_F(Streams, ALumpedComponentIsSharedInTheFeedsProportions) {
    // Selected component 3 gets 40 * 0.5 = 20 in the distillate; its members had feed flows
    // 30 and 10, so 15 and 5.
    const ProductStreamResult r = create_product_streams(input(kDistributeThroughMapping));
    EXPECT_EQ(r.status1, 0);
    EXPECT_EQ(r.status2, 0);
    ASSERT_EQ(r.Dist_Stream.size(), kNcc + 9);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[0], 10.0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[1], 10.0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[2], 15.0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[3], 5.0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[kNcc], 40.0);
    EXPECT_DOUBLE_EQ(r.Bot_Stream[3], 7.5);
    // Molecular weight: sum of flow x MW over the total.
    EXPECT_NEAR(r.Dist_Stream[kNcc + 8],
                (10 * 78.11 + 10 * 92.14 + 15 * 106.17 + 5 * 114.23) / 40.0, 1e-12);
    EXPECT_EQ(r.Dist_Stream[kNcc + 2], testing::kAtmosphere);
    EXPECT_EQ(r.Dist_Stream[kNcc + 4], 0.0);
    EXPECT_EQ(r.Dist_Stream[kNcc + 5], 1.0);
    EXPECT_EQ(r.Dist_Stream[kNcc + 6], 77.0);
    EXPECT_EQ(r.Dist_Stream[kNcc + 7], 88.0);
    EXPECT_EQ(r.Bot_Stream[kNcc + 7], 88.0);
}

TEST_F(Streams, OneToOneLeavesTheOtherEntriesZeroAndFlashesAtTheReferenceBubblePoint) {
    const ProductStreamResult r = create_product_streams(input(0));
    EXPECT_EQ(r.status1, 0);
    EXPECT_EQ(r.status2, 0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[2], 20.0);
    EXPECT_EQ(r.Dist_Stream[3], 0.0);
    EXPECT_EQ(r.Bot_Stream[3], 0.0);
    // (0.25, 0.25, 0.5) is a point of the reference lattice.
    EXPECT_NEAR(r.Bot_Stream[kNcc + 1],
                testing::reference_temperature("vle_benzene_toluene_pxylene.json", "Ideal",
                                               "bubble_T", {0.25, 0.25, 0.5}),
                1e-6);
    // Enthalpy per mass times molecular weight is the molar liquid enthalpy at that
    // temperature.
    const std::vector<std::int64_t> full{1, 2, 3, 4};
    const std::vector<double> z{0.25, 0.25, 0.5, 0.0};
    const properties::EnthalpyResult h =
        properties::liquid_enthalpy(full, "IDEAL", r.Bot_Stream[kNcc + 1], testing::kAtmosphere, z);
    ASSERT_EQ(h.error_code, 0);
    EXPECT_NEAR(r.Bot_Stream[kNcc + 3] * r.Bot_Stream[kNcc + 8], h.enthalpy,
                1e-9 * std::fabs(h.enthalpy));
}

TEST_F(Streams, ASelectedComponentWithNoLumpedFeedFallsBackToOneToOne) {
    // Nothing of p-xylene or n-octane in the feed: component 3 has no proportions, so its
    // product flow goes to its own full-list position instead of being divided by zero.
    feed[2] = feed[3] = 0.0;
    const ProductStreamResult r = create_product_streams(input(kDistributeThroughMapping));
    EXPECT_EQ(r.status1, 0);
    EXPECT_DOUBLE_EQ(r.Dist_Stream[2], 20.0);
    EXPECT_EQ(r.Dist_Stream[3], 0.0);
    for (const double v : r.Dist_Stream) { EXPECT_TRUE(std::isfinite(v)); }
    EXPECT_DOUBLE_EQ(r.Dist_Stream[kNcc], 40.0);
}

TEST_F(Streams, AnEmptyProductHasNoTemperatureButNoNaNEither) {
    ProductStreamInput in = input(0);
    in.D_Flow = 0.0;
    const ProductStreamResult r = create_product_streams(in);
    EXPECT_EQ(r.status1, 0);
    for (const double v : r.Dist_Stream) { EXPECT_TRUE(std::isfinite(v)); }
    EXPECT_EQ(r.Dist_Stream[kNcc], 0.0);
    EXPECT_EQ(r.Dist_Stream[kNcc + 1], 0.0);
    EXPECT_GT(r.Bot_Stream[kNcc + 1], 0.0);
}

TEST_F(Streams, RefusedArgumentsAndFailedFlashesAreReported) {
    ProductStreamInput in = input(0);
    const std::vector<std::int64_t> outside{1, 2, 9};
    in.idx = outside;
    ProductStreamResult r = create_product_streams(in);
    EXPECT_EQ(r.status1, 1);
    for (const double v : r.Dist_Stream) { EXPECT_EQ(v, 0.0); }

    in = input(0);
    mol_wt[0] = -1.0;
    in.mol_wt = mol_wt;
    EXPECT_EQ(create_product_streams(in).status1, 1);
    mol_wt[0] = 78.11;

    in = input(0);
    in.pres = -5.0;
    r = create_product_streams(in);
    EXPECT_EQ(r.status1, 0);
    EXPECT_LT(r.status2, 0);
    EXPECT_EQ(r.Dist_Stream[kNcc + 1], 0.0);  // no temperature from a failed flash
    EXPECT_DOUBLE_EQ(r.Dist_Stream[kNcc], 40.0);
}

}  // namespace
}  // namespace design
