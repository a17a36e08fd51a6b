#pragma once
/// Distillation boundaries of a ternary residue curve map: the edges of the triangle between
/// neighbouring singular points, and the separatrices that run out of the saddle azeotropes,
/// traced as residue curves from points just off each saddle along its eigenvectors (a branch
/// leaving the saddle, eigenvalue > 0, forward; a branch entering it, backward).
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <vector>

#include "rcm/curve_types.hpp"

namespace rcm {

/// A boundary set in which a classification or a separatrix trace failed, or that ran out of
/// curve slots (message 512): the curves returned may be incomplete.
inline constexpr std::int64_t kBoundaryIncomplete = 1;
/// Distance of a separatrix's start point from its saddle along the eigenvector [mol/mol].
inline constexpr double kSeparatrixOffset = 0.001;
/// A mole fraction below this does not count a component as present in a singular point.
inline constexpr double kPresentComponent = 1e-6;

enum class BoundaryKind {
    edge,        ///< part of an edge of the triangle between two singular points
    separatrix,  ///< a residue curve leaving or entering a saddle azeotrope
};

struct BoundaryCurve {
    BoundaryKind kind = BoundaryKind::edge;
    std::vector<double> points;        ///< point after point, one mole fraction per component
    std::vector<double> temperatures;  ///< bubble temperatures [K], when asked for
    /// 2 when the points run towards higher boiling temperature, -2 towards lower.
    std::int64_t direction = 0;
    /// Edges: the singular points at the first and the last point. Separatrices: `from` is the
    /// saddle, `to` is npos.
    std::size_t from = 0;
    std::size_t to = npos;
    std::int64_t trace_error = 0;  ///< separatrices: the residue-curve tracer's error value
    static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();
};

struct BoundaryProblem {
    CurveSystem system;  ///< two or three components
    /// The pure components (first, in component order) and the azeotropes with their stability
    /// codes and boiling temperatures, as the azeotrope search reports them. Empty: the pure
    /// components alone. A temperature of 0 (or NaN) is found by a bubble point.
    std::vector<SingularPoint> singular_points;
    double step = 0.3;  ///< output step of the separatrix traces (the map's curve step)
    std::size_t point_capacity = kCurvePointCapacity;  ///< most points per curve
    std::size_t curve_capacity = kCurveCapacity;       ///< most curves
    bool temperatures = false;  ///< bubble temperatures of the separatrix points too
    std::ostream* integrator_messages = nullptr;
};

struct BoundarySet {
    std::vector<BoundaryCurve> curves;  ///< edges first, then the separatrices saddle by saddle
    std::size_t component_count = 0;
    std::int64_t error = kCurveBadArguments;  ///< 0, kBoundaryIncomplete or kCurveBadArguments
    std::vector<std::int64_t> messages;       ///< run-log codes in order (512 and the traces')
    std::int64_t flashes = 0;
};

/// The boundary set. Edges: for each pair of pure components i < j, the azeotropes of those two
/// components on that edge split it (ordered from i to j); each piece is a two-point curve whose
/// direction follows the boiling temperatures. Separatrices: for each saddle azeotrope of three
/// components, both signs of both eigenvectors; for a saddle of two components (on an edge),
/// only the eigenvector that leaves the edge, with the sign that points into the triangle (the
/// edge itself is already covered). Start points with a negative mole fraction are skipped;
/// traces stop near any singular point. Never more than curve_capacity curves or
/// point_capacity points per curve. Never throws except for allocation failure.
BoundarySet distillation_boundaries(const BoundaryProblem& problem);

}  // namespace rcm

extern "C" {
/// Dist_Boundary, every argument by reference (integers 64 bits wide): nc (2 or 3), pressure
/// [Pa], nSing (azeotropes), singular compositions (nc x (nc + nSing), point after point),
/// stability codes and boiling temperatures [K] (nc + nSing each; the three singular arrays may
/// be null: the pure components are then used alone), step, component index vector, option-set
/// name (10-character field), phase count, curves (out), point counts (20 entries; in: the first
/// is the point capacity, at most 500; out: one count per curve), curve store (20 curves, curve c
/// from point slot c * capacity, -1.0 elsewhere), directions (20 entries, out), error (out: 0,
/// kBoundaryIncomplete or kCurveBadArguments), length of the option-set field. Messages (512 and
/// those of the traces and classifications) go to the run log. Never throws.
void Dist_Boundary(const std::int64_t* nc,
                   const double* pressure,
                   const std::int64_t* nsing,
                   const double* singular_compositions,
                   const std::int64_t* stability_codes,
                   const double* boiling_temperatures,
                   const double* step,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   std::int64_t* curves,
                   std::int64_t* point_counts,
                   double* store,
                   std::int64_t* directions,
                   std::int64_t* error,
                   const std::int64_t* option_set_length) noexcept;
}
