#include "host/activity_model.hpp"

#include <stdexcept>

#include "host/detail/scratch.hpp"

namespace host {

void ActivityModel::d_ln_gamma_dn(double T,
                                  std::span<const double> x,
                                  std::span<double> out) const {
    const std::size_t n = component_count();
    if (x.size() != n || out.size() != n * n) {
        throw std::invalid_argument("d_ln_gamma_dn: expected " + std::to_string(n) +
                                    " mole fractions and " + std::to_string(n * n) + " outputs");
    }
    detail::Scratch scratch;
    const std::span<double> shifted = scratch.take(n);
    const std::span<double> plus = scratch.take(n);
    const std::span<double> minus = scratch.take(n);
    const std::span<double> base = scratch.take(n);
    // ln gamma at n = x + s e_j, renormalised: ln gamma depends on mole fractions only.
    const auto evaluate = [&](std::size_t j, double s, std::span<double> result) {
        const double total = 1.0 + s;
        for (std::size_t k = 0; k < n; ++k) { shifted[k] = (x[k] + (k == j ? s : 0.0)) / total; }
        ln_gamma(T, shifted, result);
    };
    constexpr double h = 1e-5;
    for (std::size_t j = 0; j < n; ++j) {
        if (x[j] > h) {
            evaluate(j, h, plus);
            evaluate(j, -h, minus);
            for (std::size_t i = 0; i < n; ++i) {
                out[i * n + j] = (plus[i] - minus[i]) / (2.0 * h);
            }
        } else {
            // Near x_j = 0 a backward step would leave the composition simplex: use the
            // second-order one-sided formula instead.
            evaluate(j, 0.0, base);
            evaluate(j, h, plus);
            evaluate(j, 2.0 * h, minus);
            for (std::size_t i = 0; i < n; ++i) {
                out[i * n + j] = (-3.0 * base[i] + 4.0 * plus[i] - minus[i]) / (2.0 * h);
            }
        }
    }
}

}  // namespace host
