// The feed computation on a host stream of benzene / toluene / p-xylene / n-octane (host indices
// 1-4) at 101325 Pa with Raoult's law (option set IDEAL). Bubble and dew temperatures are
// checked against data/reference/vle_benzene_toluene_pxylene.json ("Ideal" model, computed
// independently on the same vapour pressures; tolerance 1e-6 K as its README states).
#include "design/feed.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "design/design_routines.h"
#include "properties/equilibrium.hpp"
#include "tests/design/design_problem.hpp"

namespace design {
namespace {

constexpr const char* kBtx = "vle_benzene_toluene_pxylene.json";
constexpr double kRefTolerance = 1e-6;  // [K], the reference file's stated tolerance

/// A stream vector over the full list (benzene, toluene, p-xylene, n-octane): flows, total,
/// temperature, pressure, enthalpy per mass, phase fractions, two carried entries, molar mass.
std::vector<double> stream(std::array<double, 4> flows, double H_per_mass = 0.0, double mw = 1.0) {
    std::vector<double> s(flows.begin(), flows.end());
    s.push_back(flows[0] + flows[1] + flows[2] + flows[3]);
    s.insert(s.end(), {350.0, testing::kAtmosphere, H_per_mass, 0.0, 1.0, 7.0, 8.0, mw});
    return s;
}

/// Full-list component i counted as selected component j (4 x 3, column by column).
std::vector<double> mapping(std::initializer_list<std::pair<int, int>> pairs) {
    std::vector<double> m(12, 0.0);
    for (const auto& [i, j] : pairs) { m[4 * j + i] = 1.0; }
    return m;
}

const std::vector<double> kIdentity = mapping({{0, 0}, {1, 1}, {2, 2}});

struct Feed : ::testing::Test {
    std::vector<std::int64_t> idx;
    void SetUp() override {
        DESIGN_OPEN_PROBLEM();
        idx = testing::components({"BENZENE", "TOLUENE", "PXYLENE"});
        ASSERT_EQ(idx, (std::vector<std::int64_t>{1, 2, 3}));
    }
    FeedInput input(const std::vector<double>& feed,
                    const std::vector<double>& map,
                    std::int64_t method) const {
        FeedInput in;
        in.ncc = 4;
        in.nComp = 3;
        in.idx = idx;
        in.opset = "IDEAL";
        in.pres = testing::kAtmosphere;
        in.feed = feed;
        in.mapping = map;
        in.enthalpy_method = method;
        return in;
    }
};

void expect_initial(const FeedResult& r) {
    EXPECT_EQ(r.q, 1.0);
    EXPECT_EQ(r.T_feed, -1.0);
    EXPECT_EQ(r.n_Basis_Comp(), 0);
    EXPECT_EQ(r.iMsg, 0);
}

TEST_F(Feed, EveryValidationPathReturnsItsCodeWithTheOutputsAsInitialised) {
    const std::vector<double> feed = stream({30, 30, 40, 0});

    FeedInput four = input(feed, kIdentity, 3);
    four.nComp = 4;
    FeedResult r = compute_feed(four);
    EXPECT_EQ(r.iErr, 1);
    EXPECT_EQ(r.F_flow, -1.0);
    EXPECT_EQ(r.x_feed, std::vector<double>(3, -1.0));  // never more than three entries
    expect_initial(r);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0],
              message_line("****** Fatal Internal Error in Corvane (Compute_feed) ***** "));
    EXPECT_EQ(r.messages[1],
              message_line("       Please close the simulation and contact Quorral Technology "));

    // Sensible flows, but the mapping adds up to 2: bad arguments all the same.
    r = compute_feed(input(feed, mapping({{0, 0}, {1, 1}}), 3));
    EXPECT_EQ(r.iErr, 1);
    EXPECT_EQ(r.F_flow, -1.0);
    expect_initial(r);

