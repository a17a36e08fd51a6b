#include "properties/property_package.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "engine/core/error_report.hpp"
#include "engine/core/fixed_field.hpp"
#include "properties/detail/flash_kind.hpp"
#include "properties/detail/host_flash.hpp"
#include "properties/prop_call.hpp"

namespace properties {

using namespace platform;

namespace {

// Field widths of the host's entry points.
constexpr std::size_t kPathField = 256;         // run id, file name, work directory
constexpr std::int64_t kPathFieldLength = 255;  // the length passed with each of them
constexpr std::size_t kIdField = 8;
constexpr std::size_t kNameField = 12;
constexpr std::size_t kFormulaField = 16;
constexpr std::size_t kOptionSetField = 8;
constexpr std::size_t kComponentTextField = 10;

constexpr std::int64_t kMaxComponents = 200;
constexpr std::int64_t kMaxMethods = 20;

// Defaults of the flash settings of Calc_Equillibrium.
constexpr double kDefaultFlashTol = 1e-7;
constexpr LONG kDefaultFlashMaxIter = 99999999;

constexpr std::string_view kPropertyPackageNotInitialized = "PropertyPackage not initialized";
constexpr std::string_view kNoMemoryForResults = "Failed to allocate memory for return parameters";

HRESULT report(std::string_view text, HRESULT status) noexcept {
    return engine::core::report_error(CPropertyPackage::clsid, text, IPropertyPackage::iid, status);
}

std::string trimmed(const char* data, std::size_t length) {
    return std::string(engine::core::trimmed_field(data, static_cast<std::int64_t>(length)));
}

std::string_view trim_blanks(std::string_view text) noexcept {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) { return {}; }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

/// A 1-D array of strings (lower bound 0), or null when it cannot be made.
SAFEARRAY* string_array(const std::vector<std::string>& texts) noexcept {
    SAFEARRAY* psa = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!psa) { return nullptr; }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        BSTR text = SysAllocStringUtf8(texts[i]);
        const LONG index = static_cast<LONG>(i);
        const HRESULT hr = text ? SafeArrayPutElement(psa, &index, text) : E_OUTOFMEMORY;
        SysFreeString(text);
        if (FAILED(hr)) {
            SafeArrayDestroy(psa);
            return nullptr;
        }
    }
    return psa;
}

/// Hands an array to an [in, out] variant, freeing what the variant held.
void assign_array(VARIANT* v, VARTYPE element_type, SAFEARRAY* psa) noexcept {
    if (FAILED(VariantClear(v))) { VariantInit(v); }
    v->vt = static_cast<VARTYPE>(VT_ARRAY | element_type);
    v->parray = psa;
}

}  // namespace

struct CPropertyPackage::Impl {
    explicit Impl(const PropertyLibraryNames& names)
        : loader(names.library, names.borrowed_module) {}

    CPropCall loader;
    LONG valid = 0;
    DOUBLE flash_tol = kDefaultFlashTol;
    LONG flash_max_iter = kDefaultFlashMaxIter;
    std::int64_t component_count = -1;
    std::array<std::array<char, kIdField + 1>, kMaxComponents> component_ids{};
    std::array<std::array<char, 10>, kMaxMethods> method_names{};
    std::int64_t method_count = -1;
    LONG ready = 0;

    void clear_caches() noexcept {
        component_count = -1;
        method_count = -1;
        for (auto& id : component_ids) { id.fill('\0'); }
        for (auto& name : method_names) { name.fill('\0'); }
    }

    void set_ready() noexcept {
        ready = 1;
        // Lists read before the system was ready are empty; they must not outlive it.
        clear_caches();
    }

    bool open(const std::string& file);
};

