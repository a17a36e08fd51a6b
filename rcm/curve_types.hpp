#pragma once
/// Types shared by the curve routines of the residue curve map: the mixture a curve is flashed
/// in, the singular points that end a curve, and what a traced curve returns.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "azeotrope/stability.hpp"

namespace rcm {

/// Most components a curve routine keeps (the width of its component index vector).
inline constexpr std::size_t kMaxCurveComponents = 10;
/// Points of the map's curve buffers, and the most points of one boundary or isovolatility curve.
inline constexpr std::size_t kCurvePointCapacity = 500;
/// Curves of the boundary and isovolatility stores.
inline constexpr std::size_t kCurveCapacity = 20;
/// Length of the option-set name field of the by-reference routines [bytes].
inline constexpr std::int64_t kOptionSetFieldLength = 10;

/// Returned by every curve routine whose arguments cannot describe a curve (sizes, counts,
/// NaN, a start point off the simplex, a pressure, step or phase count out of range). Nothing is
/// traced and nothing goes to the run log.
inline constexpr std::int64_t kCurveBadArguments = -3;

/// The mixture and conditions every point of a curve is flashed at.
struct CurveSystem {
    std::vector<std::int64_t> components;  ///< host component indices, 2 .. kMaxCurveComponents
    double pressure = 0.0;                 ///< [Pa]
    std::int64_t phase_count = 2;          ///< 2: one liquid; 3: the liquid may split in two
    std::string option_set;                ///< property option set (blank: the host's global one)
};

/// Which way a curve is followed from its start point.
enum class Directions : std::int64_t {
    both = 1,      ///< backward and forward; the points run in the forward sense
    forward = 2,   ///< towards higher boiling temperature (a stable node)
    backward = 3,  ///< towards lower boiling temperature (an unstable node)
};

/// When a branch that has come to rest (its steps shrink below a threshold) ends.
enum class StopMode : std::int64_t {
    /// Only near a known node of the kind the branch runs to: a stable node going forward, an
    /// unstable node going backward. Anywhere else the branch goes on (to its point budget).
    at_node = 1,
    at_rest = 2,            ///< wherever it comes to rest
    at_singular_point = 3,  ///< only near a known singular point of any kind
};

/// A pure component or an azeotrope of the map.
struct SingularPoint {
    std::vector<double> x;  ///< mole fractions in component order [mol/mol]
    azeotrope::Stability stability = azeotrope::Stability::unclassified;
    double temperature = 0.0;  ///< boiling temperature [K]; 0 when not known
};

/// A curve through a start point: a residue curve (traced by integration) or a distillation
/// curve (tray by tray at total reflux).
struct CurveProblem {
    CurveSystem system;
    std::vector<double> start;  ///< the start composition, one mole fraction per component
    Directions directions = Directions::both;
    StopMode stop = StopMode::at_rest;
    /// The singular points the stop modes at_node and at_singular_point look for: the pure
    /// components followed by the azeotropes, as the azeotrope search reports them.
    std::vector<SingularPoint> singular_points;
    /// Residue curves: the base output step in warped time (the map's curve step). The stored
    /// points come at steps between step / 5 and 5 step.
    double step = 0.3;
    std::size_t capacity = kCurvePointCapacity;  ///< most points of the whole curve
    /// Also compute the bubble temperature of every returned point (costs a flash per point
    /// where the trace did not already produce it).
    bool temperatures = false;
    /// Where the integrator writes its diagnostics; nullptr silences them.
    std::ostream* integrator_messages = nullptr;
};

/// A traced curve. The default state is never success.
struct Curve {
    /// The points, one after the other, each with one mole fraction per component [mol/mol].
    std::vector<double> points;
    /// Bubble temperature of every point [K] when asked for; NaN where its flash failed.
    std::vector<double> temperatures;
    std::size_t component_count = 0;
    /// 2 when the points run in the forward sense (towards higher boiling temperature), -2 for a
    /// backward-only curve, 0 when nothing was traced.
    std::int64_t order = 0;
    /// The routine's error value (residue curves: kResidueCurve*, distillation curves:
    /// kDistillationCurve*, or kCurveBadArguments).
    std::int64_t error = kCurveBadArguments;
    /// Run-log message codes (501 ...) in the order they arose.
    std::vector<std::int64_t> messages;
    std::size_t forward_points = 0;   ///< points of the forward branch, the start point included
    std::size_t backward_points = 0;  ///< points of the backward branch, the start point included
    // Work counts, for benchmarks and reports.
    std::int64_t flashes = 0;
    std::int64_t rhs_calls = 0;       ///< residue curves: right-hand side evaluations
    std::int64_t jacobian_calls = 0;  ///< residue curves: Jacobian evaluations
    std::int64_t steps = 0;           ///< residue curves: integrator steps

    std::size_t point_count() const noexcept {
        return component_count == 0 ? 0 : points.size() / component_count;
    }
    /// The last message code, or 0.
    std::int64_t message() const noexcept { return messages.empty() ? 0 : messages.back(); }
};

}  // namespace rcm
