#include "azeotrope/solver/detail/funeq_core.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>

#include "azeotrope/solver/detail/dense.hpp"
#include "azeotrope/solver/detail/messages.hpp"
#include "azeotrope/solver/funeq.hpp"

// Powell's hybrid method as MINPACK-1 realises it (forward-difference Jacobian, dogleg step in a
// trust region, Broyden rank-one updates between difference Jacobians), in reverse-communication
// form, with the result codes, settings and termination tests of FUNEQ1/FUNEQ2. Sources: M. J. D.
// Powell, "A hybrid method for nonlinear equations" (1970); J. J. More, B. S. Garbow and
// K. E. Hillstrom, "User guide for MINPACK-1", ANL-80-74 (1980).
//
// Everything that lives from one call to the next is in the caller's arrays: settings, counters
// and the phase in IPAR, results in RPAR, the Jacobian in JAC, the iterate's residuals in FCUR,
// and the iterate, the step and the scalars of the iteration in WORK2. Two solves with their own
// arrays can therefore be interleaved.

namespace azeotrope::solver::detail {
namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();  // 2.220446049250313e-16
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// What the solver waits for (IPAR(kPhase)) and the IFLAG that asks for it.
enum Phase : std::int64_t { kIdle = 0, kWaitStart = 1, kWaitColumn = 2, kWaitTrial = 3 };
constexpr std::int64_t kRequestStart = -1;
constexpr std::int64_t kRequestColumn = -2;
constexpr std::int64_t kRequestTrial = -3;

// Scalars at the head of WORK2.
enum Scalar : std::size_t {
    kRadiusDelta = 0,  // trust-region radius, in scaled units
    kResidual = 1,     // ||F/DIAGF|| at the iterate
    kXNorm = 2,        // ||X/DIAGX|| at the iterate
    kStep = 3,         // difference step of the column being evaluated
    kRcond = 4,        // reciprocal condition of the last factorised Jacobian
};
// Vectors of WORK2, each LDB long.
enum Vector : std::size_t {
    kIterate = 0,   // X at the current iterate
    kTrial = 1,     // step to the trial point (unscaled)
    kNewton = 2,    // solution s of J s = F (scaled); the Newton step is -s
    kGradient = 3,  // J^T F (scaled)
    kScaledF = 4,   // F / DIAGF at the iterate
    kScratch = 5,
    kPivots = 6,
    kSecant = 7,  // residual of the linear model at the trial point, for the secant update
};

// Model agreement below which the radius is halved and which, twice in a row, asks for a fresh
// difference Jacobian; agreement from which the radius may grow (Powell; MINPACK).
constexpr double kPoorAgreement = 0.1;
constexpr double kGoodAgreement = 0.5;
// A step that leaves ||F|| above this fraction of its value before counts as slow progress.
constexpr double kSlowFactor = 0.999;
constexpr std::int64_t kSlowLimitCap = 10;
constexpr std::int64_t kSlowLimitExtra = 4;
// X found converged this many times ends the solve.
constexpr std::int64_t kXConvergedLimit = 3;
// A difference column is retried with the opposite step when the change of x_j found on return
// is at most this fraction of the step, and given up when the retry gives at most the second.
constexpr double kRetryFraction = 0.01;
constexpr double kGiveUpFraction = 1e-4;
constexpr std::int64_t kProgressLevel = 6;
constexpr std::int64_t kVectorLevel = 9;

bool all_finite(std::span<const double> v) noexcept {
    return std::all_of(v.begin(), v.end(), [](double e) { return std::isfinite(e); });
}

// The print level and unit as the corrections leave them, for the messages written before (or
// without) a solve.
std::int64_t corrected_print_level(std::int64_t level) noexcept { return level > 10 ? 3 : level; }
std::int64_t corrected_unit(std::int64_t unit) noexcept {
    return (unit >= 1 && unit <= 99 && unit != 6) ? unit : 0;
}

// The settings' corrections, applied in place at the start of a solve. NaN never passes as "in
// range": every comparison is written so that NaN takes the correction.
void correct_settings(std::int64_t* ip, double* rp) noexcept {
    auto in_range = [](std::int64_t v, std::int64_t lo, std::int64_t hi) {
        return v >= lo && v <= hi;
    };
    if (ip[0] != 1 && ip[0] != 2) { ip[0] = 0; }
    if (ip[1] != 0 && ip[1] != 1) { ip[1] = 2; }
    if (ip[2] != 1) { ip[2] = 2; }
    ip[3] = corrected_print_level(ip[3]);
    ip[4] = corrected_unit(ip[4]);
    if (!in_range(ip[5], 1, 999)) { ip[5] = 50; }
    if (!in_range(ip[6], 1, 999)) { ip[6] = 5; }
    if (ip[7] != 1) { ip[7] = 0; }
    if (ip[8] != 1) { ip[8] = 0; }
    if (ip[9] != 1) { ip[9] = 2; }

    double& function_tolerance = rp[0];
    double& step_tolerance = rp[1];
    if (!(step_tolerance > 0.0 && step_tolerance <= 1e-3)) { step_tolerance = kEpsilon; }
    if (!(function_tolerance > 0.0 && function_tolerance <= 0.5)) { function_tolerance = 1e-4; }
    function_tolerance = std::max(std::min(function_tolerance, 0.1), step_tolerance);
    if (!(rp[2] <= 1e30)) { rp[2] = 0.0; }
    if (!(rp[3] > 1e-5 && rp[3] <= 1e30)) { rp[3] = 1.0; }
    if (!(rp[4] > 0.0 && rp[4] <= 1e30)) { rp[4] = function_tolerance; }
    // A negative difference step would make every column fail; treat it like a huge one.
    if (!(rp[5] >= 0.0 && rp[5] <= 1e30)) { rp[5] = 10.0 * std::sqrt(step_tolerance); }
    if (!(rp[6] >= 0.0 && rp[6] <= 1e30)) { rp[6] = std::sqrt(step_tolerance); }
}

// A usable scale factor: zero (and, beyond that, a non-finite value) becomes 1; a negative one
// its magnitude, since only magnitudes enter the scaled norms.
double usable_scale(double d) noexcept {
    if (d == 0.0 || !std::isfinite(d)) { return 1.0; }
    return std::fabs(d);
}

class Solve {
public:
    Solve(const FuneqArguments& a, std::size_t n, std::size_t ldb) noexcept
        : a_(a), n_(n), ldb_(ldb) {}

