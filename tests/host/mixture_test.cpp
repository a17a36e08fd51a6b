// Pure-component correlations and the Mixture: published boiling points, heat capacities and heats
// of vaporization; the enthalpy example of the activity-model notes; derivative consistency; the
// temperature range and the constructor's checks.
#include "host/mixture.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/ideal_solution.hpp"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/pure_component.hpp"
#include "platform/units.hpp"

namespace {

constexpr double kJ = units::kJoulePerMol;  // 1 J/mol in J/kmol

/// T where Psat(T) = P, by bisection over the correlation's range (independent of the analytic
/// derivative, which other tests check).
double saturation_temperature(const host::VapourPressureCorrelation& vp, double P) {
    double lo = vp.T_min, hi = vp.T_max;
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        (vp.ln_p(mid) > std::log(P) ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

TEST(PureComponents, NormalBoilingPointsFromVapourPressureMatchTheCrcTable) {
    // tb_K holds the CRC Handbook normal boiling points (components.md). Four correlations are
    // known to miss them by more than 0.3 K ("Known doubts" in components.md and its table of
    // vapour-pressure checks); they are held to their documented deviation instead.
    const std::map<std::string, double> known_deviation = {
        {"MEAC", 0.36},      // Perry eq. gives 330.20 K against 329.85 K
        {"MEG", 0.42},       // 470.23 K against 470.65 K
        {"PYRIDINE", 0.35},  // ChemSep eq. gives 388.01 K against 388.35 K
        {"DMSO", 1.17},      // 463.89 K against 465.05 K; 462.2 K is also quoted
    };
    const auto& bank = host::Databank::embedded();
    for (const auto& c : bank.components()) {
        const double tb = saturation_temperature(c.vapour_pressure, units::kStandardAtmosphere);
        const auto known = known_deviation.find(c.id);
        const double tolerance = known == known_deviation.end() ? 0.3 : known->second;
        EXPECT_NEAR(tb, c.normal_boiling_point, tolerance) << c.id;
    }
}

TEST(PureComponents, IdealGasHeatCapacityOfWaterMatchesJanaf) {
    // NIST-JANAF tables, water (ideal gas): Cp = 33.590, 35.226, 41.268 J/(mol K) at 298.15, 500,
    // 1000 K; H - H(298.15) = 6.922 and 26.000 kJ/mol at 500 and 1000 K. Poling's polynomial is
    // a fit to such data over 50-1000 K.
    const auto& cp = host::Databank::embedded().find("WATER")->ideal_gas_cp;
    EXPECT_NEAR(cp.cp(298.15) / kJ, 33.590, 0.005 * 33.590);
    EXPECT_NEAR(cp.cp(500.0) / kJ, 35.226, 0.005 * 35.226);
    EXPECT_NEAR(cp.cp(1000.0) / kJ, 41.268, 0.005 * 41.268);
    EXPECT_NEAR(cp.enthalpy(500.0) / kJ, 6922.0, 0.01 * 6922.0);
    EXPECT_NEAR(cp.enthalpy(1000.0) / kJ, 26000.0, 0.01 * 26000.0);
    EXPECT_EQ(cp.enthalpy(units::kReferenceTemperature), 0.0);
}

TEST(PureComponents, HeatOfVaporizationAtTheBoilingPointMatchesCrc) {
    // CRC Handbook enthalpies of vaporization at the normal boiling point [kJ/mol]; components.md
    // gives the databank's DIPPR 106 fits as +0.4 % (water) and +1.0 % (ethanol) off them.
    const std::map<std::string, double> crc = {
        {"WATER", 40.65}, {"ETOH", 38.56}, {"BENZENE", 30.72}};
    const auto& bank = host::Databank::embedded();
    for (const auto& [id, value] : crc) {
        const auto* c = bank.find(id);
        EXPECT_NEAR(c->heat_of_vaporization.value(c->normal_boiling_point) / kJ / 1000.0, value,
                    0.015 * value)
            << id;
    }
    const auto& water = bank.find("WATER")->heat_of_vaporization;
    EXPECT_EQ(water.value(water.Tc), 0.0);  // the curve ends at Tc ...
    EXPECT_EQ(water.value(700.0), 0.0);     // ... and stays there, never a NaN
    EXPECT_EQ(water.d_value_dT(700.0), 0.0);
}

TEST(PureComponents, AnalyticDerivativesMatchCentralDifferences) {
    const auto& bank = host::Databank::embedded();
    for (const auto& c : bank.components()) {
        const auto& vp = c.vapour_pressure;
        for (const double f : {0.3, 0.6, 0.9}) {
            const double T = vp.T_min + f * (vp.T_max - vp.T_min);
            const double h = 1e-3;
            const double numeric = (vp.ln_p(T + h) - vp.ln_p(T - h)) / (2 * h);
            EXPECT_NEAR(vp.d_ln_p_dT(T), numeric, 1e-8 * std::abs(numeric)) << c.id << " " << T;
            const auto& hv = c.heat_of_vaporization;
            if (T + h < hv.Tc * 0.98) {
                const double dh = (hv.value(T + h) - hv.value(T - h)) / (2 * h);
                EXPECT_NEAR(hv.d_value_dT(T), dh, 1e-6 * std::abs(dh) + 1e-6) << c.id << " " << T;
            }
            const double dH =
                (c.ideal_gas_cp.enthalpy(T + h) - c.ideal_gas_cp.enthalpy(T - h)) / (2 * h);
            EXPECT_NEAR(c.ideal_gas_cp.cp(T), dH, 1e-6 * dH) << c.id << " " << T;
        }
    }
}

/// Two made-up components of the enthalpy example in the activity-model notes (section 7.6):
/// constant Cp, Antoine vapour pressure ln P = A - B/(T + C).
std::vector<host::PureComponent> example_components() {
    std::vector<host::PureComponent> components(2);
    const double antoine[2][3] = {{23.2256, 3835.18, -45.343}, {23.8047, 3803.98, -41.68}};
    const double cp[2] = {33.6, 65.6};
    for (std::size_t i = 0; i < 2; ++i) {
        auto& c = components[i];
        c.id = i == 0 ? "ONE" : "TWO";
        c.vapour_pressure.A = antoine[i][0];
        c.vapour_pressure.B = -antoine[i][1];
        c.vapour_pressure.C = antoine[i][2];
        c.vapour_pressure.T_min = 250.0;
        c.vapour_pressure.T_max = 500.0;
        c.ideal_gas_cp.c = {cp[i] * kJ, 0, 0, 0, 0};
        c.heat_of_vaporization.Tc = 1000.0;
    }
    return components;
}

std::shared_ptr<host::Nrtl> example_nrtl() {
    host::NrtlParameters p;
    p.tau = host::InteractionMatrix(2);
    p.tau.set_pair(0, 1, -0.8, 250, 3.5, -400);
    p.alpha = {0, 0.3, 0.3, 0};
    return std::make_shared<host::Nrtl>(p);
}

TEST(MixtureEnthalpy, ReproducesTheWorkedExampleOfTheNotes) {
    // Activity-model notes, section 7.6 (independent implementation): T = 350 K, x = (0.3, 0.7),
    // NRTL of section 7.2, dHvap by Clausius-Clapeyron: dHvap = (42085.6175, 40757.2717) J/mol,
    // H^E = 94.0959 J/mol, H_L = -38158.0795 J/mol; vapour y = (0.5, 0.5): H_V = 2571.76 J/mol.
    auto components = example_components();
    const double T = 350.0;
    const double expected_hvap[2] = {42085.6175, 40757.2717};
    for (std::size_t i = 0; i < 2; ++i) {
        const double clapeyron =
            units::kGasConstant * T * T * components[i].vapour_pressure.d_ln_p_dT(T);
        EXPECT_NEAR(clapeyron / kJ, expected_hvap[i], 1e-4) << i;
        components[i].heat_of_vaporization.A = clapeyron;  // constant: exponent 0
    }
    const host::Mixture m(components, example_nrtl());
    const std::vector<double> x = {0.3, 0.7}, y = {0.5, 0.5};
    EXPECT_NEAR(m.excess_enthalpy(T, x) / kJ, 94.095891, 1e-6);
    EXPECT_NEAR(m.liquid_enthalpy(T, x) / kJ, -38158.0795, 1e-4);
    EXPECT_NEAR(m.vapour_enthalpy(T, y) / kJ, 2571.76, 1e-2);
    // The reference state: the ideal gas at 298.15 K has zero enthalpy.
    EXPECT_NEAR(m.vapour_enthalpy(units::kReferenceTemperature, y), 0.0, 1e-9);
}

TEST(MixtureEnthalpy, HeatCapacitiesAreTheTemperatureDerivatives) {
    const auto& bank = host::Databank::embedded();
    for (const auto method : {host::PropertyMethod::nrtl, host::PropertyMethod::unifac}) {
        const auto m =
            host::make_mixture(bank, std::vector<std::string>{"ETOH", "WATER", "BENZENE"}, method);
        const std::vector<double> x = {0.3, 0.5, 0.2};
        for (const double T : {300.0, 350.0, 400.0}) {
            const double h = 1e-2;
            const double liquid =
                (m.liquid_enthalpy(T + h, x) - m.liquid_enthalpy(T - h, x)) / (2 * h);
            const double vapour =
                (m.vapour_enthalpy(T + h, x) - m.vapour_enthalpy(T - h, x)) / (2 * h);
            EXPECT_NEAR(m.liquid_heat_capacity(T, x), liquid, 1e-6 * std::abs(liquid)) << T;
            EXPECT_NEAR(m.vapour_heat_capacity(T, x), vapour, 1e-6 * std::abs(vapour)) << T;
        }
        // Vaporization takes heat: the vapour lies above the liquid by about sum x dHvap.
        EXPECT_GT(m.vapour_enthalpy(350, x) - m.liquid_enthalpy(350, x), 30e3 * kJ);
    }
}

TEST(Mixture, TemperatureRangeIsTheIntersectionOfTheVapourPressureRanges) {
    const auto& bank = host::Databank::embedded();
    const auto m = host::make_mixture(bank, std::vector<std::string>{"ETOH", "WATER"},
                                      host::PropertyMethod::ideal);
    EXPECT_DOUBLE_EQ(m.temperature_min(), 273.16);  // water's vp_Tmin_K
    EXPECT_DOUBLE_EQ(m.temperature_max(), 514.0);   // ethanol's vp_Tmax_K

    auto components = example_components();
    components[1].vapour_pressure.T_min = 600.0;
    components[1].vapour_pressure.T_max = 700.0;
    EXPECT_THROW(host::Mixture(components, std::make_shared<host::IdealSolution>(2)),
                 std::invalid_argument);
}

TEST(Mixture, RefusesInconsistentConstruction) {
    auto components = example_components();
    EXPECT_THROW(host::Mixture(components, nullptr), std::invalid_argument);
    EXPECT_THROW(host::Mixture(components, std::make_shared<host::IdealSolution>(3)),
                 std::invalid_argument);
    EXPECT_THROW(host::Mixture({}, std::make_shared<host::IdealSolution>(1)),
                 std::invalid_argument);
    components[0].vapour_pressure.T_max = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(host::Mixture(components, std::make_shared<host::IdealSolution>(2)),
                 std::invalid_argument);

    const host::Mixture m(example_components(), example_nrtl());
    std::vector<double> wrong(3, 1.0 / 3), out(3);
    EXPECT_THROW(m.liquid_enthalpy(350, wrong), std::invalid_argument);
    EXPECT_THROW(m.vapour_enthalpy(350, wrong), std::invalid_argument);
    EXPECT_THROW(m.liquid_heat_capacity(350, wrong), std::invalid_argument);
    EXPECT_THROW(m.ln_psat_all(350, out), std::invalid_argument);
    EXPECT_THROW(m.ln_psat(2, 350), std::out_of_range);
    EXPECT_THROW(m.component(2), std::out_of_range);
}

TEST(Mixture, CopiesAreIndependentAndAgree) {
    const auto& bank = host::Databank::embedded();
    const std::vector<std::string> ids = {"ACETONE", "CHCL3", "MEOH"};
    host::Mixture a = host::make_mixture(bank, ids, host::PropertyMethod::nrtl);
    host::Mixture b = a;
    host::Mixture c = host::make_mixture(bank, ids, host::PropertyMethod::ideal);
    c = b;
    const host::Mixture d = std::move(b);
    const std::vector<double> x = {0.2, 0.3, 0.5};
    std::vector<double> ga(3), gd(3), psat(3);
    a.ln_gamma(330, x, ga);
    d.ln_gamma(330, x, gd);
    EXPECT_EQ(ga, gd);
    EXPECT_EQ(c.liquid_enthalpy(330, x), a.liquid_enthalpy(330, x));
    EXPECT_EQ(&a.model(), &c.model());  // the immutable model is shared, not copied
    d.ln_psat_all(330, psat);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(psat[i], a.ln_psat(i, 330));
        EXPECT_EQ(d.component(i).id, ids[i]);
    }
}

}  // namespace
