#pragma once
#include <array>
#include <string>
#include <utility>
#include <vector>

namespace host {

/// Vapour pressure, the extended Antoine / DIPPR-101 form
///     ln(P/Pa) = A + B/(T + C) + D T + E ln T + F T^G        [T in K]
/// (DIPPR 101 is C = D = 0; the Antoine forms are D = E = F = 0).
struct VapourPressureCorrelation {
    double A = 0.0, B = 0.0, C = 0.0, D = 0.0, E = 0.0, F = 0.0, G = 0.0;
    double T_min = 0.0;  ///< lower end of the range the source gives [K]
    double T_max = 0.0;  ///< upper end of the range the source gives [K]

    /// ln(Psat/Pa) at T [K].
    double ln_p(double T) const noexcept;
    /// The same with ln T supplied, for evaluating many components at one T.
    double ln_p(double T, double ln_T) const noexcept;
    /// d ln(Psat)/dT [1/K] at T [K], analytic.
    double d_ln_p_dT(double T) const noexcept;
};

/// Ideal-gas heat capacity, a polynomial Cp = c0 + c1 T + c2 T^2 + c3 T^3 + c4 T^4
/// [J/(kmol K)], and the enthalpy it integrates to in closed form.
struct IdealGasHeatCapacity {
    std::array<double, 5> c{};  ///< c_k in J/(kmol K^(k+1))
    double T_min = 0.0;         ///< range of the fit [K]; outside it the polynomial extrapolates
    double T_max = 0.0;

    /// Cp [J/(kmol K)] at T [K].
    double cp(double T) const noexcept;
    /// H_ig(T) - H_ig(298.15 K) [J/kmol].
    double enthalpy(double T) const noexcept;
};

/// Heat of vaporization, DIPPR equation 106 with the cubic exponent of ChemSep:
///     dHvap = A (1 - Tr)^(B + C Tr + D Tr^2 + E Tr^3),  Tr = T/Tc,  0 for Tr >= 1.
struct HeatOfVaporization {
    double A = 0.0;  ///< [J/kmol]
    double B = 0.0, C = 0.0, D = 0.0, E = 0.0;
    double Tc = 0.0;  ///< the critical temperature the fit was made with [K] (not always tc)
    double T_min = 0.0;
    double T_max = 0.0;

    /// dHvap [J/kmol] at T [K]; 0 at and above Tc.
    double value(double T) const noexcept;
    /// d(dHvap)/dT [J/(kmol K)]; 0 at and above Tc (the curve ends there with infinite slope).
    double d_value_dT(double T) const noexcept;
};

/// Counts of UNIFAC subgroups in one molecule: (subgroup id, count) in the numbering of one
/// parameter table (original UNIFAC and UNIFAC-LLE number their subgroups differently).
using UnifacGroupCounts = std::vector<std::pair<int, int>>;

/// Where each group of values of a component comes from (source codes of the databank, e.g.
/// "P28" for Perry's Table 2-8; components.md lists them).
struct PureComponentSources {
    std::string critical, acentric_factor, molar_mass, boiling_point, vapour_pressure, ideal_gas_cp,
        heat_of_vaporization, liquid_volume, uniquac;
    std::string origin;  ///< "file:line" of the row the component was read from, or "inline"
};

/// Constants and correlations of one pure component, in K, Pa, J/kmol, kg/kmol, m3/kmol.
/// Optional values the databank leaves empty are NaN (the Wilson volume of CH2CL2).
struct PureComponent {
    std::string id;       ///< databank id, at most 8 characters ("ETOH")
    std::string name;     ///< short name, at most 12 characters ("ethanol")
    std::string cas;      ///< CAS registry number
    std::string formula;  ///< Hill formula

    double molar_mass = 0.0;            ///< [kg/kmol]
    double critical_temperature = 0.0;  ///< [K]
    double critical_pressure = 0.0;     ///< [Pa]
    double acentric_factor = 0.0;       ///< [-]
    double normal_boiling_point = 0.0;  ///< at 101325 Pa, tabulated [K]

    VapourPressureCorrelation vapour_pressure;
    IdealGasHeatCapacity ideal_gas_cp;
    HeatOfVaporization heat_of_vaporization;

    double liquid_volume_298 = 0.0;  ///< saturated liquid molar volume at 298.15 K [m3/kmol]
    double uniquac_r = 0.0;          ///< UNIQUAC volume parameter [-]
    double uniquac_q = 0.0;          ///< UNIQUAC area parameter [-]
    double wilson_volume = 0.0;      ///< molar volume the Wilson parameters were built on [m3/kmol]

    UnifacGroupCounts unifac_groups;      ///< original UNIFAC (VLE) decomposition; empty if none
    UnifacGroupCounts unifac_lle_groups;  ///< UNIFAC-LLE decomposition; empty if none

    PureComponentSources sources;
};

}  // namespace host
