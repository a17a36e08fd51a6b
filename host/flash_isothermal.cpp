// The isothermal (T, P) flash with one liquid and an ideal-gas vapour.
//
// 1. Stability of the feed as a liquid against a vapour: with an ideal gas the tangent-plane test
//    has the closed form sum_i z_i K_i(z) > 1 (Michelsen 1982a). A stable liquid is the answer.
// 2. Stability of the feed as a vapour against a liquid: the stationary point of the liquid trial
//    W_i = z_i / K_i(w); sum_i W_i <= 1 means a stable vapour.
// 3. Otherwise the feed splits: successive substitution on K with Rachford-Rice for the vapour
//    fraction, then Newton on the vapour amounts, minimising the Gibbs energy (Michelsen 1982b),
//    whose Hessian needs d ln gamma/dn from the model.
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"

namespace host::detail {

namespace {

constexpr double kLnKLimit = 500.0;
// Substitution steps before Newton takes over; substitution is cheap and safe far from the
// solution, Newton converges quadratically near it.
constexpr std::int64_t kSubstitutionSteps = 8;

void ln_k_at(FlashContext& c, double ln_p) {
    FlashWorkspace& w = c.work;
    for (std::size_t i = 0; i < c.n; ++i) {
        w.ln_k[i] = std::clamp(w.ln_gamma[i] + w.ln_psat[i] - ln_p, -kLnKLimit, kLnKLimit);
        w.k[i] = std::exp(w.ln_k[i]);
    }
}

void normalise(std::span<double> v) {
    double s = 0.0;
    for (double e : v) { s += e; }
    for (double& e : v) { e /= s; }
}

/// Phases from Rachford-Rice at the K-values in the workspace.
RachfordRiceRoot split_at_k(FlashContext& c) {
    FlashWorkspace& w = c.work;
    const RachfordRiceRoot root = solve_rachford_rice(w.z, w.k);
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.x[i] = w.y[i] = 0.0;
            continue;
        }
        w.x[i] = w.z[i] / (1.0 + root.beta * (w.k[i] - 1.0));
        w.y[i] = w.k[i] * w.x[i];
    }
    normalise(w.x);
    normalise(w.y);
    return root;
}

void store(FlashContext& c, double T, double P, double V, PhaseState phases, FlashResult& r) {
    FlashWorkspace& w = c.work;
    r.temperature = T;
    r.pressure = P;
    r.vapour_fraction = V;
    r.phases = phases;
    std::copy(w.x.begin(), w.x.end(), r.x.begin());
    std::copy(w.y.begin(), w.y.end(), r.y.begin());
    std::copy(w.x.begin(), w.x.end(), w.x_best.begin());
    c.have_liquid_start = true;
}

/// Gibbs energy / RT of the split with vapour amounts v (up to terms constant in v), and the
/// gradient g_i = ln(y_i P) - ln(x_i gamma_i Psat_i) into w.gradient. Evaluates gamma at the
/// liquid of v, which it leaves in w.x (w.y holds the vapour). NaN when the model fails.
double gibbs_energy(FlashContext& c, double T, double ln_p, std::span<const double> v) {
    FlashWorkspace& w = c.work;
    double vt = 0.0, lt = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) { continue; }
        vt += v[i];
        lt += w.z[i] - v[i];
    }
    for (std::size_t i = 0; i < c.n; ++i) {
        w.y[i] = w.z[i] > 0.0 ? v[i] / vt : 0.0;
        w.x[i] = w.z[i] > 0.0 ? (w.z[i] - v[i]) / lt : 0.0;
    }
    if (!c.evaluate_gamma(T, w.x, false)) { return std::numeric_limits<double>::quiet_NaN(); }
    double g = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.gradient[i] = 0.0;
            continue;
        }
        const double ln_fv = std::log(w.y[i]) + ln_p;
        const double ln_fl = std::log(w.x[i]) + w.ln_gamma[i] + w.ln_psat[i];
        w.gradient[i] = ln_fv - ln_fl;
        g += v[i] * ln_fv + (w.z[i] - v[i]) * ln_fl;
    }
    return g;
}

