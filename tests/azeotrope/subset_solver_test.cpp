// The single-subset solver: where the two-component secant starts, the limit of the equation
// system, refused counts, and the by-reference form.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "azeotrope/pure_property.hpp"
#include "azeotrope/solver/diagnostic_units.hpp"
#include "azeotrope/spncaz.hpp"
#include "tests/azeotrope/host_problem.hpp"

namespace azeotrope::testing {
namespace {

constexpr const char* kProblem = "azeotrope_systems.toml";

/// The first x_1 the secant flashes, read from its print-level-5 output "At XT <x> FX is ...".
double first_secant_point(const std::string& text) {
    const auto at = text.find("At XT ");
    if (at == std::string::npos) { return std::nan(""); }
    return std::stod(text.substr(at + 6));
}

TEST(SubsetSolver, TheSecantStartsOneHundredthAwayAndDownwardsOnlyFromTheNearlyPureEnd) {
    // Ethanol/water, NRTL, 101325 Pa, phase count 2; infinite-dilution K-values from
    // pure_properties.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"ETOH", "WATER"});
    PurePropertyRequest pr;
    pr.components = ids;
    pr.pressure = kAtmosphere;
    pr.option_set = "NRTL";
    const PureProperties pure = pure_properties(pr);
    ASSERT_FALSE(pure.flash_failed);
    const struct {
        std::vector<double> start;
        double first;
    } cases[] = {{{}, 0.51}, {{0.995, 0.005}, 0.985}, {{0.3, 0.7}, 0.31}};
    for (const auto& c : cases) {
        std::ostringstream text;
        const solver::ScopedUnitConnection capture(0, text);
        SubsetProblem p;
        p.components = ids;
        p.k_infinite = pure.k_values;
        p.pressure = kAtmosphere;
        p.option_set = "NRTL";
        p.start = c.start;
        p.print_level = 5;
        const SubsetSolution s = solve_subset(p);
        EXPECT_NEAR(first_secant_point(text.str()), c.first, 1e-12);
        ASSERT_TRUE(s.found);
        EXPECT_FALSE(s.heterogeneous);  // always with phase count 2
        EXPECT_LE(s.residual, kRefinedResidual);
        EXPECT_NEAR(s.k_values[0], 1.0, 1e-7);
        EXPECT_NEAR(s.k_values[1], 1.0, 1e-7);
        // vle_ethanol_water.json, NRTL: x_EtOH 0.8798895210363329, 351.2369032283299 K.
        EXPECT_NEAR(s.x[0], 0.8798895210363329, 1e-6);
        EXPECT_NEAR(s.temperature, 351.2369032283299, 1e-6);
    }
}

TEST(SubsetSolver, ElevenComponentsAreBeyondTheEquationSystemPath) {
    // Any eleven components: the solver's matrices have leading dimension 10, so it refuses the
    // system (IFLAG 9) before asking for a single flash, and no azeotrope is found.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    std::vector<std::int64_t> ids(11);
    for (std::size_t i = 0; i < ids.size(); ++i) { ids[i] = static_cast<std::int64_t>(i) + 1; }
    const std::vector<double> k(121, 2.0);
    SubsetProblem p;
    p.components = ids;
    p.k_infinite = k;
    p.pressure = kAtmosphere;
    p.option_set = "IDEAL";
    const SubsetSolution s = solve_subset(p);
    EXPECT_FALSE(s.found);
    EXPECT_FALSE(s.search_error);
    EXPECT_EQ(s.solver_flag, 9);
    EXPECT_EQ(s.flashes, 0);
}

TEST(SubsetSolver, APinchWhereEveryKIsNearOneIsNotReportedAsAnAzeotrope) {
    // Water/ethanol/ethyl acetate, original UNIFAC, 101325 Pa, one liquid. Near the water/ethyl
    // acetate azeotrope every K stays within a few per cent of 1 over a wide region (its second
    // eigenvalue is about 0.01), and the equation solver's own test (||1 - K|| <= 0.032) passes
    // there from most start points, at a different composition each time. Newton's method on
    // x - y finds no root with all three components present, so nothing is reported. (The
    // reference file finds no homogeneous ternary azeotrope either.)
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"WATER", "ETOH", "ETAC"});
    PurePropertyRequest pr;
    pr.components = ids;
    pr.pressure = kAtmosphere;
    pr.option_set = "UNIFAC";
    const PureProperties pure = pure_properties(pr);
    // Start points on the 1/10 lattice inside the triangle.
    int accepted_by_solver = 0;
    for (int i = 1; i < 10; ++i) {
        for (int j = 1; i + j < 10; ++j) {
            const std::vector<double> start{i / 10.0, j / 10.0, 1.0 - (i + j) / 10.0};
            SubsetProblem p;
            p.components = ids;
            p.k_infinite = pure.k_values;
            p.pressure = kAtmosphere;
            p.option_set = "UNIFAC";
            p.start = start;
            const SubsetSolution s = solve_subset(p);
            EXPECT_FALSE(s.found) << start[0] << " " << start[1];
            EXPECT_FALSE(s.search_error);
            accepted_by_solver += s.solver_flag == 1 || s.solver_flag == 2;
        }
    }
    EXPECT_GE(accepted_by_solver, 10);  // the points the refinement is there for
}

