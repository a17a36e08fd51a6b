#include "server_test_support.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace server::testing {

using namespace platform;

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "server-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) { throw std::runtime_error("no scratch directory"); }
        ::setenv("TMP", pattern.c_str(), 1);
        ::setenv("TEMP", pattern.c_str(), 1);
        ::setenv("TARNDISTIL_REGISTRY", (pattern + "/registry").c_str(), 1);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return dir;
}

namespace {
// Before main and before any test: the registry the module reads is the scratch one.
[[maybe_unused]] const bool kScratchReady = !scratch().empty();
}  // namespace

std::filesystem::path registry_file() { return scratch() / "registry"; }

std::string example_file(std::string_view name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + std::string(name);
}

nlohmann::json reference(std::string_view name) {
    std::ifstream in(std::string(DISTIL_REFERENCE_DIR) + "/" + std::string(name));
    if (!in) { throw std::runtime_error("missing reference file " + std::string(name)); }
    return nlohmann::json::parse(in);
}

nlohmann::json reference_model(std::string_view file, std::string_view label) {
    const nlohmann::json whole = reference(file);
    for (const auto& model : whole.at("models")) {
        if (model.at("label").get<std::string>() == label) { return model; }
    }
    throw std::runtime_error("no model " + std::string(label) + " in " + std::string(file));
}

VARIANT ref(VARIANT& v) {
    VARIANT a{};
    a.vt = VT_BYREF | VT_VARIANT;
    a.pvarVal = &v;
    return a;
}

VARIANT ref(LONG& v) {
    VARIANT a{};
    a.vt = VT_BYREF | VT_I4;
    a.plVal = &v;
    return a;
}

VARIANT ref(double& v) {
    VARIANT a{};
    a.vt = VT_BYREF | VT_R8;
    a.pdblVal = &v;
    return a;
}

VARIANT missing() {
    VARIANT a{};
    a.vt = VT_ERROR;
    a.scode = DISP_E_PARAMNOTFOUND;
    return a;
}

LateBound LateBound::from(const VARIANT& v) {
    if (v.vt != VT_DISPATCH) { return LateBound(); }
    return LateBound(v.pdispVal);
}

DISPID LateBound::id(std::u16string_view name) const {
    std::u16string text(name);
    LPOLESTR names[] = {text.data()};
    DISPID id = DISPID_UNKNOWN;
    object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

Invoked LateBound::invoke(std::u16string_view name,
                          WORD flags,
                          std::vector<VARIANT> args,
                          std::vector<DISPID> named) const {
    Invoked out;
    const DISPID member = id(name);
    // Last argument first; the named ones (the last named.size() given) lead the array.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    std::vector<DISPID> named_ids(named.rbegin(), named.rend());
    DISPPARAMS params;
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    params.rgdispidNamedArgs = named_ids.empty() ? nullptr : named_ids.data();
    params.cNamedArgs = static_cast<UINT>(named_ids.size());
    EXCEPINFO excep;
    out.status = object_->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                 out.result.out(), &excep, &out.arg_error);
    if (out.status == DISP_E_EXCEPTION) {
        out.scode = excep.scode;
        out.source = narrow(excep.bstrSource);
        out.description = narrow(excep.bstrDescription);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return out;
}

Invoked LateBound::call(std::u16string_view name, std::initializer_list<VARIANT> args) const {
    return invoke(name, DISPATCH_METHOD, std::vector<VARIANT>(args));
}

Invoked LateBound::get(std::u16string_view name) const {
    return invoke(name, DISPATCH_PROPERTYGET, {});
}

Invoked LateBound::put(std::u16string_view name, const VARIANT& value) const {
    return invoke(name, DISPATCH_PROPERTYPUT, {value}, {DISPID_PROPERTYPUT});
}

Array read_array(const VARIANT& v) {
    Array a;
    if (v.vt != (VT_ARRAY | VT_R8) && v.vt != (VT_ARRAY | VT_I4)) { return a; }
    for (UINT d = 1; d <= SafeArrayGetDim(v.parray); ++d) {
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(v.parray, d, &lower);
        SafeArrayGetUBound(v.parray, d, &upper);
        a.extents.push_back(upper - lower + 1);
    }
    const std::size_t n = safe_array_element_count(v.parray);
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    for (std::size_t i = 0; i < n; ++i) {
        a.values.push_back(v.vt == (VT_ARRAY | VT_R8) ? static_cast<const double*>(data)[i]
                                                      : static_cast<const LONG*>(data)[i]);
    }
    SafeArrayUnaccessData(v.parray);
    return a;
}

CComVariant doubles(std::initializer_list<double> values) {
    CComVariant v;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(psa, &data);
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    SafeArrayUnaccessData(psa);
    v.vt = VT_ARRAY | VT_R8;
    v.parray = psa;
    return v;
}

CComVariant ints(std::initializer_list<LONG> values) {
    CComVariant v;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_I4, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(psa, &data);
    std::copy(values.begin(), values.end(), static_cast<LONG*>(data));
    SafeArrayUnaccessData(psa);
    v.vt = VT_ARRAY | VT_I4;
    v.parray = psa;
    return v;
}

}  // namespace server::testing