    void start() noexcept;
    void resume() noexcept;
    bool running() noexcept;

private:
    // IPAR, RPAR and WORK2 by their 1-based entry names.
    std::int64_t& ip(int k) noexcept { return a_.ipar[k - 1]; }
    double& rp(int k) noexcept { return a_.rpar[k - 1]; }
    double& scalar(Scalar s) noexcept { return a_.work[s]; }
    std::span<double> vec(Vector v) noexcept {
        return {a_.work + kFuneqWork2Scalars + static_cast<std::size_t>(v) * ldb_, n_};
    }
    std::span<double> x() noexcept { return {a_.x, n_}; }
    std::span<double> f() noexcept { return {a_.f, n_}; }
    std::span<double> fcur() noexcept { return {a_.f_current, n_}; }
    std::span<double> dx() noexcept { return {a_.diagx, n_}; }
    std::span<double> df() noexcept { return {a_.diagf, n_}; }
    double& jac(std::size_t i, std::size_t j) noexcept { return a_.jacobian[i + j * ldb_]; }
    MatrixView factors() noexcept { return {a_.factors, n_, ldb_}; }
    int unit() noexcept { return static_cast<int>(ip(ipar::kDiagnosticUnit)); }
    std::int64_t level() noexcept { return ip(ipar::kPrintLevel); }
    bool non_negative() noexcept { return ip(ipar::kNonNegative) == 1; }
    std::int64_t m_code(std::size_t index, std::int64_t base) noexcept {
        return 100 * static_cast<std::int64_t>(index + 1) + base;
    }

    double scaled_norm(std::span<const double> v, std::span<const double> scale) noexcept;
    void take_start() noexcept;
    void start_jacobian() noexcept;
    void request_column() noexcept;
    void take_column() noexcept;
    void finish_jacobian() noexcept;
    void initialise_radius() noexcept;
    void next_step() noexcept;
    void dogleg(double qnorm, std::span<double> step) noexcept;
    bool keep_non_negative(std::span<double> step) noexcept;
    void take_trial() noexcept;
    void secant_update(std::span<const double> step, double pnorm) noexcept;
    void report_iteration() noexcept;
    void finish(std::int64_t code) noexcept;

