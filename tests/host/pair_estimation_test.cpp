// Estimation of missing binary pairs from UNIFAC, and the origins reported for every pair.
// References: the derived rows of nrtl_lle.tsv (made by the data curator with the same
// procedure, outside this code: nrtl_lle.md), the liquid-liquid splits of data/reference/, and
// the azeotropes that UNIFAC itself and the separately fitted IWD-1 set predict.
#include "host/pair_estimation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/host_state.hpp"
#include "host/mixture.hpp"
#include "host/model_factory.hpp"
#include "host/problem_definition.hpp"

namespace {

using host::Databank;
using host::PairOrigin;
using host::PropertyMethod;

constexpr double kAtm = 101325.0;

TEST(PairEstimation, ReproducesTheLiquidLiquidRowsDerivedFromUnifacLle) {
    // nrtl_lle.md: each WX-ULLE-1 row is NRTL (alpha 0.2) solved at 298.15 ... 358.15 K for
    // UNIFAC-LLE's mutual solubilities, then tau = a + b/T fitted by least squares; the rows
    // carry 6 significant digits. The estimate must give the same tau at both ends of the
    // range to that precision.
    const Databank& bank = Databank::embedded();
    int rows = 0;
    for (const host::BinaryParameterRow& row : bank.binary_rows(host::BinaryTable::nrtl_lle)) {
        if (row.set != "WX-ULLE-1") { continue; }
        ++rows;
        std::string why;
        const auto e = host::estimate_binary_parameters(
            bank, *bank.find(row.id_i), *bank.find(row.id_j), PropertyMethod::nrtl, &why);
        ASSERT_TRUE(e.has_value()) << row.id_j << ": " << why;
        EXPECT_EQ(e->kind, host::PairEstimateKind::mutual_solubility) << row.id_j;
        EXPECT_EQ(e->alpha, 0.2) << row.id_j;
        for (const double T : {298.15, 358.15}) {
            EXPECT_NEAR(e->a_12 + e->b_12 / T, row.a_ij + row.b_ij / T, 2e-5) << row.id_j << T;
            EXPECT_NEAR(e->a_21 + e->b_21 / T, row.a_ji + row.b_ji / T, 2e-5) << row.id_j << T;
        }
        EXPECT_LT(e->deviation, 0.01) << row.id_j;  // nrtl_lle.md: within 0.5 %
        EXPECT_NE(e->description.find("UNIFAC-LLE"), std::string::npos) << e->description;
    }
    EXPECT_EQ(rows, 11);
}

TEST(PairEstimation, BinarySplitOfAModelMatchesTheReferenceSplits) {
    // vle_water_1butanol.json, ll_split at 298.15 K: x_water 0.99447228 / 0.60085107 (NRTL) and
    // 0.98145425 / 0.53368705 (UNIFAC-LLE); ethanol/water is miscible.
    const Databank& bank = Databank::embedded();
    const std::vector<std::string> ids{"WATER", "NBUOH"};
    const auto components = host::find_components(bank, ids);
    const auto nrtl = host::make_activity_model(bank, components, PropertyMethod::nrtl);
    const auto lle = host::make_activity_model(bank, components, PropertyMethod::unifac_lle);
    const auto a = host::binary_liquid_split(*nrtl, 298.15);
    const auto b = host::binary_liquid_split(*lle, 298.15);
    ASSERT_TRUE(a.has_value());
    ASSERT_TRUE(b.has_value());
    EXPECT_NEAR((*a)[0], 0.6008510668911744, 1e-9);
    EXPECT_NEAR((*a)[1], 0.9944722791496394, 1e-9);
    EXPECT_NEAR((*b)[0], 0.533687049437765, 1e-9);
    EXPECT_NEAR((*b)[1], 0.9814542540827538, 1e-9);
    const auto ew = host::make_activity_model(
        bank, host::find_components(bank, std::vector<std::string>{"ETOH", "WATER"}),
        PropertyMethod::nrtl);
    EXPECT_FALSE(host::binary_liquid_split(*ew, 298.15).has_value());
    EXPECT_THROW(
        (void)host::binary_liquid_split(
            *host::make_activity_model(
                bank,
                host::find_components(bank, std::vector<std::string>{"ETOH", "WATER", "BENZENE"}),
                PropertyMethod::unifac),
            300.0),
        std::invalid_argument);
}

TEST(PairEstimation, AMisciblePairMatchesUnifacAtInfiniteDilutionAndPredictsItsAzeotrope) {
    // 2-propanol/DIPE has no row in nrtl.tsv. The estimate reproduces original UNIFAC's ln gamma
    // at infinite dilution at both normal boiling points, and so predicts the azeotrope of the
    // model it stands for: UNIFAC itself gives x_IPA 0.2546 at 337.76 K (computed here with the
    // UNIFAC mixture), the IWD-1 set, fitted to UNIFAC's ln gamma over the whole range,
    // x_IPA 0.26 at 337.7 K (nrtl_lle.md).
    const Databank& bank = Databank::embedded();
    const std::vector<std::string> ids{"IPROH", "DIPE"};
    ASSERT_EQ(bank.find_binary(host::BinaryTable::nrtl, "IPROH", "DIPE"), nullptr);
    std::vector<PairOrigin> origins;
    const host::Mixture nrtl = host::make_mixture(bank, ids, PropertyMethod::nrtl, {}, &origins);
    const host::Mixture unifac = host::make_mixture(bank, ids, PropertyMethod::unifac);
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0].kind, PairOrigin::Kind::estimated);
    EXPECT_NE(origins[0].detail.find("infinite-dilution"), std::string::npos);
    const double tb[2] = {nrtl.component(0).normal_boiling_point,
                          nrtl.component(1).normal_boiling_point};
    for (const double T : tb) {
        for (const std::vector<double>& x :
             {std::vector<double>{0, 1}, std::vector<double>{1, 0}}) {
            std::vector<double> a(2), b(2);
            nrtl.ln_gamma(T, x, a);
            unifac.ln_gamma(T, x, b);
            const std::size_t dilute = x[0] == 0 ? 0 : 1;
            EXPECT_NEAR(a[dilute], b[dilute], 1e-8) << T;
        }
    }
    const auto azeotrope = [](const host::Mixture& m, double& T) {
        host::Flash flash(m);
        double lo = 0.05, hi = 0.6, x = 0.0;
        for (int it = 0; it < 50; ++it) {
            x = 0.5 * (lo + hi);
            const host::FlashResult r =
                flash.bubble_temperature(kAtm, std::vector<double>{x, 1 - x});
            T = r.temperature;
            (r.y[0] > x ? lo : hi) = x;  // below the azeotrope 2-propanol enriches the vapour
        }
        return x;
    };
    double T_nrtl = 0.0, T_unifac = 0.0;
    const double x_nrtl = azeotrope(nrtl, T_nrtl);
    const double x_unifac = azeotrope(unifac, T_unifac);
    EXPECT_NEAR(x_unifac, 0.2546, 0.001);
    EXPECT_NEAR(x_nrtl, x_unifac, 0.015);
    EXPECT_NEAR(T_nrtl, T_unifac, 0.4);
    EXPECT_NEAR(x_nrtl, 0.26, 0.01);
    EXPECT_NEAR(T_nrtl, 337.7, 0.4);
}

