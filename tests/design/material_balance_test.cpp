// The material balance driver on benzene / toluene / p-xylene at 101325 Pa with Raoult's law
// (option set IDEAL). Product temperatures are checked against the independent bubble points of
// data/reference/vle_benzene_toluene_pxylene.json ("Ideal"; 1e-6 K as its README states); the
// balances against hand calculations and the balance identities.
#include "design/material_balance.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "design/design_routines.h"
#include "tests/design/design_problem.hpp"

namespace design {
namespace {

constexpr const char* kBtx = "vle_benzene_toluene_pxylene.json";

/// Flags (component 0-based, kind 0-3) in the n x 4 column-major matrix.
std::vector<std::int64_t> spec(std::initializer_list<std::pair<int, int>> set) {
    std::vector<std::int64_t> s(12, 0);
    for (const auto& [i, k] : set) { s[3 * k + i] = 1; }
    return s;
}

struct Balance : ::testing::Test {
    std::vector<std::int64_t> idx;
    std::vector<double> xfeed{0.5, 0.25, 0.25};
    std::vector<double> mol_wt{78.11, 92.14, 106.17};
    std::vector<double> xdist = std::vector<double>(3, 0.0), xbot = xdist, rd = xdist, rb = xdist;
    std::vector<std::int64_t> flags;

    void SetUp() override {
        DESIGN_OPEN_PROBLEM();
        idx = testing::components({"BENZENE", "TOLUENE", "PXYLENE"});
    }
    MaterialBalanceInput input() const {
        MaterialBalanceInput in;
        in.idx = idx;
        in.opset = "IDEAL";
        in.pres = testing::kAtmosphere;
        in.xfeed = xfeed;
        in.Fflow = 100.0;
        in.spec = flags;
        in.mol_wt = mol_wt;
        in.xdist = xdist;
        in.xbot = xbot;
        in.recov_dist = rd;
        in.recov_bot = rb;
        return in;
    }
};

void expect_initial_outputs(const MaterialBalanceResult& r) {
    EXPECT_EQ(r.lConverg, 1);
    EXPECT_EQ(r.xdist_stream, std::vector<double>(3, -1.0));
    EXPECT_EQ(r.xbot_stream, std::vector<double>(3, -1.0));
    EXPECT_EQ(r.xdec_tieline, std::vector<double>(6, -1.0));
    EXPECT_EQ(r.ydec, std::vector<double>(3, -1.0));
    EXPECT_EQ(r.Dflow, -1.0);
    EXPECT_EQ(r.Bflow, -1.0);
    EXPECT_EQ(r.phi_prod, -1.0);
    EXPECT_EQ(r.TDist, 0.0);
    EXPECT_EQ(r.TBot, 0.0);
    EXPECT_EQ(r.lMsg, 0);
    EXPECT_EQ(r.flashes, 0);
}

TEST_F(Balance, EveryValidationPathReturnsItsCodeWithTheOutputsAsInitialised) {
    for (const auto& set : {spec({{0, 0}, {1, 0}, {0, 1}, {2, 2}}), spec({{0, 0}, {1, 1}})}) {
        flags = set;
        const MaterialBalanceResult r = compute_material_balance(input());
        EXPECT_EQ(r.lErr, 1);
        expect_initial_outputs(r);
        ASSERT_EQ(r.messages.size(), 2u);
        EXPECT_EQ(r.messages[0],
                  message_line("****** Fatal Internal Error in Corvane (Material Balance) ***** "));
        EXPECT_EQ(r.messages[1],
                  message_line("     Please close the simulation and contact Quorral Technology "));
    }
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    MaterialBalanceInput in = input();
    in.n = 4;
    EXPECT_EQ(compute_material_balance(in).lErr, 1);
    mol_wt[1] = 0.0;
    EXPECT_EQ(compute_material_balance(input()).lErr, 1);
    mol_wt[1] = 92.14;
    std::vector<std::int64_t> unset{1, 0, 3};
    in = input();
    in.idx = unset;
    EXPECT_EQ(compute_material_balance(in).lErr, 1);
    // A flag that is neither 0 nor 1 is no specification.
    flags = spec({{0, 0}, {0, 1}});
    flags[4] = 1;
    flags[0] = 2;
    flags[3] = 0;
    EXPECT_EQ(compute_material_balance(input()).lErr, 1);

    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    in = input();
    in.pres = 0.0;
    MaterialBalanceResult r = compute_material_balance(in);
    EXPECT_EQ(r.lErr, 3);
    expect_initial_outputs(r);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], message_line("***** Error - Pressure is zero or negative "));

