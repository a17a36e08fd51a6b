#include "server/registration.hpp"

#include <array>
#include <string>
#include <vector>

#include "engine/core/class_ids.hpp"
#include "server/detail/registry_scripts.hpp"

namespace server {

namespace {

using engine::core::kTypeLibraryVersion;

/// The script of each class, by its resource identifier.
struct ClassScript {
    int id;
    platform::CLSID clsid;
};
constexpr std::array<ClassScript, 4> kClassScripts{{
    {101, engine::core::CLSID_Distil},
    {106, engine::core::CLSID_PropertyPackage},
    {107, engine::core::CLSID_DistillationMap},
    {108, engine::core::CLSID_AzeotropeSearch},
}};
constexpr int kTypeLibraryScript = 1;

const detail::RegistryScript& script(int id) {
    for (const detail::RegistryScript& s : detail::registry_scripts()) {
        if (s.id == id) { return s; }
    }
    throw ScriptError("registry script " + std::to_string(id) + " is not in the module");
}

void run_type_library(Registry& registry, std::string_view module_path, RegistrarAction action) {
    const std::string directory = std::filesystem::path(module_path).parent_path().string();
    const std::vector<ReplacementVariable> variables{
        {"VERSION", std::string(kTypeLibraryVersion)},
        {"TYPELIB", platform::to_string(engine::core::LIBID_TARNDISTILLib)},
        {"MODULE", std::string(module_path)},
        {"MODULE_DIR", directory},
        {"IID_IDistil", platform::to_string(engine::core::IID_IDistil)},
        {"IID_IAzeotropeSearch", platform::to_string(engine::core::IID_IAzeotropeSearch)},
        {"IID_IDistillationMap", platform::to_string(engine::core::IID_IDistillationMap)},
        {"IID_IPropertyPackage", platform::to_string(engine::core::IID_IPropertyPackage)},
        {"IID__IDistilEvents", platform::to_string(engine::core::DIID__IDistilEvents)},
        {"IID__IDistillationMapEvents",
         platform::to_string(engine::core::DIID__IDistillationMapEvents)},
        {"IID__IAzeotropeSearchEvents",
         platform::to_string(engine::core::DIID__IAzeotropeSearchEvents)},
    };
    const detail::RegistryScript& s = script(kTypeLibraryScript);
    run_registry_script(registry, s.text, s.name, variables, action);
}

void run_class(Registry& registry,
               const ClassScript& c,
               std::string_view module_path,
               RegistrarAction action) {
    const std::vector<ReplacementVariable> variables{
        {"VERSION", std::string(kTypeLibraryVersion)},
        {"CLSID", platform::to_string(c.clsid)},
        {"TYPELIB", platform::to_string(engine::core::LIBID_TARNDISTILLib)},
        {"MODULE", std::string(module_path)},
    };
    const detail::RegistryScript& s = script(c.id);
    run_registry_script(registry, s.text, s.name, variables, action);
}

}  // namespace

void register_module(Registry& registry, std::string_view module_path, RegistrarAction action) {
    if (action == RegistrarAction::register_keys) {
        run_type_library(registry, module_path, action);
        for (const ClassScript& c : kClassScripts) { run_class(registry, c, module_path, action); }
    } else {
        for (const ClassScript& c : kClassScripts) { run_class(registry, c, module_path, action); }
        run_type_library(registry, module_path, action);
    }
}

std::filesystem::path register_module_in_file(std::string_view module_path,
                                              RegistrarAction action) {
    const std::filesystem::path file = Registry::default_location();
    const RegistryLock lock(file);
    Registry registry = Registry::load(file);
    register_module(registry, module_path, action);
    registry.save(file);
    return file;
}

}  // namespace server