/// Newton on the vapour amounts from the split in w.x, w.y with vapour fraction beta. Returns
/// ok with the converged split in w.x, w.y and beta, phase_split_not_converged when Newton
/// cannot make progress (the caller goes back to substitution), or a fatal code.
FlashCode newton_split(FlashContext& c, double T, double ln_p, double& beta) {
    FlashWorkspace& w = c.work;
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    for (std::size_t i = 0; i < n; ++i) { w.v[i] = w.z[i] > 0.0 ? beta * w.y[i] : 0.0; }
    double g = gibbs_energy(c, T, ln_p, w.v);
    if (!std::isfinite(g)) { return FlashCode::model_failure; }
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        double worst = 0.0;
        for (std::size_t i = 0; i < n; ++i) { worst = std::max(worst, std::abs(w.gradient[i])); }
        double vt = 0.0;
        for (std::size_t i = 0; i < n; ++i) { vt += w.v[i]; }
        const double lt = 1.0 - vt;
        if (worst <= tol) {
            beta = vt;
            return FlashCode::ok;
        }
        if (!(vt > 1e-14 && lt > 1e-14)) { return FlashCode::phase_split_not_converged; }

        // Hessian of G/RT in the vapour amounts: the vapour's and the liquid's
        // d ln f_i / d n_j, i.e. (delta_ij / y_i - 1) / V + (delta_ij / x_i - 1) / L + J_ij / L.
        c.mixture.model().d_ln_gamma_dn(T, w.x, w.jacobian);
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) {
                double& h = w.hessian[i * n + j];
                if (!(w.z[i] > 0.0) || !(w.z[j] > 0.0)) {
                    h = i == j ? 1.0 : 0.0;
                    continue;
                }
                // Symmetrised: an exact model gives a symmetric matrix; finite differences
                // may not quite.
                const double jac = 0.5 * (w.jacobian[i * n + j] + w.jacobian[j * n + i]);
                h = (jac - 1.0) / lt - 1.0 / vt;
                if (i == j) { h += 1.0 / (w.y[i] * vt) + 1.0 / (w.x[i] * lt); }
            }
        }
        if (!cholesky_factor(w.hessian, n)) { return FlashCode::phase_split_not_converged; }
        double slope = 0.0;
        for (std::size_t i = 0; i < n; ++i) { w.step[i] = -w.gradient[i]; }
        cholesky_solve(w.hessian, n, w.step);
        for (std::size_t i = 0; i < n; ++i) { slope += w.step[i] * w.gradient[i]; }
        if (!(slope < 0.0)) { return FlashCode::phase_split_not_converged; }
        // Keep every amount strictly inside (0, z_i).
        double t = 1.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!(w.z[i] > 0.0)) { continue; }
            if (w.v[i] + w.step[i] <= 0.0) { t = std::min(t, 0.9 * w.v[i] / -w.step[i]); }
            if (w.v[i] + w.step[i] >= w.z[i]) {
                t = std::min(t, 0.9 * (w.z[i] - w.v[i]) / w.step[i]);
            }
        }
        bool accepted = false;
        for (int cut = 0; cut < 30; ++cut, t *= 0.5) {
            for (std::size_t i = 0; i < n; ++i) { w.v_new[i] = w.v[i] + t * w.step[i]; }
            const double g_new = gibbs_energy(c, T, ln_p, w.v_new);
            if (!std::isfinite(g_new)) { return FlashCode::model_failure; }
            // Near convergence rounding hides the decrease; the full step is then accepted.
            if (g_new <= g + 1e-4 * t * slope || (t == 1.0 && -slope < 1e-20)) {
                g = g_new;
                accepted = true;
                break;
            }
        }
        if (!accepted) { return FlashCode::phase_split_not_converged; }
        std::copy(w.v_new.begin(), w.v_new.end(), w.v.begin());
    }
    return FlashCode::phase_split_not_converged;
}

