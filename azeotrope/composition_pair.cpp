#include "azeotrope/composition_pair.hpp"

#include <algorithm>

namespace azeotrope {

bool composition_pair(std::span<const double> x,
                      std::size_t k,
                      double h,
                      std::span<double> x_plus,
                      std::span<double> x_minus) noexcept {
    const std::size_t n = x.size();
    if (n < 2 || k + 1 >= n || x_plus.size() != n || x_minus.size() != n) { return false; }
    const std::size_t r = n - 1;
    std::copy(x.begin(), x.end(), x_plus.begin());
    std::copy(x.begin(), x.end(), x_minus.begin());

    // x_k + x_r from the other mole fractions: at a vertex of another component this is exactly
    // 0 even when the stored values carry rounding noise from a normalisation.
    double others = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i != k && i != r) { others += x[i]; }
    }
    const double pair_sum = 1.0 - others;
    const double xk = x[k];
    const double xr = x[r];

    if (pair_sum > 2.0 * h) {
        if (xk <= h) {
            // k (nearly) absent: difference forwards from half of it.
            x_minus[k] = xk / 2.0;
            x_minus[r] = xr + xk / 2.0;
            x_plus[k] = x_minus[k] + h;
            x_plus[r] = xr + xk - x_plus[k];
        } else if (xr <= h) {
            // r (nearly) absent: difference backwards.
            x_plus[k] = xk + xr / 2.0;
            x_plus[r] = xr / 2.0;
            x_minus[k] = x_plus[k] - h;
            x_minus[r] = xr + xk - x_minus[k];
        } else {
            x_plus[k] = xk + h / 2.0;
            x_plus[r] = xr - h / 2.0;
            x_minus[k] = xk - h / 2.0;
            x_minus[r] = xr + h / 2.0;
        }
        return true;
    }

    // Both nearly absent: borrow h from the largest mole fraction. Its change is the same in both
    // points, so it drops out of the difference.
    const auto m = static_cast<std::size_t>(std::max_element(x.begin(), x.end()) - x.begin());
    x_plus[k] = xk + h;
    x_plus[m] -= h;
    x_minus[r] = xr + h;
    x_minus[m] -= h;
    return true;
}

}  // namespace azeotrope
