#pragma once
// LU factorisation with partial pivoting of a small dense column-major matrix, and the solve
// with its factors. Gaussian elimination as in Golub & Van Loan, Matrix Computations, alg. 3.4.1
// (row interchanges recorded, multipliers stored negated below the diagonal).

#include <cstdint>

namespace rcm::ode::detail {

/// Factorises the n x n matrix a (leading dimension n) in place. Returns false when a pivot is
/// zero or not finite (the matrix is singular for our purposes).
bool lu_factor(double* a, std::int64_t n, std::int64_t* pivots);

/// Solves A x = b with the factors of lu_factor; b is overwritten by x.
void lu_solve(const double* a, std::int64_t n, const std::int64_t* pivots, double* b);

}  // namespace rcm::ode::detail
