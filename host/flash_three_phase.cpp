// Flashes over isothermal flashes with two liquids admitted (phase count 3): partial
// vaporisation at a pressure (kind pv, 0 < V < 1) or a temperature (kind tv), PH and TH.
//
// As with one liquid, Brent's method runs over the isothermal flash between the (now possibly
// heterogeneous) bubble and dew points, so that every answer is an isothermal flash. One thing
// is new: a binary in its two-liquid range at fixed pressure boils at one temperature, the
// three-phase temperature (phase rule: two components, three phases, one degree of freedom),
// and the vapour fraction and the enthalpy jump there. The isothermal flash cannot resolve that
// state (its amounts are not fixed by T and P), so when the bracket closes on a jump the answer
// is built from the phases on both sides of it: vapour y and liquids x1, x2 at the three-phase
// temperature, with amounts from the material balance and the specification (notes on the
// isenthalpic flash, "invariant cases").
#include <algorithm>
#include <cmath>
#include <limits>

#include "host/detail/flash_numerics.hpp"
#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"
#include "platform/units.hpp"

namespace host::detail {

namespace {

bool two_liquids(const FlashResult& r) {
    return r.phases == PhaseState::liquid_liquid || r.phases == PhaseState::vapour_liquid_liquid;
}

/// The specification the invariant state must meet: a vapour fraction or an enthalpy.
struct Specification {
    bool enthalpy = false;
    double value = 0.0;
    double tolerance = 0.0;  ///< of the enthalpy [J/kmol]
};

/// The state at the jump between the states lo and hi (converged isothermal flashes on either
/// side of a temperature where the feed boils at once): the vapour and the distinct liquids
/// found there (two at a three-phase temperature, one at an azeotrope), with the amounts that
/// satisfy the material balance and the specification (least squares, exact when the phases
/// and the feed lie on one line, as for a binary). False when no non-negative amounts fit.
bool invariant_state(FlashContext& c,
                     const FlashResult& lo,
                     const FlashResult& hi,
                     const Specification& spec,
                     FlashResult& r) {
    const std::size_t n = c.n;
    const std::span<const double> z = c.work.z;
    std::array<const std::vector<double>*, 4> liquids{};
    std::size_t count = 0;
    const auto add = [&](const std::vector<double>& x) {
        for (std::size_t k = 0; k < count; ++k) {
            if (composition_distance(*liquids[k], x) < kSplitThreshold) { return; }
        }
        if (count < liquids.size()) { liquids[count++] = &x; }
    };
    for (const FlashResult* s : {&lo, &hi}) {
        if (two_liquids(*s)) {
            add(s->x1);
            add(s->x2);
        } else if (s->phases != PhaseState::vapour) {
            add(s->x);
        }
    }
    if (count < 1 || count > 2) { return false; }
    // The vapour: of the side that has one, else the incipient vapour (both are at the
    // temperature of the jump to within the bracket's width).
    const std::vector<double>& y = hi.vapour_fraction > 0.0 ? hi.y : lo.y;
    const double T = 0.5 * (lo.temperature + hi.temperature);
    const double P = std::sqrt(lo.pressure * hi.pressure);
    const std::size_t m = 1 + count;  // vapour first, then the liquids

    // Rows: the n component balances, the sum of the amounts, the specification.
    std::array<double, 3> h{};
    double scale = 1.0;
    if (spec.enthalpy) {
        h[0] = c.mixture.vapour_enthalpy(T, y);
        scale = units::kGasConstant * T;
        for (std::size_t k = 0; k < count; ++k) {
            h[1 + k] = c.mixture.liquid_enthalpy(T, *liquids[k]);
            scale = std::max(scale, std::abs(h[0] - h[1 + k]));
        }
    }
    const auto composition = [&](std::size_t k) -> const std::vector<double>& {
        return k == 0 ? y : *liquids[k - 1];
    };
    std::array<double, 9> a{};
    std::array<double, 3> b{};
    const auto add_row = [&](const std::array<double, 3>& row, double rhs) {
        for (std::size_t p = 0; p < m; ++p) {
            for (std::size_t q = 0; q < m; ++q) { a[p * m + q] += row[p] * row[q]; }
            b[p] += row[p] * rhs;
        }
    };
    for (std::size_t i = 0; i < n; ++i) {
        std::array<double, 3> row{};
        for (std::size_t k = 0; k < m; ++k) { row[k] = composition(k)[i]; }
        add_row(row, z[i]);
    }
    add_row({1.0, 1.0, 1.0}, 1.0);
    if (spec.enthalpy) {
        add_row({h[0] / scale, h[1] / scale, h[2] / scale}, spec.value / scale);
    } else {
        add_row({1.0, 0.0, 0.0}, spec.value);
    }
    if (!cholesky_factor(std::span<double>(a.data(), m * m), m)) { return false; }
    cholesky_solve(std::span<const double>(a.data(), m * m), m, std::span<double>(b.data(), m));
    for (std::size_t k = 0; k < m; ++k) {
        if (!(b[k] > -1e-9)) { return false; }
        b[k] = std::max(b[k], 0.0);
    }
    // The fit must be exact up to rounding: the state must balance the feed.
    double worst = 0.0, total = 0.0, h_total = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        total += b[k];
        h_total += b[k] * h[k];
    }
    worst = std::abs(total - 1.0);
    for (std::size_t i = 0; i < n; ++i) {
        double zi = 0.0;
        for (std::size_t k = 0; k < m; ++k) { zi += b[k] * composition(k)[i]; }
        worst = std::max(worst, std::abs(zi - z[i]));
    }
    const double miss = spec.enthalpy ? std::abs(h_total - spec.value) - spec.tolerance
                                      : std::abs(b[0] - spec.value) - 1e-9;
    if (!(worst <= 1e-8) || !(miss <= 0.0)) { return false; }

