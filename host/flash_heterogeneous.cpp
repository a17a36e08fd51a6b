// Bubble and dew points where the liquid may be two liquids (phase count 3).
//
// Heterogeneous bubble point of an overall liquid z at P: the temperature where two liquids
// x1, x2 in equilibrium (with z on their tie line) reach the bubble condition
//     F(T) = ln(sum_i x1_i gamma_i(x1) Psat_i(T) / P) = 0,
// the vapour then being in equilibrium with both. Whether to look for it: a liquid that is
// unstable (tangent-plane test) at its homogeneous bubble temperature gets the three-phase
// bubble point; a stable one keeps the homogeneous point, which then is the true bubble point.
// The temperature comes from Newton in 1/T with the exact slope of F along the tie lines: at
// fixed z the liquid-liquid equations g(n2, T) = ln f2 - ln f1 = 0 give
//     d n2/dT = -H^-1 dg/dT,  H = Phi1 + Phi2  (the split's Gibbs-energy Hessian),
//     dF/dT = sum_i y_i [d ln Psat_i/dT + d ln gamma1_i/dT - sum_j Phi1_ij d n2_j/dT],
// and d n2/dT also predicts the split at the next temperature, so that the liquid-liquid
// Newton there starts close to its answer. Every feed on one tie line has the same T and y.
//
// Dew points: the homogeneous dew point is already the highest root of the dew equations (the
// vapour meets its first liquid there). A vapour in equilibrium with two liquids at once lies
// on the vapour line of the three-phase region; it is recognised when a second stationary
// liquid also satisfies the dew condition.
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"

namespace host::detail {

namespace {

constexpr std::size_t P3 = kMaxPhases;
constexpr double kLnKLimit = 500.0;

bool has_two_liquids(const PhaseSplit& s) {
    return s.present(kLiquid1) && s.present(kLiquid2) &&
           composition_distance(s.x[kLiquid1], s.x[kLiquid2]) >= kSplitThreshold;
}

/// Potentials of the liquid z at T for the liquid stability test (d_i = ln z_i + ln gamma_i),
/// into w.potential; ln gamma into w.phase_ln_gamma[kLiquid1].
bool liquid_potentials(FlashContext& c, double T) {
    FlashWorkspace& w = c.work;
    ++c.evaluations;
    c.mixture.ln_gamma(T, w.z, w.phase_ln_gamma[kLiquid1]);
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.potential[i] = -std::numeric_limits<double>::infinity();
            continue;
        }
        const double g = w.phase_ln_gamma[kLiquid1][i];
        if (!std::isfinite(g)) { return false; }
        w.potential[i] = std::log(w.z[i]) + g;
    }
    return true;
}

/// Liquid-liquid split of the feed z at T from the trial second liquid in split.x[kLiquid2]
/// (or, faster, from the liquids of the last split when they bracket z): true when it gives two
/// liquids at least kSplitThreshold apart.
FlashCode split_feed(FlashContext& c, double T, bool& two) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    std::copy(s.x[kLiquid2].begin(), s.x[kLiquid2].end(), w.x_new.begin());
    if (split_from_warm_liquids(c)) {
        const FlashCode warm = solve_split(c, T, 0.0, true);
        two = warm == FlashCode::ok && has_two_liquids(s);
        if (two || static_cast<std::int64_t>(warm) < 0) { return warm; }
        std::copy(w.x_new.begin(), w.x_new.end(), s.x[kLiquid2].begin());
    }
    std::copy(w.z.begin(), w.z.end(), s.x[kLiquid1].begin());
    s.beta = {0.0, 1.0, 0.0};
    s.allowed = {false, true, true};
    const FlashCode code = solve_split(c, T, 0.0, false);
    two = code == FlashCode::ok && has_two_liquids(s);
    return code;
}

/// The residuals of the three-phase bubble point at a two-liquid split at T (ln Psat and its
/// slope in the workspace; the liquids' ln gamma are left in w.phase_ln_gamma).
struct SplitResidual {
    double F = 0.0;      ///< ln(sum_i f_i / P), f from the first liquid
    double slope = 0.0;  ///< dF/dT along the tie lines (header comment)
    double tie = 0.0;    ///< largest |ln f2_i - ln f1_i|: 0 on a tie line
    /// dF of the Newton correction of the tie line, -H^-1 g (in w.split_step): the full Newton
    /// step in (n2, T) is dT = -(F + shift) / slope, dn2 = correction + (dn2/dT) dT.
    double shift = 0.0;
    bool factored = false;  ///< H was positive definite (off a plait point)
};

