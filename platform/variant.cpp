#include "platform/variant.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/dispatch.hpp"
#include "platform/safearray.hpp"

namespace platform {
namespace {

// Deepest chain of VT_BYREF | VT_VARIANT we follow; a longer one is treated as a cycle.
constexpr int kMaxIndirections = 16;

bool is_array_element_type(VARTYPE base) {
    return base == VT_R8 || base == VT_I4 || base == VT_BSTR || base == VT_VARIANT;
}

bool is_scalar_type(VARTYPE base) {
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
        case VT_ERROR:
            return true;
        default:
            return false;
    }
}

bool valid_vt(VARTYPE vt) {
    if (vt & ~(VT_ARRAY | VT_BYREF | VT_TYPEMASK)) { return false; }
    const VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_ARRAY) { return is_array_element_type(base); }
    if (vt & VT_BYREF) { return base == VT_VARIANT || (is_scalar_type(base) && base > VT_NULL); }
    return is_scalar_type(base);
}

// Copies what `src` holds into the uninitialised `out` (strings and arrays duplicated,
// interfaces referenced once more, references copied as pointers).
HRESULT copy_into(VARIANT* out, const VARIANT& src) noexcept {
    VARIANT tmp = src;
    if (!(src.vt & VT_BYREF)) {
        if (src.vt & VT_ARRAY) {
            tmp.parray = nullptr;
            if (src.parray) {
                const HRESULT hr = SafeArrayCopy(src.parray, &tmp.parray);
                if (FAILED(hr)) { return hr; }
            }
        } else if (src.vt == VT_BSTR) {
            if (src.bstrVal) {
                tmp.bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
                if (!tmp.bstrVal) { return E_OUTOFMEMORY; }
            }
        } else if (src.vt == VT_UNKNOWN || src.vt == VT_DISPATCH) {
            if (src.punkVal) { src.punkVal->AddRef(); }
        }
    }
    *out = tmp;
    return S_OK;
}

// A shallow, non-reference view of the value `src` stands for (nothing is owned by the view).
HRESULT dereference(const VARIANT* src, VARIANT* view) noexcept {
    const VARIANT* s = variant_target(src);
    if (!s) { return E_INVALIDARG; }
    if (!valid_vt(s->vt)) { return DISP_E_BADVARTYPE; }
    *view = *s;
    if (!(s->vt & VT_BYREF)) { return S_OK; }
    if (!s->byref) { return E_INVALIDARG; }
    view->vt = s->vt & ~VT_BYREF;
    view->llVal = 0;
    if (view->vt & VT_ARRAY) {
        view->parray = *s->pparray;
        return S_OK;
    }
    switch (view->vt) {
        case VT_I2:
            view->iVal = *s->piVal;
            break;
        case VT_I4:
            view->lVal = *s->plVal;
            break;
        case VT_I8:
            view->llVal = *s->pllVal;
            break;
        case VT_R4:
            view->fltVal = *s->pfltVal;
            break;
        case VT_R8:
            view->dblVal = *s->pdblVal;
            break;
        case VT_BOOL:
            view->boolVal = *s->pboolVal;
            break;
        case VT_ERROR:
            view->scode = *s->pscode;
            break;
        case VT_BSTR:
            view->bstrVal = *s->pbstrVal;
            break;
        case VT_UNKNOWN:
            view->punkVal = *s->ppunkVal;
            break;
        case VT_DISPATCH:
            view->pdispVal = *s->ppdispVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// A number on its way between types: exact integers stay integers.
struct Number {
    bool integral = true;
    std::int64_t i = 0;
    double d = 0.0;
};

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) { return {}; }
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) { return false; }
    for (std::size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'A' && x <= 'Z') { x = static_cast<char>(x - 'A' + 'a'); }
        if (y >= 'A' && y <= 'Z') { y = static_cast<char>(y - 'A' + 'a'); }
        if (x != y) { return false; }
    }
    return true;
}

HRESULT parse_number(BSTR text, bool allow_boolean_words, Number* out) {
    const std::string narrow_text = narrow(text);
    std::string_view s = trim(narrow_text);
    if (allow_boolean_words) {
        if (iequals(s, "true") || iequals(s, "false")) {
            *out = Number{true, iequals(s, "true") ? -1 : 0, 0.0};
            return S_OK;
        }
    }
    if (s.size() > 1 && s[0] == '+' && s[1] != '-' && s[1] != '+') { s.remove_prefix(1); }
    if (s.empty()) { return DISP_E_TYPEMISMATCH; }
    const char* end = s.data() + s.size();
    std::int64_t iv = 0;
    auto ri = std::from_chars(s.data(), end, iv);
    if (ri.ec == std::errc() && ri.ptr == end) {
        *out = Number{true, iv, 0.0};
        return S_OK;
    }
    double dv = 0.0;
    auto rd = std::from_chars(s.data(), end, dv, std::chars_format::general);
    if (rd.ptr != end) { return DISP_E_TYPEMISMATCH; }
    if (rd.ec == std::errc::result_out_of_range) { return DISP_E_OVERFLOW; }
    // The text forms "inf" and "nan" are not numbers a client means to send.
    if (rd.ec != std::errc() || !std::isfinite(dv)) { return DISP_E_TYPEMISMATCH; }
    *out = Number{false, 0, dv};
    return S_OK;
}

