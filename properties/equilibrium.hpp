#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace properties {

/// One flash through the host, in the numerical routines' terms. The flash type is one of the
/// host texts "TVF", "TLF", "PVF", "PLF", "TP", "TH", "PH" (compared exactly) or "PV" (any case):
/// a bubble point at given pressure is "PV" with vapour_fraction 0, a dew point "PV" with 1.
struct FlashRequest {
    std::string_view flash_type = "PV";
    std::int64_t phase_count = 2;              ///< 2: vapour + one liquid; 3: up to two liquids
    std::string_view option_set;               ///< blank: the host's current global option set
    std::span<const std::int64_t> components;  ///< host component indices, at most 100
    std::span<const double> composition;       ///< feed or liquid mole fractions [mol/mol]
    double temperature = 0.0;                  ///< [K] specification, or start value (0: none)
    double pressure = 0.0;                     ///< [Pa] specification
    double vapour_fraction = 0.0;  ///< [mol/mol] specification; the enthalpy [J/kmol] for TH, PH
};

/// What a flash returned. The default state is never success.
struct FlashResult {
    std::int64_t error_code = -1;  ///< 0 ok, > 0 not converged, < 0 fatal (or type not recognised)
    double temperature = 0.0;      ///< [K]
    double pressure = 0.0;         ///< [Pa]
    double vapour_fraction = 0.0;  ///< [mol/mol]
    double beta = 0.0;             ///< fraction of the liquid that is the first liquid [mol/mol]
    std::vector<double> x, y, x1, x2;  ///< [mol/mol], one entry per component
    bool converged() const noexcept { return error_code == 0; }
};

/// Runs one flash through the host flash, with the host's current tolerance and iteration limit.
/// The option set named in the request is used when the host knows it, the global one otherwise.
FlashResult calc_flash(const FlashRequest& request);

/// A molar enthalpy [J/kmol] and the host's error code (0 ok).
struct EnthalpyResult {
    std::int64_t error_code = -1;
    double enthalpy = 0.0;
};

/// Liquid and vapour molar enthalpies [J/kmol] of a phase of composition z at T [K], P [Pa].
EnthalpyResult liquid_enthalpy(std::span<const std::int64_t> components,
                               std::string_view option_set,
                               double temperature,
                               double pressure,
                               std::span<const double> z);
EnthalpyResult vapour_enthalpy(std::span<const std::int64_t> components,
                               std::string_view option_set,
                               double temperature,
                               double pressure,
                               std::span<const double> z);

/// Message lines of the design, balance and feed routines (80 characters each). They are kept for
/// the current call, so that automation methods and the command line can show users why a design
/// failed; the caller clears them before a call.
void write_message_line(std::string_view line);
/// Lines beyond this many in one call are dropped (the first ones say why a routine failed).
inline constexpr std::size_t kMaxMessageLines = 1000;
const std::vector<std::string>& message_lines() noexcept;
void clear_message_lines() noexcept;

}  // namespace properties
