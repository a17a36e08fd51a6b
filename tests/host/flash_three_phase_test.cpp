// Flashes with two liquids admitted (phase count 3), against values computed independently:
// - data/reference/vle_*.json: a separate thermodynamics library on the same databank
//   parameters (README tolerances: three-phase bubble T 1e-6 K; xI, xII, y, beta 1e-7;
//   liquid-liquid splits 1e-6);
// - the worked examples of the phase-stability notes, section 10 (an independent prototype of
//   the same algorithms on a synthetic NRTL system, quoted to 6-8 digits);
// - published mutual solubilities and the heteroazeotrope of water/toluene with the one
//   liquid-liquid parameter set fitted to such data (TW-PUB-1, nrtl_lle.md).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/mixture.hpp"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"

namespace {

using host::FlashKind;
using host::FlashOptions;
using host::FlashResult;
using host::PhaseState;
using nlohmann::json;
using Composition = std::vector<double>;

constexpr double kAtm = 101325.0;

json load(const std::string& file) {
    std::ifstream in(std::string(DISTIL_REFERENCE_DIR) + "/" + file);
    if (!in) { throw std::runtime_error("cannot open " + file); }
    return json::parse(in);
}

host::PropertyMethod method_of(const std::string& label) {
    if (label == "NRTL") { return host::PropertyMethod::nrtl; }
    if (label == "UNIQUAC") { return host::PropertyMethod::uniquac; }
    if (label == "Wilson") { return host::PropertyMethod::wilson; }
    if (label == "UNIFAC") { return host::PropertyMethod::unifac; }
    if (label == "UNIFAC-LLE") { return host::PropertyMethod::unifac_lle; }
    if (label == "Ideal") { return host::PropertyMethod::ideal; }
    throw std::runtime_error("unknown model label " + label);
}

FlashOptions three_phase() {
    FlashOptions o;
    o.phase_count = 3;
    o.tolerance = 1e-11;
    return o;
}

/// The first liquid by the flash's rule: richer in the first component whose mole fractions
/// differ by more than 1e-6.
bool is_first(const std::vector<double>& a, const std::vector<double>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > 1e-6) { return a[i] > b[i]; }
    }
    return true;
}

void expect_near_all(const std::vector<double>& got,
                     const std::vector<double>& want,
                     double tol,
                     const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i], want[i], tol) << what << ", component " << i;
    }
}

/// The phases add up to the feed, each composition sums to 1, and x is the overall liquid.
void expect_balance(const FlashResult& r, const std::vector<double>& z, const std::string& what) {
    const double V = r.vapour_fraction, b = r.beta;
    EXPECT_GE(V, 0.0) << what;
    EXPECT_LE(V, 1.0) << what;
    EXPECT_GE(b, 0.0) << what;
    EXPECT_LE(b, 1.0) << what;
    for (const auto* v : {&r.x, &r.y, &r.x1, &r.x2}) {
        EXPECT_NEAR(std::accumulate(v->begin(), v->end(), 0.0), 1.0, 1e-12) << what;
    }
    for (std::size_t i = 0; i < z.size(); ++i) {
        EXPECT_NEAR(b * r.x1[i] + (1.0 - b) * r.x2[i], r.x[i], 1e-12) << what << " x, " << i;
        if (V < 1.0) {
            EXPECT_NEAR(V * r.y[i] + (1.0 - V) * r.x[i], z[i], 1e-10) << what << " feed, " << i;
        }
    }
}

struct ReferenceCase {
    std::string file;
    std::string label;
};

std::ostream& operator<<(std::ostream& os, const ReferenceCase& c) {
    return os << c.file << " " << c.label;
}

class ThreePhaseReference : public ::testing::TestWithParam<ReferenceCase> {
protected:
    void SetUp() override {
        const json doc = load(GetParam().file);
        for (const auto& c : doc["components"]) { ids_.push_back(c["id"].get<std::string>()); }
        for (const auto& m : doc["models"]) {
            if (m["label"] == GetParam().label) { model_ = m; }
        }
        ASSERT_FALSE(model_.is_null());
        mixture_ = std::make_unique<host::Mixture>(
            host::make_mixture(host::Databank::embedded(), ids_, method_of(GetParam().label)));
    }

    std::vector<std::string> ids_;
    json model_;
    std::unique_ptr<host::Mixture> mixture_;
};

