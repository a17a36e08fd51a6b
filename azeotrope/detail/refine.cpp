#include "azeotrope/detail/refine.hpp"

#include <algorithm>
#include <cmath>

#include "azeotrope/detail/lapack.hpp"

namespace azeotrope::detail {
namespace {

constexpr double kStep = 1e-6;
constexpr double kMaxChange = 0.05;

/// r = x - y from a flash; false when the flash cannot be used.
bool residual(const properties::FlashResult& f, std::size_t n, std::vector<double>& r) {
    if (!usable(f, n)) { return false; }
    for (std::size_t i = 0; i < n; ++i) { r[i] = f.x[i] - f.y[i]; }
    return true;
}

double max_abs(const std::vector<double>& v) {
    double m = 0.0;
    for (double a : v) { m = std::max(m, std::fabs(a)); }
    return m;
}

}  // namespace

Refinement refine_azeotrope(BubblePoint& bubble,
                            std::span<const double> x0,
                            double target,
                            int max_iterations) {
    Refinement out;
    const std::size_t n = x0.size();
    out.x.assign(x0.begin(), x0.end());
    if (n < 2) { return out; }
    const std::size_t m = n - 1;
    std::vector<double> r(n), r_trial(n), trial(n), jacobian(m * m), step(m);
    std::vector<int> pivots(m);

    if (!residual(bubble(out.x), n, r)) {
        out.flash = bubble.last();
        return out;
    }
    out.flash = bubble.last();
    out.residual = max_abs(r);

    for (int iteration = 0; iteration < max_iterations && out.residual > target; ++iteration) {
        // Forward differences, column k moving h from the last component to component k (or
        // back when the last is too scarce to give it).
        for (std::size_t k = 0; k < m; ++k) {
            trial = out.x;
            const double h = out.x[m] > 2.0 * kStep ? kStep : -kStep;
            trial[k] += h;
            trial[m] -= h;
            if (trial[k] < 0.0 || !residual(bubble(trial), n, r_trial)) { return out; }
            for (std::size_t i = 0; i < m; ++i) { jacobian[i + k * m] = (r_trial[i] - r[i]) / h; }
        }
        for (std::size_t i = 0; i < m; ++i) { step[i] = -r[i]; }
        const int order = static_cast<int>(m);
        const int one = 1;
        int info = 0;
        dgesv_(&order, &one, jacobian.data(), &order, pivots.data(), step.data(), &order, &info);
        if (info != 0) { return out; }

        // Full step for the last component, then the damping that keeps every mole fraction
        // above half its value and no change above kMaxChange.
        double last = 0.0;
        for (double d : step) { last -= d; }
        double lambda = 1.0;
        const auto limit = [&](double xi, double di) {
            if (!std::isfinite(di)) { lambda = 0.0; }
            if (std::fabs(di) * lambda > kMaxChange) { lambda = kMaxChange / std::fabs(di); }
            if (di < 0.0 && xi + lambda * di < 0.5 * xi) { lambda = 0.5 * xi / -di; }
        };
        for (std::size_t i = 0; i < m; ++i) { limit(out.x[i], step[i]); }
        limit(out.x[m], last);
        if (!(lambda > 0.0)) { return out; }

        bool accepted = false;
        for (int halving = 0; halving < 4 && !accepted; ++halving, lambda /= 2.0) {
            for (std::size_t i = 0; i < m; ++i) { trial[i] = out.x[i] + lambda * step[i]; }
            trial[m] = out.x[m] + lambda * last;
            if (!residual(bubble(trial), n, r_trial)) { continue; }
            const double norm = max_abs(r_trial);
            if (norm < out.residual) {
                out.x = trial;
                r = r_trial;
                out.residual = norm;
                out.flash = bubble.last();
                accepted = true;
            }
        }
        if (!accepted) { break; }
    }
    out.converged = out.residual <= target;
    return out;
}

}  // namespace azeotrope::detail
