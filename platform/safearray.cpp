#include "platform/safearray.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace platform {
namespace {

ULONG element_size(VARTYPE vt) {
    switch (vt) {
        case VT_R8:
            return sizeof(double);
        case VT_I4:
            return sizeof(std::int32_t);
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

// Element count of a descriptor, or nothing when it (times the element size) is too large.
bool checked_count(UINT dims, const SAFEARRAYBOUND* bounds, ULONG elem, std::size_t* count) {
    std::size_t n = 1;
    for (UINT d = 0; d < dims; ++d) {
        const std::size_t e = bounds[d].cElements;
        if (e != 0 && n > kSafeArrayMaxBytes / elem / e) { return false; }
        n *= e;
    }
    *count = n;
    return true;
}

// Storage position of an index vector (first dimension fastest), or -1 when out of bounds.
std::ptrdiff_t position_of(const SAFEARRAY* psa, const LONG* idx) {
    std::ptrdiff_t pos = 0;
    std::ptrdiff_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const std::int64_t offset = std::int64_t{idx[d]} - psa->rgsabound[d].lLbound;
        if (offset < 0 || offset >= std::int64_t{psa->rgsabound[d].cElements}) { return -1; }
        pos += static_cast<std::ptrdiff_t>(offset) * stride;
        stride *= static_cast<std::ptrdiff_t>(psa->rgsabound[d].cElements);
    }
    return pos;
}

void free_elements(SAFEARRAY* psa, std::size_t count) {
    if (psa->vt == VT_BSTR) {
        auto* p = static_cast<BSTR*>(psa->pvData);
        for (std::size_t k = 0; k < count; ++k) { SysFreeString(p[k]); }
    } else if (psa->vt == VT_VARIANT) {
        auto* p = static_cast<VARIANT*>(psa->pvData);
        for (std::size_t k = 0; k < count; ++k) { VariantClear(&p[k]); }
    }
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) noexcept {
    const ULONG elem = element_size(vt);
    if (elem == 0 || cDims < 1 || cDims > kSafeArrayMaxDims || !rgsabound) { return nullptr; }
    for (UINT d = 0; d < cDims; ++d) {
        // The upper bound lLbound + cElements - 1 must be a LONG as well; for an empty
        // dimension it is lLbound - 1, which does not exist below the smallest LONG.
        const std::int64_t ub = std::int64_t{rgsabound[d].lLbound} + rgsabound[d].cElements - 1;
        if (ub > std::numeric_limits<LONG>::max() || ub < std::numeric_limits<LONG>::min()) {
            return nullptr;
        }
    }
    std::size_t count = 0;
    if (!checked_count(cDims, rgsabound, elem, &count)) { return nullptr; }
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!psa) { return nullptr; }
    // calloc gives numbers 0, null strings and VT_EMPTY variants (VT_EMPTY is 0) at once.
    if (count > 0) {
        psa->pvData = std::calloc(count, elem);
        if (!psa->pvData) {
            std::free(psa);
            return nullptr;
        }
    }
    psa->cDims = static_cast<USHORT>(cDims);
    psa->cbElements = elem;
    psa->vt = vt;
    for (UINT d = 0; d < cDims; ++d) { psa->rgsabound[d] = rgsabound[d]; }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) noexcept {
    const SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept {
    if (!psa) { return S_OK; }
    if (psa->cLocks > 0) { return DISP_E_ARRAYISLOCKED; }
    if (psa->pvData) {
        free_elements(psa, safe_array_element_count(psa));
        std::free(psa->pvData);
    }
    std::free(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut) noexcept {
    if (!ppsaOut) { return E_INVALIDARG; }
    *ppsaOut = nullptr;
    if (!psa) { return S_OK; }
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound);
    if (!copy) { return E_OUTOFMEMORY; }
    const std::size_t count = safe_array_element_count(psa);
    if (psa->vt == VT_BSTR) {
        const auto* from = static_cast<const BSTR*>(psa->pvData);
        auto* to = static_cast<BSTR*>(copy->pvData);
        for (std::size_t k = 0; k < count; ++k) {
            if (from[k] && !(to[k] = SysAllocStringLen(from[k], SysStringLen(from[k])))) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
        }
    } else if (psa->vt == VT_VARIANT) {
        const auto* from = static_cast<const VARIANT*>(psa->pvData);
        auto* to = static_cast<VARIANT*>(copy->pvData);
        for (std::size_t k = 0; k < count; ++k) {
            const HRESULT hr = VariantCopy(&to[k], &from[k]);
            if (FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
        }
    } else if (count > 0) {
        std::memcpy(copy->pvData, psa->pvData, count * psa->cbElements);
    }
    *ppsaOut = copy;
    return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* psa) noexcept { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(const SAFEARRAY* psa) noexcept { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* pvt) noexcept {
    if (!psa || !pvt) { return E_INVALIDARG; }
    *pvt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound) noexcept {
    if (!psa || !plLbound) { return E_INVALIDARG; }
    if (nDim < 1 || nDim > psa->cDims) { return DISP_E_BADINDEX; }
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound) noexcept {
    if (!psa || !plUbound) { return E_INVALIDARG; }
    if (nDim < 1 || nDim > psa->cDims) { return DISP_E_BADINDEX; }
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound = static_cast<LONG>(std::int64_t{b.lLbound} + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(const SAFEARRAY* psa, const LONG* rgIndices, void* pv) noexcept {
    if (!psa || !rgIndices || !pv) { return E_INVALIDARG; }
    const std::ptrdiff_t pos = position_of(psa, rgIndices);
    if (pos < 0) { return DISP_E_BADINDEX; }
    const char* elem = static_cast<const char*>(psa->pvData) + pos * psa->cbElements;
    if (psa->vt == VT_BSTR) {
        BSTR s = *reinterpret_cast<const BSTR*>(elem);
        BSTR copy = nullptr;
        if (s && !(copy = SysAllocStringLen(s, SysStringLen(s)))) { return E_OUTOFMEMORY; }
        *static_cast<BSTR*>(pv) = copy;
        return S_OK;
    }
    if (psa->vt == VT_VARIANT) {
        auto* out = static_cast<VARIANT*>(pv);
        VariantInit(out);
        return VariantCopy(out, reinterpret_cast<const VARIANT*>(elem));
    }
    std::memcpy(pv, elem, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, const void* pv) noexcept {
    if (!psa || !rgIndices) { return E_INVALIDARG; }
    const std::ptrdiff_t pos = position_of(psa, rgIndices);
    if (pos < 0) { return DISP_E_BADINDEX; }
    char* elem = static_cast<char*>(psa->pvData) + pos * psa->cbElements;
    if (psa->vt == VT_BSTR) {
        const auto* s = static_cast<const OLECHAR*>(pv);
        BSTR copy = nullptr;
        if (s && !(copy = SysAllocStringLen(s, SysStringLen(s)))) { return E_OUTOFMEMORY; }
        auto* slot = reinterpret_cast<BSTR*>(elem);
        SysFreeString(*slot);
        *slot = copy;
        return S_OK;
    }
    if (!pv) { return E_INVALIDARG; }
    if (psa->vt == VT_VARIANT) {
        return VariantCopy(reinterpret_cast<VARIANT*>(elem), static_cast<const VARIANT*>(pv));
    }
    std::memcpy(elem, pv, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData) noexcept {
    if (!psa || !rgIndices || !ppvData) { return E_INVALIDARG; }
    const std::ptrdiff_t pos = position_of(psa, rgIndices);
    if (pos < 0) { return DISP_E_BADINDEX; }
    *ppvData = static_cast<char*>(psa->pvData) + pos * psa->cbElements;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept {
    if (!psa) { return E_INVALIDARG; }
    if (psa->cLocks == std::numeric_limits<ULONG>::max()) { return E_UNEXPECTED; }
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept {
    if (!psa) { return E_INVALIDARG; }
    if (psa->cLocks == 0) { return E_UNEXPECTED; }
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) noexcept {
    if (!psa || !ppvData) { return E_INVALIDARG; }
    const HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr)) { return hr; }
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept { return SafeArrayUnlock(psa); }

std::size_t safe_array_element_count(const SAFEARRAY* psa) noexcept {
    if (!psa || psa->cDims == 0) { return 0; }
    std::size_t n = 1;
    for (UINT d = 0; d < psa->cDims; ++d) { n *= psa->rgsabound[d].cElements; }
    return n;
}

}  // namespace platform
