#pragma once
/// What every flash and enthalpy call of a design routine shares: the components, the option
/// set, the phase count and the column pressure.
#include <cstdint>
#include <span>
#include <string_view>

namespace design {

struct PropertyContext {
    std::span<const std::int64_t> idx;  ///< host component index of each component
    std::string_view opset;             ///< property option set (blank: the host's global one)
    std::int64_t nPhase = 2;            ///< 2: vapour and one liquid; 3: up to two liquids
    double pres = 0.0;                  ///< column pressure [Pa]
};

}  // namespace design

namespace design {

/// Components of every column design, balance and feed routine: exactly three.
inline constexpr std::int64_t kComponents = 3;

}  // namespace design
