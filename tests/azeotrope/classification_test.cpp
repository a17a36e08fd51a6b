// Classification of singular points: the composition pairs of the difference Jacobian, the sign
// rule, and the eigenvalues of real points against the reference files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <limits>
#include <numeric>
#include <vector>

#include "azeotrope/composition_pair.hpp"
#include "azeotrope/stability_rcm.hpp"
#include "tests/azeotrope/host_problem.hpp"
#include "tests/azeotrope/search_checks.hpp"

namespace azeotrope::testing {
namespace {

constexpr double kH = kClassificationStep;

TEST(CompositionPair, VertexOfATernaryUsesOneSidedAndBorrowedDifferences) {
    // x = e_1 of three components. Column 1: x_1 + x_3 = 1 > 2h and x_3 = 0 <= h, so the
    // difference runs backwards from the vertex. Column 2: x_2 + x_3 = 0, so h is borrowed from
    // component 1, the largest.
    const std::vector<double> x{1.0, 0.0, 0.0};
    std::vector<double> p(3), m(3);
    const auto expect = [](const std::vector<double>& got, const std::vector<double>& want) {
        for (std::size_t i = 0; i < want.size(); ++i) { EXPECT_NEAR(got[i], want[i], 1e-16) << i; }
    };
    ASSERT_TRUE(composition_pair(x, 0, kH, p, m));
    expect(p, {1.0, 0.0, 0.0});
    expect(m, {1.0 - kH, 0.0, kH});
    ASSERT_TRUE(composition_pair(x, 1, kH, p, m));
    expect(p, {1.0 - kH, kH, 0.0});
    expect(m, {1.0 - kH, 0.0, kH});
}

TEST(CompositionPair, EveryCaseKeepsTheSumAndDifferencesAlongOneEdge) {
    // Interior, k scarce, r scarce, both absent (at another vertex), and a binary edge point.
    const std::vector<std::vector<double>> points{{0.3, 0.3, 0.4}, {4e-7, 0.5, 0.4999996},
                                                  {0.5, 0.5, 0.0}, {0.0, 1.0, 0.0},
                                                  {0.0, 0.7, 0.3}, {0.2, 0.3, 0.1, 0.4}};
    for (const auto& x : points) {
        const std::size_t n = x.size();
        for (std::size_t k = 0; k + 1 < n; ++k) {
            std::vector<double> p(n), m(n);
            ASSERT_TRUE(composition_pair(x, k, kH, p, m));
            for (std::size_t i = 0; i < n; ++i) {
                const double expected = i == k ? kH : (i == n - 1 ? -kH : 0.0);
                EXPECT_NEAR(p[i] - m[i], expected, 1e-15) << "k " << k << " i " << i;
                EXPECT_GE(p[i], 0.0);
                EXPECT_GE(m[i], 0.0);
            }
            EXPECT_NEAR(std::accumulate(p.begin(), p.end(), 0.0), 1.0, 1e-15);
            EXPECT_NEAR(std::accumulate(m.begin(), m.end(), 0.0), 1.0, 1e-15);
        }
    }
    // An interior point is differenced centrally.
    std::vector<double> p(3), m(3);
    composition_pair(std::vector{0.3, 0.3, 0.4}, 1, kH, p, m);
    EXPECT_DOUBLE_EQ(p[1], 0.3 + kH / 2);
    EXPECT_DOUBLE_EQ(m[1], 0.3 - kH / 2);
    // Sizes that do not fit are refused.
    EXPECT_FALSE(composition_pair(std::vector{1.0}, 0, kH, p, m));
    EXPECT_FALSE(composition_pair(std::vector{0.5, 0.5, 0.0}, 2, kH, p, m));
}

TEST(StabilityRule, RealPartsDecideAndZeroCountsAsNotNegative) {
    EXPECT_EQ(stability_from_eigenvalues(std::vector{-0.3, 0.0}), Stability::saddle);
    EXPECT_EQ(stability_from_eigenvalues(std::vector{0.0, 0.0}), Stability::unstable_node);
    // A complex pair -0.1 +- 0.5i: both real parts -0.1.
    EXPECT_EQ(stability_from_eigenvalues(std::vector{-0.1, -0.1}), Stability::stable_node);
    EXPECT_EQ(stability_from_eigenvalues(std::vector{0.2, 1.5}), Stability::unstable_node);
    EXPECT_EQ(stability_from_eigenvalues(std::vector<double>{}), Stability::stable_node);
    EXPECT_EQ(stability_from_eigenvalues(std::vector{-1.0, std::nan("")}), Stability::unclassified);
}

TEST(StabilityRcm, OneComponentIsAStableNodeWithoutAnyFlash) {
    // N = 1: nothing but N is read (null composition and ids), no flash, code 1.
    const std::int64_t n = 1, vectors = 1, phases = 2;
    const double p = kAtmosphere;
    std::int64_t code = -1, error = 99;
    Stability_RCM(&n, nullptr, &vectors, &p, nullptr, "", &phases, &code, nullptr, nullptr, &error,
                  0);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(error, 0);
    ClassificationRequest r;
    const std::vector<double> x{1.0};
    const std::vector<std::int64_t> ids{1};
    r.x = x;
    r.components = ids;
    r.pressure = kAtmosphere;
    const Classification c = classify_singular_point(r);
    EXPECT_EQ(c.stability, Stability::stable_node);
    EXPECT_EQ(c.flashes, 0);
    EXPECT_TRUE(c.eigenvalues_real.empty());
}

TEST(StabilityRcm, BadArgumentsAreRefusedWithoutAFlash) {
    const std::vector<std::int64_t> ids{1, 2, 3};
    const std::vector<std::vector<double>> bad_x{
        {0.5, std::nan(""), 0.5}, {0.7, -0.1, 0.4}, {0.2, 0.2, 0.2}};
    for (const auto& x : bad_x) {
        ClassificationRequest r;
        r.components = ids;
        r.x = x;
        r.pressure = kAtmosphere;
        const Classification c = classify_singular_point(r);
        EXPECT_EQ(c.error, kClassificationBadInput);
        EXPECT_EQ(c.flashes, 0);
        EXPECT_EQ(c.stability, Stability::unclassified);
    }
    ClassificationRequest r;
    const std::vector<double> x{0.2, 0.3, 0.5};
    r.components = ids;
    r.x = x;
    for (const double p : {0.0, -1.0, std::numeric_limits<double>::infinity()}) {
        r.pressure = p;
        EXPECT_EQ(classify_singular_point(r).error, kClassificationBadInput);
    }
    r.pressure = kAtmosphere;
    r.phase_count = 4;
    EXPECT_EQ(classify_singular_point(r).error, kClassificationBadInput);
    // Through the by-reference form: N above the flash limit.
    const std::int64_t n = 101, one = 1, two = 2;
    std::int64_t code = 7, error = 0;
    Stability_RCM(&n, x.data(), &one, &r.pressure, ids.data(), "", &two, &code, nullptr, nullptr,
                  &error, 0);
    EXPECT_EQ(error, kClassificationBadInput);
    EXPECT_EQ(code, 7);
}

/// Sorted eigenvalues, for comparing sets.
std::vector<double> sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

/// Classifies every singular point of a reference model and compares the eigenvalues (as sets:
/// signs exact, values to 1e-4 relative) and the stability code.
void expect_reference_singular_points(const char* file,
                                      const char* label,
                                      const std::vector<std::int64_t>& ids,
                                      const char* option_set,
                                      std::int64_t phase_count) {
    const auto& points = reference_model(file, label).at("singular_points").at("points");
    for (const auto& point : points) {
        const auto x = point.at("x").get<std::vector<double>>();
        ClassificationRequest r;
        r.components = ids;
        r.x = x;
        r.pressure = kAtmosphere;
        r.option_set = option_set;
        r.phase_count = phase_count;
        const Classification c = classify_singular_point(r);
        ASSERT_TRUE(c.ok()) << point.at("kind");
        EXPECT_EQ(c.flashes, 2 * static_cast<std::int64_t>(x.size() - 1));
        std::vector<double> expected;
        for (const auto& e : point.at("rc_eigenvalues")) {
            expected.push_back(e.is_object() ? e.at("re").get<double>() : e.get<double>());
        }
        const auto got = sorted(c.eigenvalues_real);
        expected = sorted(expected);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            // 1e-4 relative, plus the truncation error of the one-sided difference at a vertex:
            // adding h of a component with K = 1 - lambda there lowers the bubble point by about
            // h |lambda| / (d ln Psat/dT), which moves its K by a relative h lambda^2 or so (0.1 %
            // for benzene in water, lambda = -2163).
            const double e = expected[i];
            EXPECT_NEAR(got[i], e, 1e-4 * std::fabs(e) + kH * e * e)
                << file << " " << point.at("kind") << " " << i;
            EXPECT_EQ(got[i] < 0.0, expected[i] < 0.0);
        }
        EXPECT_EQ(static_cast<std::int64_t>(c.stability),
                  point.at("stability_code").get<std::int64_t>())
            << point.at("kind");
    }
}

TEST(StabilityRcm, EigenvaluesMatchTheReferenceSingularPoints) {
    // NRTL, 101325 Pa, phase count 2. References: rc_eigenvalues of the singular points of
    // vle_acetone_chloroform_methanol_nrtl.json and vle_ethanol_water.json (analytic 1 - K at
    // the vertices, finite differences elsewhere).
    AZEOTROPE_OPEN_PROBLEM("azeotrope_systems.toml");
    expect_reference_singular_points("vle_acetone_chloroform_methanol_nrtl.json", "NRTL",
                                     components({"ACETONE", "CHCL3", "MEOH"}), "NRTL", 2);
    expect_reference_singular_points("vle_ethanol_water.json", "NRTL",
                                     components({"ETOH", "WATER"}), "NRTL", 2);
}

TEST(StabilityRcm, HeterogeneousSingularPointsMatchTheReference) {
    // Phase count 3, 101325 Pa: ethanol/water/benzene with original UNIFAC and water/1-butanol
    // with NRTL. Inside a two-liquid region y is constant along each tie line, so the eigenvalue
    // along a binary gap (and one of the ternary heteroazeotrope's) is 1.
    AZEOTROPE_OPEN_PROBLEM("azeotrope_systems.toml");
    const auto ewb = components({"ETOH", "WATER", "BENZENE"});
    if (!host_three_phase_bubble_matches("vle_ethanol_water_benzene_unifac.json", "UNIFAC", ewb,
                                         "UNIFAC")) {
        GTEST_SKIP() << kNoThreePhase;
    }
    expect_reference_singular_points("vle_ethanol_water_benzene_unifac.json", "UNIFAC", ewb,
                                     "UNIFAC", 3);
    expect_reference_singular_points("vle_water_1butanol.json", "NRTL",
                                     components({"WATER", "NBUOH"}), "NRTL", 3);
}

TEST(StabilityRcm, EigenvectorsSatisfyTheEigenEquationOfTheJacobian) {
    // The ternary saddle of acetone/chloroform/methanol (NRTL, 101325 Pa): J v = lambda v for
    // each column of the returned eigenvectors (both eigenvalues are real here).
    AZEOTROPE_OPEN_PROBLEM("azeotrope_systems.toml");
    const auto ids = components({"ACETONE", "CHCL3", "MEOH"});
    const std::vector<double> x{0.35399821792487546, 0.21542871543245815, 0.4305730666426663};
    ClassificationRequest r;
    r.components = ids;
    r.x = x;
    r.pressure = kAtmosphere;
    r.option_set = "NRTL";
    r.eigenvectors = true;
    const Classification c = classify_singular_point(r);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.stability, Stability::saddle);
    ASSERT_EQ(c.eigenvectors.size(), 4u);
    ASSERT_EQ(c.jacobian.size(), 4u);
    for (std::size_t j = 0; j < 2; ++j) {
        ASSERT_EQ(c.eigenvalues_imag[j], 0.0);
        const double* v = &c.eigenvectors[2 * j];
        for (std::size_t i = 0; i < 2; ++i) {
            const double jv = c.jacobian[i] * v[0] + c.jacobian[i + 2] * v[1];
            EXPECT_NEAR(jv, c.eigenvalues_real[j] * v[i], 1e-12);
        }
        EXPECT_NEAR(std::hypot(v[0], v[1]), 1.0, 1e-12);  // LAPACK normalises them
    }