TEST_P(ThreePhaseReference, BubblePointsSplitWhereAndAsTheReferenceSays) {
    ASSERT_TRUE(model_.contains("bubble_T"));
    host::Flash flash(*mixture_);
    for (const auto& e : model_["bubble_T"]) {
        const auto x = e["x"].get<std::vector<double>>();
        const FlashResult r = flash.bubble_temperature(e["P"].get<double>(), x, three_phase());
        const std::string what = "bubble T at x = " + e["x"].dump();
        ASSERT_EQ(r.error_code, 0) << what;
        EXPECT_EQ(r.vapour_fraction, 0.0) << what;
        EXPECT_NEAR(r.temperature, e["T"].get<double>(), 1e-6) << what;
        expect_near_all(r.y, e["y"].get<std::vector<double>>(), 1e-7, what);
        expect_near_all(r.x, x, 1e-15, what);  // the overall liquid is the feed itself
        if (e["state"] == "one liquid + vapour") {
            EXPECT_EQ(r.phases, PhaseState::vapour_liquid) << what;
            EXPECT_EQ(r.x1, r.x) << what;
            EXPECT_EQ(r.x2, r.x) << what;
            EXPECT_EQ(r.beta, 1.0) << what;
            continue;
        }
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid) << what;
        auto xI = e["xI"].get<std::vector<double>>();
        auto xII = e["xII"].get<std::vector<double>>();
        double beta = e["beta_I"].get<double>();
        if (!is_first(xI, xII)) {
            std::swap(xI, xII);
            beta = 1.0 - beta;
        }
        expect_near_all(r.x1, xI, 1e-7, what + " first liquid");
        expect_near_all(r.x2, xII, 1e-7, what + " second liquid");
        EXPECT_NEAR(r.beta, beta, 1e-7) << what;
        expect_balance(r, x, what);
    }
}

TEST_P(ThreePhaseReference, DewPointsKeepTheirStableIncipientLiquid) {
    ASSERT_TRUE(model_.contains("dew_T"));
    host::Flash flash(*mixture_);
    for (const auto& e : model_["dew_T"]) {
        ASSERT_TRUE(e["incipient_liquid_stable"].get<bool>());
        const auto y = e["y"].get<std::vector<double>>();
        const FlashResult r = flash.dew_temperature(e["P"].get<double>(), y, three_phase());
        const std::string what = "dew T at y = " + e["y"].dump();
        ASSERT_EQ(r.error_code, 0) << what;
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid) << what;
        EXPECT_NEAR(r.temperature, e["T"].get<double>(), 1e-6) << what;
        expect_near_all(r.x, e["x"].get<std::vector<double>>(), 1e-7, what);
        EXPECT_EQ(r.x1, r.x) << what;
    }
}

class LiquidLiquidReference : public ThreePhaseReference {};

TEST_P(LiquidLiquidReference, SplitsAt298K) {
    ASSERT_TRUE(model_.contains("ll_split"));
    host::Flash flash(*mixture_);
    for (const auto& e : model_["ll_split"]) {
        const auto z = e["z"].get<std::vector<double>>();
        // Pressure does not enter a liquid-liquid split; 1 atm keeps every one of these liquid.
        const FlashResult r =
            flash.run(FlashKind::tp, e["T"].get<double>(), kAtm, z, three_phase());
        const std::string what = "split of z = " + e["z"].dump();
        ASSERT_EQ(r.error_code, 0) << what;
        if (e["phase_count"] == 1) {
            EXPECT_EQ(r.phases, PhaseState::liquid) << what;
            continue;
        }
        ASSERT_EQ(r.phases, PhaseState::liquid_liquid) << what;
        EXPECT_EQ(r.vapour_fraction, 0.0);
        auto xI = e["phases"][0]["x"].get<std::vector<double>>();
        auto xII = e["phases"][1]["x"].get<std::vector<double>>();
        double beta = e["phases"][0]["beta"].get<double>();
        if (!is_first(xI, xII)) {
            std::swap(xI, xII);
            beta = 1.0 - beta;
        }
        expect_near_all(r.x1, xI, 1e-6, what + " first liquid");
        expect_near_all(r.x2, xII, 1e-6, what + " second liquid");
        EXPECT_NEAR(r.beta, beta, 1e-6) << what;
        expect_balance(r, z, what);
    }
}

std::string case_name(const ::testing::TestParamInfo<ReferenceCase>& param) {
    std::string name = param.param.file.substr(4) + "_" + param.param.label;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) { ch = '_'; }
    }
    return name;
}

