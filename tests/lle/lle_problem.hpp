#pragma once
// The test problem of the envelope tests, reference data, an independent route to activities and
// vapour pressures through the host's model API, and geometry on the triangle.
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/mixture.hpp"
#include "lle/envelope.hpp"

namespace lle::testing {

inline constexpr double kAtmosphere = 101325.0;     // [Pa]
inline constexpr double kRoomTemperature = 298.15;  // [K]

/// Opens tests/lle/problems/lle_systems.toml through the host's CALLSETJMP, once, or again when
/// `reopen` is set (which also restores the file's flash settings). Returns "" on success, else
/// why it failed.
std::string open_problem(bool reopen = false);

/// Host index of each component id of the open problem (0 for an unknown id).
std::vector<std::int64_t> components(std::initializer_list<std::string_view> ids);

/// data/reference/<file>, parsed; and its model with this label.
const nlohmann::json& reference(std::string_view file);
const nlohmann::json& reference_model(std::string_view file, std::string_view label);

/// The liquid model and vapour pressures that the option set of lle_systems.toml names, for these
/// databank ids in this order, built from the databank directly (not through the open problem).
host::Mixture mixture(std::string_view option_set, const std::vector<std::string>& ids);

/// Activities x_i gamma_i at T [K].
Point activities(const host::Mixture& m, double T, const Point& x);
/// The vapour over liquid x at its bubble point T [K], P [Pa]: x_i gamma_i Psat_i / P (not
/// normalised, so that its sum shows whether T is the bubble point).
Point vapour_over(const host::Mixture& m, double T, double P, const Point& x);

/// Largest |a_i - b_i|.
double max_difference(const Point& a, const Point& b);
/// Distance of p from the segment a-b [mol/mol].
double distance_to_segment(const Point& p, const Point& a, const Point& b);
/// Distance of p from the polyline through the points, in order.
double distance_to_polyline(const Point& p, const std::vector<Point>& line);
/// True when the segments a-b and c-d cross at a point inside both.
bool segments_cross(const Point& a, const Point& b, const Point& c, const Point& d);
/// Tie-line size L = sqrt(1/2 sum (x'-x'')^2).
double tie_line_size(const TieLine& t);

/// A scratch directory of this test run, created on first use (ends in '/').
const std::string& scratch_directory();

}  // namespace lle::testing

/// Opens the problem or fails the current test.
#define LLE_OPEN_PROBLEM()                                                   \
    do {                                                                     \
        const std::string open_problem_error = lle::testing::open_problem(); \
        ASSERT_EQ(open_problem_error, "");                                   \
    } while (false)
