#include "azeotrope/solver/nonlinear_solver.hpp"

#include <algorithm>
#include <array>

#include "azeotrope/solver/detail/funeq_core.hpp"
#include "azeotrope/solver/funeq.hpp"

namespace azeotrope::solver {

SolverResult solve(const ResidualFunction& residuals,
                   std::span<const double> x0,
                   const SolverSettings& settings) {
    SolverResult result;
    const std::size_t n = x0.size();
    const bool sizes_ok = n > 0 && (settings.diagx.empty() || settings.diagx.size() == n) &&
                          (settings.diagf.empty() || settings.diagf.size() == n);
    if (!sizes_ok) {
        result.iflag = static_cast<std::int64_t>(FuneqResult::invalid_parameter);
        result.x.assign(x0.begin(), x0.end());
        return result;
    }
    const std::size_t ldb = n;
    std::vector<double> x(x0.begin(), x0.end());
    std::vector<double> f(n, 0.0);
    std::vector<double> f_current(n, 0.0);
    std::vector<double> diagx =
        settings.diagx.empty() ? std::vector<double>(n, 1.0) : settings.diagx;
    std::vector<double> diagf =
        settings.diagf.empty() ? std::vector<double>(n, 1.0) : settings.diagf;
    std::vector<double> jacobian(funeq_matrix_size(ldb, n), 0.0);
    std::vector<double> factors(funeq_matrix_size(ldb, n), 0.0);
    std::vector<double> work(funeq_work2_size(ldb), 0.0);
    std::array<std::int64_t, kFuneqIparSize> ipar{};
    std::array<double, kFuneqRparSize> rpar{};
    ipar[ipar::kXScaling - 1] = settings.x_scaling;
    ipar[ipar::kFScaling - 1] = settings.f_scaling;
    ipar[ipar::kJacobianUpdate - 1] = settings.jacobian_update;
    ipar[ipar::kPrintLevel - 1] = settings.print_level;
    ipar[ipar::kDiagnosticUnit - 1] = settings.diagnostic_unit;
    ipar[ipar::kMaxIterations - 1] = settings.max_iterations;
    ipar[ipar::kMaxJacobians - 1] = settings.max_jacobians;
    ipar[ipar::kNonNegative - 1] = settings.non_negative;
    ipar[ipar::kWarmStart - 1] = 0;  // a one-shot solve holds no earlier Jacobian
    ipar[ipar::kReserved10 - 1] = settings.reserved10;
    rpar[rpar::kFunctionTolerance - 1] = settings.function_tolerance;
    rpar[rpar::kStepTolerance - 1] = settings.step_tolerance;
    rpar[rpar::kAbsoluteStepTolerance - 1] = settings.absolute_step_tolerance;
    rpar[rpar::kRadiusFactor - 1] = settings.radius_factor;
    rpar[rpar::kAcceptance - 1] = settings.acceptance;
    rpar[rpar::kRelativeDifference - 1] = settings.relative_difference;
    rpar[rpar::kMinimumDifference - 1] = settings.minimum_difference;

    std::int64_t iflag = 0;
    const auto n64 = static_cast<std::int64_t>(n);
    const auto ldb64 = static_cast<std::int64_t>(ldb);
    detail::FuneqArguments a;
    a.iflag = &iflag;
    a.n = &n64;
    a.x = x.data();
    a.f = f.data();
    a.f_current = f_current.data();
    a.diagx = diagx.data();
    a.diagf = diagf.data();
    a.jacobian = jacobian.data();
    a.ldb = &ldb64;
    a.factors = factors.data();
    a.work = work.data();
    a.ipar = ipar.data();
    a.rpar = rpar.data();
    for (;;) {
        detail::funeq_step(a);
        if (iflag >= 0) { break; }
        const int status = residuals(std::span<double>(x), std::span<double>(f));
        if (status < 0) {
            result.callback_status = status;
            iflag = 0;
            break;
        }
        if (status > 0) { std::fill(f.begin(), f.end(), std::numeric_limits<double>::quiet_NaN()); }
    }
    result.iflag = iflag;
    result.x = std::move(x);
    result.f = std::move(f);
    result.iterations = ipar[ipar::kIterations - 1];
    result.jacobian_evaluations = ipar[ipar::kJacobians - 1];
    result.function_evaluations = ipar[ipar::kEvaluations - 1];
    result.residual_norm = rpar[rpar::kResidualNorm - 1];
    result.singularity = rpar[rpar::kSingularity - 1];
    return result;
}

}  // namespace azeotrope::solver