HRESULT to_number(const VARIANT& v, bool boolean_target, Number* out) {
    switch (v.vt) {
        case VT_EMPTY:
            *out = Number{};
            return S_OK;
        case VT_I2:
            *out = Number{true, v.iVal, 0.0};
            return S_OK;
        case VT_I4:
            *out = Number{true, v.lVal, 0.0};
            return S_OK;
        case VT_I8:
            *out = Number{true, v.llVal, 0.0};
            return S_OK;
        case VT_BOOL:
            *out = Number{true, v.boolVal ? -1 : 0, 0.0};
            return S_OK;
        case VT_R4:
            *out = Number{false, 0, v.fltVal};
            return S_OK;
        case VT_R8:
            *out = Number{false, 0, v.dblVal};
            return S_OK;
        case VT_BSTR:
            return parse_number(v.bstrVal, boolean_target, out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Rounds to an integer in [lo, hi]: nearest, ties to even (the default rounding mode).
HRESULT to_integer(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
    if (n.integral) {
        if (n.i < lo || n.i > hi) { return DISP_E_OVERFLOW; }
        *out = n.i;
        return S_OK;
    }
    if (!std::isfinite(n.d)) { return DISP_E_OVERFLOW; }
    const double r = std::nearbyint(n.d);
    // hi + 1 is a power of two for every target, so the comparison below is exact.
    if (r < static_cast<double>(lo) || r >= static_cast<double>(hi) + 1.0) {
        return DISP_E_OVERFLOW;
    }
    *out = static_cast<std::int64_t>(r);
    return S_OK;
}

template <class T>
HRESULT format_to_bstr(T value, BSTR* out) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (r.ec != std::errc()) { return E_FAIL; }
    *out = SysAllocStringUtf8(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT to_text(const VARIANT& v, BSTR* out) {
    switch (v.vt) {
        case VT_EMPTY:
            *out = SysAllocStringLen(nullptr, 0);
            return *out ? S_OK : E_OUTOFMEMORY;
        case VT_I2:
            return format_to_bstr(std::int64_t{v.iVal}, out);
        case VT_I4:
            return format_to_bstr(std::int64_t{v.lVal}, out);
        case VT_I8:
            return format_to_bstr(v.llVal, out);
        case VT_R4:
            return format_to_bstr(v.fltVal, out);
        case VT_R8:
            return format_to_bstr(v.dblVal, out);
        case VT_BOOL:
            *out = SysAllocStringUtf8(v.boolVal ? "True" : "False");
            return *out ? S_OK : E_OUTOFMEMORY;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT convert(const VARIANT& src, VARTYPE vt, VARIANT* out) {
    VariantInit(out);
    if (src.vt == vt) { return copy_into(out, src); }
    if ((vt & (VT_BYREF | VT_ARRAY)) || (src.vt & VT_ARRAY)) { return DISP_E_TYPEMISMATCH; }
    if (!valid_vt(vt)) { return DISP_E_BADVARTYPE; }
    if (vt == VT_EMPTY) { return S_OK; }
    if (src.vt == VT_NULL || vt == VT_NULL || vt == VT_ERROR) { return DISP_E_TYPEMISMATCH; }
    switch (vt) {
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL: {
            Number n;
            const HRESULT hr = to_number(src, vt == VT_BOOL, &n);
            if (FAILED(hr)) { return hr; }
            std::int64_t i = 0;
            HRESULT r = S_OK;
            switch (vt) {
                case VT_I2:
                    r = to_integer(n, std::numeric_limits<std::int16_t>::min(),
                                   std::numeric_limits<std::int16_t>::max(), &i);
                    out->iVal = static_cast<SHORT>(i);
                    break;
                case VT_I4:
                    r = to_integer(n, std::numeric_limits<std::int32_t>::min(),
                                   std::numeric_limits<std::int32_t>::max(), &i);
                    out->lVal = static_cast<LONG>(i);
                    break;
                case VT_I8:
                    r = to_integer(n, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max(), &i);
                    out->llVal = i;
                    break;
                case VT_R4: {
                    const double d = n.integral ? static_cast<double>(n.i) : n.d;
                    if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
                        r = DISP_E_OVERFLOW;
                    }
                    out->fltVal = static_cast<float>(d);
                    break;
                }
                case VT_R8:
                    out->dblVal = n.integral ? static_cast<double>(n.i) : n.d;
                    break;
                default:  // VT_BOOL
                    out->boolVal =
                        (n.integral ? n.i != 0 : n.d != 0.0) ? VARIANT_TRUE : VARIANT_FALSE;
                    break;
            }
            if (FAILED(r)) {
                VariantInit(out);
                return r;
            }
            out->vt = vt;
            return S_OK;
        }
        case VT_BSTR: {
            BSTR s = nullptr;
            const HRESULT hr = to_text(src, &s);
            if (FAILED(hr)) { return hr; }
            out->vt = VT_BSTR;
            out->bstrVal = s;
            return S_OK;
        }
        case VT_UNKNOWN:
            if (src.vt != VT_DISPATCH) { return DISP_E_TYPEMISMATCH; }
            out->vt = VT_UNKNOWN;
            out->punkVal = src.pdispVal;
            if (out->punkVal) { out->punkVal->AddRef(); }
            return S_OK;
        case VT_DISPATCH: {
            if (src.vt != VT_UNKNOWN) { return DISP_E_TYPEMISMATCH; }
            void* p = nullptr;
            if (src.punkVal && FAILED(src.punkVal->QueryInterface(IID_IDispatch, &p))) {
                return DISP_E_TYPEMISMATCH;
            }
            out->vt = VT_DISPATCH;
            out->pdispVal = static_cast<IDispatch*>(p);
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Replaces `dest` by `value` (which owns its content); on failure `value` is freed instead.
HRESULT assign(VARIANT* dest, VARIANT* value) noexcept {
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(value);
        return hr;
    }
    *dest = *value;
    return S_OK;
}

}  // namespace

void VariantInit(VARIANT* v) noexcept {
    if (!v) { return; }
    v->vt = VT_EMPTY;
    v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) noexcept {
    if (!v) { return E_INVALIDARG; }
    if (!valid_vt(v->vt)) { return DISP_E_BADVARTYPE; }
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) { return hr; }
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
            if (v->punkVal) { v->punkVal->Release(); }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) noexcept {
    if (!dest || !src) { return E_INVALIDARG; }
    if (dest == src) { return S_OK; }
    if (!valid_vt(src->vt)) { return DISP_E_BADVARTYPE; }
    VARIANT tmp;
    const HRESULT hr = copy_into(&tmp, *src);
    if (FAILED(hr)) { return hr; }
    return assign(dest, &tmp);
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) noexcept {
    if (!dest || !src) { return E_INVALIDARG; }
    VARIANT view;
    HRESULT hr = dereference(src, &view);
    if (FAILED(hr)) { return hr; }
    VARIANT tmp;
    hr = copy_into(&tmp, view);
    if (FAILED(hr)) { return hr; }
    return assign(dest, &tmp);
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, WORD /*flags*/, VARTYPE vt) noexcept {
    if (!dest || !src) { return E_INVALIDARG; }
    VARIANT view;
    HRESULT hr = dereference(src, &view);
    if (FAILED(hr)) { return hr; }
    VARIANT result;
    try {
        hr = convert(view, vt, &result);
    } catch (const std::bad_alloc&) { hr = E_OUTOFMEMORY; }
    if (FAILED(hr)) { return hr; }
    // The result owns its content, so clearing `dest` is safe even when it is `src`.
    return assign(dest, &result);
}

const VARIANT* variant_target(const VARIANT* v) noexcept {
    for (int depth = 0; v && v->vt == (VT_BYREF | VT_VARIANT); ++depth) {
        if (depth == kMaxIndirections) { return nullptr; }
        v = v->pvarVal;
    }
    return v;
}

CComVariant::CComVariant(double value) noexcept {
    vt = VT_R8;
    dblVal = value;
}

CComVariant::CComVariant(std::int32_t value) noexcept {
    vt = VT_I4;
    lVal = value;
}

CComVariant::CComVariant(bool value) noexcept {
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CComVariant::CComVariant(std::u16string_view text) {
    CComBSTR s(text);
    vt = VT_BSTR;
    bstrVal = s.Detach();
}

CComVariant::CComVariant(const char* utf8) {
    CComBSTR s = CComBSTR::from_utf8(utf8 ? std::string_view(utf8) : std::string_view());
    vt = VT_BSTR;
    bstrVal = s.Detach();
}

CComVariant::CComVariant(const CComVariant& other) : VARIANT() {
    const HRESULT hr = copy_into(this, other);
    if (FAILED(hr)) {
        VariantInit(this);
        throw std::bad_alloc();
    }
}

CComVariant::CComVariant(CComVariant&& other) noexcept : VARIANT(other) { VariantInit(&other); }

CComVariant& CComVariant::operator=(const CComVariant& other) {
    if (this != &other && FAILED(VariantCopy(this, &other))) { throw std::bad_alloc(); }
    return *this;
}

CComVariant& CComVariant::operator=(CComVariant&& other) noexcept {
    if (this != &other) {
        VariantClear(this);
        static_cast<VARIANT&>(*this) = other;
        VariantInit(&other);
    }
    return *this;
}

CComVariant::~CComVariant() { VariantClear(this); }

VARIANT* CComVariant::out() noexcept {
    VariantClear(this);
    return this;
}

HRESULT CComVariant::Detach(VARIANT* dest) noexcept {
    if (!dest) { return E_POINTER; }
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) { return hr; }
    *dest = *this;
    VariantInit(this);
    return S_OK;
}

}  // namespace platform
