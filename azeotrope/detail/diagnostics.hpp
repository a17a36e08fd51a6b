#pragma once
/// Diagnostic texts of the azeotrope routines: all go to output unit 0 (which a search connects to
/// nothing), formatted here so that the routines stay readable.
#include <fmt/format.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "azeotrope/solver/diagnostic_units.hpp"

namespace azeotrope::detail {

inline constexpr int kDiagnosticUnit = 0;

template <typename... Args>
void diagnostic(fmt::format_string<Args...> format, Args&&... args) noexcept {
    try {
        solver::write_unit_line(kDiagnosticUnit, fmt::format(format, std::forward<Args>(args)...));
    } catch (...) {  // a text that cannot be built is lost, nothing else
    }
}

/// How a component is named in the texts (the equilibrium service has no names).
inline std::string component_label(std::int64_t id) { return fmt::format("component {}", id); }

}  // namespace azeotrope::detail
