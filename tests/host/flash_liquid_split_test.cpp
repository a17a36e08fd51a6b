// Robustness of the flashes with two liquids admitted: every ternary of a dozen components that
// form two liquids, over a grid of feeds; the approach to a plait point; independence of the
// answer from the flashes that came before. References are the conditions every answer must
// meet (material balance, the split threshold, equal fugacities), not recomputed numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/mixture.hpp"
#include "host/model_factory.hpp"

namespace {

using host::FlashKind;
using host::FlashOptions;
using host::FlashResult;
using host::PhaseState;

constexpr double kAtm = 101325.0;
// The flash's split threshold (Euclidean distance between the liquids, docs/host.md).
constexpr double kSplitThreshold = 1e-3;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kGridSteps = 10;  // step 0.1 under the sanitizers, which run ~20 times slower
#else
constexpr int kGridSteps = 20;  // step 0.05
#endif

bool two_liquids(const FlashResult& r) {
    return r.phases == PhaseState::liquid_liquid || r.phases == PhaseState::vapour_liquid_liquid;
}

double distance(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) { s += (a[i] - b[i]) * (a[i] - b[i]); }
    return std::sqrt(s);
}

/// Everything a converged answer must satisfy, whatever the phases: finite numbers, mole
/// fractions that sum to 1, phases that add up to the feed within 1e-10, and two liquids at
/// least the split threshold apart.
::testing::AssertionResult sound(const FlashResult& r, const std::vector<double>& z) {
    if (r.error_code != 0) { return ::testing::AssertionFailure() << "code " << r.error_code; }
    for (const auto* v : {&r.x, &r.y, &r.x1, &r.x2}) {
        double sum = 0.0;
        for (double e : *v) {
            if (!std::isfinite(e) || e < 0.0) {
                return ::testing::AssertionFailure() << "mole fraction " << e;
            }
            sum += e;
        }
        if (std::abs(sum - 1.0) > 1e-12) {
            return ::testing::AssertionFailure() << "mole fractions sum to " << sum;
        }
    }
    const double V = r.vapour_fraction, b = r.beta;
    if (!(V >= 0.0 && V <= 1.0 && b >= 0.0 && b <= 1.0)) {
        return ::testing::AssertionFailure() << "V " << V << ", beta " << b;
    }
    for (std::size_t i = 0; i < z.size() && V < 1.0; ++i) {
        const double back = V * r.y[i] + (1.0 - V) * (b * r.x1[i] + (1.0 - b) * r.x2[i]);
        if (std::abs(back - z[i]) > 1e-10) {
            return ::testing::AssertionFailure()
                   << "component " << i << " balances to " << back << " instead of " << z[i];
        }
    }
    if (two_liquids(r) && !(distance(r.x1, r.x2) >= kSplitThreshold)) {
        return ::testing::AssertionFailure()
               << "two liquids only " << distance(r.x1, r.x2) << " apart";
    }
    if (!two_liquids(r) && (r.x1 != r.x || r.x2 != r.x || r.beta != 1.0)) {
        return ::testing::AssertionFailure() << "one liquid, but x1, x2 or beta say otherwise";
    }
    return ::testing::AssertionSuccess();
}

