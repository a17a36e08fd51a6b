#include "design/material_balance.hpp"

#include <algorithm>
#include <cmath>

#include "design/balance_solvers.hpp"
#include "design/detail/checks.hpp"
#include "design/detail/flash.hpp"

namespace design {
namespace {

constexpr std::size_t kN = 3;

std::vector<double> first_entries(std::span<const double> v, std::size_t m) {
    return std::vector<double>(v.begin(),
                               v.begin() + static_cast<std::ptrdiff_t>(std::min(m, v.size())));
}

Composition to_composition(std::span<const double> v) {
    Composition c{};
    std::copy_n(v.begin(), kN, c.begin());
    return c;
}

bool in_unit_interval(double v) { return v >= 0.0 && v <= 1.0; }

bool all_in_unit_interval(const Composition& c) {
    return std::all_of(c.begin(), c.end(), in_unit_interval);
}

/// Mass fractions back to mole fractions; an all-zero product stays all zero.
void mass_to_mole(std::vector<double>& w, std::span<const double> mol_wt) {
    double sum = 0.0;
    for (std::size_t i = 0; i < kN; ++i) { sum += w[i] / mol_wt[i]; }
    if (!(sum > 0.0)) { return; }
    for (std::size_t i = 0; i < kN; ++i) { w[i] = w[i] / mol_wt[i] / sum; }
}

/// The arguments the routine cannot work with at all.
bool bad_arguments(const MaterialBalanceInput& in) {
    if (in.n != kComponents || in.idx.size() != kN || in.spec.size() != 4 * kN ||
        in.mol_wt.size() != kN || in.xfeed.size() != kN || in.xdist.size() != kN ||
        in.xbot.size() != kN || in.recov_dist.size() != kN || in.recov_bot.size() != kN) {
        return true;
    }
    if (std::any_of(in.idx.begin(), in.idx.end(), [](std::int64_t i) { return i <= 0; })) {
        return true;
    }
    // Flags are 0 or 1; three specifications in all.
    std::int64_t flags = 0;
    for (const std::int64_t f : in.spec) {
        if (f != 0 && f != 1) { return true; }
        flags += f;
    }
    if (flags != 3) { return true; }
    if (!std::all_of(in.mol_wt.begin(), in.mol_wt.end(), detail::positive_finite)) { return true; }
    // A feed composition that is not a composition, or a specified value that is not a number,
    // would run through every solver as NaN.
    double feed_sum = 0.0;
    for (const double x : in.xfeed) {
        if (!std::isfinite(x) || x < 0.0) { return true; }
        feed_sum += x;
    }
    if (!(feed_sum > 0.0)) { return true; }
    const std::span<const double> values[4] = {in.xdist, in.xbot, in.recov_dist, in.recov_bot};
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < kN; ++i) {
            if (in.spec[k * kN + i] == 1 && !std::isfinite(values[k][i])) { return true; }
        }
    }
    return false;
}

}  // namespace

