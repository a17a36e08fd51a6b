#pragma once
#include <cstddef>
#include <span>

namespace host {

/// A liquid-phase activity-coefficient model over a fixed, ordered list of components.
/// Implementations: ideal solution, Wilson, NRTL, UNIQUAC, original UNIFAC and UNIFAC-LLE.
/// Temperatures in K, compositions as mole fractions [mol/mol] summing to 1 (the models do not
/// renormalise). Evaluations allocate nothing on the heap for up to kMaxInlineComponents
/// components, since flashes call them in their innermost loops.
class ActivityModel {
public:
    static constexpr std::size_t kMaxInlineComponents = 100;

    virtual ~ActivityModel() = default;

    /// Number of components n.
    virtual std::size_t component_count() const noexcept = 0;

    /// ln(gamma_i) at T [K] and x [mol/mol]; out has size n.
    virtual void ln_gamma(double T, std::span<const double> x, std::span<double> out) const = 0;

    /// d ln(gamma_i)/dT at constant x [1/K]; out has size n. Used for the excess enthalpy
    /// H^E = -R T^2 sum_i x_i d ln(gamma_i)/dT.
    virtual void d_ln_gamma_dT(double T,
                               std::span<const double> x,
                               std::span<double> out) const = 0;

    /// G^E/RT [-] at T [K] and x. ln(gamma_i) = d(n G^E/RT)/dn_i.
    virtual double excess_gibbs_over_rt(double T, std::span<const double> x) const = 0;

    /// d ln(gamma_i)/dn_j at unit total amount (n x n, row i, column j, row-major), the matrix
    /// the liquid-liquid Newton steps and the stability test need. The default takes central
    /// differences of ln_gamma; models with a closed form override it.
    virtual void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const;

    /// False when the model cannot describe two liquid phases at all (ideal solution, Wilson),
    /// so the stability test can be skipped.
    virtual bool can_split_liquid() const noexcept { return true; }
};

}  // namespace host
