#include "host/unifac.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "host/detail/combinatorial.hpp"
#include "host/detail/model_checks.hpp"
#include "host/detail/scratch.hpp"

namespace host {
namespace {

const char* model_name(UnifacVersion v) {
    return v == UnifacVersion::original ? "UNIFAC" : "UNIFAC-LLE";
}

}  // namespace

Unifac::Unifac(const UnifacTable& table,
               std::span<const UnifacGroupCounts> groups,
               std::span<const std::string> names)
    : version_(table.version), n_(groups.size()) {
    const std::string model = model_name(version_);
    if (n_ == 0) { throw std::invalid_argument(model + ": needs at least one component"); }
    if (!names.empty() && names.size() != n_) {
        throw std::invalid_argument(model + ": " + std::to_string(names.size()) + " names for " +
                                    std::to_string(n_) + " components");
    }
    const auto label = [&](std::size_t i) {
        return names.empty() ? "component " + std::to_string(i + 1) : names[i];
    };

    for (std::size_t i = 0; i < n_; ++i) {
        if (groups[i].empty()) {
            throw std::invalid_argument(model + ": no " + model + " groups for " + label(i));
        }
        for (const auto& [subgroup, count] : groups[i]) {
            const UnifacSubgroup* s = table.find_subgroup(subgroup);
            if (s == nullptr) {
                throw std::invalid_argument(model + ": unknown subgroup " +
                                            std::to_string(subgroup) + " in " + label(i));
            }
            if (count <= 0) {
                throw std::invalid_argument(model + ": subgroup count must be positive in " +
                                            label(i));
            }
            if (std::find(main_groups_.begin(), main_groups_.end(), s->main_group) ==
                main_groups_.end()) {
                main_groups_.push_back(s->main_group);
            }
        }
    }
    std::sort(main_groups_.begin(), main_groups_.end());
    m_ = main_groups_.size();
    const auto main_index = [&](int id) {
        return static_cast<std::size_t>(
            std::lower_bound(main_groups_.begin(), main_groups_.end(), id) - main_groups_.begin());
    };

    r_.assign(n_, 0.0);
    q_.assign(n_, 0.0);
    l_.resize(n_);
    k_.resize(n_);
    eta_.assign(n_ * m_, 0.0);
    for (std::size_t i = 0; i < n_; ++i) {
        for (const auto& [subgroup, count] : groups[i]) {
            const UnifacSubgroup* s = table.find_subgroup(subgroup);
            r_[i] += count * s->R;
            q_[i] += count * s->Q;
            eta_[i * m_ + main_index(s->main_group)] += count * s->Q;
        }
        if (!(q_[i] > 0.0)) {
            throw std::invalid_argument(model + ": the groups of " + label(i) +
                                        " have no surface area (q = 0)");
        }
        l_[i] = detail::combinatorial_l(r_[i], q_[i]);
        k_[i] = detail::combinatorial_constant(r_[i], q_[i]);
    }

    // Every pair of main groups in the mixture interacts. An unpublished a_mn is not zero, it
    // is unknown: refuse the mixture and say which groups and components are the cause.
    a_.assign(m_ * m_, 0.0);
    std::string missing;
    const auto owners = [&](std::size_t K) {
        std::string list;
        for (std::size_t i = 0; i < n_; ++i) {
            for (const auto& [subgroup, count] : groups[i]) {
                if (table.find_subgroup(subgroup)->main_group == main_groups_[K]) {
                    list += (list.empty() ? "" : ", ") + label(i);
                    break;
                }
            }
        }
        return list;
    };
    const auto group_name = [&](std::size_t K) {
        const auto it = table.main_group_names.find(main_groups_[K]);
        const std::string name = it == table.main_group_names.end() ? "?" : it->second;
        return name + " (" + std::to_string(main_groups_[K]) + ", in " + owners(K) + ")";
    };
    for (std::size_t K = 0; K < m_; ++K) {
        for (std::size_t M = 0; M < m_; ++M) {
            if (K == M) { continue; }
            const auto a = table.interaction(main_groups_[K], main_groups_[M]);
            if (!a) {
                missing += (missing.empty() ? "" : "; ") + group_name(K) + " with " + group_name(M);
                continue;
            }
            a_[K * m_ + M] = *a;
        }
    }
    if (!missing.empty()) {
        throw std::invalid_argument(model + ": no published interaction parameter a_mn for " +
                                    missing);
    }

    pure_start_.push_back(0);
    for (std::size_t i = 0; i < n_; ++i) {
        std::size_t count = 0;
        for (std::size_t K = 0; K < m_; ++K) { count += eta_[i * m_ + K] > 0.0 ? 1 : 0; }
        if (count >= 2) {
            for (std::size_t K = 0; K < m_; ++K) {
                if (eta_[i * m_ + K] > 0.0) { pure_groups_.push_back(K); }
            }
        }
        pure_start_.push_back(pure_groups_.size());
    }
}

void Unifac::psi(double T, double* psi, double* d_psi) const {
    const double inv_T = 1.0 / T;
    for (std::size_t K = 0; K < m_; ++K) {
        for (std::size_t M = 0; M < m_; ++M) {
            const std::size_t k = K * m_ + M;
            psi[k] = K == M ? 1.0 : std::exp(-a_[k] * inv_T);
            if (d_psi != nullptr) {
                d_psi[k] = psi[k] * a_[k] * inv_T * inv_T;  // zero on the diagonal (a = 0)
            }
        }
    }
}

void Unifac::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments(model_name(version_), n_, T, x.size(), out.size());
    const std::size_t n = n_, m = m_;
    detail::Scratch scratch;
    double* P = scratch.take(m * m).data();
    double* theta = scratch.take(m).data();
    double* S = scratch.take(m).data();
    double* L = scratch.take(m).data();
    detail::combinatorial_ln_gamma(r_, q_, l_, k_, x, out);
    psi(T, P, nullptr);

