#include "engine/distillation_map.hpp"

#include <fmt/format.h>

#include <array>

#include "engine/azeotrope_search.hpp"
#include "engine/core/error_report.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/detail/map_state.hpp"
#include "engine/detail/map_support.hpp"
#include "engine/module.hpp"

namespace engine {

using namespace platform;

namespace {

/// The ProgID under which the map creates a root object when no property package is held: the
/// name of an older registration of the root class. resolve_prog_id looks it up in the class
/// registry first and falls back to the built-in table, which accepts it as an alias. The object
/// itself always comes from this module's creator (the one its class factory uses): the map reads
/// this module's global property package, which a root object served by another registered copy
/// of the library would publish in that copy's globals instead.
constexpr std::string_view kRootProgId = "TARNDistil.Distil.26.0";

template <class T>
HRESULT get_value(const T& field, T* pVal) noexcept {
    if (!pVal) { return E_POINTER; }
    *pVal = field;
    return S_OK;
}

}  // namespace

CDistillationMap::CDistillationMap() : state_(std::make_unique<detail::MapState>()) {}

CDistillationMap::~CDistillationMap() = default;

HRESULT CDistillationMap::get_CurveCalcOption(LONG* pVal) {
    return get_value(state_->curve_option, pVal);
}
HRESULT CDistillationMap::put_CurveCalcOption(LONG newVal) {
    state_->curve_option = newVal;
    return S_OK;
}
HRESULT CDistillationMap::get_ErrorCode(LONG* pVal) {
    return get_value(static_cast<LONG>(state_->error_code), pVal);
}
HRESULT CDistillationMap::get_MessageCode(LONG* pVal) {
    return get_value(static_cast<LONG>(state_->message_code), pVal);
}
HRESULT CDistillationMap::get_Pressure(DOUBLE* pVal) { return get_value(state_->pressure, pVal); }
HRESULT CDistillationMap::put_Pressure(DOUBLE newVal) {
    state_->pressure = newVal;
    return S_OK;
}
HRESULT CDistillationMap::get_StepSizeCurve(DOUBLE* pVal) {
    return get_value(state_->step_curve, pVal);
}
HRESULT CDistillationMap::put_StepSizeCurve(DOUBLE newVal) {
    state_->step_curve = newVal;
    return S_OK;
}
HRESULT CDistillationMap::get_StepSizeEnv(DOUBLE* pVal) {
    return get_value(state_->step_env, pVal);
}
HRESULT CDistillationMap::put_StepSizeEnv(DOUBLE newVal) {
    state_->step_env = newVal;
    return S_OK;
}
HRESULT CDistillationMap::get_Temperature(DOUBLE* pVal) {
    return get_value(state_->temperature, pVal);
}
HRESULT CDistillationMap::put_Temperature(DOUBLE newVal) {
    state_->temperature = newVal;
    return S_OK;
}

HRESULT CDistillationMap::SetComponentData(BSTR bstrTop, BSTR bstrLeft, BSTR bstrRight) {
    try {
        state_->top = CComBSTR(bstrTop);
        state_->left = CComBSTR(bstrLeft);
        state_->right = CComBSTR(bstrRight);
        // Without a property package, a root object made for this call publishes one (and its
        // release at the end clears the global pointers again).
        CComPtr<IDistil> root;
        if (!global_property_package()) {
            const auto root_class = resolve_prog_id(kRootProgId);
            if (!root_class ||
                FAILED(create_engine_object(*root_class, IDistil::iid, root.out_void())) ||
                !global_property_package()) {
                return detail::report_map(detail::kPropertyPackageNotInitialised,
                                          E_TARN_PROPERTY_PACKAGE);
            }
        }
        IPropertyPackage* package = global_property_package();
        state_->idx[0] = package->GetComponentId(state_->top.get());
        state_->idx[1] = package->GetComponentId(state_->left.get());
        state_->idx[2] = package->GetComponentId(state_->right.get());
        return S_OK;
    } catch (...) {
        return detail::report_map("Failed to Set Component Data", E_TARN_SET_COMPONENT_DATA);
    }
}

HRESULT CDistillationMap::SetPropertyData(BSTR szOpset,
                                          BSTR szVLEModel,
                                          BSTR szLLEModel,
                                          LONG nPhase) {
    try {
        state_->opset = detail::option_set_field(szOpset);
        state_->lle_model = CComBSTR(szLLEModel);
        state_->vle_model = CComBSTR(szVLEModel);
    } catch (...) {
        return detail::report_map("Failed to Set Property Data", E_TARN_SET_PROPERTY_DATA);
    }
    state_->phase = nPhase;
    return S_OK;
}

HRESULT CDistillationMap::SetCalculationOption(LONG nOption, DOUBLE dbLLTemp) {
    state_->calculation_option = nOption;
    state_->ll_temperature = dbLLTemp;
    return S_OK;
}

HRESULT CDistillationMap::GetBoilingPoint(VARIANT vComposition, DOUBLE* dbBoilingPoint) {
    IPropertyPackage* package = global_property_package();
    if (!package) {
        return detail::report_map(detail::kPropertyPackageNotInitialised, E_TARN_PROPERTY_PACKAGE);
    }
    core::CUtilFuncs util;
    std::span<double> x;
    if (!util.GetArrayData(&vComposition, &x) ||
        x.size() < static_cast<std::size_t>(state_->component_count)) {
        return detail::report_map(
            "GetBoilingPoint: vComposition is empty or holds fewer than 3 mole fractions",
            E_TARN_UNINITIALISED_VARIANT);
    }
    if (!dbBoilingPoint) { return E_POINTER; }
    const detail::Flash flash =
        detail::map_flash(*state_, "PV", detail::field_text(state_->opset), x, 0.0, 0.0);
    if (flash.errflg != 0) {
        return detail::report_map(
            fmt::format("Calc_Equilibrium returned error {} in GetBoilingPoint", flash.errflg),
            E_TARN_CALC_EQUILIBRIUM);
    }
    *dbBoilingPoint = flash.temperature;
    return S_OK;
}

HRESULT CDistillationMap::GetPureProperties(VARIANT* vPureComp,
                                            VARIANT* vTemperature,
                                            VARIANT* vStability) {
    IAzeotropeSearch* search = global_azeotrope_search();
    if (!search) {
        return detail::report_map("Azeotrope Search object not initialised",
                                  E_TARN_AZEOTROPE_SEARCH);
    }
    try {
        search->put_Pressure(state_->pressure);
        const CComBSTR opset = CComBSTR::from_utf8(detail::field_text(state_->opset));
        search->SetPropertyData(opset, state_->vle_model, state_->lle_model, state_->phase);
        std::array<LONGLONG, 3> idx{state_->idx[0], state_->idx[1], state_->idx[2]};
        search->SetIdxVector(static_cast<LONGLONG>(idx.size()), idx.data());
        const HRESULT hr = search->GetPureProperties(vPureComp, vTemperature, vStability);
        if (FAILED(hr)) {
            return detail::report_map("Error in IAzeotropeSearch::GetPureProperties", hr);
        }
        return S_OK;
    } catch (...) {
        return detail::report_map("IDistillationMap::GetPureProperties",
                                  E_TARN_UNHANDLED_EXCEPTION);
    }
}

HRESULT CDistillationMap::GetAzeotropes(LONG* nAzeotropes,
                                        VARIANT* vAzeotropes,
                                        VARIANT* vTemperature,
                                        VARIANT* vPhase,
                                        VARIANT* vStability) {
    IAzeotropeSearch* search = global_azeotrope_search();
    if (!search) {
        return detail::report_map("Global AzeotropeSearch not instantiated",
                                  E_TARN_AZEOTROPE_ROUTINE);
    }
    const auto step = [](auto&& call, std::string_view text) -> HRESULT {
        try {
            call();
            return S_OK;
        } catch (...) { return detail::report_map(text, E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED); }
    };
    HRESULT hr = step([&] { search->put_Pressure(state_->pressure); },
                      "Unhandled Exception (GetAzeotropes) put_Pressure");
    if (FAILED(hr)) { return hr; }
    hr = step([&] { search->ComputeAzeotropes(); },
              "Unhandled Exception (GetAzeotropes) ComputeAzeotropes");
    if (FAILED(hr)) { return hr; }
    // A result that could not be handed over is the caller's to know about, not a success.
    HRESULT result = S_OK;
    hr = step(
        [&] {
            result =
                search->GetAzeotropes(nAzeotropes, vAzeotropes, vTemperature, vPhase, vStability);
        },
        "Unhandled Exception (GetAzeotropes) GetAzeotropes");
    return FAILED(hr) ? hr : (FAILED(result) ? result : S_OK);
}

std::array<std::int64_t, 3> CDistillationMap::component_indices() const noexcept {
    return state_->idx;
}

std::string CDistillationMap::option_set() const {
    return std::string(detail::field_text(state_->opset));
}

LONG CDistillationMap::phase_count() const noexcept { return state_->phase; }

HRESULT CDistillationMap::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IDistillationMap::iid) ? S_OK : S_FALSE;
}

}  // namespace engine