// Every reference model with bubble and dew points: those that split and those that do not
// (phase count 3 must not invent a second liquid).
const ReferenceCase kCases[] = {
    {"vle_ethanol_water.json", "NRTL"},
    {"vle_ethanol_water.json", "UNIQUAC"},
    {"vle_ethanol_water.json", "UNIFAC"},
    {"vle_acetone_chloroform_methanol_nrtl.json", "NRTL"},
    {"vle_ethyl_acetate_ethanol_water_nrtl.json", "NRTL"},
    {"vle_water_1butanol.json", "NRTL"},
    {"vle_water_1butanol.json", "UNIFAC-LLE"},
    {"vle_methanol_mtbe_uniquac.json", "UNIQUAC"},
    {"vle_2propanol_water_uniquac.json", "UNIQUAC"},
    {"vle_benzene_toluene_pxylene.json", "UNIFAC"},
    {"vle_ethanol_water_benzene_unifac.json", "UNIFAC"},
    {"vle_six_component_unifac.json", "UNIFAC"},
};
INSTANTIATE_TEST_SUITE_P(AllModels, ThreePhaseReference, ::testing::ValuesIn(kCases), case_name);

// Every reference model with liquid-liquid splits at 298.15 K.
const ReferenceCase kSplitCases[] = {
    {"vle_ethyl_acetate_ethanol_water_nrtl.json", "NRTL"},
    {"vle_water_1butanol.json", "NRTL"},
    {"vle_water_1butanol.json", "UNIFAC-LLE"},
    {"vle_ethanol_water_benzene_unifac.json", "UNIFAC"},
    {"vle_ethanol_water_benzene_unifac.json", "UNIFAC-LLE"},
    {"vle_six_component_unifac.json", "UNIFAC"},
};
INSTANTIATE_TEST_SUITE_P(AllModels,
                         LiquidLiquidReference,
                         ::testing::ValuesIn(kSplitCases),
                         case_name);

TEST(Heteroazeotrope, BinaryAndTernaryHeteroazeotropesBoilToTheirOwnVapour) {
    // A heteroazeotrope is the overall liquid whose three-phase bubble vapour has its own
    // composition. References: vle_water_1butanol.json (NRTL: y_water 0.763042, 366.1015 K) and
    // vle_ethanol_water_benzene_unifac.json (UNIFAC: water/benzene y_water 0.297420,
    // 342.3782 K; ternary (0.271869, 0.194147, 0.533984), 337.1674 K).
    struct Case {
        std::string file, label, what;
        std::vector<double> x;
        double T;
        std::vector<double> xI, xII;
        double beta_I;
    };
    std::vector<Case> cases;
    {
        const json doc = load("vle_water_1butanol.json");
        for (const auto& m : doc["models"]) {
            const json& v = m["binary_azeotropes"]["pairs"][0]["three_phase_VLLE"];
            ASSERT_TRUE(v["is_heteroazeotrope"].get<bool>());
            cases.push_back({"vle_water_1butanol.json", m["label"], "water/1-butanol",
                             v["y"].get<std::vector<double>>(), v["T"].get<double>(),
                             v["xI"].get<std::vector<double>>(),
                             v["xII"].get<std::vector<double>>(), -1.0});
        }
    }
    {
        const json doc = load("vle_ethanol_water_benzene_unifac.json");
        const json& m = doc["models"][0];
        ASSERT_EQ(m["label"], "UNIFAC");
        const json& t = m["ternary_azeotropes"]["heterogeneous"][0];
        cases.push_back({"vle_ethanol_water_benzene_unifac.json", "UNIFAC", "ternary",
                         t["x_overall_liquid_equals_y"].get<std::vector<double>>(),
                         t["T"].get<double>(), t["xI"].get<std::vector<double>>(),
                         t["xII"].get<std::vector<double>>(), t["beta_I"].get<double>()});
    }
    for (const Case& c : cases) {
        const json doc = load(c.file);
        std::vector<std::string> ids;
        for (const auto& comp : doc["components"]) { ids.push_back(comp["id"]); }
        const host::Mixture m =
            host::make_mixture(host::Databank::embedded(), ids, method_of(c.label));
        host::Flash flash(m);
        const FlashResult r = flash.bubble_temperature(kAtm, c.x, three_phase());
        const std::string what = c.what + " " + c.label;
        ASSERT_EQ(r.error_code, 0) << what;
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid) << what;
        EXPECT_NEAR(r.temperature, c.T, 1e-6) << what;
        expect_near_all(r.y, c.x, 1e-6, what + " vapour = liquid");
        auto xI = c.xI, xII = c.xII;
        double beta = c.beta_I;
        if (!is_first(xI, xII)) {
            std::swap(xI, xII);
            beta = 1.0 - beta;
        }
        expect_near_all(r.x1, xI, 1e-6, what);
        expect_near_all(r.x2, xII, 1e-6, what);
        if (c.beta_I >= 0.0) { EXPECT_NEAR(r.beta, beta, 1e-6) << what; }
        expect_balance(r, c.x, what);

        // The same three phases at the same temperature, from the bubble pressure at T3 and
        // from the dew point of the heteroazeotropic vapour: P must be 1 atm again, and the
        // vapour must meet both liquids at once.
        const FlashResult p = flash.bubble_pressure(c.T, c.x, three_phase());
        ASSERT_EQ(p.error_code, 0) << what;
        EXPECT_EQ(p.phases, PhaseState::vapour_liquid_liquid) << what;
        EXPECT_NEAR(p.pressure, kAtm, 1e-6 * kAtm) << what;
        const FlashResult d = flash.dew_temperature(kAtm, c.x, three_phase());
        ASSERT_EQ(d.error_code, 0) << what;
        EXPECT_NEAR(d.temperature, c.T, 1e-6) << what;
        EXPECT_EQ(d.phases, PhaseState::vapour_liquid_liquid) << what;
        expect_near_all(d.x1, xI, 1e-6, what + " dew");
        expect_near_all(d.x2, xII, 1e-6, what + " dew");
    }
}

