// Splits into one vapour and up to two liquids at fixed T and P (phase count 3).
//
// Michelsen's approach ("The isothermal flash problem", Fluid Phase Equilib. 9 (1982) 1 and 21;
// "Calculation of multiphase equilibrium", Comput. Chem. Eng. 18 (1994) 545):
// 1. Tangent-plane tests find out whether a phase is stable and, if not, the composition of the
//    phase that would form. The liquid test has no closed form and several stationary points,
//    so it is started from several trial liquids; the vapour test is closed-form.
// 2. Successive substitution on the compositions: the effective pressures theta_ik
//    (f_ik = x_ik theta_ik; ln P for the vapour, ln gamma_i + ln Psat_i for a liquid) are held
//    while the phase amounts minimise Michelsen's Q-function (solve_phase_amounts), which adds
//    and removes phases as their amounts reach zero. An absent phase keeps iterating its
//    would-be composition, which is the stationary point of its tangent-plane distance.
// 3. Newton on the amounts of the present phases, minimising the Gibbs energy, once the set of
//    present phases is settled: the Hessian is block-structured from the liquids' d ln gamma/dn.
// 4. The answer is tested again: a single liquid against a second liquid, a vapour against
//    liquids rich in each component. Two liquids closer than kSplitThreshold are one liquid.
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
// Substitution steps before Newton may take over; a cold start needs a few to settle which
// phases are present.
constexpr std::int64_t kSubstitutionSteps = 6;
// Liquids closer than this (largest difference of a mole fraction) have merged into one.
constexpr double kMergeDistance = 1e-6;
// A trial liquid is a "different" liquid only when at least this far from the reference.
constexpr double kDistinct = 1e-5;

double max_difference(std::span<const double> a, std::span<const double> b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) { s = std::max(s, std::abs(a[i] - b[i])); }
    return s;
}

void normalise(std::span<double> v) {
    double s = 0.0;
    for (double e : v) { s += e; }
    if (s > 0.0) {
        for (double& e : v) { e /= s; }
    }
}

/// ln gamma of liquid x at T into out; false on a model failure (of a present component).
bool liquid_gamma(FlashContext& c, double T, std::span<const double> x, std::span<double> out) {
    ++c.evaluations;
    c.mixture.ln_gamma(T, x, out);
    for (std::size_t i = 0; i < c.n; ++i) {
        if (x[i] > 0.0 && !std::isfinite(out[i])) { return false; }
    }
    return true;
}

/// ln theta of every allowed phase of the split at its compositions (ln Psat in the workspace).
bool update_ln_theta(FlashContext& c, double T, double ln_p) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    for (std::size_t k = 0; k < P3; ++k) {
        if (!s.allowed[k]) { continue; }
        if (k == kVapour) {
            for (std::size_t i = 0; i < c.n; ++i) { w.ln_theta[i * P3 + k] = ln_p; }
            continue;
        }
        if (!liquid_gamma(c, T, s.x[k], w.phase_ln_gamma[k])) { return false; }
        for (std::size_t i = 0; i < c.n; ++i) {
            w.ln_theta[i * P3 + k] = w.phase_ln_gamma[k][i] + w.ln_psat[i];
        }
    }
    return true;
}

/// Gibbs energy / RT of the present phases at the amounts in `a` (n x 3), up to terms constant
/// in them, with ln f into w.ln_f and the compositions into split.x. NaN on a model failure.
double gibbs_energy(FlashContext& c,
                    double T,
                    double ln_p,
                    std::span<const std::size_t> phases,
                    std::span<const double> a) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    double g = 0.0;
    for (const std::size_t k : phases) {
        double total = 0.0;
        for (std::size_t i = 0; i < c.n; ++i) { total += a[i * P3 + k]; }
        for (std::size_t i = 0; i < c.n; ++i) { s.x[k][i] = a[i * P3 + k] / total; }
        if (k != kVapour && !liquid_gamma(c, T, s.x[k], w.phase_ln_gamma[k])) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        for (std::size_t i = 0; i < c.n; ++i) {
            if (!(w.z[i] > 0.0)) {
                w.ln_f[i * P3 + k] = 0.0;
                continue;
            }
            const double theta = k == kVapour ? ln_p : w.phase_ln_gamma[k][i] + w.ln_psat[i];
            const double ln_f = std::log(s.x[k][i]) + theta;
            w.ln_f[i * P3 + k] = ln_f;
            g += a[i * P3 + k] * ln_f;
        }
    }
    return g;
}

