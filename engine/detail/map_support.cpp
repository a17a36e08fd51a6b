#include "engine/detail/map_support.hpp"

#include <algorithm>

#include "engine/azeotrope_search.hpp"
#include "engine/core/error_report.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"

namespace engine::detail {

using namespace platform;

HRESULT report_map(std::string_view text, HRESULT status) noexcept {
    return core::report_error(CDistillationMap::clsid, text, IDistillationMap::iid, status);
}

Flash map_flash(const MapState& map,
                std::string_view type,
                std::string_view option_set,
                std::span<const double> z,
                double temperature,
                double vapour_fraction) {
    Flash f;
    std::array<double, 3> feed{z[0], z[1], z[2]};
    std::array<LONGLONG, 3> idx{map.idx[0], map.idx[1], map.idx[2]};
    f.temperature = temperature;
    f.pressure = map.pressure;
    f.vapour_fraction = vapour_fraction;
    const CComBSTR flash_type = CComBSTR::from_utf8(type);
    const CComBSTR opset = CComBSTR::from_utf8(option_set);
    global_property_package()->Calc_Equillibrium(
        flash_type, map.phase, opset, static_cast<LONG>(map.component_count), idx.data(),
        feed.data(), &f.temperature, &f.pressure, &f.vapour_fraction, f.y.data(), f.x.data(),
        &f.beta, f.x1.data(), f.x2.data(), &f.errflg);
    return f;
}

SingularPoints singular_points(const MapState& map, bool search_first) {
    SingularPoints points;
    IAzeotropeSearch* search = global_azeotrope_search();
    if (!search) { return points; }
    if (search_first) { search->ComputeAzeotropes(); }
    // The global search is always this module's own object (only a root object publishes it),
    // so its bookkeeping can tell whether the buffers describe this diagram: the same
    // components, searched since they were set.
    const auto* object = static_cast<const CAzeotropeSearch*>(search);
    const std::int64_t n = map.component_count;
    const auto indices = object->component_indices();
    if (!object->singular_points_valid(n, false) ||
        !std::equal(indices.begin(), indices.end(), map.idx.begin(), map.idx.end())) {
        return points;
    }
    LONG count = 0;
    search->get_NoAzeotropes(&count);
    DOUBLE* compositions = nullptr;
    LONGLONG* stability = nullptr;
    DOUBLE* temperatures = nullptr;
    search->get_CompositionMatrix(&compositions);
    search->get_StabilityIndex(&stability);
    search->get_BPTemperatures(&temperatures);
    if (!compositions || !stability || !temperatures) { return points; }
    points.azeotropes = object->singular_points_valid(n, true) ? count : 0;
    points.compositions = compositions;
    points.stability = stability;
    points.temperatures = temperatures;
    return points;
}

bool pack_curves(core::CUtilFuncs& util,
                 VARIANT* v,
                 std::span<const double> store,
                 std::int64_t curves,
                 std::span<const std::int64_t> counts,
                 std::int64_t capacity) {
    std::int64_t longest = 0;
    for (std::int64_t c = 0; c < curves; ++c) { longest = std::max(longest, counts[c]); }
    longest = std::clamp<std::int64_t>(longest, 0, capacity);
    const std::array<std::int64_t, 3> extents{curves, longest, 3};
    const std::array<std::int64_t, 3> rows{0, capacity, 3};
    return util.CreateSafeArray(v, store, 3, extents, rows) != 0;
}

LONG translate_code(std::int64_t code, std::span<const std::pair<std::int64_t, LONG>> codes) {
    for (const auto& [routine, method] : codes) {
        if (routine == code) { return method; }
    }
    return 9999;
}

}  // namespace engine::detail