bool split_residual(FlashContext& c, double T, double ln_p, SplitResidual& out) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const std::size_t n = c.n;
    std::array<std::vector<double>*, P3> jac{nullptr, &w.jacobian, &w.jacobian2};
    for (const std::size_t k : {kLiquid1, kLiquid2}) {
        ++c.evaluations;
        c.mixture.ln_gamma(T, s.x[k], w.phase_ln_gamma[k]);
        c.mixture.d_ln_gamma_dT(T, s.x[k], w.phase_d_ln_gamma[k]);
        c.mixture.model().d_ln_gamma_dn(T, s.x[k], *jac[k]);
        for (std::size_t i = 0; i < n; ++i) {
            if (w.z[i] > 0.0 && (!std::isfinite(w.phase_ln_gamma[k][i]) ||
                                 !std::isfinite(w.phase_d_ln_gamma[k][i]))) {
                return false;
            }
        }
    }
    const double n1 = s.beta[kLiquid1], n2 = s.beta[kLiquid2];
    const auto phi = [&](std::size_t k, double total, std::size_t i, std::size_t j) {
        const std::vector<double>& J = *jac[k];
        double v = -1.0 + 0.5 * (J[i * n + j] + J[j * n + i]);
        if (i == j) { v += 1.0 / s.x[k][i]; }
        return v / total;
    };
    const std::span<double> correction(w.split_step.data(), n);
    out.tie = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            double& h = w.split_hessian[i * n + j];
            if (!(w.z[i] > 0.0) || !(w.z[j] > 0.0)) {
                h = i == j ? 1.0 : 0.0;
                continue;
            }
            h = phi(kLiquid1, n1, i, j) + phi(kLiquid2, n2, i, j);
        }
        if (!(w.z[i] > 0.0)) {
            w.sensitivity[i] = correction[i] = 0.0;
            continue;
        }
        w.sensitivity[i] = w.phase_d_ln_gamma[kLiquid1][i] - w.phase_d_ln_gamma[kLiquid2][i];
        const double g = std::log(s.x[kLiquid2][i]) + w.phase_ln_gamma[kLiquid2][i] -
                         std::log(s.x[kLiquid1][i]) - w.phase_ln_gamma[kLiquid1][i];
        correction[i] = -g;
        out.tie = std::max(out.tie, std::abs(g));
    }
    const std::span<double> h(w.split_hessian.data(), n * n);
    out.factored = cholesky_factor(h, n);
    if (out.factored) {
        cholesky_solve(h, n, w.sensitivity);
        cholesky_solve(h, n, correction);
    } else {
        // At a plait point the tie line is undefined; the slope at a fixed split still points
        // the right way.
        std::fill(w.sensitivity.begin(), w.sensitivity.end(), 0.0);
        std::fill(correction.begin(), correction.end(), 0.0);
    }
    for (std::size_t i = 0; i < n; ++i) {
        w.ln_k[i] = w.phase_ln_gamma[kLiquid1][i] + w.ln_psat[i] - ln_p;
    }
    out.F = log_sum_exp(w.ln_k, s.x[kLiquid1]);
    out.slope = 0.0;
    out.shift = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(w.z[i] > 0.0)) { continue; }
        const double y = s.x[kLiquid1][i] * std::exp(w.ln_k[i] - out.F);
        double along = 0.0, across = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            if (!(w.z[j] > 0.0)) { continue; }
            // n1 = z - n2: d ln f1_i / d n2_j = -Phi1_ij.
            along += phi(kLiquid1, n1, i, j) * w.sensitivity[j];
            across += phi(kLiquid1, n1, i, j) * correction[j];
        }
        out.slope += y * (w.d_ln_psat[i] + w.phase_d_ln_gamma[kLiquid1][i] - along);
        out.shift -= y * across;
    }
    return std::isfinite(out.F) && std::isfinite(out.slope) && std::isfinite(out.shift);
}