bool CPropertyPackage::Impl::open(const std::string& file) {
    // The host writes its history and report files into the work directory.
    std::string work_dir = get_environment_variable("TMP").value_or("");
    if (!work_dir.empty()) { work_dir.push_back(kPathSeparator); }

    // The run id names the host's files: the file's short name without its extension.
    std::string run_id;
    if (const auto short_path = short_path_name(file)) {
        const auto slash = short_path->find_last_of(kPathSeparator);
        run_id = slash == std::string::npos ? *short_path : short_path->substr(slash + 1);
        if (const auto dot = run_id.find_last_of('.'); dot != std::string::npos) {
            run_id.resize(dot);
        }
    }
    // A name that does not fit its field would reach the host cut, and the host would open
    // another file (or none) under that name; a zero byte would cut it the same way.
    const bool name_fits = file.size() <= static_cast<std::size_t>(kPathFieldLength) &&
                           file.find('\0') == std::string::npos;
    if (file.empty() || run_id.empty() || !name_fits) {
        MessageBox("Unable to read PDF Filename and/or Runid from " + file, "", MB_TASKMODAL);
        return false;
    }
    // Likewise a cut work directory would put the history file somewhere else: the host could
    // not have opened it where it belongs.
    if (work_dir.size() > static_cast<std::size_t>(kPathFieldLength)) {
        MessageBox("Failed to open history file", "", MB_TASKMODAL);
        return false;
    }
    struct stat file_status {};
    if (::stat(file.c_str(), &file_status) != 0) { return false; }

    if (!loader.entry_points().CALLSETJMP) { return false; }
    // The entry point is taken from the library itself, loaded once more for the call, so that
    // the file is opened by the library that serves the flashes.
    HMODULE library = LoadLibraryA(loader.library_path().c_str());
    if (!library) { return false; }
    const auto callsetjmp = reinterpret_cast<tarn_callsetjmp_fn>(
        CPropCall::find_entry_point(library, "_CALLSETJMP@28"));
    if (!callsetjmp) {
        FreeLibrary(library);
        return false;
    }
    const std::string run_field = engine::core::padded_field(run_id, kPathField);
    const std::string file_field = engine::core::padded_field(file, kPathField);
    const std::string dir_field = engine::core::padded_field(work_dir, kPathField);
    std::int64_t status = -99;
    callsetjmp(run_field.data(), file_field.data(), dir_field.data(), &status, kPathFieldLength,
               kPathFieldLength, kPathFieldLength);
    FreeLibrary(library);

    if (status >= 0) {
        set_ready();
        return true;
    }
    switch (status) {
        case -1:
            MessageBox("Terminal errors in Propcore initialization", "", MB_TASKMODAL);
            break;
        case -2:
            MessageBox("Failed to open history file", "", MB_TASKMODAL);
            break;
        case -3:
            MessageBox("Failed to open report file", "", MB_TASKMODAL);
            break;
        default:
            break;
    }
    return false;
}

CPropertyPackage::CPropertyPackage() : CPropertyPackage(PropertyLibraryNames{}) {}

CPropertyPackage::CPropertyPackage(PropertyLibraryNames names)
    : impl_(std::make_unique<Impl>(names)) {}

CPropertyPackage::~CPropertyPackage() = default;

HRESULT CPropertyPackage::get_IsValid(LONG* pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->valid;
    return S_OK;
}

HRESULT CPropertyPackage::CloseSimpdfFile(BSTR /*bstrSimpdfFile*/) {
    if (const auto closepdf = impl_->loader.entry_points().CLOSEPDF) { closepdf(); }
    impl_->ready = 0;
    impl_->clear_caches();
    return S_OK;
}

HRESULT CPropertyPackage::InitFromSimpdfFile(BSTR bstrSimpdfFile) {
    Impl& s = *impl_;
    try {
        if (!s.loader.Load()) {
            return report("Error initializing CPropServe!", E_TARN_PROPERTY_PACKAGE);
        }
    } catch (...) { return report("Error Loading Propserve class", E_TARN_PROPERTY_PACKAGE); }

    std::string file;
    try {
        file = narrow(bstrSimpdfFile);
    } catch (...) {
        return report("Error Creating BSTR in PropertyPackage:InitFromSimpdfFile",
                      E_TARN_UNHANDLED_EXCEPTION);
    }
    if (s.ready) { return S_OK; }
    if (file.empty()) {
        s.set_ready();
        return S_OK;
    }
    bool opened = false;
    try {
        opened = s.open(file);
    } catch (...) { opened = false; }
    if (!opened) { return report("Error in PP::Initialize", E_TARN_UNHANDLED_EXCEPTION); }
    s.valid = 1;
    return S_OK;
}

