// Flashes at a given vapour fraction: the temperature at a pressure (bubble point, dew point,
// partial vaporisation) and the pressure at a temperature.
//
// Bubble and dew points solve one equation each. With K_i = gamma_i(x) Psat_i / P:
//     bubble (V = 0, liquid z):  F = ln(sum_i z_i K_i(z)) = 0
//     dew    (V = 1, vapour z):  F = -ln(sum_i z_i / K_i(x)) = 0, x the incipient liquid
// F is nearly linear in 1/T and exactly linear in ln P at fixed liquid, so Newton steps in those
// variables converge in a few iterations. At a dew point d F/dT needs no derivative of the liquid
// with T: by Gibbs-Duhem, sum_i x_i d ln gamma_i = 0 for any change of the liquid itself.
//
// Between the ends (0 < V < 1) the state is an isothermal flash at the temperature (or pressure)
// where its vapour fraction is V, found by Brent's method between the bubble and dew points.
// That keeps every vapour-fraction flash consistent with the isothermal flash by construction.
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"

namespace host::detail {

namespace {

// Keeps exp() finite whatever a model returns for a dilute component.
constexpr double kLnKLimit = 500.0;

struct Residual {
    double f = 0.0;
    double slope = 0.0;  // dF/d(outer variable) at fixed liquid composition
};

/// ln K_i from the workspace's ln gamma and ln Psat at ln P.
void update_ln_k(FlashContext& c, double ln_p) {
    FlashWorkspace& w = c.work;
    for (std::size_t i = 0; i < c.n; ++i) {
        w.ln_k[i] = std::clamp(w.ln_gamma[i] + w.ln_psat[i] - ln_p, -kLnKLimit, kLnKLimit);
    }
}

/// F of the header comment from w.ln_k; writes the normalised phases into w.x_new and w.y.
/// kappa_i = d ln K_i / d(outer variable) is given by kappa(i) when a slope is wanted.
template <class Kappa>
Residual vapour_fraction_residual(FlashContext& c, double V, Kappa kappa, bool with_slope) {
    FlashWorkspace& w = c.work;
    double sx = 0.0, sy = 0.0, dsx = 0.0, dsy = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.x_new[i] = 0.0;
            w.y[i] = 0.0;
            continue;
        }
        const double k = std::exp(w.ln_k[i]);
        w.k[i] = k;
        const double d = (1.0 - V) + V * k;
        const double xi = w.z[i] / d;
        const double yi = k * xi;
        w.x_new[i] = xi;
        w.y[i] = yi;
        sx += xi;
        sy += yi;
        if (with_slope) {
            const double dk = yi / d * kappa(i);  // z_i K_i kappa_i / D_i^2
            dsy += (1.0 - V) * dk;
            dsx -= V * dk;
        }
    }
    for (std::size_t i = 0; i < c.n; ++i) {
        w.x_new[i] /= sx;
        w.y[i] /= sy;
    }
    Residual r;
    r.f = std::log(sy) - std::log(sx);
    r.slope = dsy / sy - dsx / sx;
    return r;
}

/// A first dew liquid from ideal K-values K_i = Psat_i / P (ln Psat in the workspace).
void ideal_dew_liquid(FlashContext& c, double ln_p) {
    FlashWorkspace& w = c.work;
    double sum = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        w.x[i] = w.z[i] > 0.0
                     ? w.z[i] * std::exp(std::clamp(ln_p - w.ln_psat[i], -kLnKLimit, kLnKLimit))
                     : 0.0;
        sum += w.x[i];
    }
    for (std::size_t i = 0; i < c.n; ++i) { w.x[i] /= sum; }
}

void store(FlashContext& c, double T, double P, double V, FlashResult& r) {
    FlashWorkspace& w = c.work;
    r.temperature = T;
    r.pressure = P;
    r.vapour_fraction = V;
    r.phases = PhaseState::vapour_liquid;
    // At the ends the given phase is the feed itself, exactly.
    std::copy(V == 0.0 ? w.z.begin() : w.x_new.begin(), V == 0.0 ? w.z.end() : w.x_new.end(),
              r.x.begin());
    std::copy(V == 1.0 ? w.z.begin() : w.y.begin(), V == 1.0 ? w.z.end() : w.y.end(), r.y.begin());
    std::copy(r.x.begin(), r.x.end(), w.x_best.begin());
    c.have_liquid_start = true;
}

