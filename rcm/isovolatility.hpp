#pragma once
/// Isovolatility curves of a ternary mixture: the loci where two components are equally
/// volatile, alpha_jk = K_j / K_k = 1 with K_m = y_m / x_m at the bubble point of liquid x
/// (Kiva, Hilmen & Skogestad 2003). A curve of a pair starts on the edge that joins the pair (at
/// the pair's azeotrope, if it has one) and is followed into the triangle by a predictor-corrector
/// continuation until it reaches another edge.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rcm/curve_types.hpp"

namespace rcm {

/// The corrector stops when |K_j - target K_k| falls below this.
inline constexpr double kIsovolatilityTolerance = 0.0005;
/// Length of a predictor step [mol/mol] in the (x_1, x_3) plane.
inline constexpr double kIsovolatilityPredictorStep = 0.02;
/// Secant trials of one corrector before the curve is given up.
inline constexpr int kIsovolatilityMaxTrials = 25;

/// Why a curve ended.
enum class IsovolatilityEnd {
    bad_arguments,     ///< nothing traced: the arguments cannot describe a curve
    capacity,          ///< the point capacity was reached
    left_triangle,     ///< a corrector trial fell outside the triangle
    not_converged,     ///< the corrector did not converge (or stalled)
    flash_failed,      ///< a bubble point failed, or a K-value was undefined
    component_absent,  ///< a component of the pair was absent at a corrector start
    reached_edge,      ///< a point came within 0.005 of another edge
    predicted_edge,    ///< the predictor crossed an edge; the last point lies on it
};

struct IsovolatilityCurve {
    std::int64_t excluded = 0;         ///< 1, 2 or 3: the component that is not in the pair
    std::vector<double> points;        ///< x_1, x_2, x_3 of each point [mol/mol]
    std::vector<double> temperatures;  ///< bubble temperature of each point [K]
    /// K of the excluded component at each point; NaN where that component is absent.
    std::vector<double> k_excluded;
    IsovolatilityEnd end = IsovolatilityEnd::bad_arguments;
    std::int64_t flashes = 0;
    std::size_t point_count() const noexcept { return points.size() / 3; }
};

/// Traces the curve K_j = target K_k of the pair j < k that excludes component `excluded`
/// (1, 2 or 3) from `start` (three mole fractions; the excluded one is set to 1e-5). Each point
/// is found by a secant search along a direction that keeps the sum of the mole fractions:
/// along the pair's edge for the first point, then perpendicular to the chord of the last two
/// points in the (x_1, x_3) plane, after a predictor step of 0.02 along that chord. The curve
/// stops at `capacity` points. A bad argument (system not ternary, selector outside 1..3,
/// start or target not usable) gives an empty curve that ended with bad_arguments. Never throws
/// except for allocation failure.
IsovolatilityCurve trace_isovolatility_curve(const CurveSystem& system,
                                             std::int64_t excluded,
                                             std::span<const double> start,
                                             double target_ratio = 1.0,
                                             std::size_t capacity = kCurvePointCapacity);

struct IsovolatilityCurves {
    std::vector<IsovolatilityCurve> curves;   ///< pairs with at least one point, selector order
    std::int64_t error = kCurveBadArguments;  ///< 0, or kCurveBadArguments
    std::int64_t flashes = 0;
};

/// The unit-volatility curves of the three pairs: for excluded component 1, 2, 3 in turn, a
/// curve from the middle of the pair's edge. Pairs without a point give no curve.
IsovolatilityCurves isovolatility_curves(const CurveSystem& system,
                                         std::size_t curve_capacity = kCurveCapacity,
                                         std::size_t point_capacity = kCurvePointCapacity);

}  // namespace rcm

extern "C" {
/// The isovolatility curve driver, every argument by reference: nc (3), pressure [Pa], component
/// index vector, phase count, option-set name (field), curves (in: capacity, at most 20; out:
/// curves found), point counts (in: the first entry is the point capacity, at most 500; out: one
/// count per curve), curve store (curve c from point slot c * capacity, three mole fractions per
/// point, -1.0 elsewhere), error (out: 0, or kCurveBadArguments), length of the option-set
/// field. Never throws.
void Isovolatility_Curves(const std::int64_t* nc,
                          const double* pressure,
                          const std::int64_t* component_ids,
                          const std::int64_t* phase_count,
                          const char* option_set,
                          std::int64_t* curves,
                          std::int64_t* point_counts,
                          double* store,
                          std::int64_t* error,
                          const std::int64_t* option_set_length) noexcept;

/// The single-curve tracer, every argument by reference: status (in/out: a value of 2 or more
/// becomes 1 when the curve ends at an absent component of the pair; -3 for bad arguments), an
/// unused integer, pressure [Pa], nc (3), component index vector, pair selector (1, 2 or 3: the
/// component not in the pair), start composition (3), target volatility ratio, point capacity,
/// points found (out), a work array (unused, may be null), bubble temperature per point (out),
/// K of the excluded component per point (out), x_1, x_2 and x_3 per point (three arrays, out),
/// phase count, option-set name (field), length of the field. Never throws.
void Isovolatility_Curve(std::int64_t* status,
                         const std::int64_t* unused,
                         const double* pressure,
                         const std::int64_t* nc,
                         const std::int64_t* component_ids,
                         const std::int64_t* pair_selector,
                         const double* composition,
                         const double* target_ratio,
                         const std::int64_t* capacity,
                         std::int64_t* points_found,
                         double* work,
                         double* temperatures,
                         double* k_excluded,
                         double* x1,
                         double* x2,
                         double* x3,
                         const std::int64_t* phase_count,
                         const char* option_set,
                         const std::int64_t* option_set_length) noexcept;
}
