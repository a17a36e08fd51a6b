#include "rcm/residue_curve.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <new>

#include "azeotrope/azeo_search.hpp"
#include "engine/core/messages.hpp"
#include "rcm/detail/curve_support.hpp"
#include "rcm/detail/equilibrium.hpp"
#include "rcm/ode/lsoda.hpp"
#include "rcm/residue_field.hpp"

namespace rcm {
namespace {

using engine::core::Message;

constexpr std::int64_t code(Message m) noexcept { return static_cast<std::int64_t>(m); }

// Output-step control on the squared distance d2 between stored points. The odd digits are the
// single-precision values the control has always used; they are kept so that curves stay
// reproducible point for point.
constexpr double kRejectAbove = 0.0025000000000000005;   ///< (0.05)^2: too far, retry shorter
constexpr double kRejectFactor = 0.002000000029802323;   ///< new step = step * this / d2
constexpr double kGrowBelow = 0.000225;                  ///< (0.015)^2: too close, go further
constexpr double kGrowFactor = 0.00028125;               ///< new step = step * this / d2
constexpr double kRestBelow = 2.5e-9;                    ///< (5e-5)^2: the curve comes to rest
constexpr double kNearSingular = 2.500000237487262e-07;  ///< (5e-4)^2

/// One call's integration of the residue-curve field.
class Tracer {
public:
    Tracer(const CurveProblem& problem, Curve& curve)
        : problem_(problem),
          curve_(curve),
          n_(problem.system.components.size()),
          m_(n_ - 1),
          field_(problem.system),
          h_min_(problem.step / 5.0),
          h_max_(5.0 * problem.step) {
        settings_.rtol = {kResidueCurveTolerance};
        settings_.atol = {kResidueCurveTolerance};
        settings_.task = ode::Task::normal;
        settings_.jacobian_type = ode::JacobianType::user_full;
        settings_.messages = problem.integrator_messages;
        rhs_ = [this](double, std::span<const double> y, std::span<double> ydot) {
            return field_.rhs(y, ydot);
        };
        jacobian_ = [this](double, std::span<const double> y, std::int64_t, std::int64_t,
                           std::span<double> pd,
                           std::int64_t nrowpd) { return field_.jacobian(y, pd, nrowpd); };
    }

    /// Traces one branch into b, with at most `limit` points (the start point included).
    void run_branch(bool forward, std::size_t limit, detail::Branch& b);

    /// Moves the field's work counts into the curve.
    void count_work() {
        curve_.flashes += field_.flashes();
        curve_.rhs_calls = field_.rhs_calls();
        curve_.jacobian_calls = field_.jacobian_calls();
    }

private:
    void take_field_messages() {
        for (const std::int64_t c : field_.take_messages()) { curve_.messages.push_back(c); }
    }

