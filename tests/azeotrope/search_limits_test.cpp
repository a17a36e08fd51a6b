// Limits and failures of the search: the component count, the azeotrope capacity, flashes that
// fail during classification, bad arguments, the run log and the silenced diagnostic unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "azeotrope/solver/diagnostic_units.hpp"
#include "host/entry_points.h"
#include "tests/azeotrope/search_checks.hpp"

namespace azeotrope::testing {
namespace {

constexpr const char* kProblem = "azeotrope_systems.toml";

std::size_t count(const std::vector<std::int64_t>& v, std::int64_t code) {
    return static_cast<std::size_t>(std::count(v.begin(), v.end(), code));
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) { lines.push_back(line); }
    return lines;
}

/// The twenty (or more) first components of the problem: host indices 1, 2, ...
std::vector<std::int64_t> first_components(std::int64_t n) {
    std::vector<std::int64_t> ids(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i) { ids[static_cast<std::size_t>(i)] = i + 1; }
    return ids;
}

TEST(SearchLimits, TwentyComponentsAreSearchedAndTwentyOneRefused) {
    // The ideal solution over the problem's first 20 and 21 components, 101325 Pa.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const SearchResult twenty = search(problem(first_components(20), "IDEAL"));
    ASSERT_EQ(twenty.error, kSearchOk);
    EXPECT_TRUE(twenty.azeotropes.empty());  // Raoult's law: no vapour-pressure curves cross
    ASSERT_EQ(twenty.pure_stability.size(), 20u);
    // Ideal: only the heaviest component is a stable node and only the lightest an unstable one.
    const auto hottest =
        std::max_element(twenty.pure_temperatures.begin(), twenty.pure_temperatures.end()) -
        twenty.pure_temperatures.begin();
    const auto coldest =
        std::min_element(twenty.pure_temperatures.begin(), twenty.pure_temperatures.end()) -
        twenty.pure_temperatures.begin();
    for (std::size_t i = 0; i < 20; ++i) {
        const Stability expected =
            static_cast<std::ptrdiff_t>(i) == hottest   ? Stability::stable_node
            : static_cast<std::ptrdiff_t>(i) == coldest ? Stability::unstable_node
                                                        : Stability::saddle;
        EXPECT_EQ(twenty.pure_stability[i], expected) << i;
    }

    const SearchResult too_many = search(problem(first_components(21), "IDEAL"));
    EXPECT_EQ(too_many.error, kSearchFailed);
    EXPECT_EQ(too_many.messages, (std::vector<std::int64_t>{509}));
    EXPECT_EQ(too_many.flashes, 0);
    EXPECT_TRUE(too_many.azeotropes.empty());

    // The by-reference form says the same through IERR, NAZ and the run log.
    ASSERT_EQ(setenv("TEMP", scratch_directory().c_str(), 1), 0);
    const std::string log = scratch_directory() + "CorvRun.log";
    std::remove(log.c_str());
    const std::int64_t n = 21, phases = 2;
    const double p = kAtmosphere;
    const auto ids = first_components(21);
    std::int64_t naz = 100, ierr = 0;
    std::vector<double> comp(21 * 100), temp(100), sing_comp(21 * 121), sing_temp(121);
    std::vector<std::int64_t> nc(100), phase(100), stab(100), sing_stab(121);
    Azeo_Search(&n, &p, &phases, "IDEAL", ids.data(), &naz, comp.data(), temp.data(), nc.data(),
                phase.data(), stab.data(), sing_comp.data(), sing_temp.data(), sing_stab.data(),
                &ierr, 5);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(naz, 0);
    EXPECT_EQ(read_lines(log),
              (std::vector<std::string>{"Azeotrope search calculation error (sperr <= 1)"}));
    unsetenv("TEMP");
}

TEST(SearchLimits, TheCapacityStopsTheSearchWithTheAzeotropesFoundSoFar) {
    // Acetone/chloroform/methanol, NRTL, 101325 Pa: four azeotropes, capacity two.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    SearchProblem p = problem(components({"ACETONE", "CHCL3", "MEOH"}), "NRTL");
    p.capacity = 2;
    const SearchResult r = search(p);
    EXPECT_EQ(r.azeotropes.size(), 2u);
    EXPECT_EQ(r.error, kSearchFailed);
    EXPECT_GE(count(r.messages, 509), 1u);
    for (const Azeotrope& a : r.azeotropes) {
        EXPECT_NE(a.stability, Stability::unclassified);  // what was found is still classified
    }

    // By reference, with arrays exactly as large as the capacity (the sanitizers watch the
    // bounds): the singular-point list holds 3 + 2 points and is zero beyond them.
    const std::int64_t n = 3, phases = 2;
    std::int64_t naz = 2, ierr = 0;
    std::vector<double> comp(3 * 2, -1.0), temp(2), sing_comp(3 * 5, -1.0), sing_temp(5);
    std::vector<std::int64_t> nc(2), phase(2), stab(2), sing_stab(5);
    Azeo_Search(&n, &p.pressure, &phases, "NRTL", p.components.data(), &naz, comp.data(),
                temp.data(), nc.data(), phase.data(), stab.data(), sing_comp.data(),
                sing_temp.data(), sing_stab.data(), &ierr, 4);
    EXPECT_EQ(naz, 2);
    EXPECT_EQ(ierr, 1);
    for (std::size_t j = 0; j < 3; ++j) {
        for (std::size_t i = 0; i < 3; ++i) { EXPECT_EQ(sing_comp[j * 3 + i], i == j ? 1.0 : 0.0); }
    }
    for (std::size_t k = 0; k < 2; ++k) {
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(sing_comp[(3 + k) * 3 + i], comp[k * 3 + i]);
        }
        EXPECT_EQ(sing_temp[3 + k], temp[k]);
        EXPECT_EQ(sing_stab[3 + k], stab[k]);
        EXPECT_EQ(phase[k], 1);
    }
}