/// The full Newton step of the split to T + dT: n2 + correction + (dn2/dT) dT. False (split
/// untouched) when it would take any amount of either liquid below a tenth of what it is.
bool step_split(FlashContext& c, double dT) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    double n1 = 0.0, n2 = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.v[i] = 0.0;
            continue;
        }
        const double now = s.beta[kLiquid2] * s.x[kLiquid2][i];
        const double next = now + w.split_step[i] + w.sensitivity[i] * dT;
        if (!(next > 0.1 * now) || !(w.z[i] - next > 0.1 * (w.z[i] - now))) { return false; }
        w.v[i] = next;
        n2 += next;
        n1 += w.z[i] - next;
    }
    for (std::size_t i = 0; i < c.n; ++i) {
        s.x[kLiquid2][i] = w.v[i] / n2;
        s.x[kLiquid1][i] = (w.z[i] - w.v[i]) / n1;
    }
    s.beta[kLiquid1] = n1;
    s.beta[kLiquid2] = n2;
    return true;
}

/// The homogeneous bubble function of the feed at T and its slope at fixed composition.
bool homogeneous_residual(FlashContext& c, double T, double ln_p, double& F, double& slope) {
    FlashWorkspace& w = c.work;
    if (!c.evaluate_gamma(T, w.z, true)) { return false; }
    for (std::size_t i = 0; i < c.n; ++i) {
        w.ln_k[i] = std::clamp(w.ln_gamma[i] + w.ln_psat[i] - ln_p, -kLnKLimit, kLnKLimit);
    }
    F = log_sum_exp(w.ln_k, w.z);
    slope = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (w.z[i] > 0.0) {
            slope += w.z[i] * std::exp(w.ln_k[i] - F) * (w.d_ln_psat[i] + w.d_ln_gamma[i]);
        }
    }
    return std::isfinite(F) && std::isfinite(slope);
}

/// The split predicted at T + dT from the sensitivity of the second liquid's amounts.
void predict_split(FlashContext& c, double dT) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    double n1 = 0.0, n2 = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.v[i] = 0.0;
            continue;
        }
        const double now = s.beta[kLiquid2] * s.x[kLiquid2][i];
        double next = now + w.sensitivity[i] * dT;
        // Stay inside (0, z_i): the prediction is only a start.
        if (!(next > 0.1 * now)) { next = 0.1 * now; }
        if (!(next < w.z[i] - 0.1 * (w.z[i] - now))) { next = w.z[i] - 0.1 * (w.z[i] - now); }
        w.v[i] = next;
        n2 += next;
        n1 += w.z[i] - next;
    }
    for (std::size_t i = 0; i < c.n; ++i) {
        s.x[kLiquid2][i] = w.v[i] / n2;
        s.x[kLiquid1][i] = (w.z[i] - w.v[i]) / n1;
    }
    s.beta[kLiquid1] = n1;
    s.beta[kLiquid2] = n2;
}

