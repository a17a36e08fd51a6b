#include "host/flash.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>

#include "host/detail/flash_solver.hpp"
#include "host/mixture.hpp"
#include "host/pure_component.hpp"

namespace host {

namespace {

constexpr std::size_t kMaxComponents = 100;

/// A failed flash: zero compositions, and no temperature or pressure but those specified, so that
/// nothing from an earlier call in a reused result can pass for an answer.
void fail(FlashResult& r, FlashCode code) {
    std::fill(r.x.begin(), r.x.end(), 0.0);
    std::fill(r.y.begin(), r.y.end(), 0.0);
    std::fill(r.x1.begin(), r.x1.end(), 0.0);
    std::fill(r.x2.begin(), r.x2.end(), 0.0);
    r.beta = 1.0;
    r.vapour_fraction = 0.0;
    r.phases = PhaseState::none;
    r.temperature = 0.0;
    r.pressure = 0.0;
    r.error_code = static_cast<std::int64_t>(code);
}

/// The specifications of a kind as temperature and pressure (0 where the kind has none).
void keep_specifications(FlashResult& r, FlashKind kind, double spec1, double spec2) {
    switch (kind) {
        case FlashKind::tp:
            r.temperature = spec1;
            r.pressure = spec2;
            break;
        case FlashKind::th:
        case FlashKind::tv:
            r.temperature = spec1;
            break;
        case FlashKind::ph:
        case FlashKind::pv:
            r.pressure = spec1;
            break;
    }
}

bool finite(double v) { return std::isfinite(v); }

/// Checks everything that does not need a property evaluation; FlashCode::ok when usable.
FlashCode check_input(const Mixture& m,
                      FlashKind kind,
                      double spec1,
                      double spec2,
                      std::span<const double> z,
                      const FlashOptions& o) {
    if (!(o.phase_count == 2 || o.phase_count == 3)) { return FlashCode::bad_phase_count; }
    if (!(o.tolerance > 0.0 && o.tolerance <= 0.1) || o.max_iterations < 1) {
        return FlashCode::bad_settings;
    }
    const auto k = static_cast<std::int64_t>(kind);
    if (k < 1 || k > 5) { return FlashCode::unknown_kind; }
    const std::size_t n = m.size();
    if (n == 0 || n > kMaxComponents || z.size() != n) { return FlashCode::bad_size; }
    if (!finite(spec1) || !finite(spec2)) { return FlashCode::not_finite; }
    for (double v : z) {
        if (!finite(v)) { return FlashCode::not_finite; }
    }
    double largest = 0.0;
    for (double v : z) {
        if (v < 0.0) { return FlashCode::bad_composition; }
        largest = std::max(largest, v);
    }
    if (!(largest > 0.0)) { return FlashCode::bad_composition; }

    const bool t_given = kind == FlashKind::tp || kind == FlashKind::th || kind == FlashKind::tv;
    if (t_given) {
        if (spec1 < m.temperature_min() || spec1 > m.temperature_max()) {
            return FlashCode::temperature_out_of_range;
        }
    } else if (!(spec1 > 0.0)) {
        return FlashCode::bad_pressure;
    }
    if (kind == FlashKind::tp && !(spec2 > 0.0)) { return FlashCode::bad_pressure; }
    if ((kind == FlashKind::pv || kind == FlashKind::tv) && !(spec2 >= 0.0 && spec2 <= 1.0)) {
        return FlashCode::bad_vapour_fraction;
    }
    return FlashCode::ok;
}

}  // namespace

std::string_view flash_code_text(std::int64_t code) noexcept {
    switch (code) {
#define HOST_FLASH_CODE_TEXT(name, value, text) \
    case value:                                 \
        return text;
        HOST_FLASH_CODES(HOST_FLASH_CODE_TEXT)
#undef HOST_FLASH_CODE_TEXT
        default:
            return "unknown flash code";
    }
}

namespace detail {

FlashWorkspace::FlashWorkspace(std::size_t n)
    : z(n),
      ln_gamma(n),
      d_ln_gamma(n),
      ln_psat(n),
      d_ln_psat(n),
      ln_k(n),
      k(n),
      x(n),
      y(n),
      x_new(n),
      x_best(n),
      v(n),
      v_new(n),
      trial(n),
      residual(n),
      potential(n),
      gradient(n),
      step(n),
      hessian(n * n),
      jacobian(n * n),
      saturation_t(n),
      split(n),
      split_saved(n),
      ln_theta(n * kMaxPhases),
      amounts(n * kMaxPhases),
      amounts_new(n * kMaxPhases),
      ln_f(n * kMaxPhases),
      jacobian2(n * n),
      split_hessian(4 * n * n),
      split_gradient(2 * n),
      split_step(2 * n),
      sensitivity(n) {
    for (auto& e : phase_ln_gamma) { e.assign(n, 0.0); }
    for (auto& e : phase_d_ln_gamma) { e.assign(n, 0.0); }
    for (auto& e : warm_liquids) { e.assign(n, 0.0); }
    for (FlashResult& r : bracket) {
        r.x.assign(n, 0.0);
        r.y.assign(n, 0.0);
        r.x1.assign(n, 0.0);
        r.x2.assign(n, 0.0);
    }
}

bool FlashContext::evaluate_psat(double T, bool with_slope) {
    for (std::size_t i = 0; i < n; ++i) {
        const double lp = mixture.ln_psat(i, T);
        if (!std::isfinite(lp)) { return false; }
        work.ln_psat[i] = lp;
        if (with_slope) {
            const double s = mixture.d_ln_psat_dT(i, T);
            if (!std::isfinite(s)) { return false; }
            work.d_ln_psat[i] = s;
        }
    }
    return true;
}

bool FlashContext::evaluate_gamma(double T, std::span<const double> x, bool with_slope) {
    ++evaluations;
    mixture.ln_gamma(T, x, work.ln_gamma);
    if (with_slope) { mixture.d_ln_gamma_dT(T, x, work.d_ln_gamma); }
    for (std::size_t i = 0; i < n; ++i) {
        // Absent components may have an infinite-dilution value that overflows; only those
        // present must be finite.
        if (x[i] > 0.0 && (!std::isfinite(work.ln_gamma[i]) ||
                           (with_slope && !std::isfinite(work.d_ln_gamma[i])))) {
            return false;
        }
    }
    return true;
}

bool FlashContext::evaluate_gamma_slope(double T, std::span<const double> x) {
    mixture.d_ln_gamma_dT(T, x, work.d_ln_gamma);
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] > 0.0 && !std::isfinite(work.d_ln_gamma[i])) { return false; }
    }
    return true;
}