    const CurveProblem& problem_;
    Curve& curve_;
    std::size_t n_, m_;
    ResidueField field_;
    double h_min_, h_max_;
    ode::LsodaState state_;
    ode::LsodaSettings settings_;
    ode::RightHandSide rhs_;
    ode::JacobianFunction jacobian_;
};

void Tracer::run_branch(bool forward, std::size_t limit, detail::Branch& b) {
    const std::span<const double> start = problem_.start;
    // The start point is stored as given: a client's rounding stays visible in the curve.
    b.points.assign(start.begin(), start.end());
    std::vector<double> y(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(m_));
    std::vector<double> x(n_);
    std::vector<double> last(start.begin(), start.end());  // last stored point
    double t = 0.0;
    double t_last = 0.0;
    std::int64_t istate = 1;
    double s = problem_.step;
    double previous_d2 = 0.0;
    bool first_step = true;
    const double sense = forward ? 1.0 : -1.0;

    while (true) {
        if (b.count(n_) >= limit) {
            curve_.messages.push_back(code(Message::max_points_reached));
            curve_.error = kResidueCurvePointBudget;
            return;
        }
        const std::int64_t steps_before = istate == 1 ? 0 : state_.steps;
        ode::integrate(state_, rhs_, jacobian_, y, t, t + sense * s, istate, settings_);
        curve_.steps += std::max<std::int64_t>(state_.steps - steps_before, 0);
        take_field_messages();
        if (istate == -1) {
            // Too much work before tout is no failure for curve tracing: go on from where the
            // integrator got to.
            istate = 2;
        } else if (istate < 0) {
            curve_.messages.push_back(code(forward ? Message::integration_fatal_forward
                                                   : Message::integration_fatal_backward));
            curve_.error = kResidueCurveIntegrationFailed;
            return;
        }

        // Complete the composition and pull it back into the simplex where the integrator left
        // it; the integrator then starts afresh from the corrected point.
        double partial = 0.0;
        for (std::size_t i = 0; i < m_; ++i) {
            x[i] = y[i];
            partial += y[i];
        }
        x[m_] = 1.0 - partial;
        bool clipped = false;
        for (double& v : x) {
            if (v < -detail::kClipTolerance) {
                v = 0.0;
                clipped = true;
            } else if (v > 1.0 + detail::kClipTolerance) {
                v = 1.0;
                clipped = true;
            }
        }
        if (clipped) {
            // The noise that was let through goes too, so that the normalised point lies in
            // the simplex exactly.
            double sum = 0.0;
            for (double& v : x) {
                v = std::clamp(v, 0.0, 1.0);
                sum += v;
            }
            for (double& v : x) { v /= sum; }
            std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(m_), y.begin());
            istate = 1;
        }

        const double d2 = detail::squared_distance(x, last);
        if (s > h_min_ && d2 > kRejectAbove) {
            // Too far from the last point for a smooth curve: back to it with a shorter step.
            std::copy(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(m_), y.begin());
            t = t_last;
            istate = 1;
            s = std::max(h_min_, s * kRejectFactor / d2);
            continue;
        }

        b.points.insert(b.points.end(), x.begin(), x.end());
        last = x;
        t_last = t;
        s = std::max(s, h_min_);
        if (s >= h_max_) {
            s = h_max_;
        } else if (d2 < kGrowBelow) {
            // d2 may be 0 at a singular point: the quotient is then infinite and min() keeps h_max.
            s = std::min(h_max_, s * kGrowFactor / d2);
        }

        if (!first_step && d2 <= kRestBelow && previous_d2 > d2 &&
            detail::ends_here(problem_.stop, forward, x, problem_.singular_points, kNearSingular)) {
            return;
        }
        previous_d2 = d2;
        first_step = false;
    }
}

bool valid_problem(const CurveProblem& p) noexcept {
    const std::size_t n = p.system.components.size();
    return detail::valid_system(p.system) && p.start.size() == n && detail::valid_start(p.start) &&
           std::isfinite(p.step) && p.step > 0.0 && p.capacity >= 1 &&
           (p.directions == Directions::both || p.directions == Directions::forward ||
            p.directions == Directions::backward) &&
           (p.stop == StopMode::at_node || p.stop == StopMode::at_rest ||
            p.stop == StopMode::at_singular_point) &&
           detail::valid_singular_points(p.singular_points, n);
}

}  // namespace

Curve trace_residue_curve(const CurveProblem& problem) {
    Curve curve;
    if (!valid_problem(problem)) { return curve; }
    const std::size_t n = problem.system.components.size();
    curve.component_count = n;
    try {
        Tracer tracer(problem, curve);
        curve.error = kResidueCurveOk;
        detail::Branch forward, backward;
        if (problem.directions != Directions::backward) {
            tracer.run_branch(true, problem.capacity, forward);
        }
        if (problem.directions != Directions::forward) {
            tracer.run_branch(false, problem.capacity - forward.count(n), backward);
        }
        tracer.count_work();
        detail::assemble(backward, forward, problem.directions, n, problem.temperatures, curve);
        if (problem.temperatures) { detail::fill_temperatures(problem.system, curve); }
    } catch (const std::bad_alloc&) {
        curve.points.clear();
        curve.temperatures.clear();
        curve.order = 0;
        curve.error = kResidueCurveWorkSpace;
        curve.messages.push_back(code(Message::allocation_error));
    }
    return curve;
}

