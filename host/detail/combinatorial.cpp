#include "host/detail/combinatorial.hpp"

#include <cmath>

namespace host::detail {

void combinatorial_ln_gamma(std::span<const double> r,
                            std::span<const double> q,
                            std::span<const double> l,
                            std::span<const double> k,
                            std::span<const double> x,
                            std::span<double> out) noexcept {
    const std::size_t n = x.size();
    double V = 0.0, F = 0.0, L = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        V += r[i] * x[i];
        F += q[i] * x[i];
        L += l[i] * x[i];
    }
    const double ln_V = std::log(V);
    const double ln_V_over_F = std::log(V / F);
    const double L_over_V = L / V;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = k[i] - ln_V + kHalfCoordination * q[i] * ln_V_over_F + l[i] - r[i] * L_over_V;
    }
}

double combinatorial_excess_gibbs(std::span<const double> r,
                                  std::span<const double> q,
                                  std::span<const double> x) noexcept {
    const std::size_t n = x.size();
    double V = 0.0, F = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        V += r[i] * x[i];
        F += q[i] * x[i];
    }
    double g = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] != 0.0) {
            const double phi_over_x = r[i] / V;
            const double theta_over_phi = (q[i] / r[i]) * (V / F);
            g += x[i] * std::log(phi_over_x) +
                 kHalfCoordination * q[i] * x[i] * std::log(theta_over_phi);
        }
    }
    return g;
}

void combinatorial_d_ln_gamma_dn(std::span<const double> r,
                                 std::span<const double> q,
                                 std::span<const double> l,
                                 std::span<const double> x,
                                 std::span<double> out) noexcept {
    const std::size_t n = x.size();
    double V = 0.0, F = 0.0, L = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        V += r[i] * x[i];
        F += q[i] * x[i];
        L += l[i] * x[i];
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            out[i * n + j] = 1.0 - r[j] / V + kHalfCoordination * q[i] * (r[j] / V - q[j] / F) -
                             r[i] * l[j] / V + r[i] * r[j] * L / (V * V);
        }
    }
}

}  // namespace host::detail
