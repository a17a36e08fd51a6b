#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
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

/// The phase slots of a flash that admits two liquids (phase count 3).
enum PhaseSlot : std::size_t { kVapour = 0, kLiquid1 = 1, kLiquid2 = 2 };

/// A split into up to one vapour and two liquids: compositions and amounts per phase slot.
struct PhaseSplit {
    explicit PhaseSplit(std::size_t n);
    /// Normalised compositions. An allowed but absent phase keeps its would-be composition
    /// (the stationary point its amount would grow from), so that it can appear later.
    std::array<std::vector<double>, kMaxPhases> x;
    std::array<double, kMaxPhases> beta{};   ///< amount / feed amount
    std::array<bool, kMaxPhases> allowed{};  ///< phases the split may use
    bool present(std::size_t k) const noexcept { return allowed[k] && beta[k] > 0.0; }
    std::size_t liquids_present() const noexcept {
        return (present(kLiquid1) ? 1 : 0) + (present(kLiquid2) ? 1 : 0);
    }
};

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

    // Flashes with two liquids (phase count 3).
    PhaseSplit split;        // the split being solved
    PhaseSplit split_saved;  // a converged split to come back to
    std::array<std::vector<double>, kMaxPhases> phase_ln_gamma;    // ln gamma of each liquid slot
    std::array<std::vector<double>, kMaxPhases> phase_d_ln_gamma;  // d ln gamma/dT per slot
    std::vector<double> ln_theta;       // n x 3: ln(f_i / x_i) of every phase slot
    std::vector<double> amounts;        // n x 3: phase amounts (and Q-function compositions)
    std::vector<double> amounts_new;    // n x 3: trial amounts of a Newton line search
    std::vector<double> ln_f;           // n x 3: ln fugacities at the amounts
    std::vector<double> jacobian2;      // d ln gamma_i / d n_j of a second liquid, n x n
    std::vector<double> split_hessian;  // (2n) x (2n), row-major
    std::vector<double> split_gradient, split_step;  // 2n
    std::vector<double> sensitivity;  // d n_i / dT of the second liquid of a split [1/K]
    std::array<std::vector<double>, 2> warm_liquids;  // the liquids of the last split found
    bool have_warm_liquids = false;
    std::array<FlashResult, 2> bracket;  // states at the two ends of a root bracket
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

/// The bubble (V = 0) or dew (V = 1) temperature at P [Pa] of a single liquid and a vapour
/// (the dew point being the highest root), whether or not the liquid would split.
FlashCode saturation_temperature_homogeneous(
    FlashContext& c, double P, double V, double T_start, FlashResult& r);
/// The bubble (V = 0) or dew (V = 1) pressure at T [K] of a single liquid and a vapour.
FlashCode saturation_pressure_homogeneous(FlashContext& c, double T, double V, FlashResult& r);

/// Kind tv: the pressure at which the feed, at temperature T [K], has vapour fraction V.
FlashCode solve_pressure(FlashContext& c, double T, double V, FlashResult& r);

/// Kind tp: the isothermal flash at T [K] and P [Pa]; with phase count 3 the flash that admits
/// two liquids (solve_isothermal_three), otherwise one vapour and one liquid.
FlashCode solve_isothermal(FlashContext& c, double T, double P, FlashResult& r);

// ---- Two liquids (phase count 3): host/flash_liquid_split.cpp, host/flash_heterogeneous.cpp

/// Two liquids closer than this (Euclidean norm of x1 - x2) are reported as one liquid: near a
/// plait point or the edge of the two-liquid region such a "split" is indistinguishable from
/// the trivial solution, and reporting it would make neighbouring feeds flip between answers.
inline constexpr double kSplitThreshold = 1e-3;

/// Euclidean distance between two compositions (the measure of kSplitThreshold).
inline double composition_distance(std::span<const double> a, std::span<const double> b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) { s += (a[i] - b[i]) * (a[i] - b[i]); }
    return std::sqrt(s);
}

/// Options of a stationary-point search beyond those of the flash.
struct StationaryOptions {
    /// Stop as soon as tm falls below this: the reference phase is then known to be unstable
    /// and the point reached is a good enough start for the split.
    double stop_below = -std::numeric_limits<double>::infinity();
    /// When not empty, the search is abandoned once the trial has come within 1e-5 of this
    /// composition without showing instability: that is the trivial solution.
    std::span<const double> trivial = {};
};