    r.temperature = T;
    r.pressure = P;
    r.vapour_fraction = b[0];
    std::copy(y.begin(), y.end(), r.y.begin());
    if (count == 1) {
        std::copy(liquids[0]->begin(), liquids[0]->end(), r.x.begin());
        std::copy(r.x.begin(), r.x.end(), r.x1.begin());
        std::copy(r.x.begin(), r.x.end(), r.x2.begin());
        r.beta = 1.0;
        r.phases = PhaseState::vapour_liquid;
        return true;
    }
    const bool in_order = comes_first(*liquids[0], *liquids[1]);
    const std::vector<double>& first = *liquids[in_order ? 0 : 1];
    const std::vector<double>& second = *liquids[in_order ? 1 : 0];
    const double b1 = b[in_order ? 1 : 2], b2 = b[in_order ? 2 : 1];
    const double liquid = b1 + b2;
    for (std::size_t i = 0; i < n; ++i) {
        r.x1[i] = first[i];
        r.x2[i] = second[i];
        r.x[i] = liquid > 0.0 ? (b1 * first[i] + b2 * second[i]) / liquid : first[i];
    }
    r.beta = liquid > 0.0 ? b1 / liquid : 1.0;
    r.phases = PhaseState::vapour_liquid_liquid;
    return true;
}

/// Brent's method on g(s) = 0 over isothermal flashes, like find_root, keeping the states on
/// both sides of the root in work.bracket (which holds those at a and b on entry, in that
/// order). When g jumps across the closed bracket, the answer is the invariant three-phase
/// state there, if there is one; otherwise `stalled`.
template <class Flash>
FlashCode find_root_three(FlashContext& c,
                          double a,
                          double ga,
                          double b,
                          double gb,
                          double s_tol,
                          double g_tol,
                          double g_steep,
                          Flash flash,
                          FlashCode stalled,
                          const Specification& spec,
                          FlashResult& r) {
    std::array<FlashResult, 2>& ends = c.work.bracket;
    if (std::abs(ga) <= g_tol) {
        r = ends[0];
        return FlashCode::ok;
    }
    if (std::abs(gb) <= g_tol) {
        r = ends[1];
        return FlashCode::ok;
    }
    // ends[negative] has g < 0, the other g > 0.
    const std::size_t negative = ga < 0.0 ? 0 : 1;
    BrentRoot brent(a, ga, b, gb);
    const double lo = std::min(a, b), hi = std::max(a, b);
    double g = 0.0;
    for (std::int64_t it = 0; it < c.options.max_iterations; ++it) {
        const double s = std::clamp(brent.next(s_tol), lo, hi);
        const FlashCode code = flash(s, g);
        if (code != FlashCode::ok) { return code; }
        if (!std::isfinite(g)) { return FlashCode::model_failure; }
        if (std::abs(g) <= g_tol) { return FlashCode::ok; }
        brent.update(s, g);
        ends[g < 0.0 ? negative : 1 - negative] = r;
        if (brent.width() <= s_tol) {
            if (std::abs(brent.best_value()) <= g_steep) {
                if (brent.best() != s) {
                    const FlashCode last = flash(brent.best(), g);
                    if (last != FlashCode::ok) { return last; }
                }
                return FlashCode::ok;
            }
            return invariant_state(c, ends[negative], ends[1 - negative], spec, r) ? FlashCode::ok
                                                                                   : stalled;
        }
    }
    return stalled;
}

/// A feed that boils at one temperature (a pure component, an azeotrope, a heteroazeotrope):
/// the bubble point's state with the vapour fraction V and y = z.
FlashCode single_boiling_point(FlashContext& c,
                               double V,
                               const FlashResult& bubble,
                               FlashResult& r) {
    r = bubble;
    std::copy(c.work.z.begin(), c.work.z.end(), r.y.begin());
    std::copy(c.work.z.begin(), c.work.z.end(), r.x.begin());
    r.vapour_fraction = V;
    r.phases = two_liquids(bubble) ? PhaseState::vapour_liquid_liquid : PhaseState::vapour_liquid;
    return FlashCode::ok;
}

double enthalpy_tolerance(const FlashContext& c, double h_low, double h_high, double T) {
    return c.options.tolerance * std::max(std::abs(h_high - h_low), units::kGasConstant * T);
}

}  // namespace

