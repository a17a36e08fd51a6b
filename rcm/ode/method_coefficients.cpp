#include "rcm/ode/method_coefficients.hpp"

#include <cstdint>
#include <vector>

namespace rcm::ode {
namespace {

// Coefficients of prod_{i=1}^{k} (x + i), lowest power first. They are integers below 13!, so
// double arithmetic keeps them exact.
std::vector<double> rising_product(int k) {
    std::vector<double> p{1.0};
    for (int i = 1; i <= k; ++i) {
        std::vector<double> next(p.size() + 1, 0.0);
        for (std::size_t j = 0; j < p.size(); ++j) {
            next[j] += p[j] * i;
            next[j + 1] += p[j];
        }
        p = std::move(next);
    }
    return p;
}

double factorial(int k) {
    double f = 1.0;
    for (int i = 2; i <= k; ++i) { f *= i; }
    return f;
}

// The sums sum_k p_k (-1)^k / (k + shift) that define l_0 and E_q alternate and cancel; they
// are formed exactly in integers over a common denominator so that each coefficient is rounded
// once, instead of accumulating rounding in the cancellation.
constexpr std::int64_t kCommonDenominator = 360360;  // lcm(1, ..., 13): k + shift never exceeds 13

std::int64_t alternating_sum_numerator(const std::vector<double>& p, int shift) {
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const auto pk = static_cast<std::int64_t>(p[k]);
        const std::int64_t term =
            pk * (kCommonDenominator / (static_cast<std::int64_t>(k) + shift));
        sum += (k % 2 == 0) ? term : -term;
    }
    return sum;
}

// Numerator of E_q * q! * kCommonDenominator (Adams local error constant).
std::int64_t adams_error_numerator(int q) {
    return alternating_sum_numerator(rising_product(q - 1), 2);
}

MethodCoefficients make_adams() {
    MethodCoefficients c;
    c.max_order = kMaxAdamsOrder;
    const auto denominator = static_cast<double>(kCommonDenominator);
    for (int q = 1; q <= kMaxAdamsOrder; ++q) {
        const std::vector<double> p = rising_product(q - 1);
        const double fq1 = factorial(q - 1);
        // l_0 = integral_{-1}^{0} dL/dx dx; l_{k+1} = p_k / ((k+1) (q-1)!).
        c.l[q][0] = static_cast<double>(alternating_sum_numerator(p, 1)) / (denominator * fq1);
        for (std::size_t k = 0; k < p.size(); ++k) {
            c.l[q][k + 1] = p[k] / ((static_cast<double>(k) + 1.0) * fq1);
        }
        // tc2 = 1/E_q, tc3 = 1/E_{q+1}, tc1 = 1/(E_{q-1} q!).
        c.test[q][1] = denominator * factorial(q) / static_cast<double>(adams_error_numerator(q));
        if (q < kMaxAdamsOrder) {
            c.test[q][2] =
                denominator * factorial(q + 1) / static_cast<double>(adams_error_numerator(q + 1));
        }
        if (q > 1) {
            c.test[q][0] = denominator / (static_cast<double>(adams_error_numerator(q - 1)) * q);
        }
        c.cm[q] = c.test[q][1] * c.l[q][q];
    }
    return c;
}

MethodCoefficients make_bdf() {
    MethodCoefficients c;
    c.max_order = kMaxBdfOrder;
    for (int q = 1; q <= kMaxBdfOrder; ++q) {
        const std::vector<double> p = rising_product(q);
        const double kq = p[1];  // x-coefficient of the product: q! (1 + 1/2 + ... + 1/q)
        for (int j = 0; j <= q; ++j) { c.l[q][j] = p[j] / kq; }
        c.test[q][0] = 1.0 / factorial(q - 1);
        c.test[q][1] = (q + 1) * kq / p[0];
        c.test[q][2] = (q + 2) * kq / p[0];
        c.cm[q] = c.test[q][1] * c.l[q][q];
    }
    return c;
}

constexpr std::array<double, 13> kStabilityBound = {0.0,  0.5,  0.575, 0.55,  0.45,  0.35, 0.25,
                                                    0.20, 0.15, 0.10,  0.075, 0.050, 0.025};

}  // namespace

const MethodCoefficients& adams_coefficients() {
    static const MethodCoefficients c = make_adams();
    return c;
}

const MethodCoefficients& bdf_coefficients() {
    static const MethodCoefficients c = make_bdf();
    return c;
}

double adams_stability_bound(int q) {
    return (q >= 1 && q <= kMaxAdamsOrder) ? kStabilityBound[static_cast<std::size_t>(q)] : 0.0;
}

}  // namespace rcm::ode