/// Newton on the amounts of the present phases of the split (Michelsen 1982b, extended to three
/// phases): the amounts of all but the largest phase are the unknowns, the largest takes the
/// rest of the feed. ok with the split updated; phase_split_not_converged when Newton cannot
/// make progress (a phase vanishing, an indefinite Hessian) so that substitution goes on.
FlashCode newton_amounts(FlashContext& c, double T, double ln_p) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    std::array<std::size_t, P3> phases{};
    std::size_t m = 0;
    std::size_t ref = P3;
    for (std::size_t k = 0; k < P3; ++k) {
        if (!s.present(k)) { continue; }
        phases[m++] = k;
        if (ref == P3 || s.beta[k] > s.beta[ref]) { ref = k; }
    }
    if (m < 2) { return FlashCode::phase_split_not_converged; }
    const std::span<const std::size_t> present(phases.data(), m);
    std::array<std::size_t, P3> others{};
    std::size_t mo = 0;
    for (const std::size_t k : present) {
        if (k != ref) { others[mo++] = k; }
    }
    const std::size_t dim = mo * n;

    std::fill(w.amounts.begin(), w.amounts.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(w.z[i] > 0.0)) { continue; }
        double rest = w.z[i];
        for (std::size_t a = 0; a < mo; ++a) {
            const std::size_t k = others[a];
            w.amounts[i * P3 + k] = s.beta[k] * s.x[k][i];
            rest -= w.amounts[i * P3 + k];
        }
        if (!(rest > 0.0)) { return FlashCode::phase_split_not_converged; }
        w.amounts[i * P3 + ref] = rest;
    }
    double g = gibbs_energy(c, T, ln_p, present, w.amounts);
    if (!std::isfinite(g)) { return FlashCode::model_failure; }

    // Newton converges in a few steps or not at all; substitution takes over in the latter case.
    const std::int64_t limit = std::min<std::int64_t>(c.options.max_iterations, 50);
    double last_worst = std::numeric_limits<double>::infinity();
    for (std::int64_t it = 0; it < limit; ++it) {
        double worst = 0.0;
        for (std::size_t a = 0; a < mo; ++a) {
            for (std::size_t i = 0; i < n; ++i) {
                const double gi =
                    w.z[i] > 0.0 ? w.ln_f[i * P3 + others[a]] - w.ln_f[i * P3 + ref] : 0.0;
                w.split_gradient[a * n + i] = gi;
                worst = std::max(worst, std::abs(gi));
            }
        }
        std::array<double, P3> total{};
        for (const std::size_t k : present) {
            for (std::size_t i = 0; i < n; ++i) { total[k] += w.amounts[i * P3 + k]; }
            if (!(total[k] > 1e-14)) { return FlashCode::phase_split_not_converged; }
        }
        // The reference phase's amounts are the feed less the others': a component it holds
        // little of carries a rounding error of eps z_i / n_i into ln f, and the gradient can
        // stall a little above a tight tolerance. Stalled there, it is converged.
        if (worst <= tol || (worst <= 100.0 * tol && worst >= 0.5 * last_worst)) {
            for (const std::size_t k : present) { s.beta[k] = total[k]; }
            return FlashCode::ok;
        }
        last_worst = worst;

        // d ln f_i / d n_j of each present phase: (delta_ij / x_i - 1 + J_ij) / N_k, with J the
        // liquid's d ln gamma_i / d n_j at unit amount (symmetrised: finite-difference Jacobians
        // are not exactly symmetric) and J = 0 for the ideal-gas vapour.
        std::array<std::vector<double>*, P3> jac{nullptr, &w.jacobian, &w.jacobian2};
        for (const std::size_t k : present) {
            if (k != kVapour) { c.mixture.model().d_ln_gamma_dn(T, s.x[k], *jac[k]); }
        }
        const auto phi = [&](std::size_t k, std::size_t i, std::size_t j) {
            double v = -1.0;
            if (k != kVapour) {
                const std::vector<double>& J = *jac[k];
                v += 0.5 * (J[i * n + j] + J[j * n + i]);
            }
            if (i == j) { v += 1.0 / s.x[k][i]; }
            return v / total[k];
        };
        // Between the spinodals (far from the answer, or near a plait point) the Hessian is
        // indefinite: a growing shift of its diagonal turns the step towards steepest descent,
        // so that G still decreases (a Levenberg-type modification).
        const std::span<double> hessian(w.split_hessian.data(), dim * dim);
        const std::span<double> step(w.split_step.data(), dim);
        bool factored = false;
        double diagonal = 0.0;
        for (double shift = 0.0; !factored && shift < 1e12;
             shift = shift == 0.0 ? 1e-8 * diagonal : 10.0 * shift) {
            diagonal = 0.0;
            for (std::size_t a = 0; a < mo; ++a) {
                for (std::size_t b = 0; b < mo; ++b) {
                    for (std::size_t i = 0; i < n; ++i) {
                        for (std::size_t j = 0; j < n; ++j) {
                            double& h = w.split_hessian[(a * n + i) * dim + b * n + j];
                            if (!(w.z[i] > 0.0) || !(w.z[j] > 0.0)) {
                                h = (a == b && i == j) ? 1.0 : 0.0;
                                continue;
                            }
                            h = phi(ref, i, j) + (a == b ? phi(others[a], i, j) : 0.0);
                            if (a == b && i == j) {
                                diagonal = std::max(diagonal, std::abs(h));
                                h += shift;
                            }
                        }
                    }
                }
            }
            factored = cholesky_factor(hessian, dim);
            if (!(diagonal > 0.0) || !std::isfinite(diagonal)) { break; }
        }
        if (!factored) { return FlashCode::phase_split_not_converged; }
        for (std::size_t q = 0; q < dim; ++q) { step[q] = -w.split_gradient[q]; }
        cholesky_solve(hessian, dim, step);
        double slope = 0.0;
        for (std::size_t q = 0; q < dim; ++q) { slope += step[q] * w.split_gradient[q]; }
        if (!(slope < 0.0)) { return FlashCode::phase_split_not_converged; }

        // Every amount of every phase stays positive: cut the step at 90 % of the way to zero.
        double t = 1.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (!(w.z[i] > 0.0)) { continue; }
            double d_ref = 0.0;
            for (std::size_t a = 0; a < mo; ++a) {
                const double d = step[a * n + i];
                const double v = w.amounts[i * P3 + others[a]];
                if (v + d <= 0.0) { t = std::min(t, 0.9 * v / -d); }
                d_ref -= d;
            }
            const double v = w.amounts[i * P3 + ref];
            if (v + d_ref <= 0.0) { t = std::min(t, 0.9 * v / -d_ref); }
        }
        bool accepted = false;
        for (int cut = 0; cut < 30; ++cut, t *= 0.5) {
            std::fill(w.amounts_new.begin(), w.amounts_new.end(), 0.0);
            for (std::size_t i = 0; i < n; ++i) {
                if (!(w.z[i] > 0.0)) { continue; }
                double rest = w.z[i];
                for (std::size_t a = 0; a < mo; ++a) {
                    const std::size_t k = others[a];
                    w.amounts_new[i * P3 + k] = w.amounts[i * P3 + k] + t * step[a * n + i];
                    rest -= w.amounts_new[i * P3 + k];
                }
                w.amounts_new[i * P3 + ref] = rest;
            }
            const double g_new = gibbs_energy(c, T, ln_p, present, w.amounts_new);
            if (!std::isfinite(g_new)) { return FlashCode::model_failure; }
            // Near convergence the decrease (the Newton decrement, -slope) falls below the
            // rounding of G itself; the full step is then accepted, Newton being safe there.
            if (g_new <= g + 1e-4 * t * slope ||
                (t == 1.0 && -slope < 1e-12 * (1.0 + std::abs(g)))) {
                g = g_new;
                accepted = true;
                break;
            }
        }
        if (!accepted) {
            (void)gibbs_energy(c, T, ln_p, present, w.amounts);
            return FlashCode::phase_split_not_converged;
        }
        std::swap(w.amounts, w.amounts_new);
    }
    return FlashCode::phase_split_not_converged;
}

