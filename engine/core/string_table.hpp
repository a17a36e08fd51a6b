#pragma once
/// The module's string table: the module name (100), the message texts of the numerical
/// routines (101-113) and the texts of the automation layer (114-127; there is no 123).
#include <cstdint>
#include <optional>
#include <string_view>

namespace engine::core {

inline constexpr std::uint32_t kModuleNameStringId = 100;

/// The text of a string-table entry; nothing for an identifier not in the table.
std::optional<std::string_view> load_string(std::uint32_t id) noexcept;
/// The text of an entry, or "Unknown Error" for an identifier not in the table.
std::string_view string_or_unknown(std::uint32_t id) noexcept;

}  // namespace engine::core
