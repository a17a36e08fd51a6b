// Late binding of the property package: the member table of IPropertyPackage. Every member but
// two gets its row from its own declaration; GetComponentId and Calc_Equillibrium take plain
// memory in process and have hand-written thunks that carry the same data in variants.
#include <array>
#include <vector>

#include "properties/property_package.hpp"

namespace properties {

using namespace platform;
namespace dispatch = engine::core::dispatch;
using dispatch::Arguments;
using dispatch::CallOutcome;
using dispatch::Direction;
using dispatch::MemberKind;
using dispatch::ParamType;

namespace {

IPropertyPackage& package_of(void* object) { return *static_cast<IPropertyPackage*>(object); }

/// The interface returns the index as its status value; late binding returns it as the result.
CallOutcome get_component_id(void* object, Arguments args, VARIANT* result) {
    dispatch::Param<BSTR> component;
    if (const HRESULT hr = component.load(args[0]); FAILED(hr)) { return {hr, 0}; }
    const HRESULT index = package_of(object).GetComponentId(component.get());
    if (FAILED(index)) { return {index, -1}; }
    if (result) {
        result->vt = VT_I4;
        result->lVal = index;
    }
    return {S_OK, -1};
}

/// The arguments of Calc_Equillibrium in declaration order.
enum FlashArgument : int {
    kFlashType,
    kPhase,
    kOptionSet,
    kComponents,
    kIndices,
    kFeed,
    kTemperature,
    kPressure,
    kVapourFraction,
    kY,
    kX,
    kBeta,
    kX1,
    kX2,
    kErrorFlag,
};

template <class P>
bool load(P& param, VARIANT* arg, int position, CallOutcome& outcome) {
    return dispatch::detail::load_argument(param, arg, position, outcome);
}

CallOutcome calc_equillibrium(void* object, Arguments args, VARIANT*) {
    CallOutcome outcome;
    dispatch::Param<BSTR> type, option_set;
    dispatch::Param<LONG> phase, components;
    dispatch::Param<DOUBLE*> temperature, pressure, vapour_fraction, beta;
    dispatch::ArrayOutput y, x, x1, x2;
    dispatch::Param<LONG*> error_flag;
    if (!load(type, args[kFlashType], kFlashType, outcome) ||
        !load(phase, args[kPhase], kPhase, outcome) ||
        !load(option_set, args[kOptionSet], kOptionSet, outcome) ||
        !load(components, args[kComponents], kComponents, outcome)) {
        return outcome;
    }
    // The arrays hold at least nComp entries; the member reads (and writes) that many.
    const LONG n = components.get();
    const std::size_t needed = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (dispatch::detail::is_missing(args[kIndices])) {
        return {DISP_E_PARAMNOTOPTIONAL, kIndices};
    }
    if (dispatch::detail::is_missing(args[kFeed])) { return {DISP_E_PARAMNOTOPTIONAL, kFeed}; }
    std::vector<std::int64_t> indices;
    std::vector<double> feed;
    if (const HRESULT hr = dispatch::read_integers(args[kIndices], indices); FAILED(hr)) {
        return {hr, kIndices};
    }
    if (const HRESULT hr = dispatch::read_doubles(args[kFeed], feed); FAILED(hr)) {
        return {hr, kFeed};
    }
    if (indices.size() < needed) { return {DISP_E_TYPEMISMATCH, kIndices}; }
    if (feed.size() < needed) { return {DISP_E_TYPEMISMATCH, kFeed}; }
    if (!load(temperature, args[kTemperature], kTemperature, outcome) ||
        !load(pressure, args[kPressure], kPressure, outcome) ||
        !load(vapour_fraction, args[kVapourFraction], kVapourFraction, outcome) ||
        !load(y, args[kY], kY, outcome) || !load(x, args[kX], kX, outcome) ||
        !load(beta, args[kBeta], kBeta, outcome) || !load(x1, args[kX1], kX1, outcome) ||
        !load(x2, args[kX2], kX2, outcome) ||
        !load(error_flag, args[kErrorFlag], kErrorFlag, outcome)) {
        return outcome;
    }
    std::vector<double> py(needed), px(needed), px1(needed), px2(needed);
    outcome.status = package_of(object).Calc_Equillibrium(
        type.get(), phase.get(), option_set.get(), n, indices.data(), feed.data(),
        temperature.get(), pressure.get(), vapour_fraction.get(), py.data(), px.data(), beta.get(),
        px1.data(), px2.data(), error_flag.get());
    const bool succeeded = SUCCEEDED(outcome.status);
    temperature.store(succeeded);
    pressure.store(succeeded);
    vapour_fraction.store(succeeded);
    beta.store(succeeded);
    error_flag.store(succeeded);
    // S_FALSE: a flash ran and wrote the compositions; S_OK: none ran, nothing to hand back.
    if (outcome.status == S_FALSE) {
        for (auto [output, values] :
             {std::pair{&y, &py}, std::pair{&x, &px}, std::pair{&x1, &px1}, std::pair{&x2, &px2}}) {
            if (const HRESULT hr = output->store(*values); FAILED(hr)) { return {hr, -1}; }
        }
    }
    return outcome;
}

constexpr std::array<ParamType, 2> kGetComponentIdTypes{{
    {VT_BSTR, Direction::in},
    {VT_I4, Direction::retval},
}};

constexpr std::array<ParamType, 15> kCalcEquillibriumTypes{{
    dispatch::Param<BSTR>::type,
    dispatch::Param<LONG>::type,
    dispatch::Param<BSTR>::type,
    dispatch::Param<LONG>::type,
    {VT_ARRAY | VT_I4, Direction::in},
    {VT_ARRAY | VT_R8, Direction::in},
    dispatch::Param<DOUBLE*>::type,
    dispatch::Param<DOUBLE*>::type,
    dispatch::Param<DOUBLE*>::type,
    dispatch::ArrayOutput::type,
    dispatch::ArrayOutput::type,
    {VT_R8 | VT_BYREF, Direction::out},
    dispatch::ArrayOutput::type,
    dispatch::ArrayOutput::type,
    {VT_I4 | VT_BYREF, Direction::out},
}};

constexpr std::array kPackageMembers{
    dispatch::property_get<&IPropertyPackage::get_IsValid>(kDispIdIsValid, u"IsValid"),
    dispatch::method<&IPropertyPackage::CloseSimpdfFile>(
        kDispIdCloseSimpdfFile, u"CloseSimpdfFile", u"bstrSimpdfFile"),
    dispatch::method<&IPropertyPackage::InitFromSimpdfFile>(
        kDispIdInitFromSimpdfFile, u"InitFromSimpdfFile", u"bstrSimpdfFile"),
    dispatch::method<&IPropertyPackage::GetComponentList>(
        kDispIdGetComponentList, u"GetComponentList", u"vCompIds vName vMolwt"),
    dispatch::method<&IPropertyPackage::GetPropMethodList>(
        kDispIdGetPropMethodList, u"GetPropMethodList", u"vPropMethod"),
    dispatch::property_get<&IPropertyPackage::get_FlashMaxIter>(kDispIdFlashMaxIter,
                                                                u"FlashMaxIter"),
    dispatch::property_put<&IPropertyPackage::put_FlashMaxIter>(kDispIdFlashMaxIter,
                                                                u"FlashMaxIter"),
    dispatch::property_get<&IPropertyPackage::get_FlashTol>(kDispIdFlashTol, u"FlashTol"),
    dispatch::property_put<&IPropertyPackage::put_FlashTol>(kDispIdFlashTol, u"FlashTol"),
    dispatch::custom(kDispIdGetComponentId,
                     u"GetComponentId",
                     MemberKind::method,
                     u"bstrComponent",
                     kGetComponentIdTypes,
                     &get_component_id),
    dispatch::custom(kDispIdCalc_Equillibrium,
                     u"Calc_Equillibrium",
                     MemberKind::method,
                     u"bstrFlashType nPhase bstrOpsetName nComp pnIdxVector pdbFeedComp pdbTemp "
                     u"pdbPressure pdbVFrac pdbY pdbX pdbBeta pdbX_1 pdbX_2 errflg",
                     kCalcEquillibriumTypes,
                     &calc_equillibrium),
};

}  // namespace

std::span<const dispatch::Member> dispatch_members() noexcept { return kPackageMembers; }

}  // namespace properties