    const FuneqArguments& a_;
    std::size_t n_;
    std::size_t ldb_;
};

double Solve::scaled_norm(std::span<const double> v, std::span<const double> scale) noexcept {
    auto t = vec(kScratch);
    for (std::size_t i = 0; i < n_; ++i) { t[i] = v[i] / scale[i]; }
    return euclidean_norm(t);
}

bool Solve::running() noexcept {
    const std::int64_t phase = ip(ipar::kPhase);
    if (phase != kWaitStart && phase != kWaitColumn && phase != kWaitTrial) { return false; }
    if (ip(ipar::kSolveN) != static_cast<std::int64_t>(n_) ||
        ip(ipar::kSolveLdb) != static_cast<std::int64_t>(ldb_)) {
        return false;
    }
    const std::int64_t column = ip(ipar::kColumn);
    const std::int64_t attempt = ip(ipar::kColumnAttempt);
    return phase != kWaitColumn || (column >= 0 && column < static_cast<std::int64_t>(n_) &&
                                    (attempt == 0 || attempt == 1));
}

void Solve::start() noexcept {
    correct_settings(a_.ipar, a_.rpar);
    for (int k = ipar::kPhase; k <= ipar::kSolveLdb; ++k) { ip(k) = 0; }
    ip(ipar::kRadiusState) = 0;
    ip(ipar::kLastResult) = 0;
    ip(ipar::kSolveN) = static_cast<std::int64_t>(n_);
    ip(ipar::kSolveLdb) = static_cast<std::int64_t>(ldb_);
    for (std::size_t k = 0; k < kFuneqWork2Scalars; ++k) { a_.work[k] = 0.0; }
    scalar(kResidual) = kInfinity;
    rp(rpar::kResidualNorm) = kInfinity;
    rp(rpar::kSingularity) = 0.0;
    rp(rpar::kRadius) = 0.0;

    if (non_negative()) {
        for (double& v : x()) { v = std::fabs(v); }
    }
    // A warm start keeps the scales exactly as passed (only an unusable entry is replaced).
    const bool warm = ip(ipar::kWarmStart) == 1;
    const bool caller_x = warm || ip(ipar::kXScaling) == 1;
    const bool caller_f = warm || ip(ipar::kFScaling) == 1;
    for (double& d : dx()) { d = caller_x ? usable_scale(d) : 1.0; }
    for (double& d : df()) { d = caller_f ? usable_scale(d) : 1.0; }

    if (!all_finite(x())) {
        // No function can be evaluated at a NaN or infinite point; do not ask for one.
        finish(static_cast<std::int64_t>(FuneqResult::undefined_at_start));
        return;
    }
    ip(ipar::kPhase) = kWaitStart;
    *a_.iflag = kRequestStart;
}

void Solve::resume() noexcept {
    switch (ip(ipar::kPhase)) {
        case kWaitStart:
            take_start();
            break;
        case kWaitColumn:
            take_column();
            break;
        case kWaitTrial:
            take_trial();
            break;
        default:
            break;
    }
}

void Solve::take_start() noexcept {
    ip(ipar::kEvaluations) += 1;
    std::copy(a_.x, a_.x + n_, vec(kIterate).begin());  // the caller may have moved X
    std::copy(a_.f, a_.f + n_, a_.f_current);
    if (!all_finite(f()) || !all_finite(x())) {
        finish(static_cast<std::int64_t>(FuneqResult::undefined_at_start));
        return;
    }
    scalar(kResidual) = scaled_norm(fcur(), df());
    scalar(kXNorm) = scaled_norm(vec(kIterate), dx());
    if (scalar(kResidual) <= std::sqrt(rp(rpar::kFunctionTolerance))) {
        finish(static_cast<std::int64_t>(FuneqResult::solved));
        return;
    }
    if (ip(ipar::kWarmStart) == 1 && ip(ipar::kHeldJacobianN) == static_cast<std::int64_t>(n_) &&
        ip(ipar::kHeldJacobianLdb) == static_cast<std::int64_t>(ldb_)) {
        if (level() >= kProgressLevel) { write_reuse_jacobian(unit()); }
        ip(ipar::kFreshJacobian) = 0;  // a poor held Jacobian is replaced, not reported singular
        initialise_radius();
        next_step();
        return;
    }
    start_jacobian();
}

void Solve::initialise_radius() noexcept {
    if (ip(ipar::kRadiusState) != 0) { return; }
    scalar(kRadiusDelta) = rp(rpar::kRadiusFactor) * std::max(1.0, scalar(kXNorm));
    ip(ipar::kRadiusState) = 1;
}

void Solve::start_jacobian() noexcept {
    if (ip(ipar::kJacobians) >= ip(ipar::kMaxJacobians)) {
        finish(static_cast<std::int64_t>(FuneqResult::jacobian_limit));
        return;
    }
    ip(ipar::kJacobians) += 1;
    ip(ipar::kHeldJacobianN) = 0;  // JAC is being overwritten column by column
    if (level() >= kProgressLevel) { write_jacobian_evaluation(unit(), ip(ipar::kJacobians)); }
    ip(ipar::kColumn) = 0;
    ip(ipar::kColumnAttempt) = 0;
    request_column();
}

void Solve::request_column() noexcept {
    const auto j = static_cast<std::size_t>(ip(ipar::kColumn));
    const double xj = vec(kIterate)[j];
    double h = 0.0;
    if (ip(ipar::kColumnAttempt) == 0) {
        h = std::max(std::fabs(xj) * rp(rpar::kRelativeDifference), rp(rpar::kMinimumDifference));
        // Stay on the side of 1 and of 0 where x_j is (mole fractions), and above 0 when the
        // unknowns are held non-negative.
        if (xj < 1.0 && xj + h >= 1.0) { h = -h; }
        if (xj > 0.0 && xj + h <= 0.0) { h = -h; }
        if (non_negative() && xj + h < 0.0) { h = std::fabs(h); }
    } else {
        h = -scalar(kStep);
        if (non_negative() && xj + h < 0.0) {
            finish(m_code(j, kCannotPerturbBase));
            return;
        }
    }
    if (h == 0.0 || !std::isfinite(xj + h)) {
        finish(m_code(j, kCannotPerturbBase));
        return;
    }
    scalar(kStep) = h;
    std::copy(vec(kIterate).begin(), vec(kIterate).end(), a_.x);
    a_.x[j] = xj + h;
    ip(ipar::kPhase) = kWaitColumn;
    *a_.iflag = kRequestColumn;
}

void Solve::take_column() noexcept {
    ip(ipar::kEvaluations) += 1;
    const auto j = static_cast<std::size_t>(ip(ipar::kColumn));
    const double h = scalar(kStep);
    // The caller may have moved X while evaluating (normalised it, say): difference with the
    // change of x_j actually made, not with the step asked for.
    const double d = a_.x[j] - vec(kIterate)[j];
    const bool first = ip(ipar::kColumnAttempt) == 0;
    const double smallest = (first ? kRetryFraction : kGiveUpFraction) * std::fabs(h);
    bool usable = all_finite(f()) && std::fabs(d) > smallest;
    if (usable) {
        for (std::size_t i = 0; i < n_; ++i) {
            jac(i, j) = (a_.f[i] - a_.f_current[i]) / d;
            usable = usable && std::isfinite(jac(i, j));
        }
    }
    if (!usable) {
        if (first) {
            ip(ipar::kColumnAttempt) = 1;
            request_column();
        } else {
            finish(m_code(j, kCannotPerturbBase));
        }
        return;
    }
    ip(ipar::kColumn) += 1;
    ip(ipar::kColumnAttempt) = 0;
    if (ip(ipar::kColumn) < static_cast<std::int64_t>(n_)) {
        request_column();
        return;
    }
    finish_jacobian();
}

void Solve::finish_jacobian() noexcept {
    ip(ipar::kHeldJacobianN) = static_cast<std::int64_t>(n_);
    ip(ipar::kHeldJacobianLdb) = static_cast<std::int64_t>(ldb_);
    for (std::size_t i = 0; i < n_; ++i) {
        bool zero = true;
        for (std::size_t j = 0; j < n_ && zero; ++j) { zero = jac(i, j) == 0.0; }
        if (zero) {
            finish(m_code(i, kFunctionUnaffectedBase));
            return;
        }
    }
    for (std::size_t j = 0; j < n_; ++j) {
        bool zero = true;
        for (std::size_t i = 0; i < n_ && zero; ++i) { zero = jac(i, j) == 0.0; }
        if (zero) {
            finish(m_code(j, kVariableNoEffectBase));
            return;
        }
    }
    if (ip(ipar::kXScaling) == 2 && ip(ipar::kWarmStart) != 1) {
        // Scales from the column norms of J / DIAGF (MINPACK's internal scaling, with scales
        // as divisors): set at the first Jacobian, afterwards only allowed to shrink, so the
        // scaled unknowns never lose resolution already gained.
        const bool first = ip(ipar::kRadiusState) == 0;
        for (std::size_t j = 0; j < n_; ++j) {
            auto t = vec(kScratch);
            for (std::size_t i = 0; i < n_; ++i) { t[i] = jac(i, j) / a_.diagf[i]; }
            const double scale = 1.0 / euclidean_norm(t);
            if (!std::isfinite(scale) || !(scale > 0.0)) { continue; }
            a_.diagx[j] = first ? scale : std::min(a_.diagx[j], scale);
        }
        scalar(kXNorm) = scaled_norm(vec(kIterate), dx());
    }
    initialise_radius();
    ip(ipar::kFreshJacobian) = 1;
    next_step();
}

void Solve::next_step() noexcept {
    if (ip(ipar::kIterations) >= ip(ipar::kMaxIterations)) {
        finish(static_cast<std::int64_t>(FuneqResult::iteration_limit));
        return;
    }
    const MatrixView js = factors();
    auto fs = vec(kScaledF);
    auto g = vec(kGradient);
    auto s = vec(kNewton);
    for (std::size_t i = 0; i < n_; ++i) { fs[i] = a_.f_current[i] / a_.diagf[i]; }
    for (std::size_t j = 0; j < n_; ++j) {
        double gj = 0.0;
        for (std::size_t i = 0; i < n_; ++i) {
            js(i, j) = jac(i, j) * a_.diagx[j] / a_.diagf[i];
            gj += js(i, j) * fs[i];
        }
        g[j] = gj;
    }
    const double anorm = one_norm(js);
    const bool factorised = lu_factor(js, vec(kPivots));
    const double rcond =
        factorised ? reciprocal_condition(js, vec(kPivots), anorm, vec(kScratch)) : 0.0;
    scalar(kRcond) = rcond;
    rp(rpar::kSingularity) = rcond;
    // Numerically singular as LINPACK judges it: 1 + rcond rounds to 1. An updated Jacobian
    // can drift towards singularity on its own, so only a fresh difference one is reported.
    if (!(1.0 + rcond > 1.0)) {
        if (ip(ipar::kFreshJacobian) != 1) {
            start_jacobian();
        } else {
            finish(static_cast<std::int64_t>(FuneqResult::singular_jacobian));
        }
        return;
    }
    std::copy(fs.begin(), fs.end(), s.begin());
    lu_solve(js, vec(kPivots), s);
    const double qnorm = euclidean_norm(s);

    auto step = vec(kTrial);
    dogleg(qnorm, step);
    for (std::size_t j = 0; j < n_; ++j) { step[j] *= a_.diagx[j]; }
    const bool held_back = non_negative() && keep_non_negative(step);
    ip(ipar::kHeldBack) = held_back ? 1 : 0;
    const double pnorm = scaled_norm(step, dx());
    // Until a step has been accepted the radius is no larger than the last step: a generous
    // initial radius must not survive a rejected first step.
    if (ip(ipar::kRadiusState) == 1 && pnorm > 0.0) {
        scalar(kRadiusDelta) = std::min(scalar(kRadiusDelta), pnorm);
    }
    ip(ipar::kIterations) += 1;
    const auto xb = vec(kIterate);
    for (std::size_t j = 0; j < n_; ++j) { a_.x[j] = xb[j] + step[j]; }
    if (non_negative()) {
        for (std::size_t j = 0; j < n_; ++j) { a_.x[j] = std::max(a_.x[j], 0.0); }
    }
    ip(ipar::kPhase) = kWaitTrial;
    *a_.iflag = kRequestTrial;
}

// Dogleg step in scaled unknowns (Powell 1970): the Newton step -s when it lies in the trust
// region, else the point where the path from the Cauchy point towards it leaves the region.
void Solve::dogleg(double qnorm, std::span<double> step) noexcept {
    const double delta = scalar(kRadiusDelta);
    const auto s = vec(kNewton);
    if (qnorm <= delta) {
        for (std::size_t j = 0; j < n_; ++j) { step[j] = -s[j]; }
        return;
    }
    const auto g = vec(kGradient);
    const double gnorm = euclidean_norm(g);
    if (gnorm == 0.0) {
        for (std::size_t j = 0; j < n_; ++j) { step[j] = -(delta / qnorm) * s[j]; }
        return;
    }
    // Cauchy step length along -g/|g|: minimises ||F + J p|| on that line.
    auto jg = vec(kScratch);
    for (std::size_t i = 0; i < n_; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n_; ++j) { sum += jac(i, j) * a_.diagx[j] * (g[j] / gnorm); }
        jg[i] = sum / a_.diagf[i];
    }
    const double jgnorm = euclidean_norm(jg);
    const double sgnorm = (gnorm / jgnorm) / jgnorm;
    if (!(sgnorm < delta)) {
        for (std::size_t j = 0; j < n_; ++j) { step[j] = -delta * (g[j] / gnorm); }
        return;
    }
    // The segment from the Cauchy point to the Newton point crosses the boundary at
    // alpha; this closed form avoids the cancellation of the textbook quadratic.
    const double bnorm = scalar(kResidual);
    const double dq = delta / qnorm;
    const double sd = sgnorm / delta;
    double temp = (bnorm / gnorm) * (bnorm / qnorm) * sd;
    temp = temp - dq * sd * sd +
           std::sqrt((temp - dq) * (temp - dq) + (1.0 - dq * dq) * (1.0 - sd * sd));
    const double alpha = dq * (1.0 - sd * sd) / temp;
    const double cauchy = (1.0 - alpha) * sgnorm;
    for (std::size_t j = 0; j < n_; ++j) { step[j] = -(alpha * s[j] + cauchy * (g[j] / gnorm)); }
}

