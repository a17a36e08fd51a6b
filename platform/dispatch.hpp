#pragma once
/// Late binding (IDispatch) and the connection-point declarations that objects with event
/// interfaces expose. Only the declarations live here; objects implement them.
#include "platform/bstr.hpp"
#include "platform/unknown.hpp"
#include "platform/variant.hpp"

namespace platform {

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

/// Arguments of IDispatch::Invoke, in reverse order (the last argument first), named ones first.
struct DISPPARAMS {
    VARIANTARG* rgvarg = nullptr;
    DISPID* rgdispidNamedArgs = nullptr;
    UINT cArgs = 0;
    UINT cNamedArgs = 0;
};

/// What Invoke reports with DISP_E_EXCEPTION. The strings belong to the caller afterwards.
struct EXCEPINFO {
    WORD wCode = 0;
    WORD wReserved = 0;
    BSTR bstrSource = nullptr;
    BSTR bstrDescription = nullptr;
    BSTR bstrHelpFile = nullptr;
    DWORD dwHelpContext = 0;
    void* pvReserved = nullptr;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*) = nullptr;
    SCODE scode = 0;
};

/// Type descriptions are not provided on this platform; the interface exists so that
/// GetTypeInfo keeps its signature (implementations answer E_NOTIMPL or count 0).
struct ITypeInfo : IUnknown {
    static constexpr IID iid = IID_ITypeInfo;
};

struct IDispatch : IUnknown {
    static constexpr IID iid = IID_IDispatch;
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(
        REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember,
                           REFIID riid,
                           LCID lcid,
                           WORD wFlags,
                           DISPPARAMS* pDispParams,
                           VARIANT* pVarResult,
                           EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    static constexpr IID iid = IID_IConnectionPoint;
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
};

struct IEnumConnectionPoints : IUnknown {
    static constexpr IID iid = IID_IEnumConnectionPoints;
    virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cConnections) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) = 0;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr IID iid = IID_IConnectionPointContainer;
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};

}  // namespace platform