std::vector<double> bubble_temperatures(const CurveSystem& system,
                                        std::span<const double> points,
                                        std::int64_t& flashes) {
    const std::size_t n = system.components.size();
    std::vector<double> out;
    if (n == 0) { return out; }
    out.reserve(points.size() / n);
    detail::PointFlash flash(system, flashes);
    std::vector<double> x(n);
    for (std::size_t k = 0; (k + 1) * n <= points.size(); ++k) {
        // Stored points may carry integration noise a little below zero, which no flash takes.
        for (std::size_t i = 0; i < n; ++i) { x[i] = std::max(points[k * n + i], 0.0); }
        const bool ok = detail::valid_system(system) && flash.bubble(x) == detail::FlashOutcome::ok;
        out.push_back(ok ? flash.result().temperature : std::numeric_limits<double>::quiet_NaN());
    }
    return out;
}

std::vector<SingularPoint> singular_points_from_search(const azeotrope::SearchResult& search) {
    const std::size_t n = search.pure_temperatures.size();
    std::vector<SingularPoint> out;
    out.reserve(search.singular_point_count());
    for (std::size_t i = 0; i < n; ++i) {
        SingularPoint p;
        p.x.assign(n, 0.0);
        p.x[i] = 1.0;
        p.stability = i < search.pure_stability.size() ? search.pure_stability[i]
                                                       : azeotrope::Stability::unclassified;
        p.temperature = search.pure_temperatures[i];
        out.push_back(std::move(p));
    }
    for (const azeotrope::Azeotrope& a : search.azeotropes) {
        out.push_back({a.x, a.stability, a.temperature});
    }
    return out;
}

std::vector<SingularPoint> singular_points_from_arrays(std::size_t n,
                                                       std::size_t count,
                                                       const double* compositions,
                                                       const std::int64_t* stability,
                                                       const double* temperatures) {
    std::vector<SingularPoint> out;
    if (compositions == nullptr || stability == nullptr) { return out; }
    out.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        SingularPoint p;
        p.x.assign(compositions + k * n, compositions + (k + 1) * n);
        p.stability = azeotrope::stability_from_code(stability[k]);
        p.temperature = temperatures != nullptr ? temperatures[k] : 0.0;
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace rcm

extern "C" void residue_curve(const std::int64_t* nc,
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
                              const double* step,
                              std::int64_t* points,
                              std::int64_t* order,
                              double* result,
                              std::int64_t* error,
                              const std::int64_t* option_set_length) noexcept {
    if (error == nullptr) { return; }
    *error = rcm::kCurveBadArguments;
    if (points == nullptr || order == nullptr || result == nullptr || step == nullptr) { return; }
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
        problem.step = *step;
        problem.integrator_messages = rcm::ode::standard_output();
        // The settings of RCM_FUN and RCM_JAC describe the mixture being traced.
        if (!rcm::set_residue_curve_settings(problem.system)) { return; }

        const rcm::Curve curve = rcm::trace_residue_curve(problem);
        rcm::detail::store_curve(curve, capacity, n, result);
        *points = static_cast<std::int64_t>(curve.point_count());
        *order = curve.order;
        *error = curve.error;
        rcm::detail::write_run_log(curve.messages);
    } catch (...) {
        // Only allocation can fail here.
        *error = rcm::kResidueCurveWorkSpace;
        const std::int64_t message =
            static_cast<std::int64_t>(engine::core::Message::allocation_error);
        rcm::detail::write_run_log(std::span(&message, 1));
    }
}
