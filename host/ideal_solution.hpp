#pragma once
#include "host/activity_model.hpp"

namespace host {

/// Ideal liquid solution: gamma_i = 1, G^E = 0, Raoult's law.
class IdealSolution final : public ActivityModel {
public:
    explicit IdealSolution(std::size_t n);
    std::size_t component_count() const noexcept override { return n_; }
    void ln_gamma(double T, std::span<const double> x, std::span<double> out) const override;
    void d_ln_gamma_dT(double T, std::span<const double> x, std::span<double> out) const override;
    double excess_gibbs_over_rt(double T, std::span<const double> x) const override;
    void d_ln_gamma_dn(double T, std::span<const double> x, std::span<double> out) const override;
    bool can_split_liquid() const noexcept override { return false; }

private:
    std::size_t n_;
};

}  // namespace host