    in = input();
    in.Fflow = 0.0;
    r = compute_material_balance(in);
    EXPECT_EQ(r.lErr, 3);
    expect_initial_outputs(r);
    ASSERT_EQ(r.messages.size(), 2u);
    EXPECT_EQ(r.messages[0], message_line("***** Error - \"Mapped\" feed flowrate is zero "));
    EXPECT_EQ(r.messages[1],
              message_line("      Please change component mapping and re-calculate"));
}

TEST_F(Balance, ThreeCompositionsOnTheLatticeGiveTheReferenceProductTemperatures) {
    // x_D = (0.75, 0.25, 0) from two fractions, x_B(1) = 0.25. Hand calculation:
    // D = 100 (0.5 - 0.25) / (0.75 - 0.25) = 50, x_B = (0.25, 0.25, 0.5).
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    xdist = {0.75, 0.25, 0.0};
    xbot = {0.25, 0.0, 0.0};
    const MaterialBalanceResult r = compute_material_balance(input());
    EXPECT_EQ(r.lErr, 0);
    EXPECT_EQ(r.lConverg, 0);
    EXPECT_NEAR(r.Dflow, 50.0, 1e-12);
    EXPECT_NEAR(r.Bflow, 50.0, 1e-12);
    EXPECT_NEAR(r.xbot[1], 0.25, 1e-15);
    EXPECT_NEAR(r.xbot[2], 0.5, 1e-15);
    EXPECT_EQ(r.xdist_stream, r.xdist);
    EXPECT_EQ(r.xbot_stream, r.xbot);
    EXPECT_NEAR(r.recov_dist[0], 0.75, 1e-15);
    EXPECT_NEAR(r.recov_bot[2], 1.0, 1e-15);
    EXPECT_NEAR(r.TDist,
                testing::reference_temperature(kBtx, "Ideal", "bubble_T", {0.75, 0.25, 0.0}), 1e-6);
    EXPECT_NEAR(r.TBot,
                testing::reference_temperature(kBtx, "Ideal", "bubble_T", {0.25, 0.25, 0.5}), 1e-6);
    // No decanter: its outputs stay as initialised while the temperatures are computed.
    EXPECT_EQ(r.ydec, std::vector<double>(3, -1.0));
    EXPECT_EQ(r.xdec_tieline, std::vector<double>(6, -1.0));
    EXPECT_EQ(r.phi_prod, -1.0);
    EXPECT_TRUE(r.messages.empty());
}

TEST_F(Balance, ThreeRecoveriesGoToTheRecoverySolver) {
    // Hand calculation: D = 100 (0.98 * 0.5 + 0.1 * 0.25 + 0.01 * 0.25) = 51.75.
    flags = spec({{0, 2}, {1, 2}, {2, 2}});
    rd = {0.98, 0.1, 0.01};
    const MaterialBalanceResult r = compute_material_balance(input());
    EXPECT_EQ(r.lErr, 0);
    EXPECT_NEAR(r.Dflow, 51.75, 1e-12);
    EXPECT_NEAR(r.xdist_stream[0], 49.0 / 51.75, 1e-14);
    EXPECT_NEAR(r.recov_bot[1], 0.9, 1e-15);
}

TEST_F(Balance, MixedSpecificationsGoToTheMixedSolver) {
    // x_D(1) = 0.95 with r_D(1) = 0.97: D = 0.97 * 0.5 * 100 / 0.95; x_B(3) = 0.5.
    flags = spec({{0, 0}, {2, 1}, {0, 2}});
    xdist = {0.95, 0.0, 0.0};
    xbot = {0.0, 0.0, 0.5};
    rd = {0.97, 0.0, 0.0};
    const MaterialBalanceResult r = compute_material_balance(input());
    EXPECT_EQ(r.lErr, 0);
    EXPECT_EQ(r.lConverg, 0);
    EXPECT_NEAR(r.Dflow, 0.97 * 50.0 / 0.95, 1e-12);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.Dflow * r.xdist_stream[i] + r.Bflow * r.xbot_stream[i], 100.0 * xfeed[i],
                    1e-10);
    }
}

