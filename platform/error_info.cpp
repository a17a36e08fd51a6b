#include "platform/error_info.hpp"

#include "platform/com_object.hpp"

namespace platform {
namespace {

// The runtime's own object: it does not keep the module loaded.
class ErrorInfo final : public ComObjectNoLock<ErrorInfo, IErrorInfo, ICreateErrorInfo> {
public:
    HRESULT GetGUID(GUID* pGUID) override {
        if (!pGUID) { return E_INVALIDARG; }
        *pGUID = guid_;
        return S_OK;
    }
    HRESULT GetSource(BSTR* out) override { return copy_out(source_, out); }
    HRESULT GetDescription(BSTR* out) override { return copy_out(description_, out); }
    HRESULT GetHelpFile(BSTR* out) override { return copy_out(help_file_, out); }
    HRESULT GetHelpContext(DWORD* out) override {
        if (!out) { return E_INVALIDARG; }
        *out = help_context_;
        return S_OK;
    }

    HRESULT SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    HRESULT SetSource(LPOLESTR text) override { return store(text, source_); }
    HRESULT SetDescription(LPOLESTR text) override { return store(text, description_); }
    HRESULT SetHelpFile(LPOLESTR text) override { return store(text, help_file_); }
    HRESULT SetHelpContext(DWORD context) override {
        help_context_ = context;
        return S_OK;
    }

private:
    ~ErrorInfo() override = default;
    friend detail::ComObjectBase<false, ErrorInfo, IErrorInfo, ICreateErrorInfo>;

    static HRESULT copy_out(const CComBSTR& value, BSTR* out) noexcept {
        if (!out) { return E_INVALIDARG; }
        *out = nullptr;
        if (value.get()) {
            *out = SysAllocStringLen(value.get(), value.Length());
            if (!*out) { return E_OUTOFMEMORY; }
        }
        return S_OK;
    }
    // The texts arrive as zero-terminated wide strings, not necessarily BSTRs.
    static HRESULT store(LPCOLESTR text, CComBSTR& slot) noexcept {
        try {
            slot = text ? CComBSTR(std::u16string_view(text)) : CComBSTR();
            return S_OK;
        } catch (const std::bad_alloc&) { return E_OUTOFMEMORY; }
    }

    GUID guid_{};
    CComBSTR source_, description_, help_file_;
    DWORD help_context_ = 0;
};

// The thread's current error information; released when the thread ends.
struct ThreadErrorSlot {
    IErrorInfo* info = nullptr;
    ThreadErrorSlot() = default;
    ThreadErrorSlot(const ThreadErrorSlot&) = delete;
    ThreadErrorSlot& operator=(const ThreadErrorSlot&) = delete;
    ~ThreadErrorSlot() { safe_release(info); }
};
thread_local ThreadErrorSlot t_error;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) noexcept {
    return create_instance<ErrorInfo>(IID_ICreateErrorInfo, reinterpret_cast<void**>(pperrinfo));
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) noexcept {
    if (dwReserved != 0) { return E_INVALIDARG; }
    if (perrinfo) { perrinfo->AddRef(); }
    IErrorInfo* old = t_error.info;
    t_error.info = perrinfo;
    if (old) { old->Release(); }
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) noexcept {
    if (!pperrinfo || dwReserved != 0) { return E_INVALIDARG; }
    *pperrinfo = t_error.info;
    t_error.info = nullptr;
    return *pperrinfo ? S_OK : S_FALSE;
}

std::optional<ErrorRecord> take_error_info() {
    CComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.out()) != S_OK || !info) { return std::nullopt; }
    ErrorRecord record;
    CComBSTR text;
    info->GetGUID(&record.guid);
    if (SUCCEEDED(info->GetSource(text.out()))) { record.source = text.utf8(); }
    if (SUCCEEDED(info->GetDescription(text.out()))) { record.description = text.utf8(); }
    if (SUCCEEDED(info->GetHelpFile(text.out()))) { record.help_file = text.utf8(); }
    info->GetHelpContext(&record.help_context);
    return record;
}

}  // namespace platform
