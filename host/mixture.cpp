#include "host/mixture.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "host/detail/scratch.hpp"
#include "host/pure_component.hpp"
#include "platform/units.hpp"

namespace host {

// Enthalpy reference: every pure component as an ideal gas at 298.15 K has H = 0, so that
// vapour and liquid enthalpies share one datum and balances without reaction need nothing else.
//   vapour: H_V(T, y) = sum_i y_i H_ig,i(T)
//   liquid: H_L(T, x) = sum_i x_i [H_ig,i(T) - dHvap_i(T)] + H^E(T, x)
// dHvap comes from its own correlation (DIPPR 106), which matches measured heats of
// vaporization better than the Clausius-Clapeyron slope of the vapour-pressure equation would;
// pressure effects on both phases are neglected, as in the equilibrium model (ideal vapour, no
// Poynting factor). Above a component's critical temperature its dHvap is 0.

struct Mixture::Impl {
    std::vector<PureComponent> components;
    std::shared_ptr<const ActivityModel> model;
    std::vector<VapourPressureCorrelation> vapour_pressure;  // contiguous copies for flash loops
    double t_min = 0.0;
    double t_max = 0.0;
};

Mixture::Mixture(std::vector<PureComponent> components, std::shared_ptr<const ActivityModel> model)
    : impl_(std::make_unique<Impl>()) {
    if (!model) { throw std::invalid_argument("Mixture: no activity model"); }
    if (components.empty()) { throw std::invalid_argument("Mixture: no components"); }
    if (model->component_count() != components.size()) {
        throw std::invalid_argument("Mixture: " + std::to_string(components.size()) +
                                    " components but an activity model for " +
                                    std::to_string(model->component_count()));
    }
    Impl& m = *impl_;
    m.t_min = 0.0;
    m.t_max = std::numeric_limits<double>::infinity();
    std::string lowest_max, highest_min;
    for (const auto& c : components) {
        const auto& vp = c.vapour_pressure;
        if (!(vp.T_min > 0.0) || !(vp.T_max > vp.T_min) || !std::isfinite(vp.T_max)) {
            throw std::invalid_argument("Mixture: " + c.id +
                                        " has no valid vapour-pressure temperature range");
        }
        if (vp.T_min > m.t_min) {
            m.t_min = vp.T_min;
            highest_min = c.id;
        }
        if (vp.T_max < m.t_max) {
            m.t_max = vp.T_max;
            lowest_max = c.id;
        }
        m.vapour_pressure.push_back(vp);
    }
    if (!(m.t_min < m.t_max)) {
        throw std::invalid_argument("Mixture: the vapour-pressure ranges do not overlap (" +
                                    highest_min + " starts at " + std::to_string(m.t_min) + " K, " +
                                    lowest_max + " ends at " + std::to_string(m.t_max) + " K)");
    }
    m.components = std::move(components);
    m.model = std::move(model);
}

Mixture::~Mixture() = default;
Mixture::Mixture(const Mixture& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
Mixture& Mixture::operator=(const Mixture& other) {
    if (this != &other) { impl_ = std::make_unique<Impl>(*other.impl_); }
    return *this;
}
Mixture::Mixture(Mixture&&) noexcept = default;
Mixture& Mixture::operator=(Mixture&&) noexcept = default;

std::size_t Mixture::size() const noexcept { return impl_->components.size(); }

const PureComponent& Mixture::component(std::size_t i) const { return impl_->components.at(i); }

const ActivityModel& Mixture::model() const noexcept { return *impl_->model; }

double Mixture::ln_psat(std::size_t i, double T) const {
    return impl_->vapour_pressure.at(i).ln_p(T);
}

double Mixture::d_ln_psat_dT(std::size_t i, double T) const {
    return impl_->vapour_pressure.at(i).d_ln_p_dT(T);
}

void Mixture::ln_psat_all(double T, std::span<double> out) const {
    const auto& vp = impl_->vapour_pressure;
    if (out.size() != vp.size()) {
        throw std::invalid_argument("Mixture::ln_psat_all: expected " + std::to_string(vp.size()) +
                                    " outputs, got " + std::to_string(out.size()));
    }
    const double ln_T = std::log(T);
    for (std::size_t i = 0; i < vp.size(); ++i) { out[i] = vp[i].ln_p(T, ln_T); }
}

double Mixture::temperature_min() const noexcept { return impl_->t_min; }
double Mixture::temperature_max() const noexcept { return impl_->t_max; }

void Mixture::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    impl_->model->ln_gamma(T, x, out);
}

void Mixture::d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const {
    impl_->model->d_ln_gamma_dT(T, x, out);
}

namespace {

void check_composition(const char* what, std::span<const double> z, std::size_t n) {
    if (z.size() != n) {
        throw std::invalid_argument(std::string("Mixture::") + what + ": expected " +
                                    std::to_string(n) + " mole fractions, got " +
                                    std::to_string(z.size()));
    }
}

}  // namespace

double Mixture::excess_enthalpy(double T, std::span<const double> x) const {
    const std::size_t n = size();
    check_composition("excess_enthalpy", x, n);
    detail::Scratch scratch;
    const std::span<double> d = scratch.take(n);
    impl_->model->d_ln_gamma_dT(T, x, d);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) { sum += x[i] * d[i]; }
    return -units::kGasConstant * T * T * sum;
}

double Mixture::liquid_enthalpy(double T, std::span<const double> x) const {
    const std::size_t n = size();
    check_composition("liquid_enthalpy", x, n);
    double h = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const PureComponent& c = impl_->components[i];
        h += x[i] * (c.ideal_gas_cp.enthalpy(T) - c.heat_of_vaporization.value(T));
    }
    return h + excess_enthalpy(T, x);
}

double Mixture::vapour_enthalpy(double T, std::span<const double> y) const {
    const std::size_t n = size();
    check_composition("vapour_enthalpy", y, n);
    double h = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        h += y[i] * impl_->components[i].ideal_gas_cp.enthalpy(T);
    }
    return h;
}

double Mixture::liquid_heat_capacity(double T, std::span<const double> x) const {
    const std::size_t n = size();
    check_composition("liquid_heat_capacity", x, n);
    double cp = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const PureComponent& c = impl_->components[i];
        cp += x[i] * (c.ideal_gas_cp.cp(T) - c.heat_of_vaporization.d_value_dT(T));
    }
    // dH^E/dT by a central difference: H^E already holds the analytic d ln gamma/dT, and a
    // 0.01 K step keeps both truncation and rounding far below what a Newton step needs.
    constexpr double h = 0.01;
    return cp + (excess_enthalpy(T + h, x) - excess_enthalpy(T - h, x)) / (2.0 * h);
}

double Mixture::vapour_heat_capacity(double T, std::span<const double> y) const {
    const std::size_t n = size();
    check_composition("vapour_heat_capacity", y, n);
    double cp = 0.0;
    for (std::size_t i = 0; i < n; ++i) { cp += y[i] * impl_->components[i].ideal_gas_cp.cp(T); }
    return cp;
}

}  // namespace host
