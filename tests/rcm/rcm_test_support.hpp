#pragma once
// The host problem, reference data and small geometric helpers of the residue-curve-map tests.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rcm/curve_types.hpp"

namespace rcm::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// Opens tests/rcm/problems/rcm_systems.toml in the host (once per process); "" on success.
std::string open_problem();

/// The three systems of the problem file, in the component order of their reference files.
enum class System {
    acetone_chloroform_methanol,  // NRTL, vle_acetone_chloroform_methanol_nrtl.json
    ethanol_water_benzene,        // UNIFAC, vle_ethanol_water_benzene_unifac.json
    benzene_toluene_pxylene,      // UNIFAC, vle_benzene_toluene_pxylene.json
    ethyl_acetate_ethanol_water,  // NRTL, vle_ethyl_acetate_ethanol_water_nrtl.json
    constant_alpha,               // IDEAL, made up: relative volatilities 4 : 2 : 1
};

/// The system at 101325 Pa with its option set.
CurveSystem system(System s, std::int64_t phase_count = 2);

/// data/reference/<file>, parsed.
const nlohmann::json& reference(std::string_view file);
/// The singular points of a reference file's model (pure components first, then the
/// azeotropes in the file's order), with their stability codes and temperatures.
std::vector<SingularPoint> reference_singular_points(std::string_view file, std::string_view model);

/// Index of the singular point nearest x, and the distance [mol/mol].
struct Nearest {
    std::size_t index = 0;
    double distance = 0.0;
};
Nearest nearest(std::span<const double> x, const std::vector<SingularPoint>& points);

/// Point k of a flat list of n-component points.
std::span<const double> point(const std::vector<double>& points, std::size_t n, std::size_t k);

/// Whether the host's bubble points with phase count 3 split the liquid as the reference does (a
/// water/benzene feed inside the miscibility gap gives the reference's three-phase bubble point).
bool two_liquid_bubble_points_available();

/// Points the test helper's run log lines at a directory of its own and empties it.
void reset_run_log();
/// The lines written to the run log since the last reset.
std::vector<std::string> run_log_lines();

}  // namespace rcm::testing

#define RCM_OPEN_PROBLEM()                                           \
    do {                                                             \
        const std::string open_error = rcm::testing::open_problem(); \
        ASSERT_EQ(open_error, "");                                   \
    } while (false)
