#include "host/uniquac.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

#include "host/detail/combinatorial.hpp"
#include "host/detail/model_checks.hpp"
#include "host/detail/scratch.hpp"

namespace host {
namespace {

void check_positive(const std::vector<double>& v, std::size_t n, const char* name) {
    if (v.size() != n) {
        throw std::invalid_argument(std::string("UNIQUAC: ") + name + " must have " +
                                    std::to_string(n) + " values, has " + std::to_string(v.size()));
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!(v[i] > 0.0) || !std::isfinite(v[i])) {
            throw std::invalid_argument(std::string("UNIQUAC: ") + name + " of component " +
                                        std::to_string(i + 1) + " must be positive and finite");
        }
    }
}

/// tau = exp(ln tau) off the diagonal, 1 on it.
void exponentiate(std::size_t n, double* m) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            m[i * n + j] = i == j ? 1.0 : std::exp(m[i * n + j]);
        }
    }
}

}  // namespace

Uniquac::Uniquac(UniquacParameters p)
    : p_(std::move(p)), ln_tau_(p_.ln_tau, "UNIQUAC"), n_(p_.ln_tau.n) {
    if (n_ == 0) { throw std::invalid_argument("UNIQUAC: needs at least one component"); }
    check_positive(p_.r, n_, "r");
    check_positive(p_.q, n_, "q");
    if (!p_.q_residual.empty()) { check_positive(p_.q_residual, n_, "q'"); }
    qr_ = p_.q_residual.empty() ? p_.q : p_.q_residual;
    l_.resize(n_);
    k_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) {
        l_[i] = detail::combinatorial_l(p_.r[i], p_.q[i]);
        k_[i] = detail::combinatorial_constant(p_.r[i], p_.q[i]);
    }
}

void Uniquac::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("UNIQUAC", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* theta = scratch.take(n).data();
    double* w = scratch.take(n).data();  // theta_j / S_j
    detail::combinatorial_ln_gamma(p_.r, p_.q, l_, k_, x, out);
    ln_tau_.values(T, {tau, n * n});
    exponentiate(n, tau);
    double F = 0.0;
    for (std::size_t k = 0; k < n; ++k) { F += qr_[k] * x[k]; }
    for (std::size_t k = 0; k < n; ++k) { theta[k] = qr_[k] * x[k] / F; }
    for (std::size_t j = 0; j < n; ++j) {
        double S = 0.0;
        for (std::size_t k = 0; k < n; ++k) { S += theta[k] * tau[k * n + j]; }
        out[j] += qr_[j] * (1.0 - std::log(S));
        w[j] = theta[j] / S;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) { sum += w[j] * tau[i * n + j]; }
        out[i] -= qr_[i] * sum;
    }
}

void Uniquac::d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("UNIQUAC", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* d_tau = scratch.take(n * n).data();
    double* theta = scratch.take(n).data();
    double* S = scratch.take(n).data();
    double* dS = scratch.take(n).data();
    ln_tau_.values(T, {tau, n * n});
    ln_tau_.derivatives(T, {d_tau, n * n});
    exponentiate(n, tau);
    for (std::size_t k = 0; k < n * n; ++k) { d_tau[k] *= tau[k]; }
    double F = 0.0;
    for (std::size_t k = 0; k < n; ++k) { F += qr_[k] * x[k]; }
    for (std::size_t k = 0; k < n; ++k) { theta[k] = qr_[k] * x[k] / F; }
    for (std::size_t j = 0; j < n; ++j) {
        double s = 0.0, ds = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            s += theta[k] * tau[k * n + j];
            ds += theta[k] * d_tau[k * n + j];
        }
        S[j] = s;
        dS[j] = ds;
    }
    // Only the residual term depends on T:
    // d ln gamma_i/dT = q_i [-S'_i/S_i - sum_j theta_j (tau'_ij S_j - tau_ij S'_j)/S_j^2]
    for (std::size_t i = 0; i < n; ++i) {
        double value = -dS[i] / S[i];
        for (std::size_t j = 0; j < n; ++j) {
            value -= theta[j] * (d_tau[i * n + j] * S[j] - tau[i * n + j] * dS[j]) / (S[j] * S[j]);
        }
        out[i] = qr_[i] * value;
    }
}

double Uniquac::excess_gibbs_over_rt(double T, std::span<const double> x) const {
    detail::check_arguments("UNIQUAC", n_, T, x.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    ln_tau_.values(T, {tau, n * n});
    exponentiate(n, tau);
    double F = 0.0;
    for (std::size_t k = 0; k < n; ++k) { F += qr_[k] * x[k]; }
    double g = detail::combinatorial_excess_gibbs(p_.r, p_.q, x);
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] == 0.0) { continue; }
        double S = 0.0;
        for (std::size_t k = 0; k < n; ++k) { S += qr_[k] * x[k] / F * tau[k * n + i]; }
        g -= qr_[i] * x[i] * std::log(S);
    }
    return g;
}

void Uniquac::d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_matrix_arguments("UNIQUAC", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* tau = scratch.take(n * n).data();
    double* theta = scratch.take(n).data();
    double* S = scratch.take(n).data();
    detail::combinatorial_d_ln_gamma_dn(p_.r, p_.q, l_, x, out);
    ln_tau_.values(T, {tau, n * n});
    exponentiate(n, tau);
    double F = 0.0;
    for (std::size_t k = 0; k < n; ++k) { F += qr_[k] * x[k]; }
    for (std::size_t k = 0; k < n; ++k) { theta[k] = qr_[k] * x[k] / F; }
    for (std::size_t j = 0; j < n; ++j) {
        double s = 0.0;
        for (std::size_t k = 0; k < n; ++k) { s += theta[k] * tau[k * n + j]; }
        S[j] = s;
    }
    // Residual: q_i q_l / F [1 - tau_li/S_i - tau_il/S_l + sum_j theta_j tau_ij tau_lj / S_j^2]
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t l = i; l < n; ++l) {
            double value = 1.0 - tau[l * n + i] / S[i] - tau[i * n + l] / S[l];
            for (std::size_t j = 0; j < n; ++j) {
                value += theta[j] * tau[i * n + j] * tau[l * n + j] / (S[j] * S[j]);
            }
            value *= qr_[i] * qr_[l] / F;
            out[i * n + l] += value;
            if (l != i) { out[l * n + i] += value; }
        }
    }
}

}  // namespace host