    // The by-reference form gives the same numbers; with the switch 1 it leaves the eigenvector
    // array alone.
    const std::int64_t n = 3, one = 1, two = 2;
    const double p = kAtmosphere;
    std::int64_t code = -1, error = 99;
    double values[2] = {0.0, 0.0};
    double vectors[4] = {7.0, 7.0, 7.0, 7.0};
    Stability_RCM(&n, x.data(), &one, &p, ids.data(), "NRTL      ", &two, &code, values, vectors,
                  &error, 10);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(code, 2);
    EXPECT_NEAR(values[0], c.eigenvalues_real[0], 1e-12);
    EXPECT_NEAR(values[1], c.eigenvalues_real[1], 1e-12);
    EXPECT_EQ(vectors[0], 7.0);
    Stability_RCM(&n, x.data(), &two, &p, ids.data(), "NRTL      ", &two, &code, values, vectors,
                  &error, 10);
    EXPECT_EQ(error, 0);
    for (std::size_t i = 0; i < 4; ++i) { EXPECT_NEAR(vectors[i], c.eigenvectors[i], 1e-12); }
}

TEST(StabilityRcm, AFailedFlashLeavesThePointUnclassifiedAndIsLogged) {
    // Ethanol/water/ethylene glycol, NRTL, 3.5 bar, phase count 2: the glycol boils above the
    // end of ethanol's vapour-pressure correlation (its critical temperature), so every flash
    // near the glycol vertex is fatal (no solution within the correlations' range).
    AZEOTROPE_OPEN_PROBLEM("glycol.toml");
    const auto ids = components({"ETOH", "WATER", "MEG"});
    ASSERT_EQ(setenv("TEMP", scratch_directory().c_str(), 1), 0);
    const std::string log = scratch_directory() + "CorvRun.log";
    std::remove(log.c_str());
    const std::vector<double> x{0.0, 0.0, 1.0};
    const std::int64_t n = 3, one = 1, two = 2;
    const double p = 3.5e5;
    std::int64_t code = 42, error = 0;
    double values[2] = {};
    Stability_RCM(&n, x.data(), &one, &p, ids.data(), "", &two, &code, values, nullptr, &error, 0);
    EXPECT_EQ(error, kClassificationFlashFailed);
    EXPECT_EQ(code, 42);  // left as the caller had it
    std::ifstream in(log);
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "Fatal flash error");
    unsetenv("TEMP");
}

}  // namespace
}  // namespace azeotrope::testing
