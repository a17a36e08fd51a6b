#include "rcm/isovolatility.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>

#include "engine/core/fixed_field.hpp"
#include "rcm/detail/curve_support.hpp"
#include "rcm/detail/equilibrium.hpp"

namespace rcm {
namespace {

using Point = std::array<double, 3>;

constexpr double kExcludedStart = 1e-5;    ///< the excluded component on the first search line
constexpr double kSecondRowOffset = 0.01;  ///< raise of the excluded one after the first point
constexpr double kFirstTrial = 0.005;      ///< first secant step along the search direction
constexpr double kMaxIncrement = 0.1;      ///< largest secant increment
constexpr double kEdgeDistance = 0.005;    ///< a pair component this small: the curve is at an edge
constexpr double kVerticalSlope = 1e30;    ///< search slope that means "along x_1"
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void normalise(Point& x) noexcept {
    const double sum = x[0] + x[1] + x[2];
    for (double& v : x) { v /= sum; }
}

/// The corrector's working state for one curve.
class IsovolatilityTracer {
public:
    IsovolatilityTracer(const CurveSystem& system,
                        std::size_t excluded,
                        double target,
                        IsovolatilityCurve& curve)
        : flash_(system, curve.flashes), i_(excluded), target_(target), curve_(curve) {
        j_ = excluded == 0 ? 1 : 0;
        k_ = excluded == 2 ? 1 : 2;
    }

    void trace(Point x, std::size_t capacity);

private:
    /// Bubble point of x; false (curve ended) when it fails. Sets f = K_j - target K_k.
    bool evaluate(const Point& x, double& f) {
        if (flash_.bubble(x) != detail::FlashOutcome::ok) {
            curve_.end = IsovolatilityEnd::flash_failed;
            return false;
        }
        const std::vector<double>& y = flash_.result().y;
        f = y[j_] / x[j_] - target_ * (y[k_] / x[k_]);
        if (!std::isfinite(f)) {
            curve_.end = IsovolatilityEnd::flash_failed;
            return false;
        }
        return true;
    }

    /// Stores x with the temperature and K_i of the last flash, which must be the flash of x.
    void store(const Point& x) {
        curve_.points.insert(curve_.points.end(), x.begin(), x.end());
        curve_.temperatures.push_back(flash_.result().temperature);
        curve_.k_excluded.push_back(x[i_] > 0.0 ? flash_.result().y[i_] / x[i_] : kNaN);
    }

    /// The secant search from x along the direction of `slope`; the converged point in x.
    bool correct(Point& x, double slope);