/// After Newton has converged the present phases (their ln f in w.ln_f): whether every allowed
/// absent phase would raise the Gibbs energy by forming, i.e. sum_i f_i / theta_ik <= 1 at its
/// would-be composition (Michelsen 1994's condition on the Q-function gradient).
bool absent_phases_stay_absent(FlashContext& c, double T, double ln_p, bool& stays) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    stays = true;
    std::size_t ref = P3;
    for (std::size_t k = 0; k < P3 && ref == P3; ++k) {
        if (s.present(k)) { ref = k; }
    }
    if (ref == P3) { return true; }
    for (std::size_t k = 0; k < P3; ++k) {
        if (!s.allowed[k] || s.present(k)) { continue; }
        if (k != kVapour && !liquid_gamma(c, T, s.x[k], w.phase_ln_gamma[k])) { return false; }
        for (std::size_t i = 0; i < c.n; ++i) {
            w.ln_k[i] = w.z[i] > 0.0
                            ? w.ln_f[i * P3 + ref] -
                                  (k == kVapour ? ln_p : w.phase_ln_gamma[k][i] + w.ln_psat[i])
                            : 0.0;
        }
        double sum = 0.0;
        for (std::size_t i = 0; i < c.n; ++i) {
            if (w.z[i] > 0.0) { sum += std::exp(std::min(w.ln_k[i], kLnKLimit)); }
        }
        if (std::log(sum) > c.options.tolerance) { stays = false; }
    }
    return true;
}