/// The three-phase bubble point of the feed at P, searched from T (the homogeneous bubble
/// point, whose result r holds). `stable` is the code when the liquid is stable at T: ok when r
/// holds the homogeneous bubble point, the homogeneous search's failure otherwise.
FlashCode heterogeneous_bubble_temperature(
    FlashContext& c, double P, double T, FlashCode stable, FlashResult& r) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const double tol = c.options.tolerance;
    const double ln_p = std::log(P);
    if (!c.evaluate_psat(T, true) || !liquid_potentials(c, T)) { return FlashCode::model_failure; }
    const StabilityTest test = liquid_stability(c, T, w.potential, w.z, {}, s.x[kLiquid2]);
    if (test.code != FlashCode::ok) { return test.code; }
    if (!test.unstable) { return stable; }
    bool two = false;
    FlashCode code = split_feed(c, T, two);
    if (static_cast<std::int64_t>(code) < 0) { return code; }
    // No split worth the name (below the threshold, or none found): the homogeneous point.
    if (!two) { return stable; }
    w.split_saved = s;

    double lo = c.t_min, hi = c.t_max;
    bool lo_known = false, hi_known = false;
    double last_tie = std::numeric_limits<double>::infinity(), last_T = 0.0;
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        double F = 0.0, slope = 0.0;
        SplitResidual sr;
        if (two) {
            if (!split_residual(c, T, ln_p, sr)) { return FlashCode::model_failure; }
            F = sr.F;
            slope = sr.slope;
        } else if (!homogeneous_residual(c, T, ln_p, F, slope)) {
            return FlashCode::model_failure;
        }
        const bool closed = lo_known && hi_known && hi - lo <= 1e-13 * T;
        // The amounts of the first liquid are the feed less the second's, so a component it
        // holds little of carries a rounding error of eps z_i / n1_i into ln f: the tie-line
        // residual can stall a little above a tight tolerance. Stalled at T, it is converged.
        const bool stalled = sr.tie <= 100.0 * tol && sr.tie >= 0.5 * last_tie && T == last_T;
        last_tie = sr.tie;
        last_T = T;
        if ((std::abs(F) <= tol && (sr.tie <= tol || stalled)) || closed) {
            if (!two) {
                // The split vanished where the bubble condition holds: a homogeneous bubble
                // point after all (y from the feed's K-values in the workspace).
                r.temperature = T;
                r.pressure = P;
                r.vapour_fraction = 0.0;
                r.phases = PhaseState::vapour_liquid;
                double sum = 0.0;
                for (std::size_t i = 0; i < c.n; ++i) {
                    r.x[i] = w.z[i];
                    r.y[i] = w.z[i] > 0.0 ? w.z[i] * std::exp(w.ln_k[i]) : 0.0;
                    sum += r.y[i];
                }
                for (double& v : r.y) { v /= sum; }
                return FlashCode::ok;
            }
            store_split(c, T, P, r);
            std::copy(w.z.begin(), w.z.end(), r.x.begin());
            r.vapour_fraction = 0.0;
            r.phases = PhaseState::vapour_liquid_liquid;
            return FlashCode::ok;
        }
        // The sign of F on the tie line at this T brackets the root. Off it (after a Newton step
        // in both n2 and T) F + shift is that value to second order in the tie-line residual.
        const double on_tie = F + sr.shift;
        if (sr.tie <= 1e-6) {
            if (on_tie < 0.0) {
                lo = T;
                lo_known = true;
            } else {
                hi = T;
                hi_known = true;
            }
            if (on_tie < 0.0 && T >= c.t_max) { return FlashCode::no_solution_in_range; }
            if (on_tie > 0.0 && T <= c.t_min) { return FlashCode::no_solution_in_range; }
        }
        // Newton in u = 1/T (with the tie line's own Newton correction), kept inside the
        // bracket.
        const double slope_u = -T * T * slope;
        double next = std::numeric_limits<double>::quiet_NaN();
        if (slope_u < 0.0) {
            const double u_next = 1.0 / T - (F + sr.shift) / slope_u;
            if (u_next > 0.0) { next = 1.0 / u_next; }
        }
        // A step below the resolution of T: only the tie line still moves; stay at T (it may
        // coincide with an end of the bracket).
        if (std::abs(next - T) <= 1e-13 * T) { next = T; }
        if (!(next > lo && next < hi) && next != T) {
            if (lo_known && hi_known) {
                next = 0.5 * (lo + hi);
            } else if (on_tie < 0.0) {
                next = std::min(hi, T + 5.0);
            } else {
                next = std::max(lo, T - 5.0);
            }
        }
        if (two && sr.tie <= 1e-8) { w.split_saved = s; }
        if (two && sr.factored && step_split(c, next - T)) {
            // Simultaneous Newton in (n2, T): no inner liquid-liquid iteration.
            T = next;
            if (!c.evaluate_psat(T, true)) { return FlashCode::model_failure; }
            continue;
        }
        if (two) {
            w.split_saved = s;
            predict_split(c, next - T);
        } else {
            s = w.split_saved;
        }
        T = next;
        if (!c.evaluate_psat(T, true)) { return FlashCode::model_failure; }
        code = solve_split(c, T, 0.0, true);
        if (static_cast<std::int64_t>(code) < 0) { return code; }
        if (code != FlashCode::ok || !has_two_liquids(s)) {
            // Start again from the last split that converged; if that does not give two
            // liquids here either, the liquid is homogeneous at this temperature.
            s = w.split_saved;
            s.allowed = {false, true, true};
            code = solve_split(c, T, 0.0, false);
            if (static_cast<std::int64_t>(code) < 0) { return code; }
            two = code == FlashCode::ok && has_two_liquids(s);
            if (!two) { s = w.split_saved; }
        } else {
            two = true;
        }
    }
    return FlashCode::temperature_not_converged;
}

