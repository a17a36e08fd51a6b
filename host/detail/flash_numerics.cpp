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

namespace {

/// Solves the m x m system a d = b (m <= kMaxPhases, row-major in a) by Gaussian elimination
/// with partial pivoting; false when a is singular to working precision.
bool solve_small(std::array<double, kMaxPhases * kMaxPhases> a,
                 std::array<double, kMaxPhases> b,
                 std::size_t m,
                 std::array<double, kMaxPhases>& d) {
    double scale = 0.0;
    for (std::size_t i = 0; i < m * m; ++i) { scale = std::max(scale, std::abs(a[i])); }
    if (!(scale > 0.0) || !std::isfinite(scale)) { return false; }
    for (std::size_t col = 0; col < m; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < m; ++row) {
            if (std::abs(a[row * m + col]) > std::abs(a[pivot * m + col])) { pivot = row; }
        }
        if (std::abs(a[pivot * m + col]) <= 1e-14 * scale) { return false; }
        if (pivot != col) {
            for (std::size_t k = 0; k < m; ++k) { std::swap(a[col * m + k], a[pivot * m + k]); }
            std::swap(b[col], b[pivot]);
        }
        for (std::size_t row = col + 1; row < m; ++row) {
            const double f = a[row * m + col] / a[col * m + col];
            for (std::size_t k = col; k < m; ++k) { a[row * m + k] -= f * a[col * m + k]; }
            b[row] -= f * b[col];
        }
    }
    for (std::size_t i = m; i-- > 0;) {
        double s = b[i];
        for (std::size_t k = i + 1; k < m; ++k) { s -= a[i * m + k] * d[k]; }
        d[i] = s / a[i * m + i];
    }
    return true;
}

}  // namespace

