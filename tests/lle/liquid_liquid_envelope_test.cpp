// Liquid-liquid envelopes at 298.15 K and 1 atm of ternaries with one partly miscible pair, for
// several parameter sources and with the pair on each of the three edges.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "lle/envelope.hpp"
#include "tests/lle/envelope_checks.hpp"
#include "tests/lle/lle_problem.hpp"

namespace lle::testing {
namespace {

struct SystemCase {
    std::string name;  // of the test instance
    std::string label;
    std::string option_set;
    std::vector<std::string> ids;  // top, left, right
    int edge;                      // the partly miscible pair's edge
};

void PrintTo(const SystemCase& c, std::ostream* os) { *os << c.label; }

// Why each splits at 298.15 K: water/benzene, water/toluene and water/1-butanol are partly
// miscible (the parameters reproduce mutual solubilities: data/databank/nrtl_lle.md and
// data/reference/vle_water_1butanol.json); ethanol, acetone and methanol mix with both partners
// and close the region at a plait point. Not here: acetone/water/toluene with nrtl.tsv, whose
// water/acetone pair (a VLE fit, alpha = 0.5663) gives a spurious third, acetone-rich aqueous
// liquid at 298.15 K; two-liquid flashes there find metastable splits, and their tie lines cross
// (the test below caught it).
std::vector<SystemCase> cases() {
    return {
        {"EthanolWaterBenzene_NRTL_EWB1",
         "ethanol/water/benzene, NRTL EWB-1",
         "EWB",
         {"ETOH", "WATER", "BENZENE"},
         1},
        {"WaterEthanolBenzene_UNIFACLLE",
         "water/ethanol/benzene, UNIFAC-LLE",
         "UNIFACLL",
         {"WATER", "ETOH", "BENZENE"},
         2},
        {"WaterButanolMethanol_NRTL",
         "water/1-butanol/methanol, NRTL",
         "NRTL",
         {"WATER", "NBUOH", "MEOH"},
         3},
        // Acetone goes preferably into the toluene-rich liquid, so the host's first liquid (the
        // one richer in the first component, acetone) is the aqueous one on the edge and the
        // organic one inside: the tracer's own ordering must keep the ends apart.
        {"AcetoneWaterToluene_UNIFACLLE",
         "acetone/water/toluene, UNIFAC-LLE",
         "UNIFACLL",
         {"ACETONE", "WATER", "TOLUENE"},
         1},
    };
}

EnvelopeProblem problem_for(const SystemCase& c) {
    EnvelopeProblem p;
    p.variant = Variant::liquid_liquid;
    p.components = components({c.ids[0], c.ids[1], c.ids[2]});
    p.temperature = kRoomTemperature;
    p.pressure = kAtmosphere;
    p.option_set = c.option_set;
    return p;
}

class LiquidLiquidEnvelope : public ::testing::TestWithParam<SystemCase> {
protected:
    void SetUp() override { LLE_OPEN_PROBLEM(); }
};

TEST_P(LiquidLiquidEnvelope, IsOneClosedCurveOfEquilibriumTieLinesFromThePartlyMiscibleEdge) {
    const SystemCase& c = GetParam();
    const EnvelopeResult r = trace_envelopes(problem_for(c));
    EXPECT_EQ(r.error_code, kEnvelopeOk);
    EXPECT_EQ(r.message_code, 0);
    EXPECT_TRUE(r.messages.empty());
    ASSERT_EQ(r.envelopes.size(), 1U) << c.label;
    EXPECT_EQ(r.envelopes[0].edge, c.edge);
    EXPECT_EQ(r.envelopes[0].tie_line_count, r.tie_lines.size());
    EXPECT_FALSE(r.plait_temperature.has_value());
    for (const TieLine& t : r.tie_lines) { EXPECT_EQ(t.temperature, kRoomTemperature); }

    expect_closed_envelope(r, 0, c.label);
    expect_tie_lines_through_feeds(r, 0, c.label);
    expect_liquids_in_equilibrium(r, mixture(c.option_set, c.ids), c.label);
}

INSTANTIATE_TEST_SUITE_P(PartlyMiscibleTernaries,
                         LiquidLiquidEnvelope,
                         ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<SystemCase>& p) {
                             return p.param.name;
                         });

// Water with benzene and with toluene are both partly miscible and benzene/toluene mix: the
// two-liquid region is a band across the triangle, and each edge starts a branch that runs to
// the opposite edge. The predictor then steps out of the triangle; such a feed is not flashed
// (a flash would fail on a negative mole fraction and report a flash error), and the branch
// closes there.
TEST(LiquidLiquidEnvelopeBand, GivesOneEnvelopePerPartlyMiscibleEdgeWithoutFlashErrors) {
    LLE_OPEN_PROBLEM();
    EnvelopeProblem p;
    p.components = components({"WATER", "BENZENE", "TOLUENE"});
    p.temperature = kRoomTemperature;
    p.pressure = kAtmosphere;
    p.option_set = "WXULLE";
    const EnvelopeResult r = trace_envelopes(p);
    EXPECT_EQ(r.error_code, kEnvelopeOk);
    EXPECT_TRUE(r.messages.empty());
    ASSERT_EQ(r.envelopes.size(), 2U);
    EXPECT_EQ(r.envelopes[0].edge, 2);  // water/toluene: top-right
    EXPECT_EQ(r.envelopes[1].edge, 3);  // water/benzene: top-left
    const host::Mixture model = mixture("WXULLE", {"WATER", "BENZENE", "TOLUENE"});
    expect_liquids_in_equilibrium(r, model, "water/benzene/toluene");
    for (std::size_t c = 0; c < 2; ++c) {
        const Envelope& e = r.envelopes[c];
        EXPECT_EQ(e.points.size(), 2 * e.tie_line_count);
        expect_tie_lines_through_feeds(r, c, "water/benzene/toluene");
        // The branch crosses the triangle and closes at the opposite edge, where the hydrocarbon
        // of its own edge has gone: the march back from the feed outside goes in sub-steps of a
        // tenth of the step (0.1), so its last tie line lies within a sub-step or two of it.
        const TieLine& last = r.tie_lines[e.first_tie_line + e.tie_line_count - 1];
        const std::size_t fading = e.edge == 2 ? 2 : 1;
        EXPECT_LT(last.feed[fading], 0.02) << "envelope " << c;
    }
}

}  // namespace
}  // namespace lle::testing
