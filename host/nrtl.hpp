#pragma once
#include <vector>

#include "host/activity_model.hpp"
#include "host/interaction_matrix.hpp"

namespace host {

/// Parameters of the NRTL model.
struct NrtlParameters {
    /// tau_ij = a_ij + b_ij/T + e_ij ln T + f_ij T [-], tau_ii = 0. Index order "i around j":
    /// tau_ij = (g_ij - g_jj)/(R T), as in the databank's nrtl.tsv.
    InteractionMatrix tau;
    /// alpha_ij = alpha_ji = c_ij + d_ij (T - 273.15 K): the non-randomness, n*n symmetric.
    /// The diagonal is not used.
    std::vector<double> alpha;
    std::vector<double> alpha_slope;  ///< d_ij [1/K], n*n symmetric; empty means zero
};

/// NRTL activity coefficients (H. Renon, J. M. Prausnitz, AIChE J. 14 (1968) 135, eq. 16 and
/// its multicomponent form): with G_ij = exp(-alpha_ij tau_ij), A_j = sum_k x_k G_kj,
/// B_j = sum_k x_k tau_kj G_kj,
///     G^E/RT = sum_i x_i B_i / A_i
///     ln gamma_i = B_i/A_i + sum_j (x_j G_ij / A_j) (tau_ij - B_j/A_j)
class Nrtl final : public ActivityModel {
public:
    /// Checks sizes, finiteness, a zero diagonal, alpha >= 0 and the symmetry of alpha, once.
    explicit Nrtl(NrtlParameters p);
    const NrtlParameters& parameters() const noexcept { return p_; }

    std::size_t component_count() const noexcept override { return n_; }
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const override;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const override;
    double excess_gibbs_over_rt(double T, std::span<const double> x) const override;
    /// Closed form: with eps_ij = G_ij (tau_ij - C_j)/A_j and C_j = B_j/A_j,
    /// d ln gamma_i/dn_l = eps_li + eps_il - sum_k x_k (eps_ik G_lk + eps_lk G_ik)/A_k.
    void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const override;

private:
    /// tau, G (and, when wanted, their T-derivatives) at T into scratch storage.
    void pair_terms(double T, double* tau, double* G, double* d_tau, double* d_G) const;

    NrtlParameters p_;
    InteractionEvaluator tau_;
    std::size_t n_ = 0;
    bool has_alpha_slope_ = false;
};

}  // namespace host
