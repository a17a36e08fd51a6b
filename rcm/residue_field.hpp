#pragma once
/// The residue-curve equations dx_i/dxi = x_i - y_i(x), i = 1 .. n - 1, with y the vapour at the
/// bubble point of liquid x at fixed pressure and xi the warped time of open distillation
/// (Doherty & Perkins 1978): the right-hand side and its Jacobian, in a plain form and in the
/// integrator's by-reference form (RCM_FUN, RCM_JAC).
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "rcm/curve_types.hpp"

namespace rcm {

namespace detail {
class PointFlash;
}

/// Difference step of the residue-curve Jacobian [mol/mol].
inline constexpr double kJacobianStep = 1e-6;

/// The vector field of one mixture. The state y holds the first n - 1 mole fractions; the last
/// is 1 minus their sum, and every entry is clipped into [0, 1] before the flash (divided by the
/// sum when the clipped entries exceed 1), so that the integrator may probe slightly outside the
/// simplex.
///
/// Evaluations return the integrator's callback codes: 0 done; positive when the bubble point
/// did not converge and gave nothing usable (the integrator retries with a shorter step);
/// negative after a fatal flash error (the integrator stops). Each failure records message 502
/// or 507. A flash that did not converge but returned usable compositions is used, with 502.
class ResidueField {
public:
    /// `system` is copied; it needs 2 .. kMaxCurveComponents components, a positive pressure and
    /// a phase count of 2 or 3 (std::invalid_argument otherwise).
    explicit ResidueField(CurveSystem system);
    ~ResidueField();
    ResidueField(const ResidueField&) = delete;
    ResidueField& operator=(const ResidueField&) = delete;

    std::size_t equation_count() const noexcept { return system_.components.size() - 1; }
    const CurveSystem& system() const noexcept { return system_; }

    /// ydot = x - y(x) in the first n - 1 components; NaN in ydot when it fails.
    int rhs(std::span<const double> y, std::span<double> ydot);
    /// pd(i, j) = d(x_i - y_i)/dy_j, i, j < n - 1, at pd[i + j * nrowpd], by central differences
    /// of the full bubble-point map over the composition pair of the singular point
    /// classification (step kJacobianStep). NaN in the failed column when it fails.
    int jacobian(std::span<const double> y, std::span<double> pd, std::int64_t nrowpd);

    /// Bubble temperature of the last successful evaluation [K] (0 before the first).
    double last_temperature() const noexcept { return last_temperature_; }

    /// Message codes recorded since the last call of take_messages, in order.
    std::vector<std::int64_t> take_messages();
    std::int64_t flashes() const noexcept { return flashes_; }
    std::int64_t rhs_calls() const noexcept { return rhs_calls_; }
    std::int64_t jacobian_calls() const noexcept { return jacobian_calls_; }

private:
    /// y(x) of the complete, clipped composition into `vapour`; the callback code.
    int vapour(std::span<const double> x, std::span<double> vapour_out);

    CurveSystem system_;
    std::int64_t flashes_ = 0;
    std::int64_t rhs_calls_ = 0;
    std::int64_t jacobian_calls_ = 0;
    std::unique_ptr<detail::PointFlash> flash_;
    std::vector<double> x_, x_plus_, x_minus_, y_plus_, y_minus_;
    std::vector<std::int64_t> messages_;
    double last_temperature_ = 0.0;
};

/// The settings that residue_curve hands to RCM_FUN and RCM_JAC (the classic routines share them
/// through a common block), with the field built from them: this thread's working storage of the
/// by-reference residue-curve routines. residue_curve sets it before it integrates and leaves it
/// set afterwards, so that RCM_FUN and RCM_JAC keep describing the last traced mixture.
struct ResidueCurveSettings {
    std::int64_t component_count = 0;  ///< 0 until residue_curve has run
    std::array<std::int64_t, kMaxCurveComponents> components{};
    std::array<char, kOptionSetFieldLength> option_set{};  ///< blank-padded
    double pressure = 0.0;                                 ///< [Pa]
    std::int64_t phase_count = 2;
};

/// This thread's settings of the by-reference routines (read only).
const ResidueCurveSettings& residue_curve_settings() noexcept;
/// Stores the settings of `system` for RCM_FUN and RCM_JAC (residue_curve does this itself);
/// false, leaving the settings as they were, when the system is not valid.
bool set_residue_curve_settings(const CurveSystem& system);

}  // namespace rcm

extern "C" {
/// The right-hand side in the integrator's by-reference form: neq (= n - 1), t (unused: the
/// field is autonomous), y (neq), ydot (neq, out). Uses this thread's settings; writes NaN into
/// ydot when there are none, neq does not match them, or the bubble point fails (the integrator
/// then retries with a shorter step). Flash failures go to the run log (502, 507). Never throws.
void RCM_FUN(const std::int64_t* neq, const double* t, const double* y, double* ydot) noexcept;
/// The full Jacobian in the integrator's by-reference form: neq, t, y, ml and mu (ignored),
/// pd (nrowpd x neq, column-major, out), nrowpd. The same settings and failure rules as RCM_FUN.
void RCM_JAC(const std::int64_t* neq,
             const double* t,
             const double* y,
             const std::int64_t* ml,
             const std::int64_t* mu,
             double* pd,
             const std::int64_t* nrowpd) noexcept;
}
