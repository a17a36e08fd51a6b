// Problem-definition files: every error names file, line and key; the shipped examples load;
// a component defined in the file gets handbook-consistent properties; option-set models cut to
// subsets equal the models built straight from the databank, and the report's pair sources.
#include "host/problem_definition.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/model_factory.hpp"
#include "host/option_set_model.hpp"
#include "platform/units.hpp"

namespace {

using host::Databank;
using host::ProblemDefinition;
using host::ProblemDefinitionError;

const Databank& bank() { return Databank::embedded(); }

ProblemDefinition parse(const std::string& text) {
    return host::parse_problem_definition(text, "problem.toml", bank());
}

std::string example(const std::string& name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + name;
}

/// A small valid file; the error cases below each break one thing in it.
const std::string kValid = R"(title = "test"
global_option_set = "NRTL"

[[component]]
id = "ETOH"

[[component]]
id = "WATER"

[[option_set]]
name = "NRTL"
method = "NRTL"
)";

struct ErrorCase {
    std::string label;
    std::string text;
    std::size_t line;
    std::string key;
    std::string fragment;  ///< part of the message that says what is wrong
};

TEST(ProblemDefinitionFile, EveryErrorNamesFileLineAndKey) {
    const std::string comps = "[[component]]\nid = \"ETOH\"\n\n[[component]]\nid = \"WATER\"\n";
    const std::vector<ErrorCase> cases = {
        {"misspelt method", comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRLT\"\n", 8,
         "method", "unknown property method \"NRLT\""},
        {"syntax error", "[[component]\nid = \"ETOH\"\n", 1, "", ""},
        {"unknown databank id", "[[component]]\nid = \"ETHANOL\"\n", 2, "id",
         "unknown databank component \"ETHANOL\""},
        {"id too long", "[[component]]\nid = \"ETHANOL12\"\n", 2, "id", "1 to 8 characters"},
        {"id with a blank", "[[component]]\nid = \"ET OH\"\n", 2, "id", "without blanks"},
        {"component twice, other case", comps + "\n[[component]]\nid = \"etoh\"\n", 8, "id",
         "listed twice"},
        {"misspelt key", comps + "[[option_set]]\nnmae = \"A\"\nmethod = \"NRTL\"\n", 7, "nmae",
         "unknown key"},
        {"option-set name too long",
         comps + "[[option_set]]\nname = \"NRTLNRTL9\"\nmethod = \"NRTL\"\n", 7, "name",
         "1 to 8 characters"},
        {"option set twice",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set]]\nname = \"a\"\n"
                 "method = \"IDEAL\"\n",
         10, "name", "defined twice"},
        {"method missing", comps + "[[option_set]]\nname = \"A\"\n", 6, "method", "missing"},
        {"method not a text", comps + "[[option_set]]\nname = \"A\"\nmethod = 3\n", 8, "method",
         "must be a text"},
        {"missing-pair rule unknown",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\nmissing_pairs = \"zero\"\n", 9,
         "missing_pairs", "\"ideal\" or \"unifac\""},
        {"pairs for UNIFAC",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"UNIFAC\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"WATER\"]\n",
         9, "pair", "only WILSON, NRTL and UNIQUAC"},
        {"unknown NRTL set",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\nparameter_set = \"EWB-2\"\n", 9,
         "parameter_set", "unknown NRTL parameter set \"EWB-2\""},
        {"parameter set for Wilson",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"WILSON\"\nparameter_set = \"EWB-1\"\n",
         9, "parameter_set", "only an NRTL option set"},
        {"pair with a stranger",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"BENZENE\"]\nalpha = 0.3\n",
         10, "components", "not one of the problem's components"},
        {"pair of one component",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"etoh\"]\nalpha = 0.3\n",
         10, "components", "two different components"},
        {"pair twice",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"WATER\"]\nalpha = 0.3\n[[option_set.pair]]\n"
                 "components = [\"WATER\", \"ETOH\"]\nalpha = 0.3\n",
         13, "components", "given twice"},
        {"NRTL pair without alpha",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"WATER\"]\nb_12_K = 100\n",
         9, "alpha", "missing"},
        {"alpha for a Wilson pair",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"WILSON\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"WATER\"]\nalpha = 0.3\n",
         11, "alpha", "unknown key"},
        {"infinite parameter",
         comps + "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n[[option_set.pair]]\n"
                 "components = [\"ETOH\", \"WATER\"]\nalpha = 0.3\nb_12_K = inf\n",
         12, "b_12_K", "finite"},
        {"unknown global option set",
         "global_option_set = \"B\"\n" + comps +
             "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n",
         1, "global_option_set", "no option set is named \"B\""},
        {"tolerance out of range", "[flash]\ntolerance = 0.5\n" + comps, 2, "tolerance",
         "(0, 0.1]"},
        {"level out of range", "[flash]\nhistory_level = 9\n" + comps, 2, "history_level", "0..8"},
        {"no option sets", comps, 0, "option_set", "no option sets"},
        {"no components", "[[option_set]]\nname = \"A\"\nmethod = \"NRTL\"\n", 0, "component",
         "no components"},
        {"components not tables", "component = [\"ETOH\"]\n", 1, "component", "[[component]]"},
        {"UNIQUAC without r and q",
         "[[component]]\nid = \"ETOH\"\n[[component]]\nid = \"NEW\"\n[component.constants]\n"
         "name = \"x\"\nmw_g_per_mol = 50\ntc_K = 500\npc_Pa = 4e6\nomega = 0.3\ntb_K = 350\n"
         "vp_A = 20.7\nvp_B = -3000\nvp_Tmin_K = 250\nvp_Tmax_K = 500\ncpig_A = 50\n"
         "hvap_A_J_per_mol = 40000\nhvap_B = 0.38\n"
         "[[option_set]]\nname = \"A\"\nmethod = \"UNIQUAC\"\n",
         19, "method", "UNIQUAC cannot be used"},
        {"UNIFAC without groups",
         "[[component]]\nid = \"ETOH\"\n[[component]]\nid = \"NEW\"\n[component.constants]\n"
         "name = \"x\"\nmw_g_per_mol = 50\ntc_K = 500\npc_Pa = 4e6\nomega = 0.3\ntb_K = 350\n"
         "vp_A = 20.7\nvp_B = -3000\nvp_Tmin_K = 250\nvp_Tmax_K = 500\ncpig_A = 50\n"
         "hvap_A_J_per_mol = 40000\nhvap_B = 0.38\n"
         "[[option_set]]\nname = \"A\"\nmethod = \"UNIFAC\"\n",
         19, "method", "UNIFAC cannot be used"},
        {"databank id redefined",
         "[[component]]\nid = \"ETOH\"\n[component.constants]\nname = \"x\"\n", 2, "id",
         "is a databank component"},
        {"constant missing",
         "[[component]]\nid = \"NEW\"\n[component.constants]\nname = \"x\"\nmw_g_per_mol = 50\n", 3,
         "tc_K", "missing"},
        {"negative molar mass",
         "[[component]]\nid = \"NEW\"\n[component.constants]\nname = \"x\"\nmw_g_per_mol = -5\n", 5,
         "mw_g_per_mol", "must be positive"},
        {"unknown UNIFAC subgroup",
         "[[component]]\nid = \"NEW\"\n[component.constants]\nname = \"x\"\nmw_g_per_mol = 50\n"
         "tc_K = 500\npc_Pa = 4e6\nomega = 0.3\ntb_K = 350\nvp_A = 20.7\nvp_B = -3000\n"
         "vp_Tmin_K = 250\nvp_Tmax_K = 500\ncpig_A = 50\nhvap_A_J_per_mol = 40000\nhvap_B = 0.38\n"
         "unifac_groups = [[1, 2], [9999, 1]]\n",
         17, "unifac_groups", "unknown UNIFAC subgroup 9999"},
        {"boiling point outside the vapour-pressure range",
         "[[component]]\nid = \"NEW\"\n[component.constants]\nname = \"x\"\nmw_g_per_mol = 50\n"
         "tc_K = 500\npc_Pa = 4e6\nomega = 0.3\ntb_K = 200\nvp_A = 20.7\nvp_B = -3000\n"
         "vp_Tmin_K = 250\nvp_Tmax_K = 500\n",
         9, "tb_K", "outside"},
    };
    for (const ErrorCase& c : cases) {
        try {
            parse(c.text);
            ADD_FAILURE() << c.label << ": accepted";
        } catch (const ProblemDefinitionError& e) {
            EXPECT_EQ(e.file(), "problem.toml") << c.label;
            EXPECT_EQ(e.line(), c.line) << c.label << ": " << e.what();
            EXPECT_EQ(e.key(), c.key) << c.label << ": " << e.what();
            const std::string what = e.what();
            std::string prefix = "problem.toml";
            if (c.line > 0) { prefix += ":" + std::to_string(c.line); }
            prefix += ": ";
            if (!c.key.empty()) { prefix += "'" + c.key + "': "; }
            EXPECT_EQ(what.rfind(prefix, 0), 0u) << c.label << ": " << what;
            EXPECT_NE(what.find(c.fragment), std::string::npos) << c.label << ": " << what;
        }
    }
}

