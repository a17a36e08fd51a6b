#include "rcm/detail/equilibrium.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

#include "engine/core/messages.hpp"

namespace rcm::detail {

using engine::core::Message;

std::int64_t outcome_message(FlashOutcome outcome) noexcept {
    switch (outcome) {
        case FlashOutcome::ok:
            return 0;
        case FlashOutcome::not_converged:
        case FlashOutcome::unusable:
            return static_cast<std::int64_t>(Message::flash_not_converged);
        case FlashOutcome::fatal:
            return static_cast<std::int64_t>(Message::fatal_flash_error);
    }
    return static_cast<std::int64_t>(Message::fatal_flash_error);
}

FlashOutcome PointFlash::bubble(std::span<const double> x) { return run(x, 0.0, bubble_start_); }

FlashOutcome PointFlash::dew(std::span<const double> y) { return run(y, 1.0, dew_start_); }

FlashOutcome PointFlash::run(std::span<const double> z,
                             double vapour_fraction,
                             double& start_temperature) {
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.phase_count = system_->phase_count;
    request.option_set = system_->option_set;
    request.components = system_->components;
    request.composition = z;
    // Neighbouring points boil at nearly the same temperature: starting there saves host
    // iterations and does not move the converged answer.
    request.temperature = start_temperature;
    request.pressure = system_->pressure;
    request.vapour_fraction = vapour_fraction;
    ++*counter_;
    try {
        result_ = properties::calc_flash(request);
    } catch (const std::bad_alloc&) { throw; } catch (...) {
        // The service reports through codes; anything it throws is as fatal as a host error.
        result_ = properties::FlashResult{};
        return FlashOutcome::fatal;
    }

    const std::size_t n = system_->components.size();
    const bool values = std::isfinite(result_.temperature) && result_.temperature > 0.0 &&
                        usable_composition(result_.x, n) && usable_composition(result_.y, n);
    if (result_.error_code < 0) { return FlashOutcome::fatal; }
    if (result_.error_code > 0) {
        return values ? FlashOutcome::not_converged : FlashOutcome::unusable;
    }
    // A success without numbers behind it cannot steer a curve; it is as bad as a fatal error.
    if (!values) { return FlashOutcome::fatal; }
    start_temperature = result_.temperature;
    return FlashOutcome::ok;
}

bool usable_composition(std::span<const double> v, std::size_t n) noexcept {
    if (v.size() != n || n == 0) { return false; }
    double sum = 0.0;
    for (const double a : v) {
        if (!std::isfinite(a) || a < -kClipTolerance) { return false; }
        sum += a;
    }
    return std::abs(sum - 1.0) <= 1e-6;
}

void complete_and_clip(std::span<const double> y, std::span<double> x) noexcept {
    const std::size_t m = y.size();
    double partial = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        partial += y[i];
        x[i] = y[i];
    }
    x[m] = 1.0 - partial;
    double sum = 0.0;
    for (std::size_t i = 0; i <= m; ++i) {
        x[i] = std::clamp(x[i], 0.0, 1.0);
        sum += x[i];
    }
    if (sum > 1.0) {
        for (std::size_t i = 0; i <= m; ++i) { x[i] /= sum; }
    }
}

double squared_distance(std::span<const double> a, std::span<const double> b) noexcept {
    double d2 = 0.0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const double d = a[i] - b[i];
        d2 += d * d;
    }
    return d2;
}

bool valid_system(const CurveSystem& system) noexcept {
    const std::size_t n = system.components.size();
    return n >= 2 && n <= kMaxCurveComponents && std::isfinite(system.pressure) &&
           system.pressure > 0.0 && (system.phase_count == 2 || system.phase_count == 3);
}

bool valid_start(std::span<const double> x) noexcept {
    double sum = 0.0;
    for (const double a : x) {
        if (!std::isfinite(a) || a < -kClipTolerance || a > 1.0 + kClipTolerance) { return false; }
        sum += a;
    }
    return !x.empty() && std::abs(sum - 1.0) <= kStartSumTolerance;
}

bool valid_singular_points(const std::vector<SingularPoint>& points, std::size_t n) noexcept {
    return std::all_of(points.begin(), points.end(), [n](const SingularPoint& p) {
        return p.x.size() == n &&
               std::all_of(p.x.begin(), p.x.end(), [](double a) { return std::isfinite(a); });
    });
}

}  // namespace rcm::detail
