#include "host/detail/flash_numerics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace host::detail {

namespace {

double rachford_rice(std::span<const double> z,
                     std::span<const double> k,
                     double beta,
                     double* derivative) {
    double f = 0.0, df = 0.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] <= 0.0) { continue; }
        const double km1 = k[i] - 1.0;
        const double d = 1.0 + beta * km1;
        const double t = km1 / d;
        f += z[i] * t;
        df -= z[i] * t * t;
    }
    if (derivative != nullptr) { *derivative = df; }
    return f;
}

}  // namespace

RachfordRiceRoot solve_rachford_rice(std::span<const double> z, std::span<const double> k) {
    RachfordRiceRoot root;
    const double f0 = rachford_rice(z, k, 0.0, nullptr);
    if (!(f0 > 0.0)) {
        root.beta = 0.0;
        root.converged = std::isfinite(f0);
        return root;
    }
    const double f1 = rachford_rice(z, k, 1.0, nullptr);
    if (!(f1 < 0.0)) {
        root.beta = 1.0;
        root.converged = std::isfinite(f1);
        return root;
    }
    // The bracket that keeps every phase composition inside [0, 1].
    double lo = 0.0, hi = 1.0;
    for (std::size_t i = 0; i < z.size(); ++i) {
        if (z[i] <= 0.0) { continue; }
        if (k[i] > 1.0) {
            lo = std::max(lo, (k[i] * z[i] - 1.0) / (k[i] - 1.0));
        } else if (k[i] < 1.0) {
            hi = std::min(hi, (1.0 - z[i]) / (1.0 - k[i]));
        }
    }
    if (!(lo < hi)) {  // rounding when the root sits on a bound
        lo = 0.0;
        hi = 1.0;
    }
    double beta = 0.5 * (lo + hi);
    for (int it = 0; it < 200; ++it) {
        double df = 0.0;
        const double f = rachford_rice(z, k, beta, &df);
        if (f == 0.0) { break; }
        // f decreases strictly in beta, so its sign tells on which side the root is.
        if (f > 0.0) {
            lo = beta;
        } else {
            hi = beta;
        }
        double next = beta - f / df;
        if (!(next > lo && next < hi)) { next = 0.5 * (lo + hi); }
        const double change = std::abs(next - beta);
        beta = next;
        if (change < 1e-15 || hi - lo < 1e-15) {
            root.converged = true;
            break;
        }
    }
    if (!root.converged) { root.converged = std::abs(rachford_rice(z, k, beta, nullptr)) < 1e-12; }
    root.beta = beta;
    root.interior = true;
    return root;
}

bool cholesky_factor(std::span<double> a, std::size_t n) {
    for (std::size_t j = 0; j < n; ++j) {
        double d = a[j * n + j];
        for (std::size_t k = 0; k < j; ++k) { d -= a[j * n + k] * a[j * n + k]; }
        if (!(d > 0.0) || !std::isfinite(d)) { return false; }
        const double l = std::sqrt(d);
        a[j * n + j] = l;
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = a[i * n + j];
            for (std::size_t k = 0; k < j; ++k) { s -= a[i * n + k] * a[j * n + k]; }
            a[i * n + j] = s / l;
        }
    }
    return true;
}

void cholesky_solve(std::span<const double> l, std::size_t n, std::span<double> b) {
    for (std::size_t i = 0; i < n; ++i) {
        double s = b[i];
        for (std::size_t k = 0; k < i; ++k) { s -= l[i * n + k] * b[k]; }
        b[i] = s / l[i * n + i];
    }
    for (std::size_t i = n; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < n; ++k) { s -= l[k * n + i] * b[k]; }
        b[i] = s / l[i * n + i];
    }
}

double log_sum_exp(std::span<const double> a, std::span<const double> weights) {
    double m = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (weights[i] > 0.0) { m = std::max(m, a[i] + std::log(weights[i])); }
    }
    if (!std::isfinite(m)) { return m; }
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (weights[i] > 0.0) { s += weights[i] * std::exp(a[i] - m); }
    }
    return m + std::log(s);
}

// Brent (1973), "Algorithms for minimization without derivatives", chapter 4: inverse quadratic
// interpolation or secant steps, with bisection whenever they do not shrink the bracket fast
// enough. Written as a state machine so that each function value can come from a flash.
BrentRoot::BrentRoot(double a, double fa, double b, double fb) noexcept
    : a_(a), fa_(fa), b_(b), fb_(fb), c_(a), fc_(fa), d_(b - a), e_(b - a) {
    if (std::abs(fa_) < std::abs(fb_)) {
        std::swap(a_, b_);
        std::swap(fa_, fb_);
        c_ = a_;
        fc_ = fa_;
    }
}

double BrentRoot::width() const noexcept { return std::abs(c_ - b_); }

double BrentRoot::next(double tolerance) noexcept {
    // Invariant: the root lies between b (best) and c; a is the previous b.
    if (std::abs(fc_) < std::abs(fb_)) {
        a_ = b_;
        b_ = c_;
        c_ = a_;
        fa_ = fb_;
        fb_ = fc_;
        fc_ = fa_;
    }
    const double tol =
        2.0 * std::numeric_limits<double>::epsilon() * std::abs(b_) + 0.5 * tolerance;
    const double m = 0.5 * (c_ - b_);
    if (std::abs(e_) >= tol && std::abs(fa_) > std::abs(fb_)) {
        double p, q;
        const double s = fb_ / fa_;
        if (a_ == c_) {
            p = 2.0 * m * s;
            q = 1.0 - s;
        } else {
            const double qa = fa_ / fc_, r = fb_ / fc_;
            p = s * (2.0 * m * qa * (qa - r) - (b_ - a_) * (r - 1.0));
            q = (qa - 1.0) * (r - 1.0) * (s - 1.0);
        }
        if (p > 0.0) {
            q = -q;
        } else {
            p = -p;
        }
        if (2.0 * p < std::min(3.0 * m * q - std::abs(tol * q), std::abs(e_ * q))) {
            e_ = d_;
            d_ = p / q;
        } else {
            d_ = m;
            e_ = m;
        }
    } else {
        d_ = m;
        e_ = m;
    }
    a_ = b_;
    fa_ = fb_;
    return std::abs(d_) > tol ? b_ + d_ : b_ + (m > 0.0 ? tol : -tol);
}

void BrentRoot::update(double x, double fx) noexcept {
    b_ = x;
    fb_ = fx;
    if ((fb_ > 0.0) == (fc_ > 0.0)) {
        c_ = a_;
        fc_ = fa_;
        d_ = b_ - a_;
        e_ = d_;
    }
}

}  // namespace host::detail