FlashCode solve_temperature_three(
    FlashContext& c, double P, double V, double T_start, FlashResult& r) {
    std::array<FlashResult, 2>& ends = c.work.bracket;
    FlashCode code = saturation_temperature_three(c, P, 0.0, T_start, r);
    if (code != FlashCode::ok) { return code; }
    ends[0] = r;
    const double t_bubble = r.temperature;
    code = saturation_temperature_three(c, P, 1.0, t_bubble, r);
    if (code != FlashCode::ok) { return code; }
    ends[1] = r;
    const double t_dew = r.temperature;
    const double tol = c.options.tolerance;
    if (t_dew - t_bubble <= tol * t_bubble) { return single_boiling_point(c, V, ends[0], r); }
    const auto flash = [&](double T, double& g) {
        const FlashCode tp = solve_isothermal_three(c, T, P, r);
        g = r.vapour_fraction - V;
        return tp;
    };
    return find_root_three(c, t_bubble, -V, t_dew, 1.0 - V, 0.01 * tol * t_bubble, tol,
                           std::sqrt(tol), flash, FlashCode::temperature_not_converged,
                           Specification{false, V, 0.0}, r);
}

FlashCode solve_pressure_three(FlashContext& c, double T, double V, FlashResult& r) {
    std::array<FlashResult, 2>& ends = c.work.bracket;
    FlashCode code = saturation_pressure_three(c, T, 1.0, r);
    if (code != FlashCode::ok) { return code; }
    ends[0] = r;
    const double ln_dew = std::log(r.pressure);
    code = saturation_pressure_three(c, T, 0.0, r);
    if (code != FlashCode::ok) { return code; }
    ends[1] = r;
    const double ln_bubble = std::log(r.pressure);
    const double tol = c.options.tolerance;
    if (ln_bubble - ln_dew <= tol) { return single_boiling_point(c, V, ends[1], r); }
    const auto flash = [&](double ln_p, double& g) {
        const FlashCode tp = solve_isothermal_three(c, T, std::exp(ln_p), r);
        g = r.vapour_fraction - V;
        return tp;
    };
    return find_root_three(c, ln_dew, 1.0 - V, ln_bubble, -V, 0.01 * tol, tol, std::sqrt(tol),
                           flash, FlashCode::pressure_not_converged, Specification{false, V, 0.0},
                           r);
}

