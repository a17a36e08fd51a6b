#pragma once
/// FUNEQ1/FUNEQ2: a scaled trust-region dogleg solver for N nonlinear equations F(X) = 0 in N
/// unknowns, driven by reverse communication (the caller evaluates F whenever IFLAG < 0).
///
/// Arguments (all by reference, 64-bit integers, arrays column by column):
///   1 IFLAG   0 to start; < 0 on return: evaluate F at X, store it in F, call again with every
///             other argument unchanged (-1 start point, -2 difference-Jacobian column, -3 trial
///             step); >= 1 on return: the result (see FuneqResult).
///   2 N       number of equations and unknowns, 1 <= N <= LDB.
///   3 X       N unknowns: start point in, the point where F is wanted during the solve, the
///             solution (or the best point) out. The caller may change X while it evaluates F
///             (normalise it, say): the solver takes the X it gets back as the point evaluated.
///   4 F       N residuals at X, supplied by the caller. A NaN or infinite entry means "F cannot be
///             evaluated here": a failed start point (IFLAG 8), a rejected trial step, or a
///             difference column that is retried with the opposite step.
///   5 FCUR    N doubles: the residuals at the current iterate, kept between calls.
///   6 DIAGX   N scale factors of the unknowns (scaled unknown = X / DIAGX).
///   7 DIAGF   N scale factors of the residuals (scaled residual = F / DIAGF).
///   8 JAC     LDB x N doubles: the Jacobian dF/dX (unscaled), kept between calls and between
///             solves (IPAR(9) = 1 starts the next solve from it).
///   9 LDB     leading dimension of JAC and WORK1.
///  10 WORK1   LDB x N doubles of scratch (the factorised scaled Jacobian).
///  11 WORK2   funeq_work2_size(LDB) doubles: the iteration's scalars and vectors between calls.
///  12 IPAR    kFuneqIparSize integers: settings 1..10, then state and counters (below).
///  13 RPAR    kFuneqRparSize doubles: settings 1..7, then results (below).
///
/// All state of a solve lives in the caller's arrays, so independent solves with their own arrays
/// may be interleaved. The only process-wide state is the diagnostic unit table
/// (diagnostic_units.hpp).
#include <cstddef>
#include <cstdint>

extern "C" {
/// Checks the call and runs one reverse-communication step of the solve. Never throws.
void FUNEQ1(std::int64_t* IFLAG,
            const std::int64_t* N,
            double* X,
            double* F,
            double* FCUR,
            double* DIAGX,
            double* DIAGF,
            double* JAC,
            const std::int64_t* LDB,
            double* WORK1,
            double* WORK2,
            std::int64_t* IPAR,
            double* RPAR) noexcept;
/// The iteration routine behind FUNEQ1. It takes the same arguments and, being reachable on its
/// own, guards them exactly as FUNEQ1 does. Never throws.
void FUNEQ2(std::int64_t* IFLAG,
            const std::int64_t* N,
            double* X,
            double* F,
            double* FCUR,
            double* DIAGX,
            double* DIAGF,
            double* JAC,
            const std::int64_t* LDB,
            double* WORK1,
            double* WORK2,
            std::int64_t* IPAR,
            double* RPAR) noexcept;
}