TEST(ProblemDefinitionFile, UnreadableFilesAreRefusedWithTheirName) {
    EXPECT_THROW(host::read_problem_definition("/nonexistent/x.toml", "x.toml", bank()),
                 ProblemDefinitionError);
    try {
        host::read_problem_definition(DISTIL_EXAMPLES_DIR, "examples", bank());
        ADD_FAILURE() << "a directory was read as a problem file";
    } catch (const ProblemDefinitionError& e) {
        EXPECT_EQ(std::string(e.what()), "examples: is a directory, not a file");
    }
    EXPECT_THROW(parse(""), ProblemDefinitionError);
}

TEST(ProblemDefinitionFile, ShippedExamplesLoadWithTheirSettings) {
    for (const char* name : {"ethanol-water-benzene.toml", "acetone-chloroform-methanol.toml",
                             "aromatics.toml", "water-butanol.toml"}) {
        EXPECT_NO_THROW(host::read_problem_definition(example(name), name, bank())) << name;
    }
    const ProblemDefinition p =
        host::read_problem_definition(example("ethanol-water-benzene.toml"), "ewb", bank());
    ASSERT_EQ(p.components.size(), 3u);
    EXPECT_EQ(p.components[0].id, "ETOH");
    EXPECT_EQ(p.components[2].id, "BENZENE");
    ASSERT_EQ(p.option_sets.size(), 5u);
    EXPECT_EQ(p.option_sets[1].name, "NRTLEWB");
    EXPECT_EQ(p.option_sets[1].parameter_set, "EWB-1");
    EXPECT_EQ(p.option_sets[3].method, host::PropertyMethod::unifac_lle);
    EXPECT_EQ(p.global_option_set, 0u);
    EXPECT_EQ(p.flash.tolerance, 1e-10);
    EXPECT_EQ(p.flash.max_iterations, 100);
    ASSERT_EQ(p.option_sets[0].overrides.size(), 1u);
    const host::BinaryOverride& o = p.option_sets[0].overrides[0];
    EXPECT_EQ(o.first, 1u);  // WATER
    EXPECT_EQ(o.second, 2u);
    EXPECT_EQ(o.b_21, 1406.89);
    EXPECT_EQ(o.alpha, 0.2);
}

