#include "engine/distil.hpp"

#include <fmt/format.h>

#include "engine/azeotrope_search.hpp"
#include "engine/core/error_report.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/detail/module_state.hpp"
#include "engine/distillation_map.hpp"

namespace engine {

using namespace platform;

namespace {

HRESULT report(std::string_view text, HRESULT status) noexcept {
    return core::report_error(CDistil::clsid, text, IDistil::iid, status);
}

/// Hands out a member with one more reference (null stays null).
template <class I>
HRESULT hand_out(const CComPtr<I>& member, I** pVal) noexcept {
    if (!pVal) { return E_POINTER; }
    *pVal = member.get();
    if (*pVal) { (*pVal)->AddRef(); }
    return S_OK;
}

}  // namespace

struct CDistil::Impl {
    core::CUtilFuncs utility;  // the "TMP" directory of the trace points
    CComBSTR current_file;     // null until InitFromSimpdfFile names a file
    CComPtr<IDistillationMap> map;
    CComPtr<IPropertyPackage> property_package;
    CComPtr<IAzeotropeSearch> azeotrope_search;
};

CDistil::CDistil() : impl_(std::make_unique<Impl>()) {
    detail::ModuleState& state = detail::module_state();
    if (!state.module_instance) { state.module_instance = GetModuleHandleA("libTARNDistil.so"); }
    // The package of an earlier root object is no longer the one the process works with.
    state.property_package.Release();
}

HRESULT CDistil::FinalConstruct() {
    detail::ModuleState& state = detail::module_state();
    if (FAILED(properties::create_property_package(IPropertyPackage::iid,
                                                   impl_->property_package.out_void()))) {
        return report("Error instantiating PropertyPackage Object", E_TARN_INSTANTIATION);
    }
    if (state.property_package.get() != impl_->property_package.get()) {
        state.property_package = impl_->property_package;
    }
    if (FAILED(create_instance<CDistillationMap>(IDistillationMap::iid, impl_->map.out_void()))) {
        return report("Error instantiating DistillationMap Object", E_TARN_INSTANTIATION);
    }
    if (FAILED(create_instance<CAzeotropeSearch>(IAzeotropeSearch::iid,
                                                 impl_->azeotrope_search.out_void()))) {
        return report("Error instantiating AzeoTropeSearch Object", E_TARN_INSTANTIATION);
    }
    if (state.azeotrope_search.get() != impl_->azeotrope_search.get()) {
        state.azeotrope_search = impl_->azeotrope_search;
    }
    return S_OK;
}

CDistil::~CDistil() {
    detail::ModuleState& state = detail::module_state();
    state.property_package.Release();
    state.azeotrope_search.Release();
    impl_->azeotrope_search.Release();
    impl_->map.Release();
    impl_->property_package.Release();
}

HRESULT CDistil::get_AzeotropeSearch(IAzeotropeSearch** pVal) {
    const HRESULT hr = hand_out(impl_->azeotrope_search, pVal);
    if (SUCCEEDED(hr)) {
        detail::trace(impl_->utility, "Distil: IAzeotropeSearch requested\n", true);
    }
    return hr;
}

HRESULT CDistil::get_DistillationMap(IDistillationMap** pVal) {
    const HRESULT hr = hand_out(impl_->map, pVal);
    if (SUCCEEDED(hr) && tracing_on()) {
        const unsigned long id = detail::current_thread_id();
        detail::trace(
            impl_->utility,
            fmt::format("Distil::get_DistillationMap Called ** ThreadId = {} (0x{:X})\n", id, id),
            true);
    }
    return hr;
}

HRESULT CDistil::get_PropertyPackage(IPropertyPackage** pVal) {
    const HRESULT hr = hand_out(impl_->property_package, pVal);
    if (SUCCEEDED(hr) && tracing_on()) {
        const unsigned long id = detail::current_thread_id();
        detail::trace(
            impl_->utility,
            fmt::format("Distil::get_PropertyPackage Called ** ThreadId = {} (0x{:X})\n", id, id),
            true);
    }
    return hr;
}

HRESULT CDistil::CloseSimpdfFile() {
    IPropertyPackage* package = impl_->property_package.get();
    if (!package) { return S_OK; }
    LONG valid = 0;
    package->get_IsValid(&valid);
    if (valid == 0) {
        // Nothing was ever opened by this package: the root object gives it up for good.
        impl_->property_package.Release();
        return S_OK;
    }
    package->CloseSimpdfFile(impl_->current_file.get());
    impl_->current_file = CComBSTR(u"");  // out of memory escapes as std::bad_alloc
    return S_OK;
}

HRESULT CDistil::InitFromSimpdfFile(BSTR bstrSimpdfFile) {
    IPropertyPackage* package = impl_->property_package.get();
    if (!package) { return report("Property Package not initialised", E_TARN_PROPERTY_PACKAGE); }
    if (!impl_->current_file.empty()) {
        try {
            if (FAILED(package->CloseSimpdfFile(bstrSimpdfFile))) { return E_FAIL; }
        } catch (...) {
            return report("Error Testing Validity of PropertyPackage!", E_TARN_PROPERTY_PACKAGE);
        }
    }
    if (bstrSimpdfFile && bstrSimpdfFile != impl_->current_file.get()) {
        impl_->current_file = CComBSTR(bstrSimpdfFile);  // out of memory escapes
    }
    HRESULT hr = E_FAIL;
    try {
        hr = package->InitFromSimpdfFile(bstrSimpdfFile);
    } catch (...) {
        return report("Error calling PropertyPackage::InitFromSimpdfFile", E_TARN_PROPERTY_PACKAGE);
    }
    if (SUCCEEDED(hr)) { return S_OK; }
    return report("Failed to initialise properties", E_TARN_PROPERTY_PACKAGE);
}

HRESULT CDistil::SetLogFile(BSTR fname) {
    detail::ModuleState& state = detail::module_state();
    if (!(state.trace_file.has_value() && state.trace_file.wide() == fname)) {
        state.trace_file = core::SharedString(fname);  // out of memory escapes
    }
    state.tracing_on = 1;
    return S_OK;
}

HRESULT CDistil::get_OperatingSystem(LONG* pVal) {
    if (!pVal) { return E_POINTER; }
    // The platform families this property tells apart are all Windows ones; there is no version
    // record to query here, which the classification answers with 0 (and no trace lines).
    *pVal = 0;
    return S_OK;
}

BSTR CDistil::current_file() const noexcept { return impl_->current_file.get(); }

HRESULT CDistil::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IDistil::iid) ? S_OK : S_FALSE;
}

}  // namespace engine