TEST(HeterogeneousBubblePoint, IsTheSameForEveryFeedOnOneTieLine) {
    // Every overall liquid on one liquid-liquid tie line boils at the same temperature with the
    // same vapour; only the liquids' proportion changes (lever rule). Identity of the
    // three-phase equations, checked on ethanol/water/benzene (UNIFAC) from the tie line of
    // the feed (0.25, 0.25, 0.5).
    const host::Mixture m = host::make_mixture(host::Databank::embedded(),
                                               std::vector<std::string>{"ETOH", "WATER", "BENZENE"},
                                               host::PropertyMethod::unifac);
    host::Flash flash(m);
    const FlashResult base =
        flash.bubble_temperature(kAtm, Composition{0.25, 0.25, 0.5}, three_phase());
    ASSERT_EQ(base.error_code, 0);
    ASSERT_EQ(base.phases, PhaseState::vapour_liquid_liquid);
    for (const double f : {0.02, 0.2, 0.5, 0.8, 0.98}) {
        std::vector<double> x(3);
        for (std::size_t i = 0; i < 3; ++i) { x[i] = f * base.x1[i] + (1 - f) * base.x2[i]; }
        host::Flash fresh(m);  // no warm start from the base point
        const FlashResult r = fresh.bubble_temperature(kAtm, x, three_phase());
        ASSERT_EQ(r.error_code, 0) << f;
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid) << f;
        EXPECT_NEAR(r.temperature, base.temperature, 1e-8) << f;
        expect_near_all(r.y, base.y, 1e-9, "vapour");
        expect_near_all(r.x1, base.x1, 1e-8, "first liquid");
        expect_near_all(r.x2, base.x2, 1e-8, "second liquid");
        EXPECT_NEAR(r.beta, f, 1e-8);
    }
}

TEST(HeterogeneousBubblePoint, WaterWithButanolOrBenzeneSplitsAndWithEthanolDoesNot) {
    // At 101325 Pa water/1-butanol and water/benzene boil as two liquids over most of the
    // composition range (experimental heteroazeotropes near 366 K and 342 K); ethanol/water is
    // miscible and boils as one liquid everywhere. NRTL with the databank's pairs (water/benzene
    // has none and is estimated from UNIFAC-LLE) and original UNIFAC.
    const auto& bank = host::Databank::embedded();
    struct Case {
        std::vector<std::string> ids;
        double x_water;
        bool splits;
        double T_approx;  // [K], the experimental heteroazeotrope
    };
    const Case cases[] = {
        {{"WATER", "NBUOH"}, 0.8, true, 366.0},
        {{"WATER", "BENZENE"}, 0.5, true, 342.4},
        {{"WATER", "BENZENE"}, 0.05, true, 342.4},
    };
    for (const auto method : {host::PropertyMethod::nrtl, host::PropertyMethod::unifac}) {
        for (const Case& c : cases) {
            const host::Mixture m = host::make_mixture(bank, c.ids, method);
            host::Flash flash(m);
            const std::vector<double> x{c.x_water, 1.0 - c.x_water};
            const FlashResult r = flash.bubble_temperature(kAtm, x, three_phase());
            const std::string what = c.ids[1] + " " + std::string(host::method_name(method));
            ASSERT_EQ(r.error_code, 0) << what;
            EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid) << what;
            EXPECT_NEAR(r.temperature, c.T_approx, 1.5) << what;
            // The vapour lies between the liquids: a heteroazeotrope.
            EXPECT_GT(r.y[0], r.x2[0]) << what;
            EXPECT_LT(r.y[0], r.x1[0]) << what;
        }
        const host::Mixture ew =
            host::make_mixture(bank, std::vector<std::string>{"ETOH", "WATER"}, method);
        host::Flash flash(ew);
        for (int k = 0; k <= 20; ++k) {
            const double x1 = 0.05 * k;
            const std::vector<double> x{x1, 1.0 - x1};
            const FlashResult r = flash.bubble_temperature(kAtm, x, three_phase());
            ASSERT_EQ(r.error_code, 0) << x1;
            EXPECT_EQ(r.phases, PhaseState::vapour_liquid) << x1;
            EXPECT_EQ(r.x1, r.x2) << x1;
        }
    }
}

