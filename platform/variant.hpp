#pragma once
/// VARIANT: a tagged value of the automation interfaces (numbers, booleans, strings, interface
/// pointers, safe arrays and references to any of these).
#include "platform/bstr.hpp"
#include "platform/export.hpp"
#include "platform/hresult.hpp"
#include "platform/types.hpp"
#include "platform/unknown.hpp"

namespace platform {

struct IDispatch;
struct SAFEARRAY;
struct VARIANT;

using VARTYPE = std::uint16_t;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_DISPATCH = 9;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;  ///< only as array element or by reference
inline constexpr VARTYPE VT_UNKNOWN = 13;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
inline constexpr VARTYPE VT_BYREF = 0x4000;
inline constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

/// The value and its type tag. Which member of the union is live follows from `vt`:
/// VT_BYREF | x holds a pointer to an x (or to a SAFEARRAY* for VT_ARRAY | x) owned elsewhere;
/// VT_ARRAY | x holds a SAFEARRAY of x owned by the variant.
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    WORD wReserved1 = 0;
    WORD wReserved2 = 0;
    WORD wReserved3 = 0;
    union {
        LONGLONG llVal = 0;
        LONG lVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

/// Flags of VariantChangeType (accepted; the conversions below do not depend on them).
inline constexpr WORD VARIANT_NOVALUEPROP = 0x01;
inline constexpr WORD VARIANT_ALPHABOOL = 0x02;

/// Sets VT_EMPTY without looking at the old content (for uninitialised memory).
PLATFORM_API void VariantInit(VARIANT* v) noexcept;
/// Frees what the variant owns (string, interface reference, array) and sets VT_EMPTY.
/// DISP_E_ARRAYISLOCKED for a locked array and DISP_E_BADVARTYPE for an unknown tag (both leave
/// the variant unchanged), E_INVALIDARG for null.
PLATFORM_API HRESULT VariantClear(VARIANT* v) noexcept;
/// Clears `dest`, then makes it an independent copy of `src`: strings and arrays are copied,
/// interfaces get one more reference; references (VT_BYREF) are copied as pointers.
PLATFORM_API HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) noexcept;
/// As VariantCopy, but a reference is replaced by a copy of the value it points to.
PLATFORM_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) noexcept;
/// Converts `src` (dereferenced first) to type `vt` into `dest` (which may be `src`).
/// Targets: VT_EMPTY, VT_I2, VT_I4, VT_I8, VT_R4, VT_R8, VT_BOOL, VT_BSTR, VT_UNKNOWN,
/// VT_DISPATCH, and a copy for the source's own type. Numbers round to nearest, ties to even;
/// booleans are -1/0 as numbers and "True"/"False" as text; text is read in the "C" locale,
/// numbers are written in the shortest form that reads back exactly. Results:
/// DISP_E_TYPEMISMATCH for a conversion that does not exist or text that is not a number,
/// DISP_E_OVERFLOW for a value outside the target's range (NaN included),
/// E_OUTOFMEMORY; on failure `dest` is left unchanged.
PLATFORM_API HRESULT VariantChangeType(VARIANT* dest,
                                       const VARIANT* src,
                                       WORD flags,
                                       VARTYPE vt) noexcept;

/// The variant behind any number of VT_BYREF | VT_VARIANT indirections (`v` itself otherwise);
/// null for a null argument or reference.
PLATFORM_API const VARIANT* variant_target(const VARIANT* v) noexcept;

/// Owner of a VARIANT, cleared on destruction. Copying throws std::bad_alloc when out of memory.
class PLATFORM_API CComVariant : public VARIANT {
public:
    CComVariant() noexcept = default;
    CComVariant(double value) noexcept;        // NOLINT: implicit, as for a value argument
    CComVariant(std::int32_t value) noexcept;  // NOLINT
    CComVariant(bool value) noexcept;          // NOLINT
    /// Text (VT_BSTR). The pointer overloads keep a string literal from becoming a bool.
    explicit CComVariant(std::u16string_view text);
    explicit CComVariant(const OLECHAR* text) : CComVariant(std::u16string_view(text)) {}
    /// Narrow (UTF-8) text as VT_BSTR.
    explicit CComVariant(const char* utf8);
    CComVariant(const CComVariant& other);
    CComVariant(CComVariant&& other) noexcept;
    CComVariant& operator=(const CComVariant& other);
    CComVariant& operator=(CComVariant&& other) noexcept;
    ~CComVariant();

    /// Frees the content and hands out the variant for an [out] argument.
    VARIANT* out() noexcept;
    /// Gives the content to `dest` (which must be initialised) and becomes empty.
    HRESULT Detach(VARIANT* dest) noexcept;
};

}  // namespace platform
