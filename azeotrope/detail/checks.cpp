#include "azeotrope/detail/checks.hpp"

#include <cmath>

namespace azeotrope::detail {

bool valid_pressure(double p) noexcept { return std::isfinite(p) && p > 0.0; }

bool valid_phase_count(std::int64_t n) noexcept { return n == 2 || n == 3; }

bool clean_composition(std::span<const double> x, std::vector<double>& out, double sum_tolerance) {
    out.assign(x.begin(), x.end());
    double sum = 0.0;
    for (double& v : out) {
        if (!std::isfinite(v) || v < -kNegativeNoise) { return false; }
        if (v < 0.0) { v = 0.0; }
        sum += v;
    }
    return std::fabs(sum - 1.0) <= sum_tolerance;
}

bool checked_count(const std::int64_t* n, std::int64_t limit, std::size_t& out) noexcept {
    if (n == nullptr || *n < 0 || *n > limit) { return false; }
    out = static_cast<std::size_t>(*n);
    return true;
}

}  // namespace azeotrope::detail