TEST(PublishedLiquidLiquidSet, WaterTolueneReproducesSolubilitiesAndHeteroazeotrope) {
    // TW-PUB-1 (nrtl_lle.tsv): McDonald & Floudas (1995) from the DECHEMA LLE collection, fitted
    // to liquid-liquid data at 298.15 K. Literature (nrtl_lle.md, after IUPAC-NIST SDS 81):
    // x_toluene in water about 1.0e-4, x_water in toluene about 2.5e-3; the model gives 1.00e-4
    // and 2.55e-3. Heteroazeotrope at 1 atm: 84.1 degC (357.3 K), y_water about 0.56 (CRC
    // azeotrope table); the model gives 357.58 K, 0.558. Tolerances are the model's stated
    // deviation from those data.
    host::ModelOptions options;
    options.nrtl_set = "TW-PUB-1";
    const host::Mixture m =
        host::make_mixture(host::Databank::embedded(), std::vector<std::string>{"WATER", "TOLUENE"},
                           host::PropertyMethod::nrtl, options);
    host::Flash flash(m);
    const FlashResult r =
        flash.run(FlashKind::tp, 298.15, kAtm, Composition{0.5, 0.5}, three_phase());
    ASSERT_EQ(r.error_code, 0);
    ASSERT_EQ(r.phases, PhaseState::liquid_liquid);
    EXPECT_NEAR(r.x1[1], 1.0e-4, 0.05e-4);  // toluene in the water-rich (first) liquid
    EXPECT_NEAR(r.x2[0], 2.5e-3, 0.1e-3);   // water in the toluene-rich liquid
    const FlashResult b = flash.bubble_temperature(kAtm, Composition{0.5, 0.5}, three_phase());
    ASSERT_EQ(b.error_code, 0);
    EXPECT_EQ(b.phases, PhaseState::vapour_liquid_liquid);
    EXPECT_NEAR(b.temperature, 357.3, 0.5);
    EXPECT_NEAR(b.y[0], 0.56, 0.01);
}

TEST(ThreePhaseKinds, ABinaryInItsGapBoilsAtTheThreePhaseTemperatureWhateverTheSpecification) {
    // Water/1-butanol (NRTL) at 1 atm, z = (0.7, 0.3), inside the two-liquid range: by the phase
    // rule the three phases coexist only at T3 = 366.1015114 K (vle_water_1butanol.json) with
    // y = (0.7630419, 0.2369581). Partial vaporisation up to the point where the butanol-rich
    // liquid is used up, the enthalpies in between, and the pressure at T3 all give that state,
    // with the amounts by the lever rule; beyond it the feed boils on as vapour + one liquid.
    const double T3 = 366.10151142629707;
    const std::vector<double> y3{0.7630418884905144, 0.23695811150947874};
    const host::Mixture m =
        host::make_mixture(host::Databank::embedded(), std::vector<std::string>{"WATER", "NBUOH"},
                           host::PropertyMethod::nrtl);
    host::Flash flash(m);
    const Composition z{0.7, 0.3};
    FlashOptions o = three_phase();
    o.tolerance = 1e-10;
    for (const double V : {0.1, 0.3, 0.5}) {
        const FlashResult r = flash.run(FlashKind::pv, kAtm, V, z, o);
        const std::string what = "V = " + std::to_string(V);
        ASSERT_EQ(r.error_code, 0) << what;
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid) << what;
        EXPECT_NEAR(r.temperature, T3, 1e-6) << what;
        EXPECT_NEAR(r.vapour_fraction, V, 1e-9) << what;
        expect_near_all(r.y, y3, 1e-7, what);
        expect_balance(r, z, what);

        // The enthalpy of that state gives it back by PH; at T3 by TH, with P = 1 atm.
        const double H = flash.enthalpy(r);
        const FlashResult ph = flash.run(FlashKind::ph, kAtm, H, z, o);
        ASSERT_EQ(ph.error_code, 0) << what;
        EXPECT_NEAR(ph.temperature, T3, 1e-6) << what;
        EXPECT_NEAR(ph.vapour_fraction, V, 1e-7) << what;
        EXPECT_NEAR(ph.beta, r.beta, 1e-7) << what;
        const FlashResult th = flash.run(FlashKind::th, T3, H, z, o);
        ASSERT_EQ(th.error_code, 0) << what;
        EXPECT_NEAR(th.pressure, kAtm, 1e-6 * kAtm) << what;
        EXPECT_NEAR(th.vapour_fraction, V, 1e-6) << what;
        const FlashResult tv = flash.run(FlashKind::tv, T3, V, z, o);
        ASSERT_EQ(tv.error_code, 0) << what;
        EXPECT_NEAR(tv.pressure, kAtm, 1e-6 * kAtm) << what;
        expect_balance(tv, z, what);
    }
    // Past the lever-rule limit V = (0.7 - x1) / (y1 - x1) of the organic liquid x1 = 0.5880538
    // (0.6496): one liquid and the vapour, above T3, the isothermal flash there agreeing.
    const FlashResult r = flash.run(FlashKind::pv, kAtm, 0.8, z, o);
    ASSERT_EQ(r.error_code, 0);
    EXPECT_EQ(r.phases, PhaseState::vapour_liquid);
    EXPECT_GT(r.temperature, T3 + 0.01);
    const FlashResult tp = flash.run(FlashKind::tp, r.temperature, kAtm, z, o);
    ASSERT_EQ(tp.error_code, 0);
    EXPECT_NEAR(tp.vapour_fraction, 0.8, 1e-8);
}

