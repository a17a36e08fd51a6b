#include "azeotrope/solver/detail/dense.hpp"

#include <cmath>
#include <utility>

namespace azeotrope::solver::detail {

double euclidean_norm(std::span<const double> v) noexcept {
    double scale = 0.0;
    double sum = 1.0;
    for (const double value : v) {
        const double a = std::fabs(value);
        if (a == 0.0) { continue; }
        if (!(a <= scale)) {  // also takes a NaN or an infinity into scale
            sum = 1.0 + sum * (scale / a) * (scale / a);
            scale = a;
        } else {
            sum += (a / scale) * (a / scale);
        }
    }
    return scale * std::sqrt(sum);
}

double one_norm(MatrixView a) noexcept {
    double norm = 0.0;
    for (std::size_t j = 0; j < a.n; ++j) {
        double column = 0.0;
        for (std::size_t i = 0; i < a.n; ++i) { column += std::fabs(a(i, j)); }
        if (!(column <= norm)) { norm = column; }
    }
    return norm;
}

bool lu_factor(MatrixView a, std::span<double> pivots) noexcept {
    const std::size_t n = a.n;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        double largest = std::fabs(a(k, k));
        for (std::size_t i = k + 1; i < n; ++i) {
            if (std::fabs(a(i, k)) > largest) {
                largest = std::fabs(a(i, k));
                p = i;
            }
        }
        pivots[k] = static_cast<double>(p);
        if (!(largest > 0.0) || !std::isfinite(largest)) { return false; }
        if (p != k) {
            for (std::size_t j = 0; j < n; ++j) { std::swap(a(k, j), a(p, j)); }
        }
        const double inverse_pivot = 1.0 / a(k, k);
        for (std::size_t i = k + 1; i < n; ++i) { a(i, k) *= inverse_pivot; }
        for (std::size_t j = k + 1; j < n; ++j) {
            const double akj = a(k, j);
            if (akj == 0.0) { continue; }
            for (std::size_t i = k + 1; i < n; ++i) { a(i, j) -= a(i, k) * akj; }
        }
    }
    return true;
}

void lu_solve(MatrixView lu, std::span<const double> pivots, std::span<double> b) noexcept {
    const std::size_t n = lu.n;
    for (std::size_t k = 0; k < n; ++k) {
        const auto p = static_cast<std::size_t>(pivots[k]);
        if (p != k) { std::swap(b[k], b[p]); }
        for (std::size_t i = k + 1; i < n; ++i) { b[i] -= lu(i, k) * b[k]; }
    }
    for (std::size_t k = n; k-- > 0;) {
        b[k] /= lu(k, k);
        for (std::size_t i = 0; i < k; ++i) { b[i] -= lu(i, k) * b[k]; }
    }
}

double reciprocal_condition(MatrixView lu,
                            std::span<const double> pivots,
                            double anorm,
                            std::span<double> scratch) noexcept {
    const std::size_t n = lu.n;
    double inverse_norm = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < n; ++i) { scratch[i] = (i == j) ? 1.0 : 0.0; }
        lu_solve(lu, pivots, scratch.first(n));
        double column = 0.0;
        for (std::size_t i = 0; i < n; ++i) { column += std::fabs(scratch[i]); }
        if (!(column <= inverse_norm)) { inverse_norm = column; }
    }
    const double product = anorm * inverse_norm;
    if (!(product > 0.0) || !std::isfinite(product)) { return 0.0; }
    if (n == 1) { return 1.0; }  // |a| |1/a| is 1 up to rounding; say so exactly
    return 1.0 / product;
}

}  // namespace azeotrope::solver::detail
