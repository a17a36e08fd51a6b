// The liquid-liquid methods of the distillation map: LLE and VLLE envelopes with their stored
// tie lines, and new tie lines through a composition.
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/core/util_funcs.hpp"
#include "engine/detail/map_support.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"
#include "lle/envelope.hpp"
#include "lle/envelope_routines.hpp"

namespace engine {

using namespace platform;

namespace {

using detail::EnvelopeStore;

/// The first 10 bytes of a model name, as the option-set field of the envelope tracer.
detail::OptionSetField model_field(const CComBSTR& model) {
    const std::string text = model.utf8();
    detail::OptionSetField field{};
    std::memcpy(field.data(), text.data(), std::min(text.size(), field.size()));
    return field;
}

void begin_trace(detail::MapState& m, EnvelopeStore& store) {
    store.tie_line_count = EnvelopeStore::kTieLines;
    m.message_code = 0;
    m.error_code = 0;
}

HRESULT pack_envelopes(const EnvelopeStore& store, VARIANT* vXCurve) {
    core::CUtilFuncs util;
    const std::int64_t curves =
        std::clamp<std::int64_t>(store.curve_count, 0, EnvelopeStore::kCurves);
    return detail::pack_curves(util, vXCurve, store.points, curves, store.point_counts,
                               EnvelopeStore::kPointsPerCurve)
               ? S_OK
               : E_FAIL;
}

/// Both liquid ends of every stored tie line: (2 x count) rows x 3.
bool pack_tie_lines(core::CUtilFuncs& util, const EnvelopeStore& store, VARIANT* v) {
    const std::int64_t count =
        std::clamp<std::int64_t>(store.tie_line_count, 0, EnvelopeStore::kTieLines);
    const std::array<std::int64_t, 2> extents{2 * count, 3};
    const std::array<std::int64_t, 2> rows{0, 3};
    return util.CreateSafeArray(v, store.tie_lines, 2, extents, rows) != 0;
}

/// One 1-D array of three doubles.
bool pack_point(core::CUtilFuncs& util, VARIANT* v, std::span<const double> point) {
    const std::array<std::int64_t, 1> extent{3};
    return util.CreateSafeArray(v, point, 1, extent) != 0;
}

enum class TieLineKind { liquid_liquid, vapour_liquid_liquid };

HRESULT new_tie_line(detail::MapState& m,
                     TieLineKind kind,
                     const VARIANT& vComposition,
                     VARIANT* vX1,
                     VARIANT* vX2,
                     VARIANT* vY) {
    if (!global_property_package()) {
        return detail::report_map(detail::kPropertyPackageNotInitialised, E_TARN_PROPERTY_PACKAGE);
    }
    core::CUtilFuncs util;
    if (core::CUtilFuncs::IsEmpty(&vComposition)) {
        return detail::report_map("vComposition is empty", E_TARN_UNINITIALISED_VARIANT);
    }
    std::span<double> z;
    if (!util.GetArrayData(&vComposition, &z) || z.size() < 3) {
        return detail::report_map("Error Extracting Composition from VARIANT",
                                  E_TARN_VARIANT_ACCESS);
    }
    if (!vX1 || !vX2 || (kind == TieLineKind::vapour_liquid_liquid && !vY)) { return E_POINTER; }
    const bool lle = kind == TieLineKind::liquid_liquid;
    detail::Flash flash;
    try {
        const std::string model = (lle ? m.lle_model : m.vle_model).utf8();
        flash = detail::map_flash(m, lle ? "TP" : "PV", model, z.first(3),
                                  lle ? m.temperature : 0.0, 0.0);
    } catch (...) {
        return detail::report_map("Error Calling PP:Calc_Equilibrium", E_TARN_NUMERICAL_ROUTINE);
    }
    if (flash.errflg != 0) {
        return detail::report_map(
            fmt::format("Calc_Equilibrium returned {}, calculating TieLine", flash.errflg),
            lle ? E_TARN_NUMERICAL_ROUTINE : E_TARN_VARIANT_ACCESS);
    }
    const lle::TieLineThroughFeed tie = lle::tie_line_through_feed(
        flash.x1, flash.x2, flash.vapour_fraction,
        lle ? lle::Variant::liquid_liquid : lle::Variant::vapour_liquid_liquid);
    if (!pack_point(util, vX1, tie.x1)) {
        return detail::report_map("Error Creating vX1 SafeArray", E_TARN_VARIANT_ACCESS);
    }
    if (!pack_point(util, vX2, tie.x2)) {
        return detail::report_map("Error Creating vX2 SafeArray", E_TARN_VARIANT_ACCESS);
    }
    if (!lle && !pack_point(util, vY, flash.y)) {
        return detail::report_map("Error Creating vY SafeArray", E_TARN_VARIANT_ACCESS);
    }
    return S_OK;
}

}  // namespace

HRESULT CDistillationMap::ComputeEnvelopeLLE() {
    detail::MapState& m = *state_;
    begin_trace(m, m.lle);
    const detail::OptionSetField opset = model_field(m.lle_model);
    EnvelopeStore& s = m.lle;
    LLE_Envelope(&m.component_count, &m.pressure, &m.temperature, &m.step_env, m.idx.data(),
                 opset.data(), &s.curve_count, s.point_counts.data(), s.points.data(),
                 &s.tie_line_count, s.tie_lines.data(), &m.message_code, &m.error_code,
                 detail::kOptionSetFieldLength);
    return S_OK;
}

HRESULT CDistillationMap::ComputeEnvelopeVLLE() {
    detail::MapState& m = *state_;
    begin_trace(m, m.vlle);
    // The tracer writes the plait temperature only when a branch finds one; a value left from
    // an earlier trace (perhaps of another mixture) must not pass for this one's.
    m.plait_temperature = 0.0;
    EnvelopeStore& s = m.vlle;
    VLLE_Envelope(&m.component_count, &m.pressure, &m.step_env, m.idx.data(), m.opset.data(),
                  &s.curve_count, s.point_counts.data(), s.points.data(), &s.tie_line_count,
                  s.tie_lines.data(), m.vlle_vapour.data(), &m.plait_temperature, &m.message_code,
                  &m.error_code, detail::kOptionSetFieldLength);
    return S_OK;
}

HRESULT CDistillationMap::GetCurveLLE(VARIANT* vXCurve) {
    if (!vXCurve) { return E_POINTER; }
    return pack_envelopes(state_->lle, vXCurve);
}

HRESULT CDistillationMap::GetCurveVLLE(VARIANT* vXCurve, DOUBLE* dbPlaitTemp) {
    if (!vXCurve || !dbPlaitTemp) { return E_POINTER; }
    const HRESULT hr = pack_envelopes(state_->vlle, vXCurve);
    if (SUCCEEDED(hr)) { *dbPlaitTemp = state_->plait_temperature; }
    return hr;
}

HRESULT CDistillationMap::GetTieLinesLLE(VARIANT* vTieline) {
    if (!vTieline) { return E_POINTER; }
    core::CUtilFuncs util;
    return pack_tie_lines(util, state_->lle, vTieline) ? S_OK : E_FAIL;
}

HRESULT CDistillationMap::GetTieLinesVLLE(VARIANT* vTieline, VARIANT* vTiePoints) {
    if (!vTieline || !vTiePoints) { return E_POINTER; }
    core::CUtilFuncs util;
    if (!pack_tie_lines(util, state_->vlle, vTieline)) { return E_FAIL; }
    const std::int64_t count =
        std::clamp<std::int64_t>(state_->vlle.tie_line_count, 0, EnvelopeStore::kTieLines);
    const std::array<std::int64_t, 2> extents{count, 3};
    const std::array<std::int64_t, 2> rows{0, 3};
    return util.CreateSafeArray(vTiePoints, state_->vlle_vapour, 2, extents, rows) ? S_OK : E_FAIL;
}

CDistillationMap::EnvelopeView CDistillationMap::envelope(
    bool vapour_liquid_liquid) const noexcept {
    const EnvelopeStore& s = vapour_liquid_liquid ? state_->vlle : state_->lle;
    EnvelopeView view;
    view.curve_count = s.curve_count;
    view.point_counts = s.point_counts;
    view.points_per_curve = EnvelopeStore::kPointsPerCurve;
    view.points = s.points;
    view.tie_line_count = s.tie_line_count;
    view.tie_lines = s.tie_lines;
    return view;
}

HRESULT CDistillationMap::GetNewTieLineLLE(VARIANT vComposition, VARIANT* vX1, VARIANT* vX2) {
    return new_tie_line(*state_, TieLineKind::liquid_liquid, vComposition, vX1, vX2, nullptr);
}

HRESULT CDistillationMap::GetNewTieLineVLLE(VARIANT vComposition,
                                            VARIANT* vX1,
                                            VARIANT* vX2,
                                            VARIANT* vY) {
    return new_tie_line(*state_, TieLineKind::vapour_liquid_liquid, vComposition, vX1, vX2, vY);
}

}  // namespace engine
