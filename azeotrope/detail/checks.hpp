#pragma once
/// Argument checks shared by the routines of this folder.
#include <cstdint>
#include <span>
#include <vector>

namespace azeotrope::detail {

/// Mole fractions this small below zero are rounding noise (1 minus a sum) and read as 0.
inline constexpr double kNegativeNoise = 1e-9;

/// A finite, positive pressure [Pa].
bool valid_pressure(double p) noexcept;
/// 2 (vapour and one liquid) or 3 (vapour and up to two liquids).
bool valid_phase_count(std::int64_t n) noexcept;
/// Copies x into out with noise below zero set to 0; false for NaN, infinity, a clearly negative
/// entry, or a sum farther than `sum_tolerance` from 1.
bool clean_composition(std::span<const double> x, std::vector<double>& out, double sum_tolerance);

/// A non-negative count from a 64-bit argument that must not exceed `limit`.
bool checked_count(const std::int64_t* n, std::int64_t limit, std::size_t& out) noexcept;

}  // namespace azeotrope::detail
