#include "properties/equilibrium.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "host/entry_points.h"
#include "platform/system.hpp"
#include "properties/detail/flash_kind.hpp"
#include "properties/detail/service_flash.hpp"

namespace properties {
namespace detail {

namespace {

std::string_view without_trailing_blanks(std::string_view text) noexcept {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

}  // namespace

std::int64_t option_set_by_name(std::string_view name, std::int64_t global_index) noexcept {
    name = without_trailing_blanks(name);
    if (name.empty()) { return global_index; }
    // rto_str2int_c reads a zero-terminated text; option-set names are short, so a small buffer
    // holds every name worth looking up (a longer one is cut to the 8-character field anyway).
    char text[16] = {};
    std::copy_n(name.data(), std::min<std::size_t>(name.size(), sizeof text - 1), text);
    char field[8];
    rto_str2int_c(field, text, static_cast<std::int64_t>(sizeof field));
    std::int64_t index = 0;
    CALL_FIOPST(field, &index);
    return index != 0 ? index : global_index;
}

bool service_flash(const FlashRequest& request, HostFlashWork& work) noexcept {
    work.error = -1;
    const std::size_t n = request.components.size();
    if (n > static_cast<std::size_t>(kMaxFlashComponents) || request.composition.size() != n) {
        return false;
    }
    HostFlashSettings settings;
    std::int64_t global_option_set = 0;
    GETCSP(&global_option_set, &settings.history_level, &settings.terminal_level,
           &settings.tolerance, &settings.max_iterations);
    settings.option_set = option_set_by_name(request.option_set, global_option_set);

    work.n = static_cast<std::int64_t>(n);
    std::copy_n(request.components.begin(), n, work.components.begin());
    std::copy_n(request.composition.begin(), n, work.z.begin());

    const auto spec = flash_specification(request.flash_type, request.temperature, request.pressure,
                                          request.vapour_fraction);
    if (!spec) { return false; }
    if (is_missing(spec->first) || is_missing(spec->second) || (n > 0 && is_missing(work.z[0]))) {
        return false;
    }
    work.temperature = request.temperature;
    work.pressure = request.pressure;
    work.vapour_fraction = request.vapour_fraction;
    run_host_flash(&FLSH_PFLASH, *spec, request.phase_count, settings, work);
    return true;
}

}  // namespace detail

FlashResult calc_flash(const FlashRequest& request) {
    FlashResult result;
    detail::HostFlashWork work;
    if (!detail::service_flash(request, work)) { return result; }
    try {
        const auto n = static_cast<std::size_t>(work.n);
        result.x.assign(work.x.begin(), work.x.begin() + n);
        result.y.assign(work.y.begin(), work.y.begin() + n);
        result.x1.assign(work.x1.begin(), work.x1.begin() + n);
        result.x2.assign(work.x2.begin(), work.x2.begin() + n);
    } catch (...) {
        // Out of memory for four short vectors: report it as the service always has, and hand
        // back a result that does not claim success.
        platform::MessageBox("Error calling pflash!", "TARNDistil");
        return FlashResult{};
    }
    result.temperature = work.temperature;
    result.pressure = work.pressure;
    result.vapour_fraction = work.vapour_fraction;
    result.beta = work.beta;
    result.error_code = work.error;
    return result;
}

namespace {

EnthalpyResult enthalpy(tarn_enthalpy_fn routine,
                        std::span<const std::int64_t> components,
                        std::string_view option_set,
                        double temperature,
                        double pressure,
                        std::span<const double> z) noexcept {
    EnthalpyResult result;
    const std::size_t n = components.size();
    if (n > static_cast<std::size_t>(detail::kMaxFlashComponents) || z.size() != n) {
        return result;
    }
    // Same rule as the flashes: a name the host does not know falls back to the current global
    // option set (blanks), so an enthalpy is never refused where the flash beside it succeeded.
    if (detail::option_set_by_name(option_set, 0) == 0) { option_set = {}; }
    // The host reads the name up to its length; blanks mean "the current global option set".
    char field[64];
    const std::size_t length = std::max<std::size_t>(8, std::min(option_set.size(), sizeof field));
    std::fill_n(field, length, ' ');
    std::copy_n(option_set.data(), std::min(option_set.size(), length), field);
    const auto count = static_cast<std::int64_t>(n);
    const std::int64_t option = 1;
    double heat_capacity = 0.0;
    routine(&count, components.data(), field, &temperature, &pressure, z.data(), &option,
            &result.enthalpy, &heat_capacity, &result.error_code,
            static_cast<std::int64_t>(length));
    return result;
}

/// The message lines of the current call. Numerical routines run one at a time per process, so
/// the buffer is not locked. It is bounded: a routine that wrote lines in a loop must not be
/// able to exhaust memory, and the first lines say why a design failed.
struct MessageLineBuffer {
    static constexpr std::size_t kCapacity = kMaxMessageLines;
    std::vector<std::string> lines;
};

MessageLineBuffer& message_buffer() noexcept {
    static MessageLineBuffer buffer;
    return buffer;
}

}  // namespace

EnthalpyResult liquid_enthalpy(std::span<const std::int64_t> components,
                               std::string_view option_set,
                               double temperature,
                               double pressure,
                               std::span<const double> z) {
    return enthalpy(&LIQ_ENTHALPY, components, option_set, temperature, pressure, z);
}

EnthalpyResult vapour_enthalpy(std::span<const std::int64_t> components,
                               std::string_view option_set,
                               double temperature,
                               double pressure,
                               std::span<const double> z) {
    return enthalpy(&VAP_ENTHALPY, components, option_set, temperature, pressure, z);
}

void write_message_line(std::string_view line) {
    auto& buffer = message_buffer();
    if (buffer.lines.size() >= MessageLineBuffer::kCapacity) { return; }
    buffer.lines.emplace_back(detail::without_trailing_blanks(line));
}

const std::vector<std::string>& message_lines() noexcept { return message_buffer().lines; }

void clear_message_lines() noexcept { message_buffer().lines.clear(); }

}  // namespace properties
