#pragma once
/// SAFEARRAY: a self-describing array of 1 to 4 dimensions with lower bounds, stored contiguously
/// with the first index varying fastest (element (i, j) of an array with n rows lies at storage
/// position j*n + i). Element types: VT_R8, VT_I4, VT_BSTR and VT_VARIANT.
///
/// Dimensions are numbered from 1 in the query functions (SafeArrayGetLBound(psa, 1, ...) is the
/// first, fastest dimension), and index vectors list the first dimension first. Unlike the
/// descriptor some other runtimes use, `rgsabound` here is in that same order; read it through
/// the functions below all the same.
#include <cstddef>

#include "platform/export.hpp"
#include "platform/hresult.hpp"
#include "platform/types.hpp"
#include "platform/variant.hpp"

namespace platform {

struct SAFEARRAYBOUND {
    ULONG cElements = 0;
    LONG lLbound = 0;
};

inline constexpr USHORT kSafeArrayMaxDims = 4;
/// Limit on the storage of one array [bytes]; larger requests fail like an allocation failure.
inline constexpr std::size_t kSafeArrayMaxBytes = std::size_t{1} << 31;

struct SAFEARRAY {
    USHORT cDims = 0;
    USHORT fFeatures = 0;
    ULONG cbElements = 0;  ///< size of one element [bytes]
    ULONG cLocks = 0;
    void* pvData = nullptr;
    VARTYPE vt = VT_EMPTY;  ///< element type
    SAFEARRAYBOUND rgsabound[kSafeArrayMaxDims];
};

/// New zero-filled array (numbers 0, strings null, variants VT_EMPTY), or null for an element
/// type other than the four above, a dimension count outside 1..4, an upper bound that does not
/// fit in 32 bits, a size above kSafeArrayMaxBytes, or no memory. Extent 0 is allowed.
PLATFORM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt,
                                        UINT cDims,
                                        const SAFEARRAYBOUND* rgsabound) noexcept;
/// One-dimensional array of `cElements` elements from lower bound `lLbound`.
PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) noexcept;
/// Frees the array with its strings and variants; S_OK for null, DISP_E_ARRAYISLOCKED while
/// locked (then nothing is freed).
PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* psa) noexcept;
/// Deep copy (strings and variants copied) into *ppsaOut.
PLATFORM_API HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut) noexcept;
/// Dimension count (0 for null).
PLATFORM_API UINT SafeArrayGetDim(const SAFEARRAY* psa) noexcept;
/// Bytes per element (0 for null).
PLATFORM_API UINT SafeArrayGetElemsize(const SAFEARRAY* psa) noexcept;
PLATFORM_API HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* pvt) noexcept;
/// Bounds of dimension nDim (1-based): DISP_E_BADINDEX outside 1..cDims. The upper bound of an
/// empty dimension is its lower bound minus 1.
PLATFORM_API HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound) noexcept;
PLATFORM_API HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound) noexcept;
/// Copies one element out: a number into *pv, a new BSTR into *(BSTR*)pv, a copy into the
/// VARIANT at pv (treated as uninitialised). DISP_E_BADINDEX for an index out of bounds.
PLATFORM_API HRESULT SafeArrayGetElement(const SAFEARRAY* psa,
                                         const LONG* rgIndices,
                                         void* pv) noexcept;
/// Stores one element: a number read from *pv, a copy of the BSTR pv itself (as in the
/// automation runtime, pv *is* the string), or a copy of the VARIANT at pv.
PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY* psa,
                                         const LONG* rgIndices,
                                         const void* pv) noexcept;
/// Pointer to an element's storage.
PLATFORM_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa,
                                         const LONG* rgIndices,
                                         void** ppvData) noexcept;
PLATFORM_API HRESULT SafeArrayLock(SAFEARRAY* psa) noexcept;
PLATFORM_API HRESULT SafeArrayUnlock(SAFEARRAY* psa) noexcept;
/// Locks the array and gives direct access to its storage; pair with SafeArrayUnaccessData.
PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) noexcept;
PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) noexcept;

/// Total number of elements (product of the extents; 0 for null).
PLATFORM_API std::size_t safe_array_element_count(const SAFEARRAY* psa) noexcept;

}  // namespace platform
