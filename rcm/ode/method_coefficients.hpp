#pragma once
// Coefficients of the two linear multistep families that LSODA switches between, in Nordsieck
// form: the implicit Adams (Adams-Moulton) formulas of orders 1-12 and the backward
// differentiation formulas (BDF) of orders 1-5.

#include <array>

namespace rcm::ode {

inline constexpr int kMaxAdamsOrder = 12;
inline constexpr int kMaxBdfOrder = 5;

/// Coefficients of one family, indexed by the order q (index 0 unused).
struct MethodCoefficients {
    /// l-vector of order q: l[q][0..q], normalised so that l[q][1] = 1 (Gear 1971, ch. 9).
    std::array<std::array<double, 13>, 13> l{};
    /// Error-test constants of order q: [0] converts ||z_q|| into the order q-1 error estimate,
    /// [1] the accumulated correction into the order q estimate, [2] the difference of two
    /// successive corrections into the order q+1 estimate (0 where the order does not exist).
    std::array<std::array<double, 3>, 13> test{};
    /// Switching constant cm(q) = test[q][1] * l[q][q], the ratio between the local error and
    /// the (q+1)-th derivative term (Petzold 1983).
    std::array<double, 13> cm{};
    int max_order = 0;
};

/// Adams-Moulton: dL/dx = (x+1)...(x+q-1)/(q-1)!, L(-1) = 0; local error constant E_q of
/// the order-q formula is (1/q!) * integral_{-1}^{0} (-x)(x+1)...(x+q-1) dx.
const MethodCoefficients& adams_coefficients();

/// BDF: L(x) = (x+1)...(x+q) / K_q with K_q = q! (1 + 1/2 + ... + 1/q).
const MethodCoefficients& bdf_coefficients();

/// Largest h * (Lipschitz estimate) for which the order-q Adams corrector iterated to
/// convergence by functional iteration stays stable (Petzold 1983, table of sm1); q = 1..12.
double adams_stability_bound(int q);

}  // namespace rcm::ode
