#include "properties/equilibrium_exports.hpp"

#include <algorithm>
#include <span>

#include "engine/core/fixed_field.hpp"
#include "platform/system.hpp"
#include "properties/detail/service_flash.hpp"
#include "properties/equilibrium.hpp"

extern "C" void CALC_FLASH(const char* flash_type,
                           const std::int64_t* phase_count,
                           const char* option_set,
                           const std::int64_t* n,
                           const std::int64_t* components,
                           const double* z,
                           double* temperature,
                           double* pressure,
                           double* vapour_fraction,
                           double* y,
                           double* x,
                           double* beta,
                           double* x1,
                           double* x2,
                           std::int64_t* error,
                           std::int64_t flash_type_length,
                           std::int64_t option_set_length) noexcept {
    using properties::detail::kMaxFlashComponents;
    if (!error) { return; }
    *error = -1;
    if (!phase_count || !n || *n < 0 || *n > kMaxFlashComponents || !temperature || !pressure ||
        !vapour_fraction || !beta) {
        return;
    }
    const auto count = static_cast<std::size_t>(*n);
    if (count > 0 && (!components || !z || !y || !x || !x1 || !x2)) { return; }

    properties::FlashRequest request;
    request.flash_type = engine::core::trimmed_field(flash_type, flash_type_length);
    request.phase_count = *phase_count;
    request.option_set = engine::core::trimmed_field(option_set, option_set_length);
    request.components = std::span(components, count);
    request.composition = std::span(z, count);
    request.temperature = *temperature;
    request.pressure = *pressure;
    request.vapour_fraction = *vapour_fraction;

    properties::detail::HostFlashWork work;
    if (!properties::detail::service_flash(request, work)) {
        *error = work.error;
        return;
    }
    *temperature = work.temperature;
    *pressure = work.pressure;
    *vapour_fraction = work.vapour_fraction;
    *beta = work.beta;
    std::copy_n(work.x.begin(), count, x);
    std::copy_n(work.y.begin(), count, y);
    std::copy_n(work.x1.begin(), count, x1);
    std::copy_n(work.x2.begin(), count, x2);
    *error = work.error;
}

extern "C" std::int64_t WriteMessageLine(const char* text, std::int64_t length) noexcept {
    try {
        properties::write_message_line(engine::core::trimmed_field(text, length));
    } catch (...) {
        // A line that cannot be kept (no memory) is lost; the routine that wrote it goes on.
    }
    return 1;
}
