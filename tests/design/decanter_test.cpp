// The decanter. Specification checks need no flash (a context whose every flash would fail
// shows that none ran). The two-liquid cases use ethanol / water / benzene at 101325 Pa with
// phase count 3: NRTL set EWB-1 (nrtl_lle.tsv) and original UNIFAC, whose three-phase bubble
// point at x = (0.25, 0.2, 0.55) is in data/reference/vle_ethanol_water_benzene_unifac.json.
#include "design/decanter.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tests/design/design_problem.hpp"

namespace design {
namespace {

constexpr const char* kEwb = "vle_ethanol_water_benzene_unifac.json";

double distance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < 3; ++i) { s += (a[i] - b[i]) * (a[i] - b[i]); }
    return std::sqrt(s);
}

/// |cross product| of (p - a) and (b - a) in the first two coordinates, per |b - a|^2: zero when
/// p lies on the line through a and b.
double off_line(const std::array<double, 3>& p,
                const std::array<double, 3>& a,
                const std::array<double, 3>& b) {
    const double u0 = p[0] - a[0], u1 = p[1] - a[1], v0 = b[0] - a[0], v1 = b[1] - a[1];
    return std::fabs(u0 * v1 - u1 * v0) / (v0 * v0 + v1 * v1);
}

struct Decanter : ::testing::Test {
    std::vector<std::int64_t> ewb, btx;
    const std::vector<double> x_D{0.27, 0.19, 0.54};
    void SetUp() override {
        DESIGN_OPEN_PROBLEM();
        ewb = testing::components({"ETOH", "WATER", "BENZENE"});
        btx = testing::components({"BENZENE", "TOLUENE", "PXYLENE"});
    }
};

TEST_F(Decanter, SpecificationErrorsComeBeforeAnyFlash) {
    const PropertyContext never{ewb, "NRTLEWB", 3, -1.0};  // any flash here would fail
    std::int64_t msg = 0;
    MessageLog log;
    DecanterResult r = decanter(never, x_D, 3.0, {1, 4}, 0.5, msg, log);
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0],
              message_line("***** Error (Decanter) - Internal decanter specification error."));
    EXPECT_EQ(log.lines()[1],
              message_line("      Decanter is ignored in the design calculations !!"));
    EXPECT_EQ(msg, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.x_Reflux[i], x_D[i]);
        EXPECT_EQ(r.y_Top[i], x_D[i]);
    }

    MessageLog log2;
    r = decanter(never, x_D, 3.0, {1, 2}, 1.0, msg, log2);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(log2.lines()[0], message_line("***** Error - Invalid decanter specification "));
    MessageLog log3;
    EXPECT_EQ(decanter(never, x_D, 3.0, {2, 2}, 0.0, msg, log3).status, 1);
    EXPECT_EQ(msg, 0);

    // Kind 3 takes no value, so 1.5 passes the check and reaches the flash (which fails here).
    MessageLog log4;
    r = decanter(never, x_D, 3.0, {3, 3}, 1.5, msg, log4);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(msg, 507);
    EXPECT_EQ(log4.lines()[0],
              message_line("***** Flatal Flash error during dacenter calculations"));
}

TEST_F(Decanter, AHomogeneousDistillateLeavesOneLiquidAndTheDistillateAsReflux) {
    const PropertyContext ctx{btx, "IDEAL", 3, testing::kAtmosphere};
    const std::vector<double> x{0.9, 0.08, 0.02};
    std::int64_t msg = 0;
    MessageLog log;
    const DecanterResult r = decanter(ctx, x, 2.0, {3, 1}, 0.0, msg, log);
    EXPECT_EQ(r.status, 3);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0],
              message_line("***** Warning - Only one liquid phase in the decanter"));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.x_Reflux[i], x[i]);
        EXPECT_EQ(r.y_Top[i], x[i]);
    }
}

