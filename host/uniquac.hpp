#pragma once
#include <vector>

#include "host/activity_model.hpp"
#include "host/interaction_matrix.hpp"

namespace host {

/// Parameters of the UNIQUAC model.
struct UniquacParameters {
    std::vector<double> r;  ///< volume parameters r_i [-]
    std::vector<double> q;  ///< area parameters q_i [-]
    /// Modified areas q'_i for the residual term (some sets for water and alcohols); empty for
    /// the original model, which uses q in both terms.
    std::vector<double> q_residual;
    /// ln(tau_ij) = a_ij + b_ij/T + e_ij ln T + f_ij T, tau_ii = 1. Index order "i around j":
    /// tau_ij = exp(-(u_ij - u_jj)/(R T)), as in the databank's uniquac.tsv.
    InteractionMatrix ln_tau;
};

/// UNIQUAC activity coefficients (D. S. Abrams, J. M. Prausnitz, AIChE J. 21 (1975) 116,
/// eqs. 14-16 and 26), coordination number z = 10:
///     Phi_i = r_i x_i / sum_j r_j x_j,  theta_i = q_i x_i / sum_j q_j x_j,
///     l_i = (z/2)(r_i - q_i) - (r_i - 1),  S_j = sum_k theta_k tau_kj
///     ln gamma_i = ln(Phi_i/x_i) + (z/2) q_i ln(theta_i/Phi_i) + l_i - (Phi_i/x_i) sum_j x_j l_j
///                  + q_i [1 - ln S_i - sum_j theta_j tau_ij / S_j]
///     G^E/RT = sum_i x_i ln(Phi_i/x_i) + (z/2) sum_i q_i x_i ln(theta_i/Phi_i)
///              - sum_i q_i x_i ln S_i
/// Phi_i/x_i and theta_i/Phi_i are evaluated in their finite forms, so x_i = 0 is exact.
class Uniquac final : public ActivityModel {
public:
    /// Checks sizes, r, q > 0 and the interaction matrix once.
    explicit Uniquac(UniquacParameters p);
    const UniquacParameters& parameters() const noexcept { return p_; }

    std::size_t component_count() const noexcept override { return n_; }
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const override;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const override;
    double excess_gibbs_over_rt(double T, std::span<const double> x) const override;
    void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const override;

private:
    UniquacParameters p_;
    InteractionEvaluator ln_tau_;
    std::vector<double> l_;   ///< l_i of the combinatorial term
    std::vector<double> k_;   ///< ln r_i + (z/2) q_i ln(q_i/r_i), the x-independent part of it
    std::vector<double> qr_;  ///< areas of the residual term (q or q')
    std::size_t n_ = 0;
};

}  // namespace host
