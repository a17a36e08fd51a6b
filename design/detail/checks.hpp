#pragma once
/// Small argument checks shared by the design routines.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "design/property_context.hpp"

namespace design::detail {

/// How many entries of an n-sized output a routine may initialise before n is validated: the
/// callers' arrays are sized for three components, so never more than three.
inline std::size_t writable_entries(std::int64_t n) noexcept {
    return n <= 0 ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(n, kComponents));
}

inline bool positive_finite(double v) noexcept { return v > 0.0 && std::isfinite(v); }

inline bool all_finite(std::span<const double> v) noexcept {
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

}  // namespace design::detail