TEST(ThreePhaseKinds, EveryKindReturnsTheStateOfTheIsothermalFlash) {
    // Ethanol/water/benzene (UNIFAC), z = (0.25, 0.25, 0.5) at 1 atm: two liquids below the
    // three-phase bubble point (337.19 K), vapour and two liquids just above it, vapour and one
    // liquid higher up. The isothermal flash's vapour fraction and enthalpy at each temperature
    // must give back that temperature through kinds pv and ph, and its pressure through th; the
    // bubble pressure at the bubble temperature must be 1 atm.
    const host::Mixture m = host::make_mixture(host::Databank::embedded(),
                                               std::vector<std::string>{"ETOH", "WATER", "BENZENE"},
                                               host::PropertyMethod::unifac);
    host::Flash flash(m);
    const Composition z{0.25, 0.25, 0.5};
    FlashOptions o = three_phase();
    o.tolerance = 1e-10;
    const FlashResult bubble = flash.bubble_temperature(kAtm, z, o);
    ASSERT_EQ(bubble.error_code, 0);
    const FlashResult p = flash.bubble_pressure(bubble.temperature, z, o);
    ASSERT_EQ(p.error_code, 0);
    EXPECT_NEAR(p.pressure, kAtm, 1e-7 * kAtm);
    expect_near_all(p.x1, bubble.x1, 1e-7, "bubble pressure liquids");

    const struct {
        double T;
        PhaseState phases;
    } states[] = {{330.0, PhaseState::liquid_liquid},
                  {337.2, PhaseState::vapour_liquid_liquid},
                  {338.5, PhaseState::vapour_liquid}};
    for (const auto& s : states) {
        const std::string what = "T = " + std::to_string(s.T);
        const FlashResult tp = flash.run(FlashKind::tp, s.T, kAtm, z, o);
        ASSERT_EQ(tp.error_code, 0) << what;
        ASSERT_EQ(tp.phases, s.phases) << what;
        expect_balance(tp, z, what);
        const double H = flash.enthalpy(tp);
        const FlashResult ph = flash.run(FlashKind::ph, kAtm, H, z, o);
        ASSERT_EQ(ph.error_code, 0) << what;
        EXPECT_EQ(ph.phases, s.phases) << what;
        EXPECT_NEAR(ph.temperature, s.T, 1e-6) << what;
        expect_near_all(ph.x1, tp.x1, 1e-6, what + " ph");
        if (s.phases == PhaseState::liquid_liquid) { continue; }
        const FlashResult pv = flash.run(FlashKind::pv, kAtm, tp.vapour_fraction, z, o);
        ASSERT_EQ(pv.error_code, 0) << what;
        EXPECT_NEAR(pv.temperature, s.T, 1e-6) << what;
        EXPECT_EQ(pv.phases, s.phases) << what;
        const FlashResult th = flash.run(FlashKind::th, s.T, H, z, o);
        ASSERT_EQ(th.error_code, 0) << what;
        EXPECT_NEAR(th.pressure, kAtm, 1e-6 * kAtm) << what;
    }
}

// ---- The synthetic system of the phase-stability notes, section 10 (independent prototype).
// 1 "water-like", 2 "butanol-like", 3 "ethanol-like"; NRTL tau_ij = b_ij/T, alpha 0.3.

