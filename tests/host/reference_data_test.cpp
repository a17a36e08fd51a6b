// The databank and the activity models against data/reference/vle_*.json: values an independent
// thermodynamics library computed with the same parameters (data/reference/README.md). Its
// suggested tolerances: Psat 1e-12 relative; gamma, GE and bubble P 1e-9 relative, ln gamma 1e-9
// absolute. The same files list the exact parameter matrices every model must be built with, which
// catches a transposed matrix that the identity tests cannot see.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/unifac.hpp"
#include "host/uniquac.hpp"
#include "host/wilson.hpp"
#include "platform/units.hpp"

namespace {

using nlohmann::json;

const std::vector<std::string> kReferenceFiles = {
    "vle_2propanol_water_uniquac.json",
    "vle_acetone_chloroform_methanol_nrtl.json",
    "vle_acetone_methanol_water_wilson.json",
    "vle_benzene_toluene_pxylene.json",
    "vle_ethanol_water.json",
    "vle_ethanol_water_benzene_unifac.json",
    "vle_ethyl_acetate_ethanol_water_nrtl.json",
    "vle_methanol_mtbe_uniquac.json",
    "vle_six_component_unifac.json",
    "vle_water_1butanol.json",
};

json load(const std::string& name) {
    std::ifstream in(std::string(DISTIL_REFERENCE_DIR) + "/" + name);
    if (!in) { throw std::runtime_error("cannot open reference file " + name); }
    return json::parse(in);
}

host::PropertyMethod method_of(const json& model) {
    const std::string label = model.at("label");
    if (label == "NRTL") return host::PropertyMethod::nrtl;
    if (label == "UNIQUAC") return host::PropertyMethod::uniquac;
    if (label == "Wilson") return host::PropertyMethod::wilson;
    if (label == "Ideal") return host::PropertyMethod::ideal;
    if (label == "UNIFAC") return host::PropertyMethod::unifac;
    if (label == "UNIFAC-LLE") return host::PropertyMethod::unifac_lle;
    throw std::runtime_error("unexpected model label " + label);
}

std::vector<std::string> ids_of(const json& file) {
    std::vector<std::string> ids;
    for (const auto& c : file.at("components")) { ids.push_back(c.at("id")); }
    return ids;
}

/// Every (file, model) pair of the reference set, built from the embedded databank.
struct ReferenceCase {
    std::string file;
    std::string label;
    json data;   // the model's entry
    json whole;  // the file
    host::Mixture mixture;
};

std::vector<ReferenceCase> all_cases() {
    std::vector<ReferenceCase> cases;
    const auto& bank = host::Databank::embedded();
    for (const auto& name : kReferenceFiles) {
        const json file = load(name);
        const auto ids = ids_of(file);
        for (const auto& model : file.at("models")) {
            cases.push_back(ReferenceCase{name, model.at("label"), model, file,
                                          host::make_mixture(bank, ids, method_of(model))});
        }
    }
    return cases;
}

const std::vector<ReferenceCase>& cases() {
    static const std::vector<ReferenceCase> all = all_cases();
    return all;
}

void expect_matrix(const std::vector<double>& actual,
                   const json& expected,
                   bool skip_diagonal,
                   const std::string& what) {
    const std::size_t n = expected.size();
    ASSERT_EQ(actual.size(), n * n) << what;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (skip_diagonal && i == j) { continue; }
            EXPECT_DOUBLE_EQ(actual[i * n + j], expected[i][j].get<double>())
                << what << " [" << i << "][" << j << "]";
        }
    }
}

TEST(ReferenceData, EveryFileAndModelIsCovered) {
    // 10 files with 16 models between them (README table); a lost file must fail, not skip.
    EXPECT_EQ(cases().size(), 16u);
}