TEST(ProblemDefinitionFile, DatabankIdsMatchIgnoringCase) {
    const ProblemDefinition p =
        parse("[[component]]\nid = \"etoh\"\n[[option_set]]\nname = \"I\"\nmethod = \"ideal\"\n");
    EXPECT_EQ(p.components[0].id, "ETOH");
    EXPECT_TRUE(p.from_databank[0]);
    EXPECT_EQ(p.option_sets[0].method, host::PropertyMethod::ideal);
    try {
        parse("[[component]]\nid = \"Water\"\n[component.constants]\nname = \"w\"\n");
        ADD_FAILURE() << "a databank id was redefined";
    } catch (const ProblemDefinitionError& e) { EXPECT_EQ(e.key(), "id"); }
}

TEST(ProblemDefinitionFile, InlineEthylbenzeneMatchesItsHandbookValues) {
    const ProblemDefinition p =
        host::read_problem_definition(example("aromatics.toml"), "aromatics.toml", bank());
    ASSERT_EQ(p.components.size(), 4u);
    const host::PureComponent& eb = p.components[3];
    EXPECT_FALSE(p.from_databank[3]);
    EXPECT_EQ(eb.name, "ethylbenzene");
    // Psat(Tb) = 1 atm: CRC Tb = 409.35 K; the Perry correlation gives 101410 Pa there (hand
    // calculation), i.e. a boiling point 0.02 K low, well within the 0.3 K the databank holds to.
    EXPECT_NEAR(std::exp(eb.vapour_pressure.ln_p(409.35)), units::kStandardAtmosphere, 150.0);
    // Poling App. A lists Cp(298.15 K) = 127.4 J/(mol K) beside the polynomial; the file's
    // coefficients (Cp/R times 8.314) must reproduce it within the fit's 0.3 %, per kmol.
    EXPECT_NEAR(eb.ideal_gas_cp.cp(298.15), 127.4 * units::kJoulePerMol, 0.003 * 127.4e3);
    // Perry's Table 2-150 gives dHvap at Tb near 35.6 kJ/mol (CRC: 35.57 kJ/mol).
    EXPECT_NEAR(eb.heat_of_vaporization.value(409.35), 35.57e6, 0.02 * 35.57e6);
    EXPECT_NEAR(eb.liquid_volume_298, 0.122937, 1e-6);  // cm3/mol -> m3/kmol
    EXPECT_EQ(eb.unifac_groups.size(), 3u);
}