/// As liquid_stationary_point, with the options above; `early` and `trivial` say why it ended.
StationaryPoint liquid_stationary_point(FlashContext& c,
                                        double T,
                                        std::span<const double> d,
                                        std::span<double> w,
                                        const StationaryOptions& options,
                                        bool* trivial);

/// Outcome of a multi-start stability test.
struct StabilityTest {
    FlashCode code = FlashCode::ok;
    bool unstable = false;
    double distance = 0.0;  ///< the lowest tm found (negative when unstable)
};

/// Tangent-plane test of a phase with potentials d_i (ln f_i minus ln Psat_i) against liquid
/// trial phases at T: starts from the liquids of the last split, from trials rich in each
/// present component and, for a liquid reference (`reference` not empty), from z gamma(z) and
/// z / gamma(z). Stops at the first start that proves instability and leaves its composition
/// in `trial`. Stationary points within 1e-5 of `reference` or of `known` (a liquid already
/// in the answer) tell nothing and are skipped.
StabilityTest liquid_stability(FlashContext& c,
                               double T,
                               std::span<const double> d,
                               std::span<const double> reference,
                               std::span<const double> known,
                               std::span<double> trial);

/// Solves the split in work.split at (T, ln P) for the allowed phases, from the compositions
/// and amounts it holds: successive substitution with the phase amounts of
/// solve_phase_amounts, then Newton on the amounts once the set of present phases is settled
/// (at once when `warm`). Two liquids that merge become one (the second slot is disallowed).
/// ln Psat at T must be in the workspace.
FlashCode solve_split(FlashContext& c, double T, double ln_p, bool warm);

/// Puts the liquids of the last split into work.split as a start for the feed z, with the
/// amounts of z's projection on their tie line, when that projection lies well inside it and
/// the liquids hold the same components as z. False (split untouched) otherwise.
bool split_from_warm_liquids(FlashContext& c);

/// Kind tp with two liquids admitted.
FlashCode solve_isothermal_three(FlashContext& c, double T, double P, FlashResult& r);

/// Bubble (V = 0) and dew (V = 1) temperature at P with two liquids admitted: a liquid that is
/// unstable at its homogeneous bubble temperature gets the three-phase bubble point.
FlashCode saturation_temperature_three(
    FlashContext& c, double P, double V, double T_start, FlashResult& r);

/// Bubble (V = 0) and dew (V = 1) pressure at T with two liquids admitted.
FlashCode saturation_pressure_three(FlashContext& c, double T, double V, FlashResult& r);

/// Writes the split in work.split (converged at T, P) into r: phases ordered so that the first
/// liquid is the one richer in the first component whose mole fractions differ, beta the first
/// liquid's share of the liquid, x the overall liquid, y the vapour or the incipient vapour.
void store_split(FlashContext& c, double T, double P, FlashResult& r);

/// Molar enthalpy [J/kmol] of a converged result, with each liquid on its own when there are
/// two (the excess enthalpy is not linear in composition).
double result_enthalpy(const Mixture& m, const FlashResult& r);

/// True when liquid a is the "first" of two liquids: the one richer in the first component
/// whose mole fractions differ by more than 1e-6 (rounding-level differences decide nothing,
/// so that neighbouring states keep their labels).
bool comes_first(std::span<const double> a, std::span<const double> b);

/// Temperature in [lo, hi] [K] where the ideal-gas enthalpy of the feed is H [J/kmol].
FlashCode vapour_temperature(
    FlashContext& c, double H, double h_tol, double lo, double hi, double& T);

/// Kind pv with 0 < V < 1, two liquids admitted.
FlashCode solve_temperature_three(
    FlashContext& c, double P, double V, double T_start, FlashResult& r);
/// Kind tv with 0 < V < 1, two liquids admitted.
FlashCode solve_pressure_three(FlashContext& c, double T, double V, FlashResult& r);
/// Kind ph, two liquids admitted.
FlashCode solve_pressure_enthalpy_three(FlashContext& c, double P, double H, FlashResult& r);
/// Kind th, two liquids admitted.
FlashCode solve_temperature_enthalpy_three(FlashContext& c, double T, double H, FlashResult& r);

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
