#pragma once
// The flash texts the engine passes around ("TVF", "PV", ...) and the host flash kind and
// specifications each one stands for, shared by the property package and the equilibrium
// service so that both read the texts the same way.
#include <cstdint>
#include <optional>
#include <string_view>

namespace properties::detail {

/// The host's "missing" value: a specification this close to it was never given.
inline constexpr double kMissingValue = 1.0e38;
/// Working arrays of one flash hold this many components.
inline constexpr std::int64_t kMaxFlashComponents = 100;

/// Host flash kinds (the first argument of the host flash).
enum class HostFlashKind : std::int64_t { ph = 1, tp = 2, pv = 3, th = 4, tv = 5 };

/// What the host flash is asked for.
struct FlashSpecification {
    HostFlashKind kind = HostFlashKind::pv;
    double first = 0.0;   ///< T [K] for TP, TH and TV; P [Pa] for PH and PV
    double second = 0.0;  ///< P [Pa], H [J/kmol] or vapour fraction [mol/mol]
};

/// The kind and specifications for a flash text. "TVF", "TLF", "PVF", "PLF", "TP", "TH" and "PH"
/// are compared exactly, "PV" ignoring case; any other text gives nothing. `third` is the value
/// of the caller's vapour-fraction argument, which carries the enthalpy for "TH" and "PH".
std::optional<FlashSpecification> flash_specification(std::string_view text,
                                                      double temperature,
                                                      double pressure,
                                                      double third) noexcept;

/// True for a value within 0.1 of the host's missing value 1e38.
bool is_missing(double value) noexcept;

}  // namespace properties::detail
