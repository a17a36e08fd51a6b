#pragma once
// Opens the test problems in the host property system, finds component indices, and reads the
// reference files, for the tests of the azeotrope routines.
#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace azeotrope::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// Opens tests/azeotrope/problems/<file> through the host's CALLSETJMP (once: a later call with
/// the same file does nothing). Returns "" on success, else why it failed.
std::string open_problem(std::string_view file);

/// Host index of each component id of the open problem (0 for an unknown id).
std::vector<std::int64_t> components(std::initializer_list<std::string_view> ids);

/// data/reference/<file>, parsed.
const nlohmann::json& reference(std::string_view file);
/// The model of a reference file with this label ("NRTL", "UNIFAC", ...).
const nlohmann::json& reference_model(std::string_view file, std::string_view label);

/// A directory of its own under the system's temporary directory, created on first use.
const std::string& scratch_directory();

}  // namespace azeotrope::testing

/// Opens a problem or fails the current test.
#define AZEOTROPE_OPEN_PROBLEM(file)                                                   \
    do {                                                                               \
        const std::string open_problem_error = azeotrope::testing::open_problem(file); \
        ASSERT_EQ(open_problem_error, "");                                             \
    } while (false)
