#include "properties/detail/flash_kind.hpp"

#include <cmath>

namespace properties::detail {

std::optional<FlashSpecification> flash_specification(std::string_view text,
                                                      double temperature,
                                                      double pressure,
                                                      double third) noexcept {
    using K = HostFlashKind;
    if (text == "TVF") { return FlashSpecification{K::tv, temperature, 1.0}; }
    if (text == "TLF") { return FlashSpecification{K::tv, temperature, 0.0}; }
    if (text == "PVF") { return FlashSpecification{K::pv, pressure, 1.0}; }
    if (text == "PLF") { return FlashSpecification{K::pv, pressure, 0.0}; }
    if (text == "TP") { return FlashSpecification{K::tp, temperature, pressure}; }
    if (text == "TH") { return FlashSpecification{K::th, temperature, third}; }
    if (text == "PH") { return FlashSpecification{K::ph, pressure, third}; }
    // Only "PV" is matched in any case: callers have always written it both ways.
    if (text.size() == 2 && (text[0] == 'P' || text[0] == 'p') &&
        (text[1] == 'V' || text[1] == 'v')) {
        return FlashSpecification{K::pv, pressure, third};
    }
    return std::nullopt;
}

bool is_missing(double value) noexcept {
    // At 1e38 doubles are 1.4e22 apart, so "within 0.1" means the value itself; written as a
    // distance all the same, so that the rule reads as it is meant.
    return std::fabs(value - kMissingValue) <= 0.1;
}

}  // namespace properties::detail