    FeedInput no_pressure = input(feed, kIdentity, 3);
    no_pressure.pres = 0.0;
    EXPECT_EQ(compute_feed(no_pressure).iErr, 1);
    no_pressure.pres = std::nan("");
    EXPECT_EQ(compute_feed(no_pressure).iErr, 1);
    std::vector<std::int64_t> unset{1, 0, 3};
    FeedInput zero_index = input(feed, kIdentity, 3);
    zero_index.idx = unset;
    EXPECT_EQ(compute_feed(zero_index).iErr, 1);

    // A negative flow in the stream: the stream input error, whose second line carries a NUL.
    const std::vector<double> negative = stream({30, -1, 40, 0});
    r = compute_feed(input(negative, kIdentity, 3));
    EXPECT_EQ(r.iErr, 1);
    EXPECT_EQ(r.F_flow, -1.0);
    expect_initial(r);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0], message_line("***** Error in Getting Stream Input *****"));
    const std::string second =
        std::string("      Please close the simulation and contact Quorral") + '\0' + "Technology ";
    EXPECT_EQ(r.messages[1], message_line(second));

    // Only n-octane flows, and it is not mapped: the mapped feed is empty.
    r = compute_feed(input(stream({0, 0, 0, 20}), kIdentity, 3));
    EXPECT_EQ(r.iErr, 2);
    EXPECT_EQ(r.F_flow, 0.0);
    EXPECT_EQ(r.x_feed, std::vector<double>(3, 0.0));
    expect_initial(r);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0],
              message_line("***** Error - After mapping, the feed flowrate is zero"));
    EXPECT_EQ(r.flashes, 0);
}

TEST_F(Feed, SaturatedLiquidAndVapourFeedsTakeTheBubbleAndDewTemperatures) {
    // Benzene, toluene, p-xylene 2:1:1 plus unmapped n-octane: x = (0.5, 0.25, 0.25).
    FeedResult r = compute_feed(input(stream({40, 20, 20, 10}), kIdentity, 3));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_DOUBLE_EQ(r.F_flow, 80.0);
    EXPECT_EQ(r.x_feed, (std::vector<double>{0.5, 0.25, 0.25}));
    EXPECT_EQ(r.q, 1.0);
    EXPECT_NEAR(r.T_feed, testing::reference_temperature(kBtx, "Ideal", "bubble_T", r.x_feed),
                kRefTolerance);
    // n-octane is left out, so the basis lists the mapped positions.
    EXPECT_EQ(r.basis_comp, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_TRUE(r.messages.empty());

    r = compute_feed(input(stream({30, 90, 30, 0}), kIdentity, 4));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_EQ(r.q, 0.0);
    EXPECT_NEAR(r.T_feed, testing::reference_temperature(kBtx, "Ideal", "dew_T", {0.2, 0.6, 0.2}),
                kRefTolerance);

    // Any other method leaves q and T_feed alone.
    r = compute_feed(input(stream({30, 90, 30, 0}), kIdentity, 5));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_EQ(r.q, 1.0);
    EXPECT_EQ(r.T_feed, -1.0);
    EXPECT_EQ(r.flashes, 0);
}

TEST_F(Feed, LumpingEveryComponentLeavesTheBasisListEmpty) {
    // n-octane lumped with p-xylene: every full-list component is mapped.
    const FeedResult r =
        compute_feed(input(stream({40, 20, 10, 10}), mapping({{0, 0}, {1, 1}, {2, 2}, {3, 2}}), 3));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_EQ(r.x_feed, (std::vector<double>{0.5, 0.25, 0.25}));
    EXPECT_EQ(r.n_Basis_Comp(), 0);
    EXPECT_TRUE(r.basis_comp.empty());
}

TEST_F(Feed, AZeroMappedFractionWarnsAndStillGivesQualityAndTemperature) {
    const FeedResult r = compute_feed(input(stream({50, 50, 0, 0}), kIdentity, 3));
    EXPECT_EQ(r.iErr, -4);
    EXPECT_EQ(r.q, 1.0);
    EXPECT_NEAR(r.T_feed,
                testing::reference_temperature(kBtx, "Ideal", "bubble_T", {0.5, 0.5, 0.0}),
                kRefTolerance);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0],
              message_line("***** Warning - The composition of one or more components in the "));
    EXPECT_EQ(r.messages[1], message_line("      \"mapped\" feed stream is zero"));
}

