#pragma once
/// Bubble points at fixed pressure through the equilibrium service, counted.
#include <cstdint>
#include <span>
#include <string_view>

#include "properties/equilibrium.hpp"

namespace azeotrope::detail {

/// What the routines of this folder ask of every flash: "PV" with vapour fraction 0 for a liquid
/// of the given composition, at the pressure and phase count of the caller. Each call counts one
/// flash; the last converged temperature is handed to the next call as its start value (the
/// service's temperature is in/out), which saves host iterations without changing the answer.
class BubblePoint {
public:
    BubblePoint(std::span<const std::int64_t> components,
                double pressure,
                std::int64_t phase_count,
                std::string_view option_set,
                std::int64_t& flash_counter) noexcept
        : components_(components),
          pressure_(pressure),
          phase_count_(phase_count),
          option_set_(option_set),
          counter_(&flash_counter) {}

    /// The flash of liquid x (size of the component list).
    const properties::FlashResult& operator()(std::span<const double> x);

    const properties::FlashResult& last() const noexcept { return result_; }

private:
    std::span<const std::int64_t> components_;
    double pressure_;
    std::int64_t phase_count_;
    std::string_view option_set_;
    std::int64_t* counter_;
    double start_temperature_ = 0.0;
    properties::FlashResult result_;
};

/// A flash result whose x, y (and x1, x2) all have n finite entries and whose error code is 0.
bool usable(const properties::FlashResult& r, std::size_t n) noexcept;

}  // namespace azeotrope::detail