// Truncated dogleg for unknowns held non-negative: directions blocked at zero are dropped, and
// a step that would cross zero is shortened to land on it exactly (a mole fraction may reach 0).
// Returns whether the step was held back.
bool Solve::keep_non_negative(std::span<double> step) noexcept {
    const auto xb = vec(kIterate);
    bool held = false;
    double fraction = 1.0;
    for (std::size_t j = 0; j < n_; ++j) {
        if (xb[j] <= 0.0 && step[j] < 0.0) {
            step[j] = 0.0;
            held = true;
        } else if (step[j] < 0.0 && xb[j] + step[j] < 0.0) {
            fraction = std::min(fraction, xb[j] / -step[j]);
        }
    }
    if (fraction < 1.0) {
        held = true;
        for (std::size_t j = 0; j < n_; ++j) {
            step[j] = std::max(step[j] * fraction, -std::max(xb[j], 0.0));
        }
    }
    return held;
}

void Solve::take_trial() noexcept {
    ip(ipar::kEvaluations) += 1;
    auto xb = vec(kIterate);
    auto step = vec(kTrial);
    // The step actually taken: the caller may have moved X (normalised it) before evaluating.
    for (std::size_t j = 0; j < n_; ++j) { step[j] = a_.x[j] - xb[j]; }
    const bool finite = all_finite(f()) && all_finite(x());
    const double pnorm = all_finite(x()) ? scaled_norm(step, dx()) : kInfinity;
    const double fnorm = scalar(kResidual);
    const double fnorm1 = finite ? scaled_norm(f(), df()) : kInfinity;

    // Relative reductions of ||F||^2: actual, and predicted by the linear model F + J p.
    double ratio = 0.0;
    auto r = vec(kSecant);
    if (finite) {
        const double actred = fnorm1 < fnorm ? 1.0 - (fnorm1 / fnorm) * (fnorm1 / fnorm) : -1.0;
        auto w = vec(kScratch);
        for (std::size_t i = 0; i < n_; ++i) {
            double jp = 0.0;
            for (std::size_t j = 0; j < n_; ++j) { jp += jac(i, j) * step[j]; }
            w[i] = (a_.f_current[i] + jp) / a_.diagf[i];
            r[i] = a_.f[i] - a_.f_current[i] - jp;
        }
        const double wnorm = euclidean_norm(w);
        const double prered = wnorm < fnorm ? 1.0 - (wnorm / fnorm) * (wnorm / fnorm) : 0.0;
        ratio = prered > 0.0 ? actred / prered : 0.0;
    }

    // Trust-region radius (Powell; MINPACK). A step that was not accepted always counts as
    // poor, so a rejected step can never be proposed again unchanged.
    const double acceptance = rp(rpar::kAcceptance);
    const double poor = std::max(kPoorAgreement, acceptance);
    const bool held_back = ip(ipar::kHeldBack) == 1;
    double& delta = scalar(kRadiusDelta);
    if (!(ratio >= poor)) {
        ip(ipar::kSuccesses) = 0;
        ip(ipar::kFailures) += 1;
        delta *= 0.5;
    } else {
        ip(ipar::kFailures) = 0;
        ip(ipar::kSuccesses) += 1;
        if (ratio >= kGoodAgreement || ip(ipar::kSuccesses) > 1) {
            delta = std::max(delta, pnorm / 0.5);
        }
        // A step cut at the bound says nothing about the model along the cut direction.
        if (std::fabs(ratio - 1.0) <= 0.1 && !held_back) { delta = pnorm / 0.5; }
    }

    const bool accepted = finite && ratio >= acceptance;
    if (accepted) {
        std::copy(a_.x, a_.x + n_, xb.begin());
        std::copy(a_.f, a_.f + n_, a_.f_current);
        scalar(kResidual) = fnorm1;
        scalar(kXNorm) = scaled_norm(xb, dx());
        ip(ipar::kRadiusState) = 2;
    }
    // Slow progress: the residual after this iteration compared with the one before it.
    if (!(scalar(kResidual) < kSlowFactor * fnorm)) {
        ip(ipar::kSlowProgress) += 1;
    } else {
        ip(ipar::kSlowProgress) = std::max<std::int64_t>(ip(ipar::kSlowProgress) - 1, 0);
    }
    report_iteration();

    if (accepted && scalar(kResidual) <= std::sqrt(rp(rpar::kFunctionTolerance))) {
        finish(static_cast<std::int64_t>(FuneqResult::solved));
        return;
    }
    // X converged: the radius or the step has become negligible against the scaled iterate
    // (relative RPAR(2), absolute RPAR(3)), or no longer changes it at machine precision.
    const double xnorm = scalar(kXNorm);
    const double tolerance =
        rp(rpar::kStepTolerance) * xnorm + std::max(rp(rpar::kAbsoluteStepTolerance), 0.0);
    const bool x_converged = delta <= tolerance || pnorm <= tolerance ||
                             0.1 * std::max(0.1 * delta, pnorm) <= kEpsilon * xnorm;
    if (x_converged) {
        ip(ipar::kXConverged) += 1;
        if (ip(ipar::kXConverged) >= kXConvergedLimit) {
            finish(static_cast<std::int64_t>(held_back ? FuneqResult::small_step_at_bound
                                                       : FuneqResult::x_converged));
            return;
        }
    }
    const auto n = static_cast<std::int64_t>(n_);
    if (ip(ipar::kSlowProgress) > std::min(n + kSlowLimitExtra, kSlowLimitCap)) {
        finish(static_cast<std::int64_t>(FuneqResult::slow_convergence));
        return;
    }
    // A fresh difference Jacobian after two poor steps in a row (Powell), at every iteration
    // when IPAR(3) = 1, and when X has converged on an updated one (it may have drifted).
    const bool refresh = ip(ipar::kFailures) == 2 || ip(ipar::kJacobianUpdate) == 1 ||
                         (x_converged && ip(ipar::kFreshJacobian) != 1);
    if (refresh) {
        start_jacobian();
        return;
    }
    // Broyden's update learns from rejected steps too; only x and F stay where they were.
    if (finite && pnorm > 0.0) {
        secant_update(step, pnorm);
        ip(ipar::kFreshJacobian) = 0;
    }
    next_step();
}

