#include "azeotrope/pure_property.hpp"

#include <cmath>
#include <limits>

#include "azeotrope/detail/bubble_point.hpp"
#include "azeotrope/detail/checks.hpp"
#include "azeotrope/stability_rcm.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"

namespace azeotrope {
namespace {

using engine::core::Message;

void record_failure(const properties::FlashResult& r, PureProperties& out) {
    out.flash_failed = true;
    out.messages.push_back(static_cast<std::int64_t>(
        r.error_code > 0 ? Message::flash_not_converged : Message::fatal_flash_error));
}

}  // namespace

PureProperties pure_properties(const PurePropertyRequest& request) {
    PureProperties out;
    const std::size_t n = request.components.size();
    if (n < 1 || n > kMaxClassificationComponents || !detail::valid_pressure(request.pressure) ||
        !detail::valid_phase_count(request.phase_count)) {
        return out;
    }
    out.bad_input = false;
    out.flash_failed = false;
    out.boiling_temperatures.assign(n, -1.0);
    out.stability.assign(n, Stability::unclassified);
    out.k_values.assign(n * n, std::numeric_limits<double>::quiet_NaN());

    // Each pure component alone, always with one liquid: a pure liquid cannot split.
    const std::vector<double> one{1.0};
    for (std::size_t i = 0; i < n; ++i) {
        detail::BubblePoint pure(request.components.subspan(i, 1), request.pressure, 2,
                                 request.option_set, out.flashes);
        const properties::FlashResult& r = pure(one);
        if (detail::usable(r, 1)) {
            out.boiling_temperatures[i] = r.temperature;
        } else {
            record_failure(r, out);
        }
    }

    detail::BubblePoint mixture(request.components, request.pressure, request.phase_count,
                                request.option_set, out.flashes);
    std::vector<double> x(n);
    for (std::size_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            x[i] = i == j ? kNearlyPure : kTrace;
            sum += x[i];
        }
        for (double& v : x) { v /= sum; }
        const properties::FlashResult& r = mixture(x);
        if (!detail::usable(r, n)) {
            record_failure(r, out);
            continue;
        }
        bool all_at_least_one = true;
        bool all_at_most_one = true;
        bool known = true;
        for (std::size_t i = 0; i < n; ++i) {
            const double k =
                r.x[i] > 0.0 ? r.y[i] / r.x[i] : std::numeric_limits<double>::quiet_NaN();
            out.k_values[j * n + i] = k;
            if (i == j) { continue; }
            if (!std::isfinite(k)) { known = false; }
            if (!(k >= 1.0)) { all_at_least_one = false; }
            if (!(k <= 1.0)) { all_at_most_one = false; }
        }
        if (!known) { continue; }
        // Equality with 1 passes both tests: a vertex where every K is exactly 1 is a stable node.
        out.stability[j] = all_at_least_one  ? Stability::stable_node
                           : all_at_most_one ? Stability::unstable_node
                                             : Stability::saddle;
    }
    return out;
}

}  // namespace azeotrope

void PURE_PROPERTY(const std::int64_t* n,
                   const double* pressure,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   double* boiling_temperatures,
                   std::int64_t* stability,
                   double* k_values,
                   std::int64_t* error,
                   std::int64_t option_set_length) noexcept {
    using namespace azeotrope;
    try {
        std::size_t count = 0;
        if (!detail::checked_count(n, static_cast<std::int64_t>(kMaxClassificationComponents),
                                   count) ||
            count == 0 || pressure == nullptr || component_ids == nullptr ||
            phase_count == nullptr || boiling_temperatures == nullptr || stability == nullptr ||
            k_values == nullptr) {
            if (error) { *error = -1; }
            return;
        }
        PurePropertyRequest request;
        request.components = std::span(component_ids, count);
        request.pressure = *pressure;
        request.phase_count = *phase_count;
        request.option_set = engine::core::trimmed_field(option_set, option_set_length);
        const PureProperties p = pure_properties(request);
        for (const std::int64_t m : p.messages) { engine::core::append_to_run_log(m); }
        if (p.bad_input) {
            if (error) { *error = -1; }
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            boiling_temperatures[i] = p.boiling_temperatures[i];
            stability[i] = static_cast<std::int64_t>(p.stability[i]);
        }
        std::copy(p.k_values.begin(), p.k_values.end(), k_values);
        if (p.flash_failed && error) { *error = -1; }
    } catch (...) {
        engine::core::append_to_run_log(engine::core::Message::allocation_error);
        if (error) { *error = -1; }
    }
}
