#pragma once
// The registry scripts of the module's classes and type library, embedded at build time from the
// .rgs files in server/.
#include <span>
#include <string_view>

namespace server::detail {

struct RegistryScript {
    int id;                 ///< resource identifier
    std::string_view name;  ///< file name, for messages
    std::string_view text;
};

/// Every script, in the order of the build's list.
std::span<const RegistryScript> registry_scripts() noexcept;

}  // namespace server::detail
