// Nordsieck coefficients of both families against exact rational values (worked out by hand from
// the generating polynomials; the BDF rows are Gear 1971, table 9.4) and the classical
// Adams-Moulton error constants 1/2, 1/12, 1/24, 19/720, 3/160, 863/60480 (Hairer, Norsett &
// Wanner, Solving ODEs I, table III.1.2).

#include "rcm/ode/method_coefficients.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace rcm::ode {
namespace {

void expect_row(const MethodCoefficients& c, int q, const std::vector<double>& expected) {
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(q + 1));
    for (int j = 0; j <= q; ++j) {
        EXPECT_NEAR(c.l[q][j], expected[j], 4e-16 * std::abs(expected[j]) + 1e-300)
            << "order " << q << ", l_" << j;
    }
}

TEST(MethodCoefficients, LVectorsAreTheExactRationals) {
    const MethodCoefficients& bdf = bdf_coefficients();
    expect_row(bdf, 1, {1.0, 1.0});
    expect_row(bdf, 2, {2.0 / 3, 1.0, 1.0 / 3});
    expect_row(bdf, 3, {6.0 / 11, 1.0, 6.0 / 11, 1.0 / 11});
    expect_row(bdf, 4, {12.0 / 25, 1.0, 7.0 / 10, 1.0 / 5, 1.0 / 50});
    expect_row(bdf, 5, {60.0 / 137, 1.0, 225.0 / 274, 85.0 / 274, 15.0 / 274, 1.0 / 274});

    const MethodCoefficients& adams = adams_coefficients();
    expect_row(adams, 1, {1.0, 1.0});
    expect_row(adams, 2, {1.0 / 2, 1.0, 1.0 / 2});
    expect_row(adams, 3, {5.0 / 12, 1.0, 3.0 / 4, 1.0 / 6});
    expect_row(adams, 4, {3.0 / 8, 1.0, 11.0 / 12, 1.0 / 3, 1.0 / 24});
    expect_row(adams, 5, {251.0 / 720, 1.0, 25.0 / 24, 35.0 / 72, 5.0 / 48, 1.0 / 120});
    expect_row(adams, 6, {95.0 / 288, 1.0, 137.0 / 120, 5.0 / 8, 17.0 / 96, 1.0 / 40, 1.0 / 720});
    expect_row(adams, 7,
               {19087.0 / 60480, 1.0, 49.0 / 40, 203.0 / 270, 49.0 / 192, 7.0 / 144, 7.0 / 1440,
                1.0 / 5040});
    expect_row(adams, 8,
               {5257.0 / 17280, 1.0, 363.0 / 280, 469.0 / 540, 967.0 / 2880, 7.0 / 90, 23.0 / 2160,
                1.0 / 1260, 1.0 / 40320});
    const double l0_high[4] = {1070017.0 / 3628800, 25713.0 / 89600, 26842253.0 / 95800320,
                               4777223.0 / 17418240};
    double factorial = 40320.0;
    for (int q = 9; q <= 12; ++q) {
        factorial *= q;
        EXPECT_NEAR(adams.l[q][0], l0_high[q - 9], 1e-15) << "order " << q;
        EXPECT_NEAR(adams.l[q][q], 1.0 / factorial, 1e-15 / factorial) << "order " << q;
        EXPECT_DOUBLE_EQ(adams.l[q][1], 1.0);
    }
}

// Both generating polynomials vanish at x = -1: sum_j (-1)^j l_j = 0 for every order.
TEST(MethodCoefficients, GeneratingPolynomialsVanishAtMinusOne) {
    for (const MethodCoefficients* c : {&adams_coefficients(), &bdf_coefficients()}) {
        for (int q = 1; q <= c->max_order; ++q) {
            double sum = 0.0;
            for (int j = 0; j <= q; ++j) { sum += (j % 2 == 0 ? 1.0 : -1.0) * c->l[q][j]; }
            EXPECT_NEAR(sum, 0.0, 1e-14) << "max order " << c->max_order << ", q = " << q;
        }
    }
}

TEST(MethodCoefficients, ErrorTestConstantsFollowTheErrorConstants) {
    const MethodCoefficients& adams = adams_coefficients();
    // tc2(q) = 1/E_q with the classical Adams-Moulton error constants.
    const double error_constant[6] = {1.0 / 2,    1.0 / 12,  1.0 / 24,
                                      19.0 / 720, 3.0 / 160, 863.0 / 60480};
    for (int q = 1; q <= 6; ++q) {
        EXPECT_NEAR(adams.test[q][1], 1.0 / error_constant[q - 1], 1e-12 / error_constant[q - 1])
            << q;
        if (q < 6) {
            EXPECT_NEAR(adams.test[q][2], 1.0 / error_constant[q], 1e-12 / error_constant[q]) << q;
        }
    }
    // Values of the remaining Adams constants (tc1 at every order, tc2/tc3 at the top).
    const double tc1[13] = {0,
                            0,
                            1,
                            2,
                            1,
                            0.3157894737,
                            0.07407407407,
                            0.01390498262,
                            0.002181818182,
                            2.945247843e-4,
                            3.491559156e-5,
                            3.691815829e-6,
                            3.524064515e-7};
    for (int q = 1; q <= 12; ++q) { EXPECT_NEAR(adams.test[q][0], tc1[q], 1e-9 * tc1[q]) << q; }
    EXPECT_NEAR(adams.test[12][1], 190.9602016, 1e-6);
    EXPECT_NEAR(adams.test[11][2], 190.9602016, 1e-6);
    EXPECT_EQ(adams.test[12][2], 0.0);

    const MethodCoefficients& bdf = bdf_coefficients();
    const double bdf_tc[6][3] = {{0, 0, 0},
                                 {1, 2, 3},
                                 {1, 4.5, 6},
                                 {0.5, 7.333333333, 9.166666667},
                                 {1.0 / 6, 10.41666667, 12.5},
                                 {1.0 / 24, 13.7, 15.98333333}};
    for (int q = 1; q <= 5; ++q) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(bdf.test[q][k], bdf_tc[q][k], 1e-9 * bdf_tc[q][k]) << q << ", " << k;
        }
    }
}

TEST(MethodCoefficients, SwitchingConstantsAndStabilityBounds) {
    const double adams_cm[12] = {2,
                                 6,
                                 4,
                                 1.578947368,
                                 0.4444444444,
                                 0.09733487833,
                                 0.01745454545,
                                 0.002650723058,
                                 3.491559156e-4,
                                 4.060997412e-5,
                                 4.228877418e-6,
                                 3.986629722e-7};
    const double bdf_cm[5] = {2, 1.5, 0.6666666667, 0.2083333333, 0.05};
    for (int q = 1; q <= 12; ++q) {
        EXPECT_NEAR(adams_coefficients().cm[q], adams_cm[q - 1], 1e-9 * adams_cm[q - 1]) << q;
    }
    for (int q = 1; q <= 5; ++q) {
        EXPECT_NEAR(bdf_coefficients().cm[q], bdf_cm[q - 1], 1e-9 * bdf_cm[q - 1]) << q;
    }
    EXPECT_EQ(adams_stability_bound(1), 0.5);
    EXPECT_EQ(adams_stability_bound(2), 0.575);
    EXPECT_EQ(adams_stability_bound(12), 0.025);
    EXPECT_EQ(adams_stability_bound(0), 0.0);
    EXPECT_EQ(adams_stability_bound(13), 0.0);
}

}  // namespace
}  // namespace rcm::ode
