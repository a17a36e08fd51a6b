// A search over a six-component mixture against the searches over each of its subsets and the
// reference file of the same model.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "tests/azeotrope/search_checks.hpp"

namespace azeotrope::testing {
namespace {

constexpr const char* kProblem = "azeotrope_systems.toml";

/// The azeotropes of `sub`, spread over the full mixture's component positions `members`.
std::vector<std::vector<double>> spread(const SearchResult& sub,
                                        const std::vector<std::size_t>& members,
                                        std::size_t n) {
    std::vector<std::vector<double>> out;
    for (const Azeotrope& a : sub.azeotropes) {
        std::vector<double> x(n, 0.0);
        for (std::size_t i = 0; i < members.size(); ++i) { x[members[i]] = a.x[i]; }
        out.push_back(std::move(x));
    }
    return out;
}

/// Searches the six-component mixture of vle_six_component_unifac.json (original UNIFAC, 101325
/// Pa) with the given phase count, checks its binary azeotropes against the reference, and checks
/// that the searches over every pair and every triple find the same binary and ternary azeotropes.
void check_six_components(std::int64_t phase_count) {
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"WATER", "MEOH", "ETOH", "ACETONE", "ETAC", "NBUOH"});
    const std::size_t n = ids.size();
    const SearchResult full = search(problem(ids, "UNIFAC", kAtmosphere, phase_count));
    ASSERT_EQ(full.error, kSearchOk);
    EXPECT_FALSE(full.topology_ok.has_value());

    // Every binary azeotrope of the reference, and nothing else with two components. With one
    // liquid the water/ethyl acetate and water/1-butanol azeotropes are the homogeneous roots
    // inside the miscibility gaps (the reference's rejected_homogeneous_roots); with two liquids
    // they are heteroazeotropes.
    const auto& model = reference_model("vle_six_component_unifac.json", "UNIFAC");
    std::size_t binaries = 0;
    for (const auto& pair : model.at("binary_azeotropes").at("pairs")) {
        const auto idx = pair.at("indices").get<std::vector<std::size_t>>();
        for (const char* list : {"azeotropes", "rejected_homogeneous_roots"}) {
            for (const auto& az : pair.value(list, nlohmann::json::array())) {
                const bool hetero = az.value("phase", "homogeneous") == "heterogeneous";
                const bool rejected = std::string(list) == "rejected_homogeneous_roots";
                if ((phase_count == 2 && hetero) || (phase_count == 3 && rejected)) { continue; }
                ++binaries;
                const auto x = pair_composition(n, idx[0], idx[1], az.at("x1").get<double>());
                const Azeotrope* a = find_azeotrope(full, x, 1e-6);
                ASSERT_NE(a, nullptr) << pair.at("pair") << " " << list;
                EXPECT_NEAR(a->temperature, az.at("T").get<double>(), 1e-6);
                EXPECT_EQ(a->component_count, 2);
                EXPECT_EQ(a->phase,
                          hetero ? AzeotropePhase::heterogeneous : AzeotropePhase::homogeneous);
            }
        }
    }
    EXPECT_EQ(binaries, 7u);
    std::size_t found_binaries = 0;
    for (const Azeotrope& a : full.azeotropes) { found_binaries += a.component_count == 2; }
    EXPECT_EQ(found_binaries, binaries);
    if (phase_count == 3) {
        // The one ternary azeotrope of the reference's twenty ternary subsystems.
        const Azeotrope* t = find_azeotrope(
            full, {0.3011034670862361, 0.0, 0.09956144389588936, 0.0, 0.599335089017875, 0.0},
            1e-6);
        ASSERT_NE(t, nullptr);
        EXPECT_NEAR(t->temperature, 343.61313931860815, 1e-6);
        EXPECT_EQ(t->phase, AzeotropePhase::heterogeneous);
    }

    // The same binary and ternary azeotropes, no more and no fewer, as the searches over every
    // pair and every triple (1e-6 in x: each search refines to the precision of the flashes).
    std::vector<std::vector<double>> from_subsets;
    std::size_t subsets = 0;
    for (std::size_t a = 0; a < n; ++a) {
        for (std::size_t b = a + 1; b < n; ++b) {
            for (std::size_t c = b + 1; c <= n; ++c) {
                std::vector<std::size_t> members{a, b};
                if (c < n) { members.push_back(c); }
                std::vector<std::int64_t> sub_ids;
                for (std::size_t m : members) { sub_ids.push_back(ids[m]); }
                const SearchResult sub =
                    search(problem(sub_ids, "UNIFAC", kAtmosphere, phase_count));
                ASSERT_EQ(sub.error, kSearchOk);
                if (members.size() == 3) {
                    ASSERT_TRUE(sub.topology_ok.has_value());
                    EXPECT_TRUE(*sub.topology_ok) << a << b << c;
                }
                ++subsets;
                for (auto& x : spread(sub, members, n)) {
                    std::size_t present = 0;
                    for (double v : x) { present += v > 0.0; }
                    if (present == members.size()) { from_subsets.push_back(std::move(x)); }
                }
            }
        }
    }
    EXPECT_EQ(subsets, 15u + 20u);
    std::size_t up_to_three = 0;
    for (const Azeotrope& a : full.azeotropes) {
        if (a.component_count > 3) { continue; }
        ++up_to_three;
        bool matched = false;
        for (const auto& x : from_subsets) {
            bool same = true;
            for (std::size_t i = 0; i < n; ++i) { same = same && std::fabs(x[i] - a.x[i]) <= 1e-6; }
            matched = matched || same;
        }
        EXPECT_TRUE(matched) << "azeotrope of " << a.component_count << " components at "
                             << a.temperature << " K not found by the subset searches";
    }
    EXPECT_EQ(up_to_three, from_subsets.size());
}

TEST(Multicomponent, SixComponentSearchWithOneLiquidFindsTheAzeotropesOfEverySubset) {
    check_six_components(2);
}

TEST(Multicomponent, SixComponentSearchWithTwoLiquidsFindsTheAzeotropesOfEverySubset) {
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    if (!host_three_phase_bubble_matches("vle_water_1butanol.json", "NRTL",
                                         components({"WATER", "NBUOH"}), "NRTL")) {
        GTEST_SKIP() << kNoThreePhase;
    }
    check_six_components(3);
}

}  // namespace
}  // namespace azeotrope::testing
