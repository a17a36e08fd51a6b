#pragma once
/// Error information: a failing automation method leaves a description of the failure for the
/// calling thread (interface, source, text), which the client reads back after the call.
#include <optional>
#include <string>

#include "platform/bstr.hpp"
#include "platform/export.hpp"
#include "platform/unknown.hpp"

namespace platform {

struct IErrorInfo : IUnknown {
    static constexpr IID iid = IID_IErrorInfo;
    virtual HRESULT GetGUID(GUID* pGUID) = 0;
    virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
    static constexpr IID iid = IID_ICreateErrorInfo;
    virtual HRESULT SetGUID(REFGUID rguid) = 0;
    virtual HRESULT SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};

/// A new, empty error information object (query it for IErrorInfo to hand it over).
PLATFORM_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) noexcept;
/// Makes `perrinfo` (may be null) the calling thread's error information, replacing the old one.
/// `dwReserved` must be 0.
PLATFORM_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) noexcept;
/// Hands the thread's error information to the caller (one reference) and clears it;
/// S_FALSE with null when there is none.
PLATFORM_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) noexcept;

/// The content of an error information object in narrow text.
struct ErrorRecord {
    GUID guid{};
    std::string source;
    std::string description;
    std::string help_file;
    DWORD help_context = 0;
};
/// Takes the thread's error information (as GetErrorInfo) and reads it; nothing if none.
PLATFORM_API std::optional<ErrorRecord> take_error_info();

}  // namespace platform
