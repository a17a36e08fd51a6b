#pragma once
#include <cmath>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>

namespace host::detail {

/// The contract every evaluation checks (cheaply) before touching memory: sizes and a usable
/// temperature. Compositions are the caller's business (the flashes validate them).
inline void check_arguments(
    const char* model, std::size_t n, double T, std::size_t x_size, std::size_t out_size) {
    if (x_size != n || out_size != n) {
        throw std::invalid_argument(std::string(model) + ": expected " + std::to_string(n) +
                                    " mole fractions and outputs, got " + std::to_string(x_size) +
                                    " and " + std::to_string(out_size));
    }
    if (!(T > 0.0) || !std::isfinite(T)) {
        throw std::invalid_argument(std::string(model) +
                                    ": temperature must be positive and "
                                    "finite, got " +
                                    std::to_string(T));
    }
}

inline void check_arguments(const char* model, std::size_t n, double T, std::size_t x_size) {
    check_arguments(model, n, T, x_size, n);
}

/// As check_arguments, for an n x n output (d ln gamma/dn).
inline void check_matrix_arguments(
    const char* model, std::size_t n, double T, std::size_t x_size, std::size_t out_size) {
    if (out_size != n * n) {
        throw std::invalid_argument(std::string(model) + ": expected " + std::to_string(n * n) +
                                    " outputs for d ln gamma/dn, got " + std::to_string(out_size));
    }
    check_arguments(model, n, T, x_size);
}

}  // namespace host::detail