TEST_F(Decanter, TheBubblePointSplitMatchesTheIndependentThreePhaseReference) {
    if (!testing::host_splits_liquids()) { GTEST_SKIP() << "host flashes find no two liquids"; }
    // UNIFAC, x = (0.25, 0.2, 0.55): T, x_I and x_II from the reference (three-phase bubble
    // point; its tolerance 1e-6 K and 1e-7, loosened to 1e-4 K and 1e-5 for the host's flash
    // tolerance of 1e-10 on the residuals).
    const PropertyContext ctx{ewb, "UNIFAC", 3, testing::kAtmosphere};
    const std::vector<double> x{0.25, 0.2, 0.55};
    std::int64_t msg = 0;
    MessageLog log;
    const DecanterResult r = decanter(ctx, x, 3.0, {3, 3}, 0.0, msg, log);
    ASSERT_EQ(r.status, 0);
    const nlohmann::json* point = nullptr;
    for (const auto& p : testing::reference_model(kEwb, "UNIFAC").at("bubble_T")) {
        if (p.at("x") == nlohmann::json(x)) { point = &p; }
    }
    ASSERT_NE(point, nullptr);
    EXPECT_NEAR(r.temperature, point->at("T").get<double>(), 1e-4);
    // Which liquid is "first" is the host's choice: compare as a pair.
    std::array<double, 3> I{}, II{};
    for (std::size_t i = 0; i < 3; ++i) {
        I[i] = point->at("xI")[i].get<double>();
        II[i] = point->at("xII")[i].get<double>();
    }
    const bool same_order = distance(r.x1, I) < distance(r.x1, II);
    EXPECT_LT(distance(same_order ? r.x1 : r.x2, I), 1e-5);
    EXPECT_LT(distance(same_order ? r.x2 : r.x1, II), 1e-5);
}

TEST_F(Decanter, EachKindOfSpecificationPlacesRefluxAndTopVapourOnTheTieLineAndOperatingLine) {
    if (!testing::host_splits_liquids()) { GTEST_SKIP() << "host flashes find no two liquids"; }
    const PropertyContext ctx{ewb, "NRTLEWB", 3, testing::kAtmosphere};
    const double R = 3.0;
    const auto check_common = [&](const DecanterResult& r) {
        ASSERT_EQ(r.status, 0);
        EXPECT_GT(distance(r.x1, r.x2), 0.1);  // the decanter splits
        for (std::size_t i = 0; i < 3; ++i) {
            // The top tray's operating line: (R + 1) y_Top = R x_Reflux + x_D.
            EXPECT_NEAR((R + 1.0) * r.y_Top[i], R * r.x_Reflux[i] + x_D[i], 1e-12);
        }
        EXPECT_GE(r.l1_Spec, 0.0);
        EXPECT_LE(r.l1_Spec, 1.0);
        EXPECT_GE(r.l2_Spec, 0.0);
        EXPECT_LE(r.l2_Spec, 1.0);
        EXPECT_GE(r.phi_reflux, 0.0);
        EXPECT_LE(r.phi_reflux, 1.0 + 1e-12);
        // The reported component is the one most enriched in liquid 2 (benzene here: the
        // liquids are water-rich and benzene-rich), by its host index.
        std::size_t m = 0;
        for (std::size_t i = 1; i < 3; ++i) {
            if (r.x2[i] - r.x1[i] > r.x2[m] - r.x1[m]) { m = i; }
        }
        EXPECT_EQ(r.Comp_List, ewb[m]);
    };

    std::int64_t msg = 0;
    MessageLog log;
    // Kind 1: the top vapour is the tie-line point with 60 % benzene.
    DecanterResult r = decanter(ctx, x_D, R, {1, 3}, 0.6, msg, log);
    check_common(r);
    EXPECT_NEAR(r.y_Top[2], 0.6, 1e-12);
    EXPECT_LT(off_line(r.y_Top, r.x1, r.x2), 1e-12);

    // Kind 2: the reflux is that point instead.
    r = decanter(ctx, x_D, R, {2, 3}, 0.6, msg, log);
    check_common(r);
    EXPECT_NEAR(r.x_Reflux[2], 0.6, 1e-12);
    EXPECT_LT(off_line(r.x_Reflux, r.x1, r.x2), 1e-12);
    EXPECT_NEAR(r.phi_reflux, distance(r.x_Reflux, r.x1) / distance(r.x2, r.x1), 1e-12);

    // Kind 3: the whole benzene-rich liquid is the reflux.
    r = decanter(ctx, x_D, R, {3, 3}, 0.0, msg, log);
    check_common(r);
    const std::array<double, 3>& richer = r.x1[2] > r.x2[2] ? r.x1 : r.x2;
    EXPECT_EQ(r.x_Reflux, richer);
    EXPECT_TRUE(log.lines().empty());

    // A value beyond both liquids has no point on the tie line.
    MessageLog bad;
    r = decanter(ctx, x_D, R, {2, 3}, 0.95, msg, bad);
    EXPECT_EQ(r.status, 5);
    ASSERT_EQ(bad.lines().size(), 2u);
    EXPECT_EQ(bad.lines()[0], message_line("      Infeasible decanter specifications"));
    EXPECT_EQ(msg, 0);
}

}  // namespace
}  // namespace design