TEST(ReferenceData, DatabankBuildsExactlyTheReferenceParameterMatrices) {
    const auto& bank = host::Databank::embedded();
    for (const auto& c : cases()) {
        const std::string where = c.file + " / " + c.label;
        const auto components = host::find_components(bank, ids_of(c.whole));
        const json& p = c.data.at("parameters");
        switch (method_of(c.data)) {
            case host::PropertyMethod::nrtl: {
                const auto built = host::nrtl_parameters(bank, components);
                expect_matrix(built.tau.a, p.at("a"), false, where + " a");
                expect_matrix(built.tau.b, p.at("b"), false, where + " b");
                expect_matrix(built.alpha, p.at("c"), true, where + " alpha");
                break;
            }
            case host::PropertyMethod::wilson: {
                const auto built = host::wilson_parameters(bank, components);
                expect_matrix(built.ln_lambda.a, p.at("a"), false, where + " a");
                expect_matrix(built.ln_lambda.b, p.at("b"), false, where + " b");
                break;
            }
            case host::PropertyMethod::uniquac: {
                const auto built = host::uniquac_parameters(bank, components);
                expect_matrix(built.ln_tau.a, p.at("a"), false, where + " a");
                expect_matrix(built.ln_tau.b, p.at("b"), false, where + " b");
                for (std::size_t i = 0; i < components.size(); ++i) {
                    EXPECT_DOUBLE_EQ(built.r[i], p.at("r")[i].get<double>()) << where;
                    EXPECT_DOUBLE_EQ(built.q[i], p.at("q")[i].get<double>()) << where;
                }
                break;
            }
            case host::PropertyMethod::unifac:
            case host::PropertyMethod::unifac_lle: {
                const bool lle = method_of(c.data) == host::PropertyMethod::unifac_lle;
                const auto& table =
                    bank.unifac(lle ? host::UnifacVersion::lle : host::UnifacVersion::original);
                for (std::size_t i = 0; i < components.size(); ++i) {
                    std::map<int, int> expected, actual;
                    for (const auto& [k, v] : p.at("groups")[i].items()) {
                        expected[std::stoi(k)] = v.get<int>();
                    }
                    for (const auto& [k, v] :
                         lle ? components[i].unifac_lle_groups : components[i].unifac_groups) {
                        actual[k] = v;
                    }
                    EXPECT_EQ(actual, expected) << where << " groups of " << components[i].id;
                }
                for (const auto& [k, v] : p.at("subgroup_table").items()) {
                    const host::UnifacSubgroup* s = table.find_subgroup(std::stoi(k));
                    ASSERT_NE(s, nullptr) << where << " subgroup " << k;
                    EXPECT_EQ(s->main_group, v[0].get<int>()) << where << " subgroup " << k;
                    EXPECT_DOUBLE_EQ(s->R, v[1].get<double>()) << where << " subgroup " << k;
                    EXPECT_DOUBLE_EQ(s->Q, v[2].get<double>()) << where << " subgroup " << k;
                }
                for (const auto& row : p.at("interactions")) {
                    const auto a = table.interaction(row[0].get<int>(), row[1].get<int>());
                    ASSERT_TRUE(a.has_value()) << where << " a(" << row[0] << ", " << row[1] << ")";
                    EXPECT_DOUBLE_EQ(*a, row[2].get<double>())
                        << where << " a(" << row[0] << ", " << row[1] << ")";
                }
                break;
            }
            case host::PropertyMethod::ideal:
                break;
        }
    }
}

TEST(ReferenceData, VapourPressuresAgreeToOnePartIn1e12) {
    for (const auto& c : cases()) {
        for (const auto& point : c.data.at("psat")) {
            const double T = point.at("T");
            for (std::size_t i = 0; i < c.mixture.size(); ++i) {
                const double expected = point.at("Psat_Pa")[i];
                const double actual = std::exp(c.mixture.ln_psat(i, T));
                EXPECT_NEAR(actual / expected, 1.0, 1e-12)
                    << c.file << " " << c.mixture.component(i).id << " at " << T << " K";
            }
        }
    }
}

