#pragma once
/// The table of programmatic identifiers (ProgIDs) by class, standing in for the registry's
/// CLSID -> ProgID entries. It starts with the engine's four classes; registration adds or
/// replaces entries.
#include <optional>
#include <string>
#include <string_view>

#include "platform/guid.hpp"

namespace engine::core {

/// Records `prog_id` (and optionally its version-independent form) for a class, replacing an
/// earlier entry for the same class.
void register_prog_id(const platform::CLSID& clsid,
                      std::string prog_id,
                      std::string version_independent_prog_id = {});
/// Removes a class from the table (no-op when absent).
void unregister_prog_id(const platform::CLSID& clsid);
/// The registered ProgID of a class; nothing for a class not in the table.
std::optional<std::string> prog_id_from_clsid(const platform::CLSID& clsid);
/// The class registered under a ProgID (exact, or its version-independent form).
std::optional<platform::CLSID> clsid_from_prog_id(std::string_view prog_id);

}  // namespace engine::core
