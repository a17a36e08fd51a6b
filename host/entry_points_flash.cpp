// The host flash (FLSH_PFLASH, CALL_PHASEEQ), the current flash settings (GETCSP) and the
// phase enthalpies (LIQ_ENTHALPY, VAP_ENTHALPY) over the open problem's cached mixtures.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <numeric>
#include <span>
#include <string>

#include "host/detail/entry_impl.hpp"
#include "host/detail/fields.hpp"
#include "host/host_state.hpp"

namespace host::entry {

namespace {

constexpr std::int64_t code(HostCode c) { return static_cast<std::int64_t>(c); }
constexpr std::int64_t code(FlashCode c) { return static_cast<std::int64_t>(c); }

constexpr std::int64_t kMaxFlashComponents = 100;
/// Loops of the flash converge (bracketed Newton, bisection at worst) in far fewer steps; a
/// larger limit from a caller (the property package passes 99999999) would only turn a
/// flash that cannot converge into a hang.
constexpr std::int64_t kIterationCap = 1000;

/// Checks the component indices (1-based) and turns them into 0-based positions.
std::int64_t positions_of(const LoadedProblem& problem,
                          std::span<const std::int64_t> indices,
                          std::vector<std::size_t>& positions) {
    const auto ncomp = static_cast<std::int64_t>(problem.component_count());
    positions.clear();
    for (const std::int64_t i : indices) {
        if (i < 1 || i > ncomp) { return code(HostCode::unknown_component); }
        const auto p = static_cast<std::size_t>(i - 1);
        if (std::find(positions.begin(), positions.end(), p) != positions.end()) {
            return code(HostCode::repeated_component);
        }
        positions.push_back(p);
    }
    return 0;
}

bool uses_temperature_start(std::int64_t kind) {
    return kind == static_cast<std::int64_t>(FlashKind::ph) ||
           kind == static_cast<std::int64_t>(FlashKind::pv);
}

/// One line for the history file or the terminal.
std::string flash_line(std::int64_t kind,
                       double spec1,
                       double spec2,
                       std::int64_t option_set,
                       std::span<const std::int64_t> components,
                       std::int64_t err) {
    std::string ids;
    for (const std::int64_t i : components) { ids += (ids.empty() ? "" : ",") + std::to_string(i); }
    return fmt::format("flash kind {} ({:.10g}, {:.10g}) option set {} components {}: {} ({})",
                       kind, spec1, spec2, option_set, ids, err, host_code_text(err));
}

}  // namespace

void pflash(const std::int64_t* kind,
            const double* spec1,
            const double* spec2,
            const double* z,
            const std::int64_t* n,
            const std::int64_t* components,
            const std::int64_t* phase_count,
            const std::int64_t* start_mode,
            const std::int64_t* max_iterations,
            const double* tolerance,
            const std::int64_t* option_set,
            const std::int64_t* history_level,
            const std::int64_t* terminal_level,
            const std::int64_t* enthalpy_wanted,
            double* temperature,
            double* pressure,
            double* enthalpy,
            double* vapour_fraction,
            double* beta,
            double* x,
            double* x1,
            double* x2,
            double* y,
            double* /*work1*/,
            double* /*work2*/,
            std::int64_t* restart,
            double* /*work3*/,
            double* /*work4*/,
            std::int64_t* error) noexcept {
    if (error == nullptr) { return; }
    if (enthalpy != nullptr) { *enthalpy = 0.0; }
    const std::int64_t restart_in = restart != nullptr ? *restart : 1;
    if (restart != nullptr) { *restart = 1; }
    const bool scalars =
        kind != nullptr && spec1 != nullptr && spec2 != nullptr && n != nullptr &&
        phase_count != nullptr && start_mode != nullptr && max_iterations != nullptr &&
        tolerance != nullptr && option_set != nullptr && history_level != nullptr &&
        terminal_level != nullptr && enthalpy_wanted != nullptr && temperature != nullptr &&
        pressure != nullptr && enthalpy != nullptr && vapour_fraction != nullptr && beta != nullptr;
    const bool sized = n != nullptr && *n >= 1 && *n <= kMaxFlashComponents;
    const bool arrays = z != nullptr && components != nullptr && x != nullptr && x1 != nullptr &&
                        x2 != nullptr && y != nullptr;
    // On any failure the compositions are zero, so that nothing from an earlier call can pass for
    // an answer.
    auto clear_compositions = [&] {
        if (!sized || x == nullptr || x1 == nullptr || x2 == nullptr || y == nullptr) { return; }
        const auto m = static_cast<std::size_t>(*n);
        std::fill_n(x, m, 0.0);
        std::fill_n(x1, m, 0.0);
        std::fill_n(x2, m, 0.0);
        std::fill_n(y, m, 0.0);
    };
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        // A restart request covers one repeat only, whatever that call looks like.
        const bool restart_pending = st.restart_pending;
        st.restart_pending = false;

        std::int64_t err = 0;
        if (!scalars) {
            err = code(HostCode::bad_argument);
        } else if (!st.is_open()) {
            err = code(HostCode::no_problem);
        } else if (!sized) {
            err = code(FlashCode::bad_size);
        } else if (!arrays) {
            err = code(HostCode::bad_argument);
        } else if (*option_set < 1 ||
                   *option_set > static_cast<std::int64_t>(st.problem()->option_set_count())) {
            err = code(HostCode::unknown_option_set);
        } else if ((*start_mode != 0 && *start_mode != 1) ||
                   (*enthalpy_wanted != 0 && *enthalpy_wanted != 1) || *history_level < 0 ||
                   *history_level > 8 || *terminal_level < 0 || *terminal_level > 8) {
            err = code(FlashCode::bad_settings);
        } else {
            err = positions_of(*st.problem(), std::span(components, static_cast<std::size_t>(*n)),
                               st.positions);
        }
        if (err != 0) {
            clear_compositions();
            *error = err;
            return;
        }

        const auto m = static_cast<std::size_t>(*n);
        MixtureEntry& entry =
            st.cache().get(*st.problem(), static_cast<std::size_t>(*option_set - 1), st.positions);
        FlashOptions options;
        options.tolerance = *tolerance;
        options.max_iterations = std::min(*max_iterations, kIterationCap);
        options.phase_count = *phase_count;
        const double T_in = *temperature;
        const bool from_caller = *start_mode == 0 && !restart_pending &&
                                 uses_temperature_start(*kind) && std::isfinite(T_in) &&
                                 T_in >= entry.mixture.temperature_min() &&
                                 T_in <= entry.mixture.temperature_max();
        options.temperature_guess = from_caller ? T_in : std::numeric_limits<double>::quiet_NaN();
        const auto flash_kind = static_cast<FlashKind>(*kind);
        const std::span<const double> feed(z, m);
        FlashResult& r = st.result;
        entry.flash.run(flash_kind, *spec1, *spec2, feed, options, r);

        // The caller's start value may have led the iteration astray: the second attempt starts
        // from the host's own initialisation (pure-component saturation temperatures).
        bool ask_repeat = false;
        if (from_caller && r.error_code > 0) {
            if (restart_in == 0) {
                options.temperature_guess = std::numeric_limits<double>::quiet_NaN();
                entry.flash.run(flash_kind, *spec1, *spec2, feed, options, r);
            } else {
                ask_repeat = restart != nullptr;
            }
        }

        *temperature = ask_repeat ? 0.0 : r.temperature;
        *pressure = r.pressure;
        *vapour_fraction = r.vapour_fraction;
        *beta = r.beta;
        std::copy(r.x.begin(), r.x.end(), x);
        std::copy(r.x1.begin(), r.x1.end(), x1);
        std::copy(r.x2.begin(), r.x2.end(), x2);
        std::copy(r.y.begin(), r.y.end(), y);
        *enthalpy = 0.0;
        if (r.converged() && *enthalpy_wanted == 1) {
            const double h = entry.flash.enthalpy(r);
            *enthalpy = std::isfinite(h) ? h : 0.0;
        }
        if (ask_repeat) {
            *restart = 2;
            st.restart_pending = true;
        }
        *error = r.error_code;

        const std::int64_t level = std::max(*history_level, *terminal_level);
        if (level >= 7 || (level >= 5 && r.error_code != 0)) {
            const std::string line = flash_line(*kind, *spec1, *spec2, *option_set,
                                                std::span(components, m), r.error_code) +
                                     (ask_repeat ? ", repeat requested" : "");
            if (*history_level >= 7 || (*history_level >= 5 && r.error_code != 0)) {
                st.append_history(line);
            }
            if (*terminal_level >= 7 || (*terminal_level >= 5 && r.error_code != 0)) {
                std::fprintf(stderr, "host: %s\n", line.c_str());
            }
        }
    } catch (...) {
        clear_compositions();
        *error = code(FlashCode::internal_error);
    }
}