TEST(ReferenceData, ActivityCoefficientsAndExcessGibbsEnergyAgreeToOnePartIn1e9) {
    constexpr double kR = units::kGasConstant / units::kJoulePerMol;  // J/(mol K)
    std::size_t points = 0;
    for (const auto& c : cases()) {
        const std::size_t n = c.mixture.size();
        std::vector<double> ln_gamma(n);
        for (const auto& point : c.data.at("gammas")) {
            const double T = point.at("T");
            const std::vector<double> x = point.at("x");
            c.mixture.ln_gamma(T, x, ln_gamma);
            std::ostringstream where;
            where << c.file << " / " << c.label << " at T = " << T << ", x = " << point.at("x");
            for (std::size_t i = 0; i < n; ++i) {
                const double expected_ln = point.at("lngammas")[i];
                const double expected_gamma = point.at("gammas")[i];
                EXPECT_NEAR(ln_gamma[i], expected_ln, 1e-9) << where.str() << ", i = " << i;
                EXPECT_NEAR(std::exp(ln_gamma[i]) / expected_gamma, 1.0, 1e-9)
                    << where.str() << ", i = " << i;
            }
            const double expected_ge = point.at("GE_J_per_mol");
            const double ge = c.mixture.model().excess_gibbs_over_rt(T, x) * kR * T;
            EXPECT_NEAR(ge, expected_ge, 1e-9 * std::max(std::abs(expected_ge), 1.0))
                << where.str();
            ++points;
        }
    }
    EXPECT_GT(points, 300u);
}

TEST(ReferenceData, BubblePressuresFromModifiedRaoultsLawAgreeToOnePartIn1e9) {
    for (const auto& c : cases()) {
        const std::size_t n = c.mixture.size();
        std::vector<double> ln_gamma(n), ln_psat(n);
        if (!c.data.contains("bubble_P")) {
            continue;  // the liquid-liquid models (UNIFAC-LLE) carry only gammas and splits
        }
        for (const auto& point : c.data.at("bubble_P")) {
            const double T = point.at("T");
            const std::vector<double> x = point.at("x");
            c.mixture.ln_gamma(T, x, ln_gamma);
            c.mixture.ln_psat_all(T, ln_psat);
            double P = 0.0;
            std::vector<double> partial(n);
            for (std::size_t i = 0; i < n; ++i) {
                partial[i] = x[i] * std::exp(ln_gamma[i] + ln_psat[i]);
                P += partial[i];
            }
            EXPECT_NEAR(P / point.at("P").get<double>(), 1.0, 1e-9) << c.file << " " << c.label;
            for (std::size_t i = 0; i < n; ++i) {
                EXPECT_NEAR(partial[i] / P, point.at("y")[i].get<double>(), 1e-9)
                    << c.file << " " << c.label << " y" << i;
            }
        }
    }
}

/// Solves ln Psat(T) = ln P by Newton steps with the analytic derivative.
double saturation_temperature(const host::Mixture& m, std::size_t i, double P, double T) {
    for (int k = 0; k < 50; ++k) {
        const double step = (m.ln_psat(i, T) - std::log(P)) / m.d_ln_psat_dT(i, T);
        T -= step;
        if (std::abs(step) < 1e-12 * T) { break; }
    }
    return T;
}

TEST(ReferenceData, PureBoilingPointsAgreeToOneMicrokelvin) {
    for (const auto& c : cases()) {
        if (!c.data.contains("pure_Tb")) { continue; }
        for (const auto& point : c.data.at("pure_Tb")) {
            for (std::size_t i = 0; i < c.mixture.size(); ++i) {
                const double expected = point.at("Tb")[i];
                EXPECT_NEAR(saturation_temperature(c.mixture, i, point.at("P"), 350.0), expected,
                            1e-6)
                    << c.file << " " << c.mixture.component(i).id << " at " << point.at("P");
            }
        }
    }
}

}  // namespace
