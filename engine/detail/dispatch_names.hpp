#pragma once
// The IDispatch members every engine class declares. Late binding runs over one member table per
// interface (engine/core/dispatch.hpp); the tables of the engine's classes are in
// engine/dispatch_tables.cpp.
#include "engine/core/dispatch.hpp"
#include "platform/dispatch.hpp"

/// The IDispatch members (type information is not provided on this platform).
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

/// Their definitions for class `Class`, whose dual interface `Interface` has the member table
/// `kMembers` (an array of core::dispatch::Member).
#define ENGINE_DISPATCH_DEFINITIONS(Class, Interface, kMembers)                                 \
    HRESULT Class::GetTypeInfoCount(platform::UINT* pctinfo) {                                  \
        if (!pctinfo) { return platform::E_POINTER; }                                           \
        *pctinfo = 0;                                                                           \
        return platform::S_OK;                                                                  \
    }                                                                                           \
    HRESULT Class::GetTypeInfo(platform::UINT, platform::LCID, platform::ITypeInfo** ppTInfo) { \
        if (ppTInfo) { *ppTInfo = nullptr; }                                                    \
        return platform::E_NOTIMPL;                                                             \
    }                                                                                           \
    HRESULT Class::GetIDsOfNames(platform::REFIID riid, platform::LPOLESTR* rgszNames,          \
                                 platform::UINT cNames, platform::LCID,                         \
                                 platform::DISPID* rgDispId) {                                  \
        if (!platform::IsEqualIID(riid, platform::IID_NULL)) {                                  \
            return platform::DISP_E_UNKNOWNINTERFACE;                                           \
        }                                                                                       \
        return core::dispatch::ids_of_names(kMembers, rgszNames, cNames, rgDispId);             \
    }                                                                                           \
    HRESULT Class::Invoke(platform::DISPID dispIdMember, platform::REFIID riid, platform::LCID, \
                          platform::WORD wFlags, platform::DISPPARAMS* pDispParams,             \
                          platform::VARIANT* pVarResult, platform::EXCEPINFO* pExcepInfo,       \
                          platform::UINT* puArgErr) {                                           \
        return core::dispatch::invoke(kMembers, Class::clsid, static_cast<Interface*>(this),    \
                                      dispIdMember, riid, wFlags, pDispParams, pVarResult,      \
                                      pExcepInfo, puArgErr);                                    \
    }