host::Mixture notes_system() {
    std::vector<host::PureComponent> c(3);
    // ln P[Pa] = A + B/(T + C): the first and third as given; the second from
    // P = 133.322 * 10^(7.47680 - 1362.39/(T - 273.15 + 178.77)).
    const double ln10 = std::log(10.0);
    const double abc[3][3] = {{23.2256, -3835.18, -45.343},
                              {std::log(133.322) + 7.47680 * ln10, -1362.39 * ln10, -94.38},
                              {23.8047, -3803.98, -41.68}};
    const char* ids[3] = {"W", "B", "E"};
    for (std::size_t i = 0; i < 3; ++i) {
        c[i].id = ids[i];
        c[i].vapour_pressure.A = abc[i][0];
        c[i].vapour_pressure.B = abc[i][1];
        c[i].vapour_pressure.C = abc[i][2];
        c[i].vapour_pressure.T_min = 250.0;
        c[i].vapour_pressure.T_max = 500.0;
        c[i].heat_of_vaporization.Tc = 1000.0;
    }
    host::NrtlParameters p;
    p.tau = host::InteractionMatrix(3);
    p.tau.b = {0, 1350, 300, 50, 0, -50, -100, 150, 0};
    p.alpha.assign(9, 0.3);
    return host::Mixture(c, std::make_shared<host::Nrtl>(p));
}

TEST(NotesExamples, BinaryLiquidLiquidSplitAndHeterogeneousBubblePoints) {
    // Notes 10.1: z = (0.6, 0.4) at 365 K splits into (0.97550113, 0.02449887) and
    // (0.43041805, 0.56958195) with 0.68888788 of the feed in the second. Notes 10.3: its
    // heterogeneous bubble point at 1 atm is 365.653354 K with y = (0.74633784, 0.25366216),
    // 0.68931769 of the liquid in the second liquid; (0.8, 0.2) boils at the same T with
    // 0.32195033; homogeneous bubble points outside the gap: (0.99, 0.01) 368.808393 K, (0.3, 0.7)
    // 368.343718 K, (0.1, 0.9) 378.770635 K.
    const host::Mixture full = notes_system();
    std::vector<host::PureComponent> comps{full.component(0), full.component(1)};
    host::NrtlParameters p;
    p.tau = host::InteractionMatrix(2);
    p.tau.b = {0, 1350, 50, 0};
    p.alpha.assign(4, 0.3);
    const host::Mixture m(comps, std::make_shared<host::Nrtl>(p));
    host::Flash flash(m);
    const FlashResult ll =
        flash.run(FlashKind::tp, 365.0, 2 * kAtm, Composition{0.6, 0.4}, three_phase());
    ASSERT_EQ(ll.error_code, 0);
    ASSERT_EQ(ll.phases, PhaseState::liquid_liquid);
    expect_near_all(ll.x1, {0.97550113, 0.02449887}, 1e-8, "first liquid");
    expect_near_all(ll.x2, {0.43041805, 0.56958195}, 1e-8, "second liquid");
    EXPECT_NEAR(ll.beta, 1.0 - 0.68888788, 1e-8);

    for (const auto& [x1, phi] : {std::pair{0.6, 0.68931769}, std::pair{0.8, 0.32195033}}) {
        const FlashResult r =
            flash.bubble_temperature(kAtm, Composition{x1, 1 - x1}, three_phase());
        ASSERT_EQ(r.error_code, 0);
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid_liquid);
        EXPECT_NEAR(r.temperature, 365.653354, 1e-6);
        expect_near_all(r.y, {0.74633784, 0.25366216}, 1e-8, "vapour");
        expect_near_all(r.x1, {0.97527433, 0.02472567}, 1e-8, "first liquid");
        expect_near_all(r.x2, {0.43086015, 0.56913985}, 1e-8, "second liquid");
        EXPECT_NEAR(r.beta, 1.0 - phi, 1e-8);
    }
    const struct {
        double x1, T, y1;
    } homogeneous[] = {{0.99, 368.808393, 0.84703767},
                       {0.30, 368.343718, 0.68492015},
                       {0.10, 378.770635, 0.42143773}};
    for (const auto& h : homogeneous) {
        const FlashResult r =
            flash.bubble_temperature(kAtm, Composition{h.x1, 1 - h.x1}, three_phase());
        ASSERT_EQ(r.error_code, 0) << h.x1;
        EXPECT_EQ(r.phases, PhaseState::vapour_liquid) << h.x1;
        EXPECT_NEAR(r.temperature, h.T, 1e-6) << h.x1;
        EXPECT_NEAR(r.y[0], h.y1, 1e-8) << h.x1;
    }
}

