#pragma once
/// The flashes of the curve routines through the equilibrium service: bubble and dew points at the
/// curve's pressure, counted, each warm-started from the last converged one of its kind.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "properties/equilibrium.hpp"
#include "rcm/curve_types.hpp"

namespace rcm::detail {

/// Mole fractions this far below zero or above one are integration noise, not a departure from
/// the simplex.
inline constexpr double kClipTolerance = 1e-7;

/// What one flash gave, in the curve routines' terms.
enum class FlashOutcome {
    ok,             ///< converged
    not_converged,  ///< positive host code (message 502); the result is usable
    unusable,       ///< positive host code with nothing usable behind it (message 502)
    fatal,          ///< negative host code (message 507)
};

/// The run-log message of an outcome (0 for ok).
std::int64_t outcome_message(FlashOutcome outcome) noexcept;

class PointFlash {
public:
    /// Keeps references to `system` (which must outlive this object) and to the counter.
    PointFlash(const CurveSystem& system, std::int64_t& flash_counter) noexcept
        : system_(&system), counter_(&flash_counter) {}

    /// Bubble point ("PV", vapour fraction 0) of liquid x; y and T of the result are the answer.
    FlashOutcome bubble(std::span<const double> x);
    /// Dew point ("PV", vapour fraction 1) of vapour y; x and T of the result are the answer.
    FlashOutcome dew(std::span<const double> y);

    const properties::FlashResult& result() const noexcept { return result_; }

private:
    FlashOutcome run(std::span<const double> z, double vapour_fraction, double& start_temperature);

    const CurveSystem* system_;
    std::int64_t* counter_;
    double bubble_start_ = 0.0;  ///< last converged bubble temperature [K], 0: none
    double dew_start_ = 0.0;     ///< last converged dew temperature [K], 0: none
    properties::FlashResult result_;
};

/// A composition of n finite mole fractions, none below -kClipTolerance, summing to 1 within
/// 1e-6: what a flash must return to be usable.
bool usable_composition(std::span<const double> v, std::size_t n) noexcept;

/// The full composition x (n entries) of the integrated state y (n - 1 entries) as the right-hand
/// side sees it: x_n = 1 - sum(y), every entry clipped into [0, 1], and divided by the sum when
/// the clipped entries sum to more than 1.
void complete_and_clip(std::span<const double> y, std::span<double> x) noexcept;

/// Squared Euclidean distance of two compositions of the same size.
double squared_distance(std::span<const double> a, std::span<const double> b) noexcept;

/// Checks of the plain faces' arguments.
bool valid_system(const CurveSystem& system) noexcept;
/// A start composition: finite entries, none below -kClipTolerance, summing to 1 within
/// kStartSumTolerance.
bool valid_start(std::span<const double> x) noexcept;
/// How far from 1 the sum of a start composition may be. Clients round what they show (three
/// times 0.333 is 0.999); more than this is not a composition.
inline constexpr double kStartSumTolerance = 0.01;
/// Singular points of n components each (an empty list is valid).
bool valid_singular_points(const std::vector<SingularPoint>& points, std::size_t n) noexcept;

}  // namespace rcm::detail
