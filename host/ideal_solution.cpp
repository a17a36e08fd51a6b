#include "host/ideal_solution.hpp"

#include <algorithm>
#include <stdexcept>

#include "host/detail/model_checks.hpp"

namespace host {

IdealSolution::IdealSolution(std::size_t n) : n_(n) {
    if (n == 0) { throw std::invalid_argument("IdealSolution: needs at least one component"); }
}

void IdealSolution::ln_gamma(double T, std::span<const double> x, std::span<double> out) const {
    detail::check_arguments("IdealSolution", n_, T, x.size(), out.size());
    std::fill(out.begin(), out.end(), 0.0);
}

void IdealSolution::d_ln_gamma_dT(double T,
                                  std::span<const double> x,
                                  std::span<double> out) const {
    detail::check_arguments("IdealSolution", n_, T, x.size(), out.size());
    std::fill(out.begin(), out.end(), 0.0);
}

double IdealSolution::excess_gibbs_over_rt(double T, std::span<const double> x) const {
    detail::check_arguments("IdealSolution", n_, T, x.size());
    return 0.0;
}

void IdealSolution::d_ln_gamma_dn(double T,
                                  std::span<const double> x,
                                  std::span<double> out) const {
    detail::check_matrix_arguments("IdealSolution", n_, T, x.size(), out.size());
    std::fill(out.begin(), out.end(), 0.0);
}

}  // namespace host