/// The liquids of the split whose amounts are present, in slot order.
std::size_t present_liquids(const PhaseSplit& s, std::array<std::size_t, 2>& out) {
    std::size_t m = 0;
    for (const std::size_t k : {kLiquid1, kLiquid2}) {
        if (s.present(k)) { out[m++] = k; }
    }
    return m;
}

}  // namespace

bool comes_first(std::span<const double> a, std::span<const double> b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > 1e-6) { return a[i] > b[i]; }
    }
    return true;
}

PhaseSplit::PhaseSplit(std::size_t n) {
    for (auto& v : x) { v.assign(n, 0.0); }
}

StabilityTest liquid_stability(FlashContext& c,
                               double T,
                               std::span<const double> d,
                               std::span<const double> reference,
                               std::span<const double> known,
                               std::span<double> trial) {
    FlashWorkspace& w = c.work;
    const std::size_t n = c.n;
    StabilityTest out;
    std::size_t present = 0;
    for (std::size_t i = 0; i < n; ++i) { present += std::isfinite(d[i]) ? 1 : 0; }
    if (present < (reference.empty() ? 1 : 2) || !c.mixture.model().can_split_liquid()) {
        return out;
    }
    // tm below this at a stationary point (or anywhere) proves instability; -1e-8 in the notes'
    // units, and well above the rounding of tm, whatever the tolerance.
    const double unstable_below = -std::max(1e-8, 100.0 * c.options.tolerance);
    StationaryOptions options;
    options.stop_below = -1e-3;
    options.trivial = reference;

    // Starts: the liquids of the last split (the cheapest and surest start along a path of
    // feeds), one rich in each present component, and for a liquid reference the ideal-K trials
    // z gamma(z) and z / gamma(z). The component-rich trials go by decreasing ln gamma in the
    // reference liquid: the component it rejects most is the likeliest second liquid.
    std::array<std::size_t, 128> order{};
    std::size_t present_count = 0;
    for (std::size_t i = 0; i < n && present_count < order.size(); ++i) {
        if (std::isfinite(d[i])) { order[present_count++] = i; }
    }
    if (!reference.empty()) {
        // Insertion sort by decreasing ln gamma: stable, and allocation-free unlike
        // std::stable_sort (a flash allocates nothing once set up).
        const auto key = [&](std::size_t i) { return d[i] - std::log(reference[i]); };
        for (std::size_t a = 1; a < present_count; ++a) {
            const std::size_t item = order[a];
            std::size_t b = a;
            for (; b > 0 && key(order[b - 1]) < key(item); --b) { order[b] = order[b - 1]; }
            order[b] = item;
        }
    }
    const std::size_t warm = w.have_warm_liquids ? 2 : 0;
    const std::size_t starts = warm + present_count + (reference.empty() ? 0 : 2);
    for (std::size_t s = 0; s < starts; ++s) {
        const std::span<double> v(w.v.data(), n);
        if (s < warm) {
            double sum = 0.0;
            // A component absent from the last split is present now: give it a trace, since
            // a trial amount of exactly zero can never grow.
            for (std::size_t i = 0; i < n; ++i) {
                v[i] = std::isfinite(d[i]) ? std::max(w.warm_liquids[s][i], 1e-8) : 0.0;
                sum += v[i];
            }
            if (!(sum > 0.0)) { continue; }
        } else if (s < warm + present_count) {
            const std::size_t pick = order[s - warm];
            for (std::size_t i = 0; i < n; ++i) {
                v[i] = std::isfinite(d[i]) ? (i == pick ? 1.0 : 1e-3) : 0.0;
            }
        } else {
            const bool times = s == warm + present_count;
            for (std::size_t i = 0; i < n; ++i) {
                if (!std::isfinite(d[i])) {
                    v[i] = 0.0;
                    continue;
                }
                const double ln_x = std::log(reference[i]);
                v[i] =
                    std::exp(std::clamp(times ? d[i] : 2.0 * ln_x - d[i], -kLnKLimit, kLnKLimit));
            }
        }
        bool trivial = false;
        const StationaryPoint sp = liquid_stationary_point(c, T, d, v, options, &trivial);
        if (sp.code == FlashCode::model_failure) {
            out.code = sp.code;
            return out;
        }
        if (trivial || !std::isfinite(sp.distance) || !(sp.distance < unstable_below)) { continue; }
        // A negative tm anywhere proves instability (Michelsen 1982a), converged or not; a
        // point that is the reference or the known liquid again is no second liquid.
        if ((!reference.empty() && max_difference(w.trial, reference) < kDistinct) ||
            (!known.empty() && max_difference(w.trial, known) < kDistinct)) {
            continue;
        }
        if (!out.unstable || sp.distance < out.distance) {
            out.unstable = true;
            out.distance = sp.distance;
            std::copy(w.trial.begin(), w.trial.end(), trial.begin());
        }
        // A clear instability ends the search. A faint one (a shallow stationary point next to
        // a liquid near its spinodal) is a poor start for the split: the other starts may find
        // the far liquid.
        if (out.distance < options.stop_below) { return out; }
    }
    return out;
}

