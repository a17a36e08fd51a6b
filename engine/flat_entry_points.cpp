// The plain exported functions: each builds a distillation map and a root object, drives the map
// through its automation methods as a client would, copies the results out of the variants into
// the caller's arrays, and releases both objects before it returns (the root object's release
// clears the process-wide pointers it published).
//
// Nothing is written beyond the stores the results come from: at most 3 envelopes of 200 points
// and 100 tie lines, and at most 12 azeotropes, the capacity of the caller's phase and stability
// arrays. A ternary mixture has at most four azeotropes in practice (three binary, one ternary),
// so the azeotrope cap leaves room for double azeotropes; the count returned is the number
// written, so a caller that loops over it never reads past what it was given.
#include "engine/flat_entry_points.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "engine/core/util_funcs.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"

namespace engine {
namespace {

using namespace platform;

/// The objects of one call; the root object lives only to publish its property package and
/// azeotrope search for the map.
struct FlatCall {
    CComPtr<IDistillationMap> map;
    CComPtr<IDistil> root;
    CDistillationMap& map_object() const { return *static_cast<CDistillationMap*>(map.get()); }
};

bool has_names(const char* const* names) noexcept {
    return names && names[0] && names[1] && names[2];
}

/// The common preparation: the two objects, the pressure (and the temperature when given), the
/// components and the property data. The results of the settings are not examined: a failed
/// setting shows in the analysis that follows. Nothing when an object cannot be created.
std::optional<FlatCall> prepare(const char* const* names,
                                const char* option_set,
                                double pressure,
                                const double* temperature,
                                LONG phases) {
    const CComBSTR top = CComBSTR::from_utf8(names[0]);
    const CComBSTR left = CComBSTR::from_utf8(names[1]);
    const CComBSTR right = CComBSTR::from_utf8(names[2]);
    const CComBSTR opset = CComBSTR::from_utf8(option_set);
    const CComBSTR vle_model = opset;
    const CComBSTR lle_model = opset;
    FlatCall call;
    if (FAILED(create_engine_object(core::CLSID_DistillationMap, IDistillationMap::iid,
                                    call.map.out_void())) ||
        FAILED(create_engine_object(core::CLSID_Distil, IDistil::iid, call.root.out_void()))) {
        return std::nullopt;
    }
    call.map->put_Pressure(pressure);
    if (temperature) { call.map->put_Temperature(*temperature); }
    call.map->SetComponentData(top, left, right);
    call.map->SetPropertyData(opset, vle_model, lle_model, phases);
    return call;
}

/// One envelope function: trace, then copy the store of that variant.
void copy_envelopes(bool vapour_liquid_liquid,
                    const char* const* names,
                    const char* option_set,
                    const double* pressure,
                    const double* temperature,
                    std::int32_t* envelope_count,
                    std::int64_t* points_per_envelope,
                    double* x_top,
                    double* x_left,
                    double* x_right,
                    std::int32_t* tie_line_count,
                    double* tie_lines) noexcept {
    if (!envelope_count) { return; }
    *envelope_count = 0;
    if (!has_names(names) || !option_set || !pressure || !points_per_envelope || !x_top ||
        !x_left || !x_right || !tie_line_count || !tie_lines) {
        return;
    }
    try {
        // Envelopes need the liquid to split: three phases in every flash.
        const auto call = prepare(names, option_set, *pressure, temperature, 3);
        if (!call) { return; }
        if (vapour_liquid_liquid) {
            call->map->ComputeEnvelopeVLLE();
        } else {
            call->map->ComputeEnvelopeLLE();
        }
        const CDistillationMap::EnvelopeView store =
            call->map_object().envelope(vapour_liquid_liquid);
        const std::int64_t curves = std::clamp<std::int64_t>(
            store.curve_count, 0, static_cast<std::int64_t>(store.point_counts.size()));
        std::size_t out = 0;
        for (std::int64_t c = 0; c < curves; ++c) {
            const std::int64_t points = std::clamp<std::int64_t>(
                store.point_counts[static_cast<std::size_t>(c)], 0, store.points_per_curve);
            points_per_envelope[c] = points;
            for (std::int64_t p = 0; p < points; ++p, ++out) {
                const auto at = static_cast<std::size_t>(3 * (c * store.points_per_curve + p));
                x_top[out] = store.points[at];
                x_left[out] = store.points[at + 1];
                x_right[out] = store.points[at + 2];
            }
        }
        *envelope_count = static_cast<std::int32_t>(curves);
        if (store.tie_line_count >= 2) {
            const auto ties = std::min<std::size_t>(static_cast<std::size_t>(store.tie_line_count),
                                                    store.tie_lines.size() / 6);
            std::copy_n(store.tie_lines.begin(), 6 * ties, tie_lines);
            *tie_line_count = static_cast<std::int32_t>(ties);
        }
    } catch (...) {
        // Out of memory for the names: no result.
    }
}

}  // namespace
}  // namespace engine

using engine::FlatCall;
using namespace platform;

