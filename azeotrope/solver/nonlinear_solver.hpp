#pragma once
/// Plain C++ face of the FUNEQ1/FUNEQ2 solver: the same iteration, driven by a callback instead
/// of reverse communication.
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace azeotrope::solver {

/// Settings of one solve (IPAR(1..8), IPAR(10) and RPAR(1..7) of the routines). The defaults are
/// the values the routines' corrections give an unset entry; the corrections apply here too.
struct SolverSettings {
    std::int64_t x_scaling = 0;  ///< 1 use diagx; 2 scales from Jacobian column norms; else 1.0
    std::int64_t f_scaling = 2;  ///< 1 use diagf; else 1.0
    std::int64_t jacobian_update = 2;  ///< 1 difference Jacobian every iteration; 2 secant updates
    std::int64_t print_level = 0;      ///< 0 silent .. 10 everything
    std::int64_t diagnostic_unit = 0;  ///< unit of the messages (diagnostic_units.hpp)
    std::int64_t max_iterations = 50;  ///< 1..999
    std::int64_t max_jacobians = 5;    ///< 1..999
    std::int64_t non_negative = 0;     ///< 1: unknowns held non-negative
    std::int64_t reserved10 = 2;
    double function_tolerance = 1e-4;  ///< solved when ||F/diagf||^2 <= this
    double step_tolerance = std::numeric_limits<double>::epsilon();  ///< relative, for X
    double absolute_step_tolerance = 0.0;                            ///< absolute, scaled X
    double radius_factor = 1.0;  ///< initial radius = factor * max(1, ||x0/diagx||)
    double acceptance = 1e-4;    ///< least actual/predicted reduction of an accepted step
    double relative_difference = 1.4901161193847656e-07;  ///< difference step: 10 sqrt(eps)
    double minimum_difference = 1.4901161193847656e-08;   ///< smallest difference step: sqrt(eps)
    std::vector<double> diagx;  ///< scales of the unknowns (x_scaling = 1); empty: all 1.0
    std::vector<double> diagf;  ///< scales of the residuals (f_scaling = 1); empty: all 1.0
};

/// Outcome of a solve. The default is never success.
struct SolverResult {
    std::int64_t iflag = 0;  ///< the routines' result code (1 solved); 0 if the callback stopped it
    std::vector<double> x;   ///< the solution, or the best point found
    std::vector<double> f;   ///< residuals at x
    std::int64_t iterations = 0;
    std::int64_t jacobian_evaluations = 0;
    std::int64_t function_evaluations = 0;  ///< every callback call, difference columns included
    double residual_norm = std::numeric_limits<double>::infinity();  ///< ||f / diagf||
    double singularity = 0.0;  ///< reciprocal condition number of the last Jacobian
    int callback_status = 0;   ///< the negative value with which the callback stopped the solve
    bool solved() const noexcept { return iflag == 1; }
};

/// Evaluates f(x) for x and f of the problem's size. It may change x in place (the solver takes
/// the x it gets back as the point evaluated). Returns 0 when f was evaluated, a positive value
/// when f cannot be evaluated at x, a negative value to stop the solve.
using ResidualFunction = std::function<int(std::span<double> x, std::span<double> f)>;

/// Solves residuals(x) = 0 from x0. Wrong-sized diagx/diagf or an empty x0 give iflag 9.
SolverResult solve(const ResidualFunction& residuals,
                   std::span<const double> x0,
                   const SolverSettings& settings = {});

}  // namespace azeotrope::solver