TEST(NotesExamples, TernaryHeterogeneousBubblePointAndIsothermalFlashes) {
    // Notes 10.4, z = (0.6, 0.3, 0.1) at 1 atm: three-phase bubble point 364.127826 K, liquids
    // (0.86532545, 0.05714381, 0.07753074) and (0.52309038, 0.37039648, 0.10651314), 0.77527254
    // of the liquid in the second, y = (0.65840346, 0.20379127, 0.13780528). Isothermal flashes
    // of the same feed: 363.6 K two liquids, 0.22586481 / 0.77413519; 364.6 K vapour 0.6557612
    // with the second liquid only, y = (0.67078904, 0.21952127, 0.10968969),
    // x = (0.4651497, 0.45330877, 0.08154152); 366.0 K vapour 0.86063097 and one liquid
    // (0.35333341, 0.57835803, 0.06830856), y = (0.63994474, 0.2549232, 0.10513206).
    const host::Mixture m = notes_system();
    host::Flash flash(m);
    const std::vector<double> z{0.6, 0.3, 0.1};
    const FlashResult b = flash.bubble_temperature(kAtm, z, three_phase());
    ASSERT_EQ(b.error_code, 0);
    EXPECT_EQ(b.phases, PhaseState::vapour_liquid_liquid);
    EXPECT_NEAR(b.temperature, 364.127826, 1e-6);
    expect_near_all(b.x1, {0.86532545, 0.05714381, 0.07753074}, 1e-8, "first liquid");
    expect_near_all(b.x2, {0.52309038, 0.37039648, 0.10651314}, 1e-8, "second liquid");
    EXPECT_NEAR(b.beta, 1.0 - 0.77527254, 1e-8);
    expect_near_all(b.y, {0.65840346, 0.20379127, 0.13780528}, 1e-8, "vapour");

    const FlashResult ll = flash.run(FlashKind::tp, 363.6, kAtm, z, three_phase());
    ASSERT_EQ(ll.error_code, 0);
    EXPECT_EQ(ll.phases, PhaseState::liquid_liquid);
    EXPECT_EQ(ll.vapour_fraction, 0.0);
    EXPECT_NEAR(ll.beta, 0.22586481, 1e-8);
    expect_balance(ll, z, "363.6 K");

    const FlashResult vl = flash.run(FlashKind::tp, 364.6, kAtm, z, three_phase());
    ASSERT_EQ(vl.error_code, 0);
    EXPECT_EQ(vl.phases, PhaseState::vapour_liquid);
    EXPECT_NEAR(vl.vapour_fraction, 0.6557612, 1e-7);
    expect_near_all(vl.y, {0.67078904, 0.21952127, 0.10968969}, 1e-7, "vapour at 364.6 K");
    expect_near_all(vl.x, {0.4651497, 0.45330877, 0.08154152}, 1e-7, "liquid at 364.6 K");
    expect_balance(vl, z, "364.6 K");

    const FlashResult v = flash.run(FlashKind::tp, 366.0, kAtm, z, three_phase());
    ASSERT_EQ(v.error_code, 0);
    EXPECT_EQ(v.phases, PhaseState::vapour_liquid);
    EXPECT_NEAR(v.vapour_fraction, 0.86063097, 1e-8);
    expect_near_all(v.x, {0.35333341, 0.57835803, 0.06830856}, 1e-8, "liquid at 366 K");
    expect_near_all(v.y, {0.63994474, 0.2549232, 0.10513206}, 1e-8, "vapour at 366 K");

    // Between 364.13 K and 364.6 K the vapour coexists with both liquids: every fugacity equal.
    const FlashResult vll = flash.run(FlashKind::tp, 364.3, kAtm, z, three_phase());
    ASSERT_EQ(vll.error_code, 0);
    ASSERT_EQ(vll.phases, PhaseState::vapour_liquid_liquid);
    EXPECT_GT(vll.vapour_fraction, 0.0);
    EXPECT_GT(vll.beta, 0.0);
    EXPECT_LT(vll.beta, 1.0);
    expect_balance(vll, z, "364.3 K");
    std::vector<double> g1(3), g2(3);
    m.ln_gamma(364.3, vll.x1, g1);
    m.ln_gamma(364.3, vll.x2, g2);
    for (std::size_t i = 0; i < 3; ++i) {
        const double f1 = std::log(vll.x1[i]) + g1[i] + m.ln_psat(i, 364.3);
        const double f2 = std::log(vll.x2[i]) + g2[i] + m.ln_psat(i, 364.3);
        const double fv = std::log(vll.y[i] * kAtm);
        EXPECT_NEAR(f1, f2, 1e-9) << i;
        EXPECT_NEAR(f1, fv, 1e-9) << i;
    }
}

}  // namespace
