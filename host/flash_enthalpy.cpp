// Flashes with the enthalpy given: PH (pressure fixed) and TH (temperature fixed).
//
// The bubble and dew points of the feed bound the two-phase region. Inside it the enthalpy of
// the isothermal flash is continuous and monotone in T (in ln P at fixed T), so Brent's method on
// that variable, with an isothermal flash per evaluation, finds the state; the answer is thereby
// the isothermal flash at the temperature found, consistent with it by construction. Where the
// region shrinks to one temperature (a pure component, an azeotrope) the enthalpy jumps there
// and the lever rule between saturated liquid and vapour gives the vapour fraction. Outside the
// region the phase is single and its enthalpy follows from the heat capacity, so Newton on T
// finds it (PH); at fixed T the single-phase enthalpies do not depend on pressure (TH).
#include <algorithm>
#include <cmath>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"
#include "platform/units.hpp"

namespace host::detail {

namespace {

enum class Phase { liquid, vapour };

/// Temperature in [lo, hi] where the single-phase enthalpy of the feed equals H, by Newton with
/// the heat capacity, kept inside a bracket that shrinks with every evaluation.
FlashCode single_phase_temperature(
    FlashContext& c, Phase phase, double H, double h_tol, double lo, double hi, double& T) {
    const Mixture& m = c.mixture;
    const std::span<const double> z = c.work.z;
    const auto enthalpy = [&](double t) {
        return phase == Phase::liquid ? m.liquid_enthalpy(t, z) : m.vapour_enthalpy(t, z);
    };
    const auto heat_capacity = [&](double t) {
        return phase == Phase::liquid ? m.liquid_heat_capacity(t, z) : m.vapour_heat_capacity(t, z);
    };
    const double r_lo = enthalpy(lo) - H, r_hi = enthalpy(hi) - H;
    if (!std::isfinite(r_lo) || !std::isfinite(r_hi)) { return FlashCode::model_failure; }
    if (r_lo > h_tol || r_hi < -h_tol) { return FlashCode::no_solution_in_range; }
    // Start where a straight line between the ends says.
    T = (r_hi - r_lo) > 0.0 ? lo - r_lo * (hi - lo) / (r_hi - r_lo) : 0.5 * (lo + hi);
    T = std::clamp(T, lo, hi);
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        const double r = enthalpy(T) - H;
        if (!std::isfinite(r)) { return FlashCode::model_failure; }
        if (std::abs(r) <= h_tol) { return FlashCode::ok; }
        if (r < 0.0) {
            lo = T;
        } else {
            hi = T;
        }
        if (hi - lo <= 1e-12 * T) { return FlashCode::ok; }
        const double cp = heat_capacity(T);
        double next = cp > 0.0 ? T - r / cp : 0.5 * (lo + hi);
        if (!(next > lo && next < hi)) { next = 0.5 * (lo + hi); }
        T = next;
    }
    return FlashCode::enthalpy_not_converged;
}

/// The state of a feed that boils at one temperature: saturated liquid and vapour of the feed's
/// composition in the lever-rule proportion that gives H.
FlashCode invariant_state(FlashContext& c,
                          double T,
                          double P,
                          double H,
                          double h_liquid,
                          double h_vapour,
                          FlashResult& r) {
    const std::span<const double> z = c.work.z;
    r.temperature = T;
    r.pressure = P;
    r.vapour_fraction = std::clamp((H - h_liquid) / (h_vapour - h_liquid), 0.0, 1.0);
    r.phases = PhaseState::vapour_liquid;
    std::copy(z.begin(), z.end(), r.x.begin());
    std::copy(z.begin(), z.end(), r.y.begin());
    return FlashCode::ok;
}

double enthalpy_tolerance(const FlashContext& c, double h_bubble, double h_dew, double T) {
    return c.options.tolerance * std::max(std::abs(h_dew - h_bubble), units::kGasConstant * T);
}

}  // namespace

FlashCode vapour_temperature(
    FlashContext& c, double H, double h_tol, double lo, double hi, double& T) {
    return single_phase_temperature(c, Phase::vapour, H, h_tol, lo, hi, T);
}

