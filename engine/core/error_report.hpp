#pragma once
/// Reporting a failure to an automation client: the method leaves error information for the
/// calling thread and returns the status.
#include <cstdint>
#include <string_view>

#include "platform/guid.hpp"
#include "platform/hresult.hpp"

namespace engine::core {

/// Creates error information with interface `iid`, source the ProgID registered for `clsid`
/// (none if the class is not registered), the description and no help file or context; makes
/// it the thread's current error information and returns `status`. A `status` of 0 becomes
/// DISP_E_EXCEPTION. If the error information cannot be created, the status is returned alone.
platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::string_view description,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept;
/// The same with a wide description.
platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::u16string_view description,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept;
/// The same with the text of string-table entry `string_id` ("Unknown Error" if absent); a
/// `status` of 0 becomes 0x80040000 + `string_id`.
platform::HRESULT report_error(const platform::CLSID& clsid,
                               std::uint32_t string_id,
                               const platform::IID& iid,
                               platform::HRESULT status) noexcept;

}  // namespace engine::core
