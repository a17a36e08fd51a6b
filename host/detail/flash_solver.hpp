#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "host/detail/flash_numerics.hpp"
#include "host/flash.hpp"

namespace host {
class Mixture;
}

/// The flash algorithms behind host::Flash. Each works on the normalised feed in the workspace and
/// writes a FlashResult whose vectors already have the component count.
namespace host::detail {

/// Reusable storage of one Flash: sized once for the mixture, so that no flash allocates.
struct FlashWorkspace {
    explicit FlashWorkspace(std::size_t n);

    std::vector<double> z;           // normalised feed
    std::vector<double> ln_gamma;    // ln gamma_i at the current liquid
    std::vector<double> d_ln_gamma;  // d ln gamma_i / dT
    std::vector<double> ln_psat;     // ln(Psat_i / Pa) at the current T
    std::vector<double> d_ln_psat;   // d ln Psat_i / dT [1/K]
    std::vector<double> ln_k;        // ln K_i
    std::vector<double> k;           // K_i
    std::vector<double> x, y;        // current phase compositions
    std::vector<double> x_new;       // next iterate of a composition
    std::vector<double> x_best;      // warm start carried from one solve to the next
    std::vector<double> v, v_new;    // vapour amounts of the split Newton; trial amounts W
    std::vector<double> trial;       // normalised trial-phase composition of the stability test
    std::vector<double> residual;    // ln W_i + ln gamma_i - d_i of the stability test
    std::vector<double> potential;   // d_i of the stability test
    std::vector<double> gradient, step;
    std::vector<double> hessian;       // n x n, row-major
    std::vector<double> jacobian;      // d ln gamma_i / d n_j, n x n, row-major
    std::vector<double> saturation_t;  // pure saturation temperatures at saturation_p [K]
    double saturation_p = -1.0;        // pressure saturation_t belongs to [Pa]
};

/// Everything one flash call shares between its stages.
struct FlashContext {
    const Mixture& mixture;
    FlashWorkspace& work;
    const FlashOptions& options;
    std::size_t n;
    double t_min, t_max;             // range of the correlations [K]
    std::int64_t evaluations = 0;    // activity-model evaluations so far
    bool have_liquid_start = false;  // work.x_best holds a liquid to start composition loops from

    /// Vapour pressures (and their slopes when wanted) of every component at T into the
    /// workspace. False when a value is not finite.
    bool evaluate_psat(double T, bool with_slope);
    /// ln gamma (and d ln gamma/dT when wanted) of liquid x at T into the workspace.
    bool evaluate_gamma(double T, std::span<const double> x, bool with_slope);
    /// Only d ln gamma/dT of liquid x at T into the workspace.
    bool evaluate_gamma_slope(double T, std::span<const double> x);
};

/// A stationary point of the tangent-plane distance of a liquid trial phase (Michelsen 1982a):
/// amounts W with ln W_i + ln gamma_i(W / sum W) = d_i for every i with d_i finite (the others
/// are absent, W_i = 0). sum W > 1 means the reference phase is unstable.
struct StationaryPoint {
    FlashCode code = FlashCode::internal_error;
    double sum = 0.0;       ///< sum_i W_i
    double distance = 0.0;  ///< the modified tangent-plane distance tm = 1 + sum W_i (r_i - 1)
};

/// Finds the stationary point at T [K] from the start amounts in w (overwritten with the
/// answer), by successive substitution, then Newton in alpha_i = 2 sqrt(W_i). Uses the
/// workspace's trial, residual, v_new, gradient, step, hessian, jacobian and ln_gamma; on return
/// trial holds w / sum w and ln_gamma its activity coefficients.
StationaryPoint liquid_stationary_point(FlashContext& c,
                                        double T,
                                        std::span<const double> d,
                                        std::span<double> w);

/// Kind pv: the temperature at which the feed, at pressure P [Pa], has vapour fraction V
/// (0 bubble point, 1 dew point). T_start is the first temperature tried [K].
FlashCode solve_temperature(FlashContext& c, double P, double V, double T_start, FlashResult& r);

/// Kind tv: the pressure at which the feed, at temperature T [K], has vapour fraction V.
FlashCode solve_pressure(FlashContext& c, double T, double V, FlashResult& r);

/// Kind tp: the isothermal flash at T [K] and P [Pa].
FlashCode solve_isothermal(FlashContext& c, double T, double P, FlashResult& r);

/// Kind ph: the temperature and phase split at P [Pa] where the molar enthalpy is H [J/kmol].
FlashCode solve_pressure_enthalpy(FlashContext& c, double P, double H, FlashResult& r);

/// Kind th: the pressure and phase split at T [K] where the molar enthalpy is H [J/kmol].
FlashCode solve_temperature_enthalpy(FlashContext& c, double T, double H, FlashResult& r);

/// A start temperature for kind pv: the caller's guess when it is usable, otherwise the
/// mole-fraction average of the pure saturation temperatures at P.
double start_temperature(FlashContext& c, double P);

/// Molar enthalpy [J/kmol] of a two-phase state: V H_V(T, y) + (1 - V) H_L(T, x).
double state_enthalpy(
    const Mixture& m, double T, double V, std::span<const double> x, std::span<const double> y);

/// Solves g(s) = 0 between a and b, where g(a) = ga and g(b) = gb have opposite signs, by
/// Brent's method; flash(s, g) runs a flash at s (into the caller's result) and gives g there.
/// Ends when |g| <= g_tol, or when the bracket is narrower than s_tol with |g| <= g_steep (g
/// rises steeply, as the enthalpy does over the narrow boiling range near an azeotrope), with the
/// result of the flash at the answer. `stalled` is the code when the iteration limit comes first
/// or when g jumps across the closed bracket (two different states on either side).
template <class Flash>
FlashCode find_root(FlashContext& c,
                    double a,
                    double ga,
                    double b,
                    double gb,
                    double s_tol,
                    double g_tol,
                    double g_steep,
                    Flash flash,
                    FlashCode stalled) {
    double g = 0.0;
    if (std::abs(ga) <= g_tol) { return flash(a, g); }
    if (std::abs(gb) <= g_tol) { return flash(b, g); }
    BrentRoot brent(a, ga, b, gb);
    const double lo = std::min(a, b), hi = std::max(a, b);
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        const double s = std::clamp(brent.next(s_tol), lo, hi);
        const FlashCode code = flash(s, g);
        if (code != FlashCode::ok) { return code; }
        if (!std::isfinite(g)) { return FlashCode::model_failure; }
        if (std::abs(g) <= g_tol) { return FlashCode::ok; }
        brent.update(s, g);
        if (brent.width() <= s_tol) {
            // The bracket has closed. A residual above g_steep there is a jump of g, not a root:
            // never report it as one.
            const FlashCode last = brent.best() == s ? FlashCode::ok : flash(brent.best(), g);
            if (last != FlashCode::ok) { return last; }
            return std::abs(g) <= g_steep ? FlashCode::ok : stalled;
        }
    }
    return stalled;
}

}  // namespace host::detail