/// Pure-component saturation temperature at ln P, by Newton in 1/T (ln Psat is nearly linear in
/// 1/T) inside the correlation range; clipped to the range when P lies outside it.
static double saturation_temperature(
    const Mixture& m, std::size_t i, double ln_p, double t_min, double t_max, double start) {
    double lo = t_min, hi = t_max;
    if (m.ln_psat(i, lo) >= ln_p) { return lo; }
    if (m.ln_psat(i, hi) <= ln_p) { return hi; }
    double T = (start > lo && start < hi) ? start : 0.5 * (lo + hi);
    for (int it = 0; it < 50; ++it) {
        const double f = m.ln_psat(i, T) - ln_p;
        if (f > 0.0) {
            hi = T;
        } else {
            lo = T;
        }
        if (std::abs(f) < 1e-10 || hi - lo < 1e-9) { break; }
        const double slope = m.d_ln_psat_dT(i, T);
        double next = T / (1.0 + f / (T * slope));
        if (!(slope > 0.0) || !(next > lo && next < hi)) { next = 0.5 * (lo + hi); }
        T = next;
    }
    return T;
}

double start_temperature(FlashContext& c, double P) {
    const double guess = c.options.temperature_guess;
    if (std::isfinite(guess) && guess >= c.t_min && guess <= c.t_max) { return guess; }
    FlashWorkspace& w = c.work;
    if (w.saturation_p != P) {
        const double ln_p = std::log(P);
        for (std::size_t i = 0; i < c.n; ++i) {
            const double tb = c.mixture.component(i).normal_boiling_point;
            w.saturation_t[i] = saturation_temperature(c.mixture, i, ln_p, c.t_min, c.t_max, tb);
        }
        w.saturation_p = P;
    }
    double T = 0.0;
    for (std::size_t i = 0; i < c.n; ++i) { T += w.z[i] * w.saturation_t[i]; }
    return std::clamp(T, c.t_min, c.t_max);
}

double state_enthalpy(
    const Mixture& m, double T, double V, std::span<const double> x, std::span<const double> y) {
    double h = 0.0;
    if (V < 1.0) { h += (1.0 - V) * m.liquid_enthalpy(T, x); }
    if (V > 0.0) { h += V * m.vapour_enthalpy(T, y); }
    return h;
}

}  // namespace detail

Flash::Flash(const Mixture& mixture)
    : mixture_(&mixture), work_(std::make_unique<detail::FlashWorkspace>(mixture.size())) {}
Flash::~Flash() = default;
Flash::Flash(Flash&&) noexcept = default;
Flash& Flash::operator=(Flash&&) noexcept = default;

