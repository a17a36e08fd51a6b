#pragma once
/// Boiling temperatures of the pure components of a mixture, the K-values of every component
/// nearly infinitely diluted in each of them, and the stability of each pure component's vertex
/// that those K-values imply.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "azeotrope/stability.hpp"

namespace azeotrope {

/// Mole fraction given to the main component of a "nearly pure" point: 0.9999999 in single
/// precision, the others getting 1e-7 each before the composition is normalised.
inline constexpr double kNearlyPure = 0.9999998807907104;
inline constexpr double kTrace = 1e-7;

struct PurePropertyRequest {
    std::span<const std::int64_t> components;  ///< n host component indices
    double pressure = 0.0;                     ///< [Pa]
    std::int64_t phase_count = 2;              ///< for the mixture flashes (2 or 3)
    std::string_view option_set;
};

struct PureProperties {
    /// Boiling temperature of each pure component at the pressure [K]; -1 where its flash failed.
    std::vector<double> boiling_temperatures;
    /// From the K-values at each vertex j: every other K(i, j) >= 1 gives a stable node, else
    /// every K(i, j) <= 1 an unstable node, else a saddle; unclassified where the flash failed.
    std::vector<Stability> stability;
    /// K(i, j) = y_i / x_i of component i in nearly pure j, at j * n + i; NaN where unknown.
    std::vector<double> k_values;
    bool flash_failed = true;            ///< some flash failed (or the request was refused)
    bool bad_input = true;               ///< the request was refused; nothing was flashed
    std::vector<std::int64_t> messages;  ///< run-log codes (502, 507) of failed flashes
    std::int64_t flashes = 0;
};

/// n one-component bubble points (phase count 2) and n nearly-pure mixture bubble points.
PureProperties pure_properties(const PurePropertyRequest& request);

}  // namespace azeotrope

extern "C" {
/// PURE_PROPERTY in the by-reference form: n, pressure [Pa], component index vector (n),
/// option-set name (field), phase count, pure boiling temperatures (n, out), pure stability codes
/// (n, out), K-value matrix (n x n, out, (i, j) at j n + i), error indicator, and the field's
/// length by value. The error indicator is left as it was when every flash succeeded and set to
/// -1 when one failed (the failed entries then hold -1.0, code -1 and NaN) or the arguments were
/// refused (nothing written). Failed flashes are logged (502, 507). Never throws.
void PURE_PROPERTY(const std::int64_t* n,
                   const double* pressure,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   double* boiling_temperatures,
                   std::int64_t* stability,
                   double* k_values,
                   std::int64_t* error,
                   std::int64_t option_set_length) noexcept;
}