FlashCode solve_split(FlashContext& c, double T, double ln_p, bool warm) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    bool newton_failed = false;
    std::array<bool, P3> last_present{};
    std::int64_t unchanged = 0;
    bool try_newton = warm;
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        // Two liquids that have become one are one: the second slot leaves the split.
        if (s.allowed[kLiquid1] && s.allowed[kLiquid2] &&
            max_difference(s.x[kLiquid1], s.x[kLiquid2]) < kMergeDistance) {
            s.beta[kLiquid1] += s.beta[kLiquid2];
            s.beta[kLiquid2] = 0.0;
            s.allowed[kLiquid2] = false;
            newton_failed = false;
        }
        if (try_newton) {
            try_newton = false;
            const FlashCode code = newton_amounts(c, T, ln_p);
            if (static_cast<std::int64_t>(code) < 0) { return code; }
            if (code == FlashCode::ok) {
                bool stays = true;
                if (!absent_phases_stay_absent(c, T, ln_p, stays)) {
                    return FlashCode::model_failure;
                }
                if (stays) { return FlashCode::ok; }
            } else {
                newton_failed = true;
            }
        }
        if (!update_ln_theta(c, T, ln_p)) { return FlashCode::model_failure; }
        const PhaseAmounts pa = solve_phase_amounts(w.z, w.ln_theta, s.allowed, s.beta, w.amounts);
        double change = 0.0;
        bool absent_ok = true;
        for (std::size_t k = 0; k < P3; ++k) {
            if (!s.allowed[k]) { continue; }
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) { sum += w.amounts[i * P3 + k]; }
            if (!(sum > 0.0) || !std::isfinite(sum)) { return FlashCode::model_failure; }
            const bool present = pa.beta[k] > 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                const double xi = w.amounts[i * P3 + k] / sum;
                if (present && xi > 0.0 && s.x[k][i] > 0.0) {
                    change = std::max(change, std::abs(std::log(xi / s.x[k][i])));
                } else if (present && (xi > 0.0) != (s.x[k][i] > 0.0)) {
                    change = std::numeric_limits<double>::infinity();
                }
                s.x[k][i] = xi;
            }
            if (!present && pa.gradient[k] < -tol) { absent_ok = false; }
        }
        s.beta = pa.beta;
        if (pa.converged && absent_ok && change <= tol) { return FlashCode::ok; }

        std::array<bool, P3> now{};
        for (std::size_t k = 0; k < P3; ++k) { now[k] = s.present(k); }
        if (now == last_present) {
            ++unchanged;
        } else {
            unchanged = 0;
            newton_failed = false;
        }
        last_present = now;
        // Newton that failed from a poor start may well succeed after more substitution.
        if (newton_failed && unchanged % kSubstitutionSteps == 0) { newton_failed = false; }
        std::size_t count = 0;
        for (bool b : now) { count += b ? 1 : 0; }
        try_newton = !newton_failed && count >= 2 && it + 1 >= kSubstitutionSteps && unchanged >= 2;
    }
    return FlashCode::phase_split_not_converged;
}