TEST_F(Feed, TheStreamEnthalpyGivesQualityAndTemperatureByAnIsenthalpicFlash) {
    // Independent route: an enthalpy evaluated at a chosen temperature and phase must come back
    // as that temperature, with the quality the saturated enthalpies imply.
    const std::vector<double> x{0.5, 0.25, 0.25};
    const double T_bubble = testing::reference_temperature(kBtx, "Ideal", "bubble_T", x);
    const double mw = 100.0;  // any: the routine multiplies it back
    const auto h_liquid = [&](double T) {
        return properties::liquid_enthalpy(idx, "IDEAL", T, testing::kAtmosphere, x).enthalpy;
    };
    const auto h_vapour = [&](double T) {
        return properties::vapour_enthalpy(idx, "IDEAL", T, testing::kAtmosphere, x).enthalpy;
    };

    // Saturated liquid: q = 1 up to rounding, T the bubble point.
    FeedResult r =
        compute_feed(input(stream({40, 20, 20, 0}, h_liquid(T_bubble) / mw, mw), kIdentity, 2));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_NEAR(r.q, 1.0, 1e-6);
    EXPECT_NEAR(r.T_feed, T_bubble, 1e-4);

    // Subcooled by 20 K: q > 1 and the temperature comes back.
    r = compute_feed(
        input(stream({40, 20, 20, 0}, h_liquid(T_bubble - 20.0) / mw, mw), kIdentity, 2));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_GT(r.q, 1.0);
    EXPECT_NEAR(r.T_feed, T_bubble - 20.0, 1e-5);

    // Superheated 20 K above the dew point: q < 0.
    properties::FlashRequest dew;
    dew.flash_type = "PV";
    dew.option_set = "IDEAL";
    dew.components = idx;
    dew.composition = x;
    dew.pressure = testing::kAtmosphere;
    dew.vapour_fraction = 1.0;
    const double T_dew = properties::calc_flash(dew).temperature;
    r = compute_feed(input(stream({40, 20, 20, 0}, h_vapour(T_dew + 20.0) / mw, mw), kIdentity, 2));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_LT(r.q, 0.0);
    EXPECT_NEAR(r.T_feed, T_dew + 20.0, 1e-5);

    // Half-way between the saturated enthalpies: a two-phase feed between the two temperatures.
    const double H_mid = 0.5 * (h_liquid(T_bubble) + h_vapour(T_dew));
    r = compute_feed(input(stream({40, 20, 20, 0}, H_mid / mw, mw), kIdentity, 2));
    EXPECT_EQ(r.iErr, 0);
    EXPECT_GT(r.q, 0.0);
    EXPECT_LT(r.q, 1.0);
    EXPECT_GT(r.T_feed, T_bubble);
    EXPECT_LT(r.T_feed, T_dew);

    // Method 1 on a stream whose full list is the selected one gives the same answer as 2.
    const FeedResult r1 =
        compute_feed(input(stream({40, 20, 20, 0}, H_mid / mw, mw), kIdentity, 1));
    EXPECT_EQ(r1.iErr, 0);
    EXPECT_NEAR(r1.q, r.q, 1e-9);
    EXPECT_NEAR(r1.T_feed, r.T_feed, 1e-6);
}

