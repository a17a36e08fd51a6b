#pragma once
// Shared pieces of the engine tests: a scratch directory that "TMP" and "TEMP" point at (the
// host writes its history and report files there, the run log goes there), the test problem
// opened through a root object, variants in and out, and the thread's error information.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/interfaces.hpp"
#include "platform/automation.hpp"

namespace engine::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// The process's scratch directory, created on first use; "TMP" and "TEMP" point at it.
const std::filesystem::path& scratch();
/// tests/engine/problems/engine_systems.toml.
std::string problem_file();
/// examples/<name>.
std::string example_file(std::string_view name);

/// A root object with the test problem open, and its map and azeotrope search.
struct Engine {
    platform::CComPtr<IDistil> root;
    platform::CComPtr<IDistillationMap> map;
    platform::CComPtr<IAzeotropeSearch> search;
    platform::CComPtr<IPropertyPackage> package;
    platform::HRESULT status = platform::E_FAIL;  // of InitFromSimpdfFile
};
Engine open_engine(const std::string& file = problem_file());

/// Sets up a map: components top, left, right, the option set (also as VLE and LLE model),
/// the phase count and the pressure [Pa].
void set_ternary(IDistillationMap* map,
                 std::string_view top,
                 std::string_view left,
                 std::string_view right,
                 std::string_view option_set,
                 platform::LONG phases,
                 double pressure = kAtmosphere);

/// A 1-D double array (lower bound 0).
platform::CComVariant doubles(std::initializer_list<double> values);
platform::CComVariant doubles(const std::vector<double>& values);
/// A 2-D double array rows x columns from values given row by row.
platform::CComVariant matrix(std::int64_t rows, std::int64_t columns, std::vector<double> by_rows);
/// A 1-D or 2-D 32-bit integer array (2-D: rows x columns, values given column by column).
platform::CComVariant ints(const std::vector<std::int32_t>& values, std::int64_t rows = -1);
/// A 1-D string array.
platform::CComVariant strings(const std::vector<std::string>& values);

/// The content of a safe array in a variant: its extents and its elements in storage order
/// (first index fastest), as doubles.
struct Array {
    platform::VARTYPE element = platform::VT_EMPTY;
    std::vector<std::int64_t> extents;
    std::vector<double> values;
    double at(std::int64_t i) const { return values.at(static_cast<std::size_t>(i)); }
    double at(std::int64_t i, std::int64_t j) const {
        return values.at(static_cast<std::size_t>(j * extents.at(0) + i));
    }
    double at(std::int64_t i, std::int64_t j, std::int64_t k) const {
        return values.at(static_cast<std::size_t>((k * extents.at(1) + j) * extents.at(0) + i));
    }
};
/// Reads a VT_R8 or VT_I4 array; an empty Array (no extents) for anything else.
Array read_array(const platform::VARIANT& v);

/// The thread's error information (taken), or an empty record.
platform::ErrorRecord take_error();

/// Lines of the run log in the scratch directory, and clearing it.
std::vector<std::string> run_log_lines();
void clear_run_log();

}  // namespace engine::testing
