#include "engine/core/error_report.hpp"

#include <string>

#include "engine/core/prog_ids.hpp"
#include "engine/core/string_table.hpp"
#include "platform/bstr.hpp"
#include "platform/error_info.hpp"

namespace engine::core {

platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::u16string_view description,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept {
    using namespace platform;
    if (status == 0) { status = DISP_E_EXCEPTION; }
    try {
        CComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.out()))) { return status; }
        create->SetGUID(iid);
        if (const auto prog_id = prog_id_from_clsid(clsid)) {
            std::u16string source = to_utf16(*prog_id);
            create->SetSource(source.data());
        }
        // The description may hold any text; the object stores it as a zero-terminated copy.
        std::u16string text(description);
        create->SetDescription(text.data());
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.out_void()))) {
            SetErrorInfo(0, info.get());
        }
    } catch (...) {
        // Out of memory while building the texts: the status still reaches the client.
    }
    return status;
}

platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::string_view description,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept {
    try {
        return report_error(clsid, std::u16string_view(platform::to_utf16(description)), iid,
                            status);
    } catch (...) { return status == 0 ? platform::DISP_E_EXCEPTION : status; }
}

platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::uint32_t string_id,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept {
    if (status == 0) {
        status =
            platform::MAKE_HRESULT(platform::SEVERITY_ERROR, platform::FACILITY_ITF, string_id);
    }
    return report_error(clsid, string_or_unknown(string_id), iid, status);
}

}  // namespace engine::core