TEST(PairEstimation, OriginsNameEveryPairAndThePolicyDecidesTheMissingOnes) {
    // Ethanol/water/benzene with NRTL: nrtl.tsv has ethanol/water and ethanol/benzene but no
    // water/benzene (binary.md). By default that pair is estimated from UNIFAC-LLE and the
    // liquid splits at its bubble point (water/benzene is a classic heteroazeotrope); left ideal,
    // the pair cannot split and the flash finds one liquid. The EWB-1 set has all three.
    const Databank& bank = Databank::embedded();
    const std::vector<std::string> ids{"ETOH", "WATER", "BENZENE"};
    const std::vector<double> x{0.0, 0.5, 0.5};
    host::FlashOptions o;
    o.phase_count = 3;

    std::vector<PairOrigin> origins;
    const host::Mixture estimated =
        host::make_mixture(bank, ids, PropertyMethod::nrtl, {}, &origins);
    ASSERT_EQ(origins.size(), 3u);
    EXPECT_EQ(origins[0].first, 0u);
    EXPECT_EQ(origins[0].second, 1u);
    EXPECT_EQ(origins[0].kind, PairOrigin::Kind::databank);
    EXPECT_EQ(origins[0].detail.rfind("nrtl.tsv:", 0), 0u) << origins[0].detail;
    EXPECT_EQ(origins[1].kind, PairOrigin::Kind::databank);
    EXPECT_EQ(origins[2].first, 1u);
    EXPECT_EQ(origins[2].second, 2u);
    EXPECT_EQ(origins[2].kind, PairOrigin::Kind::estimated);
    EXPECT_NE(origins[2].detail.find("UNIFAC-LLE"), std::string::npos) << origins[2].detail;
    EXPECT_EQ(host::pair_origin_name(origins[2].kind), "UNIFAC estimate");
    const host::FlashResult split = host::Flash(estimated).bubble_temperature(kAtm, x, o);
    ASSERT_EQ(split.error_code, 0);
    EXPECT_EQ(split.phases, host::PhaseState::vapour_liquid_liquid);

    host::ModelOptions ideal;
    ideal.missing_pairs = host::MissingPairPolicy::ideal;
    origins.clear();
    const host::Mixture left = host::make_mixture(bank, ids, PropertyMethod::nrtl, ideal, &origins);
    ASSERT_EQ(origins.size(), 3u);
    EXPECT_EQ(origins[2].kind, PairOrigin::Kind::ideal);
    EXPECT_FALSE(origins[2].detail.empty());
    const host::FlashResult one = host::Flash(left).bubble_temperature(kAtm, x, o);
    ASSERT_EQ(one.error_code, 0);
    EXPECT_EQ(one.phases, host::PhaseState::vapour_liquid);

    host::ModelOptions set;
    set.nrtl_set = "EWB-1";
    origins.clear();
    (void)host::make_mixture(bank, ids, PropertyMethod::nrtl, set, &origins);
    ASSERT_EQ(origins.size(), 3u);
    for (const PairOrigin& p : origins) {
        EXPECT_EQ(p.kind, PairOrigin::Kind::databank);
        EXPECT_EQ(p.detail.rfind("nrtl_lle.tsv:", 0), 0u) << p.detail;
    }
    // Methods without binary pairs list none.
    origins.clear();
    (void)host::make_mixture(bank, ids, PropertyMethod::unifac, {}, &origins);
    EXPECT_TRUE(origins.empty());
}