    detail::PointFlash flash_;
    std::size_t i_, j_ = 0, k_ = 0;
    double target_;
    IsovolatilityCurve& curve_;
};

bool IsovolatilityTracer::correct(Point& x, double slope) {
    const std::array<double, 3> rates = [slope] {
        // theta = atan(slope); (sin, -(sin + cos), cos) keeps the sum of the mole fractions.
        const double theta = std::atan(slope);
        return std::array<double, 3>{std::sin(theta), -(std::sin(theta) + std::cos(theta)),
                                     std::cos(theta)};
    }();
    double f_previous = 0.0;
    if (!evaluate(x, f_previous)) { return false; }
    double t_previous = 0.0;
    double t = kFirstTrial;
    for (int trial = 1;; ++trial) {
        Point trial_x;
        for (std::size_t m = 0; m < 3; ++m) { trial_x[m] = x[m] + t * rates[m]; }
        if (std::any_of(trial_x.begin(), trial_x.end(), [](double v) { return v < 0.0; })) {
            curve_.end = IsovolatilityEnd::left_triangle;
            return false;
        }
        double f = 0.0;
        if (!evaluate(trial_x, f)) { return false; }
        if (std::abs(f) < kIsovolatilityTolerance) {
            x = trial_x;
            return true;
        }
        if (trial > kIsovolatilityMaxTrials) {
            curve_.end = IsovolatilityEnd::not_converged;
            return false;
        }
        double dt = t - t_previous;
        if (dt == 0.0) { dt = 1e-30; }
        const double increment = -f * dt / (f - f_previous);
        if (std::isnan(increment)) {
            curve_.end = IsovolatilityEnd::not_converged;
            return false;
        }
        t_previous = t;
        f_previous = f;
        t += std::clamp(increment, -kMaxIncrement, kMaxIncrement);
    }
}

void IsovolatilityTracer::trace(Point x, std::size_t capacity) {
    double slope = i_ == 0 ? 0.0 : (i_ == 1 ? -1.0 : kVerticalSlope);
    x[i_] = kExcludedStart;
    Point previous{};
    bool first = true;
    while (true) {
        if (curve_.point_count() >= capacity) {
            curve_.end = IsovolatilityEnd::capacity;
            return;
        }
        normalise(x);
        if (x[j_] == 0.0 || x[k_] == 0.0) {
            curve_.end = IsovolatilityEnd::component_absent;
            return;
        }
        if (!correct(x, slope)) { return; }
        store(x);
        if (x[j_] < kEdgeDistance || x[k_] < kEdgeDistance) {
            curve_.end = IsovolatilityEnd::reached_edge;
            return;
        }
        if (first) {
            previous = x;
            x[i_] += kSecondRowOffset;
            first = false;
            continue;
        }

        // Predictor along the chord of the last two points, in the (x_1, x_3) plane.
        const double d1 = x[0] - previous[0];
        const double d3 = x[2] - previous[2];
        const double length = std::hypot(d1, d3);
        if (!(length > 0.0)) {
            curve_.end = IsovolatilityEnd::not_converged;
            return;
        }
        const Point rates{d1 / length, -(d1 + d3) / length, d3 / length};
        double step = kIsovolatilityPredictorStep;
        std::size_t limiting = 3;
        for (std::size_t m = 0; m < 3; ++m) {
            if (rates[m] < 0.0 && x[m] + step * rates[m] < 0.0) {
                step = x[m] / -rates[m];
                limiting = m;
            }
        }
        previous = x;
        for (std::size_t m = 0; m < 3; ++m) { x[m] += step * rates[m]; }
        if (limiting < 3) {
            // The chord leaves the triangle before the full step: its end on the edge is the
            // curve's last point, with its own bubble point.
            x[limiting] = 0.0;
            normalise(x);
            if (curve_.point_count() >= capacity) {
                curve_.end = IsovolatilityEnd::capacity;
                return;
            }
            if (flash_.bubble(x) != detail::FlashOutcome::ok) {
                curve_.end = IsovolatilityEnd::flash_failed;
                return;
            }
            store(x);
            curve_.end = IsovolatilityEnd::predicted_edge;
            return;
        }
        slope = d1 == 0.0 ? kVerticalSlope : -d3 / d1;
    }
}

}  // namespace

IsovolatilityCurve trace_isovolatility_curve(const CurveSystem& system,
                                             std::int64_t excluded,
                                             std::span<const double> start,
                                             double target_ratio,
                                             std::size_t capacity) {
    IsovolatilityCurve curve;
    curve.excluded = excluded;
    if (!detail::valid_system(system) || system.components.size() != 3 || excluded < 1 ||
        excluded > 3 || start.size() != 3 || !std::isfinite(target_ratio) || target_ratio <= 0.0 ||
        std::any_of(start.begin(), start.end(),
                    [](double v) { return !std::isfinite(v) || v < 0.0; }) ||
        start[0] + start[1] + start[2] <= 0.0) {
        return curve;
    }
    curve.end = IsovolatilityEnd::flash_failed;
    IsovolatilityTracer tracer(system, static_cast<std::size_t>(excluded - 1), target_ratio, curve);
    tracer.trace(Point{start[0], start[1], start[2]}, capacity);
    return curve;
}

IsovolatilityCurves isovolatility_curves(const CurveSystem& system,
                                         std::size_t curve_capacity,
                                         std::size_t point_capacity) {
    IsovolatilityCurves out;
    if (!detail::valid_system(system) || system.components.size() != 3) { return out; }
    out.error = 0;
    for (std::int64_t excluded = 1; excluded <= 3 && out.curves.size() < curve_capacity;
         ++excluded) {
        Point start{0.5, 0.5, 0.5};
        start[static_cast<std::size_t>(excluded - 1)] = 0.0;
        IsovolatilityCurve curve =
            trace_isovolatility_curve(system, excluded, start, 1.0, point_capacity);
        out.flashes += curve.flashes;
        if (curve.point_count() > 0) { out.curves.push_back(std::move(curve)); }
    }
    return out;
}

}  // namespace rcm

namespace {

bool read_system(const std::int64_t* nc,
                 const double* pressure,
                 const std::int64_t* component_ids,
                 const std::int64_t* phase_count,
                 const char* option_set,
                 const std::int64_t* option_set_length,
                 rcm::CurveSystem& system) {
    if (nc == nullptr || pressure == nullptr || component_ids == nullptr ||
        phase_count == nullptr || *nc != 3) {
        return false;
    }
    system.components.assign(component_ids, component_ids + 3);
    system.pressure = *pressure;
    system.phase_count = *phase_count;
    const std::int64_t length = option_set_length != nullptr ? *option_set_length : 0;
    system.option_set = std::string(engine::core::trimmed_field(option_set, length));
    return rcm::detail::valid_system(system);
}

}  // namespace