extern "C" void CalAzeotropes(const char* const* names,
                              const char* option_set,
                              const double* pressure,
                              const std::int32_t* phase_count,
                              std::int32_t* azeotrope_count,
                              double* x_top,
                              double* x_left,
                              double* x_right,
                              double* temperature,
                              std::int64_t* phase,
                              std::int64_t* stability) noexcept {
    if (!azeotrope_count) { return; }
    *azeotrope_count = 0;
    if (!engine::has_names(names) || !option_set || !pressure || !phase_count || !x_top ||
        !x_left || !x_right || !temperature || !phase || !stability) {
        return;
    }
    try {
        const auto call = engine::prepare(names, option_set, *pressure, nullptr, *phase_count);
        if (!call) { return; }
        // The pure-component data sizes the search's buffers; it is not handed back.
        CComVariant pure, pure_temperature, pure_stability;
        call->map->GetPureProperties(&pure, &pure_temperature, &pure_stability);
        LONG found = 0;
        CComVariant compositions, temperatures, phases, stabilities;
        if (FAILED(call->map->GetAzeotropes(&found, &compositions, &temperatures, &phases,
                                            &stabilities)) ||
            found <= 0) {
            return;
        }
        engine::core::CUtilFuncs util;
        std::span<double> x, t;
        const auto n = static_cast<std::size_t>(found);
        std::vector<std::int64_t> phase_codes(n), stability_codes(n);
        if (!util.GetArrayData(&compositions, &x) || !util.GetArrayData(&temperatures, &t) ||
            x.size() < 3 * n || t.size() < n ||
            !util.ExtractIntArray(&phases, phase_codes, found, 1) ||
            !util.ExtractIntArray(&stabilities, stability_codes, found, 1)) {
            return;
        }
        // The azeotrope array is (azeotrope, component) with the first index fastest.
        const std::size_t written = std::min<std::size_t>(n, TARNDISTIL_MAX_FLAT_AZEOTROPES);
        for (std::size_t i = 0; i < written; ++i) {
            phase[i] = phase_codes[i];
            stability[i] = stability_codes[i];
            x_top[i] = x[i];
            x_left[i] = x[n + i];
            x_right[i] = x[2 * n + i];
            temperature[i] = t[i];
        }
        *azeotrope_count = static_cast<std::int32_t>(written);
    } catch (...) { *azeotrope_count = 0; }
}

extern "C" int CalCurveLLE(const char* const* names,
                           const char* option_set,
                           const double* pressure,
                           const double* temperature,
                           const void* /*not_read*/,
                           std::int32_t* envelope_count,
                           std::int64_t* points_per_envelope,
                           double* x_top,
                           double* x_left,
                           double* x_right,
                           std::int32_t* tie_line_count,
                           double* tie_lines) noexcept {
    // Without a temperature the map would trace at 0 K; no envelope is the honest answer.
    if (!temperature) {
        if (envelope_count) { *envelope_count = 0; }
        return 1;
    }
    engine::copy_envelopes(false, names, option_set, pressure, temperature, envelope_count,
                           points_per_envelope, x_top, x_left, x_right, tie_line_count, tie_lines);
    return 1;
}

extern "C" int CalCurveVLLE(const char* const* names,
                            const char* option_set,
                            const double* pressure,
                            const void* /*not_read*/,
                            std::int32_t* envelope_count,
                            std::int64_t* points_per_envelope,
                            double* x_top,
                            double* x_left,
                            double* x_right,
                            std::int32_t* tie_line_count,
                            double* tie_lines) noexcept {
    engine::copy_envelopes(true, names, option_set, pressure, nullptr, envelope_count,
                           points_per_envelope, x_top, x_left, x_right, tie_line_count, tie_lines);
    return 1;
}

extern "C" void CalTieLine(const char* const* names,
                           const char* option_set,
                           const double* pressure,
                           const double* temperature,
                           const std::int32_t* mode,
                           const std::int32_t* phase_count,
                           const std::int32_t* point_count,
                           const double* z_top,
                           const double* z_left,
                           const double* z_right,
                           double* x1_top,
                           double* x1_left,
                           double* x1_right,
                           double* x2_top,
                           double* x2_left,
                           double* x2_right,
                           double* y_top,
                           double* y_left,
                           double* y_right) noexcept {
    if (!engine::has_names(names) || !option_set || !pressure || !mode || !phase_count ||
        !point_count || *point_count <= 0) {
        return;
    }
    const bool three_phase = *mode == 1;
    if (!z_top || !z_left || !z_right || !x1_top || !x1_left || !x1_right || !x2_top || !x2_left ||
        !x2_right || (three_phase && (!y_top || !y_left || !y_right))) {
        return;
    }
    try {
        // Only mode 3 sets the map's temperature.
        const auto call = engine::prepare(names, option_set, *pressure,
                                          *mode == 3 ? temperature : nullptr, *phase_count);
        if (!call) { return; }
        CComVariant pure, pure_temperature, pure_stability;
        call->map->GetPureProperties(&pure, &pure_temperature, &pure_stability);
        engine::core::CUtilFuncs util;
        std::size_t out = 0;
        for (std::int32_t i = 0; i < *point_count; ++i) {
            CComVariant z;
            const std::array<double, 3> point{z_top[i], z_left[i], z_right[i]};
            const std::array<std::int64_t, 1> extent{3};
            if (!util.CreateSafeArray(&z, point, 1, extent)) { continue; }
            CComVariant x1, x2, y;
            const HRESULT hr = three_phase ? call->map->GetNewTieLineVLLE(z, &x1, &x2, &y)
                                           : call->map->GetNewTieLineLLE(z, &x1, &x2);
            if (FAILED(hr)) { continue; }
            std::span<double> a, b, v;
            if (!util.GetArrayData(&x1, &a) || !util.GetArrayData(&x2, &b) || a.size() < 3 ||
                b.size() < 3 || (three_phase && (!util.GetArrayData(&y, &v) || v.size() < 3))) {
                continue;
            }
            x1_top[out] = a[0];
            x1_left[out] = a[1];
            x1_right[out] = a[2];
            x2_top[out] = b[0];
            x2_left[out] = b[1];
            x2_right[out] = b[2];
            if (three_phase) {
                y_top[out] = v[0];
                y_left[out] = v[1];
                y_right[out] = v[2];
            }
            ++out;
        }
    } catch (...) {
        // Out of memory for the names: nothing (more) is written.
    }
}

extern "C" void initial() noexcept {}
