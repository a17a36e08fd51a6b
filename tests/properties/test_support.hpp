#pragma once
// Shared pieces of the property-services tests: a scratch directory that the tests point "TMP"
// at (the host writes its history and report files there), problem files written on the fly,
// direct host calls that check what the property package did, and the reference data.
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation.hpp"
#include "properties/property_package.hpp"

namespace properties::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// The process's scratch directory (created once, removed at exit); "TMP" points at it.
const std::filesystem::path& scratch();
/// examples/<name>.
std::string example(std::string_view name);
/// Writes `text` to scratch()/<name> and returns the path.
std::string write_file(std::string_view name, std::string_view text);
/// A problem of `count` components W001, W002, ... that all carry the constants of water, with
/// one IDEAL option set.
std::string many_water_components(std::string_view file_name, int count);
/// A problem of ethanol and water with `count` IDEAL option sets OS01, OS02, ...
std::string many_option_sets(std::string_view file_name, int count);

/// data/reference/<file>, and the model of it with this label.
const nlohmann::json& reference(std::string_view file);
const nlohmann::json& reference_model(std::string_view file, std::string_view label);
/// The entry of a list whose member `key` equals `value` (first mole fraction compared).
const nlohmann::json& entry_with(const nlohmann::json& list, std::string_view key, double value);

/// Opens a problem directly through the host (as a host that initialises itself would).
std::int64_t host_open(const std::string& file);
/// Named host parameters, read or set directly.
std::string host_text(std::string_view name, std::int64_t index = 0);
std::int64_t host_int(std::string_view name, std::int64_t index = 0);
std::int64_t host_set_int(std::string_view name, std::int64_t value);

/// A fresh property package (default library names unless given).
platform::CComPtr<IPropertyPackage> new_package(const PropertyLibraryNames& names = {});
/// InitFromSimpdfFile with a narrow name.
platform::HRESULT init(IPropertyPackage* package, std::string_view file);

/// The three lists of GetComponentList.
struct ComponentList {
    platform::HRESULT status = platform::E_FAIL;
    std::vector<std::string> ids, names;
    std::vector<double> molar_masses;
};
ComponentList component_list(IPropertyPackage* package);
/// GetPropMethodList as strings (status in `status`).
std::vector<std::string> method_list(IPropertyPackage* package, platform::HRESULT* status);

/// Everything one Calc_Equillibrium call takes and gives. The outputs start at a marker value so
/// that a test sees whether they were written.
struct Equilibrium {
    static constexpr double kUntouched = -12345.0;
    std::string flash_type = "PV";
    std::int32_t phases = 2;
    std::string option_set;
    std::vector<std::int64_t> components;
    std::vector<double> feed;
    double temperature = 0.0, pressure = kAtmosphere, vapour_fraction = 0.0;
    double beta = kUntouched;
    std::vector<double> x, y, x1, x2;
    std::int32_t errflg = 999;
    platform::HRESULT status = platform::E_FAIL;
};
/// Runs Calc_Equillibrium on `e` (sizes the output arrays to the feed, filled with the marker).
void calc(IPropertyPackage* package, Equilibrium& e);

}  // namespace properties::testing
