#include "host/wilson.hpp"

#include <cmath>
#include <stdexcept>

#include "host/detail/model_checks.hpp"
#include "host/detail/scratch.hpp"

namespace host {
namespace {

/// Lambda = exp(ln Lambda) off the diagonal, 1 on it.
void exponentiate(std::size_t n, double* m) noexcept {
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            m[i * n + j] = i == j ? 1.0 : std::exp(m[i * n + j]);
        }
    }
}

}  // namespace

Wilson::Wilson(WilsonParameters p)
    : p_(std::move(p)), ln_lambda_(p_.ln_lambda, "Wilson"), n_(p_.ln_lambda.n) {
    if (n_ == 0) { throw std::invalid_argument("Wilson: needs at least one component"); }
}

void Wilson::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("Wilson", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* L = scratch.take(n * n).data();
    double* w = scratch.take(n).data();
    ln_lambda_.values(T, {L, n * n});
    exponentiate(n, L);
    for (std::size_t i = 0; i < n; ++i) {
        double S = 0.0;
        for (std::size_t j = 0; j < n; ++j) { S += x[j] * L[i * n + j]; }
        out[i] = 1.0 - std::log(S);
        w[i] = x[i] / S;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) { sum += w[k] * L[k * n + i]; }
        out[i] -= sum;
    }
}

void Wilson::d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("Wilson", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* L = scratch.take(n * n).data();
    double* dL = scratch.take(n * n).data();
    double* S = scratch.take(n).data();
    double* dS = scratch.take(n).data();
    ln_lambda_.values(T, {L, n * n});
    ln_lambda_.derivatives(T, {dL, n * n});
    exponentiate(n, L);
    for (std::size_t k = 0; k < n * n; ++k) {
        dL[k] *= L[k];  // dLambda/dT = Lambda d(ln Lambda)/dT; zero on the diagonal
    }
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0.0, ds = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            s += x[j] * L[i * n + j];
            ds += x[j] * dL[i * n + j];
        }
        S[i] = s;
        dS[i] = ds;
    }
    // d ln gamma_i/dT = -S'_i/S_i - sum_k x_k Lambda'_ki/S_k + sum_k x_k Lambda_ki S'_k/S_k^2
    for (std::size_t i = 0; i < n; ++i) {
        double value = -dS[i] / S[i];
        for (std::size_t k = 0; k < n; ++k) {
            value += x[k] * (L[k * n + i] * dS[k] / S[k] - dL[k * n + i]) / S[k];
        }
        out[i] = value;
    }
}

double Wilson::excess_gibbs_over_rt(double T, std::span<const double> x) const {
    detail::check_arguments("Wilson", n_, T, x.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* L = scratch.take(n * n).data();
    ln_lambda_.values(T, {L, n * n});
    exponentiate(n, L);
    double g = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] == 0.0) { continue; }
        double S = 0.0;
        for (std::size_t j = 0; j < n; ++j) { S += x[j] * L[i * n + j]; }
        g -= x[i] * std::log(S);
    }
    return g;
}

void Wilson::d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_matrix_arguments("Wilson", n_, T, x.size(), out.size());
    const std::size_t n = n_;
    detail::Scratch scratch;
    double* L = scratch.take(n * n).data();
    double* S = scratch.take(n).data();
    ln_lambda_.values(T, {L, n * n});
    exponentiate(n, L);
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0.0;
        for (std::size_t j = 0; j < n; ++j) { s += x[j] * L[i * n + j]; }
        S[i] = s;
    }
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i; j < n; ++j) {
            double value = 1.0 - L[i * n + j] / S[i] - L[j * n + i] / S[j];
            for (std::size_t k = 0; k < n; ++k) {
                value += x[k] * L[k * n + i] * L[k * n + j] / (S[k] * S[k]);
            }
            out[i * n + j] = value;
            out[j * n + i] = value;
        }
    }
}

}  // namespace host
