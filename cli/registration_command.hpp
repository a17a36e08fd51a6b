#pragma once
/// `distil register` and `distil unregister`: register the engine module's classes and type
/// library in the class registry (or remove them again) through the module's own
/// DllRegisterServer and DllUnregisterServer. The registry is the file TARNDISTIL_REGISTRY names,
/// else the per-user default ($XDG_CONFIG_HOME/tarndistil/registry or
/// ~/.config/tarndistil/registry); --registry names another.
#include <iosfwd>
#include <string>

namespace CLI {
class App;
}

namespace cli {

class RegistrationCommand {
public:
    explicit RegistrationCommand(CLI::App& app);
    RegistrationCommand(const RegistrationCommand&) = delete;  // the parser keeps pointers
    RegistrationCommand& operator=(const RegistrationCommand&) = delete;

    bool parsed() const;
    /// Runs the parsed subcommand: prints what it did and returns 0, or prints the module's
    /// error text to `err` and returns 2.
    int run(std::ostream& out, std::ostream& err) const;

private:
    CLI::App* register_ = nullptr;
    CLI::App* unregister_ = nullptr;
    std::string registry_;
};

}  // namespace cli