FlashCode solve_pressure_enthalpy(FlashContext& c, double P, double H, FlashResult& r) {
    if (c.options.phase_count == 3) { return solve_pressure_enthalpy_three(c, P, H, r); }
    const std::span<const double> z = c.work.z;
    FlashCode code = solve_temperature(c, P, 0.0, start_temperature(c, P), r);
    if (code != FlashCode::ok) { return code; }
    const double t_bubble = r.temperature;
    const double h_bubble = c.mixture.liquid_enthalpy(t_bubble, z);
    code = solve_temperature(c, P, 1.0, t_bubble, r);
    if (code != FlashCode::ok) { return code; }
    const double t_dew = r.temperature;
    const double h_dew = c.mixture.vapour_enthalpy(t_dew, z);
    if (!std::isfinite(h_bubble) || !std::isfinite(h_dew)) { return FlashCode::model_failure; }
    const double h_tol = enthalpy_tolerance(c, h_bubble, h_dew, t_bubble);

    if (H < h_bubble - h_tol || H > h_dew + h_tol) {
        const bool liquid = H < h_bubble;
        double T = 0.0;
        code = liquid ? single_phase_temperature(c, Phase::liquid, H, h_tol, c.t_min, t_bubble, T)
                      : single_phase_temperature(c, Phase::vapour, H, h_tol, t_dew, c.t_max, T);
        if (code != FlashCode::ok) { return code; }
        return solve_isothermal(c, T, P, r);
    }
    if (t_dew - t_bubble <= c.options.tolerance * t_bubble) {
        return invariant_state(c, 0.5 * (t_bubble + t_dew), P, H, h_bubble, h_dew, r);
    }
    const auto flash = [&](double T, double& g) {
        const FlashCode tp = solve_isothermal(c, T, P, r);
        g = state_enthalpy(c.mixture, T, r.vapour_fraction, r.x, r.y) - H;
        return tp;
    };
    // The two-phase enthalpy can rise steeply with T (narrow boiling range), so the temperature is
    // pinned down well below the tolerance; Brent converges superlinearly, so this costs little.
    const double tol = c.options.tolerance;
    return find_root(c, t_bubble, h_bubble - H, t_dew, h_dew - H, 0.01 * tol * t_bubble, h_tol,
                     std::sqrt(tol) * h_tol / tol, flash, FlashCode::enthalpy_not_converged);
}

FlashCode solve_temperature_enthalpy(FlashContext& c, double T, double H, FlashResult& r) {
    if (c.options.phase_count == 3) { return solve_temperature_enthalpy_three(c, T, H, r); }
    const std::span<const double> z = c.work.z;
    // Liquid and ideal-gas enthalpies do not depend on pressure, so outside the two-phase range
    // [H_L(T, z), H_V(T, z)] no pressure gives H.
    const double h_liquid = c.mixture.liquid_enthalpy(T, z);
    const double h_vapour = c.mixture.vapour_enthalpy(T, z);
    if (!std::isfinite(h_liquid) || !std::isfinite(h_vapour)) { return FlashCode::model_failure; }
    const double h_tol = enthalpy_tolerance(c, h_liquid, h_vapour, T);
    if (H < h_liquid - h_tol || H > h_vapour + h_tol) { return FlashCode::no_solution_in_range; }
    FlashCode code = solve_pressure(c, T, 0.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_bubble = std::log(r.pressure);
    code = solve_pressure(c, T, 1.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_dew = std::log(r.pressure);
    if (ln_bubble - ln_dew <= c.options.tolerance) {
        return invariant_state(c, T, std::exp(0.5 * (ln_bubble + ln_dew)), H, h_liquid, h_vapour,
                               r);
    }
    const auto flash = [&](double ln_p, double& g) {
        const FlashCode tp = solve_isothermal(c, T, std::exp(ln_p), r);
        g = state_enthalpy(c.mixture, T, r.vapour_fraction, r.x, r.y) - H;
        return tp;
    };
    const double tol = c.options.tolerance;
    return find_root(c, ln_dew, h_vapour - H, ln_bubble, h_liquid - H, 0.01 * tol, h_tol,
                     std::sqrt(tol) * h_tol / tol, flash, FlashCode::enthalpy_not_converged);
}

}  // namespace host::detail