bool split_from_warm_liquids(FlashContext& c) {
    FlashWorkspace& w = c.work;
    if (!w.have_warm_liquids) { return false; }
    const std::vector<double>& a = w.warm_liquids[0];
    const std::vector<double>& b = w.warm_liquids[1];
    double num = 0.0, den = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) {
        if ((w.z[i] > 0.0) != (a[i] > 0.0) || (w.z[i] > 0.0) != (b[i] > 0.0)) { return false; }
        num += (w.z[i] - b[i]) * (a[i] - b[i]);
        den += (a[i] - b[i]) * (a[i] - b[i]);
    }
    const double beta = num / den;
    if (!(beta > 0.02 && beta < 0.98)) { return false; }
    PhaseSplit& s = w.split;
    std::copy(a.begin(), a.end(), s.x[kLiquid1].begin());
    std::copy(b.begin(), b.end(), s.x[kLiquid2].begin());
    s.beta = {0.0, beta, 1.0 - beta};
    s.allowed = {false, true, true};
    return true;
}

void store_split(FlashContext& c, double T, double P, FlashResult& r) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const std::size_t n = c.n;
    r.temperature = T;
    r.pressure = P;
    std::array<std::size_t, 2> liquids{};
    const std::size_t nl = present_liquids(s, liquids);
    double total = 0.0;
    for (std::size_t k = 0; k < P3; ++k) { total += s.present(k) ? s.beta[k] : 0.0; }
    const double V = s.present(kVapour) ? s.beta[kVapour] / total : 0.0;
    r.vapour_fraction = nl == 0 ? 1.0 : V;

    if (nl == 2) {
        std::size_t first = liquids[0], second = liquids[1];
        if (!comes_first(s.x[first], s.x[second])) { std::swap(first, second); }
        const double b1 = s.beta[first], b2 = s.beta[second];
        r.beta = b1 / (b1 + b2);
        for (std::size_t i = 0; i < n; ++i) {
            r.x1[i] = s.x[first][i];
            r.x2[i] = s.x[second][i];
            r.x[i] = (b1 * r.x1[i] + b2 * r.x2[i]) / (b1 + b2);
        }
        std::copy(r.x1.begin(), r.x1.end(), w.warm_liquids[0].begin());
        std::copy(r.x2.begin(), r.x2.end(), w.warm_liquids[1].begin());
        w.have_warm_liquids = true;
    } else {
        // One liquid, or none: the vapour's incipient liquid (the would-be composition of the
        // first liquid slot).
        const std::size_t k = nl == 1 ? liquids[0] : kLiquid1;
        std::copy(s.x[k].begin(), s.x[k].end(), r.x.begin());
        std::copy(r.x.begin(), r.x.end(), r.x1.begin());
        std::copy(r.x.begin(), r.x.end(), r.x2.begin());
        r.beta = 1.0;
    }
    if (s.present(kVapour)) {
        std::copy(s.x[kVapour].begin(), s.x[kVapour].end(), r.y.begin());
    } else {
        // The incipient vapour, in equilibrium with the liquid(s): y_i = x_i gamma_i Psat_i / P.
        const std::size_t k = nl >= 1 ? liquids[0] : kLiquid1;
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double x = s.x[k][i];
            r.y[i] =
                x > 0.0
                    ? x * std::exp(std::clamp(w.phase_ln_gamma[k][i] + w.ln_psat[i] - std::log(P),
                                              -kLnKLimit, kLnKLimit))
                    : 0.0;
            sum += r.y[i];
        }
        for (double& v : r.y) { v /= sum; }
    }
    if (nl == 2) {
        r.phases =
            s.present(kVapour) ? PhaseState::vapour_liquid_liquid : PhaseState::liquid_liquid;
    } else if (nl == 1) {
        r.phases = s.present(kVapour) ? PhaseState::vapour_liquid : PhaseState::liquid;
    } else {
        r.phases = PhaseState::vapour;
    }
    std::copy(r.x.begin(), r.x.end(), w.x_best.begin());
    c.have_liquid_start = true;
}

