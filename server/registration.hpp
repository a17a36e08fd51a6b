#pragma once
/// Registration of the engine module: its type library and its four creatable classes, written
/// by the embedded registry scripts (Distil.rgs, PropertyPackage.rgs, DistillationMap.rgs,
/// AzeotropeSearch.rgs and TypeLib.rgs in server/).
///
/// Every class script receives the replacement variables VERSION ("38.0"), CLSID (the class
/// identity, lower-case digits without braces), TYPELIB (the library identity, the same form)
/// and MODULE (the full path of the module that serves the classes). The type library script
/// receives VERSION, TYPELIB, MODULE, MODULE_DIR (the module's directory, the library's help
/// directory) and IID_<interface> for each of the seven interfaces it describes.
#include <filesystem>
#include <string_view>

#include "server/registrar.hpp"
#include "server/registry.hpp"

namespace server {

/// Registers (or unregisters) the type library and the four classes served by the module at
/// `module_path` in `registry`. Registration writes the type library first, unregistration
/// removes the classes first. Throws ScriptError; `registry` may then be half changed, so
/// callers work on a copy.
void register_module(Registry& registry, std::string_view module_path, RegistrarAction action);

/// The same on the registry file (Registry::default_location()), under its lock: the file is
/// replaced only when every script ran. Returns the file. Throws RegistryError or ScriptError.
std::filesystem::path register_module_in_file(std::string_view module_path, RegistrarAction action);

}  // namespace server
