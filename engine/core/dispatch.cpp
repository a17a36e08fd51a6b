#include "engine/core/dispatch.hpp"

#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <string>

#include "engine/core/prog_ids.hpp"
#include "engine/core/string_table.hpp"
#include "platform/error_info.hpp"
#include "platform/safearray.hpp"

namespace engine::core::dispatch {

using namespace platform;

namespace {

char16_t ascii_lower(char16_t c) noexcept {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool same_name(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) { return false; }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) { return false; }
    }
    return true;
}

/// Position of `name` among the blank-separated words of `names`, or -1.
int word_position(std::u16string_view names, std::u16string_view name) noexcept {
    int position = 0;
    std::size_t i = 0;
    while (i < names.size()) {
        while (i < names.size() && names[i] == u' ') { ++i; }
        if (i == names.size()) { break; }
        std::size_t end = i;
        while (end < names.size() && names[end] != u' ') { ++end; }
        if (same_name(names.substr(i, end - i), name)) { return position; }
        ++position;
        i = end;
    }
    return -1;
}

/// The row a call means: a put for DISPATCH_PROPERTYPUT; otherwise the method when the caller
/// allows a method call, else the property get (clients often pass both flags).
const Member* select_member(std::span<const Member> members, DISPID id, WORD flags) noexcept {
    const Member* get = nullptr;
    const Member* put = nullptr;
    const Member* method = nullptr;
    for (const Member& m : members) {
        if (m.id != id) { continue; }
        switch (m.kind) {
            case MemberKind::method:
                method = &m;
                break;
            case MemberKind::property_get:
                get = &m;
                break;
            case MemberKind::property_put:
                put = &m;
                break;
        }
    }
    if (flags & DISPATCH_PROPERTYPUT) { return put; }
    if ((flags & DISPATCH_METHOD) && method) { return method; }
    if (flags & DISPATCH_PROPERTYGET) { return get; }
    return nullptr;
}

BSTR copy_text(std::string_view text) noexcept { return SysAllocStringUtf8(text); }

/// Fills EXCEPINFO for a member that failed with `status`, from the error information it left
/// or, without one, from the status alone.
void fill_exception(EXCEPINFO* excep,
                    IErrorInfo* info,
                    const CLSID& clsid,
                    const Member& member,
                    HRESULT status) noexcept {
    *excep = EXCEPINFO{};
    excep->scode = status;
    if (info) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->GetHelpFile(&excep->bstrHelpFile);
        info->GetHelpContext(&excep->dwHelpContext);
        return;
    }
    try {
        if (const auto prog_id = prog_id_from_clsid(clsid)) {
            excep->bstrSource = copy_text(*prog_id);
        }
        // The engine's own statuses name their kind of failure through the string table.
        const std::uint32_t code = HRESULT_CODE(status);
        if (HRESULT_FACILITY(status) == FACILITY_ITF && code >= 0x200) {
            if (const auto text = load_string(code - 0x200)) {
                excep->bstrDescription = copy_text(*text);
                return;
            }
        }
        char text[160];
        std::snprintf(text, sizeof text, "%s failed with status 0x%08X",
                      to_utf8(member.name).c_str(), hresult_bits(status));
        excep->bstrDescription = copy_text(text);
    } catch (...) {
        // Out of memory for the texts: the status in scode still tells the client.
    }
}

}  // namespace

HRESULT ids_of_names(std::span<const Member> members,
                     LPOLESTR* names,
                     UINT count,
                     DISPID* ids) noexcept {
    if (count == 0) { return S_OK; }
    if (!names || !ids) { return E_POINTER; }
    for (UINT i = 0; i < count; ++i) { ids[i] = DISPID_UNKNOWN; }
    const Member* found = nullptr;
    if (names[0]) {
        const std::u16string_view name(names[0]);
        for (const Member& m : members) {
            if (same_name(m.name, name)) {
                found = &m;
                break;
            }
        }
    }
    if (!found) { return DISP_E_UNKNOWNNAME; }
    ids[0] = found->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < count; ++i) {
        if (names[i]) {
            for (const Member& m : members) {
                if (m.id != found->id) { continue; }
                const int position = word_position(m.parameter_names, names[i]);
                if (position >= 0) {
                    ids[i] = position;
                    break;
                }
            }
        }
        if (ids[i] == DISPID_UNKNOWN) { hr = DISP_E_UNKNOWNNAME; }
    }
    return hr;
}

