#pragma once
/// Distillation curves: the tray compositions of a column at total reflux, where the liquid
/// leaving a tray has the composition of the vapour rising to it (x_{k+1} = y*(x_k) going up).
/// Through a start composition they are built tray by tray with equilibrium flashes in both
/// directions until the sequence comes to rest at a singular point or the point budget is spent.
#include <cstdint>

#include "rcm/curve_types.hpp"

namespace rcm {

/// Error values of a distillation curve (the last condition met wins when both branches run).
inline constexpr std::int64_t kDistillationCurveOk = 0;
/// A branch used up its point budget (message 501).
inline constexpr std::int64_t kDistillationCurvePointBudget = 1;
/// A flash failed without a usable answer (message 507 for a fatal host error, 502 for one that
/// did not converge); the branch ends with the points found so far.
inline constexpr std::int64_t kDistillationCurveFlashFailed = -1;
/// The branch buffers could not be allocated (message 505); nothing is returned.
inline constexpr std::int64_t kDistillationCurveWorkSpace = -2;

/// Builds the distillation curve through problem.start (problem.step is not used: one point is
/// one tray). Forward, each new point is the liquid in equilibrium with a vapour of the current
/// composition (a dew point: towards higher boiling temperature); backward, the vapour in
/// equilibrium with a liquid of the current composition (a bubble point). A branch comes to rest
/// when its squared displacement falls to 2.5e-9 or less while still shrinking; the stop mode
/// decides whether it ends there (singular points count as near within the same squared
/// distance). Budget and assembly as for residue curves. Temperatures are cheap here: every
/// flash gives one. Never throws except for allocation failure.
Curve trace_distillation_curve(const CurveProblem& problem);

}  // namespace rcm

extern "C" {
/// Distillation_Curve, every argument by reference (integers 64 bits wide): nc, x0, directions,
/// stop mode, nSing, singular compositions, stability codes, pressure [Pa], component index
/// vector (at most 10), option-set name (10-character field), phase count, points (in: capacity
/// maxpts; out: points returned), order (out), result (maxpts x nc, point after point, -1.0
/// beyond the curve), error (out: kDistillationCurve* or kCurveBadArguments), length of the
/// option-set field. Messages (501, 502, 507) go to the run log. Never throws.
void Distillation_Curve(const std::int64_t* nc,
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
                        std::int64_t* points,
                        std::int64_t* order,
                        double* result,
                        std::int64_t* error,
                        const std::int64_t* option_set_length) noexcept;
}