MaterialBalanceResult compute_material_balance(const MaterialBalanceInput& in) {
    MaterialBalanceResult r;
    MessageLog log;
    const std::size_t m = detail::writable_entries(in.n);
    r.xdist = first_entries(in.xdist, m);
    r.xbot = first_entries(in.xbot, m);
    r.recov_dist = first_entries(in.recov_dist, m);
    r.recov_bot = first_entries(in.recov_bot, m);
    r.xdist_stream.assign(m, -1.0);
    r.xbot_stream.assign(m, -1.0);
    r.xdec_tieline.assign(2 * m, -1.0);
    r.ydec.assign(m, -1.0);
    r.Dflow = r.Bflow = -1.0;
    r.phi_prod = -1.0;
    r.TDist = r.TBot = 0.0;
    r.lErr = 0;
    r.lMsg = 0;
    const auto finish = [&r, &log]() -> MaterialBalanceResult {
        r.messages = log.take();
        return std::move(r);
    };

    if (bad_arguments(in)) {
        log.line("****** Fatal Internal Error in Corvane (Material Balance) ***** ");
        log.line("     Please close the simulation and contact Quorral Technology ");
        r.lErr = 1;
        r.lConverg = 1;
        return finish();
    }
    if (!detail::positive_finite(in.pres)) {
        log.line("***** Error - Pressure is zero or negative ");
        r.lErr = 3;
        r.lConverg = 1;
        return finish();
    }
    if (!detail::positive_finite(in.Fflow)) {
        log.line("***** Error - \"Mapped\" feed flowrate is zero ");
        log.line("      Please change component mapping and re-calculate");
        r.lErr = 3;
        r.lConverg = 1;
        return finish();
    }

    const bool mass = in.basis == 1;
    const Composition x_F_molar = to_composition(in.xfeed);
    Composition x_F = x_F_molar;
    double F = in.Fflow;
    if (mass) {
        double S = 0.0;
        for (std::size_t i = 0; i < kN; ++i) { S += x_F_molar[i] * in.mol_wt[i]; }
        F = in.Fflow * S;
        for (std::size_t i = 0; i < kN; ++i) { x_F[i] = x_F_molar[i] * in.mol_wt[i] / S; }
    }

    SpecFlags spec{};
    std::copy_n(in.spec.begin(), spec.size(), spec.begin());
    BalanceState s;
    s.x_D = to_composition(in.xdist);
    s.x_B = to_composition(in.xbot);
    s.r_D = to_composition(in.recov_dist);
    s.r_B = to_composition(in.recov_bot);
    s.D = r.Dflow;
    s.B = r.Bflow;
    s.status = 0;

    std::int64_t c[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < kN; ++i) { c[k] += spec[k * kN + i]; }
    }
    enum class Solver { composition, recovery, mixed } solver = Solver::mixed;
    if (c[0] + c[1] == 3) {
        solver = Solver::composition;
        Comp_mat_bal(F, x_F, spec, s, log);
    } else if (c[2] + c[3] == 3) {
        solver = Solver::recovery;
        Recov_mat_bal(F, x_F, spec, s, log);
    } else {
        Mixed_mat_bal(F, x_F, spec, s, log);
    }
    const auto store_arrays = [&r, &s] {
        r.xdist.assign(s.x_D.begin(), s.x_D.end());
        r.xbot.assign(s.x_B.begin(), s.x_B.end());
        r.recov_dist.assign(s.r_D.begin(), s.r_D.end());
        r.recov_bot.assign(s.r_B.begin(), s.r_B.end());
    };
    store_arrays();

    // The fallback split: every component half to each product.
    const auto fallback = [&r](const Composition& feed, double flow) {
        r.xdist_stream.assign(feed.begin(), feed.end());
        r.xbot_stream.assign(feed.begin(), feed.end());
        r.Dflow = r.Bflow = 0.5 * flow;
    };

    if (s.status != 0 && solver != Solver::recovery) {
        static constexpr std::int64_t kComposition[5] = {0, 2, 4, 3, 1};
        static constexpr std::int64_t kMixed[5] = {0, 2, 3, 4, 3};
        const std::int64_t* table = solver == Solver::composition ? kComposition : kMixed;
        r.lErr = s.status >= 1 && s.status <= 4 ? table[s.status] : 1;
    }
    if (r.lErr > 0) {
        r.lConverg = 1;
        // Results are molar: on a mass basis the fallback is the molar feed, not its mass form.
        fallback(x_F_molar, in.Fflow);
        return finish();
    }

    const bool compositions_in_range = all_in_unit_interval(s.x_D) && all_in_unit_interval(s.x_B);
    const bool in_range = compositions_in_range && all_in_unit_interval(s.r_D) &&
                          all_in_unit_interval(s.r_B) && s.D >= 0.0 && s.B >= 0.0;
    if (in_range) {
        r.lErr = 0;
        r.lConverg = 0;
        r.xdist_stream.assign(s.x_D.begin(), s.x_D.end());
        r.xbot_stream.assign(s.x_B.begin(), s.x_B.end());
        r.Dflow = s.D;
        r.Bflow = s.B;
    } else if (compositions_in_range || s.status != 0) {
        log.line("***** Warning - Could not \"fix\" material balance");
        r.lErr = -1;
        r.lConverg = 1;
        fallback(x_F, F);
    } else {
        log.line("***** Warning - Material balance specifications not satisfied");
        r.lConverg = 1;
        const RepairResult fix = Fix_mat_bal(F, x_F, s.x_D, s.x_B);
        if (fix.status != 0) {
            log.line("***** Warning - Could not \"fix\" material balance");
            r.lErr = -1;
            fallback(x_F, F);
        } else {
            r.xdist_stream.assign(fix.x_D.begin(), fix.x_D.end());
            r.xbot_stream.assign(fix.x_B.begin(), fix.x_B.end());
            r.Dflow = fix.D;
            r.Bflow = fix.B;
        }
    }

    if (mass) {
        const auto molar_flow = [&in](double flow, const std::vector<double>& w) {
            double S = 0.0;
            for (std::size_t i = 0; i < kN; ++i) { S += w[i] / in.mol_wt[i]; }
            return flow * S;
        };
        r.Dflow = molar_flow(r.Dflow, r.xdist_stream);
        mass_to_mole(r.xdist, in.mol_wt);
        mass_to_mole(r.xdist_stream, in.mol_wt);
        r.Bflow = molar_flow(r.Bflow, r.xbot_stream);
        mass_to_mole(r.xbot, in.mol_wt);
        mass_to_mole(r.xbot_stream, in.mol_wt);
    }

    // Product temperatures, then the distillate's two liquids for a decanter.
    const PropertyContext ctx{in.idx, in.opset, in.nPhase, in.pres};
    const auto flash_failed = [&r, &log](std::int64_t code) {
        if (code < 0) {
            log.line(
                "***** Fatal Flash Error - Could not compute temperature and decanter tie-line");
            r.lErr = -2;
            return true;
        }
        // Not converged: a warning; the temperature is not set from a flash that failed.
        r.lErr = -3;
        return false;
    };
    const properties::FlashResult bottoms = detail::pv_flash(ctx, r.xbot_stream, 0.0);
    ++r.flashes;
    if (detail::usable(bottoms, kN)) {
        r.TBot = bottoms.temperature;
    } else if (flash_failed(bottoms.error_code != 0 ? bottoms.error_code : -1)) {
        return finish();
    }
    const properties::FlashResult dist = detail::pv_flash(ctx, r.xdist_stream, 0.0);
    ++r.flashes;
    if (!detail::usable(dist, kN)) {
        flash_failed(dist.error_code != 0 ? dist.error_code : -1);
        return finish();
    }
    r.TDist = dist.temperature;
    if (in.nPhase != 3 || in.lConfig != 2) { return finish(); }

    double d = 0.0;
    for (std::size_t i = 0; i < kN; ++i) {
        d += (dist.x1[i] - dist.x2[i]) * (dist.x1[i] - dist.x2[i]);
    }
    if (d <= 1e-5) {
        log.line("***** Warning (material-balance) - only one liquid phase in the decanter");
        r.lErr = -4;
    }
    std::copy_n(dist.y.begin(), kN, r.ydec.begin());
    std::copy_n(dist.x1.begin(), kN, r.xdec_tieline.begin());
    std::copy_n(dist.x2.begin(), kN, r.xdec_tieline.begin() + kN);
    r.phi_prod = dist.beta;
    return finish();
}

}  // namespace design
