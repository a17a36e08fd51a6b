#include "rcm/detail/curve_support.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/core/fixed_field.hpp"
#include "engine/core/run_log.hpp"
#include "rcm/detail/equilibrium.hpp"
#include "rcm/residue_curve.hpp"

namespace rcm::detail {

using azeotrope::Stability;

bool ends_here(StopMode mode,
               bool forward,
               std::span<const double> x,
               const std::vector<SingularPoint>& singular_points,
               double radius2) noexcept {
    if (mode == StopMode::at_rest) { return true; }
    // A branch at rest next to a node of the wrong kind cannot be there for good: forward
    // curves end only at stable nodes, backward curves only at unstable ones.
    const Stability wanted = forward ? Stability::stable_node : Stability::unstable_node;
    return std::any_of(singular_points.begin(), singular_points.end(), [&](const SingularPoint& p) {
        return (mode == StopMode::at_singular_point || p.stability == wanted) &&
               squared_distance(x, p.x) <= radius2;
    });
}

void assemble(const Branch& backward,
              const Branch& forward,
              Directions directions,
              std::size_t n,
              bool temperatures,
              Curve& curve) {
    curve.component_count = n;
    curve.points.clear();
    curve.temperatures.clear();
    curve.forward_points = forward.count(n);
    curve.backward_points = backward.count(n);
    const auto append = [&](const Branch& b, std::size_t k) {
        curve.points.insert(curve.points.end(),
                            b.points.begin() + static_cast<std::ptrdiff_t>(k * n),
                            b.points.begin() + static_cast<std::ptrdiff_t>((k + 1) * n));
        if (temperatures) {
            curve.temperatures.push_back(k < b.temperatures.size()
                                             ? b.temperatures[k]
                                             : std::numeric_limits<double>::quiet_NaN());
        }
    };
    if (directions == Directions::backward) {
        for (std::size_t k = 0; k < backward.count(n); ++k) { append(backward, k); }
        curve.order = -2;
        return;
    }
    if (directions == Directions::both) {
        for (std::size_t k = backward.count(n); k-- > 0;) { append(backward, k); }
        for (std::size_t k = 1; k < forward.count(n); ++k) { append(forward, k); }
    } else {
        for (std::size_t k = 0; k < forward.count(n); ++k) { append(forward, k); }
    }
    curve.order = 2;
}

void fill_temperatures(const CurveSystem& system, Curve& curve) {
    const std::size_t n = curve.component_count;
    for (std::size_t k = 0; k < curve.temperatures.size(); ++k) {
        if (!std::isnan(curve.temperatures[k])) { continue; }
        std::int64_t flashes = 0;
        const std::vector<double> t =
            bubble_temperatures(system, std::span(curve.points).subspan(k * n, n), flashes);
        curve.flashes += flashes;
        curve.temperatures[k] = t.front();
    }
}

bool read_curve_arguments(const CurveArguments& a, CurveProblem& problem) {
    if (a.nc == nullptr || a.x0 == nullptr || a.directions == nullptr || a.stop_mode == nullptr ||
        a.pressure == nullptr || a.component_ids == nullptr || a.phase_count == nullptr ||
        a.points == nullptr) {
        return false;
    }
    if (*a.nc < 2 || *a.nc > static_cast<std::int64_t>(kMaxCurveComponents) || *a.directions < 1 ||
        *a.directions > 3 || *a.stop_mode < 1 || *a.stop_mode > 3 || *a.points < 1 ||
        *a.points > kMaxCurvePoints) {
        return false;
    }
    const auto n = static_cast<std::size_t>(*a.nc);
    problem.system.components.assign(a.component_ids, a.component_ids + n);
    problem.system.pressure = *a.pressure;
    problem.system.phase_count = *a.phase_count;
    const std::int64_t length = a.option_set_length != nullptr ? *a.option_set_length : 0;
    problem.system.option_set = std::string(engine::core::trimmed_field(a.option_set, length));
    problem.start.assign(a.x0, a.x0 + n);
    problem.directions = static_cast<Directions>(*a.directions);
    problem.stop = static_cast<StopMode>(*a.stop_mode);
    problem.capacity = static_cast<std::size_t>(*a.points);

    const std::int64_t azeotropes = a.nsing != nullptr ? *a.nsing : 0;
    if (azeotropes < 0 || azeotropes > kMaxSingularAzeotropes) { return false; }
    problem.singular_points =
        singular_points_from_arrays(n, n + static_cast<std::size_t>(azeotropes),
                                    a.singular_compositions, a.stability_codes, nullptr);
    return true;
}

void store_curve(const Curve& curve, std::size_t capacity, std::size_t n, double* result) noexcept {
    std::fill(result, result + capacity * n, -1.0);
    const std::size_t count = std::min(curve.points.size(), capacity * n);
    std::copy(curve.points.begin(), curve.points.begin() + static_cast<std::ptrdiff_t>(count),
              result);
}

void write_run_log(std::span<const std::int64_t> messages) noexcept {
    for (const std::int64_t code : messages) { engine::core::append_to_run_log(code); }
}

}  // namespace rcm::detail