/// The liquid in equilibrium with the vapour z (V = 1) at T (ln Psat in the workspace) and
/// ln P: the stationary point of the liquid trial phase, whose sum W is sum_i z_i / K_i. Starts
/// from w.x and leaves the liquid there, with ln K of it in the workspace.
FlashCode converge_dew_liquid(FlashContext& c, double T, double ln_p) {
    FlashWorkspace& w = c.work;
    for (std::size_t i = 0; i < c.n; ++i) {
        w.potential[i] = w.z[i] > 0.0 ? std::log(w.z[i]) + ln_p - w.ln_psat[i]
                                      : -std::numeric_limits<double>::infinity();
        w.v[i] = w.x[i];
    }
    const StationaryPoint sp = liquid_stationary_point(c, T, w.potential, w.v);
    if (sp.code != FlashCode::ok) { return sp.code; }
    std::copy(w.trial.begin(), w.trial.end(), w.x.begin());
    update_ln_k(c, ln_p);  // ln gamma is that of the trial, the liquid
    return FlashCode::ok;
}

/// The dew liquid at (T, ln P) and F there; with a slope, d ln gamma/dT of the liquid as well.
template <class Kappa>
FlashCode dew_residual(
    FlashContext& c, double T, double ln_p, Kappa kappa, bool gamma_slope, Residual& res) {
    const FlashCode code = converge_dew_liquid(c, T, ln_p);
    if (code != FlashCode::ok) { return code; }
    if (gamma_slope && !c.evaluate_gamma_slope(T, c.work.x)) { return FlashCode::model_failure; }
    res = vapour_fraction_residual(c, 1.0, kappa, true);
    return FlashCode::ok;
}

/// True when, at T and ln P of a converged dew point (ln Psat and the potentials d_i of the
/// vapour in the workspace), the vapour is unstable with respect to a liquid other than the
/// dew liquid in w.x_new: a stationary point of the liquid trial, started rich in each component
/// in turn, has sum W > 1. That liquid is then left in w.x. Models that cannot split a liquid
/// have a single stationary point and need no check.
bool vapour_unstable_elsewhere(FlashContext& c, double T) {
    FlashWorkspace& w = c.work;
    std::size_t present = 0;
    for (double zi : w.z) { present += zi > 0.0 ? 1 : 0; }
    if (present < 2 || !c.mixture.model().can_split_liquid()) { return false; }
    for (std::size_t k = 0; k < c.n; ++k) {
        if (!(w.z[k] > 0.0)) { continue; }
        for (std::size_t i = 0; i < c.n; ++i) {
            w.v[i] = w.z[i] > 0.0 ? (i == k ? 1.0 : 1e-3) : 0.0;
        }
        const StationaryPoint sp = liquid_stationary_point(c, T, w.potential, w.v);
        if (sp.code != FlashCode::ok || !(std::log(sp.sum) > 1e-9)) { continue; }
        double distance = 0.0;
        for (std::size_t i = 0; i < c.n; ++i) {
            distance = std::max(distance, std::abs(w.trial[i] - w.x_new[i]));
        }
        if (distance > 1e-6) {
            std::copy(w.trial.begin(), w.trial.end(), w.x.begin());
            return true;
        }
    }
    return false;
}

