// distil: the command line of the distillation design engine. It is an ordinary client of the
// engine's automation objects: every number comes through the property package.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.hpp"
#include "cli/quantity.hpp"
#include "cli/session.hpp"

namespace {

/// Options that name the problem, shared by every command.
void add_problem_options(CLI::App& command, cli::ProblemSource& source) {
    command.add_option("problem", source.file, "problem-definition file (TOML)");
    command.add_option("--components", source.components,
                       "component ids, comma-separated: without a problem file, databank ids to "
                       "build the problem from; with one, the components to use");
    command.add_option("--method", source.method,
                       "property method of a problem built from the databank: IDEAL, WILSON, "
                       "NRTL, UNIQUAC or UNIFAC");
    command.add_option("--work-dir", source.work_dir,
                       "keep the host's history and report files in this directory");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"distil: conceptual design of azeotropic and heterogeneous distillation"};
    app.require_subcommand(1);

    cli::ProblemSource components_source;
    bool components_json = false;
    CLI::App* components = app.add_subcommand(
        "components",
        "list the components and option sets of a problem (of the whole databank when no "
        "problem is named)");
    add_problem_options(*components, components_source);
    components->add_flag("--json", components_json, "print one JSON object");

    cli::ProblemSource flash_source;
    cli::FlashOptions flash;
    CLI::App* flash_command = app.add_subcommand("flash", "one equilibrium flash");
    add_problem_options(*flash_command, flash_source);
    flash_command->add_option("--kind", flash.kind, "bubble, dew, tp or ph")->required();
    flash_command->add_option("--x", flash.x, "liquid mole fractions, comma-separated");
    flash_command->add_option("--y", flash.y, "vapour mole fractions, comma-separated");
    flash_command->add_option("--z", flash.z, "feed mole fractions, comma-separated");
    flash_command->add_option("--pressure", flash.pressure,
                              "pressure: Pa (default), kPa, MPa, bar, atm or mmHg, e.g. 1atm");
    flash_command->add_option("--temperature", flash.temperature,
                              "temperature: K (default) or C, e.g. 78.3C");
    flash_command->add_option("--enthalpy", flash.enthalpy,
                              "molar enthalpy for --kind ph: J/kmol (default), kJ/kmol, J/mol "
                              "or kJ/mol (reference: ideal gas at 298.15 K)");
    flash_command->add_option("--option-set", flash.option_set,
                              "option set of the problem (default: its global one)");
    flash_command->add_option("--phases", flash.phases, "phase count: 2 or 3");
    flash_command->add_flag("--json", flash.json, "print one JSON object");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "distil: " << e.what() << " (see --help)\n";
        return e.get_exit_code() != 0 ? e.get_exit_code() : 1;
    }

    try {
        if (components->parsed()) {
            components_source.whole_databank = true;
            return cli::run_components(components_source, components_json, std::cout);
        }
        return cli::run_flash(flash_source, flash, std::cout);
    } catch (const cli::InputError& e) {
        std::cerr << "distil: " << e.what() << '\n';
        return 1;
    } catch (const cli::OpenError& e) {
        std::cerr << "distil: " << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "distil: " << e.what() << '\n';
        return 4;
    }
}
