#include "host/pure_component.hpp"

#include <cmath>

#include "platform/units.hpp"

namespace host {
namespace {

/// T^G. Every exponent in the databank is a small integer (2 or 6 for DIPPR 101), for which
/// repeated multiplication is both exact to the last bit and several times faster than pow.
double power(double T, double G) noexcept {
    if (G >= 0.0 && G <= 8.0 && G == std::floor(G)) {
        double result = 1.0;
        for (int k = static_cast<int>(G); k > 0; --k) { result *= T; }
        return result;
    }
    return std::pow(T, G);
}

}  // namespace

double VapourPressureCorrelation::ln_p(double T) const noexcept { return ln_p(T, std::log(T)); }

double VapourPressureCorrelation::ln_p(double T, double ln_T) const noexcept {
    double value = A + B / (T + C) + D * T + E * ln_T;
    if (F != 0.0) { value += F * power(T, G); }
    return value;
}

double VapourPressureCorrelation::d_ln_p_dT(double T) const noexcept {
    const double shifted = T + C;
    double value = -B / (shifted * shifted) + D + E / T;
    if (F != 0.0 && G != 0.0) { value += F * G * power(T, G - 1.0); }
    return value;
}

double IdealGasHeatCapacity::cp(double T) const noexcept {
    return c[0] + T * (c[1] + T * (c[2] + T * (c[3] + T * c[4])));
}

double IdealGasHeatCapacity::enthalpy(double T) const noexcept {
    // Term by term integral of the polynomial, in Horner form at both limits.
    const auto integral = [this](double t) {
        return t * (c[0] + t * (c[1] / 2.0 + t * (c[2] / 3.0 + t * (c[3] / 4.0 + t * c[4] / 5.0))));
    };
    return integral(T) - integral(units::kReferenceTemperature);
}

double HeatOfVaporization::value(double T) const noexcept {
    const double Tr = T / Tc;
    if (!(Tr < 1.0)) {
        return 0.0;  // no liquid-vapour distinction above Tc; never a power of a negative number
    }
    const double exponent = B + Tr * (C + Tr * (D + Tr * E));
    return A * std::pow(1.0 - Tr, exponent);
}

double HeatOfVaporization::d_value_dT(double T) const noexcept {
    const double Tr = T / Tc;
    if (!(Tr < 1.0)) { return 0.0; }
    const double exponent = B + Tr * (C + Tr * (D + Tr * E));
    const double d_exponent = C + Tr * (2.0 * D + Tr * 3.0 * E);
    const double tau = 1.0 - Tr;
    // d ln(dHvap)/dTr = h'(Tr) ln(1 - Tr) - h(Tr)/(1 - Tr)
    return A * std::pow(tau, exponent) * (d_exponent * std::log(tau) - exponent / tau) / Tc;
}

}  // namespace host