/// After a homogeneous dew point in r: whether a second liquid, other than r.x, satisfies the
/// dew condition too (the vapour is then on the vapour line of the three-phase region); r then
/// gets both liquids, with x the point of their tie line nearest the vapour.
FlashCode dew_second_liquid(FlashContext& c, double T, double P, FlashResult& r) {
    FlashWorkspace& w = c.work;
    const std::size_t n = c.n;
    std::size_t present = 0;
    for (std::size_t i = 0; i < n; ++i) {
        present += w.z[i] > 0.0 ? 1 : 0;
        w.potential[i] = w.z[i] > 0.0 ? std::log(w.z[i]) + std::log(P) - w.ln_psat[i]
                                      : -std::numeric_limits<double>::infinity();
    }
    if (present < 2) { return FlashCode::ok; }
    const double coincide = std::max(1e-8, 100.0 * c.options.tolerance);
    for (std::size_t k = 0; k < n; ++k) {
        if (!(w.z[k] > 0.0)) { continue; }
        for (std::size_t i = 0; i < n; ++i) { w.v[i] = w.z[i] > 0.0 ? (i == k ? 1.0 : 1e-3) : 0.0; }
        const StationaryPoint sp = liquid_stationary_point(c, T, w.potential, w.v);
        if (sp.code == FlashCode::model_failure) { return sp.code; }
        if (sp.code != FlashCode::ok || !(std::abs(std::log(sp.sum)) <= coincide) ||
            composition_distance(w.trial, r.x) < kSplitThreshold) {
            continue;
        }
        // Order the two liquids as a split would be ordered.
        PhaseSplit& s = w.split;
        std::copy(r.x.begin(), r.x.end(), s.x[kLiquid1].begin());
        std::copy(w.trial.begin(), w.trial.end(), s.x[kLiquid2].begin());
        double num = 0.0, den = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double d = s.x[kLiquid1][i] - s.x[kLiquid2][i];
            num += (w.z[i] - s.x[kLiquid2][i]) * d;
            den += d * d;
        }
        const double b1 = std::clamp(num / den, 0.0, 1.0);
        s.beta = {1.0, b1, 1.0 - b1};
        s.allowed = {true, true, true};
        // Make both liquid slots present even at the ends of the projection, so that the
        // result still names both liquids.
        s.beta[kLiquid1] = std::max(s.beta[kLiquid1], 1e-300);
        s.beta[kLiquid2] = std::max(s.beta[kLiquid2], 1e-300);
        std::copy(w.z.begin(), w.z.end(), s.x[kVapour].begin());
        store_split(c, T, P, r);
        std::copy(w.z.begin(), w.z.end(), r.y.begin());
        r.vapour_fraction = 1.0;
        r.phases = PhaseState::vapour_liquid_liquid;
        return FlashCode::ok;
    }
    return FlashCode::ok;
}

}  // namespace