namespace azeotrope::solver {

/// Entries of IPAR (1-based, as the routine's callers index them).
namespace ipar {
inline constexpr int kXScaling =
    1;  ///< 1 caller's DIAGX; 2 DIAGX from Jacobian column norms; else 1.0
inline constexpr int kFScaling = 2;  ///< 1 caller's DIAGF; else every DIAGF = 1.0
inline constexpr int kJacobianUpdate =
    3;  ///< 1 difference Jacobian at every iteration; 2 secant updates
inline constexpr int kPrintLevel = 4;      ///< 0..10
inline constexpr int kDiagnosticUnit = 5;  ///< output unit of the messages
inline constexpr int kMaxIterations = 6;   ///< iteration limit (trial steps)
inline constexpr int kMaxJacobians = 7;    ///< limit on difference-Jacobian evaluations
inline constexpr int kNonNegative = 8;     ///< 1: unknowns held non-negative
inline constexpr int kWarmStart = 9;       ///< 1: keep DIAGX/DIAGF, start from the held Jacobian
inline constexpr int kReserved10 = 10;     ///< accepted and corrected (1, else 2); selects nothing
inline constexpr int kPhase = 11;          ///< what the solver waits for (0 = no solve running)
inline constexpr int kIterations = 12;     ///< iterations (trial steps) so far
inline constexpr int kJacobians = 13;      ///< difference-Jacobian evaluations so far
inline constexpr int kEvaluations = 14;    ///< function evaluations so far
inline constexpr int kColumn = 15;         ///< difference column being evaluated (0-based)
inline constexpr int kColumnAttempt = 16;  ///< 0 first step of the column, 1 the opposite step
inline constexpr int kXConverged = 17;     ///< times X was found converged with F too big
inline constexpr int kSlowProgress = 18;   ///< slow-progress counter
inline constexpr int kSuccesses = 19;      ///< consecutive steps with good model agreement
inline constexpr int kFailures = 20;       ///< consecutive steps with poor model agreement
inline constexpr int kFreshJacobian = 21;  ///< 1 while the Jacobian is a fresh difference one
inline constexpr int kHeldBack = 22;       ///< 1 when the last step was cut at the bound
inline constexpr int kSolveN = 23;         ///< N of the running solve
inline constexpr int kSolveLdb = 24;       ///< LDB of the running solve
inline constexpr int kHeldJacobianN = 25;  ///< N for which JAC holds a Jacobian (0 none)
inline constexpr int kHeldJacobianLdb = 26;  ///< LDB with which it was stored
inline constexpr int kRadiusState = 27;  ///< 0 radius unset, 1 set (no step accepted yet), 2 normal
inline constexpr int kLastResult = 28;   ///< IFLAG of the last finished solve
}  // namespace ipar

/// Entries of RPAR (1-based).
namespace rpar {
inline constexpr int kFunctionTolerance = 1;      ///< solved when ||F/DIAGF||^2 <= RPAR(1)
inline constexpr int kStepTolerance = 2;          ///< relative X-convergence tolerance
inline constexpr int kAbsoluteStepTolerance = 3;  ///< absolute X-convergence tolerance (scaled)
inline constexpr int kRadiusFactor = 4;  ///< initial radius = RPAR(4) * max(1, ||X/DIAGX||)
inline constexpr int kAcceptance = 5;    ///< a step is accepted when actual/predicted >= RPAR(5)
inline constexpr int kRelativeDifference = 6;  ///< difference step h = max(|x| RPAR(6), RPAR(7))
inline constexpr int kMinimumDifference = 7;
inline constexpr int kResidualNorm = 8;  ///< result: ||F/DIAGF|| at the returned X
inline constexpr int kSingularity = 9;   ///< result: reciprocal condition of the last Jacobian
inline constexpr int kRadius = 10;       ///< result: trust-region radius at the end
}  // namespace rpar

inline constexpr std::size_t kFuneqIparSize = 32;  ///< IPAR needs at least this many entries
inline constexpr std::size_t kFuneqRparSize = 10;  ///< RPAR needs at least this many entries
inline constexpr std::size_t kFuneqWork2Scalars = 16;
inline constexpr std::size_t kFuneqWork2Vectors = 8;

/// Doubles needed in JAC (argument 8) and WORK1 (argument 10) for leading dimension `ldb`.
constexpr std::size_t funeq_matrix_size(std::size_t ldb, std::size_t n) noexcept { return ldb * n; }
/// Doubles needed in WORK2 (argument 11) for leading dimension `ldb`.
constexpr std::size_t funeq_work2_size(std::size_t ldb) noexcept {
    return kFuneqWork2Scalars + kFuneqWork2Vectors * ldb;
}

/// Results of a solve (the final IFLAG). 100 m + 10, 11, 12 carry the 1-based index m.
enum class FuneqResult : std::int64_t {
    solved = 1,               ///< ||F/DIAGF|| <= sqrt(RPAR(1))
    x_converged = 2,          ///< X stopped changing, F not small enough
    small_step_at_bound = 3,  ///< X stopped changing while steps were cut at the bound
    slow_convergence = 4,
    jacobian_limit = 5,   ///< IPAR(7) difference Jacobians used
    iteration_limit = 6,  ///< IPAR(6) iterations used
    singular_jacobian = 7,
    undefined_at_start = 8,
    invalid_parameter = 9,  ///< N < 1 or N > LDB (or a missing argument)
    invalid_call = 10,      ///< entered with IFLAG >= 1, or IFLAG < 0 with no solve running
};
inline constexpr std::int64_t kCannotPerturbBase = 10;       ///< 100 m + 10
inline constexpr std::int64_t kFunctionUnaffectedBase = 11;  ///< 100 m + 11
inline constexpr std::int64_t kVariableNoEffectBase = 12;    ///< 100 m + 12

}  // namespace azeotrope::solver