// Broyden's rank-one update with the scaled secant condition (MINPACK):
//   J+ = J + (F1 - F - J p) (D^2 p)^T / ||D p||^2,  D = diag(1 / DIAGX),
// on the unscaled Jacobian: J+_ij = J_ij + r_i (p_j / DIAGX_j^2) / ||p / DIAGX||^2.
void Solve::secant_update(std::span<const double> step, double pnorm) noexcept {
    const auto r = vec(kSecant);
    const double pp = pnorm * pnorm;
    for (std::size_t j = 0; j < n_; ++j) {
        const double v = step[j] / (a_.diagx[j] * a_.diagx[j]) / pp;
        if (v == 0.0) { continue; }
        for (std::size_t i = 0; i < n_; ++i) { jac(i, j) += r[i] * v; }
    }
}

void Solve::report_iteration() noexcept {
    if (level() < kProgressLevel) { return; }
    write_iteration(unit(), ip(ipar::kIterations), scalar(kResidual));
    if (level() < kVectorLevel) { return; }
    write_vector(unit(), " X =", vec(kIterate));
    write_vector(unit(), " F =", fcur());
    write_vector(unit(), " DIAGF", df());
    write_vector(unit(), " DIAGX", dx());
}

void Solve::finish(std::int64_t code) noexcept {
    const bool have_iterate = ip(ipar::kEvaluations) > 0 &&
                              code != static_cast<std::int64_t>(FuneqResult::undefined_at_start);
    if (have_iterate) {
        // Return the iterate and its residuals, not the last trial or difference point.
        std::copy(vec(kIterate).begin(), vec(kIterate).end(), a_.x);
        std::copy(a_.f_current, a_.f_current + n_, a_.f);
        rp(rpar::kResidualNorm) = scalar(kResidual);
    }
    rp(rpar::kSingularity) = scalar(kRcond);
    rp(rpar::kRadius) = scalar(kRadiusDelta);
    ip(ipar::kPhase) = kIdle;
    ip(ipar::kLastResult) = code;
    *a_.iflag = code;
    ResultFacts facts;
    facts.iterations = ip(ipar::kIterations);
    facts.jacobians = ip(ipar::kJacobians);
    facts.x_converged = ip(ipar::kXConverged);
    facts.singularity = scalar(kRcond);
    write_result_message(unit(), level(), code, facts);
}

}  // namespace

