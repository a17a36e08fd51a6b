#pragma once
// Name lookup of the engine's dual interfaces: member names to dispatch ids, ignoring (ASCII)
// case as late-binding clients expect. Late-bound calls themselves are not served yet.
#include <span>
#include <string_view>
#include <utility>

#include "platform/dispatch.hpp"

namespace engine::detail {

using DispatchMember = std::pair<std::u16string_view, platform::DISPID>;

inline bool same_name(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) { return false; }
    const auto lower = [](char16_t c) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) { return false; }
    }
    return true;
}

/// GetIDsOfNames over a member table: only the first name (the member) is looked up, since the
/// members take no named arguments; every other name is unknown.
inline platform::HRESULT ids_of_names(std::span<const DispatchMember> members,
                                      platform::LPOLESTR* names,
                                      platform::UINT count,
                                      platform::DISPID* ids) noexcept {
    if (!names || !ids) { return platform::E_POINTER; }
    platform::HRESULT hr = platform::S_OK;
    for (platform::UINT i = 0; i < count; ++i) {
        ids[i] = platform::DISPID_UNKNOWN;
        if (i > 0 || !names[i]) {
            hr = platform::DISP_E_UNKNOWNNAME;
            continue;
        }
        const std::u16string_view name(names[i]);
        for (const auto& [member, id] : members) {
            if (same_name(name, member)) { ids[i] = id; }
        }
        if (ids[i] == platform::DISPID_UNKNOWN) { hr = platform::DISP_E_UNKNOWNNAME; }
    }
    return hr;
}

}  // namespace engine::detail

/// The IDispatch members every engine class declares (type information is not provided on this
/// platform; names resolve through ids_of_names; late-bound calls answer E_NOTIMPL).
#define ENGINE_DISPATCH_DECLARATIONS                                                               \
    HRESULT GetTypeInfoCount(platform::UINT* pctinfo) override;                                    \
    HRESULT GetTypeInfo(platform::UINT iTInfo, platform::LCID lcid, platform::ITypeInfo** ppTInfo) \
        override;                                                                                  \
    HRESULT GetIDsOfNames(platform::REFIID riid, platform::LPOLESTR* rgszNames,                    \
                          platform::UINT cNames, platform::LCID lcid, platform::DISPID* rgDispId)  \
        override;                                                                                  \
    HRESULT Invoke(platform::DISPID dispIdMember, platform::REFIID riid, platform::LCID lcid,      \
                   platform::WORD wFlags, platform::DISPPARAMS* pDispParams,                       \
                   platform::VARIANT* pVarResult, platform::EXCEPINFO* pExcepInfo,                 \
                   platform::UINT* puArgErr) override;

/// Their definitions for class `Class` with member table `kMembers` (a DispatchMember array).
#define ENGINE_DISPATCH_DEFINITIONS(Class, kMembers)                                            \
    HRESULT Class::GetTypeInfoCount(platform::UINT* pctinfo) {                                  \
        if (!pctinfo) { return platform::E_POINTER; }                                           \
        *pctinfo = 0;                                                                           \
        return platform::S_OK;                                                                  \
    }                                                                                           \
    HRESULT Class::GetTypeInfo(platform::UINT, platform::LCID, platform::ITypeInfo** ppTInfo) { \
        if (ppTInfo) { *ppTInfo = nullptr; }                                                    \
        return platform::E_NOTIMPL;                                                             \
    }                                                                                           \
    HRESULT Class::GetIDsOfNames(platform::REFIID, platform::LPOLESTR* rgszNames,               \
                                 platform::UINT cNames, platform::LCID,                         \
                                 platform::DISPID* rgDispId) {                                  \
        return detail::ids_of_names(kMembers, rgszNames, cNames, rgDispId);                     \
    }                                                                                           \
    HRESULT Class::Invoke(platform::DISPID, platform::REFIID, platform::LCID, platform::WORD,   \
                          platform::DISPPARAMS*, platform::VARIANT*, platform::EXCEPINFO*,      \
                          platform::UINT*) {                                                    \
        return platform::E_NOTIMPL;                                                             \
    }
