#pragma once
/// The pair of compositions around a point from which one column of the residue-curve Jacobian
/// J = I - dy/dx is differenced, in the N - 1 independent mole fractions x_1 .. x_{N-1} with the
/// last component r absorbing every perturbation. Shared by the singular point classification and
/// the residue-curve Jacobian.
#include <cstddef>
#include <span>

namespace azeotrope {

/// Difference step of the classification [mol/mol].
inline constexpr double kClassificationStep = 1e-6;

/// Fills x_plus and x_minus (size N each, N = x.size() >= 2) for column k (0-based, k < N - 1)
/// so that x_plus - x_minus = h (e_k - e_r), with r = N - 1, and both keep the sum of x:
/// - when x_k + x_r > 2h (that sum taken as 1 minus the other mole fractions): centred on x
///   (x_k +- h/2), or one-sided when x_k or x_r is at most h, so that no mole fraction is pushed
///   below zero;
/// - when x_k + x_r <= 2h (both nearly absent, as at another component's vertex): h is borrowed
///   from the largest mole fraction m (the first on ties): x_plus_k = x_k + h and
///   x_minus_r = x_r + h, with x_m - h in both.
/// Returns false (and writes nothing) for sizes that do not fit or k out of range.
bool composition_pair(std::span<const double> x,
                      std::size_t k,
                      double h,
                      std::span<double> x_plus,
                      std::span<double> x_minus) noexcept;

}  // namespace azeotrope
