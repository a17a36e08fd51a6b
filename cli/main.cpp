// distil: the command line of the distillation design engine. It is an ordinary client of the
// engine's automation objects: every number comes through the property package, the
// distillation map or the azeotrope search of a root object.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.hpp"
#include "cli/design_command.hpp"
#include "cli/map_command.hpp"
#include "cli/map_commands.hpp"
#include "cli/quantity.hpp"
#include "cli/registration_command.hpp"
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

    // The analyses: a problem, settings shared by all of them, and their own options.
    const auto add_analysis_options = [](CLI::App& command, cli::AnalysisOptions& o, bool tables,
                                         bool phases) {
        command.add_option(
            "--pressure", o.pressure,
            "pressure: Pa (default unit), kPa, MPa, bar, atm or mmHg; default 1 atm");
        command.add_option("--option-set", o.option_set,
                           "option set of the problem (default: its global one)");
        if (phases) {
            command.add_option("--phases", o.phases,
                               "phase count of the flashes: 2, or 3 to let the liquid split");
        }
        command.add_flag("--json", o.json, "print one JSON object");
        if (tables) { command.add_flag("--csv", o.csv, "print comma-separated values"); }
    };

    cli::ProblemSource azeotropes_source;
    cli::AnalysisOptions azeotropes_options;
    CLI::App* azeotropes = app.add_subcommand(
        "azeotropes", "pure components and every azeotrope of 2 to 20 components");
    add_problem_options(*azeotropes, azeotropes_source);
    add_analysis_options(*azeotropes, azeotropes_options, false, true);

    cli::ProblemSource curve_source;
    cli::AnalysisOptions curve_options;
    cli::CurveOptions curve;
    CLI::App* curve_command = app.add_subcommand(
        "curve", "a residue or distillation curve through a composition (three components)");
    add_problem_options(*curve_command, curve_source);
    add_analysis_options(*curve_command, curve_options, true, true);
    curve_command->add_option("--from", curve.from, "start composition: x_top,x_left,x_right")
        ->required();
    curve_command->add_option("--kind", curve.kind, "residue (default) or distillation");
    curve_command->add_option("--step", curve.step,
                              "residue curves: base output step in warped time (default 0.3)");
    curve_command->add_flag("--stop-at-nodes", curve.stop_at_nodes,
                            "end the curve only at a node of the known singular points");

    cli::ProblemSource boundaries_source;
    cli::AnalysisOptions boundaries_options;
    CLI::App* boundaries = app.add_subcommand(
        "boundaries", "distillation boundaries: edges and separatrices (three components)");
    add_problem_options(*boundaries, boundaries_source);
    add_analysis_options(*boundaries, boundaries_options, true, true);

    cli::ProblemSource isovolatility_source;
    cli::AnalysisOptions isovolatility_options;
    CLI::App* isovolatility = app.add_subcommand(
        "isovolatility", "unit-volatility curves of the three pairs (three components)");
    add_problem_options(*isovolatility, isovolatility_source);
    add_analysis_options(*isovolatility, isovolatility_options, true, true);

    const auto add_liquid_liquid_options = [](CLI::App& command, cli::LiquidLiquidOptions& o) {
        command.add_flag("--lle", o.lle, "liquid-liquid, at --temperature and the pressure");
        command.add_flag("--vlle", o.vlle, "vapour-liquid-liquid, at the bubble point");
        command.add_option("--temperature", o.temperature,
                           "temperature of --lle: K (default) or C, e.g. 25C");
    };
    cli::ProblemSource envelope_source;
    cli::AnalysisOptions envelope_options;
    cli::LiquidLiquidOptions envelope;
    CLI::App* envelope_command = app.add_subcommand(
        "envelope", "two-liquid envelopes with their tie lines (three components)");
    add_problem_options(*envelope_command, envelope_source);
    add_analysis_options(*envelope_command, envelope_options, true, false);
    add_liquid_liquid_options(*envelope_command, envelope);
    envelope_command->add_option("--step", envelope.step,
                                 "predictor step of the tracer in mole fraction (default 0.1)");

    cli::ProblemSource tieline_source;
    cli::AnalysisOptions tieline_options;
    cli::LiquidLiquidOptions tieline;
    CLI::App* tieline_command =
        app.add_subcommand("tieline", "the tie line through an overall composition");
    add_problem_options(*tieline_command, tieline_source);
    add_analysis_options(*tieline_command, tieline_options, false, false);
    add_liquid_liquid_options(*tieline_command, tieline);
    tieline_command->add_option("--feed", tieline.feed, "overall composition x_top,x_left,x_right")
        ->required();

    const cli::MapCommand map_command(app);
    const cli::RegistrationCommand registration_command(app);

    std::string study;
    bool design_json = false;
    CLI::App* design = app.add_subcommand(
        "design", "a column design study: feed, balance, boundary-value design, products");
    design->add_option("study", study, "study file (TOML, see docs/cli.md)")->required();
    design->add_flag("--json", design_json, "print one JSON object");

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
        if (flash_command->parsed()) { return cli::run_flash(flash_source, flash, std::cout); }
        if (azeotropes->parsed()) {
            return cli::run_azeotropes(azeotropes_source, azeotropes_options, std::cout);
        }
        if (curve_command->parsed()) {
            return cli::run_curve(curve_source, curve_options, curve, std::cout);
        }
        if (boundaries->parsed()) {
            return cli::run_boundaries(boundaries_source, boundaries_options, std::cout);
        }
        if (isovolatility->parsed()) {
            return cli::run_isovolatility(isovolatility_source, isovolatility_options, std::cout);
        }
        if (envelope_command->parsed()) {
            return cli::run_envelope(envelope_source, envelope_options, envelope, std::cout);
        }
        if (tieline_command->parsed()) {
            return cli::run_tieline(tieline_source, tieline_options, tieline, std::cout);
        }
        if (map_command.parsed()) { return map_command.run(std::cout); }
        if (registration_command.parsed()) {
            return registration_command.run(std::cout, std::cerr);
        }
        return cli::run_design(study, design_json, std::cout);
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
