// The curve methods of the distillation map: residue curves, distillation curves, distillation
// boundaries and isovolatility curves.
#include <algorithm>
#include <array>
#include <vector>

#include "engine/core/util_funcs.hpp"
#include "engine/detail/map_support.hpp"
#include "engine/distillation_map.hpp"
#include "rcm/dist_boundary.hpp"
#include "rcm/distillation_curve.hpp"
#include "rcm/isovolatility.hpp"
#include "rcm/residue_curve.hpp"

namespace engine {

using namespace platform;

namespace {

constexpr std::int64_t kCurvePoints = detail::MapState::kCurvePoints;
constexpr std::int64_t kStoreCurves = 20;
constexpr std::int64_t kStorePoints = 500;

/// Stop modes of the curve tracers: end only at a node of the curve's kind, or wherever the
/// curve comes to rest.
constexpr std::int64_t kStopAtNode = 1;
constexpr std::int64_t kStopAtRest = 2;

enum class CurveKind { residue, distillation };

/// GetResidueCurve and GetDistillationCurve: one routine each, the same frame around it.
HRESULT trace_curve(detail::MapState& m,
                    CurveKind kind,
                    const VARIANT& vInitPoint,
                    LONG* nDirection,
                    VARIANT* vCurve) {
    core::CUtilFuncs util;
    std::span<double> start;
    if (!util.GetArrayData(&vInitPoint, &start) ||
        start.size() < static_cast<std::size_t>(m.component_count)) {
        // The tracer needs one mole fraction per component; nothing is traced without them.
        return detail::report_map(
            kind == CurveKind::residue
                ? "GetResidueCurve: vInitPoint must hold 3 mole fractions (top, left, right)"
                : "GetDistillationCurve: vInitPoint must hold 3 mole fractions (top, left, right)",
            E_TARN_UNINITIALISED_VARIANT);
    }
    if (!nDirection || !vCurve) { return E_POINTER; }
    std::vector<double> x0(start.begin(), start.begin() + m.component_count);

    detail::SingularPoints singular = detail::singular_points(m, false);
    const std::int64_t stop =
        singular.azeotropes > 0 && m.curve_option == 1 ? kStopAtNode : kStopAtRest;
    m.error_code = 0;
    m.message_code = 0;
    const std::int64_t directions = 1;
    const std::int64_t phase = m.phase;
    std::int64_t points = kCurvePoints;
    std::int64_t order = 0;
    if (kind == CurveKind::residue) {
        residue_curve(&m.component_count, x0.data(), &directions, &stop, &singular.azeotropes,
                      singular.compositions, singular.stability, &m.pressure, m.idx.data(),
                      m.opset.data(), &phase, &m.step_curve, &points, &order, m.curve.data(),
                      &m.error_code, &detail::kOptionSetFieldLength);
    } else {
        Distillation_Curve(&m.component_count, x0.data(), &directions, &stop, &singular.azeotropes,
                           singular.compositions, singular.stability, &m.pressure, m.idx.data(),
                           m.opset.data(), &phase, &points, &order, m.curve.data(), &m.error_code,
                           &detail::kOptionSetFieldLength);
    }
    *nDirection = static_cast<LONG>(order);
    points = std::clamp<std::int64_t>(points, 0, kCurvePoints);
    const std::array<std::int64_t, 2> extents{points, m.component_count};
    const std::array<std::int64_t, 2> rows{0, m.component_count};
    return util.CreateSafeArray(vCurve, m.curve, 2, extents, rows) ? S_OK : E_FAIL;
}

}  // namespace

HRESULT CDistillationMap::GetResidueCurve(VARIANT vInitPoint,
                                          LONG* nDirection,
                                          VARIANT* vResidueCurve) {
    return trace_curve(*state_, CurveKind::residue, vInitPoint, nDirection, vResidueCurve);
}

HRESULT CDistillationMap::GetDistillationCurve(VARIANT vInitPoint,
                                               LONG* nDirection,
                                               VARIANT* vDistillationCurve) {
    return trace_curve(*state_, CurveKind::distillation, vInitPoint, nDirection,
                       vDistillationCurve);
}

HRESULT CDistillationMap::GetDistillationBoundary(LONG* nCurves,
                                                  VARIANT* vDirection,
                                                  VARIANT* vDistillationBoundary) {
    if (!nCurves || !vDirection || !vDistillationBoundary) { return E_POINTER; }
    detail::MapState& m = *state_;
    detail::SingularPoints singular = detail::singular_points(m, true);
    std::vector<std::int64_t> counts(kStoreCurves, 0);
    counts[0] = kStorePoints;
    std::vector<std::int64_t> directions(kStoreCurves, 0);
    std::vector<double> store(kStoreCurves * kStorePoints * 3, -1.0);
    m.error_code = 0;
    m.message_code = 0;
    const std::int64_t phase = m.phase;
    std::int64_t curves = 0;
    Dist_Boundary(&m.component_count, &m.pressure, &singular.azeotropes, singular.compositions,
                  singular.stability, singular.temperatures, &m.step_curve, m.idx.data(),
                  m.opset.data(), &phase, &curves, counts.data(), store.data(), directions.data(),
                  &m.error_code, &detail::kOptionSetFieldLength);
    curves = std::clamp<std::int64_t>(curves, 0, kStoreCurves);
    *nCurves = static_cast<LONG>(curves);

    core::CUtilFuncs util;
    const std::array<std::int64_t, 1> direction_extent{curves};
    if (!util.CreateIntSafeArray(vDirection, std::span<const std::int64_t>(directions), 1,
                                 direction_extent)) {
        return detail::report_map("Failed to CreateSafeArray vDirection", E_TARN_AZEOTROPE_ROUTINE);
    }
    if (!detail::pack_curves(util, vDistillationBoundary, store, curves, counts, kStorePoints)) {
        return detail::report_map("Failed to CreateSafeArray vDistillationBaoundary",
                                  E_TARN_AZEOTROPE_ROUTINE);
    }
    return S_OK;
}

HRESULT CDistillationMap::GetIsovolatilityCurve(LONG* nCurves, VARIANT* vIsovolatilityCurve) {
    if (!nCurves || !vIsovolatilityCurve) { return E_POINTER; }
    detail::MapState& m = *state_;
    m.error_code = 0;
    m.message_code = 0;
    std::vector<std::int64_t> counts(kStoreCurves, 0);
    counts[0] = kStorePoints;
    std::vector<double> store(kStoreCurves * kStorePoints * 3, -1.0);
    const std::int64_t phase = m.phase;
    std::int64_t curves = kStoreCurves;
    Isovolatility_Curves(&m.component_count, &m.pressure, m.idx.data(), &phase, m.opset.data(),
                         &curves, counts.data(), store.data(), &m.error_code,
                         &detail::kOptionSetFieldLength);
    curves = std::clamp<std::int64_t>(curves, 0, kStoreCurves);
    *nCurves = static_cast<LONG>(curves);
    core::CUtilFuncs util;
    return detail::pack_curves(util, vIsovolatilityCurve, store, curves, counts, kStorePoints)
               ? S_OK
               : E_FAIL;
}

}  // namespace engine