HRESULT invoke(std::span<const Member> members,
               const CLSID& clsid,
               void* object,
               DISPID id,
               REFIID riid,
               WORD flags,
               DISPPARAMS* params,
               VARIANT* result,
               EXCEPINFO* excep,
               UINT* arg_error) noexcept {
    if (!IsEqualIID(riid, IID_NULL)) { return DISP_E_UNKNOWNINTERFACE; }
    if (!params || (params->cArgs > 0 && !params->rgvarg) ||
        (params->cNamedArgs > 0 && !params->rgdispidNamedArgs)) {
        return E_POINTER;
    }
    if (params->cNamedArgs > params->cArgs) { return DISP_E_BADPARAMCOUNT; }
    const Member* member = select_member(members, id, flags);
    if (!member) { return DISP_E_MEMBERNOTFOUND; }

    // The arguments in declaration order, and where each came from in rgvarg.
    const std::size_t count = member->argument_count();
    std::array<VARIANT*, kMaxArguments> slots{};
    std::array<int, kMaxArguments> origin{};
    origin.fill(-1);
    const UINT total = params->cArgs;
    const UINT named = params->cNamedArgs;
    const UINT positional = total - named;
    if (member->kind == MemberKind::property_put) {
        if (total != 1) { return DISP_E_BADPARAMCOUNT; }
        if (named == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            if (arg_error) { *arg_error = 0; }
            return DISP_E_PARAMNOTFOUND;
        }
        slots[0] = &params->rgvarg[0];
        origin[0] = 0;
    } else {
        if (positional > count || (named == 0 && positional != count)) {
            return DISP_E_BADPARAMCOUNT;
        }
        for (UINT i = 0; i < positional; ++i) {
            slots[i] = &params->rgvarg[total - 1 - i];
            origin[i] = static_cast<int>(total - 1 - i);
        }
        for (UINT j = 0; j < named; ++j) {
            const DISPID p = params->rgdispidNamedArgs[j];
            if (p < 0 || static_cast<std::size_t>(p) >= count ||
                slots[static_cast<std::size_t>(p)]) {
                if (arg_error) { *arg_error = j; }
                return DISP_E_PARAMNOTFOUND;
            }
            slots[static_cast<std::size_t>(p)] = &params->rgvarg[j];
            origin[static_cast<std::size_t>(p)] = static_cast<int>(j);
        }
    }

    if (result) { VariantInit(result); }
    // Error information left by an earlier call must not pass for this one's.
    SetErrorInfo(0, nullptr);
    CallOutcome outcome;
    try {
        outcome = member->thunk(object, Arguments(slots.data(), count), result);
    } catch (const std::bad_alloc&) { outcome = CallOutcome{E_OUTOFMEMORY, -1}; } catch (...) {
        outcome = CallOutcome{E_UNEXPECTED, -1};
    }

    if (outcome.refused_argument >= 0) {
        const int from = origin[static_cast<std::size_t>(outcome.refused_argument)];
        if (arg_error && from >= 0) { *arg_error = static_cast<UINT>(from); }
        return outcome.status;
    }
    if (SUCCEEDED(outcome.status)) { return S_OK; }

    CComPtr<IErrorInfo> info;
    GetErrorInfo(0, info.out());
    if (excep) {
        fill_exception(excep, info.get(), clsid, *member, outcome.status);
    } else if (info) {
        // Nowhere to put it: the client can still read it as the thread's error information.
        SetErrorInfo(0, info.get());
    }
    return DISP_E_EXCEPTION;
}

// ---- Arguments ---------------------------------------------------------------------------------

namespace detail {

bool is_missing(const VARIANT* arg) noexcept {
    const VARIANT* v = variant_target(arg);
    if (!v) { return true; }
    if (v->vt == VT_ERROR) { return v->scode == DISP_E_PARAMNOTFOUND; }
    if (v->vt == (VT_BYREF | VT_ERROR)) { return v->pscode && *v->pscode == DISP_E_PARAMNOTFOUND; }
    return false;
}

VARIANT value_view(const VARIANT* arg) noexcept {
    VARIANT view{};
    const VARIANT* v = variant_target(arg);
    if (!v) { return view; }
    if (!(v->vt & VT_BYREF)) { return *v; }
    if (!v->byref) { return view; }
    const VARTYPE vt = v->vt & ~VT_BYREF;
    if (vt & VT_ARRAY) {
        view.vt = vt;
        view.parray = *v->pparray;
        return view;
    }
    view.vt = vt;
    switch (vt) {
        case VT_I2:
            view.iVal = *v->piVal;
            break;
        case VT_I4:
            view.lVal = *v->plVal;
            break;
        case VT_I8:
            view.llVal = *v->pllVal;
            break;
        case VT_R4:
            view.fltVal = *v->pfltVal;
            break;
        case VT_R8:
            view.dblVal = *v->pdblVal;
            break;
        case VT_BOOL:
            view.boolVal = *v->pboolVal;
            break;
        case VT_ERROR:
            view.scode = *v->pscode;
            break;
        case VT_BSTR:
            view.bstrVal = *v->pbstrVal;
            break;
        case VT_UNKNOWN:
            view.punkVal = *v->ppunkVal;
            break;
        case VT_DISPATCH:
            view.pdispVal = *v->ppdispVal;
            break;
        default:
            view = VARIANT{};
            break;
    }
    return view;
}

VARIANT* output_variant(VARIANT* arg) noexcept {
    if (!arg || arg->vt != (VT_BYREF | VT_VARIANT) || !arg->pvarVal) { return nullptr; }
    return const_cast<VARIANT*>(variant_target(arg));
}

}  // namespace detail

