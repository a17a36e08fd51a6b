// The design study through the distillation map: feed, material balance, boundary-value design
// and product streams, against the exported routines called directly, with the method codes,
// the array layouts and the worked numbers of the ratios and flows.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numeric>
#include <vector>

#include "design/design_routines.h"
#include "engine/module.hpp"
#include "engine_test_support.hpp"

namespace engine::testing {
namespace {

using namespace platform;

// The full component list of the host streams is the test problem's list: 9 components, with
// benzene, toluene and p-xylene at positions 6, 7 and 8.
constexpr LONG kFull = 9;
constexpr std::array<std::int64_t, 3> kAromatics{6, 7, 8};

Engine aromatics() {
    Engine e = open_engine();
    EXPECT_EQ(e.status, S_OK);
    set_ternary(e.map.get(), "BENZENE", "TOLUENE", "PXYLENE", "IDEAL", 2);
    return e;
}

/// A host stream of 100 kmol/h: 30 benzene, 40 toluene, 30 p-xylene.
std::vector<double> feed_stream() {
    std::vector<double> s(kFull + 9, 0.0);
    s[5] = 30.0;
    s[6] = 40.0;
    s[7] = 30.0;
    s[kFull] = 100.0;
    s[kFull + 2] = kAtmosphere;
    s[kFull + 8] = 90.0;
    return s;
}

/// Each aromatic counted as itself: ncc x 3, column by column.
std::vector<double> mapping() {
    std::vector<double> m(kFull * 3, 0.0);
    for (int j = 0; j < 3; ++j) { m[j * kFull + kAromatics[j] - 1] = 1.0; }
    return m;
}

CComVariant column_major(const std::vector<double>& values, std::int64_t rows) {
    std::vector<double> by_rows(values.size());
    const auto columns = static_cast<std::int64_t>(values.size()) / rows;
    for (std::int64_t i = 0; i < rows; ++i) {
        for (std::int64_t j = 0; j < columns; ++j) {
            by_rows[i * columns + j] = values[j * rows + i];
        }
    }
    return matrix(rows, columns, by_rows);
}

TEST(MapComputeFeed, EqualsTheRoutineAndGivesTheBubblePointOfTheMappedFeed) {
    Engine e = aromatics();
    const std::vector<double> stream = feed_stream(), map = mapping(), weights(kFull, 80.0);
    CComVariant x, basis;
    DOUBLE flow = 0, q = 0, t = 0;
    LONG n_basis = -1, err = -1, msg = -1;
    ASSERT_EQ(e.map->ComputeFeed(kFull, 3, CComBSTR(u"IDEAL"), 2, kAtmosphere, doubles(stream),
                                 column_major(map, kFull), 1, 3, doubles(weights), &x, &flow, &q,
                                 &t, &n_basis, &basis, &err, &msg),
              S_OK);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(msg, 0);
    EXPECT_DOUBLE_EQ(flow, 100.0);
    EXPECT_EQ(q, 1.0);
    const Array xa = read_array(x);
    ASSERT_EQ(xa.extents, (std::vector<std::int64_t>{3}));
    EXPECT_DOUBLE_EQ(xa.at(0), 0.3);
    EXPECT_DOUBLE_EQ(xa.at(1), 0.4);
    EXPECT_DOUBLE_EQ(xa.at(2), 0.3);
    // Saturated liquid: the feed temperature is the bubble point of the mapped feed.
    DOUBLE bubble = 0.0;
    ASSERT_EQ(e.map->GetBoilingPoint(doubles({0.3, 0.4, 0.3}), &bubble), S_OK);
    EXPECT_NEAR(t, bubble, 1e-6);
    // Six components are not mapped: the basis list holds the three mapped positions.
    const Array b = read_array(basis);
    ASSERT_EQ(b.element, VT_I4);
    ASSERT_EQ(b.extents, (std::vector<std::int64_t>{kFull}));
    EXPECT_EQ(n_basis, 3);
    EXPECT_EQ(std::vector<double>(b.values.begin(), b.values.begin() + 3),
              (std::vector<double>{6, 7, 8}));

    // COMPUTE_FEED called directly.
    const std::int64_t ncc = kFull, n = 3, phases = 2, basis_flag = 1, method = 3;
    const double pressure = kAtmosphere;
    std::vector<double> direct_x(3);
    std::vector<std::int64_t> direct_basis(kFull);
    double direct_flow = 0, direct_q = 0, direct_t = 0;
    std::int64_t direct_n = 0, direct_err = -1, direct_msg = -1;
    COMPUTE_FEED(&ncc, &n, kAromatics.data(), "IDEAL", &phases, &pressure, stream.data(),
                 map.data(), &basis_flag, &method, weights.data(), direct_x.data(), &direct_flow,
                 &direct_q, &direct_t, &direct_n, direct_basis.data(), &direct_err, &direct_msg, 5);
    EXPECT_EQ(t, direct_t);
    EXPECT_EQ(direct_n, n_basis);

    // Four selected components: refused with the bad-argument code, nothing beyond three entries.
    ASSERT_EQ(e.map->ComputeFeed(kFull, 4, CComBSTR(u"IDEAL"), 2, kAtmosphere, doubles(stream),
                                 matrix(kFull, 4, std::vector<double>(kFull * 4, 1.0)), 1, 3,
                                 doubles(weights), &x, &flow, &q, &t, &n_basis, &basis, &err, &msg),
              S_OK);
    EXPECT_EQ(err, 2500);
    EXPECT_EQ(flow, -1.0);
    // A short stream vector is refused before anything is read.
    EXPECT_EQ(e.map->ComputeFeed(kFull, 3, CComBSTR(u"IDEAL"), 2, kAtmosphere, doubles({1.0, 2.0}),
                                 column_major(map, kFull), 1, 3, doubles(weights), &x, &flow, &q,
                                 &t, &n_basis, &basis, &err, &msg),
              E_TARN_VARIANT_ACCESS);
}

/// A recovery balance of the aromatics feed: 99 % of the benzene and half the toluene to the
/// distillate, 99 % of the p-xylene to the bottoms.
struct Balance {
    HRESULT status = E_FAIL;
    CComVariant xdist = doubles({0, 0, 0}), xbot = doubles({0, 0, 0});
    CComVariant recov_dist = doubles({0.99, 0.5, 0.0}), recov_bot = doubles({0.0, 0.0, 0.99});
    CComVariant dist_stream, bot_stream, tieline, ydec;
    DOUBLE D = 0, B = 0, phi = 0, TD = 0, TB = 0;
    LONG err = -1, msg = -1, converged = -1;
};

Balance balance(IDistillationMap* map, const std::vector<std::int32_t>& flags) {
    Balance b;
    b.status = map->ComputeMaterialBalance(
        3, CComBSTR(u"IDEAL"), 2, kAtmosphere, 0, 1, doubles({0.3, 0.4, 0.3}), 100.0,
        ints(flags, 3), 0, doubles({78.11, 92.14, 106.17}), CComVariant(), &b.xdist, &b.xbot,
        &b.recov_dist, &b.recov_bot, &b.dist_stream, &b.bot_stream, &b.D, &b.B, &b.tieline, &b.ydec,
        &b.phi, &b.TD, &b.TB, &b.err, &b.msg, &b.converged);
    return b;
}

const std::vector<std::int32_t> kRecoveries{0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

TEST(MapMaterialBalance, ClosesTheBalanceAndWritesTheInOutArraysBack) {
    Engine e = aromatics();
    Balance b = balance(e.map.get(), kRecoveries);
    ASSERT_EQ(b.status, S_OK);
    EXPECT_EQ(b.err, 0);
    EXPECT_EQ(b.converged, 0);
    const Array xd = read_array(b.dist_stream), xb = read_array(b.bot_stream);
    const Array xd_in = read_array(b.xdist);
    ASSERT_EQ(xd.extents, (std::vector<std::int64_t>{3}));
    const std::array<double, 3> feed{0.3, 0.4, 0.3};
    EXPECT_NEAR(b.D + b.B, 100.0, 1e-9);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(b.D * xd.at(i) + b.B * xb.at(i), 100.0 * feed[i], 1e-9) << "component " << i;
        EXPECT_EQ(xd_in.at(i), xd.at(i)) << "the in/out distillate array holds the result";
    }
    // Recovery of benzene in the distillate, as specified (hand calculation: D x_D / F x_F).
    EXPECT_NEAR(b.D * xd.at(0) / 30.0, 0.99, 1e-9);
    // Bubble temperatures of both products, and no decanter without configuration 2.
    DOUBLE bubble = 0;
    ASSERT_EQ(e.map->GetBoilingPoint(doubles({xd.at(0), xd.at(1), xd.at(2)}), &bubble), S_OK);
    EXPECT_NEAR(b.TD, bubble, 1e-6);
    const Array tie = read_array(b.tieline);
    ASSERT_EQ(tie.extents, (std::vector<std::int64_t>{3, 2}));
    EXPECT_TRUE(
        std::all_of(tie.values.begin(), tie.values.end(), [](double v) { return v == -1.0; }));

    // Four flags: bad arguments (2500), every output as initialised.
    std::vector<std::int32_t> four = kRecoveries;
    four[0] = 1;
    Balance bad = balance(e.map.get(), four);
    ASSERT_EQ(bad.status, S_OK);
    EXPECT_EQ(bad.err, 2500);
    EXPECT_EQ(bad.converged, 1);
    EXPECT_EQ(bad.D, -1.0);
    EXPECT_EQ(bad.TD, 0.0);
    const Array none = read_array(bad.dist_stream);
    EXPECT_TRUE(
        std::all_of(none.values.begin(), none.values.end(), [](double v) { return v == -1.0; }));
}

/// Everything BV_Design returns.
struct Design {
    HRESULT status = E_FAIL;
    DOUBLE reflux = 0, reboil = 0, phi = 0;
    CComVariant x_reflux = doubles({0, 0, 0}), y_top = doubles({0, 0, 0});
    LONG feasible = -1, n_rect = 0, n_strip = 0, n_rect_f = 0, n_strip_f = 0, n_col = 0;
    DOUBLE stage_rect = 0, stages_strip = 0;
    CComVariant x_rect, x_strip, x_rect_f, x_strip_f, stage_col, x_col, y_col, t_col;
    DOUBLE v_rect = 0, v_strip = 0, l_rect = 0, l_strip = 0, q_reb = 0, q_con = 0;
    LONG stages = 0, feed_stage = 0, comp_list = 0;
    DOUBLE l1 = 0, l2 = 0;
    CComVariant t_est, x_est, y_est;
    LONG err = -1, msg = -1;
};

Design design(IDistillationMap* map,
              double R,
              double q,
              const std::vector<double>& xd,
              double D,
              const std::vector<double>& xb,
              double B,
              LONG max_stages = 100) {
    Design d;
    d.reflux = R;
    d.status = map->BV_Design(
        3, CComBSTR(u"IDEAL"), 2, kAtmosphere, 1, max_stages, 1, D + B, q, doubles(xd), D,
        doubles(xb), B, ints({1, 1}), 0.5, 1, &d.reflux, &d.reboil, &d.phi, &d.x_reflux, &d.y_top,
        &d.feasible, &d.stage_rect, &d.stages_strip, &d.n_rect, &d.x_rect, &d.n_strip, &d.x_strip,
        &d.n_rect_f, &d.x_rect_f, &d.n_strip_f, &d.x_strip_f, &d.n_col, &d.stage_col, &d.x_col,
        &d.y_col, &d.t_col, &d.v_rect, &d.v_strip, &d.l_rect, &d.l_strip, &d.q_reb, &d.q_con,
        &d.stages, &d.feed_stage, &d.l1, &d.l2, &d.comp_list, &d.t_est, &d.x_est, &d.y_est, &d.err,
        &d.msg);
    return d;
}

TEST(MapBoundaryValueDesign, EqualsTheRoutineWithItsProfilesLaidOutComponentByStage) {
    Engine e = aromatics();
    Balance b = balance(e.map.get(), kRecoveries);
    const Array xd = read_array(b.dist_stream), xb = read_array(b.bot_stream);
    const Design d = design(e.map.get(), 3.0, 1.0, xd.values, b.D, xb.values, b.B);
    ASSERT_EQ(d.status, S_OK);
    EXPECT_EQ(d.feasible, 1);

    // BV_DESIGN called directly with the same arguments.
    const std::int64_t n = 3, phases = 2, config = 1, M = 100, stop = 1, r_or_s = 1;
    const std::array<std::int64_t, 2> dec{1, 1};
    const double pressure = kAtmosphere, F = b.D + b.B, q = 1.0, D = b.D, B = b.B, dec_val = 0.5;
    double R = 3.0, S = 0.0, phi = 0.0;
    std::vector<double> x_reflux(3), y_top(3), x_rect(3 * M), x_strip(3 * M), x_rect_f(3 * M),
        x_strip_f(3 * M), stage_col(2 * M), x_col(6 * M), y_col(6 * M), t_col(2 * M), t_est(2 * M),
        x_est(6 * M), y_est(6 * M);
    std::int64_t feasible = 0, n_rect = 0, n_strip = 0, n_rect_f = 0, n_strip_f = 0, n_col = 0,
                 stages = 0, feed_stage = 0, comp = 0, err = -1, msg = 0;
    double stage_rect = 0, stages_strip = 0, vr = 0, vs = 0, lr = 0, ls = 0, qr = 0, qc = 0, l1 = 0,
           l2 = 0;
    BV_DESIGN(&n, kAromatics.data(), "IDEAL", &phases, &pressure, &config, &M, &stop, &F, &q,
              xd.values.data(), &D, xb.values.data(), &B, dec.data(), &dec_val, &r_or_s, &R, &S,
              &phi, x_reflux.data(), y_top.data(), &feasible, &stage_rect, &stages_strip, &n_rect,
              x_rect.data(), &n_strip, x_strip.data(), &n_rect_f, x_rect_f.data(), &n_strip_f,
              x_strip_f.data(), &n_col, stage_col.data(), x_col.data(), y_col.data(), t_col.data(),
              &vr, &vs, &lr, &ls, &qr, &qc, &stages, &feed_stage, &l1, &l2, &comp, t_est.data(),
              x_est.data(), y_est.data(), &err, &msg, 5);
    EXPECT_EQ(d.reboil, S);
    EXPECT_EQ(d.stages, stages);
    EXPECT_EQ(d.feed_stage, feed_stage);
    EXPECT_EQ(d.n_rect, n_rect);
    EXPECT_EQ(d.q_reb, qr);
    EXPECT_EQ(d.q_con, qc);
    EXPECT_EQ(d.err, 0);
    // Profiles: components x stages, stage s of component c at (c, s).
    const Array rect = read_array(d.x_rect);
    ASSERT_EQ(rect.extents, (std::vector<std::int64_t>{3, M}));
    for (std::int64_t s = 0; s < n_rect; ++s) {
        for (int c = 0; c < 3; ++c) { EXPECT_EQ(rect.at(c, s), x_rect[s * 3 + c]); }
    }
    EXPECT_EQ(read_array(d.x_col).extents, (std::vector<std::int64_t>{3, 2 * M}));
    EXPECT_EQ(read_array(d.t_col).extents, (std::vector<std::int64_t>{2 * M}));
    const Array estimates = read_array(d.x_est);
    ASSERT_EQ(estimates.extents, (std::vector<std::int64_t>{3, stages}));
    EXPECT_EQ(read_array(d.t_est).extents, (std::vector<std::int64_t>{stages}));
    // The reflux and top vapour of a total condenser are the distillate, written back in place.
    const Array reflux = read_array(d.x_reflux);
    for (int c = 0; c < 3; ++c) { EXPECT_EQ(reflux.at(c), xd.at(c)); }
}

TEST(MapBoundaryValueDesign, RatiosAndFlowsFollowTheBalanceAroundTheFeed) {
    Engine e = aromatics();
    const std::vector<double> xd{0.7, 0.29, 0.01}, xb{0.02, 0.46, 0.52};
    // Hand calculation: V_F = (1 - q) F; S = ((R + 1) D - V_F) / B.
    const Design liquid = design(e.map.get(), 2.0, 1.0, xd, 40.0, xb, 60.0);
    ASSERT_EQ(liquid.status, S_OK);
    EXPECT_NEAR(liquid.reboil, 2.0, 1e-12);
    EXPECT_NEAR(liquid.v_rect, 120.0, 1e-9);
    EXPECT_NEAR(liquid.l_rect, 80.0, 1e-9);
    EXPECT_NEAR(liquid.v_strip, 120.0, 1e-9);
    EXPECT_NEAR(liquid.l_strip, 180.0, 1e-9);
    const Design vapour = design(e.map.get(), 2.0, 0.0, xd, 40.0, xb, 60.0);
    EXPECT_NEAR(vapour.reboil, 1.0 / 3.0, 1e-12);

    // A zero distillate flow: invalid input (2507), with the routine's message lines kept.
    const Design none = design(e.map.get(), 2.0, 1.0, xd, 0.0, xb, 60.0);
    ASSERT_EQ(none.status, S_OK);
    EXPECT_EQ(none.err, 2507);
    const std::vector<std::string> lines = message_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "***** Invalid input for Conceptual Design calculations");
    EXPECT_EQ(lines[1], "      One of the product flowrates is zero !");
    // A stage limit the routine refuses: bad arguments, empty profiles.
    const Design refused = design(e.map.get(), 2.0, 1.0, xd, 40.0, xb, 60.0, 1);
    EXPECT_EQ(refused.err, 2500);
    EXPECT_EQ(read_array(refused.x_rect).extents, (std::vector<std::int64_t>{3, 0}));
}

TEST(MapProductStreams, MapTheProductsBackOntoTheFullListAsTheRoutineDoes) {
    Engine e = aromatics();
    const std::vector<double> stream = feed_stream(), map = mapping();
    std::vector<double> weights(kFull, 50.0);
    weights[5] = 78.11;
    weights[6] = 92.14;
    weights[7] = 106.17;
    const std::vector<double> xd{0.7, 0.29, 0.01}, xb{0.02, 0.46, 0.52};
    CComVariant dist, bot;
    ASSERT_EQ(
        e.map->CreateProductStreams(kFull, 3, CComBSTR(u"IDEAL"), 2, kAtmosphere, doubles(stream),
                                    0, column_major(map, kFull), 0, doubles(weights), 40.0,
                                    doubles(xd), 60.0, doubles(xb), &dist, &bot),
        S_OK);
    const Array d = read_array(dist), b = read_array(bot);
    ASSERT_EQ(d.extents, (std::vector<std::int64_t>{kFull + 9}));
    // One to one through the index vector: flows at the aromatics' positions only.
    EXPECT_NEAR(d.at(5), 28.0, 1e-12);
    EXPECT_NEAR(d.at(6), 11.6, 1e-12);
    EXPECT_NEAR(d.at(7), 0.4, 1e-12);
    EXPECT_EQ(d.at(0), 0.0);
    EXPECT_NEAR(d.at(kFull), 40.0, 1e-12);
    EXPECT_NEAR(b.at(kFull), 60.0, 1e-12);
    // Bubble temperature of the distillate at the column pressure.
    DOUBLE bubble = 0;
    ASSERT_EQ(e.map->GetBoilingPoint(doubles(xd), &bubble), S_OK);
    EXPECT_NEAR(d.at(kFull + 1), bubble, 1e-6);

    const std::int64_t ncc = kFull, nsel = 3, phases = 2, un_map = 0, basis = 0;
    const double pressure = kAtmosphere, D = 40.0, B = 60.0;
    std::vector<double> direct_d(kFull + 9), direct_b(kFull + 9);
    std::int64_t s1 = -1, s2 = -1;
    CREATE_PROD_STREAM(&ncc, &nsel, kAromatics.data(), "IDEAL", &phases, &pressure, stream.data(),
                       &un_map, map.data(), &basis, weights.data(), &D, xd.data(), &B, xb.data(),
                       direct_d.data(), direct_b.data(), &s1, &s2, 5);
    EXPECT_EQ(d.values, direct_d);
    EXPECT_EQ(b.values, direct_b);
}

}  // namespace
}  // namespace engine::testing
