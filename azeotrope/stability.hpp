#pragma once
/// Stability codes of the singular points of a residue curve map (pure components and
/// azeotropes), shared by the azeotrope search, the classification and the residue-curve routines.
#include <cstdint>
#include <span>
#include <string_view>

namespace azeotrope {

/// Stability code of a singular point of dx/dt = x - y(x).
enum class Stability : std::int64_t {
    unclassified = -1,  ///< not classified (yet), or the classification failed
    stable_node = 1,    ///< residue curves end here: a local maximum of the boiling temperature
    saddle = 2,
    unstable_node = 3,  ///< residue curves start here: a local minimum of the boiling temperature
};

/// Phase flag of an azeotrope.
enum class AzeotropePhase : std::int64_t {
    homogeneous = 1,
    heterogeneous = 2,
};

/// The code from the real parts of the eigenvalues of the Jacobian of x - y(x): every real part
/// negative gives a stable node, none negative an unstable node, a mixture a saddle. A real part
/// of exactly 0 counts as not negative. No eigenvalues (a one-component point) give a stable node;
/// a NaN among them gives unclassified.
Stability stability_from_eigenvalues(std::span<const double> real_parts) noexcept;

/// "stable node", "saddle", "unstable node" or "unclassified" (also for a value outside the enum).
std::string_view stability_name(Stability s) noexcept;
/// "homogeneous" or "heterogeneous" (the latter for any value but homogeneous).
std::string_view phase_name(AzeotropePhase p) noexcept;

/// The stability code that a stored 64-bit value stands for (unclassified for anything unknown).
Stability stability_from_code(std::int64_t code) noexcept;

}  // namespace azeotrope
