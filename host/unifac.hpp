#pragma once
#include <span>
#include <string>
#include <vector>

#include "host/activity_model.hpp"
#include "host/databank.hpp"
#include "host/pure_component.hpp"

namespace host {

/// UNIFAC activity coefficients by group contribution, with one of the two parameter tables:
/// original UNIFAC for VLE (A. Fredenslund, R. L. Jones, J. M. Prausnitz, AIChE J. 21 (1975)
/// 1086; parameters of H. K. Hansen et al., Ind. Eng. Chem. Res. 30 (1991) 2352 and later
/// revisions) or UNIFAC-LLE (T. Magnussen, P. Rasmussen, Aa. Fredenslund, Ind. Eng. Chem.
/// Process Des. Dev. 20 (1981) 331). Both use the same equations:
///     ln gamma_i = ln gamma_i^C + ln gamma_i^R
///     ln gamma_i^C: UNIQUAC's combinatorial term (z = 10) with r_i = sum_k nu_k(i) R_k,
///                   q_i = sum_k nu_k(i) Q_k
///     ln gamma_i^R = sum_k nu_k(i) [ln Gamma_k - ln Gamma_k(i)]
///     ln Gamma_k = Q_k [1 - ln(sum_m Theta_m Psi_mk) - sum_m Theta_m Psi_km / sum_n Theta_n
///     Psi_nm] Psi_mn = exp(-a_mn/T), a_mn between the MAIN groups of m and n (0 within one main
///     group)
/// Since Psi depends on main groups only, the bracket of ln Gamma_k is the same for every
/// subgroup of one main group; the evaluation works on main groups throughout (an exact
/// rearrangement), with the area eta_iK = sum_{k in K} nu_k(i) Q_k of main group K in
/// molecule i. The residual G^E of this solution of groups is
///     G^E_R/RT = -sum_K (sum_i x_i eta_iK) ln S_K + sum_i x_i sum_K eta_iK ln S_K(i),
/// S_K = sum_M Theta_M Psi_MK, which the identity tests compare with ln gamma^R.
class Unifac final : public ActivityModel {
public:
    /// Builds the model for components with these subgroup counts (numbering of `table`).
    /// Throws std::invalid_argument for a component without groups, an unknown subgroup, or
    /// a main-group pair without a published a_mn, naming the groups and the components
    /// (`names`, optional, label the components in messages).
    Unifac(const UnifacTable& table,
           std::span<const UnifacGroupCounts> groups,
           std::span<const std::string> names = {});

    UnifacVersion version() const noexcept { return version_; }
    /// r_i and q_i summed from the groups.
    std::span<const double> r() const noexcept { return r_; }
    std::span<const double> q() const noexcept { return q_; }

    std::size_t component_count() const noexcept override { return n_; }
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const override;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const override;
    double excess_gibbs_over_rt(double T, std::span<const double> x) const override;
    void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const override;

private:
    void psi(double T, double* psi, double* d_psi) const;

    UnifacVersion version_ = UnifacVersion::original;
    std::size_t n_ = 0;                  ///< components
    std::size_t m_ = 0;                  ///< main groups present
    std::vector<int> main_groups_;       ///< their ids
    std::vector<double> r_, q_, l_, k_;  ///< k_: x-independent part of the combinatorial term
    std::vector<double> eta_;            ///< n x m: area of main group K in molecule i
    std::vector<double> a_;              ///< m x m: a_KM [K]
    /// Main groups of each molecule with two or more (a molecule of one main group has
    /// ln Gamma_k(i) = 0): component i owns pure_groups_[pure_start_[i] .. pure_start_[i+1]).
    std::vector<std::size_t> pure_start_, pure_groups_;
};

}  // namespace host
