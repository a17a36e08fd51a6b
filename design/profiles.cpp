#include "design/profiles.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "design/detail/flash.hpp"

namespace design {
namespace {

/// Column k (0-based stage) of a profile array.
std::span<double> stage(std::vector<double>& v, std::size_t n, std::size_t k) {
    return std::span<double>(v).subspan(k * n, n);
}
std::span<const double> stage(const std::vector<double>& v, std::size_t n, std::size_t k) {
    return std::span<const double>(v).subspan(k * n, n);
}

double squared_step(const std::vector<double>& x, std::size_t n, std::size_t k) {
    double d = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double diff = x[k * n + i] - x[(k - 1) * n + i];
        d += diff * diff;
    }
    return d;
}

/// The pinch test. A step of exactly 0 repeats forever (the same composition flashes to the
/// same result), so it counts as a pinch even when the step before it was 0 too.
bool pinched(double d, double d_previous) {
    return d <= kPinchThreshold && (d < d_previous || d == 0.0);
}

Profile empty_profile(std::size_t n, std::int64_t max_stages) {
    Profile p;
    const auto m = static_cast<std::size_t>(std::max<std::int64_t>(max_stages, 0));
    p.x.assign(n * m, -1.0);
    p.y.assign(n * m, -1.0);
    p.T.assign(m, -1.0);
    return p;
}

void cut_short(Profile& p,
               std::size_t n,
               std::size_t k,
               std::int64_t code,
               std::string_view section,
               MessageLog& log) {
    std::fill_n(p.x.begin() + static_cast<std::ptrdiff_t>(k * n), n, -1.0);
    std::fill_n(p.y.begin() + static_cast<std::ptrdiff_t>(k * n), n, -1.0);
    p.T[k] = -1.0;
    p.count = static_cast<std::int64_t>(k);
    p.status = 1;
    p.flash_error = code != 0 ? code : -1;
    log.line("***** Fatal Flash Error during " + std::string(section) + " profilecalculations");
    log.line("      The " + std::string(section) + " profile may be incomplete");
}

void ran_out(Profile& p, std::int64_t iStopCriteria, std::string_view section, MessageLog& log) {
    if (iStopCriteria == kTraceAllStages) { return; }
    log.line("***** Warning - reached the maximum number of stages");
    log.line("      The " + std::string(section) + " profile may be incomplete");
    p.status = 2;
}

}  // namespace

Profile stripping_profile(const PropertyContext& ctx,
                          std::int64_t iMaxStages,
                          std::int64_t iStopCriteria,
                          double S,
                          std::span<const double> x_B,
                          MessageLog& log) {
    const std::size_t n = x_B.size();
    Profile p = empty_profile(n, iMaxStages);
    const std::size_t m = p.T.size();
    if (m == 0) { return p; }

    std::copy(x_B.begin(), x_B.end(), p.x.begin());
    properties::FlashResult r = detail::pv_flash(ctx, x_B, 0.0);
    ++p.flashes;
    if (!detail::usable(r, n)) {
        cut_short(p, n, 0, r.error_code, "stripping", log);
        return p;
    }
    std::copy_n(r.y.begin(), n, p.y.begin());
    p.T[0] = r.temperature;
    p.count = 1;

    double d_previous = 0.0;
    for (std::size_t k = 1; k < m; ++k) {
        const std::span<double> x = stage(p.x, n, k);
        const std::span<const double> y_below = stage(std::as_const(p.y), n, k - 1);
        for (std::size_t i = 0; i < n; ++i) { x[i] = (S * y_below[i] + x_B[i]) / (S + 1.0); }
        r = detail::pv_flash(ctx, x, 0.0);
        ++p.flashes;
        if (!detail::usable(r, n)) {
            cut_short(p, n, k, r.error_code, "stripping", log);
            return p;
        }
        std::copy_n(r.y.begin(), n, stage(p.y, n, k).begin());
        p.T[k] = r.temperature;
        p.count = static_cast<std::int64_t>(k + 1);
        if (iStopCriteria != kTraceAllStages) {
            const double d = squared_step(p.x, n, k);
            if (k >= 2 && pinched(d, d_previous)) { return p; }
            d_previous = d;
        }
    }
    ran_out(p, iStopCriteria, "stripping", log);
    return p;
}

