#pragma once
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "host/activity_model.hpp"

namespace host {

struct PureComponent;  // constants and correlations of one component, host/pure_component.hpp

/// Everything a flash needs about n components in a fixed order: their pure-component
/// correlations and one liquid activity model; the vapour is an ideal gas and the liquid
/// fugacity is x_i gamma_i Psat_i (no Poynting factor). Units: T [K], P [Pa], H [J/kmol].
/// Enthalpy reference: each pure component as an ideal gas at 298.15 K has H = 0.
/// A Mixture is immutable once built and cheap to share between flashes.
class Mixture {
public:
    Mixture(std::vector<PureComponent> components, std::shared_ptr<const ActivityModel> model);
    ~Mixture();
    Mixture(const Mixture&);
    Mixture& operator=(const Mixture&);
    Mixture(Mixture&&) noexcept;
    Mixture& operator=(Mixture&&) noexcept;

    std::size_t size() const noexcept;
    const PureComponent& component(std::size_t i) const;
    const ActivityModel& model() const noexcept;

    /// ln(Psat_i / Pa) at T [K], and its derivative d ln(Psat_i)/dT [1/K].
    double ln_psat(std::size_t i, double T) const;
    double d_ln_psat_dT(std::size_t i, double T) const;
    /// ln(Psat_i / Pa) of every component at T [K] into out (size n), sharing one ln T.
    void ln_psat_all(double T, std::span<double> out) const;

    /// Temperature range [K] over which every component's vapour-pressure correlation holds;
    /// flashes refuse specifications outside it rather than extrapolate silently.
    double temperature_min() const noexcept;
    double temperature_max() const noexcept;

    /// ln(gamma_i) and its temperature derivative (forwarded to the model).
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const;

    /// Molar enthalpy of a liquid of composition x at T [K] (pressure-independent) [J/kmol]:
    /// sum_i x_i (H_ig,i(T) - dHvap_i(T)) + H^E(T, x).
    double liquid_enthalpy(double T, std::span<const double> x) const;
    /// Molar enthalpy of an ideal-gas vapour of composition y at T [K] [J/kmol].
    double vapour_enthalpy(double T, std::span<const double> y) const;
    /// Excess enthalpy of the liquid H^E = -R T^2 sum_i x_i d ln(gamma_i)/dT [J/kmol].
    double excess_enthalpy(double T, std::span<const double> x) const;
    /// d/dT of the two enthalpies [J/(kmol K)], for Newton steps of the PH and TH flashes.
    double liquid_heat_capacity(double T, std::span<const double> x) const;
    double vapour_heat_capacity(double T, std::span<const double> y) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace host