/// Bubble (V = 0) or dew (V = 1) temperature at P, by Newton in 1/T inside a bracket that
/// grows from the correlations' range as signs of F are seen.
FlashCode saturation_temperature(
    FlashContext& c, double P, double V, double T_start, FlashResult& r) {
    FlashWorkspace& w = c.work;
    const double tol = c.options.tolerance;
    const double ln_p = std::log(P);
    double T = std::clamp(T_start, c.t_min, c.t_max);
    if (V == 1.0) {
        if (c.have_liquid_start) {
            std::copy(w.x_best.begin(), w.x_best.end(), w.x.begin());
        } else {
            if (!c.evaluate_psat(T, false)) { return FlashCode::model_failure; }
            ideal_dew_liquid(c, ln_p);
        }
    }

    // Bracket of the root; the ends count only once F has been seen to change sign there.
    double lo = c.t_min, hi = c.t_max;
    bool lo_known = false, hi_known = false;
    std::size_t restarts = 0;
    const auto kappa = [&w](std::size_t i) { return w.d_ln_psat[i] + w.d_ln_gamma[i]; };

    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        if (!c.evaluate_psat(T, true)) { return FlashCode::model_failure; }
        Residual res;
        if (V == 0.0) {
            if (!c.evaluate_gamma(T, w.z, true)) { return FlashCode::model_failure; }
            update_ln_k(c, ln_p);
            res = vapour_fraction_residual(c, V, kappa, true);
        } else {
            const FlashCode inner = dew_residual(c, T, ln_p, kappa, true, res);
            if (inner != FlashCode::ok) { return inner; }
        }
        if (!std::isfinite(res.f)) { return FlashCode::model_failure; }
        if (std::abs(res.f) <= tol) {
            // The dew equations can have several roots when the liquid can split; the dew point
            // is the highest, where the vapour first meets any liquid. Go on from a liquid that
            // makes the vapour unstable here, above this temperature.
            if (V == 1.0 && restarts < c.n && vapour_unstable_elsewhere(c, T)) {
                ++restarts;
                lo = T;
                lo_known = true;
                hi = c.t_max;
                hi_known = false;
                continue;
            }
            store(c, T, P, V, r);
            return FlashCode::ok;
        }
        if (res.f < 0.0) {
            lo = T;
            lo_known = true;
        } else {
            hi = T;
            hi_known = true;
        }
        if (lo_known && hi_known && hi - lo <= 1e-13 * T) {
            // F jumps across the root (a kink of the model): the temperature is as good as the
            // arithmetic allows.
            store(c, T, P, V, r);
            return FlashCode::ok;
        }
        if (res.f < 0.0 && T >= c.t_max) { return FlashCode::no_solution_in_range; }
        if (res.f > 0.0 && T <= c.t_min) { return FlashCode::no_solution_in_range; }

        // Newton in u = 1/T.
        const double slope_u = -T * T * res.slope;
        double next = std::numeric_limits<double>::quiet_NaN();
        if (slope_u < 0.0) {
            const double u_next = 1.0 / T - res.f / slope_u;
            if (u_next > 0.0) { next = 1.0 / u_next; }
        }
        if (!(next > lo && next < hi)) {
            if (lo_known && hi_known) {
                next = 0.5 * (lo + hi);
            } else if (res.f < 0.0) {
                // Too cold and no upper bracket yet: try the top of the range (or move up).
                next = (std::isfinite(next) && next >= hi) ? hi : std::min(hi, T + 20.0);
            } else {
                next = (std::isfinite(next) && next <= lo) ? lo : std::max(lo, T - 20.0);
            }
        }
        T = next;
    }
    return FlashCode::temperature_not_converged;
}

/// Bubble (V = 0) or dew (V = 1) pressure at T.
FlashCode saturation_pressure(FlashContext& c, double T, double V, FlashResult& r) {
    FlashWorkspace& w = c.work;
    const double tol = c.options.tolerance;
    if (!c.evaluate_psat(T, false)) { return FlashCode::model_failure; }
    if (V == 0.0) {
        // Bubble pressure needs no iteration: P = sum_i z_i gamma_i(z) Psat_i.
        if (!c.evaluate_gamma(T, w.z, false)) { return FlashCode::model_failure; }
        update_ln_k(c, 0.0);
        const double ln_p = log_sum_exp(w.ln_k, w.z);
        if (!std::isfinite(ln_p)) { return FlashCode::model_failure; }
        update_ln_k(c, ln_p);
        (void)vapour_fraction_residual(
            c, V, [](std::size_t) { return 0.0; }, false);
        store(c, T, std::exp(ln_p), V, r);
        return FlashCode::ok;
    }
    // Dew pressure: F = -ln(sum_i z_i / K_i) falls by exactly 1 per unit of ln P at a fixed
    // liquid, so ln P + F is the next pressure; only the liquid makes it iterate. Start from the
    // ideal-solution dew pressure 1 / sum_i (z_i / Psat_i).
    for (std::size_t i = 0; i < c.n; ++i) { w.ln_k[i] = -w.ln_psat[i]; }
    double ln_p = -log_sum_exp(w.ln_k, w.z);
    if (c.have_liquid_start) {
        std::copy(w.x_best.begin(), w.x_best.end(), w.x.begin());
    } else {
        ideal_dew_liquid(c, ln_p);
    }
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        Residual res;
        const FlashCode inner = dew_residual(
            c, T, ln_p, [](std::size_t) { return -1.0; }, false, res);
        if (inner != FlashCode::ok) { return inner; }
        if (!std::isfinite(res.f)) { return FlashCode::model_failure; }
        if (std::abs(res.f) <= tol) {
            store(c, T, std::exp(ln_p), V, r);
            return FlashCode::ok;
        }
        ln_p += std::clamp(res.f, -3.0, 3.0);  // a factor of 20 in pressure per step at most
    }
    return FlashCode::pressure_not_converged;
}

}  // namespace