Profile rectifying_profile(const PropertyContext& ctx,
                           std::int64_t iMaxStages,
                           std::int64_t iStopCriteria,
                           double R,
                           std::span<const double> x_D,
                           std::span<const double> x_Reflux,
                           std::span<const double> y_Top,
                           MessageLog& log) {
    const std::size_t n = x_D.size();
    Profile p = empty_profile(n, iMaxStages);
    const std::size_t m = p.T.size();
    if (m == 0) { return p; }

    // Stage 1, the condenser or decanter: the reflux liquid, at the distillate's dew point.
    std::copy_n(x_Reflux.begin(), n, p.x.begin());
    properties::FlashResult r = detail::pv_flash(ctx, x_D, 1.0);
    ++p.flashes;
    if (!detail::usable(r, n)) {
        cut_short(p, n, 0, r.error_code, "rectifying", log);
        return p;
    }
    std::copy_n(r.y.begin(), n, p.y.begin());
    p.T[0] = r.temperature;
    p.count = 1;
    if (m < 2) {
        ran_out(p, iStopCriteria, "rectifying", log);
        return p;
    }

    // Stage 2, the top tray, whose vapour goes to the condenser.
    std::copy_n(y_Top.begin(), n, stage(p.y, n, 1).begin());
    r = detail::pv_flash(ctx, y_Top, 1.0);
    ++p.flashes;
    if (!detail::usable(r, n)) {
        cut_short(p, n, 1, r.error_code, "rectifying", log);
        return p;
    }
    std::copy_n(r.x.begin(), n, stage(p.x, n, 1).begin());
    p.T[1] = r.temperature;
    p.count = 2;

    double d_previous = squared_step(p.x, n, 1);
    for (std::size_t k = 2; k < m; ++k) {
        const std::span<double> y = stage(p.y, n, k);
        const std::span<const double> x_above = stage(std::as_const(p.x), n, k - 1);
        for (std::size_t i = 0; i < n; ++i) { y[i] = (R * x_above[i] + x_D[i]) / (R + 1.0); }
        r = detail::pv_flash(ctx, y, 1.0);
        ++p.flashes;
        if (!detail::usable(r, n)) {
            cut_short(p, n, k, r.error_code, "rectifying", log);
            return p;
        }
        std::copy_n(r.x.begin(), n, stage(p.x, n, k).begin());
        p.T[k] = r.temperature;
        p.count = static_cast<std::int64_t>(k + 1);
        if (iStopCriteria != kTraceAllStages) {
            const double d = squared_step(p.x, n, k);
            if (pinched(d, d_previous)) { return p; }
            d_previous = d;
        }
    }
    ran_out(p, iStopCriteria, "rectifying", log);
    return p;
}

Intersection find_intersection(std::size_t n,
                               std::span<const double> A,
                               std::int64_t count_A,
                               std::int64_t first_A,
                               std::int64_t last_A,
                               std::span<const double> B,
                               std::int64_t count_B,
                               std::int64_t first_B,
                               std::int64_t last_B) {
    Intersection out;
    out.x.assign(n, 0.0);
    if (n < 2) { return out; }
    const auto fits = [n](std::span<const double> v, std::int64_t count) {
        return std::min<std::int64_t>(count, static_cast<std::int64_t>(v.size() / n));
    };
    count_A = fits(A, count_A);
    count_B = fits(B, count_B);
    if (count_A < 2 || count_B < 2) { return out; }
    first_A = std::max<std::int64_t>(first_A, 1);
    first_B = std::max<std::int64_t>(first_B, 1);
    last_A = std::min(last_A, count_A);
    last_B = std::min(last_B, count_B);

    const auto at = [n](std::span<const double> v, std::int64_t stage_1based, std::size_t c) {
        return v[static_cast<std::size_t>(stage_1based - 1) * n + c];
    };
    for (std::int64_t i = first_A; i < last_A; ++i) {
        const double a0 = at(A, i + 1, 0) - at(A, i, 0);
        const double a1 = at(A, i + 1, 1) - at(A, i, 1);
        for (std::int64_t j = first_B; j < last_B; ++j) {
            const double b0 = at(B, j + 1, 0) - at(B, j, 0);
            const double b1 = at(B, j + 1, 1) - at(B, j, 1);
            const double c0 = at(B, j, 0) - at(A, i, 0);
            const double c1 = at(B, j, 1) - at(A, i, 1);
            // A(i) + s a = B(j) + t b, by Cramer's rule.
            const double det = b0 * a1 - a0 * b1;
            if (std::fabs(det) <= 1e-10) { continue; }
            const double s = (b0 * c1 - c0 * b1) / det;
            const double t = (a0 * c1 - a1 * c0) / det;
            if (!(s >= 0.0 && s <= 1.0 && t >= 0.0 && t <= 1.0)) { continue; }
            out.found = true;
            double sum = 0.0;
            for (std::size_t c = 0; c + 1 < n; ++c) {
                out.x[c] = at(A, i, c) + s * (at(A, i + 1, c) - at(A, i, c));
                sum += out.x[c];
            }
            out.x[n - 1] = 1.0 - sum;
            out.p_A = static_cast<double>(i) + s;
            out.p_B = static_cast<double>(j) + t;
            return out;
        }
    }
    return out;
}

}  // namespace design