TEST_F(Balance, ASolverFailureGivesItsCodeAndTheFallbackSplit) {
    // Composition solver with x_D(r) = x_B(r): status 2, lErr 4.
    flags = spec({{0, 0}, {1, 0}, {1, 1}});
    xdist = {0.5, 0.3, 0.0};
    xbot = {0.0, 0.3, 0.0};
    MaterialBalanceResult r = compute_material_balance(input());
    EXPECT_EQ(r.lErr, 4);
    EXPECT_EQ(r.lConverg, 1);
    EXPECT_EQ(r.xdist_stream, xfeed);
    EXPECT_EQ(r.xbot_stream, xfeed);
    EXPECT_EQ(r.Dflow, 50.0);
    EXPECT_EQ(r.Bflow, 50.0);
    EXPECT_EQ(r.TDist, 0.0);  // returned before the temperatures

    // The same on a mass basis: the fallback is still molar.
    MaterialBalanceInput in = input();
    in.basis = 1;
    r = compute_material_balance(in);
    EXPECT_EQ(r.lErr, 4);
    EXPECT_EQ(r.xdist_stream, xfeed);
    EXPECT_EQ(r.Dflow, 50.0);
}

TEST_F(Balance, ARecoveryAboveOneWithPhysicalCompositionsIsNotRepaired) {
    // x_D = (0.45, 0.35, 0.2), x_B(1) = 0.2 with x_F = (0.5, 0.3, 0.2). Hand calculation:
    // D = 100 (0.5 - 0.2) / (0.45 - 0.2) = 120, B = -20, x_B = (0.2, 0.6, 0.2) and
    // r_D(3) = 120 * 0.2 / 20 = 1.2: compositions physical, recoveries and B not.
    xfeed = {0.5, 0.3, 0.2};
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    xdist = {0.45, 0.35, 0.0};
    xbot = {0.2, 0.0, 0.0};
    const MaterialBalanceResult r = compute_material_balance(input());
    EXPECT_NEAR(r.recov_dist[2], 1.2, 1e-12);
    EXPECT_NEAR(r.xbot[1], 0.6, 1e-12);
    EXPECT_EQ(r.lErr, -1);
    EXPECT_EQ(r.lConverg, 1);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages[0], message_line("***** Warning - Could not \"fix\" material balance"));
    EXPECT_EQ(r.xdist_stream, xfeed);
    EXPECT_EQ(r.xbot_stream, xfeed);
    EXPECT_EQ(r.Dflow, 50.0);
    EXPECT_EQ(r.Bflow, 50.0);
    EXPECT_GT(r.TDist, 0.0);
    EXPECT_EQ(r.TDist, r.TBot);
}

TEST_F(Balance, ANegativeProductFractionIsRepairedAlongTheBalanceLine) {
    // Two bottoms fractions x_B = (0.02, 0.08, 0.9) and x_D(1) = 0.8 from x_F = (0.5, 0.25,
    // 0.25). Hand calculation: B = 100 (0.5 - 0.8) / (0.02 - 0.8) = 38.46, D = 61.54 and
    // x_D(3) = (25 - 38.46 * 0.9) / 61.54 = -0.156.
    flags = spec({{0, 1}, {1, 1}, {0, 0}});
    xbot = {0.02, 0.08, 0.0};
    xdist = {0.8, 0.0, 0.0};
    const MaterialBalanceResult r = compute_material_balance(input());
    ASSERT_NEAR(r.xdist[2], (25.0 - 0.9 * 30.0 / 0.78) / (100.0 - 30.0 / 0.78), 1e-12);
    ASSERT_LT(r.xdist[2], 0.0);
    EXPECT_EQ(r.lErr, 0);
    EXPECT_EQ(r.lConverg, 1);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages[0],
              message_line("***** Warning - Material balance specifications not satisfied"));
    EXPECT_EQ(r.xdist_stream[2], 0.0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_GE(r.xdist_stream[i], 0.0);
        EXPECT_GE(r.xbot_stream[i], 0.0);
        EXPECT_NEAR(r.Dflow * r.xdist_stream[i] + r.Bflow * r.xbot_stream[i], 100.0 * xfeed[i],
                    1e-9);
    }
    EXPECT_GT(r.TDist, 0.0);
}

TEST_F(Balance, AMassBasisWithEqualMolarWeightsEqualsTheMolarRun) {
    flags = spec({{0, 0}, {2, 1}, {0, 2}});
    xdist = {0.95, 0.0, 0.0};
    xbot = {0.0, 0.0, 0.5};
    rd = {0.97, 0.0, 0.0};
    mol_wt = {90.0, 90.0, 90.0};
    const MaterialBalanceResult molar = compute_material_balance(input());
    MaterialBalanceInput in = input();
    in.basis = 1;
    const MaterialBalanceResult mass = compute_material_balance(in);
    EXPECT_EQ(mass.lErr, molar.lErr);
    EXPECT_NEAR(mass.Dflow, molar.Dflow, 1e-10);
    EXPECT_NEAR(mass.Bflow, molar.Bflow, 1e-10);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(mass.xdist_stream[i], molar.xdist_stream[i], 1e-14);
        EXPECT_NEAR(mass.xbot_stream[i], molar.xbot_stream[i], 1e-14);
        EXPECT_NEAR(mass.recov_dist[i], molar.recov_dist[i], 1e-14);
    }
    EXPECT_NEAR(mass.TDist, molar.TDist, 1e-9);
}

