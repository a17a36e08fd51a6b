#pragma once
// Pieces shared by the files of the distillation map: its error reports, single flashes through
// the global property package, the singular points of the global azeotrope search, and the
// translation of the design routines' codes.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/core/util_funcs.hpp"
#include "engine/detail/map_state.hpp"

namespace engine::detail {

inline constexpr std::string_view kPropertyPackageNotInitialised =
    "Property Package not Initialised";

/// Reports a failure of the map (source: the map's ProgID) and returns `status`.
HRESULT report_map(std::string_view text, HRESULT status) noexcept;

/// One flash of the map's three components through the global property package.
struct Flash {
    LONG errflg = -1;  // -1 also when the package ran no flash at all
    double temperature = 0.0;
    double pressure = 0.0;
    double vapour_fraction = 0.0;
    double beta = 0.0;
    std::array<double, 3> x{}, y{}, x1{}, x2{};
};
/// Calc_Equillibrium of kind `type` for the composition `z` (three mole fractions) at the map's
/// pressure and phase count. The caller has checked that a global property package is held.
Flash map_flash(const MapState& map,
                std::string_view type,
                std::string_view option_set,
                std::span<const double> z,
                double temperature,
                double vapour_fraction);

/// The singular points a curve routine is given: the azeotrope count and the search object's
/// buffers, or no azeotropes and no arrays.
struct SingularPoints {
    std::int64_t azeotropes = 0;
    const double* compositions = nullptr;
    const std::int64_t* stability = nullptr;
    const double* temperatures = nullptr;
};
/// Reads the global azeotrope search's singular points when they describe the map's components
/// (a search object sized for another mixture, or not sized at all, gives none). With
/// `search_first`, runs ComputeAzeotropes before reading.
SingularPoints singular_points(const MapState& map, bool search_first);

/// A store of `curves` curves, curve c from point slot c * capacity with three mole fractions
/// per point, as a curves x (longest curve) x 3 array of doubles; the slots past a shorter
/// curve's end hold the store's -1.0.
bool pack_curves(core::CUtilFuncs& util,
                 VARIANT* v,
                 std::span<const double> store,
                 std::int64_t curves,
                 std::span<const std::int64_t> counts,
                 std::int64_t capacity);

/// The map's translation of a design routine's error code: `codes` lists (routine code, method
/// code) pairs; anything else becomes 9999.
LONG translate_code(std::int64_t code, std::span<const std::pair<std::int64_t, LONG>> codes);

}  // namespace engine::detail
