#pragma once
/// `distil map`: the residue-curve map of a ternary mixture as a picture (SVG, and PNG through
/// rsvg-convert when it is installed). It asks the engine's distillation map for the singular
/// points, residue curves from start points covering every distillation region, the
/// distillation boundaries, the two-liquid envelope with its tie lines and, on request, the
/// isovolatility curves, and draws them with cli/ternary_plot.
#include <iosfwd>
#include <string>

#include "cli/map_commands.hpp"
#include "cli/session.hpp"

namespace CLI {
class App;
}

namespace cli {

struct MapOptions {
    AnalysisOptions analysis;  ///< pressure, option set, phases, --json (no --csv)
    std::string svg;           ///< the picture to write
    std::string png;           ///< also a PNG, rendered by rsvg-convert; empty: none
    bool isovolatility = false;
    bool envelope = true;
    std::string lle_temperature = "298.15 K";  ///< the LLE envelope's, with --phases 2
    int grid = 9;        ///< residue curves start on a lattice of this many divisions too
    int tie_lines = 10;  ///< at most this many tie lines are drawn
};

/// Draws the map, prints a summary (one JSON object with --json) and returns the exit status:
/// 0, or 3 when the azeotrope search, the boundaries or the envelope reported an error code
/// (the picture is written all the same). Bad options throw InputError; a PNG that cannot be
/// rendered throws std::runtime_error after the SVG is written.
int run_map(const ProblemSource& source, const MapOptions& options, std::ostream& out);

/// The subcommand on the program's command line: its options, and running it once parsed.
class MapCommand {
public:
    explicit MapCommand(CLI::App& app);
    MapCommand(const MapCommand&) = delete;  // the parser keeps pointers to the members
    MapCommand& operator=(const MapCommand&) = delete;

    bool parsed() const;
    int run(std::ostream& out) const { return run_map(source_, options_, out); }

private:
    CLI::App* command_ = nullptr;
    ProblemSource source_;
    MapOptions options_;
};

}  // namespace cli
