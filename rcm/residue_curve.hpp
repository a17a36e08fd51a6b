#pragma once
/// Residue curves: the path of the liquid left in a still during open (Rayleigh) distillation,
/// traced through a start composition by integrating dx/dxi = x - y(x) with LSODA in both
/// directions until the curve comes to rest at a singular point or the point budget is spent.
#include <cstdint>
#include <span>
#include <vector>

#include "rcm/curve_types.hpp"

namespace azeotrope {
struct SearchResult;
}

namespace rcm {

/// Error values of a residue curve (the last condition met wins when both branches run).
inline constexpr std::int64_t kResidueCurveOk = 0;
/// The integrator failed in a direction (message 503 forward, 504 backward); the points up to
/// there are returned.
inline constexpr std::int64_t kResidueCurveIntegrationFailed = 1;
/// A branch used up its point budget (message 501).
inline constexpr std::int64_t kResidueCurvePointBudget = 2;
/// The integrator's work space could not be allocated (message 505); nothing is traced.
inline constexpr std::int64_t kResidueCurveWorkSpace = -2;

/// Integrator tolerances of residue-curve tracing (relative and absolute, on mole fractions).
inline constexpr double kResidueCurveTolerance = 1e-5;

/// Traces the residue curve through problem.start (CurveProblem describes the fields). The
/// stored points are spaced by an output-step control: squared distances between neighbours are
/// kept between 0.000225 and 0.0025 by adapting the step in warped time within [step / 5,
/// 5 step]; a point leaving the simplex by more than 1e-7 is clipped back and the integrator
/// restarted there, so a curve that reaches an edge follows it. A branch comes to rest when its
/// squared displacement falls to 2.5e-9 or less while still shrinking; the stop mode decides
/// whether it ends there (singular points count as near within a squared distance of 2.5e-7).
/// The forward branch may use the whole capacity, the backward one what the forward one left;
/// both directions give the backward points from their far end, then the forward points (the
/// start point once). Never throws except for allocation failure of the result itself.
Curve trace_residue_curve(const CurveProblem& problem);

/// Bubble temperatures [K] of points (n mole fractions each, one after the other) of `system`;
/// NaN where a flash fails. `flashes` is increased by the flashes spent.
std::vector<double> bubble_temperatures(const CurveSystem& system,
                                        std::span<const double> points,
                                        std::int64_t& flashes);

/// The singular points of an azeotrope search: the pure components (in component order) with
/// their boiling temperatures and stability codes, then the azeotropes in the order found.
std::vector<SingularPoint> singular_points_from_search(const azeotrope::SearchResult& search);

/// The singular points of a by-reference argument list: n + nSing compositions of n mole
/// fractions each (point after point) with their stability codes and, when given, boiling
/// temperatures. Null arrays give no points.
std::vector<SingularPoint> singular_points_from_arrays(std::size_t n,
                                                       std::size_t count,
                                                       const double* compositions,
                                                       const std::int64_t* stability,
                                                       const double* temperatures);

}  // namespace rcm

extern "C" {
/// residue_curve, every argument by reference (integers 64 bits wide): nc, x0 (nc), directions
/// (1 both, 2 forward, 3 backward), stop mode (1, 2, 3), nSing, singular compositions
/// (nc x (nc + nSing), point after point), stability codes (nc + nSing), pressure [Pa],
/// component index vector (nc, at most 10), option-set name (10-character field), phase count,
/// step, points (in: capacity maxpts; out: points returned), order (out: 2, or -2 for a
/// backward-only curve), result (maxpts x nc, point after point, -1.0 beyond the curve), error
/// (out: kResidueCurve* or kCurveBadArguments), length of the option-set field. The singular
/// arrays may be null when stop mode 2 is used. Stores the settings of RCM_FUN and RCM_JAC, and
/// writes its messages (501, 503, 504, 505 and those of the flashes) to the run log. The
/// integrator's diagnostics go to standard output. Never throws.
void residue_curve(const std::int64_t* nc,
                   const double* x0,
                   const std::int64_t* directions,
                   const std::int64_t* stop_mode,
                   const std::int64_t* nsing,
                   const double* singular_compositions,
                   const std::int64_t* stability_codes,
                   const double* pressure,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   const double* step,
                   std::int64_t* points,
                   std::int64_t* order,
                   double* result,
                   std::int64_t* error,
                   const std::int64_t* option_set_length) noexcept;
}