HRESULT Param<BSTR>::load(VARIANT* arg) noexcept {
    if (detail::is_missing(arg)) { return DISP_E_PARAMNOTOPTIONAL; }
    const VARIANT view = detail::value_view(arg);
    if (view.vt == VT_BSTR) {
        text_ = view.bstrVal;
        return S_OK;
    }
    const HRESULT hr = VariantChangeType(&converted_, arg, 0, VT_BSTR);
    if (FAILED(hr)) { return hr; }
    text_ = converted_.bstrVal;
    return S_OK;
}

HRESULT Param<VARIANT>::load(VARIANT* arg) noexcept {
    if (detail::is_missing(arg)) {
        view_.vt = VT_ERROR;
        view_.scode = DISP_E_PARAMNOTFOUND;
        return S_OK;
    }
    view_ = detail::value_view(arg);
    return S_OK;
}

HRESULT Param<VARIANT*>::load(VARIANT* arg) noexcept {
    if (detail::is_missing(arg) && !detail::output_variant(arg)) { return S_OK; }
    VARIANT* v = detail::output_variant(arg);
    if (!v) { return DISP_E_TYPEMISMATCH; }
    target_ = v;
    return S_OK;
}

namespace {

/// Reads every element of a numeric array (or one scalar) through `take`.
template <class Take>
HRESULT read_numbers(const VARIANT* arg, Take take) noexcept {
    const VARIANT view = detail::value_view(arg);
    if (!(view.vt & VT_ARRAY)) {
        if (view.vt == VT_EMPTY || view.vt == VT_ERROR || view.vt == VT_NULL) {
            return DISP_E_TYPEMISMATCH;
        }
        double d = 0.0;
        const HRESULT hr = to_scalar(&view, &d);
        if (FAILED(hr)) { return DISP_E_TYPEMISMATCH; }
        return take(d);
    }
    SAFEARRAY* psa = view.parray;
    if (!psa) { return DISP_E_TYPEMISMATCH; }
    const VARTYPE element = view.vt & VT_TYPEMASK;
    const std::size_t n = safe_array_element_count(psa);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &data))) { return DISP_E_TYPEMISMATCH; }
    HRESULT hr = S_OK;
    for (std::size_t i = 0; i < n && SUCCEEDED(hr); ++i) {
        switch (element) {
            case VT_R8:
                hr = take(static_cast<const double*>(data)[i]);
                break;
            case VT_I4:
                hr = take(static_cast<double>(static_cast<const LONG*>(data)[i]));
                break;
            case VT_VARIANT: {
                double d = 0.0;
                hr = to_scalar(&static_cast<const VARIANT*>(data)[i], &d);
                if (SUCCEEDED(hr)) { hr = take(d); }
                break;
            }
            default:
                hr = DISP_E_TYPEMISMATCH;
                break;
        }
    }
    SafeArrayUnaccessData(psa);
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

}  // namespace

HRESULT read_doubles(const VARIANT* arg, std::vector<double>& values) noexcept {
    values.clear();
    try {
        return read_numbers(arg, [&](double d) {
            values.push_back(d);
            return S_OK;
        });
    } catch (...) { return E_OUTOFMEMORY; }
}

HRESULT read_integers(const VARIANT* arg, std::vector<std::int64_t>& values) noexcept {
    values.clear();
    try {
        return read_numbers(arg, [&](double d) {
            // 2^63 itself is not representable as a 64-bit signed integer.
            constexpr double kLimit = 9223372036854775808.0;
            if (!std::isfinite(d) || d != std::trunc(d) || d >= kLimit || d < -kLimit) {
                return DISP_E_TYPEMISMATCH;
            }
            values.push_back(static_cast<std::int64_t>(d));
            return S_OK;
        });
    } catch (...) { return E_OUTOFMEMORY; }
}

HRESULT ArrayOutput::load(VARIANT* arg) noexcept {
    target_ = detail::output_variant(arg);
    if (target_) { return S_OK; }
    return detail::is_missing(arg) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ArrayOutput::store(std::span<const double> values) noexcept {
    if (!target_) { return S_OK; }
    if (values.size() > std::numeric_limits<ULONG>::max()) { return E_INVALIDARG; }
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    if (!psa) { return E_OUTOFMEMORY; }
    void* data = nullptr;
    SafeArrayAccessData(psa, &data);
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    SafeArrayUnaccessData(psa);
    const HRESULT hr = VariantClear(target_);
    if (FAILED(hr)) {
        SafeArrayDestroy(psa);
        return hr;
    }
    target_->vt = VT_ARRAY | VT_R8;
    target_->parray = psa;
    return S_OK;
}

}  // namespace engine::core::dispatch
