#pragma once
/// The analysis commands of the distil program: azeotropes, curves, boundaries, isovolatility
/// curves, liquid-liquid envelopes and tie lines. Each drives the engine's distillation map (or
/// its azeotrope search) through the root object of a Session, prints its result to `out` and
/// returns the exit status; bad input throws InputError.
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/session.hpp"

namespace cli {

/// Settings every analysis shares, as the user wrote them.
struct AnalysisOptions {
    std::string pressure = "1 atm";
    std::string option_set;  ///< empty: the problem's global (or built) option set
    int phases = 2;
    bool json = false;
    bool csv = false;
};

/// Exit status of an analysis that ran but reported an error code (printed all the same).
inline constexpr int kAnalysisFailedStatus = 3;

/// `distil azeotropes`: pure components and every azeotrope of 2 to 20 components.
int run_azeotropes(const ProblemSource& source, const AnalysisOptions& options, std::ostream& out);

struct CurveOptions {
    std::string from;              ///< start composition
    std::string kind = "residue";  ///< residue or distillation
    std::optional<double> step;    ///< residue curves: output step in warped time
    bool stop_at_nodes = false;    ///< end only at nodes (CurveCalcOption 1)
};
/// `distil curve`: a residue or distillation curve with the bubble temperature of every point.
int run_curve(const ProblemSource& source,
              const AnalysisOptions& options,
              const CurveOptions& curve,
              std::ostream& out);

/// `distil boundaries`: edges and separatrices of the diagram.
int run_boundaries(const ProblemSource& source, const AnalysisOptions& options, std::ostream& out);

/// `distil isovolatility`: the unit-volatility curves of the three pairs.
int run_isovolatility(const ProblemSource& source,
                      const AnalysisOptions& options,
                      std::ostream& out);

struct LiquidLiquidOptions {
    bool lle = false;   ///< liquid-liquid at --temperature
    bool vlle = false;  ///< vapour-liquid-liquid at the bubble point
    std::optional<std::string> temperature;
    std::optional<double> step;  ///< envelope predictor step [mol/mol]
    std::string feed;            ///< tie line: the overall composition
};
/// `distil envelope`: the two-liquid envelopes with their tie lines.
int run_envelope(const ProblemSource& source,
                 const AnalysisOptions& options,
                 const LiquidLiquidOptions& lle,
                 std::ostream& out);
/// `distil tieline`: the tie line through one overall composition.
int run_tieline(const ProblemSource& source,
                const AnalysisOptions& options,
                const LiquidLiquidOptions& lle,
                std::ostream& out);

}  // namespace cli