PhaseAmounts solve_phase_amounts(std::span<const double> z,
                                 std::span<const double> ln_theta,
                                 const std::array<bool, kMaxPhases>& allowed,
                                 const std::array<double, kMaxPhases>& start,
                                 std::span<double> x) {
    constexpr std::size_t P = kMaxPhases;
    // ln theta of one component may differ by hundreds between phases (gamma at infinite
    // dilution of water in an alkane): beyond this the smaller term is nothing but rounding.
    constexpr double kMaxLnRatio = 500.0;
    const std::size_t n = z.size();
    PhaseAmounts out;
    // e_ik = min_k theta_ik / theta_ik in (0, 1], kept in x until the compositions are due:
    // scaling each component by its largest 1/theta keeps every sum finite.
    const std::span<double> e = x;
    for (std::size_t i = 0; i < n; ++i) {
        double m = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < P; ++k) {
            if (allowed[k]) { m = std::min(m, ln_theta[i * P + k]); }
        }
        for (std::size_t k = 0; k < P; ++k) {
            e[i * P + k] = (z[i] > 0.0 && allowed[k])
                               ? std::exp(std::max(m - ln_theta[i * P + k], -kMaxLnRatio))
                               : 0.0;
        }
    }
    std::array<double, P> beta{};
    double total = 0.0;
    std::size_t count = 0;
    for (std::size_t k = 0; k < P; ++k) {
        if (!allowed[k]) { continue; }
        ++count;
        beta[k] = std::isfinite(start[k]) ? std::max(start[k], 0.0) : 0.0;
        total += beta[k];
    }
    if (count == 0) { return out; }
    if (!(total > 0.0)) {
        for (std::size_t k = 0; k < P; ++k) { beta[k] = allowed[k] ? 1.0 / count : 0.0; }
    }

    // Q (up to the constant sum_i z_i ln min_k theta_ik) when `value`, and when asked its
    // gradient and Hessian. The logarithms of Q cost more than the rest: the value is needed
    // only by line searches far from the minimum. Infinite when a sum vanishes.
    const auto evaluate = [&](const std::array<double, P>& b, bool value, std::array<double, P>* g,
                              std::array<double, P * P>* h) {
        double q = 0.0;
        for (std::size_t k = 0; k < P; ++k) {
            q += b[k];
            if (g != nullptr) { (*g)[k] = allowed[k] ? 1.0 : 0.0; }
        }
        if (h != nullptr) { h->fill(0.0); }
        for (std::size_t i = 0; i < n; ++i) {
            if (!(z[i] > 0.0)) { continue; }
            double s = 0.0;
            for (std::size_t k = 0; k < P; ++k) { s += b[k] * e[i * P + k]; }
            if (!(s > 0.0)) { return std::numeric_limits<double>::infinity(); }
            if (value) { q -= z[i] * std::log(s); }
            if (g == nullptr) { continue; }
            for (std::size_t k = 0; k < P; ++k) {
                const double u = z[i] * e[i * P + k] / s;
                (*g)[k] -= u;
                if (h == nullptr) { continue; }
                for (std::size_t m = 0; m < P; ++m) { (*h)[k * P + m] += u * e[i * P + m] / s; }
            }
        }
        return q;
    };

    std::array<double, P> g{};
    std::array<double, P * P> h{};
    int admissions = 0;
    for (int it = 0; it < 200; ++it) {
        if (!std::isfinite(evaluate(beta, false, &g, &h))) { break; }
        std::array<std::size_t, P> free{};
        std::size_t m = 0;
        double worst = 0.0;
        for (std::size_t k = 0; k < P; ++k) {
            if (allowed[k] && beta[k] > 0.0) {
                free[m++] = k;
                worst = std::max(worst, std::abs(g[k]));
            }
        }
        if (worst <= 1e-13) {
            // The free set has converged: admit the absent phase that would lower Q most. A
            // phase is admitted only here, after convergence, so that none cycles in and out.
            std::size_t best = P;
            for (std::size_t k = 0; k < P; ++k) {
                if (allowed[k] && beta[k] == 0.0 && g[k] < -1e-12 &&
                    (best == P || g[k] < g[best])) {
                    best = k;
                }
            }
            if (best == P || admissions >= 6) {
                out.converged = best == P;
                break;
            }
            ++admissions;
            beta[best] = 1e-10;
            continue;
        }
        std::array<double, P * P> a{};
        std::array<double, P> rhs{}, d_free{};
        for (std::size_t r = 0; r < m; ++r) {
            rhs[r] = -g[free[r]];
            for (std::size_t c = 0; c < m; ++c) { a[r * m + c] = h[free[r] * P + free[c]]; }
        }
        double slope = 0.0;
        bool solved = solve_small(a, rhs, m, d_free);
        if (!solved) {
            // More phases than independent components (three phases of a binary): the Hessian
            // is a Gram matrix of rank below m and Q is flat along its null space. A small
            // diagonal shift gives a long step along that direction, which the ratio test below
            // stops where a phase's amount reaches zero, leaving a set of phases the feed can
            // determine. Steepest descent would crawl along the flat direction instead.
            double diagonal = 0.0;
            for (std::size_t r = 0; r < m; ++r) { diagonal = std::max(diagonal, a[r * m + r]); }
            for (double shift = 1e-12 * diagonal; !solved && shift <= diagonal; shift *= 100.0) {
                std::array<double, P* P> shifted = a;
                for (std::size_t r = 0; r < m; ++r) { shifted[r * m + r] += shift; }
                solved = solve_small(shifted, rhs, m, d_free);
            }
        }
        if (solved) {
            for (std::size_t r = 0; r < m; ++r) { slope += d_free[r] * g[free[r]]; }
        }
        if (!(slope < 0.0)) {  // no solvable system or not a descent direction: steepest descent
            slope = 0.0;
            for (std::size_t r = 0; r < m; ++r) {
                d_free[r] = -g[free[r]];
                slope -= g[free[r]] * g[free[r]];
            }
        }
        double t = 1.0;
        std::size_t blocking = P;
        for (std::size_t r = 0; r < m; ++r) {
            const std::size_t k = free[r];
            if (d_free[r] < 0.0 && -beta[k] / d_free[r] < t) {
                t = -beta[k] / d_free[r];
                blocking = k;
            }
        }
        const double t_block = t;
        std::array<double, P> next = beta;
        bool accepted = false;
        // Near the minimum Newton steps are taken as they come: the decrease they promise (the
        // Newton decrement, -slope) is then below the rounding of Q itself, which an Armijo test
        // would mistake for no decrease. Farther away they must decrease Q enough.
        const bool near = worst < 1e-8 || -slope < 1e-13;
        const double q = near ? 0.0 : evaluate(beta, true, nullptr, nullptr);
        for (int cut = 0; cut < 60; ++cut) {
            for (std::size_t r = 0; r < m; ++r) {
                next[free[r]] = std::max(beta[free[r]] + t * d_free[r], 0.0);
            }
            if (t == t_block && blocking != P) { next[blocking] = 0.0; }
            const double q_new = evaluate(next, !near, nullptr, nullptr);
            if (std::isfinite(q_new) && (near || q_new <= q + 1e-4 * t * slope)) {
                accepted = true;
                break;
            }
            t *= 0.5;
        }
        if (!accepted) { break; }
        beta = next;
    }
    (void)evaluate(beta, false, &g, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0.0;
        for (std::size_t k = 0; k < P; ++k) { s += beta[k] * e[i * P + k]; }
        for (std::size_t k = 0; k < P; ++k) {
            x[i * P + k] = (z[i] > 0.0 && s > 0.0) ? z[i] * e[i * P + k] / s : 0.0;
        }
    }
    out.beta = beta;
    out.gradient = g;
    return out;
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