TEST_F(Feed, QualitiesOutsideTheUnitIntervalMapToTheEnthalpyOfTheLeverRule) {
    // FEED_TEMPERATURE for q = 1.25: H = H_V + q (H_L - H_V) with the saturated enthalpies; the
    // liquid enthalpy at the temperature found must equal it (a subcooled liquid).
    const std::vector<double> x{0.25, 0.25, 0.5};
    const PropertyContext ctx{idx, "IDEAL", 2, testing::kAtmosphere};
    double T = -1.0;
    std::int64_t flag = 0;
    FEED_TEMPERATURE(ctx, x, 1.25, T, flag);
    ASSERT_EQ(flag, 0);
    const double T_bubble = testing::reference_temperature(kBtx, "Ideal", "bubble_T", x);
    properties::FlashRequest dew;
    dew.flash_type = "PV";
    dew.option_set = "IDEAL";
    dew.components = idx;
    dew.composition = x;
    dew.pressure = testing::kAtmosphere;
    dew.vapour_fraction = 1.0;
    const double T_dew = properties::calc_flash(dew).temperature;
    const double H_L =
        properties::liquid_enthalpy(idx, "IDEAL", T_bubble, testing::kAtmosphere, x).enthalpy;
    const double H_V =
        properties::vapour_enthalpy(idx, "IDEAL", T_dew, testing::kAtmosphere, x).enthalpy;
    EXPECT_LT(T, T_bubble);
    EXPECT_NEAR(properties::liquid_enthalpy(idx, "IDEAL", T, testing::kAtmosphere, x).enthalpy,
                H_V + 1.25 * (H_L - H_V), 1e-6 * std::fabs(H_L));
    // Inside [0, 1] a single PV flash: q = 0.4 means 60 % vapour.
    FEED_TEMPERATURE(ctx, x, 0.4, T, flag);
    EXPECT_EQ(flag, 0);
    EXPECT_GT(T, T_bubble);
    EXPECT_LT(T, T_dew);
    // A failed flash is flagged and leaves T alone.
    const PropertyContext bad{idx, "IDEAL", 2, -5.0};
    T = 123.0;
    FEED_TEMPERATURE(bad, x, 0.4, T, flag);
    EXPECT_LT(flag, 0);
    EXPECT_EQ(T, 123.0);
}

TEST_F(Feed, AFailedFeedFlashIsReportedNotPassedOffAsATemperature) {
    // Benzene alone at 1 Pa boils below the range of its vapour-pressure correlation.
    const std::vector<double> feed = stream({40, 20, 20, 0});
    FeedInput low = input(feed, kIdentity, 3);
    low.pres = 1.0;
    const FeedResult r = compute_feed(low);
    EXPECT_TRUE(r.iErr == -2 || r.iErr == -3) << r.iErr;
    EXPECT_EQ(r.q, 1.0);
    EXPECT_EQ(r.T_feed, -1.0);
    EXPECT_EQ(r.messages.size(), 2u);
}

TEST_F(Feed, TheExportedRoutineReadsTheFixedFieldAndKeepsToThreeEntries) {
    const std::int64_t ncc = 4, ncomp = 3, phase = 2, basis = 0, method = 3;
    const double pres = testing::kAtmosphere;
    const std::vector<double> feed = stream({40, 20, 20, 10});
    const std::vector<double> mw{78.1, 92.1, 106.2, 114.2};
    const char opset[10] = {'I', 'D', 'E', 'A', 'L', ' ', ' ', ' ', ' ', ' '};
    double x_feed[4] = {0, 0, 0, 4242.0};
    double F = 0.0, q = 0.0, T = 0.0;
    std::int64_t n_basis = -1, basis_comp[4] = {0, 0, 0, 0}, err = -9, msg = -9;
    COMPUTE_FEED(&ncc, &ncomp, idx.data(), opset, &phase, &pres, feed.data(), kIdentity.data(),
                 &basis, &method, mw.data(), x_feed, &F, &q, &T, &n_basis, basis_comp, &err, &msg,
                 10);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(msg, 0);
    EXPECT_DOUBLE_EQ(F, 80.0);
    EXPECT_EQ(x_feed[0], 0.5);
    EXPECT_EQ(x_feed[3], 4242.0);
    EXPECT_EQ(q, 1.0);
    EXPECT_NEAR(T, testing::reference_temperature(kBtx, "Ideal", "bubble_T", {0.5, 0.25, 0.25}),
                kRefTolerance);
    EXPECT_EQ(n_basis, 3);
    EXPECT_EQ(basis_comp[2], 3);
    EXPECT_EQ(basis_comp[3], 0);
}

}  // namespace
}  // namespace design