TEST(PairEstimation, AProblemFileEstimatesByDefaultAndReportsWhatItDid) {
    // An option set without missing_pairs fills water/benzene from UNIFAC-LLE (the same
    // parameters as make_mixture's), its report names the estimate, nothing is left ideal;
    // missing_pairs = "ideal" leaves the pair ideal with a warning.
    const Databank& bank = Databank::embedded();
    const std::string components =
        "[[component]]\nid = \"WATER\"\n[[component]]\nid = \"BENZENE\"\n"
        "[[component]]\nid = \"ETOH\"\n";
    const host::LoadedProblem estimated(
        host::parse_problem_definition(
            components + "[[option_set]]\nname = \"N\"\nmethod = \"NRTL\"\n", "p.toml", bank),
        bank);
    const host::OptionSetModel& m = estimated.model(0);
    EXPECT_EQ(m.missing_pair_count(), 0u);
    EXPECT_EQ(m.pair_source(0, 1).kind, host::PairSource::Kind::estimated);
    EXPECT_NE(m.pair_source(0, 1).detail.find("UNIFAC-LLE"), std::string::npos);
    EXPECT_EQ(m.pair_source(0, 2).kind, host::PairSource::Kind::databank);
    EXPECT_TRUE(estimated.warnings().empty());
    const std::string report = estimated.report();
    EXPECT_NE(report.find("missing pairs: UNIFAC estimates"), std::string::npos) << report;
    EXPECT_NE(report.find("WATER/BENZENE      estimated: NRTL (alpha 0.2)"), std::string::npos)
        << report;
    const std::vector<std::size_t> positions{0, 1};
    const auto direct = host::make_activity_model(
        bank, host::find_components(bank, std::vector<std::string>{"WATER", "BENZENE"}),
        PropertyMethod::nrtl);
    std::vector<double> a(2), b(2);
    const std::vector<double> x{0.3, 0.7};
    m.model(positions)->ln_gamma(340.0, x, a);
    direct->ln_gamma(340.0, x, b);
    EXPECT_EQ(a, b);

    const host::LoadedProblem ideal(
        host::parse_problem_definition(components +
                                           "[[option_set]]\nname = \"N\"\nmethod = \"NRTL\"\n"
                                           "missing_pairs = \"ideal\"\n",
                                       "p.toml", bank),
        bank);
    EXPECT_EQ(ideal.model(0).missing_pair_count(), 1u);
    EXPECT_EQ(ideal.warnings().size(), 1u);
}

TEST(PairEstimation, WilsonAndUnmatchablePairsSayWhatTheyGot) {
    // Wilson cannot describe two liquids: a partly miscible pair gets the infinite-dilution
    // match, and the description says so. A component without UNIFAC groups (defined inline,
    // say) cannot be estimated: the pair stays ideal and the origin gives the reason.
    const Databank& bank = Databank::embedded();
    const auto e = host::estimate_binary_parameters(bank, *bank.find("WATER"),
                                                    *bank.find("BENZENE"), PropertyMethod::wilson);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->kind, host::PairEstimateKind::infinite_dilution);
    EXPECT_NE(e->description.find("Wilson cannot describe"), std::string::npos) << e->description;

    auto components = host::find_components(bank, std::vector<std::string>{"WATER", "BENZENE"});
    components[1].id = "MYSTERY";
    components[1].unifac_groups.clear();
    components[1].unifac_lle_groups.clear();
    std::string why;
    EXPECT_FALSE(host::estimate_binary_parameters(bank, components[0], components[1],
                                                  PropertyMethod::nrtl, &why)
                     .has_value());
    EXPECT_NE(why.find("UNIFAC"), std::string::npos) << why;
    std::vector<PairOrigin> origins;
    (void)host::make_activity_model(bank, components, PropertyMethod::nrtl, {}, &origins);
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0].kind, PairOrigin::Kind::ideal);
    EXPECT_NE(origins[0].detail.find("UNIFAC"), std::string::npos) << origins[0].detail;
    EXPECT_FALSE(host::estimate_binary_parameters(bank, components[0], components[1],
                                                  PropertyMethod::unifac, &why)
                     .has_value());
}

}  // namespace
