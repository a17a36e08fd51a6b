#include "host/interaction_matrix.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

namespace host {

void InteractionMatrix::set_pair(
    std::size_t i, std::size_t j, double a_ij, double b_ij, double a_ji, double b_ji) {
    if (i >= n || j >= n || i == j) {
        throw std::invalid_argument("InteractionMatrix::set_pair: bad pair (" + std::to_string(i) +
                                    ", " + std::to_string(j) + ") for " + std::to_string(n) +
                                    " components");
    }
    a[i * n + j] = a_ij;
    b[i * n + j] = b_ij;
    a[j * n + i] = a_ji;
    b[j * n + i] = b_ji;
}

void InteractionMatrix::validate(std::string_view what) const {
    const std::size_t nn = n * n;
    if (a.size() != nn || b.size() != nn || e.size() != nn || f.size() != nn) {
        throw std::invalid_argument(std::string(what) + ": parameter matrices must be " +
                                    std::to_string(n) + " x " + std::to_string(n));
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t k = i * n + j;
            if (!std::isfinite(a[k]) || !std::isfinite(b[k]) || !std::isfinite(e[k]) ||
                !std::isfinite(f[k])) {
                throw std::invalid_argument(std::string(what) + ": parameter (" +
                                            std::to_string(i + 1) + ", " + std::to_string(j + 1) +
                                            ") is not a finite number");
            }
            if (i == j && (a[k] != 0.0 || b[k] != 0.0 || e[k] != 0.0 || f[k] != 0.0)) {
                throw std::invalid_argument(std::string(what) + ": diagonal parameter (" +
                                            std::to_string(i + 1) + ", " + std::to_string(i + 1) +
                                            ") must be zero");
            }
        }
    }
}

InteractionEvaluator::InteractionEvaluator(const InteractionMatrix& m, std::string_view what)
    : m_(m) {
    m_.validate(what);
    for (std::size_t k = 0; k < m_.n * m_.n; ++k) {
        has_log_ = has_log_ || m_.e[k] != 0.0;
        has_linear_ = has_linear_ || m_.f[k] != 0.0;
    }
}

void InteractionEvaluator::values(double T, std::span<double> p) const noexcept {
    const double inv_T = 1.0 / T;
    const double ln_T = has_log_ ? std::log(T) : 0.0;
    const std::size_t nn = m_.n * m_.n;
    const double* a = m_.a.data();
    const double* b = m_.b.data();
    for (std::size_t k = 0; k < nn; ++k) { p[k] = a[k] + b[k] * inv_T; }
    if (has_log_ || has_linear_) {
        for (std::size_t k = 0; k < nn; ++k) { p[k] += m_.e[k] * ln_T + m_.f[k] * T; }
    }
}

void InteractionEvaluator::derivatives(double T, std::span<double> dp) const noexcept {
    const double inv_T = 1.0 / T;
    const double inv_T2 = inv_T * inv_T;
    const std::size_t nn = m_.n * m_.n;
    if (has_log_ || has_linear_) {
        for (std::size_t k = 0; k < nn; ++k) {
            dp[k] = -m_.b[k] * inv_T2 + m_.e[k] * inv_T + m_.f[k];
        }
    } else {
        for (std::size_t k = 0; k < nn; ++k) { dp[k] = -m_.b[k] * inv_T2; }
    }
}

}  // namespace host
