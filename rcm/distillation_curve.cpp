#include "rcm/distillation_curve.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <span>
#include <vector>

#include "engine/core/messages.hpp"
#include "rcm/detail/curve_support.hpp"
#include "rcm/detail/equilibrium.hpp"

namespace rcm {
namespace {

using engine::core::Message;

constexpr std::int64_t code(Message m) noexcept { return static_cast<std::int64_t>(m); }

/// (5e-5)^2 in single precision: both the rest threshold and the nearness of a singular point.
constexpr double kRestBelow = 2.4999998736893774e-09;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// One branch, tray by tray, with at most `limit` points (the start point included).
void run_branch(const CurveProblem& p,
                bool forward,
                std::size_t limit,
                detail::PointFlash& flash,
                detail::Branch& b,
                Curve& curve) {
    const std::size_t n = p.start.size();
    b.points.assign(p.start.begin(), p.start.end());
    b.temperatures.assign(1, kNaN);
    std::vector<double> current(p.start.begin(), p.start.end());
    double previous_d2 = 0.0;
    bool first_step = true;
    while (true) {
        if (b.count(n) >= limit) {
            curve.messages.push_back(code(Message::max_points_reached));
            curve.error = kDistillationCurvePointBudget;
            return;
        }
        const detail::FlashOutcome outcome = forward ? flash.dew(current) : flash.bubble(current);
        if (outcome != detail::FlashOutcome::ok) {
            curve.messages.push_back(detail::outcome_message(outcome));
        }
        if (outcome == detail::FlashOutcome::fatal || outcome == detail::FlashOutcome::unusable) {
            // A failed flash leaves zeros behind: as a tray composition they would end the
            // curve in a point that is no composition at all.
            curve.error = kDistillationCurveFlashFailed;
            return;
        }
        const properties::FlashResult& r = flash.result();
        const std::vector<double>& next = forward ? r.x : r.y;
        const bool converged = outcome == detail::FlashOutcome::ok;
        // A dew point's liquid boils at the dew temperature; a bubble point gives the
        // temperature of the current point, not of the vapour that becomes the next one.
        if (!forward && converged) { b.temperatures.back() = r.temperature; }
        const double d2 = detail::squared_distance(next, current);
        b.points.insert(b.points.end(), next.begin(), next.end());
        b.temperatures.push_back(forward && converged ? r.temperature : kNaN);
        current.assign(next.begin(), next.end());

        if (!first_step && d2 <= kRestBelow && previous_d2 > d2 &&
            detail::ends_here(p.stop, forward, current, p.singular_points, kRestBelow)) {
            return;
        }
        previous_d2 = d2;
        first_step = false;
    }
}

bool valid_problem(const CurveProblem& p) noexcept {
    const std::size_t n = p.system.components.size();
    return detail::valid_system(p.system) && p.start.size() == n && detail::valid_start(p.start) &&
           p.capacity >= 1 &&
           (p.directions == Directions::both || p.directions == Directions::forward ||
            p.directions == Directions::backward) &&
           (p.stop == StopMode::at_node || p.stop == StopMode::at_rest ||
            p.stop == StopMode::at_singular_point) &&
           detail::valid_singular_points(p.singular_points, n);
}

}  // namespace

Curve trace_distillation_curve(const CurveProblem& problem) {
    Curve curve;
    if (!valid_problem(problem)) { return curve; }
    const std::size_t n = problem.system.components.size();
    curve.component_count = n;
    curve.error = kDistillationCurveOk;
    try {
        detail::PointFlash flash(problem.system, curve.flashes);
        detail::Branch forward, backward;
        if (problem.directions != Directions::backward) {
            run_branch(problem, true, problem.capacity, flash, forward, curve);
        }
        if (problem.directions != Directions::forward) {
            run_branch(problem, false, problem.capacity - forward.count(n), flash, backward, curve);
        }
        // The start point's temperature comes from the backward branch's first flash when
        // there is one: the forward branch's copy of the start point takes it over.
        if (!backward.temperatures.empty() && !forward.temperatures.empty()) {
            forward.temperatures.front() = backward.temperatures.front();
        }
        detail::assemble(backward, forward, problem.directions, n, problem.temperatures, curve);
        if (problem.temperatures) { detail::fill_temperatures(problem.system, curve); }
    } catch (const std::bad_alloc&) {
        curve.points.clear();
        curve.temperatures.clear();
        curve.order = 0;
        curve.error = kDistillationCurveWorkSpace;
        curve.messages.push_back(code(Message::allocation_error));
    }
    return curve;
}

}  // namespace rcm

extern "C" void Distillation_Curve(const std::int64_t* nc,
                                   const double* x0,
                                   const std::int64_t* directions,
                                   const std::int64_t* stop_mode,
                                   const std::int64_t* nsing,
                                   const double* singular_compositions,
                                   const std::int64_t* stability_codes,
                                   const double* pressure,
                                   const std::int64_t* component_ids,
                                   const char* option_set,
                                   const std::int64_t* phase_count,
                                   std::int64_t* points,
                                   std::int64_t* order,
                                   double* result,
                                   std::int64_t* error,
                                   const std::int64_t* option_set_length) noexcept {
    if (error == nullptr) { return; }
    *error = rcm::kCurveBadArguments;
    if (points == nullptr || order == nullptr || result == nullptr) { return; }
    try {
        rcm::CurveProblem problem;
        const rcm::detail::CurveArguments a{nc,
                                            x0,
                                            directions,
                                            stop_mode,
                                            nsing,
                                            singular_compositions,
                                            stability_codes,
                                            pressure,
                                            component_ids,
                                            option_set,
                                            option_set_length,
                                            phase_count,
                                            points};
        const bool readable = rcm::detail::read_curve_arguments(a, problem);
        *order = 0;
        if (!readable) {
            *points = 0;
            return;
        }
        const auto n = static_cast<std::size_t>(*nc);
        const auto capacity = static_cast<std::size_t>(*points);
        std::fill(result, result + capacity * n, -1.0);
        *points = 0;

        const rcm::Curve curve = rcm::trace_distillation_curve(problem);
        rcm::detail::store_curve(curve, capacity, n, result);
        *points = static_cast<std::int64_t>(curve.point_count());
        *order = curve.order;
        *error = curve.error;
        rcm::detail::write_run_log(curve.messages);
    } catch (...) {
        // Only allocation can fail here.
        *error = rcm::kDistillationCurveWorkSpace;
        const std::int64_t message =
            static_cast<std::int64_t>(engine::core::Message::allocation_error);
        rcm::detail::write_run_log(std::span(&message, 1));
    }
}