    // Mixture: Theta_K = sum_i x_i eta_iK / sum_i x_i q_i.
    double F = 0.0;
    for (std::size_t i = 0; i < n; ++i) { F += x[i] * q_[i]; }
    for (std::size_t K = 0; K < m; ++K) {
        double t = 0.0;
        for (std::size_t i = 0; i < n; ++i) { t += x[i] * eta_[i * m + K]; }
        theta[K] = t / F;
    }
    for (std::size_t K = 0; K < m; ++K) {
        double s = 0.0;
        for (std::size_t M = 0; M < m; ++M) { s += theta[M] * P[M * m + K]; }
        S[K] = s;
    }
    for (std::size_t K = 0; K < m; ++K) {
        double sum = 0.0;
        for (std::size_t M = 0; M < m; ++M) { sum += theta[M] * P[K * m + M] / S[M]; }
        L[K] = 1.0 - std::log(S[K]) - sum;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double value = 0.0;
        for (std::size_t K = 0; K < m; ++K) { value += eta_[i * m + K] * L[K]; }
        out[i] += value;
    }

    // Pure-component references ln Gamma_k(i), over the main groups of molecule i only.
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t* G = pure_groups_.data() + pure_start_[i];
        const std::size_t g = pure_start_[i + 1] - pure_start_[i];
        for (std::size_t a = 0; a < g; ++a) {
            double s = 0.0;
            for (std::size_t b = 0; b < g; ++b) { s += eta_[i * m + G[b]] * P[G[b] * m + G[a]]; }
            S[a] = s / q_[i];
        }
        double reference = 0.0;
        for (std::size_t a = 0; a < g; ++a) {
            double sum = 0.0;
            for (std::size_t b = 0; b < g; ++b) {
                sum += eta_[i * m + G[b]] / q_[i] * P[G[a] * m + G[b]] / S[b];
            }
            reference += eta_[i * m + G[a]] * (1.0 - std::log(S[a]) - sum);
        }
        out[i] -= reference;
    }
}

void Unifac::d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments(model_name(version_), n_, T, x.size(), out.size());
    const std::size_t n = n_, m = m_;
    detail::Scratch scratch;
    double* P = scratch.take(m * m).data();
    double* dP = scratch.take(m * m).data();
    double* theta = scratch.take(m).data();
    double* S = scratch.take(m).data();
    double* dS = scratch.take(m).data();
    double* dL = scratch.take(m).data();
    psi(T, P, dP);

    // d ln Gamma/dT of a solution of main groups with area fractions th (accessed through
    // index lists), into dL: -S'_K/S_K - sum_M th_M (Psi'_KM S_M - Psi_KM S'_M)/S_M^2.
    const auto derivative = [&](std::size_t g, const auto& index, const auto& th) {
        for (std::size_t a = 0; a < g; ++a) {
            double s = 0.0, ds = 0.0;
            for (std::size_t b = 0; b < g; ++b) {
                s += th(b) * P[index(b) * m + index(a)];
                ds += th(b) * dP[index(b) * m + index(a)];
            }
            S[a] = s;
            dS[a] = ds;
        }
        for (std::size_t a = 0; a < g; ++a) {
            double value = -dS[a] / S[a];
            for (std::size_t b = 0; b < g; ++b) {
                const std::size_t ab = index(a) * m + index(b);
                value -= th(b) * (dP[ab] * S[b] - P[ab] * dS[b]) / (S[b] * S[b]);
            }
            dL[a] = value;
        }
    };

    double F = 0.0;
    for (std::size_t i = 0; i < n; ++i) { F += x[i] * q_[i]; }
    for (std::size_t K = 0; K < m; ++K) {
        double t = 0.0;
        for (std::size_t i = 0; i < n; ++i) { t += x[i] * eta_[i * m + K]; }
        theta[K] = t / F;
    }
    derivative(
        m, [](std::size_t a) { return a; }, [&](std::size_t b) { return theta[b]; });
    for (std::size_t i = 0; i < n; ++i) {
        double value = 0.0;
        for (std::size_t K = 0; K < m; ++K) { value += eta_[i * m + K] * dL[K]; }
        out[i] = value;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t* G = pure_groups_.data() + pure_start_[i];
        const std::size_t g = pure_start_[i + 1] - pure_start_[i];
        if (g == 0) { continue; }
        const double q = q_[i];
        const double* eta = eta_.data() + i * m;
        derivative(
            g, [G](std::size_t a) { return G[a]; },
            [eta, G, q](std::size_t b) { return eta[G[b]] / q; });
        double reference = 0.0;
        for (std::size_t a = 0; a < g; ++a) { reference += eta[G[a]] * dL[a]; }
        out[i] -= reference;
    }
}

