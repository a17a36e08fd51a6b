#include "cli/registration_command.hpp"

#include <fmt/format.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <ostream>

#include "engine/core/class_ids.hpp"
#include "engine/module.hpp"
#include "engine/module_entry_points.h"
#include "platform/error_info.hpp"

namespace cli {

RegistrationCommand::RegistrationCommand(CLI::App& app) {
    register_ = app.add_subcommand(
        "register", "register the engine's classes and type library in the class registry");
    unregister_ = app.add_subcommand(
        "unregister", "remove the engine's classes and type library from the class registry");
    for (CLI::App* command : {register_, unregister_}) {
        command->add_option("--registry", registry_,
                            "registry file (default: $TARNDISTIL_REGISTRY, else "
                            "$XDG_CONFIG_HOME/tarndistil/registry or "
                            "~/.config/tarndistil/registry)");
    }
}

bool RegistrationCommand::parsed() const { return register_->parsed() || unregister_->parsed(); }

int RegistrationCommand::run(std::ostream& out, std::ostream& err) const {
    // The module reads the registry's location from the environment, as every client does.
    if (!registry_.empty()) { ::setenv("TARNDISTIL_REGISTRY", registry_.c_str(), 1); }
    const bool registering = register_->parsed();
    const platform::HRESULT hr = registering ? DllRegisterServer() : DllUnregisterServer();
    if (platform::FAILED(hr)) {
        const auto info = platform::take_error_info();
        err << fmt::format(
            "distil: {} failed (0x{:08X}){}{}\n", registering ? "registration" : "unregistration",
            platform::hresult_bits(hr), info ? ": " : "", info ? info->description : "");
        return 2;
    }
    out << fmt::format("{} TARNDistil {} (4 classes and the type library) {} {}\n",
                       registering ? "registered" : "unregistered",
                       engine::core::kTypeLibraryVersion, registering ? "in" : "from",
                       engine::registry_location());
    return 0;
}

}  // namespace cli