FlashCode solve_isothermal_three(FlashContext& c, double T, double P, FlashResult& r) {
    FlashWorkspace& w = c.work;
    PhaseSplit& s = w.split;
    const std::size_t n = c.n;
    const double tol = c.options.tolerance;
    const double ln_p = std::log(P);
    if (!c.evaluate_psat(T, false)) { return FlashCode::model_failure; }

    // The feed as a liquid: against a vapour (closed form) and against a second liquid.
    if (!liquid_gamma(c, T, w.z, w.phase_ln_gamma[kLiquid1])) { return FlashCode::model_failure; }
    double bubble = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!(w.z[i] > 0.0)) {
            w.potential[i] = -std::numeric_limits<double>::infinity();
            s.x[kVapour][i] = 0.0;
            continue;
        }
        const double ln_gamma = w.phase_ln_gamma[kLiquid1][i];
        w.potential[i] = std::log(w.z[i]) + ln_gamma;
        s.x[kVapour][i] =
            w.z[i] * std::exp(std::clamp(ln_gamma + w.ln_psat[i] - ln_p, -kLnKLimit, kLnKLimit));
        bubble += s.x[kVapour][i];
    }
    const bool vapour_forms = std::log(bubble) > tol;
    normalise(s.x[kVapour]);
    const StabilityTest feed = liquid_stability(c, T, w.potential, w.z, {}, s.x[kLiquid2]);
    if (feed.code != FlashCode::ok) { return feed.code; }

    // A feed that splits starts from the liquids of the last split when they bracket it (Newton
    // at once), otherwise from itself and the trial liquid (substitution first).
    const bool warm = feed.unstable && split_from_warm_liquids(c);
    if (warm) {
        s.allowed[kVapour] = true;
    } else {
        std::copy(w.z.begin(), w.z.end(), s.x[kLiquid1].begin());
        s.beta = {0.0, 1.0, 0.0};
        s.allowed = {true, true, feed.unstable};
    }
    if (!vapour_forms && !feed.unstable) {
        store_split(c, T, P, r);
        return FlashCode::ok;
    }

    // Solve, then test the answer: a single liquid against a second liquid, a lone vapour
    // against liquids rich in each component. Each round adds the phase a test found.
    for (int round = 0; round < 4; ++round) {
        const FlashCode code = solve_split(c, T, ln_p, warm && round == 0);
        if (code != FlashCode::ok) { return code; }
        std::array<std::size_t, 2> liquids{};
        const std::size_t nl = present_liquids(s, liquids);
        if (nl == 2) { break; }
        StabilityTest test;
        if (nl == 1) {
            const std::size_t k = liquids[0];
            if (!liquid_gamma(c, T, s.x[k], w.phase_ln_gamma[k])) {
                return FlashCode::model_failure;
            }
            for (std::size_t i = 0; i < n; ++i) {
                w.potential[i] = s.x[k][i] > 0.0 ? std::log(s.x[k][i]) + w.phase_ln_gamma[k][i]
                                                 : -std::numeric_limits<double>::infinity();
            }
            const std::size_t other = k == kLiquid1 ? kLiquid2 : kLiquid1;
            test = liquid_stability(c, T, w.potential, s.x[k], {}, w.x_new);
            if (test.code != FlashCode::ok) { return test.code; }
            if (!test.unstable) { break; }
            std::copy(w.x_new.begin(), w.x_new.end(), s.x[other].begin());
            s.allowed[other] = true;
            s.beta[other] = 0.0;
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                w.potential[i] = w.z[i] > 0.0 ? std::log(w.z[i]) + ln_p - w.ln_psat[i]
                                              : -std::numeric_limits<double>::infinity();
            }
            test = liquid_stability(c, T, w.potential, {}, s.x[kLiquid1], w.x_new);
            if (test.code != FlashCode::ok) { return test.code; }
            if (!test.unstable) { break; }
            std::copy(w.x_new.begin(), w.x_new.end(), s.x[kLiquid1].begin());
            s.allowed[kLiquid1] = true;
            s.beta[kLiquid1] = 0.0;
        }
    }

    // Two liquids closer than the split threshold are one liquid: solve again without the
    // second, from their mixture, so that the liquid reported is in equilibrium with the vapour.
    std::array<std::size_t, 2> liquids{};
    if (present_liquids(s, liquids) == 2 &&
        composition_distance(s.x[kLiquid1], s.x[kLiquid2]) < kSplitThreshold) {
        const double b1 = s.beta[kLiquid1], b2 = s.beta[kLiquid2];
        for (std::size_t i = 0; i < n; ++i) {
            s.x[kLiquid1][i] = (b1 * s.x[kLiquid1][i] + b2 * s.x[kLiquid2][i]) / (b1 + b2);
        }
        s.beta[kLiquid1] = b1 + b2;
        s.beta[kLiquid2] = 0.0;
        s.allowed[kLiquid2] = false;
        const FlashCode code = solve_split(c, T, ln_p, false);
        if (code != FlashCode::ok) { return code; }
    }
    // Phase compositions of the answer get their own activity coefficients for the incipient
    // vapour of a liquid answer.
    for (const std::size_t k : {kLiquid1, kLiquid2}) {
        if (s.present(k) && !liquid_gamma(c, T, s.x[k], w.phase_ln_gamma[k])) {
            return FlashCode::model_failure;
        }
    }
    store_split(c, T, P, r);
    return FlashCode::ok;
}

double result_enthalpy(const Mixture& m, const FlashResult& r) {
    const double V = r.vapour_fraction;
    const bool two_liquids =
        r.phases == PhaseState::liquid_liquid || r.phases == PhaseState::vapour_liquid_liquid;
    double h = 0.0;
    if (V < 1.0) {
        const double liquid = two_liquids
                                  ? r.beta * m.liquid_enthalpy(r.temperature, r.x1) +
                                        (1.0 - r.beta) * m.liquid_enthalpy(r.temperature, r.x2)
                                  : m.liquid_enthalpy(r.temperature, r.x);
        h += (1.0 - V) * liquid;
    }
    if (V > 0.0) { h += V * m.vapour_enthalpy(r.temperature, r.y); }
    return h;
}

}  // namespace host::detail