HRESULT CPropertyPackage::GetComponentList(VARIANT* vCompIds, VARIANT* vName, VARIANT* vMolwt) {
    Impl& s = *impl_;
    if (!s.ready) {
        return report(kPropertyPackageNotInitialized, E_TARN_PROPERTY_PACKAGE_NOT_INITIALIZED);
    }
    if (!vCompIds || !vName || !vMolwt) { return E_POINTER; }
    try {
        std::vector<std::string> ids, names;
        std::vector<double> molar_masses;
        if (const auto compqry = s.loader.entry_points().CALL_COMPQRY) {
            std::array<char, kIdField> id{};
            std::array<char, kNameField> name{};
            std::array<char, kFormulaField> formula{};
            std::int64_t count = 0, origin = 0, error = 0;
            double molar_mass = 0.0, boiling_point = 0.0;
            const std::int64_t count_mode = 0, entry_mode = 1, no_index = 0;
            compqry(&count_mode, &no_index, &count, id.data(), name.data(), &origin, &molar_mass,
                    &boiling_point, formula.data(), &error, kIdField, kNameField, kFormulaField);
            if (error != 0 || count < 0) { count = 0; }
            if (s.component_count == -1) {
                for (auto& cached : s.component_ids) { cached.fill('\0'); }
            }
            count = std::min(count, kMaxComponents);
            s.component_count = count;
            for (std::int64_t i = 1; i <= count; ++i) {
                error = 0;
                molar_mass = 0.0;
                compqry(&entry_mode, &i, &count, id.data(), name.data(), &origin, &molar_mass,
                        &boiling_point, formula.data(), &error, kIdField, kNameField,
                        kFormulaField);
                if (error != 0) {
                    id.fill(' ');
                    name.fill(' ');
                    molar_mass = 0.0;
                }
                ids.push_back(trimmed(id.data(), id.size()));
                names.push_back(trimmed(name.data(), name.size()));
                molar_masses.push_back(molar_mass);
                auto& cached = s.component_ids[static_cast<std::size_t>(i - 1)];
                cached.fill('\0');
                std::copy_n(ids.back().begin(), std::min(ids.back().size(), kIdField),
                            cached.begin());
            }
        }
        SAFEARRAY* id_array = string_array(ids);
        SAFEARRAY* name_array = string_array(names);
        SAFEARRAY* mw_array =
            SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(molar_masses.size()));
        void* data = nullptr;
        if (!id_array || !name_array || !mw_array || FAILED(SafeArrayAccessData(mw_array, &data))) {
            SafeArrayDestroy(id_array);
            SafeArrayDestroy(name_array);
            SafeArrayDestroy(mw_array);
            return report(kNoMemoryForResults, E_OUTOFMEMORY);
        }
        std::copy(molar_masses.begin(), molar_masses.end(), static_cast<double*>(data));
        SafeArrayUnaccessData(mw_array);
        assign_array(vCompIds, VT_BSTR, id_array);
        assign_array(vName, VT_BSTR, name_array);
        assign_array(vMolwt, VT_R8, mw_array);
        return S_OK;
    } catch (...) { return report(kNoMemoryForResults, E_OUTOFMEMORY); }
}

