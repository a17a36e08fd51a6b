#include "engine/azeotrope_search.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "azeotrope/pure_property.hpp"
#include "engine/core/error_report.hpp"
#include "engine/core/util_funcs.hpp"
#include "engine/detail/option_set.hpp"
#include "engine/module.hpp"

namespace engine {

using namespace platform;

namespace {

constexpr std::size_t kCapacity = static_cast<std::size_t>(CAzeotropeSearch::kCapacity);

HRESULT report(std::string_view text, HRESULT status) noexcept {
    return core::report_error(CAzeotropeSearch::clsid, text, IAzeotropeSearch::iid, status);
}

/// The strings of a 1-D string array (also behind a reference); nothing for anything else.
std::optional<std::vector<BSTR>> string_elements(const VARIANT& v) {
    const VARIANT* target = variant_target(&v);
    if (!target) { return std::nullopt; }
    SAFEARRAY* psa = nullptr;
    if (target->vt == (VT_ARRAY | VT_BSTR)) {
        psa = target->parray;
    } else if (target->vt == (VT_BYREF | VT_ARRAY | VT_BSTR) && target->pparray) {
        psa = *target->pparray;
    }
    if (!psa || SafeArrayGetDim(psa) != 1) { return std::nullopt; }
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(psa, 1, &lower)) || FAILED(SafeArrayGetUBound(psa, 1, &upper))) {
        return std::nullopt;
    }
    std::vector<BSTR> names;
    for (LONG i = lower; i <= upper; ++i) {
        BSTR name = nullptr;
        if (FAILED(SafeArrayGetElement(psa, &i, &name))) {
            for (BSTR b : names) { SysFreeString(b); }
            return std::nullopt;
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

struct CAzeotropeSearch::Impl {
    std::vector<std::int64_t> idx;  // m_pnIdxVector
    bool idx_set = false;
    std::int64_t n_azeotropes = 0;  // m_nAzeotropes
    std::vector<double> azeo_comp;  // kCapacity x n, azeotrope k at k n
    std::vector<double> azeo_temp;
    std::vector<std::int64_t> azeo_phase, azeo_stability, azeo_ncomp;
    std::vector<double> pure_comp;  // n x n identity
    std::vector<double> pure_temp;
    std::vector<std::int64_t> pure_stability;
    std::vector<double> k_infinite;     // (i, j) at j n + i
    std::vector<double> singular_comp;  // n x (n + kCapacity), point p at p n
    std::vector<std::int64_t> singular_stability;
    std::vector<double> singular_temp;
    std::int64_t n = 0;  // m_nComp
    double pressure = 0.0;
    std::int64_t phase = 2;
    detail::OptionSetField opset{};
    CComBSTR lle_model, vle_model;
    std::int64_t err = 0;  // m_nErr
    // Bookkeeping of the buffers: the component count they were sized for (-1: none), and
    // whether they still describe the current components and hold a search.
    std::int64_t sized_for = -1;
    bool current = false;
    bool searched = false;

    void allocate(std::int64_t count) {
        const auto c = static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
        azeo_comp.assign(kCapacity * c, 0.0);
        azeo_temp.assign(kCapacity, 0.0);
        azeo_phase.assign(kCapacity, 0);
        azeo_stability.assign(kCapacity, -1);
        azeo_ncomp.assign(kCapacity, 0);
        pure_comp.assign(c * c, 0.0);
        pure_temp.assign(c, -1.0);
        pure_stability.assign(c, -1);
        k_infinite.assign(c * c, 0.0);
        singular_comp.assign(c * (c + kCapacity), 0.0);
        singular_stability.assign(c + kCapacity, -1);
        singular_temp.assign(c + kCapacity, 0.0);
        sized_for = count;
        current = true;
        searched = false;
    }

    void fill_identity() {
        const auto c = static_cast<std::size_t>(sized_for);
        std::fill(pure_comp.begin(), pure_comp.end(), 0.0);
        for (std::size_t i = 0; i < c; ++i) { pure_comp[i * c + i] = 1.0; }
    }

    void components_changed() noexcept {
        current = false;
        searched = false;
    }
};

CAzeotropeSearch::CAzeotropeSearch() : impl_(std::make_unique<Impl>()) {}

CAzeotropeSearch::~CAzeotropeSearch() = default;

HRESULT CAzeotropeSearch::ComputeAzeotropes() {
    Impl& s = *impl_;
    s.n_azeotropes = CAzeotropeSearch::kCapacity;
    bool failed = false;
    try {
        // Asked before GetPureProperties sized them for this count: size them now.
        if (s.sized_for != s.n || !s.current) { s.allocate(s.n); }
        const std::int64_t* idx = s.idx_set ? s.idx.data() : nullptr;
        Azeo_Search(&s.n, &s.pressure, &s.phase, s.opset.data(), idx, &s.n_azeotropes,
                    s.azeo_comp.data(), s.azeo_temp.data(), s.azeo_ncomp.data(),
                    s.azeo_phase.data(), s.azeo_stability.data(), s.singular_comp.data(),
                    s.singular_temp.data(), s.singular_stability.data(), &s.err,
                    detail::kOptionSetFieldLength);
        s.n_azeotropes = std::clamp<std::int64_t>(s.n_azeotropes, 0, CAzeotropeSearch::kCapacity);
        s.searched = true;
    } catch (...) {
        failed = true;
        s.n_azeotropes = 0;
    }
    if (s.sized_for >= 0) { s.fill_identity(); }
    if (failed) {
        return report("AzeotropeSearch::ComputeAzeotropes. Error calling Fortran routine",
                      E_TARN_AZEOTROPE_ROUTINE);
    }
    return S_OK;
}

HRESULT CAzeotropeSearch::get_Pressure(DOUBLE* pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->pressure;
    return S_OK;
}

HRESULT CAzeotropeSearch::put_Pressure(DOUBLE newVal) {
    impl_->pressure = newVal;
    return S_OK;
}

HRESULT CAzeotropeSearch::GetAzeotropes(LONG* nAzeotropes,
                                        VARIANT* vAzeotropes,
                                        VARIANT* vTemperature,
                                        VARIANT* vPhase,
                                        VARIANT* vStability) {
    if (!nAzeotropes) { return E_POINTER; }
    const Impl& s = *impl_;
    // The buffers describe the search that filled them; never read them for another count.
    const std::int64_t count = s.sized_for > 0 ? s.n_azeotropes : 0;
    *nAzeotropes = static_cast<LONG>(count);
    if (count == 0) { return S_OK; }
    if (!vAzeotropes || !vTemperature || !vPhase || !vStability) { return E_POINTER; }
    core::CUtilFuncs util;
    const std::int64_t n = s.sized_for;
    const std::array<std::int64_t, 2> matrix{count, n};
    const std::array<std::int64_t, 2> rows{0, n};
    const std::array<std::int64_t, 1> vector{count};
    if (!util.CreateSafeArray(vAzeotropes, s.azeo_comp, 2, matrix, rows) ||
        !util.CreateSafeArray(vTemperature, s.azeo_temp, 1, vector) ||
        !util.CreateIntSafeArray(vPhase, std::span<const std::int64_t>(s.azeo_phase), 1, vector) ||
        !util.CreateIntSafeArray(vStability, std::span<const std::int64_t>(s.azeo_stability), 1,
                                 vector)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CAzeotropeSearch::GetPureProperties(VARIANT* vComposition,
                                            VARIANT* vTemperature,
                                            VARIANT* vStability) {
    Impl& s = *impl_;
    if (s.n == 0) { return S_OK; }
    if (!s.idx_set) { return report("IdxVector not set", E_TARN_IDX_VECTOR); }
    if (!vComposition || !vTemperature || !vStability) { return E_POINTER; }
    s.allocate(s.n);
    s.fill_identity();
    try {
        PURE_PROPERTY(&s.n, &s.pressure, s.idx.data(), s.opset.data(), &s.phase, s.pure_temp.data(),
                      s.pure_stability.data(), s.k_infinite.data(), &s.err,
                      detail::kOptionSetFieldLength);
    } catch (...) { return report("Error calling PURE_PROPERTY", E_TARN_NUMERICAL_ROUTINE); }
    // The singular points start as the pure components alone, so that whoever reads them before
    // a search finds the pure data rather than leftovers of another mixture.
    const auto n = static_cast<std::size_t>(s.n);
    std::copy(s.pure_comp.begin(), s.pure_comp.end(), s.singular_comp.begin());
    std::copy(s.pure_temp.begin(), s.pure_temp.end(), s.singular_temp.begin());
    std::copy(s.pure_stability.begin(), s.pure_stability.end(), s.singular_stability.begin());

    core::CUtilFuncs util;
    const auto count = static_cast<std::int64_t>(n);
    const std::array<std::int64_t, 2> matrix{count, count};
    const std::array<std::int64_t, 1> vector{count};
    if (!util.CreateSafeArray(vComposition, s.pure_comp, 2, matrix) ||
        !util.CreateSafeArray(vTemperature, s.pure_temp, 1, vector) ||
        !util.CreateIntSafeArray(vStability, std::span<const std::int64_t>(s.pure_stability), 1,
                                 vector)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CAzeotropeSearch::SetComponentData(VARIANT vComponents) {
    std::optional<std::vector<BSTR>> names;
    try {
        names = string_elements(vComponents);
    } catch (...) { return E_FAIL; }
    if (!names) { return E_FAIL; }
    struct FreeNames {
        std::vector<BSTR>& list;
        ~FreeNames() {
            for (BSTR b : list) { SysFreeString(b); }
        }
    } free_names{*names};
    IPropertyPackage* package = global_property_package();
    if (!package) {
        // Without a package no name can be looked up; the problem stays as it was.
        return report("Property Package not Initialised", E_TARN_PROPERTY_PACKAGE);
    }
    std::vector<std::int64_t> idx;
    try {
        idx.reserve(names->size());
        for (BSTR name : *names) { idx.push_back(package->GetComponentId(name)); }
    } catch (...) { return E_FAIL; }
    Impl& s = *impl_;
    if (s.n != static_cast<std::int64_t>(idx.size()) || s.idx != idx) { s.components_changed(); }
    s.n = static_cast<std::int64_t>(idx.size());
    s.idx = std::move(idx);
    s.idx_set = true;
    return S_OK;
}

HRESULT CAzeotropeSearch::SetIdxVector(LONGLONG nComp, LONGLONG* IdxVector) {
    if (nComp < 0) { return E_INVALIDARG; }
    if (nComp > 0 && !IdxVector) { return E_POINTER; }
    Impl& s = *impl_;
    std::vector<std::int64_t> idx(IdxVector, IdxVector + nComp);
    if (s.n != nComp || s.idx != idx) { s.components_changed(); }
    s.n = nComp;
    s.idx = std::move(idx);
    s.idx_set = true;
    return S_OK;
}

HRESULT CAzeotropeSearch::SetPropertyData(BSTR bstrOpset,
                                          BSTR bstrVLEModel,
                                          BSTR bstrLLEModel,
                                          LONG nPhase) {
    Impl& s = *impl_;
    s.opset = detail::option_set_field(bstrOpset);  // null: an empty name
    s.vle_model = CComBSTR(bstrVLEModel);
    s.lle_model = CComBSTR(bstrLLEModel);
    s.phase = nPhase;
    return S_OK;
}

HRESULT CAzeotropeSearch::get_NoAzeotropes(LONG* pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = static_cast<LONG>(impl_->n_azeotropes);
    return S_OK;
}

HRESULT CAzeotropeSearch::get_CompositionMatrix(DOUBLE** pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->sized_for > 0 ? impl_->singular_comp.data() : nullptr;
    return S_OK;
}

HRESULT CAzeotropeSearch::get_StabilityIndex(LONGLONG** pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->sized_for > 0 ? impl_->singular_stability.data() : nullptr;
    return S_OK;
}

HRESULT CAzeotropeSearch::get_BPTemperatures(DOUBLE** pVal) {
    if (!pVal) { return E_POINTER; }
    *pVal = impl_->sized_for > 0 ? impl_->singular_temp.data() : nullptr;
    return S_OK;
}

std::int64_t CAzeotropeSearch::component_count() const noexcept { return impl_->n; }

std::span<const std::int64_t> CAzeotropeSearch::component_indices() const noexcept {
    return impl_->idx;
}

std::int64_t CAzeotropeSearch::error_indicator() const noexcept { return impl_->err; }

std::span<const std::int64_t> CAzeotropeSearch::azeotrope_component_counts() const noexcept {
    const auto count = static_cast<std::size_t>(impl_->sized_for > 0 ? impl_->n_azeotropes : 0);
    return std::span<const std::int64_t>(impl_->azeo_ncomp).first(count);
}

std::span<const double> CAzeotropeSearch::k_infinite() const noexcept { return impl_->k_infinite; }

bool CAzeotropeSearch::singular_points_valid(std::int64_t n, bool searched) const noexcept {
    const Impl& s = *impl_;
    return n > 0 && s.sized_for == n && s.n == n && s.current && (!searched || s.searched);
}

HRESULT CAzeotropeSearch::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IAzeotropeSearch::iid) ? S_OK : S_FALSE;
}

}  // namespace engine