TEST_F(Balance, AMassBasisMeetsTheMassSpecificationsWithMolarResults) {
    // Specify mass fractions; the molar results, converted back to mass, must meet them and
    // the molar component balances must hold for the molar feed.
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    xdist = {0.9, 0.08, 0.0};
    xbot = {0.05, 0.0, 0.0};
    MaterialBalanceInput in = input();
    in.basis = 1;
    const MaterialBalanceResult r = compute_material_balance(in);
    ASSERT_EQ(r.lErr, 0);
    const auto to_mass = [this](const std::vector<double>& x) {
        std::vector<double> w(3);
        double s = 0.0;
        for (std::size_t i = 0; i < 3; ++i) { s += x[i] * mol_wt[i]; }
        for (std::size_t i = 0; i < 3; ++i) { w[i] = x[i] * mol_wt[i] / s; }
        return w;
    };
    const std::vector<double> w_D = to_mass(r.xdist_stream), w_B = to_mass(r.xbot_stream);
    EXPECT_NEAR(w_D[0], 0.9, 1e-12);
    EXPECT_NEAR(w_D[1], 0.08, 1e-12);
    EXPECT_NEAR(w_B[0], 0.05, 1e-12);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.Dflow * r.xdist_stream[i] + r.Bflow * r.xbot_stream[i], 100.0 * xfeed[i],
                    1e-9);
    }
}

TEST_F(Balance, AHomogeneousDistillateWithADecanterWarnsOfOneLiquid) {
    // Phase count 3 and a decanter column, but benzene/toluene never split: lErr -4 with the
    // decanter outputs still filled (the two liquids equal, the vapour the bubble vapour).
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    xdist = {0.75, 0.25, 0.0};
    xbot = {0.25, 0.0, 0.0};
    MaterialBalanceInput in = input();
    in.nPhase = 3;
    in.lConfig = 2;
    const MaterialBalanceResult r = compute_material_balance(in);
    EXPECT_EQ(r.lErr, -4);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(
        r.messages[0],
        message_line("***** Warning (material-balance) - only one liquid phase in the decanter"));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.xdec_tieline[i], r.xdist_stream[i], 1e-12);
        EXPECT_NEAR(r.xdec_tieline[3 + i], r.xdist_stream[i], 1e-12);
    }
    EXPECT_GT(r.ydec[0], r.xdist_stream[0]);  // benzene is the lighter
    EXPECT_GE(r.phi_prod, 0.0);
}

TEST_F(Balance, TheExportedRoutineWritesBackTheInOutArrays) {
    const std::int64_t n = 3, phase = 2, mode = 0, config = 1, basis = 0;
    const double pres = testing::kAtmosphere, F = 100.0;
    flags = spec({{0, 0}, {1, 0}, {0, 1}});
    std::vector<double> xd{0.75, 0.25, 0.0}, xb{0.25, 0.0, 0.0}, r_d(3), r_b(3), xds(3), xbs(3);
    std::vector<double> tie(6), ydec(3);
    double D = 0, B = 0, phi = 0, TD = 0, TB = 0;
    std::int64_t err = -9, msg = -9, conv = -9;
    COMPUTE_MATERIAL_BALANCE(&n, idx.data(), "IDEAL   ", &phase, &pres, &mode, &config,
                             xfeed.data(), &F, flags.data(), &basis, mol_wt.data(), xd.data(),
                             xb.data(), r_d.data(), r_b.data(), xds.data(), xbs.data(), &D, &B,
                             tie.data(), ydec.data(), &phi, &TD, &TB, &err, &msg, &conv, 8);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(msg, 0);
    EXPECT_EQ(conv, 0);
    EXPECT_NEAR(xb[2], 0.5, 1e-15);
    EXPECT_NEAR(r_d[0], 0.75, 1e-15);
    EXPECT_NEAR(D, 50.0, 1e-12);
    EXPECT_NEAR(TB, testing::reference_temperature(kBtx, "Ideal", "bubble_T", {0.25, 0.25, 0.5}),
                1e-6);
    EXPECT_EQ(tie[0], -1.0);
}

}  // namespace
}  // namespace design