HRESULT CPropertyPackage::GetPropMethodList(VARIANT* vPropMethod) {
    Impl& s = *impl_;
    if (!vPropMethod) { return E_POINTER; }
    try {
        const auto lsopst = s.loader.entry_points().CALL_LSOPST;
        if (s.method_count == -1 && lsopst) {
            std::int64_t count = 0;
            std::array<char, kOptionSetField> name{};
            const std::int64_t count_mode = 0, entry_mode = 1, no_index = 0;
            lsopst(&count, name.data(), &count_mode, &no_index, kOptionSetField);
            // The cache holds 20 names; the host may offer more, and those are left out.
            count = std::clamp<std::int64_t>(count, 0, kMaxMethods);
            for (std::int64_t i = 1; i <= count; ++i) {
                std::int64_t listed = 0;
                name.fill(' ');
                lsopst(&listed, name.data(), &entry_mode, &i, kOptionSetField);
                auto& cached = s.method_names[static_cast<std::size_t>(i - 1)];
                cached.fill('\0');
                const std::string text = trimmed(name.data(), name.size());
                std::copy_n(text.begin(), std::min(text.size(), cached.size() - 1), cached.begin());
            }
            s.method_count = count;
        }
        std::vector<std::string> names;
        for (std::int64_t i = 0; i < std::max<std::int64_t>(s.method_count, 0); ++i) {
            names.emplace_back(s.method_names[static_cast<std::size_t>(i)].data());
        }
        SAFEARRAY* psa = string_array(names);
        if (!psa) { return report(kNoMemoryForResults, E_OUTOFMEMORY); }
        assign_array(vPropMethod, VT_BSTR, psa);
        return S_OK;
    } catch (...) { return report(kNoMemoryForResults, E_OUTOFMEMORY); }
}

HRESULT CPropertyPackage::get_FlashMaxIter(LONG* pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->flash_max_iter;
    return S_OK;
}

HRESULT CPropertyPackage::put_FlashMaxIter(LONG newVal) {
    impl_->flash_max_iter = newVal;
    return S_OK;
}

HRESULT CPropertyPackage::get_FlashTol(DOUBLE* pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->flash_tol;
    return S_OK;
}

HRESULT CPropertyPackage::put_FlashTol(DOUBLE newVal) {
    impl_->flash_tol = newVal;
    return S_OK;
}

HRESULT CPropertyPackage::GetComponentId(BSTR bstrComponent) {
    const auto ppgidx = impl_->loader.entry_points().CALL_PPGIDX;
    if (!ppgidx) { return 0; }
    try {
        const std::string text = narrow(bstrComponent);
        const std::string_view id = trim_blanks(text);
        // Ids have at most 8 characters. A longer text is no id; cut to the host's field it
        // could name another component ("WATERXYZ1" would find "WATERXYZ").
        if (id.size() > kIdField) { return 0; }
        const std::string field = engine::core::padded_field(id, kComponentTextField);
        std::int64_t index = 0, second = 0;
        ppgidx(field.data(), &index, &second, static_cast<std::int64_t>(kIdField));
        return static_cast<HRESULT>(index);
    } catch (...) { return 0; }
}

