#pragma once
// Opens the design tests' problem in the host property system and gives the component indices,
// the reference data and a few independent property look-ups the tests compare against.
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace design::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// Opens tests/design/problems/design.toml through the host's CALLSETJMP (once). Returns "" on
/// success, else why it failed.
std::string open_problem();

/// Host index of each component id of the open problem (0 for an unknown id).
std::vector<std::int64_t> components(std::initializer_list<std::string_view> ids);

/// data/reference/<file>, parsed.
const nlohmann::json& reference(std::string_view file);
/// The model of a reference file with this label ("Ideal", "UNIFAC", ...).
const nlohmann::json& reference_model(std::string_view file, std::string_view label);

/// Reference bubble or dew temperature [K] at 101325 Pa of a composition listed in a reference
/// file's model ("bubble_T" by x, "dew_T" by y); throws when the composition is not listed.
double reference_temperature(std::string_view file,
                             std::string_view label,
                             std::string_view kind,
                             const std::vector<double>& z);

/// True when the host flashes find two liquids (phase count 3): a water / benzene feed split at
/// its bubble point. The decanter tests need it.
bool host_splits_liquids();

}  // namespace design::testing

/// Opens the problem or fails the current test.
#define DESIGN_OPEN_PROBLEM()                                                   \
    do {                                                                        \
        const std::string open_problem_error = design::testing::open_problem(); \
        ASSERT_EQ(open_problem_error, "");                                      \
    } while (false)
