#pragma once
/// Pieces shared by the residue-curve and distillation-curve tracers: the end rule of a branch,
/// the assembly of two branches into one curve, and the by-reference argument lists.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rcm/curve_types.hpp"

namespace rcm::detail {

/// One direction of a curve: its points (the start point first) and, where the trace produced
/// them on the way, their bubble temperatures (NaN where not known).
struct Branch {
    std::vector<double> points;
    std::vector<double> temperatures;
    std::size_t count(std::size_t n) const noexcept { return points.size() / n; }
};

/// Whether a branch that has come to rest at x ends there. at_node looks for a stable node going
/// forward and an unstable node going backward; at_singular_point for any singular point;
/// "near" means within the squared distance radius2.
bool ends_here(StopMode mode,
               bool forward,
               std::span<const double> x,
               const std::vector<SingularPoint>& singular_points,
               double radius2) noexcept;

/// Puts the branches together into curve.points and curve.temperatures (when `temperatures`):
/// both directions give the backward points from their far end to the start point, then the
/// forward points without the start point; one direction gives its branch as traced. Sets
/// order, forward_points and backward_points.
void assemble(const Branch& backward,
              const Branch& forward,
              Directions directions,
              std::size_t n,
              bool temperatures,
              Curve& curve);

/// Fills unknown (NaN) temperatures of the curve with bubble-point flashes.
void fill_temperatures(const CurveSystem& system, Curve& curve);

/// The common by-reference arguments of residue_curve and Distillation_Curve, read into a
/// problem. False when they cannot describe a curve.
struct CurveArguments {
    const std::int64_t* nc;
    const double* x0;
    const std::int64_t* directions;
    const std::int64_t* stop_mode;
    const std::int64_t* nsing;
    const double* singular_compositions;
    const std::int64_t* stability_codes;
    const double* pressure;
    const std::int64_t* component_ids;
    const char* option_set;
    const std::int64_t* option_set_length;
    const std::int64_t* phase_count;
    const std::int64_t* points;  ///< capacity
};
bool read_curve_arguments(const CurveArguments& a, CurveProblem& problem);

/// Fills the result array (capacity x n) with -1.0 and copies the curve's points into it.
void store_curve(const Curve& curve, std::size_t capacity, std::size_t n, double* result) noexcept;

/// Writes the messages to the run log, in order.
void write_run_log(std::span<const std::int64_t> messages) noexcept;

/// Largest point capacity a by-reference caller may pass: anything larger is a garbage count, not
/// a buffer.
inline constexpr std::int64_t kMaxCurvePoints = 100000;
/// Largest azeotrope count a by-reference caller may pass (the azeotrope search's capacity).
inline constexpr std::int64_t kMaxSingularAzeotropes = 100;

}  // namespace rcm::detail