FlashCode solve_pressure_enthalpy_three(FlashContext& c, double P, double H, FlashResult& r) {
    std::array<FlashResult, 2>& ends = c.work.bracket;
    const Mixture& m = c.mixture;
    const double tol = c.options.tolerance;
    FlashCode code = saturation_temperature_three(c, P, 0.0, start_temperature(c, P), r);
    if (code != FlashCode::ok) { return code; }
    const double t_bubble = r.temperature;
    const double h_bubble = result_enthalpy(m, r);
    ends[1] = r;
    code = saturation_temperature_three(c, P, 1.0, t_bubble, r);
    if (code != FlashCode::ok) { return code; }
    const double t_dew = r.temperature;
    const double h_dew = result_enthalpy(m, r);
    if (!std::isfinite(h_bubble) || !std::isfinite(h_dew)) { return FlashCode::model_failure; }
    const double h_tol = enthalpy_tolerance(c, h_bubble, h_dew, t_bubble);
    const auto flash = [&](double T, double& g) {
        const FlashCode tp = solve_isothermal_three(c, T, P, r);
        g = result_enthalpy(m, r) - H;
        return tp;
    };
    const Specification spec{true, H, h_tol};
    if (H > h_dew + h_tol) {
        // A vapour: its enthalpy does not depend on any split.
        double T = 0.0;
        code = vapour_temperature(c, H, h_tol, t_dew, c.t_max, T);
        if (code != FlashCode::ok) { return code; }
        return solve_isothermal_three(c, T, P, r);
    }
    if (H < h_bubble - h_tol) {
        // Below the bubble point the feed is one liquid or two; the enthalpy of the isothermal
        // flash rises continuously with T there too.
        code = solve_isothermal_three(c, c.t_min, P, r);
        if (code != FlashCode::ok) { return code; }
        const double h_min = result_enthalpy(m, r);
        if (h_min > H + h_tol) { return FlashCode::no_solution_in_range; }
        ends[0] = r;
        return find_root_three(c, c.t_min, h_min - H, t_bubble, h_bubble - H, 0.01 * tol * t_bubble,
                               h_tol, std::sqrt(tol) * h_tol / tol, flash,
                               FlashCode::enthalpy_not_converged, spec, r);
    }
    ends[0] = ends[1];
    ends[1] = r;
    if (t_dew - t_bubble <= tol * t_bubble) {
        return invariant_state(c, ends[0], ends[1], spec, r) ? FlashCode::ok
                                                             : FlashCode::enthalpy_not_converged;
    }
    return find_root_three(c, t_bubble, h_bubble - H, t_dew, h_dew - H, 0.01 * tol * t_bubble,
                           h_tol, std::sqrt(tol) * h_tol / tol, flash,
                           FlashCode::enthalpy_not_converged, spec, r);
}

FlashCode solve_temperature_enthalpy_three(FlashContext& c, double T, double H, FlashResult& r) {
    std::array<FlashResult, 2>& ends = c.work.bracket;
    const Mixture& m = c.mixture;
    const double tol = c.options.tolerance;
    // At fixed T nothing of the liquid (one or two) or of the ideal gas depends on P: H must lie
    // between the liquid state at its bubble pressure and the vapour.
    FlashCode code = saturation_pressure_three(c, T, 0.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_bubble = std::log(r.pressure);
    const double h_liquid = result_enthalpy(m, r);
    ends[1] = r;
    code = saturation_pressure_three(c, T, 1.0, r);
    if (code != FlashCode::ok) { return code; }
    const double ln_dew = std::log(r.pressure);
    const double h_vapour = result_enthalpy(m, r);
    ends[0] = r;
    if (!std::isfinite(h_liquid) || !std::isfinite(h_vapour)) { return FlashCode::model_failure; }
    const double h_tol = enthalpy_tolerance(c, h_liquid, h_vapour, T);
    if (H < h_liquid - h_tol || H > h_vapour + h_tol) { return FlashCode::no_solution_in_range; }
    const Specification spec{true, H, h_tol};
    if (ln_bubble - ln_dew <= tol) {
        return invariant_state(c, ends[1], ends[0], spec, r) ? FlashCode::ok
                                                             : FlashCode::enthalpy_not_converged;
    }
    const auto flash = [&](double ln_p, double& g) {
        const FlashCode tp = solve_isothermal_three(c, T, std::exp(ln_p), r);
        g = result_enthalpy(m, r) - H;
        return tp;
    };
    return find_root_three(c, ln_dew, h_vapour - H, ln_bubble, h_liquid - H, 0.01 * tol, h_tol,
                           std::sqrt(tol) * h_tol / tol, flash, FlashCode::enthalpy_not_converged,
                           spec, r);
}

}  // namespace host::detail