/// ln gamma of two models at the same T and x.
void expect_same_ln_gamma(const host::ActivityModel& a,
                          const host::ActivityModel& b,
                          double T,
                          const std::vector<double>& x,
                          const std::string& label) {
    std::vector<double> ga(x.size()), gb(x.size());
    a.ln_gamma(T, x, ga);
    b.ln_gamma(T, x, gb);
    for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_NEAR(ga[i], gb[i], 1e-13 * (1.0 + std::abs(gb[i]))) << label << ", component " << i;
    }
}

TEST(OptionSetModels, SubsetsEqualModelsBuiltFromTheDatabank) {
    // Two routes to one model: cut from the problem's full matrices, or built for the subset
    // directly by the model factory. A transposed block or a lost pair would show here.
    const std::string text = R"(
[[component]]
id = "BENZENE"
[[component]]
id = "ACETONE"
[[component]]
id = "MEOH"
[[component]]
id = "CHCL3"
[[option_set]]
name = "NRTL"
method = "NRTL"
[[option_set]]
name = "WILSON"
method = "WILSON"
[[option_set]]
name = "UNIQUAC"
method = "UNIQUAC"
[[option_set]]
name = "UNIFAC"
method = "UNIFAC"
)";
    const ProblemDefinition p = parse(text);
    const std::vector<std::size_t> positions = {3, 1, 2};  // CHCL3, ACETONE, MEOH
    const std::vector<std::string> ids = {"CHCL3", "ACETONE", "MEOH"};
    const host::PropertyMethod methods[] = {
        host::PropertyMethod::nrtl, host::PropertyMethod::wilson, host::PropertyMethod::uniquac,
        host::PropertyMethod::unifac};
    for (std::size_t k = 0; k < 4; ++k) {
        const host::OptionSetModel model(p, k, bank());
        const auto cut = model.model(positions);
        const auto direct =
            host::make_activity_model(bank(), host::find_components(bank(), ids), methods[k]);
        expect_same_ln_gamma(*cut, *direct, 330.0, {0.2, 0.5, 0.3}, p.option_sets[k].name);
    }
}

TEST(OptionSetModels, FilePairEqualsTheDatabankSetItCopies) {
    // The example's NRTL set takes WATER/BENZENE from the file with the numbers of nrtl_lle.tsv
    // set EWB-1, whose other two rows repeat nrtl.tsv: both option sets must be one model.
    const ProblemDefinition p =
        host::read_problem_definition(example("ethanol-water-benzene.toml"), "ewb", bank());
    const host::OptionSetModel from_file(p, 0, bank()), from_set(p, 1, bank());
    const std::vector<std::size_t> all = {0, 1, 2};
    for (const double T : {300.0, 340.0, 360.0}) {
        expect_same_ln_gamma(*from_file.model(all), *from_set.model(all), T, {0.1, 0.3, 0.6},
                             "T = " + std::to_string(T));
    }
    // Where each pair comes from, as the report lists it.
    EXPECT_EQ(from_file.pair_source(0, 1).kind, host::PairSource::Kind::databank);
    EXPECT_EQ(from_file.pair_source(0, 1).detail.rfind("nrtl.tsv:", 0), 0u);
    EXPECT_EQ(from_file.pair_source(2, 1).kind, host::PairSource::Kind::file);
    EXPECT_EQ(from_file.pair_source(1, 2).detail, "ewb:34");
    EXPECT_EQ(from_set.pair_source(1, 2).detail.rfind("nrtl_lle.tsv:", 0), 0u);
    EXPECT_EQ(from_file.missing_pair_count(), 0u);
}

TEST(OptionSetModels, PairsWithoutParametersAreIdealAndCounted) {
    // nrtl.tsv has no WATER/BENZENE pair: left ideal, tau = 0 both ways, so the binary's
    // G^E/RT is 0 at any composition.
    const ProblemDefinition p = parse(
        "[[component]]\nid = \"WATER\"\n[[component]]\nid = \"BENZENE\"\n"
        "[[option_set]]\nname = \"N\"\nmethod = \"NRTL\"\nmissing_pairs = \"ideal\"\n");
    const host::OptionSetModel m(p, 0, bank());
    EXPECT_EQ(m.missing_pair_count(), 1u);
    EXPECT_EQ(m.pair_source(0, 1).kind, host::PairSource::Kind::missing);
    const std::vector<std::size_t> both = {0, 1};
    const std::vector<double> x = {0.4, 0.6};
    EXPECT_EQ(m.model(both)->excess_gibbs_over_rt(350.0, x), 0.0);
}

}  // namespace