FlashCode saturation_temperature_three(
    FlashContext& c, double P, double V, double T_start, FlashResult& r) {
    const FlashCode code = saturation_temperature_homogeneous(c, P, V, T_start, r);
    if (!c.mixture.model().can_split_liquid()) { return code; }
    if (V == 0.0) {
        if (code == FlashCode::ok) {
            return heterogeneous_bubble_temperature(c, P, r.temperature, code, r);
        }
        if (code != FlashCode::no_solution_in_range) { return code; }
        // The single liquid boils outside the correlations' range. A liquid far inside a
        // miscibility gap does that (water with a little benzene: gamma of benzene in water is
        // thousands, so the metastable liquid "boils" far below 0 degC); its two liquids may
        // still boil inside the range. Start from the end where the homogeneous root lies.
        double F = 0.0, slope = 0.0;
        const double ln_p = std::log(P);
        if (!c.evaluate_psat(c.t_min, true) || !homogeneous_residual(c, c.t_min, ln_p, F, slope)) {
            return FlashCode::model_failure;
        }
        double T = c.t_min;
        if (!(F > 0.0)) {
            if (!c.evaluate_psat(c.t_max, true) ||
                !homogeneous_residual(c, c.t_max, ln_p, F, slope)) {
                return FlashCode::model_failure;
            }
            if (!(F < 0.0)) { return code; }
            T = c.t_max;
        }
        return heterogeneous_bubble_temperature(c, P, T, code, r);
    }
    if (code != FlashCode::ok) { return code; }
    if (!c.evaluate_psat(r.temperature, false)) { return FlashCode::model_failure; }
    return dew_second_liquid(c, r.temperature, P, r);
}

FlashCode saturation_pressure_three(FlashContext& c, double T, double V, FlashResult& r) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    if (V == 1.0) {
        // The dew pressure is the lowest pressure at which the vapour meets any liquid. The
        // stationary liquids do not depend on P (it shifts every potential alike), so each gives
        // its own dew pressure; go on from any liquid that makes the vapour unstable.
        FlashCode code = saturation_pressure_homogeneous(c, T, V, r);
        for (std::size_t restart = 0; code == FlashCode::ok && restart < c.n; ++restart) {
            if (!c.mixture.model().can_split_liquid() || !c.evaluate_psat(T, false)) { break; }
            for (std::size_t i = 0; i < c.n; ++i) {
                w.potential[i] = w.z[i] > 0.0
                                     ? std::log(w.z[i]) + std::log(r.pressure) - w.ln_psat[i]
                                     : -std::numeric_limits<double>::infinity();
            }
            const StabilityTest test = liquid_stability(c, T, w.potential, {}, r.x, w.x_new);
            if (test.code != FlashCode::ok) { return test.code; }
            if (!test.unstable) { return dew_second_liquid(c, T, r.pressure, r); }
            std::copy(w.x_new.begin(), w.x_new.end(), w.x_best.begin());
            c.have_liquid_start = true;
            code = saturation_pressure_homogeneous(c, T, V, r);
        }
        return code;
    }
    const FlashCode code = saturation_pressure_homogeneous(c, T, V, r);
    if (code != FlashCode::ok || !c.mixture.model().can_split_liquid()) { return code; }
    // Bubble pressure: the liquid-liquid split at T does not depend on P, so a liquid unstable
    // at T splits at its bubble pressure, P = sum_i x1_i gamma_i(x1) Psat_i.
    if (!c.evaluate_psat(T, false) || !liquid_potentials(c, T)) { return FlashCode::model_failure; }
    const StabilityTest test = liquid_stability(c, T, w.potential, w.z, {}, s.x[kLiquid2]);
    if (test.code != FlashCode::ok) { return test.code; }
    if (!test.unstable) { return FlashCode::ok; }
    bool two = false;
    const FlashCode split = split_feed(c, T, two);
    if (static_cast<std::int64_t>(split) < 0) { return split; }
    if (split != FlashCode::ok) { return split; }
    if (!two) { return FlashCode::ok; }
    ++c.evaluations;
    c.mixture.ln_gamma(T, s.x[kLiquid1], w.phase_ln_gamma[kLiquid1]);
    ++c.evaluations;
    c.mixture.ln_gamma(T, s.x[kLiquid2], w.phase_ln_gamma[kLiquid2]);
    for (std::size_t i = 0; i < c.n; ++i) {
        w.ln_k[i] = w.phase_ln_gamma[kLiquid1][i] + w.ln_psat[i];
    }
    const double ln_p = log_sum_exp(w.ln_k, s.x[kLiquid1]);
    if (!std::isfinite(ln_p)) { return FlashCode::model_failure; }
    store_split(c, T, std::exp(ln_p), r);
    std::copy(w.z.begin(), w.z.end(), r.x.begin());
    r.vapour_fraction = 0.0;
    r.phases = PhaseState::vapour_liquid_liquid;
    return FlashCode::ok;
}

}  // namespace host::detail