void getcsp(std::int64_t* option_set,
            std::int64_t* history_level,
            std::int64_t* terminal_level,
            double* tolerance,
            std::int64_t* max_iterations) noexcept {
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const FlashSettings& s = st.settings();
        if (option_set != nullptr) {
            *option_set = st.is_open() ? static_cast<std::int64_t>(st.global_option_set()) + 1 : 0;
        }
        if (history_level != nullptr) { *history_level = s.history_level; }
        if (terminal_level != nullptr) { *terminal_level = s.terminal_level; }
        if (tolerance != nullptr) { *tolerance = s.tolerance; }
        if (max_iterations != nullptr) { *max_iterations = s.max_iterations; }
    } catch (...) {
        // Locking a standard mutex does not fail in practice; the outputs keep their values.
    }
}

void enthalpy(bool liquid,
              const std::int64_t* n,
              const std::int64_t* components,
              const char* option_set,
              const double* temperature,
              const double* pressure,
              const double* z,
              const std::int64_t* option,
              double* enthalpy,
              double* heat_capacity,
              std::int64_t* error,
              std::int64_t option_set_len) noexcept {
    if (error == nullptr) { return; }
    if (enthalpy != nullptr) { *enthalpy = 0.0; }
    if (heat_capacity != nullptr) { *heat_capacity = 0.0; }
    try {
        HostState& st = HostState::instance();
        const std::lock_guard lock(st.mutex());
        const bool pointers = n != nullptr && temperature != nullptr && pressure != nullptr &&
                              option != nullptr && enthalpy != nullptr && heat_capacity != nullptr;
        if (!pointers) {
            *error = code(HostCode::bad_argument);
            return;
        }
        if (!st.is_open()) {
            *error = code(HostCode::no_problem);
            return;
        }
        if (*n < 1 || *n > kMaxFlashComponents) {
            *error = code(FlashCode::bad_size);
            return;
        }
        if (z == nullptr || components == nullptr) {
            *error = code(HostCode::bad_argument);
            return;
        }
        if (*option != 1) {
            *error = code(FlashCode::bad_settings);
            return;
        }
        std::size_t k = st.global_option_set();
        if (const std::string_view name = detail::field_text(option_set, option_set_len);
            !name.empty()) {
            const auto found = st.problem()->find_option_set(name);
            if (!found) {
                *error = code(HostCode::unknown_option_set);
                return;
            }
            k = *found;
        }
        const auto m = static_cast<std::size_t>(*n);
        if (const std::int64_t err =
                positions_of(*st.problem(), std::span(components, m), st.positions);
            err != 0) {
            *error = err;
            return;
        }
        const double T = *temperature, P = *pressure;
        if (!std::isfinite(T) || !std::isfinite(P)) {
            *error = code(FlashCode::not_finite);
            return;
        }
        if (!(P > 0.0)) {
            *error = code(FlashCode::bad_pressure);
            return;
        }
        // The composition as the flash takes it: finite, non-negative, not all zero, normalised.
        std::vector<double>& w = st.composition;
        w.assign(z, z + m);
        double largest = 0.0;
        for (const double v : w) {
            if (!std::isfinite(v)) {
                *error = code(FlashCode::not_finite);
                return;
            }
            if (v < 0.0) {
                *error = code(FlashCode::bad_composition);
                return;
            }
            largest = std::max(largest, v);
        }
        if (!(largest > 0.0)) {
            *error = code(FlashCode::bad_composition);
            return;
        }
        for (double& v : w) { v /= largest; }
        const double sum = std::accumulate(w.begin(), w.end(), 0.0);
        for (double& v : w) { v /= sum; }

        const Mixture& mix = st.cache().get(*st.problem(), k, st.positions).mixture;
        if (T < mix.temperature_min() || T > mix.temperature_max()) {
            *error = code(FlashCode::temperature_out_of_range);
            return;
        }
        const double h = liquid ? mix.liquid_enthalpy(T, w) : mix.vapour_enthalpy(T, w);
        const double cp = liquid ? mix.liquid_heat_capacity(T, w) : mix.vapour_heat_capacity(T, w);
        if (!std::isfinite(h) || !std::isfinite(cp)) {
            *error = code(FlashCode::model_failure);
            return;
        }
        *enthalpy = h;
        *heat_capacity = cp;
        *error = 0;
    } catch (...) { *error = code(FlashCode::internal_error); }
}

}  // namespace host::entry
