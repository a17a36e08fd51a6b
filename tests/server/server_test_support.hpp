#pragma once
// Shared pieces of the server tests: a scratch directory that "TMP", "TEMP" and the class
// registry (TARNDISTIL_REGISTRY) point at, set before any test runs so that no test ever touches
// the user's own registry; the example problems and reference files; and a late-binding client
// that calls objects by member name through IDispatch only.
#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation.hpp"

namespace server::testing {

inline constexpr double kAtmosphere = 101325.0;  // [Pa]

/// The process's scratch directory.
const std::filesystem::path& scratch();
/// The registry file the tests register in (scratch()/registry).
std::filesystem::path registry_file();
/// examples/<name>.
std::string example_file(std::string_view name);
/// data/reference/<name>, parsed.
nlohmann::json reference(std::string_view name);
/// The model entry `label` of a reference file's "models".
nlohmann::json reference_model(std::string_view file, std::string_view label);

/// Arguments of late-bound calls: a reference to the caller's variant or value (the call
/// writes through it), or the marker of a left-out argument.
platform::VARIANT ref(platform::VARIANT& v);
platform::VARIANT ref(platform::LONG& v);
platform::VARIANT ref(double& v);
platform::VARIANT missing();

/// What one late-bound call gave back; the exception's texts are copied out (and freed).
struct Invoked {
    platform::HRESULT status = platform::E_FAIL;
    platform::CComVariant result;
    platform::UINT arg_error = 0xFFFFFFFF;
    platform::HRESULT scode = 0;
    std::string source;
    std::string description;
};

/// An object driven by member names only: GetIDsOfNames, then Invoke.
class LateBound {
public:
    LateBound() = default;
    explicit LateBound(platform::IDispatch* object) : object_(object) {}
    /// The object in a VT_DISPATCH variant (null when it holds none).
    static LateBound from(const platform::VARIANT& v);

    platform::IDispatch* get() const noexcept { return object_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(object_); }

    /// The dispatch id of a member (DISPID_UNKNOWN when the object does not know the name).
    platform::DISPID id(std::u16string_view name) const;
    /// Invokes a member with arguments given first to last (the call reverses them, as
    /// DISPPARAMS lists them); `named` gives the dispatch ids of the last named.size()
    /// arguments, which are then passed as named arguments.
    Invoked invoke(std::u16string_view name,
                   platform::WORD flags,
                   std::vector<platform::VARIANT> args,
                   std::vector<platform::DISPID> named = {}) const;
    Invoked call(std::u16string_view name,
                 std::initializer_list<platform::VARIANT> args = {}) const;
    Invoked get(std::u16string_view name) const;
    Invoked put(std::u16string_view name, const platform::VARIANT& value) const;

private:
    platform::CComPtr<platform::IDispatch> object_;
};

/// The numbers of a VT_ARRAY | VT_R8 or VT_I4 variant in storage order, and its extents.
struct Array {
    std::vector<std::int64_t> extents;
    std::vector<double> values;
    double at(std::int64_t i) const { return values.at(static_cast<std::size_t>(i)); }
    double at(std::int64_t i, std::int64_t j) const {
        return values.at(static_cast<std::size_t>(j * extents.at(0) + i));
    }
    double at(std::int64_t i, std::int64_t j, std::int64_t k) const {
        return values.at(static_cast<std::size_t>((k * extents.at(1) + j) * extents.at(0) + i));
    }
};
Array read_array(const platform::VARIANT& v);
/// A 1-D array of doubles.
platform::CComVariant doubles(std::initializer_list<double> values);
/// A 1-D array of 32-bit integers.
platform::CComVariant ints(std::initializer_list<platform::LONG> values);

}  // namespace server::testing
