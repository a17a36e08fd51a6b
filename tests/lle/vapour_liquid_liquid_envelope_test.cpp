// Vapour-liquid-liquid envelopes at 101325 Pa: every tie line is a heterogeneous bubble point,
// two liquids and a vapour in equilibrium at a temperature that changes along the envelope.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "lle/envelope.hpp"
#include "tests/lle/envelope_checks.hpp"
#include "tests/lle/lle_problem.hpp"

namespace lle::testing {
namespace {

Point point_of(const nlohmann::json& j) {
    return {j.at(0).get<double>(), j.at(1).get<double>(), j.at(2).get<double>()};
}

EnvelopeResult trace_at_bubble_point(const std::string& option_set, double step) {
    EnvelopeProblem p;
    p.variant = Variant::vapour_liquid_liquid;
    p.components = components({"ETOH", "WATER", "BENZENE"});
    p.pressure = kAtmosphere;
    p.option_set = option_set;
    p.step = step;
    return trace_envelopes(p);
}

/// The vapour of each tie line is in equilibrium with both liquids at the tie line's temperature,
/// which is their bubble point: y_i = x_i gamma_i Psat_i / P from either liquid, summing to 1.
void expect_vapour_in_equilibrium_with_both_liquids(const EnvelopeResult& r,
                                                    const host::Mixture& model,
                                                    const std::string& label) {
    SCOPED_TRACE(label);
    for (std::size_t i = 0; i < r.tie_lines.size(); ++i) {
        const TieLine& t = r.tie_lines[i];
        const Point from1 = vapour_over(model, t.temperature, kAtmosphere, t.x1);
        const Point from2 = vapour_over(model, t.temperature, kAtmosphere, t.x2);
        EXPECT_LE(max_difference(from1, t.y), 1e-6) << "tie line " << i;
        EXPECT_LE(max_difference(from2, t.y), 1e-6) << "tie line " << i;
        EXPECT_NEAR(t.y[0] + t.y[1] + t.y[2], 1.0, 1e-9) << "tie line " << i;
    }
}

// Ethanol/water/benzene with original UNIFAC, against vle_ethanol_water_benzene_unifac.json
// (model "UNIFAC"): the water/benzene three-phase point (binary_azeotropes, three_phase_VLLE: a
// heteroazeotrope at 342.378 K), the ternary heteroazeotrope (337.167 K, the lowest bubble point
// of the two-liquid region) and the three-phase bubble points inside the triangle (bubble_T).
TEST(VapourLiquidLiquidEnvelope, EthanolWaterBenzeneUnifacMatchesTheReferenceThreePhasePoints) {
    LLE_OPEN_PROBLEM();
    const EnvelopeResult r = trace_at_bubble_point("UNIFAC", 0.02);
    EXPECT_EQ(r.error_code, kEnvelopeOk);
    EXPECT_TRUE(r.messages.empty());
    ASSERT_EQ(r.envelopes.size(), 1U);
    ASSERT_EQ(r.envelopes[0].edge, 1);
    ASSERT_EQ(r.tie_lines.size(), r.envelopes[0].tie_line_count);
    const std::string label = "ethanol/water/benzene UNIFAC at 1 atm";
    expect_closed_envelope(r, 0, label);
    expect_tie_lines_through_feeds(r, 0, label);
    const host::Mixture model = mixture("UNIFAC", {"ETOH", "WATER", "BENZENE"});
    expect_liquids_in_equilibrium(r, model, label);
    expect_vapour_in_equilibrium_with_both_liquids(r, model, label);

    const nlohmann::json& ref = reference_model("vle_ethanol_water_benzene_unifac.json", "UNIFAC");
    // The edge tie line is the binary three-phase point: temperature to 1e-5 K (the flash
    // converges T to about 1e-8 K), compositions to 1e-6.
    const nlohmann::json* binary = nullptr;
    for (const nlohmann::json& pair : ref.at("binary_azeotropes").at("pairs")) {
        if (pair.at("indices") == nlohmann::json::array({1, 2})) {
            binary = &pair.at("three_phase_VLLE");
        }
    }
    ASSERT_NE(binary, nullptr);
    const TieLine& edge = r.tie_lines.front();
    EXPECT_NEAR(edge.temperature, binary->at("T").get<double>(), 1e-5);
    const double water_rich = std::max(edge.x1[1], edge.x2[1]);
    const double benzene_rich = std::min(edge.x1[1], edge.x2[1]);
    EXPECT_NEAR(water_rich, binary->at("x1_I").get<double>(), 1e-6);
    EXPECT_NEAR(benzene_rich, binary->at("x1_II").get<double>(), 1e-6);
    EXPECT_NEAR(edge.y[1], binary->at("y1").get<double>(), 1e-6);
    EXPECT_EQ(edge.y[0], 0.0);

    // No bubble point of the region lies below the ternary heteroazeotrope, and the traced ones
    // come close to it (the envelope passes near the azeotrope's liquids).
    const double t_azeotrope =
        ref.at("ternary_azeotropes").at("heterogeneous").at(0).at("T").get<double>();
    double lowest = INFINITY, highest = -INFINITY;
    for (const TieLine& t : r.tie_lines) {
        lowest = std::min(lowest, t.temperature);
        highest = std::max(highest, t.temperature);
    }
    EXPECT_GE(lowest, t_azeotrope - 1e-6);
    EXPECT_LT(lowest, t_azeotrope + 0.2);
    EXPECT_NEAR(highest, binary->at("T").get<double>(), 1e-5);

    // The plait temperature is one of the envelope's bubble points, near its end.
    ASSERT_TRUE(r.plait_temperature.has_value());
    EXPECT_GE(*r.plait_temperature, lowest - 1e-6);
    EXPECT_LE(*r.plait_temperature, highest + 1e-6);
    EXPECT_NEAR(*r.plait_temperature, r.tie_lines.back().temperature, 0.5);

    // The reference's three-phase bubble points: their liquids lie on the traced envelope (to the
    // chord error of step 0.02: chords up to 0.13 long, 2.5e-4 seen, 1e-3 allowed) and their tie
    // lines cross none of the traced ones.
    int three_phase = 0;
    const Envelope& e = r.envelopes[0];
    for (const nlohmann::json& b : ref.at("bubble_T")) {
        if (!b.contains("xI")) { continue; }
        ++three_phase;
        const Point xa = point_of(b.at("xI")), xb = point_of(b.at("xII"));
        EXPECT_LE(distance_to_polyline(xa, e.points), 1e-3);
        EXPECT_LE(distance_to_polyline(xb, e.points), 1e-3);
        for (const TieLine& t : r.tie_lines) { EXPECT_FALSE(segments_cross(t.x1, t.x2, xa, xb)); }
    }
    EXPECT_GE(three_phase, 2);
}

// Ethanol/water/benzene with NRTL EWB-1 and the default step: the water/benzene heteroazeotrope
// that data/databank/nrtl_lle.md lists for these rows (342.40 K, y_water 0.298, given to the
// last digit shown), and the ternary heteroazeotrope at 337.24 K below every traced bubble point.
TEST(VapourLiquidLiquidEnvelope, EthanolWaterBenzeneNrtlWithDefaultStep) {
    LLE_OPEN_PROBLEM();
    const EnvelopeResult r = trace_at_bubble_point("EWB", kDefaultStep);
    EXPECT_EQ(r.error_code, kEnvelopeOk);
    ASSERT_EQ(r.envelopes.size(), 1U);
    const std::string label = "ethanol/water/benzene NRTL EWB-1 at 1 atm";
    expect_closed_envelope(r, 0, label);
    expect_tie_lines_through_feeds(r, 0, label);
    const host::Mixture model = mixture("EWB", {"ETOH", "WATER", "BENZENE"});
    expect_liquids_in_equilibrium(r, model, label);
    expect_vapour_in_equilibrium_with_both_liquids(r, model, label);
    const TieLine& edge = r.tie_lines.front();
    EXPECT_NEAR(edge.temperature, 342.40, 0.005);
    EXPECT_NEAR(edge.y[1], 0.298, 0.0005);
    for (const TieLine& t : r.tie_lines) { EXPECT_GT(t.temperature, 337.24 - 0.005); }
    ASSERT_TRUE(r.plait_temperature.has_value());
}

}  // namespace
}  // namespace lle::testing