void sweep(host::PropertyMethod method, int steps) {
    // Components that form two liquids with water or with one another: alcohols, an ester, a
    // ketone, aromatics, alkanes, a chlorocarbon and an ether.
    const std::vector<std::string> ids{"WATER",   "NBUOH",   "IBUOH", "SBUOH",   "ETAC",  "MEK",
                                       "BENZENE", "TOLUENE", "CYHEX", "NHEXANE", "CHCL3", "DIPE"};
    FlashOptions o;
    o.phase_count = 3;
    int splits = 0, failures = 0;
    for (std::size_t a = 0; a < ids.size(); ++a) {
        for (std::size_t b = a + 1; b < ids.size(); ++b) {
            for (std::size_t c = b + 1; c < ids.size(); ++c) {
                const std::vector<std::string> ternary{ids[a], ids[b], ids[c]};
                const host::Mixture m =
                    host::make_mixture(host::Databank::embedded(), ternary, method);
                host::Flash flash(m);
                for (int i = 0; i <= steps; ++i) {
                    for (int j = 0; i + j <= steps; ++j) {
                        const std::vector<double> z{double(i) / steps, double(j) / steps,
                                                    double(steps - i - j) / steps};
                        const FlashResult bubble = flash.bubble_temperature(kAtm, z, o);
                        const FlashResult split = flash.run(FlashKind::tp, 298.15, kAtm, z, o);
                        for (const FlashResult* r : {&bubble, &split}) {
                            const auto ok = sound(*r, z);
                            if (!ok && ++failures <= 20) {
                                ADD_FAILURE()
                                    << ids[a] << "/" << ids[b] << "/" << ids[c] << " z = (" << z[0]
                                    << ", " << z[1] << ", " << z[2] << ") "
                                    << (r == &bubble ? "bubble point" : "298.15 K") << ": "
                                    << ok.message();
                            }
                            splits += two_liquids(*r) ? 1 : 0;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0);
    // Sanity of the sweep itself: a good part of these feeds does split.
    EXPECT_GT(splits, 1000);
}

TEST(LiquidSplitSweep, EveryTernaryOfADozenPartlyMiscibleComponentsFlashesSoundly) {
    // NRTL with the databank's pairs and UNIFAC estimates for the missing ones (the default).
    sweep(host::PropertyMethod::nrtl, kGridSteps);
}

TEST(LiquidSplitSweep, TheSameWithOriginalUnifac) {
    sweep(host::PropertyMethod::unifac, kGridSteps / 2);
}

TEST(LiquidSplit, CrossingTheEdgeOfTheTwoLiquidRegionSwitchesOnce) {
    // Ethanol/water/benzene at 298.15 K (UNIFAC-LLE): feeds on the line from the water/benzene
    // edge to the ethanol corner leave the two-liquid region once. Along the way the tie lines
    // change continuously, the answer switches from two liquids to one exactly once, and no
    // answer holds two liquids closer than the threshold.
    const host::Mixture m = host::make_mixture(host::Databank::embedded(),
                                               std::vector<std::string>{"ETOH", "WATER", "BENZENE"},
                                               host::PropertyMethod::unifac_lle);
    host::Flash flash(m);
    FlashOptions o;
    o.phase_count = 3;
    int switches = 0;
    bool last_two = true;
    double last_length = 0.0;
    const int steps = 400;
    for (int k = 0; k <= steps; ++k) {
        const double t = 0.7 * k / steps;
        const std::vector<double> z{t, 0.5 * (1 - t), 0.5 * (1 - t)};
        const FlashResult r = flash.run(FlashKind::tp, 298.15, kAtm, z, o);
        ASSERT_TRUE(sound(r, z)) << "t = " << t;
        const bool two = two_liquids(r);
        if (two != last_two) { ++switches; }
        if (two) {
            const double length = distance(r.x1, r.x2);
            if (k > 0 && last_two) {
                EXPECT_LT(std::abs(length - last_length), 0.05) << "tie line jumps at t = " << t;
            }
            last_length = length;
        }
        last_two = two;
    }
    EXPECT_EQ(switches, 1);
    EXPECT_FALSE(last_two);
}

TEST(LiquidSplit, MarchingToThePlaitPointEndsInOneLiquidWithoutFlipping) {
    // The march of the envelope tracer: from the water/benzene edge, each feed a little beyond
    // the midpoint of the last tie line, in the direction the midpoints move, with steps that
    // shrink with the tie line. The tie lines shrink towards the plait point; where the march
    // leaves the two-liquid region, a fine scan across the last step must switch from two
    // liquids to one exactly once. Ethanol/water/benzene at 298.15 K, UNIFAC-LLE.
    const host::Mixture m = host::make_mixture(host::Databank::embedded(),
                                               std::vector<std::string>{"ETOH", "WATER", "BENZENE"},
                                               host::PropertyMethod::unifac_lle);
    host::Flash flash(m);
    FlashOptions o;
    o.phase_count = 3;
    std::vector<double> z{0.0, 0.5, 0.5}, mid(3), previous_mid, inside;
    FlashResult r = flash.run(FlashKind::tp, 298.15, kAtm, z, o);
    double smallest = 1.0;
    for (int k = 0; k < 200 && two_liquids(r); ++k) {
        ASSERT_TRUE(sound(r, z)) << k;
        const double length = distance(r.x1, r.x2);
        smallest = std::min(smallest, length);
        for (std::size_t i = 0; i < 3; ++i) { mid[i] = 0.5 * (r.x1[i] + r.x2[i]); }
        std::vector<double> d{0.02, -0.01, -0.01};
        if (!previous_mid.empty()) {
            double norm = 0.0;
            for (std::size_t i = 0; i < 3; ++i) {
                d[i] = mid[i] - previous_mid[i];
                norm += d[i] * d[i];
            }
            for (double& e : d) { e *= std::min(0.02, 0.02 * length) / std::sqrt(norm); }
        }
        previous_mid = mid;
        inside = z;
        for (std::size_t i = 0; i < 3; ++i) { z[i] = mid[i] + d[i]; }
        r = flash.run(FlashKind::tp, 298.15, kAtm, z, o);
    }
    ASSERT_TRUE(sound(r, z));
    ASSERT_EQ(r.phases, PhaseState::liquid);
    EXPECT_LT(smallest, 0.1);  // the march got close to the plait point
    int switches = 0;
    bool last_two = true;
    for (int k = 0; k <= 200; ++k) {
        const double t = k / 200.0;
        std::vector<double> f(3);
        for (std::size_t i = 0; i < 3; ++i) { f[i] = (1 - t) * inside[i] + t * z[i]; }
        const FlashResult s = flash.run(FlashKind::tp, 298.15, kAtm, f, o);
        ASSERT_TRUE(sound(s, f)) << "t = " << t;
        switches += two_liquids(s) != last_two ? 1 : 0;
        last_two = two_liquids(s);
    }
    EXPECT_EQ(switches, 1);
}

TEST(LiquidSplit, AnswersDoNotDependOnTheFlashesBefore) {
    // A Flash keeps the last split's liquids to start the next stability test from. That may
    // make it faster, never different: every feed gives the same answer from a fresh Flash and
    // after a walk over the other feeds (in both directions).
    const host::Mixture m = host::make_mixture(host::Databank::embedded(),
                                               std::vector<std::string>{"WATER", "ETAC", "NBUOH"},
                                               host::PropertyMethod::nrtl);
    FlashOptions o;
    o.phase_count = 3;
    std::vector<std::vector<double>> feeds;
    for (int i = 1; i < 10; ++i) {
        for (int j = 1; i + j < 10; ++j) { feeds.push_back({0.1 * i, 0.1 * j, 1 - 0.1 * (i + j)}); }
    }
    host::Flash forward(m), backward(m);
    std::vector<FlashResult> walked(feeds.size()), walked_back(feeds.size());
    for (std::size_t k = 0; k < feeds.size(); ++k) {
        walked[k] = forward.bubble_temperature(kAtm, feeds[k], o);
    }
    for (std::size_t k = feeds.size(); k-- > 0;) {
        walked_back[k] = backward.bubble_temperature(kAtm, feeds[k], o);
    }
    for (std::size_t k = 0; k < feeds.size(); ++k) {
        host::Flash fresh(m);
        const FlashResult r = fresh.bubble_temperature(kAtm, feeds[k], o);
        ASSERT_TRUE(sound(r, feeds[k])) << k;
        for (const FlashResult* w : {&walked[k], &walked_back[k]}) {
            ASSERT_EQ(w->error_code, 0) << k;
            EXPECT_EQ(w->phases, r.phases) << k;
            EXPECT_NEAR(w->temperature, r.temperature, 1e-8) << k;
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_NEAR(w->x1[i], r.x1[i], 1e-8) << k;
                EXPECT_NEAR(w->y[i], r.y[i], 1e-8) << k;
            }
        }
    }
}

}  // namespace