TEST(SubsetSolver, ByReferenceFormRefusesCountsAndReturnsTheAzeotrope) {
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"ACETONE", "CHCL3"});
    // K-values at infinite dilution (20 x 20, stride 20): any values on the same side of 1 will
    // do for the secant; its direction comes from the flashes.
    std::vector<double> kinf(400, 1.0);
    kinf[1] = 0.5;   // chloroform in acetone
    kinf[20] = 0.6;  // acetone in chloroform
    const double p = kAtmosphere;
    const std::int64_t two = 2, print = 2, yes = -1, no = 0;
    std::int64_t sperr = 2, found = 5, hetero = 5;
    double t = 0.0;
    std::vector<double> x{0.7, 0.3};

    // Too few and too many components: the search status is set and the reason written.
    std::ostringstream text;
    {
        const solver::ScopedUnitConnection capture(0, text);
        for (const std::int64_t n : {std::int64_t{1}, std::int64_t{21}}) {
            sperr = 2;
            SPNCAZ(&sperr, &print, &n, &two, &p, &found, &t, &hetero, &yes, ids.data(), kinf.data(),
                   x.data(), "NRTL", 4);
            EXPECT_EQ(sperr, 1);
            EXPECT_EQ(found, 0);
        }
    }
    EXPECT_NE(text.str().find("less than two components given!"), std::string::npos);
    EXPECT_NE(text.str().find("only twenty components allowed!"), std::string::npos);

    // From the uniform start (START false writes it into X) to the maximum-boiling azeotrope of
    // vle_acetone_chloroform_methanol_nrtl.json: x_acetone 0.3407117532226387, 337.6234948 K.
    sperr = 2;
    SPNCAZ(&sperr, &print, &two, &two, &p, &found, &t, &hetero, &no, ids.data(), kinf.data(),
           x.data(), "NRTL", 4);
    EXPECT_EQ(sperr, 2);
    EXPECT_EQ(found, -1);  // true: all bits set
    EXPECT_EQ(hetero, 0);
    EXPECT_NEAR(x[0], 0.3407117532226387, 1e-6);
    EXPECT_NEAR(x[0] + x[1], 1.0, 1e-14);
    EXPECT_NEAR(t, 337.62349482810214, 1e-6);
}

TEST(PureProperty, BoilingPointsKValuesAndVertexCodesMatchTheReference) {
    // Acetone/chloroform/methanol, NRTL, 101325 Pa. The reference's vertex eigenvalues are
    // 1 - K of each other component infinitely diluted there (analytic), so K(i, j) = 1 - lambda;
    // at a dilution of 1e-7 the K-values agree to about 1e-6.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"ACETONE", "CHCL3", "MEOH"});
    const std::int64_t n = 3, two = 2;
    const double p = kAtmosphere;
    std::vector<double> tb(3, 0.0), k(9, 0.0);
    std::vector<std::int64_t> codes(3, 0);
    std::int64_t error = 77;
    PURE_PROPERTY(&n, &p, ids.data(), "NRTL    ", &two, tb.data(), codes.data(), k.data(), &error,
                  8);
    EXPECT_EQ(error, 77);  // left alone when every flash succeeds
    const auto& model = reference_model("vle_acetone_chloroform_methanol_nrtl.json", "NRTL");
    const auto& points = model.at("singular_points").at("points");
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_NEAR(tb[j], points[j].at("T").get<double>(), 1e-6);
        EXPECT_EQ(codes[j], points[j].at("stability_code").get<std::int64_t>());
        const auto lambda = points[j].at("rc_eigenvalues").get<std::vector<double>>();
        std::size_t e = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            if (i == j) {
                EXPECT_NEAR(k[j * 3 + i], 1.0, 1e-6);
                continue;
            }
            // At x_i = 1e-7 instead of 0, ln gamma_i differs by about 1e-6 of its slope.
            const double k_inf = 1.0 - lambda[e++];
            EXPECT_NEAR(k[j * 3 + i], k_inf, 5e-6 * k_inf) << i << " in " << j;
        }
    }
}

TEST(PureProperty, AFailedFlashIsReportedAndLeavesNoNumber) {
    // Ethanol/water/ethylene glycol, NRTL, 3.5 bar: the mixture flash at the glycol vertex fails
    // (above ethanol's correlation range); its one-component flash does not.
    AZEOTROPE_OPEN_PROBLEM("glycol.toml");
    const auto ids = components({"ETOH", "WATER", "MEG"});
    PurePropertyRequest r;
    r.components = ids;
    r.pressure = 3.5e5;
    const PureProperties p = pure_properties(r);
    EXPECT_TRUE(p.flash_failed);
    EXPECT_EQ(p.messages, (std::vector<std::int64_t>{507}));
    EXPECT_GT(p.boiling_temperatures[2], 500.0);
    EXPECT_EQ(p.stability[2], Stability::unclassified);
    EXPECT_TRUE(std::isnan(p.k_values[2 * 3 + 0]));
    EXPECT_NE(p.stability[0], Stability::unclassified);
    EXPECT_FALSE(std::isnan(p.k_values[0 * 3 + 1]));
    const std::int64_t n = 3, two = 2;
    std::vector<double> tb(3), k(9);
    std::vector<std::int64_t> codes(3);
    std::int64_t error = 0;
    PURE_PROPERTY(&n, &r.pressure, ids.data(), "", &two, tb.data(), codes.data(), k.data(), &error,
                  0);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(codes[2], -1);
}

}  // namespace
}  // namespace azeotrope::testing