FlashCode saturation_temperature_homogeneous(
    FlashContext& c, double P, double V, double T_start, FlashResult& r) {
    return saturation_temperature(c, P, V, T_start, r);
}

FlashCode saturation_pressure_homogeneous(FlashContext& c, double T, double V, FlashResult& r) {
    return saturation_pressure(c, T, V, r);
}

FlashCode solve_temperature(FlashContext& c, double P, double V, double T_start, FlashResult& r) {
    const auto saturation = [&](double v, double t, FlashResult& out) {
        return c.options.phase_count == 3 ? saturation_temperature_three(c, P, v, t, out)
                                          : saturation_temperature(c, P, v, t, out);
    };
    if (V == 0.0 || V == 1.0) { return saturation(V, T_start, r); }
    if (c.options.phase_count == 3) { return solve_temperature_three(c, P, V, T_start, r); }
    FlashCode code = saturation(0.0, T_start, r);
    if (code != FlashCode::ok) { return code; }
    const double t_bubble = r.temperature;
    code = saturation(1.0, t_bubble, r);
    if (code != FlashCode::ok) { return code; }
    const double t_dew = r.temperature;
    if (t_dew - t_bubble <= c.options.tolerance * t_bubble) {
        // A pure component or an azeotrope boils at one temperature with x = y = z.
        std::copy(c.work.z.begin(), c.work.z.end(), r.x.begin());
        std::copy(c.work.z.begin(), c.work.z.end(), r.y.begin());
        r.vapour_fraction = V;
        return FlashCode::ok;
    }
    const auto flash = [&](double T, double& g) {
        const FlashCode tp = solve_isothermal(c, T, P, r);
        g = r.vapour_fraction - V;
        return tp;
    };
    const double tol = c.options.tolerance;
    code = find_root(c, t_bubble, -V, t_dew, 1.0 - V, 0.01 * tol * t_bubble, tol, std::sqrt(tol),
                     flash, FlashCode::temperature_not_converged);
    // The vapour fraction reported is that of the isothermal flash, within the tolerance of V,
    // so that it balances x and y exactly.
    return code;
}

FlashCode solve_pressure(FlashContext& c, double T, double V, FlashResult& r) {
    const auto saturation = [&](double v, FlashResult& out) {
        return c.options.phase_count == 3 ? saturation_pressure_three(c, T, v, out)
                                          : saturation_pressure(c, T, v, out);
    };
    if (V == 0.0 || V == 1.0) { return saturation(V, r); }
    if (c.options.phase_count == 3) { return solve_pressure_three(c, T, V, r); }
    FlashCode code = saturation(0.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_bubble = std::log(r.pressure);
    code = saturation(1.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_dew = std::log(r.pressure);
    if (ln_bubble - ln_dew <= c.options.tolerance) {
        std::copy(c.work.z.begin(), c.work.z.end(), r.x.begin());
        std::copy(c.work.z.begin(), c.work.z.end(), r.y.begin());
        r.vapour_fraction = V;
        return FlashCode::ok;
    }
    const auto flash = [&](double ln_p, double& g) {
        const FlashCode tp = solve_isothermal(c, T, std::exp(ln_p), r);
        g = r.vapour_fraction - V;
        return tp;
    };
    const double tol = c.options.tolerance;
    code = find_root(c, ln_dew, 1.0 - V, ln_bubble, -V, 0.01 * tol, tol, std::sqrt(tol), flash,
                     FlashCode::pressure_not_converged);
    // The vapour fraction reported is that of the isothermal flash, within the tolerance of V,
    // so that it balances x and y exactly.
    return code;
}

}  // namespace host::detail
