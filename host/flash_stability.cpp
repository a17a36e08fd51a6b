// Stationary points of the tangent-plane distance for a liquid trial phase (Michelsen 1982a,
// "The isothermal flash problem. Part I. Stability"). With unnormalised trial amounts W,
//     tm(W) = 1 + sum_i W_i (ln W_i + ln gamma_i(w) - d_i - 1),   w = W / sum W,
// is stationary where ln W_i + ln gamma_i(w) = d_i, and there tm = 1 - sum W. The reference phase
// enters only through d_i: for a vapour z at (T, P), d_i = ln z_i + ln P - ln Psat_i, and the
// stationary point is the incipient liquid of the dew point, sum W = sum_i z_i / K_i.
//
// Successive substitution W_i = exp(d_i - ln gamma_i) decreases tm at every step but converges
// slowly where the liquid is close to splitting (water with alcohols or esters). Newton in
// alpha_i = 2 sqrt(W_i) then takes over: its Hessian
//     H_ij = delta_ij + sqrt(W_i W_j) d ln gamma_i / d W_j + delta_ij r_i / 2,
// r_i = ln W_i + ln gamma_i - d_i, is close to the identity and well scaled (Michelsen and
// Mollerup, "Thermodynamic Models", chapter 10).
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"

namespace host::detail {

namespace {

// Substitution steps before Newton; substitution alone suffices for nearly ideal liquids.
constexpr std::int64_t kSubstitutionSteps = 3;

/// Evaluates gamma at w / sum w; fills trial, residual; returns tm (NaN on a model failure).
double evaluate(FlashContext& c,
                double T,
                std::span<const double> d,
                std::span<const double> w,
                double& sum,
                double& worst) {
    FlashWorkspace& ws = c.work;
    sum = 0.0;
    for (double wi : w) { sum += wi; }
    for (std::size_t i = 0; i < c.n; ++i) { ws.trial[i] = w[i] / sum; }
    if (!c.evaluate_gamma(T, ws.trial, false)) { return std::numeric_limits<double>::quiet_NaN(); }
    double tm = 1.0;
    worst = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if (!std::isfinite(d[i])) {
            ws.residual[i] = 0.0;
            continue;
        }
        const double r = std::log(w[i]) + ws.ln_gamma[i] - d[i];
        ws.residual[i] = r;
        worst = std::max(worst, std::abs(r));
        tm += w[i] * (r - 1.0);
    }
    return tm;
}

}  // namespace

StationaryPoint liquid_stationary_point(FlashContext& c,
                                        double T,
                                        std::span<const double> d,
                                        std::span<double> w) {
    return liquid_stationary_point(c, T, d, w, StationaryOptions{}, nullptr);
}