extern "C" void Isovolatility_Curves(const std::int64_t* nc,
                                     const double* pressure,
                                     const std::int64_t* component_ids,
                                     const std::int64_t* phase_count,
                                     const char* option_set,
                                     std::int64_t* curves,
                                     std::int64_t* point_counts,
                                     double* store,
                                     std::int64_t* error,
                                     const std::int64_t* option_set_length) noexcept {
    if (error == nullptr) { return; }
    *error = rcm::kCurveBadArguments;
    if (curves == nullptr || point_counts == nullptr || store == nullptr) { return; }
    try {
        const std::int64_t curve_capacity = std::min<std::int64_t>(*curves, rcm::kCurveCapacity);
        const std::int64_t point_capacity =
            std::min<std::int64_t>(point_counts[0], rcm::kCurvePointCapacity);
        *curves = 0;
        rcm::CurveSystem system;
        if (curve_capacity < 1 || point_capacity < 1 ||
            !read_system(nc, pressure, component_ids, phase_count, option_set, option_set_length,
                         system)) {
            return;
        }
        const auto stride = static_cast<std::size_t>(point_capacity) * 3;
        std::fill(point_counts, point_counts + curve_capacity, 0);
        std::fill(store, store + static_cast<std::size_t>(curve_capacity) * stride, -1.0);
        const rcm::IsovolatilityCurves found =
            rcm::isovolatility_curves(system, static_cast<std::size_t>(curve_capacity),
                                      static_cast<std::size_t>(point_capacity));
        for (std::size_t c = 0; c < found.curves.size(); ++c) {
            const rcm::IsovolatilityCurve& curve = found.curves[c];
            point_counts[c] = static_cast<std::int64_t>(curve.point_count());
            std::copy(curve.points.begin(), curve.points.end(), store + c * stride);
        }
        *curves = static_cast<std::int64_t>(found.curves.size());
        *error = found.error;
    } catch (...) {
        // Only allocation can fail: no curves.
        *curves = 0;
    }
}

extern "C" void Isovolatility_Curve(std::int64_t* status,
                                    const std::int64_t* /*unused*/,
                                    const double* pressure,
                                    const std::int64_t* nc,
                                    const std::int64_t* component_ids,
                                    const std::int64_t* pair_selector,
                                    const double* composition,
                                    const double* target_ratio,
                                    const std::int64_t* capacity,
                                    std::int64_t* points_found,
                                    double* /*work*/,
                                    double* temperatures,
                                    double* k_excluded,
                                    double* x1,
                                    double* x2,
                                    double* x3,
                                    const std::int64_t* phase_count,
                                    const char* option_set,
                                    const std::int64_t* option_set_length) noexcept {
    if (status == nullptr || points_found == nullptr) { return; }
    *points_found = 0;
    rcm::CurveSystem system;
    if (pair_selector == nullptr || composition == nullptr || target_ratio == nullptr ||
        capacity == nullptr || *capacity < 1 || *capacity > rcm::detail::kMaxCurvePoints ||
        temperatures == nullptr || k_excluded == nullptr || x1 == nullptr || x2 == nullptr ||
        x3 == nullptr) {
        *status = rcm::kCurveBadArguments;
        return;
    }
    try {
        if (!read_system(nc, pressure, component_ids, phase_count, option_set, option_set_length,
                         system) ||
            *pair_selector < 1 || *pair_selector > 3) {
            *status = rcm::kCurveBadArguments;
            return;
        }
        const rcm::IsovolatilityCurve curve =
            rcm::trace_isovolatility_curve(system, *pair_selector, std::span(composition, 3),
                                           *target_ratio, static_cast<std::size_t>(*capacity));
        for (std::size_t p = 0; p < curve.point_count(); ++p) {
            x1[p] = curve.points[3 * p];
            x2[p] = curve.points[3 * p + 1];
            x3[p] = curve.points[3 * p + 2];
            temperatures[p] = curve.temperatures[p];
            k_excluded[p] = curve.k_excluded[p];
        }
        *points_found = static_cast<std::int64_t>(curve.point_count());
        if (curve.end == rcm::IsovolatilityEnd::bad_arguments) {
            *status = rcm::kCurveBadArguments;
        }
        if (curve.end == rcm::IsovolatilityEnd::component_absent && *status >= 2) { *status = 1; }
    } catch (...) {
        // Only allocation can fail: no points.
        *points_found = 0;
    }
}
