#pragma once
#include <array>
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

/// Up to three phases (one vapour, two liquids) share one feed.
inline constexpr std::size_t kMaxPhases = 3;

/// Outcome of a phase-amount solve.
struct PhaseAmounts {
    std::array<double, kMaxPhases> beta{};      ///< phase amount / feed amount, >= 0
    std::array<double, kMaxPhases> gradient{};  ///< 1 - sum_i x_ik: 0 for a present phase
    bool converged = false;
};

/// The phase amounts of a multiphase split at fixed effective pressures (Michelsen 1994,
/// "Calculation of multiphase equilibrium", Comput. Chem. Eng. 18, 545): with
/// f_ik = x_ik theta_ik the fugacity of component i in phase k, the amounts beta_k >= 0 minimise
/// the convex function
///     Q(beta) = sum_k beta_k - sum_i z_i ln(sum_k beta_k / theta_ik),
/// and the phase compositions are x_ik = z_i / (theta_ik E_i), E_i = sum_k beta_k / theta_ik.
/// A present phase (beta_k > 0) has sum_i x_ik = 1; an absent one has sum_i x_ik <= 1, or it
/// would lower the Gibbs energy by forming. With two phases this is the Rachford-Rice problem.
///
/// `ln_theta` holds ln theta_ik at [i * kMaxPhases + k]; only phases with allowed[k] take part,
/// and entries with z_i = 0 are ignored. `beta` is the start (any allowed beta_k > 0; all zero
/// starts from equal amounts). On return `x` (same layout) holds the unnormalised compositions
/// of every allowed phase, present or not. Active-set Newton: phases leave the free set when a
/// step would make their amount negative and join it, one at a time and only once the free set
/// has converged, when their gradient is negative.
PhaseAmounts solve_phase_amounts(std::span<const double> z,
                                 std::span<const double> ln_theta,
                                 const std::array<bool, kMaxPhases>& allowed,
                                 const std::array<double, kMaxPhases>& beta,
                                 std::span<double> x);

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