TEST(SearchLimits, ATernaryThatFailsTheRuleForEveryOrderingReturnsTheLastOne) {
    // Acetone/chloroform/methanol, NRTL, 101325 Pa, capacity 0: no azeotrope can be recorded, so
    // the pure components alone (two saddles, one node) give 1, not 2, for every ordering. The
    // search reports its failure once per ordering (509), then the rule (511), with the results
    // of the sixth ordering, (2, 1, 3), mapped back to the caller's order.
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    SearchProblem p = problem(components({"ACETONE", "CHCL3", "MEOH"}), "NRTL");
    p.capacity = 0;
    const SearchResult r = search(p);
    EXPECT_EQ(r.ordering, 6);
    EXPECT_EQ(r.error, kSearchFailed);
    EXPECT_EQ(r.messages, (std::vector<std::int64_t>{509, 509, 509, 509, 509, 509, 511}));
    EXPECT_TRUE(r.azeotropes.empty());
    ASSERT_TRUE(r.topology_ok.has_value());
    EXPECT_FALSE(*r.topology_ok);
    EXPECT_EQ(r.topology_sum, 1);
    EXPECT_EQ(r.pure_stability,
              (std::vector{Stability::saddle, Stability::saddle, Stability::stable_node}));
    // vle_acetone_chloroform_methanol_nrtl.json: pure boiling points in the caller's order.
    const auto& tb = reference_model("vle_acetone_chloroform_methanol_nrtl.json", "NRTL")
                         .at("pure_Tb")[0]
                         .at("Tb");
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.pure_temperatures[i], tb[i].get<double>(), 1e-6);
    }
}

TEST(SearchLimits, SpalazByReferenceFillsItsArraysAzeotropeIndexFirst) {
    // Acetone/chloroform/methanol, NRTL, 101325 Pa, MAXAZ 5 (one more than needed).
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"ACETONE", "CHCL3", "MEOH"});
    const std::int64_t n = 3, print = 0, maxaz = 5, phases = 2;
    const double p = kAtmosphere;
    std::int64_t sperr = 2, naz = -1;
    std::vector<double> tb(3), k(9), temp(5, -1.0), comp(5 * 3, -1.0);
    std::vector<std::int64_t> indicators(3), phase(5, -1), nc(5, -1);
    SPALAZ(&sperr, &print, &n, ids.data(), &p, tb.data(), indicators.data(), k.data(), &maxaz, &naz,
           phase.data(), nc.data(), temp.data(), comp.data(), &phases, "NRTL", 4);
    EXPECT_EQ(sperr, 2);
    ASSERT_EQ(naz, 4);
    // At the acetone and chloroform vertices one K lies below and one above 1 (indicator 3); at
    // the methanol vertex both lie above (1).
    EXPECT_EQ(indicators, (std::vector<std::int64_t>{3, 3, 1}));
    const SearchResult r = search(problem(ids, "NRTL"));
    for (std::int64_t a = 0; a < naz; ++a) {
        const auto az = static_cast<std::size_t>(a);
        std::vector<double> x(3);
        for (std::size_t i = 0; i < 3; ++i) { x[i] = comp[az + i * 5]; }
        const Azeotrope* match = find_azeotrope(r, x, 1e-12);
        ASSERT_NE(match, nullptr) << a;
        EXPECT_EQ(nc[az], match->component_count);
        EXPECT_EQ(phase[az], 1);
        EXPECT_NEAR(temp[az], match->temperature, 1e-9);
    }
    EXPECT_EQ(temp[4], -1.0);  // beyond NAZ nothing is written
    for (std::size_t i = 0; i < 9; ++i) { EXPECT_NEAR(k[i], r.k_infinite[i], 1e-12) << i; }
}