void funeq_step(const FuneqArguments& a) noexcept {
    if (a.iflag == nullptr) { return; }
    std::int64_t& iflag = *a.iflag;
    if (iflag >= 1) {
        // The solve is over (or was never started): entering with a result is a caller error.
        iflag = static_cast<std::int64_t>(FuneqResult::invalid_call);
        write_invalid_call();
        if (a.ipar != nullptr) {
            a.ipar[ipar::kPhase - 1] = kIdle;
            write_error_return(static_cast<int>(corrected_unit(a.ipar[ipar::kDiagnosticUnit - 1])),
                               corrected_print_level(a.ipar[ipar::kPrintLevel - 1]));
        }
        return;
    }
    if (a.n == nullptr || a.ldb == nullptr || a.ipar == nullptr || a.rpar == nullptr) {
        iflag = static_cast<std::int64_t>(FuneqResult::invalid_parameter);
        return;
    }
    const std::int64_t n = *a.n;
    const std::int64_t ldb = *a.ldb;
    const bool arrays = a.x != nullptr && a.f != nullptr && a.f_current != nullptr &&
                        a.diagx != nullptr && a.diagf != nullptr && a.jacobian != nullptr &&
                        a.factors != nullptr && a.work != nullptr;
    if (n < 1 || n > ldb || !arrays) {
        iflag = static_cast<std::int64_t>(FuneqResult::invalid_parameter);
        a.ipar[ipar::kPhase - 1] = kIdle;
        const std::int64_t raw_level = a.ipar[ipar::kPrintLevel - 1];
        const int unit = static_cast<int>(corrected_unit(a.ipar[ipar::kDiagnosticUnit - 1]));
        if (raw_level != 0) { write_invalid_parameter(unit, n, ldb); }
        write_error_return(unit, corrected_print_level(raw_level));
        return;
    }
    Solve solve(a, static_cast<std::size_t>(n), static_cast<std::size_t>(ldb));
    if (iflag == 0) {
        solve.start();
        return;
    }
    if (!solve.running()) {
        // IFLAG < 0 with no solve of this size waiting for F: the arrays are not the solver's.
        iflag = static_cast<std::int64_t>(FuneqResult::invalid_call);
        write_invalid_call();
        a.ipar[ipar::kPhase - 1] = kIdle;
        return;
    }
    solve.resume();
}

}  // namespace azeotrope::solver::detail
