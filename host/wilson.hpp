#pragma once
#include "host/activity_model.hpp"
#include "host/interaction_matrix.hpp"

namespace host {

/// Parameters of the Wilson model.
struct WilsonParameters {
    /// ln(Lambda_ij) = a_ij + b_ij/T + e_ij ln T + f_ij T, Lambda_ii = 1. In the classical form
    /// Lambda_ij = (V_j/V_i) exp(-(lambda_ij - lambda_ii)/(R T)): a_ij = ln(V_j/V_i),
    /// b_ij = -(lambda_ij - lambda_ii)/R [K] (the databank's wilson.tsv convention).
    InteractionMatrix ln_lambda;
};

/// Wilson activity coefficients (G. M. Wilson, J. Am. Chem. Soc. 86 (1964) 127, eq. 15):
///     G^E/RT = -sum_i x_i ln S_i,   S_i = sum_j x_j Lambda_ij
///     ln gamma_i = 1 - ln S_i - sum_k x_k Lambda_ki / S_k
/// The model cannot describe two liquid phases.
class Wilson final : public ActivityModel {
public:
    /// Throws std::invalid_argument for wrong sizes, non-finite values or a non-zero diagonal.
    explicit Wilson(WilsonParameters p);
    const WilsonParameters& parameters() const noexcept { return p_; }

    std::size_t component_count() const noexcept override { return n_; }
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const override;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const override;
    double excess_gibbs_over_rt(double T, std::span<const double> x) const override;
    /// Closed form: 1 - Lambda_ij/S_i - Lambda_ji/S_j + sum_k x_k Lambda_ki Lambda_kj / S_k^2.
    void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const override;
    bool can_split_liquid() const noexcept override { return false; }

private:
    WilsonParameters p_;
    InteractionEvaluator ln_lambda_;
    std::size_t n_ = 0;
};

}  // namespace host