double Unifac::excess_gibbs_over_rt(double T, std::span<const double> x) const {
    detail::check_arguments(model_name(version_), n_, T, x.size());
    const std::size_t n = n_, m = m_;
    detail::Scratch scratch;
    double* P = scratch.take(m * m).data();
    double* area = scratch.take(m).data();  // sum_i x_i eta_iK = F Theta_K
    psi(T, P, nullptr);
    double g = detail::combinatorial_excess_gibbs(r_, q_, x);

    double F = 0.0;
    for (std::size_t i = 0; i < n; ++i) { F += x[i] * q_[i]; }
    for (std::size_t K = 0; K < m; ++K) {
        double t = 0.0;
        for (std::size_t i = 0; i < n; ++i) { t += x[i] * eta_[i * m + K]; }
        area[K] = t;
    }
    // -sum_K (F Theta_K) ln S_K for the mixture ...
    for (std::size_t K = 0; K < m; ++K) {
        if (area[K] == 0.0) { continue; }
        double s = 0.0;
        for (std::size_t M = 0; M < m; ++M) { s += area[M] / F * P[M * m + K]; }
        g -= area[K] * std::log(s);
    }
    // ... plus sum_i x_i sum_K eta_iK ln S_K(i) for the pure components.
    for (std::size_t i = 0; i < n; ++i) {
        if (x[i] == 0.0) { continue; }
        const std::size_t* G = pure_groups_.data() + pure_start_[i];
        const std::size_t gi = pure_start_[i + 1] - pure_start_[i];
        for (std::size_t a = 0; a < gi; ++a) {
            double s = 0.0;
            for (std::size_t b = 0; b < gi; ++b) {
                s += eta_[i * m + G[b]] / q_[i] * P[G[b] * m + G[a]];
            }
            g += x[i] * eta_[i * m + G[a]] * std::log(s);
        }
    }
    return g;
}

void Unifac::d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_matrix_arguments(model_name(version_), n_, T, x.size(), out.size());
    const std::size_t n = n_, m = m_;
    detail::Scratch scratch;
    double* P = scratch.take(m * m).data();
    double* theta = scratch.take(m).data();
    double* S = scratch.take(m).data();
    double* s_l = scratch.take(m).data();
    double* dL = scratch.take(m).data();
    detail::combinatorial_d_ln_gamma_dn(r_, q_, l_, x, out);
    psi(T, P, nullptr);
    double F = 0.0;
    for (std::size_t i = 0; i < n; ++i) { F += x[i] * q_[i]; }
    for (std::size_t K = 0; K < m; ++K) {
        double t = 0.0;
        for (std::size_t i = 0; i < n; ++i) { t += x[i] * eta_[i * m + K]; }
        theta[K] = t / F;
    }
    for (std::size_t K = 0; K < m; ++K) {
        double s = 0.0;
        for (std::size_t M = 0; M < m; ++M) { s += theta[M] * P[M * m + K]; }
        S[K] = s;
    }
    // The pure references do not depend on x. With s_lK = sum_M eta_lM Psi_MK:
    // dL_K/dn_l = [q_l - s_lK/S_K - sum_M eta_lM Psi_KM/S_M + sum_M Theta_M Psi_KM s_lM/S_M^2]/F
    for (std::size_t l = 0; l < n; ++l) {
        const double* eta_l = eta_.data() + l * m;
        for (std::size_t K = 0; K < m; ++K) {
            double s = 0.0;
            for (std::size_t M = 0; M < m; ++M) { s += eta_l[M] * P[M * m + K]; }
            s_l[K] = s;
        }
        for (std::size_t K = 0; K < m; ++K) {
            double value = q_[l] - s_l[K] / S[K];
            for (std::size_t M = 0; M < m; ++M) {
                value += P[K * m + M] / S[M] * (theta[M] * s_l[M] / S[M] - eta_l[M]);
            }
            dL[K] = value / F;
        }
        for (std::size_t i = 0; i < n; ++i) {
            double value = 0.0;
            for (std::size_t K = 0; K < m; ++K) { value += eta_[i * m + K] * dL[K]; }
            out[i * n + l] += value;
        }
    }
}

}  // namespace host
