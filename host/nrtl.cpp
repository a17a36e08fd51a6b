#include "host/nrtl.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "host/detail/model_checks.hpp"
#include "host/detail/scratch.hpp"
#include "platform/units.hpp"

namespace host {

Nrtl::Nrtl(NrtlParameters p) : p_(std::move(p)), tau_(p_.tau, "NRTL"), n_(p_.tau.n) {
    const std::size_t n = n_;
    if (n == 0) { throw std::invalid_argument("NRTL: needs at least one component"); }
    if (p_.alpha.size() != n * n) {
        throw std::invalid_argument("NRTL: alpha must be " + std::to_string(n) + " x " +
                                    std::to_string(n));
    }
    if (p_.alpha_slope.empty()) {
        p_.alpha_slope.assign(n * n, 0.0);
    } else if (p_.alpha_slope.size() != n * n) {
        throw std::invalid_argument("NRTL: the alpha slope must be empty or " + std::to_string(n) +
                                    " x " + std::to_string(n));
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j) { continue; }
            const double c = p_.alpha[i * n + j], d = p_.alpha_slope[i * n + j];
            const std::string where =
                " (" + std::to_string(i + 1) + ", " + std::to_string(j + 1) + ")";
            if (!std::isfinite(c) || !std::isfinite(d)) {
                throw std::invalid_argument("NRTL: alpha" + where + " is not a finite number");
            }
            if (c < 0.0) {
                throw std::invalid_argument("NRTL: alpha" + where + " must not be negative");
            }
            // Renon and Prausnitz define one alpha per pair; an asymmetric matrix is a typing
            // error far more often than an intended variant, so it is refused.
            if (c != p_.alpha[j * n + i] || d != p_.alpha_slope[j * n + i]) {
                throw std::invalid_argument("NRTL: alpha" + where + " differs from alpha (" +
                                            std::to_string(j + 1) + ", " + std::to_string(i + 1) +
                                            ")");
            }
            has_alpha_slope_ = has_alpha_slope_ || d != 0.0;
        }
    }
}

void Nrtl::pair_terms(double T, double* tau, double* G, double* d_tau, double* d_G) const {
    const std::size_t n = n_;
    tau_.values(T, {tau, n * n});
    if (d_tau != nullptr) { tau_.derivatives(T, {d_tau, n * n}); }
    const double dT = T - units::kZeroCelsius;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t k = i * n + j;
            if (i == j) {
                G[k] = 1.0;
                if (d_G != nullptr) { d_G[k] = 0.0; }
                continue;
            }
            const double alpha =
                has_alpha_slope_ ? p_.alpha[k] + p_.alpha_slope[k] * dT : p_.alpha[k];
            G[k] = std::exp(-alpha * tau[k]);
            if (d_G != nullptr) {
                // G' = -(alpha' tau + alpha tau') G
                d_G[k] = -(p_.alpha_slope[k] * tau[k] + alpha * d_tau[k]) * G[k];
            }
        }
    }
}

void Nrtl::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("NRTL", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* G = scratch.take(n * n).data();
    double* w = scratch.take(n).data();  // x_j / A_j
    double* C = scratch.take(n).data();  // B_j / A_j
    pair_terms(T, tau, G, nullptr, nullptr);
    for (std::size_t j = 0; j < n; ++j) {
        double A = 0.0, B = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double xG = x[k] * G[k * n + j];
            A += xG;
            B += xG * tau[k * n + j];
        }
        w[j] = x[j] / A;
        C[j] = B / A;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double value = C[i];
        const double* G_i = G + i * n;
        const double* tau_i = tau + i * n;
        for (std::size_t j = 0; j < n; ++j) { value += w[j] * G_i[j] * (tau_i[j] - C[j]); }
        out[i] = value;
    }
}

void Nrtl::d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("NRTL", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* G = scratch.take(n * n).data();
    double* d_tau = scratch.take(n * n).data();
    double* d_G = scratch.take(n * n).data();
    double* A = scratch.take(n).data();
    double* dA = scratch.take(n).data();
    double* C = scratch.take(n).data();
    double* dC = scratch.take(n).data();
    pair_terms(T, tau, G, d_tau, d_G);
    for (std::size_t j = 0; j < n; ++j) {
        double a = 0.0, b = 0.0, da = 0.0, db = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t kj = k * n + j;
            a += x[k] * G[kj];
            b += x[k] * tau[kj] * G[kj];
            da += x[k] * d_G[kj];
            db += x[k] * (d_tau[kj] * G[kj] + tau[kj] * d_G[kj]);
        }
        A[j] = a;
        dA[j] = da;
        C[j] = b / a;
        dC[j] = (db - C[j] * da) / a;
    }
    // d ln gamma_i/dT = C'_i + sum_j x_j [(G'_ij A_j - G_ij A'_j)/A_j^2 (tau_ij - C_j)
    //                                     + (G_ij/A_j)(tau'_ij - C'_j)]
    for (std::size_t i = 0; i < n; ++i) {
        double value = dC[i];
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t ij = i * n + j;
            value +=
                x[j] / A[j] *
                ((d_G[ij] - G[ij] * dA[j] / A[j]) * (tau[ij] - C[j]) + G[ij] * (d_tau[ij] - dC[j]));
        }
        out[i] = value;
    }
}

double Nrtl::excess_gibbs_over_rt(double T, std::span<const double> x) const {
    detail::check_arguments("NRTL", n_, T, x.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* G = scratch.take(n * n).data();
    pair_terms(T, tau, G, nullptr, nullptr);
    double g = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] == 0.0) { continue; }
        double A = 0.0, B = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            A += x[k] * G[k * n + i];
            B += x[k] * tau[k * n + i] * G[k * n + i];
        }
        g += x[i] * B / A;
    }
    return g;
}

void Nrtl::d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_matrix_arguments("NRTL", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* G = scratch.take(n * n).data();
    double* eps = scratch.take(n * n).data();
    double* A = scratch.take(n).data();
    pair_terms(T, tau, G, nullptr, nullptr);
    for (std::size_t j = 0; j < n; ++j) {
        double a = 0.0, b = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            a += x[k] * G[k * n + j];
            b += x[k] * tau[k * n + j] * G[k * n + j];
        }
        A[j] = a;
        const double C = b / a;
        for (std::size_t i = 0; i < n; ++i) {
            eps[i * n + j] = G[i * n + j] * (tau[i * n + j] - C) / a;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t l = i; l < n; ++l) {
            double value = eps[l * n + i] + eps[i * n + l];
            for (std::size_t k = 0; k < n; ++k) {
                value -=
                    x[k] * (eps[i * n + k] * G[l * n + k] + eps[l * n + k] * G[i * n + k]) / A[k];
            }
            out[i * n + l] = value;
            out[l * n + i] = value;
        }
    }
}

}  // namespace host