HRESULT CPropertyPackage::Calc_Equillibrium(BSTR bstrFlashType,
                                            LONG nPhase,
                                            BSTR bstrOpsetName,
                                            LONG nComp,
                                            LONGLONG* pnIdxVector,
                                            DOUBLE* pdbFeedComp,
                                            DOUBLE* pdbTemp,
                                            DOUBLE* pdbPressure,
                                            DOUBLE* pdbVFrac,
                                            DOUBLE* pdbY,
                                            DOUBLE* pdbX,
                                            DOUBLE* pdbBeta,
                                            DOUBLE* pdbX_1,
                                            DOUBLE* pdbX_2,
                                            LONG* errflg) {
    using detail::kMaxFlashComponents;
    Impl& s = *impl_;
    if (!errflg) { return E_POINTER; }
    // Every early return below leaves the outputs as they were; errflg tells the caller that no
    // result came back (a caller that set it to 0 beforehand must not read success).
    const auto& ep = s.loader.entry_points();
    if (!ep.CALL_GLBOPS || !ep.CALL_PHASEEQ) {
        *errflg = -1;
        return S_OK;
    }
    if (nComp < 0 || nComp > kMaxFlashComponents || !pdbTemp || !pdbPressure || !pdbVFrac ||
        !pdbBeta ||
        (nComp > 0 && (!pnIdxVector || !pdbFeedComp || !pdbY || !pdbX || !pdbX_1 || !pdbX_2))) {
        *errflg = -1;
        return S_OK;
    }

    detail::HostFlashSettings settings;
    try {
        std::array<char, kOptionSetField + 1> global_name{};
        ep.CALL_GLBOPS(&settings.option_set, global_name.data());
        const std::string name = narrow(bstrOpsetName);
        if (ep.CALL_FIOPST && !name.empty()) {
            std::array<char, kOptionSetField> field{};
            rto_str2int_c(field.data(), name.c_str(), kOptionSetField);
            std::int64_t index = 0;
            ep.CALL_FIOPST(field.data(), &index);
            if (index != 0) {
                settings.option_set = index;
            } else {
                ep.CALL_GLBOPS(&settings.option_set, global_name.data());
            }
        }
    } catch (...) {
        MessageBox("Error calling callfiopst", "TARNDistil:PP:Calc_Equilibrium");
        *errflg = -1;
        return S_OK;
    }

    try {
        detail::HostFlashWork work;
        work.n = nComp;
        std::copy_n(pnIdxVector, nComp, work.components.begin());
        std::copy_n(pdbFeedComp, nComp, work.z.begin());

        const auto spec =
            detail::flash_specification(narrow(bstrFlashType), *pdbTemp, *pdbPressure, *pdbVFrac);
        if (!spec) {
            *errflg = -1;
            return S_OK;
        }
        if (detail::is_missing(spec->first) || detail::is_missing(spec->second) ||
            (nComp > 0 && detail::is_missing(work.z[0]))) {
            *errflg = -1;
            return S_OK;
        }
        settings.max_iterations = s.flash_max_iter;
        settings.tolerance = s.flash_tol;
        settings.history_level = 4;
        settings.terminal_level = 4;
        work.temperature = *pdbTemp;
        work.pressure = *pdbPressure;
        work.vapour_fraction = *pdbVFrac;
        detail::run_host_flash(ep.CALL_PHASEEQ, *spec, nPhase, settings, work);

        *pdbTemp = work.temperature;
        *pdbPressure = work.pressure;
        *pdbVFrac = work.vapour_fraction;
        *pdbBeta = work.beta;
        std::copy_n(work.x.begin(), nComp, pdbX);
        std::copy_n(work.y.begin(), nComp, pdbY);
        std::copy_n(work.x1.begin(), nComp, pdbX_1);
        std::copy_n(work.x2.begin(), nComp, pdbX_2);
        *errflg = static_cast<LONG>(work.error);
        return S_FALSE;
    } catch (...) {
        MessageBox("Error calling pflash!", "TARNDistil");
        *errflg = -1;
        return S_OK;
    }
}

HRESULT CPropertyPackage::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IPropertyPackage::iid) ? S_OK : S_FALSE;
}

HRESULT CPropertyPackage::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) { return E_POINTER; }
    *pctinfo = 0;
    return S_OK;
}

HRESULT CPropertyPackage::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) {
    if (ppTInfo) { *ppTInfo = nullptr; }
    return E_NOTIMPL;
}

HRESULT CPropertyPackage::GetIDsOfNames(
    REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID /*lcid*/, DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) { return DISP_E_UNKNOWNINTERFACE; }
    return engine::core::dispatch::ids_of_names(dispatch_members(), rgszNames, cNames, rgDispId);
}

HRESULT CPropertyPackage::Invoke(DISPID dispIdMember,
                                 REFIID riid,
                                 LCID /*lcid*/,
                                 WORD wFlags,
                                 DISPPARAMS* pDispParams,
                                 VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo,
                                 UINT* puArgErr) {
    return engine::core::dispatch::invoke(dispatch_members(), clsid,
                                          static_cast<IPropertyPackage*>(this), dispIdMember, riid,
                                          wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

HRESULT create_property_package(REFIID riid, void** ppv) noexcept {
    return create_instance<CPropertyPackage>(riid, ppv);
}

HRESULT create_property_package(REFIID riid,
                                void** ppv,
                                const PropertyLibraryNames& names) noexcept {
    return create_instance<CPropertyPackage>(riid, ppv, names);
}

}  // namespace properties
