#pragma once
// The equilibrium service's flash without the result vectors: the exported by-reference routine
// copies straight from the working arrays into the caller's, the plain face into a FlashResult.
#include "properties/detail/host_flash.hpp"
#include "properties/equilibrium.hpp"

namespace properties::detail {

/// Runs the request through the host flash with the host's current settings and the option set
/// the request names (the global one when the name is blank or unknown). Returns false when the
/// request was refused before the host was called (too many components, sizes that differ, a
/// flash text outside the table, a missing value): then only `work.error` (-1) is meaningful.
bool service_flash(const FlashRequest& request, HostFlashWork& work) noexcept;

/// The option set to flash with: the named one when the host knows it, else the global one
/// `global_index`. Blank or empty names give the global one without asking the host.
std::int64_t option_set_by_name(std::string_view name, std::int64_t global_index) noexcept;

}  // namespace properties::detail