void Flash::run(FlashKind kind,
                double spec1,
                double spec2,
                std::span<const double> z,
                const FlashOptions& options,
                FlashResult& r) noexcept {
    const std::size_t n = mixture_->size();
    try {
        r.x.resize(n);
        r.y.resize(n);
        r.x1.resize(n);
        r.x2.resize(n);
    } catch (...) {
        r.error_code = static_cast<std::int64_t>(FlashCode::internal_error);
        return;
    }
    r.iterations = 0;
    const FlashCode input = check_input(*mixture_, kind, spec1, spec2, z, options);
    if (input != FlashCode::ok) {
        fail(r, input);
        return;
    }
    try {
        detail::FlashWorkspace& w = *work_;
        // A composition that sums to 1 is taken as it is; any other is normalised (scaled by
        // its largest entry first when the plain sum overflows).
        std::copy(z.begin(), z.end(), w.z.begin());
        double sum = std::accumulate(z.begin(), z.end(), 0.0);
        if (!std::isfinite(sum)) {
            const double largest = *std::max_element(z.begin(), z.end());
            for (double& v : w.z) { v /= largest; }
            sum = std::accumulate(w.z.begin(), w.z.end(), 0.0);
        }
        if (sum != 1.0) {
            for (double& v : w.z) { v /= sum; }
        }

        detail::FlashContext c{
            *mixture_, w, options, n, mixture_->temperature_min(), mixture_->temperature_max()};
        FlashCode code = FlashCode::internal_error;
        switch (kind) {
            case FlashKind::pv:
                code = detail::solve_temperature(c, spec1, spec2,
                                                 detail::start_temperature(c, spec1), r);
                break;
            case FlashKind::tv:
                code = detail::solve_pressure(c, spec1, spec2, r);
                break;
            case FlashKind::tp:
                code = detail::solve_isothermal(c, spec1, spec2, r);
                break;
            case FlashKind::ph:
                code = detail::solve_pressure_enthalpy(c, spec1, spec2, r);
                break;
            case FlashKind::th:
                code = detail::solve_temperature_enthalpy(c, spec1, spec2, r);
                break;
        }
        r.iterations = c.evaluations;
        if (code != FlashCode::ok) {
            fail(r, code);
            keep_specifications(r, kind, spec1, spec2);
            return;
        }
        const bool two_liquids =
            r.phases == PhaseState::liquid_liquid || r.phases == PhaseState::vapour_liquid_liquid;
        if (!two_liquids) {
            // One liquid: both liquids are the liquid, all of it the first.
            std::copy(r.x.begin(), r.x.end(), r.x1.begin());
            std::copy(r.x.begin(), r.x.end(), r.x2.begin());
            r.beta = 1.0;
        }
        // A success never carries a number that is not finite.
        bool all_finite = finite(r.temperature) && finite(r.pressure) &&
                          finite(r.vapour_fraction) && finite(r.beta);
        for (std::size_t i = 0; i < n; ++i) {
            all_finite = all_finite && finite(r.x[i]) && finite(r.y[i]) && finite(r.x1[i]) &&
                         finite(r.x2[i]);
        }
        if (!all_finite) {
            fail(r, FlashCode::model_failure);
            return;
        }
        r.error_code = static_cast<std::int64_t>(FlashCode::ok);
    } catch (const std::exception&) { fail(r, FlashCode::internal_error); } catch (...) {
        fail(r, FlashCode::internal_error);
    }
}

FlashResult Flash::run(FlashKind kind,
                       double spec1,
                       double spec2,
                       std::span<const double> z,
                       const FlashOptions& options) noexcept {
    FlashResult r;
    run(kind, spec1, spec2, z, options, r);
    return r;
}

FlashResult Flash::bubble_temperature(double P,
                                      std::span<const double> x,
                                      const FlashOptions& options) noexcept {
    return run(FlashKind::pv, P, 0.0, x, options);
}

FlashResult Flash::dew_temperature(double P,
                                   std::span<const double> y,
                                   const FlashOptions& options) noexcept {
    return run(FlashKind::pv, P, 1.0, y, options);
}

FlashResult Flash::bubble_pressure(double T,
                                   std::span<const double> x,
                                   const FlashOptions& options) noexcept {
    return run(FlashKind::tv, T, 0.0, x, options);
}

FlashResult Flash::dew_pressure(double T,
                                std::span<const double> y,
                                const FlashOptions& options) noexcept {
    return run(FlashKind::tv, T, 1.0, y, options);
}

double Flash::enthalpy(const FlashResult& r) const noexcept {
    const std::size_t n = mixture_->size();
    if (!r.converged() || r.x.size() != n || r.y.size() != n) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    try {
        if (r.x1.size() != n || r.x2.size() != n) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        return detail::result_enthalpy(*mixture_, r);
    } catch (...) { return std::numeric_limits<double>::quiet_NaN(); }
}

FlashResult flash(const Mixture& mixture,
                  FlashKind kind,
                  double spec1,
                  double spec2,
                  std::span<const double> z,
                  const FlashOptions& options) noexcept {
    try {
        Flash f(mixture);
        return f.run(kind, spec1, spec2, z, options);
    } catch (...) {
        FlashResult r;
        r.error_code = static_cast<std::int64_t>(FlashCode::internal_error);
        return r;
    }
}

}  // namespace host
