// The host state behind the entry points: the mixture cache (hits, order, option sets,
// least-recently-used eviction) and the report of an open problem.
#include "host/host_state.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host_library_client.hpp"

namespace {

using host_test::FlashCall;
using host_test::TempDir;

std::string example(const std::string& name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + name;
}

host::LoadedProblem load(const std::string& name) {
    return host::LoadedProblem(
        host::read_problem_definition(example(name), name, host::Databank::embedded()),
        host::Databank::embedded());
}

TEST(MixtureCache, BuildsEachMixtureOnceAndDropsTheLeastRecentlyUsed) {
    const host::LoadedProblem problem = load("ethanol-water-benzene.toml");
    host::MixtureCache cache(2);
    const std::vector<std::size_t> a = {0, 1}, b = {1, 0}, c = {0, 1, 2};
    host::MixtureEntry& first = cache.get(problem, 0, a);
    EXPECT_EQ(&cache.get(problem, 0, a), &first);  // a hit is the same entry
    EXPECT_EQ(cache.builds(), 1u);
    cache.get(problem, 0, b);  // other order: another mixture
    EXPECT_EQ(cache.builds(), 2u);
    EXPECT_EQ(cache.get(problem, 0, b).mixture.component(0).id, "WATER");
    cache.get(problem, 0, a);  // a is now the most recent, b the least
    cache.get(problem, 0, c);  // full: b goes
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.builds(), 3u);
    cache.get(problem, 0, a);
    EXPECT_EQ(cache.builds(), 3u);
    cache.get(problem, 0, b);  // rebuilt
    EXPECT_EQ(cache.builds(), 4u);
    cache.get(problem, 2, b);  // another option set: another mixture
    EXPECT_EQ(cache.builds(), 5u);
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.builds(), 0u);
}

TEST(MixtureCache, RepeatedFlashesThroughTheEntryPointsBuildNothing) {
    host_test::HostLibraries lib;
    ASSERT_TRUE(lib.error.empty()) << lib.error;
    TempDir dir;
    ASSERT_EQ(lib.open_problem(example("ethanol-water-benzene.toml"), dir.path().string(), "C"), 0);
    EXPECT_EQ(lib.int_param("MIXBUILT"), 0);
    for (int k = 0; k < 5; ++k) {
        FlashCall f;
        f.components = {1, 2};
        f.z = {0.5, 0.5};
        f.run(lib.pflash);
        ASSERT_EQ(f.error, 0);
    }
    EXPECT_EQ(lib.int_param("MIXBUILT"), 1);
    // The enthalpy with the global option set over the same components uses the same mixture.
    std::int64_t n = 2, one = 1, err = -1;
    const std::int64_t comps[] = {1, 2};
    double T = 350.0, P = 101325.0, z[] = {0.5, 0.5}, h = 0.0, cp = 0.0;
    host_test::Field<8> blank;
    lib.liq_enthalpy(&n, comps, blank.data, &T, &P, z, &one, &h, &cp, &err, 8);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(lib.int_param("MIXBUILT"), 1);
    FlashCall other;
    other.components = {1, 2};
    other.z = {0.5, 0.5};
    other.option_set = 3;
    other.run(lib.pflash);
    EXPECT_EQ(lib.int_param("MIXBUILT"), 2);
    EXPECT_EQ(lib.int_param("MIXCACHE"), 2);
    // The cache belongs to the open problem: reopening empties it.
    ASSERT_EQ(lib.open_problem(example("ethanol-water-benzene.toml"), dir.path().string(), "C"), 0);
    EXPECT_EQ(lib.int_param("MIXCACHE"), 0);
    lib.closepdf();
}

TEST(LoadedProblemReport, ListsComponentsOptionSetsPairSourcesAndWarnings) {
    const host::LoadedProblem problem = load("aromatics.toml");
    const std::string report = problem.report();
    EXPECT_NE(report.find("EBENZENE  ethylbenzene"), std::string::npos);
    EXPECT_NE(report.find("defined at aromatics.toml:"), std::string::npos);
    EXPECT_NE(report.find("BENZENE/TOLUENE    databank nrtl.tsv:"), std::string::npos);
    EXPECT_NE(report.find("TOLUENE/EBENZENE   no parameters: ideal (warning)"), std::string::npos);
    EXPECT_NE(report.find("global current: 1 UNIFAC"), std::string::npos);
    const std::vector<std::string> warnings = problem.warnings();
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0],
              "option set NRTL: pair BENZENE/EBENZENE has no binary parameters and is ideal");
    EXPECT_EQ(host::host_code_text(-23), "a component index is given twice");
    EXPECT_EQ(host::host_code_text(-7), "temperature outside the range of the correlations");
}

}  // namespace