StationaryPoint liquid_stationary_point(FlashContext& c,
                                        double T,
                                        std::span<const double> d,
                                        std::span<double> w,
                                        const StationaryOptions& options,
                                        bool* trivial) {
    FlashWorkspace& ws = c.work;
    if (trivial != nullptr) { *trivial = false; }
    // Whether the trial has reached the trivial solution without showing instability.
    const auto at_reference = [&](double tm) {
        if (options.trivial.empty() || !(tm > -1e-8)) { return false; }
        for (std::size_t i = 0; i < c.n; ++i) {
            if (std::abs(ws.trial[i] - options.trivial[i]) > 1e-5) { return false; }
        }
        return true;
    };
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    StationaryPoint sp;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(d[i])) { w[i] = 0.0; }
    }
    double sum = 0.0, worst = 0.0;
    double tm = evaluate(c, T, d, w, sum, worst);
    bool newton_ok = true;
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        if (!std::isfinite(tm)) {
            sp.code = FlashCode::model_failure;
            return sp;
        }
        if (worst <= tol || tm < options.stop_below) {
            sp.code = FlashCode::ok;
            sp.sum = sum;
            sp.distance = tm;
            return sp;
        }
        if (it > 0 && at_reference(tm)) {
            if (trivial != nullptr) { *trivial = true; }
            sp.code = FlashCode::ok;
            sp.sum = sum;
            sp.distance = tm;
            return sp;
        }
        bool stepped = false;
        if (newton_ok && it >= kSubstitutionSteps) {
            c.mixture.model().d_ln_gamma_dn(T, ws.trial, ws.jacobian);
            for (std::size_t i = 0; i < n; ++i) {
                ws.gradient[i] = std::sqrt(w[i]) * ws.residual[i];
            }
            const auto build_hessian = [&](double shift) {
                for (std::size_t i = 0; i < n; ++i) {
                    for (std::size_t j = 0; j < n; ++j) {
                        double& h = ws.hessian[i * n + j];
                        if (!std::isfinite(d[i]) || !std::isfinite(d[j])) {
                            h = i == j ? 1.0 : 0.0;
                            continue;
                        }
                        // Symmetrised: finite-difference Jacobians are not quite symmetric.
                        const double jac = 0.5 * (ws.jacobian[i * n + j] + ws.jacobian[j * n + i]);
                        h = std::sqrt(w[i] * w[j]) * jac / sum;
                        if (i == j) { h += 1.0 + 0.5 * ws.residual[i] + shift; }
                    }
                }
            };
            // Not positive definite near a saddle of tm (the limit of stability): a growing
            // shift of the diagonal turns the step towards steepest descent.
            bool factored = false;
            for (double shift = 0.0; shift < 1e3 && !factored;
                 shift = shift == 0.0 ? 1e-3 : 10.0 * shift) {
                build_hessian(shift);
                factored = cholesky_factor(ws.hessian, n);
            }
            if (factored) {
                for (std::size_t i = 0; i < n; ++i) { ws.step[i] = -ws.gradient[i]; }
                cholesky_solve(ws.hessian, n, ws.step);
                // alpha = 2 sqrt(W) must stay positive: cut the step at a tenth of the way to 0.
                double t = 1.0;
                for (std::size_t i = 0; i < n; ++i) {
                    const double alpha = 2.0 * std::sqrt(w[i]);
                    if (alpha > 0.0 && alpha + ws.step[i] < 0.1 * alpha) {
                        t = std::min(t, 0.9 * alpha / -ws.step[i]);
                    }
                }
                for (int cut = 0; cut < 10 && !stepped; ++cut, t *= 0.5) {
                    for (std::size_t i = 0; i < n; ++i) {
                        const double alpha = 2.0 * std::sqrt(w[i]) + t * ws.step[i];
                        ws.v_new[i] = std::isfinite(d[i]) ? 0.25 * alpha * alpha : 0.0;
                    }
                    double s_new = 0.0, worst_new = 0.0;
                    const double tm_new = evaluate(c, T, d, ws.v_new, s_new, worst_new);
                    if (!std::isfinite(tm_new)) { continue; }
                    // tm must not rise (allowing for rounding near convergence).
                    if (tm_new <= tm + 1e-13 * (1.0 + std::abs(tm)) || worst_new < worst) {
                        std::copy(ws.v_new.begin(), ws.v_new.end(), w.begin());
                        tm = tm_new;
                        sum = s_new;
                        worst = worst_new;
                        stepped = true;
                    }
                }
            }
            // Newton failed to descend: substitution finishes the job from here.
            if (!stepped) {
                newton_ok = false;
                tm = evaluate(c, T, d, w, sum, worst);
                if (!std::isfinite(tm)) { continue; }
            }
        }
        if (!stepped) {
            for (std::size_t i = 0; i < n; ++i) {
                w[i] = std::isfinite(d[i]) ? std::exp(std::min(d[i] - ws.ln_gamma[i], 700.0)) : 0.0;
            }
            tm = evaluate(c, T, d, w, sum, worst);
        }
    }
    sp.code = FlashCode::composition_not_converged;
    sp.sum = sum;
    sp.distance = tm;
    return sp;
}

}  // namespace host::detail