TEST(SearchLimits, AFlashFailureDuringClassificationKeepsTheResults) {
    // Ethanol/water/ethylene glycol, NRTL (water/glycol ideal), 3.5 bar, phase count 2. The
    // glycol boils above 514 K, where ethanol's vapour-pressure correlation ends, so flashes at
    // the glycol vertex of the mixture fail while its one-component flash does not.
    AZEOTROPE_OPEN_PROBLEM("glycol.toml");
    const auto ids = components({"ETOH", "WATER", "MEG"});
    double ethanol_tmax = 0.0;
    std::int64_t error = 0;
    GET_REAL_PARAM("TMAX", &ids[0], &ethanol_tmax, &error, 4);
    ASSERT_EQ(error, 0);
    const SearchResult r = search(problem(ids, "NRTL", 3.5e5));
    EXPECT_EQ(r.error, kSearchClassificationFailed);
    EXPECT_EQ(count(r.messages, 507), 1u);  // the classification stops at its first failure
    EXPECT_EQ(count(r.messages, 510), 1u);
    EXPECT_LT(std::find(r.messages.begin(), r.messages.end(), 507),
              std::find(r.messages.begin(), r.messages.end(), 510));
    // The ethanol/water azeotrope is found and classified as without the glycol.
    ASSERT_EQ(r.azeotropes.size(), 1u);
    EXPECT_EQ(r.azeotropes[0].x[2], 0.0);
    EXPECT_NEAR(r.azeotropes[0].x[0], 0.87, 0.02);
    EXPECT_EQ(r.azeotropes[0].stability, Stability::unstable_node);
    EXPECT_EQ(r.pure_stability[0], Stability::saddle);
    EXPECT_EQ(r.pure_stability[1], Stability::saddle);
    EXPECT_EQ(r.pure_stability[2], Stability::unclassified);
    EXPECT_GT(r.pure_temperatures[2], ethanol_tmax);  // why the mixture flashes failed
    EXPECT_FALSE(r.topology_ok.has_value());          // the rule says nothing about this set
}

TEST(SearchLimits, ArgumentsThatDescribeNoSearchAreRefusedWithoutAFlash) {
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    const auto ids = components({"ETOH", "WATER"});
    for (const double p : {0.0, -5.0, std::nan("")}) {
        const SearchResult r = search(problem(ids, "NRTL", p));
        EXPECT_EQ(r.error, kSearchFailed) << p;
        EXPECT_EQ(r.messages, (std::vector<std::int64_t>{509}));
        EXPECT_EQ(r.flashes, 0);
    }
    EXPECT_EQ(search(problem(ids, "NRTL", kAtmosphere, 4)).error, kSearchFailed);
    EXPECT_EQ(search(problem({ids[0]}, "NRTL")).error, kSearchFailed);
    // Null arrays for a capacity above zero.
    const std::int64_t n = 2, phases = 2;
    const double p = kAtmosphere;
    std::int64_t naz = 5, ierr = 0;
    std::vector<double> sing_comp(2 * 7), sing_temp(7);
    std::vector<std::int64_t> sing_stab(7);
    Azeo_Search(&n, &p, &phases, "NRTL", ids.data(), &naz, nullptr, nullptr, nullptr, nullptr,
                nullptr, sing_comp.data(), sing_temp.data(), sing_stab.data(), &ierr, 4);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(naz, 0);
}

TEST(SearchLimits, DiagnosticUnitZeroGoesNowhereDuringASearch) {
    // Ethanol/water, NRTL, 50 bar: the water vertex lies beyond ethanol's correlation, so the
    // search writes "Error in K-values in SPALAZ" on unit 0 (at every print level).
    AZEOTROPE_OPEN_PROBLEM(kProblem);
    std::ostringstream captured;
    solver::connect_unit(0, captured);
    const SearchResult r = search(problem(components({"ETOH", "WATER"}), "NRTL", 5e6));
    EXPECT_EQ(r.error, kSearchClassificationFailed);
    EXPECT_EQ(captured.str(), "");
    // The connection is back afterwards, and nothing named "NUL" was created for the silence.
    solver::write_unit_line(0, "after");
    EXPECT_EQ(captured.str(), "after\n");
    solver::reset_unit(0);
    EXPECT_FALSE(std::filesystem::exists("NUL"));
    EXPECT_FALSE(std::filesystem::exists(scratch_directory() + "NUL"));
}

}  // namespace
}  // namespace azeotrope::testing
