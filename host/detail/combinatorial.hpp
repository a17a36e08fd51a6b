#pragma once
#include <cmath>
#include <cstddef>
#include <span>

namespace host::detail {

/// Half the lattice coordination number of UNIQUAC and UNIFAC, z/2 with z = 10.
inline constexpr double kHalfCoordination = 5.0;

/// l_i = (z/2)(r_i - q_i) - (r_i - 1).
inline double combinatorial_l(double r, double q) noexcept {
    return kHalfCoordination * (r - q) - (r - 1.0);
}

/// The x-independent part of ln gamma_i^C: ln r_i + (z/2) q_i ln(q_i/r_i).
inline double combinatorial_constant(double r, double q) noexcept {
    return std::log(r) + kHalfCoordination * q * std::log(q / r);
}

/// The combinatorial (Staverman-Guggenheim) term of UNIQUAC and UNIFAC, written with
/// V = sum r x, F = sum q x, L = sum l x so that x_i = 0 stays exact:
///     ln gamma_i^C = ln(r_i/V) + (z/2) q_i ln(q_i V/(r_i F)) + l_i - r_i L/V
/// written into out; k holds combinatorial_constant(r_i, q_i).
void combinatorial_ln_gamma(std::span<const double> r,
                            std::span<const double> q,
                            std::span<const double> l,
                            std::span<const double> k,
                            std::span<const double> x,
                            std::span<double> out) noexcept;

/// G^E_C/RT = sum_i x_i ln(Phi_i/x_i) + (z/2) sum_i q_i x_i ln(theta_i/Phi_i).
double combinatorial_excess_gibbs(std::span<const double> r,
                                  std::span<const double> q,
                                  std::span<const double> x) noexcept;

/// d ln gamma_i^C/dn_j at unit total amount, written into out (n x n, row-major):
///     1 - r_j/V + (z/2) q_i (r_j/V - q_j/F) - r_i l_j/V + r_i r_j L/V^2
void combinatorial_d_ln_gamma_dn(std::span<const double> r,
                                 std::span<const double> q,
                                 std::span<const double> l,
                                 std::span<const double> x,
                                 std::span<double> out) noexcept;

}  // namespace host::detail
