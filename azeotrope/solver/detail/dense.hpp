#pragma once
/// Small dense linear algebra for the solver: column-major matrices with a leading dimension,
/// LU factorisation with partial pivoting and a 1-norm condition estimate. The systems are small
/// (N <= 10 for the azeotrope search), so the exact inverse norm is affordable.
#include <cstddef>
#include <span>

namespace azeotrope::solver::detail {

/// View of an n x n column-major matrix with leading dimension ld >= n.
struct MatrixView {
    double* data = nullptr;
    std::size_t n = 0;
    std::size_t ld = 0;
    double& operator()(std::size_t i, std::size_t j) const noexcept { return data[i + j * ld]; }
};

/// Euclidean norm, scaled against overflow and underflow.
double euclidean_norm(std::span<const double> v) noexcept;

/// 1-norm (largest column sum of magnitudes).
double one_norm(MatrixView a) noexcept;

/// Factorises a = P L U in place. pivots[k] holds the row exchanged with row k (as a double, so
/// that it fits the solver's real work array). Returns false when a pivot is exactly zero or not
/// finite; the factors are then unusable.
bool lu_factor(MatrixView a, std::span<double> pivots) noexcept;

/// Overwrites b with a^{-1} b from the factors of lu_factor.
void lu_solve(MatrixView lu, std::span<const double> pivots, std::span<double> b) noexcept;

/// Reciprocal condition number in the 1-norm, 1 / (||a||_1 ||a^{-1}||_1), with ||a^{-1}||_1
/// computed exactly column by column. `anorm` is ||a||_1 before factorising; `scratch` holds n
/// doubles. 1.0 for any non-zero 1 x 1 matrix; 0 when the result would not be finite.
double reciprocal_condition(MatrixView lu,
                            std::span<const double> pivots,
                            double anorm,
                            std::span<double> scratch) noexcept;

}  // namespace azeotrope::solver::detail