/// The flash with one vapour and one liquid.
FlashCode solve_isothermal_two(FlashContext& c, double T, double P, FlashResult& r) {
    FlashWorkspace& w = c.work;
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    const double ln_p = std::log(P);
    if (!c.evaluate_psat(T, false)) { return FlashCode::model_failure; }

    // 1. The feed as a liquid.
    if (!c.evaluate_gamma(T, w.z, false)) { return FlashCode::model_failure; }
    ln_k_at(c, ln_p);
    {
        double s = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            w.x[i] = w.z[i];
            w.y[i] = w.z[i] * w.k[i];
            s += w.y[i];
        }
        if (std::log(s) <= tol) {
            normalise(w.y);
            store(c, T, P, 0.0, PhaseState::liquid, r);
            return FlashCode::ok;
        }
    }
    // Keep ln K of the feed liquid for the start of the split.
    std::copy(w.ln_k.begin(), w.ln_k.end(), w.step.begin());

    // 2. The feed as a vapour: the stationary point of a liquid trial phase, started from the
    //    liquid z_i / K_i(z).
    {
        for (std::size_t i = 0; i < n; ++i) {
            w.potential[i] = w.z[i] > 0.0 ? std::log(w.z[i]) + ln_p - w.ln_psat[i]
                                          : -std::numeric_limits<double>::infinity();
            w.v[i] = w.z[i] > 0.0 ? w.z[i] / w.k[i] : 0.0;
        }
        const StationaryPoint sp = liquid_stationary_point(c, T, w.potential, w.v);
        if (sp.code != FlashCode::ok) { return sp.code; }
        std::copy(w.trial.begin(), w.trial.end(), w.x.begin());
        ln_k_at(c, ln_p);
        if (std::log(sp.sum) <= tol) {
            std::copy(w.z.begin(), w.z.end(), w.y.begin());
            store(c, T, P, 1.0, PhaseState::vapour, r);
            return FlashCode::ok;
        }
    }

    // 3. A split. Start from K halfway (in ln K) between the feed liquid and the dew liquid.
    for (std::size_t i = 0; i < n; ++i) {
        w.ln_k[i] = 0.5 * (w.ln_k[i] + w.step[i]);
        w.k[i] = std::exp(w.ln_k[i]);
    }
    double beta = 0.0;
    bool newton_failed = false;
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        const RachfordRiceRoot root = split_at_k(c);
        if (!root.converged) { return FlashCode::phase_split_not_converged; }
        beta = root.beta;
        if (!c.evaluate_gamma(T, w.x, false)) { return FlashCode::model_failure; }
        double change = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!(w.z[i] > 0.0)) { continue; }
            const double ln_k =
                std::clamp(w.ln_gamma[i] + w.ln_psat[i] - ln_p, -kLnKLimit, kLnKLimit);
            change = std::max(change, std::abs(ln_k - w.ln_k[i]));
            w.ln_k[i] = ln_k;
            w.k[i] = std::exp(ln_k);
        }
        if (change <= tol) {
            const RachfordRiceRoot last = split_at_k(c);
            beta = last.beta;
            break;
        }
        if (!newton_failed && it + 1 >= kSubstitutionSteps && root.interior) {
            const FlashCode code = newton_split(c, T, ln_p, beta);
            if (code == FlashCode::ok) { break; }
            if (static_cast<std::int64_t>(code) < 0) { return code; }
            // Newton made no progress: substitution goes on from K of the last liquid.
            newton_failed = true;
            if (!c.evaluate_gamma(T, w.x, false)) { return FlashCode::model_failure; }
            ln_k_at(c, ln_p);
        }
        if (it + 1 == c.options.max_iterations) { return FlashCode::phase_split_not_converged; }
    }
    if (beta <= 0.0) {
        std::copy(w.z.begin(), w.z.end(), w.x.begin());
        store(c, T, P, 0.0, PhaseState::liquid, r);
    } else if (beta >= 1.0) {
        std::copy(w.z.begin(), w.z.end(), w.y.begin());
        store(c, T, P, 1.0, PhaseState::vapour, r);
    } else {
        store(c, T, P, beta, PhaseState::vapour_liquid, r);
    }
    return FlashCode::ok;
}

}  // namespace

FlashCode solve_isothermal(FlashContext& c, double T, double P, FlashResult& r) {
    return c.options.phase_count == 3 ? solve_isothermal_three(c, T, P, r)
                                      : solve_isothermal_two(c, T, P, r);
}

}  // namespace host::detail
