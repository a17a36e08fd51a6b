#include "rcm/ode/detail/dense_lu.hpp"

#include <cmath>
#include <utility>

namespace rcm::ode::detail {

bool lu_factor(double* a, std::int64_t n, std::int64_t* pivots) {
    bool regular = true;
    for (std::int64_t k = 0; k < n; ++k) {
        double* column_k = a + k * n;
        std::int64_t p = k;
        for (std::int64_t i = k + 1; i < n; ++i) {
            if (std::abs(column_k[i]) > std::abs(column_k[p])) { p = i; }
        }
        pivots[k] = p;
        if (column_k[p] == 0.0 || !std::isfinite(column_k[p])) {
            regular = false;
            continue;
        }
        if (p != k) { std::swap(column_k[p], column_k[k]); }
        const double scale = -1.0 / column_k[k];
        for (std::int64_t i = k + 1; i < n; ++i) { column_k[i] *= scale; }
        for (std::int64_t j = k + 1; j < n; ++j) {
            double* column_j = a + j * n;
            const double t = column_j[p];
            if (p != k) {
                column_j[p] = column_j[k];
                column_j[k] = t;
            }
            for (std::int64_t i = k + 1; i < n; ++i) { column_j[i] += t * column_k[i]; }
        }
    }
    return regular;
}

void lu_solve(const double* a, std::int64_t n, const std::int64_t* pivots, double* b) {
    for (std::int64_t k = 0; k + 1 < n; ++k) {
        const std::int64_t p = pivots[k];
        const double t = b[p];
        if (p != k) {
            b[p] = b[k];
            b[k] = t;
        }
        const double* column_k = a + k * n;
        for (std::int64_t i = k + 1; i < n; ++i) { b[i] += t * column_k[i]; }
    }
    for (std::int64_t k = n - 1; k >= 0; --k) {
        const double* column_k = a + k * n;
        b[k] /= column_k[k];
        const double t = -b[k];
        for (std::int64_t i = 0; i < k; ++i) { b[i] += t * column_k[i]; }
    }
}

}  // namespace rcm::ode::detail
