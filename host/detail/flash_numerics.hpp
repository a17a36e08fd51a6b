#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

/// Small numerical kernels of the flashes, free of any thermodynamic model so that they can be
/// tested on their own.
namespace host::detail {

/// Outcome of a Rachford-Rice solve.
struct RachfordRiceRoot {
    double beta = 0.0;      ///< vapour fraction, clamped to [0, 1] when the root lies outside
    bool interior = false;  ///< true when 0 < beta < 1 solves the equation
    bool converged = false;
};

/// Solves sum_i z_i (K_i - 1) / (1 + beta (K_i - 1)) = 0 for the vapour fraction beta in [0, 1]
/// (Rachford and Rice 1952). Entries with z_i = 0 are ignored. When f(0) <= 0 the answer is 0
/// (liquid), when f(1) >= 0 it is 1 (vapour). Inside, Newton steps are kept within the bracket of
/// Whitson and Michelsen (1989), which also keeps every x_i and y_i in [0, 1], and fall back to
/// bisection when they leave it.
RachfordRiceRoot solve_rachford_rice(std::span<const double> z, std::span<const double> k);

/// Cholesky factorisation in place of a symmetric n x n matrix a (row-major, lower triangle used).
/// False when a is not positive definite (or not finite).
bool cholesky_factor(std::span<double> a, std::size_t n);

/// Solves L L^T s = b with the factor of cholesky_factor; b is overwritten by s.
void cholesky_solve(std::span<const double> l, std::size_t n, std::span<double> b);

/// ln(sum_i w_i exp(a_i)) over the entries with w_i > 0, without overflow; -inf when none.
double log_sum_exp(std::span<const double> a, std::span<const double> weights);

/// Brent's root finder state: one sign change [a, b] of f, reduced step by step. The caller
/// evaluates f where next() says, so that each evaluation can be an expensive flash.
class BrentRoot {
public:
    /// f(a) and f(b) must have opposite signs (or one of them be zero).
    BrentRoot(double a, double fa, double b, double fb) noexcept;
    /// The best estimate so far (the end with the smaller |f|).
    double best() const noexcept { return b_; }
    double best_value() const noexcept { return fb_; }
    /// Width of the bracket.
    double width() const noexcept;
    /// The next abscissa to evaluate, given the absolute tolerance on the abscissa.
    double next(double tolerance) noexcept;
    /// Feeds back f at the abscissa next() returned.
    void update(double x, double fx) noexcept;

private:
    double a_, fa_, b_, fb_, c_, fc_, d_, e_;
};

}  // namespace host::detail
