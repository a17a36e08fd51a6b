// Late binding of the engine's three classes: one member table per dual interface, in the
// interface's member order, with the dispatch ids clients have always used.
//
// Every member whose parameters are automation types gets its row (types, directions, thunk)
// from its own declaration. Four members of the azeotrope search take or return plain memory for
// in-process callers; their late-bound forms carry the same data in arrays:
// - SetIdxVector(nComp, IdxVector): IdxVector is an array of at least nComp whole numbers;
// - CompositionMatrix, StabilityIndex, BPTemperatures: copies of the singular points as arrays
//   (points x components doubles; 32-bit codes; temperatures [K]), or an empty result while the
//   search holds none for its current components.
#include <array>
#include <vector>

#include "engine/azeotrope_search.hpp"
#include "engine/core/dispatch.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/distil.hpp"
#include "engine/distillation_map.hpp"
#include "engine/module.hpp"

namespace engine {

using namespace platform;
namespace dispatch = core::dispatch;
using dispatch::Arguments;
using dispatch::CallOutcome;
using dispatch::Direction;
using dispatch::MemberKind;
using dispatch::ParamType;

namespace {

constexpr std::array kDistilMembers{
    dispatch::property_get<&IDistil::get_AzeotropeSearch>(kDispIdAzeotropeSearch,
                                                          u"AzeotropeSearch"),
    dispatch::property_get<&IDistil::get_DistillationMap>(kDispIdDistillationMap,
                                                          u"DistillationMap"),
    dispatch::property_get<&IDistil::get_PropertyPackage>(kDispIdPropertyPackage,
                                                          u"PropertyPackage"),
    dispatch::method<&IDistil::CloseSimpdfFile>(
        kDispIdDistilCloseSimpdfFile, u"CloseSimpdfFile", u""),
    dispatch::method<&IDistil::InitFromSimpdfFile>(
        kDispIdDistilInitFromSimpdfFile, u"InitFromSimpdfFile", u"bstrSimpdfFile"),
    dispatch::method<&IDistil::SetLogFile>(kDispIdSetLogFile, u"SetLogFile", u"fname"),
    dispatch::property_get<&IDistil::get_OperatingSystem>(kDispIdOperatingSystem,
                                                          u"OperatingSystem"),
};

// ---- IAzeotropeSearch: the members that hand over plain memory ----

CAzeotropeSearch& search_of(void* object) {
    return *static_cast<CAzeotropeSearch*>(static_cast<IAzeotropeSearch*>(object));
}

CallOutcome set_idx_vector(void* object, Arguments args, VARIANT*) {
    dispatch::Param<LONGLONG> count;
    if (const HRESULT hr = count.load(args[0]); FAILED(hr)) { return {hr, 0}; }
    if (dispatch::detail::is_missing(args[1])) { return {DISP_E_PARAMNOTOPTIONAL, 1}; }
    std::vector<std::int64_t> indices;
    if (const HRESULT hr = dispatch::read_integers(args[1], indices); FAILED(hr)) {
        return {hr, 1};
    }
    // The member reads nComp entries; a shorter array is refused before it could.
    if (count.get() > 0 && indices.size() < static_cast<std::size_t>(count.get())) {
        return {DISP_E_TYPEMISMATCH, 1};
    }
    return {search_of(object).SetIdxVector(count.get(), indices.data()), -1};
}

/// Singular points the search holds for its current components: pure components, and the
/// azeotropes once a search has run. 0 while it holds none.
std::int64_t singular_point_count(CAzeotropeSearch& search) {
    const std::int64_t n = search.component_count();
    if (!search.singular_points_valid(n, false)) { return 0; }
    LONG azeotropes = 0;
    if (search.singular_points_valid(n, true)) { search.get_NoAzeotropes(&azeotropes); }
    return n + azeotropes;
}

CallOutcome composition_matrix(void* object, Arguments, VARIANT* result) {
    CAzeotropeSearch& search = search_of(object);
    DOUBLE* points = nullptr;
    const HRESULT hr = search.get_CompositionMatrix(&points);
    const std::int64_t count = singular_point_count(search);
    if (FAILED(hr) || !result || !points || count == 0) { return {hr, -1}; }
    const std::int64_t n = search.component_count();
    core::CUtilFuncs util;
    const std::array<std::int64_t, 2> extents{count, n};
    const std::array<std::int64_t, 2> rows{0, n};
    return {
        util.CreateSafeArray(result, std::span<const double>(points, count * n), 2, extents, rows)
            ? S_OK
            : E_OUTOFMEMORY,
        -1};
}

CallOutcome stability_index(void* object, Arguments, VARIANT* result) {
    CAzeotropeSearch& search = search_of(object);
    LONGLONG* codes = nullptr;
    const HRESULT hr = search.get_StabilityIndex(&codes);
    const std::int64_t count = singular_point_count(search);
    if (FAILED(hr) || !result || !codes || count == 0) { return {hr, -1}; }
    core::CUtilFuncs util;
    const std::array<std::int64_t, 1> extents{count};
    return {util.CreateIntSafeArray(result, std::span<const std::int64_t>(codes, count), 1, extents)
                ? S_OK
                : E_OUTOFMEMORY,
            -1};
}

CallOutcome bp_temperatures(void* object, Arguments, VARIANT* result) {
    CAzeotropeSearch& search = search_of(object);
    DOUBLE* temperatures = nullptr;
    const HRESULT hr = search.get_BPTemperatures(&temperatures);
    const std::int64_t count = singular_point_count(search);
    if (FAILED(hr) || !result || !temperatures || count == 0) { return {hr, -1}; }
    core::CUtilFuncs util;
    const std::array<std::int64_t, 1> extents{count};
    return {util.CreateSafeArray(result, std::span<const double>(temperatures, count), 1, extents)
                ? S_OK
                : E_OUTOFMEMORY,
            -1};
}

constexpr std::array<ParamType, 2> kSetIdxVectorTypes{{
    {VT_I8, Direction::in},
    {VT_ARRAY | VT_I4, Direction::in},
}};
constexpr std::array<ParamType, 1> kPointsType{{{VT_ARRAY | VT_R8, Direction::retval}}};
constexpr std::array<ParamType, 1> kCodesType{{{VT_ARRAY | VT_I4, Direction::retval}}};

constexpr std::array kSearchMembers{
    dispatch::method<&IAzeotropeSearch::ComputeAzeotropes>(
        kDispIdComputeAzeotropes, u"ComputeAzeotropes", u""),
    dispatch::property_get<&IAzeotropeSearch::get_Pressure>(kDispIdSearchPressure, u"Pressure"),
    dispatch::property_put<&IAzeotropeSearch::put_Pressure>(kDispIdSearchPressure, u"Pressure"),
    dispatch::method<&IAzeotropeSearch::GetAzeotropes>(
        kDispIdSearchGetAzeotropes,
        u"GetAzeotropes",
        u"nAzeotropes vAzeotropes vTemperature vPhase vStability"),
    dispatch::method<&IAzeotropeSearch::GetPureProperties>(kDispIdSearchGetPureProperties,
                                                           u"GetPureProperties",
                                                           u"vComposition vTemperature vStability"),
    dispatch::method<&IAzeotropeSearch::SetComponentData>(
        kDispIdSearchSetComponentData, u"SetComponentData", u"vComponents"),
    dispatch::custom(kDispIdSetIdxVector,
                     u"SetIdxVector",
                     MemberKind::method,
                     u"nComp IdxVector",
                     kSetIdxVectorTypes,
                     &set_idx_vector),
    dispatch::method<&IAzeotropeSearch::SetPropertyData>(
        kDispIdSearchSetPropertyData,
        u"SetPropertyData",
        u"bstrOpset bstrVLEModel bstrLLEModel nPhase"),
    dispatch::property_get<&IAzeotropeSearch::get_NoAzeotropes>(kDispIdNoAzeotropes,
                                                                u"NoAzeotropes"),
    dispatch::custom(kDispIdCompositionMatrix,
                     u"CompositionMatrix",
                     MemberKind::property_get,
                     u"",
                     kPointsType,
                     &composition_matrix),
    dispatch::custom(kDispIdStabilityIndex,
                     u"StabilityIndex",
                     MemberKind::property_get,
                     u"",
                     kCodesType,
                     &stability_index),
    dispatch::custom(kDispIdBPTemperatures,
                     u"BPTemperatures",
                     MemberKind::property_get,
                     u"",
                     kPointsType,
                     &bp_temperatures),
};

// ---- IDistillationMap ----

constexpr std::array kMapMembers{
    dispatch::property_get<&IDistillationMap::get_CurveCalcOption>(kDispIdCurveCalcOption,
                                                                   u"CurveCalcOption"),
    dispatch::property_put<&IDistillationMap::put_CurveCalcOption>(kDispIdCurveCalcOption,
                                                                   u"CurveCalcOption"),
    dispatch::property_get<&IDistillationMap::get_ErrorCode>(kDispIdErrorCode, u"ErrorCode"),
    dispatch::property_get<&IDistillationMap::get_MessageCode>(kDispIdMessageCode, u"MessageCode"),
    dispatch::property_get<&IDistillationMap::get_Pressure>(kDispIdMapPressure, u"Pressure"),
    dispatch::property_put<&IDistillationMap::put_Pressure>(kDispIdMapPressure, u"Pressure"),
    dispatch::property_get<&IDistillationMap::get_StepSizeCurve>(kDispIdStepSizeCurve,
                                                                 u"StepSizeCurve"),
    dispatch::property_put<&IDistillationMap::put_StepSizeCurve>(kDispIdStepSizeCurve,
                                                                 u"StepSizeCurve"),
    dispatch::property_get<&IDistillationMap::get_StepSizeEnv>(kDispIdStepSizeEnv, u"StepSizeEnv"),
    dispatch::property_put<&IDistillationMap::put_StepSizeEnv>(kDispIdStepSizeEnv, u"StepSizeEnv"),
    dispatch::property_get<&IDistillationMap::get_Temperature>(kDispIdTemperature, u"Temperature"),
    dispatch::property_put<&IDistillationMap::put_Temperature>(kDispIdTemperature, u"Temperature"),
    dispatch::method<&IDistillationMap::ComputeEnvelopeLLE>(
        kDispIdComputeEnvelopeLLE, u"ComputeEnvelopeLLE", u""),
    dispatch::method<&IDistillationMap::ComputeEnvelopeVLLE>(
        kDispIdComputeEnvelopeVLLE, u"ComputeEnvelopeVLLE", u""),
    dispatch::method<&IDistillationMap::ComputeMaterialBalance>(
        kDispIdComputeMaterialBalance,
        u"ComputeMaterialBalance",
        u"lComp bstrOpset lPhase dbPress lMode lConfig vaXfeed dbFflow vaSpec basis vaMol_Wt "
        u"vaIdx vaXdist vaXbot vaRecovDist vaRecovBot vaXdistStream vaXBotStream dbDflow "
        u"dbBflow vaXdecTieline vaYdec dbPhiProd dbTDist dbTBot lErr lMsg lConverg"),
    dispatch::method<&IDistillationMap::GetAzeotropes>(
        kDispIdMapGetAzeotropes,
        u"GetAzeotropes",
        u"nAzeotropes vAzeotropes vTemperature vPhase vStability"),
    dispatch::method<&IDistillationMap::GetBoilingPoint>(
        kDispIdGetBoilingPoint, u"GetBoilingPoint", u"vComposition dbBoilingPoint"),
    dispatch::method<&IDistillationMap::GetCurveLLE>(
        kDispIdGetCurveLLE, u"GetCurveLLE", u"vXCurve"),
    dispatch::method<&IDistillationMap::GetCurveVLLE>(
        kDispIdGetCurveVLLE, u"GetCurveVLLE", u"vXCurve dbPlaitTemp"),
    dispatch::method<&IDistillationMap::GetDistillationBoundary>(
        kDispIdGetDistillationBoundary,
        u"GetDistillationBoundary",
        u"nCurves vDirection vDistillationBoundary"),
    dispatch::method<&IDistillationMap::GetDistillationCurve>(
        kDispIdGetDistillationCurve,
        u"GetDistillationCurve",
        u"vInitPoint nDirection vDistillationCurve"),
    dispatch::method<&IDistillationMap::GetIsovolatilityCurve>(
        kDispIdGetIsovolatilityCurve, u"GetIsovolatilityCurve", u"nCurves vIsovolatilityCurve"),
    dispatch::method<&IDistillationMap::GetNewTieLineLLE>(
        kDispIdGetNewTieLineLLE, u"GetNewTieLineLLE", u"vComposition vX1 vX2"),
    dispatch::method<&IDistillationMap::GetNewTieLineVLLE>(
        kDispIdGetNewTieLineVLLE, u"GetNewTieLineVLLE", u"vComposition vX1 vX2 vY"),
    dispatch::method<&IDistillationMap::GetPureProperties>(
        kDispIdMapGetPureProperties, u"GetPureProperties", u"vPureComp vTemperature vStability"),
    dispatch::method<&IDistillationMap::GetResidueCurve>(
        kDispIdGetResidueCurve, u"GetResidueCurve", u"vInitPoint nDirection vResidueCurve"),
    dispatch::method<&IDistillationMap::GetTieLinesLLE>(
        kDispIdGetTieLinesLLE, u"GetTieLinesLLE", u"vTieline"),
    dispatch::method<&IDistillationMap::GetTieLinesVLLE>(
        kDispIdGetTieLinesVLLE, u"GetTieLinesVLLE", u"vTieline vTiePoints"),
    dispatch::method<&IDistillationMap::SetCalculationOption>(
        kDispIdSetCalculationOption, u"SetCalculationOption", u"nOption dbLLTemp"),
    dispatch::method<&IDistillationMap::SetComponentData>(
        kDispIdMapSetComponentData, u"SetComponentData", u"bstrTop bstrLeft bstrRight"),
    dispatch::method<&IDistillationMap::SetPropertyData>(
        kDispIdMapSetPropertyData, u"SetPropertyData", u"szOpset szVLEModel szLLEModel nPhase"),
    dispatch::method<&IDistillationMap::ComputeFeed>(
        kDispIdComputeFeed,
        u"ComputeFeed",
        u"ncc nComp bstrOpset nPhase dbPres vaFeedStream vaMapping iBasis enthalpy_method "
        u"vaMol_Wt vaX_Feed dbF_flow dbQ dbT_feed n_Basis_Comp vBasis_Comp iErr iMsg"),
    dispatch::method<&IDistillationMap::CreateProductStreams>(
        kDispIdCreateProductStreams,
        u"CreateProductStreams",
        u"ncc nselcomp bstrOpset nPhase dbPres vfeed_stream un_Map vMapping basis mol_wt "
        u"D_Flow x_dist B_Flow x_bot Dist_Stream Bot_Stream"),
    dispatch::method<&IDistillationMap::BV_Design>(
        kDispIdBV_Design,
        u"BV_Design",
        u"nComp bsOpset nPhase dbPressure iConfig iMaxStages iStopCriteria F_flow FeedQual "
        u"vx_Dist D_Flow vx_Bot B_Flow vDecSpec Dec_val r_or_s dbReflux dbReboil dbPhi_Reflux "
        u"vx_Reflux vy_Top iFeasible dbStage_Rect dbStages_Strip iN_Rect vx_rect iN_Strip "
        u"vx_Strip iN_Rect_f vx_Rect_f iN_Strip_f vx_Strip_f iN_Col vStage_Col vx_Col vy_Col "
        u"vT_Col dbV_Rect dbV_Strip dbL_Rect dbL_Strip dbQ_Reb dbQ_Con r_n_Stages r_Feed_Stage "
        u"l1_Spec l2_Spec Comp_List vT_est vX_est vY_est iErr iMsg"),
};

}  // namespace

ENGINE_DISPATCH_DEFINITIONS(CDistil, IDistil, kDistilMembers)
ENGINE_DISPATCH_DEFINITIONS(CAzeotropeSearch, IAzeotropeSearch, kSearchMembers)
ENGINE_DISPATCH_DEFINITIONS(CDistillationMap, IDistillationMap, kMapMembers)

std::span<const core::dispatch::Member> dispatch_members(const platform::IID& iid) noexcept {
    if (iid == IDistil::iid) { return kDistilMembers; }
    if (iid == IAzeotropeSearch::iid) { return kSearchMembers; }
    if (iid == IDistillationMap::iid) { return kMapMembers; }
    if (iid == IPropertyPackage::iid) { return properties::dispatch_members(); }
    return {};
}

}  // namespace engine
