#pragma once
// LSODA: variable-step, variable-order integrator for dy/dt = f(t, y) that watches for stiffness
// and switches between the implicit Adams formulas (orders 1-12, functional iteration) and the
// BDF formulas (orders 1-5, chord Newton iteration) on its own (Petzold 1983; Hindmarsh 1983).
//
// Two faces over one core:
//  * `integrate`, the plain C++ entry, with the state owned by the caller;
//  * `lsoda`, the by-reference routine with the classic argument list, for callers that keep
//    that convention. It keeps its state in one module-level struct per thread (the classic
//    routine keeps it in common blocks), so one such integration runs at a time per thread.
//
// Integer codes (istate, itask, itol, jt) and the diagnostic texts are those of the classic
// routine; the texts go to a stream (standard output unless the caller redirects them).

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <span>
#include <vector>

namespace rcm::ode {

/// Integration family. The codes are the classic method indicators (mused, mcur).
enum class Method : std::int64_t { none = 0, adams = 1, bdf = 2 };

/// Right-hand side: writes dy/dt at (t, y) into ydot. Returns 0 when it worked, a positive
/// value when it could not evaluate at this point (the step is retried with h / 4, like a
/// corrector convergence failure) and a negative value to stop the integration (istate = -8).
/// Non-finite values in ydot count as a positive return.
using RightHandSide =
    std::function<int(double t, std::span<const double> y, std::span<double> ydot)>;

/// Jacobian df/dy at (t, y), same return convention. Full type: pd is n x n, column by column,
/// with leading dimension nrowpd = n and arrives zeroed. Banded type: element (i, j) goes to
/// pd[(i - j + mu) + j * nrowpd] (0-based), the classic band storage.
using JacobianFunction = std::function<int(double t,
                                           std::span<const double> y,
                                           std::int64_t ml,
                                           std::int64_t mu,
                                           std::span<double> pd,
                                           std::int64_t nrowpd)>;

/// How the BDF iteration matrix gets its Jacobian (the classic jt codes).
enum class JacobianType : std::int64_t {
    user_full = 1,        ///< JacobianFunction, full matrix
    internal_full = 2,    ///< forward differences, n extra f calls per Jacobian
    user_banded = 4,      ///< JacobianFunction, band storage
    internal_banded = 5,  ///< forward differences grouped by bands, ml + mu + 1 extra f calls
};

/// What a call does (the classic itask codes).
enum class Task : std::int64_t {
    normal = 1,                ///< step past tout and interpolate y(tout)
    one_step = 2,              ///< take one step and return
    stop_at_mesh_point = 3,    ///< step until tout is reached or passed, return the mesh point
    normal_within_tcrit = 4,   ///< as normal, never stepping past critical_time
    one_step_within_tcrit = 5  ///< as one_step, never stepping past critical_time
};

/// Standard output, where the diagnostics go unless a caller redirects them.
std::ostream* standard_output() noexcept;

/// Options of the plain entry. Zero in a numeric option means "the default", as in the classic
/// optional inputs.
struct LsodaSettings {
    std::vector<double> rtol{1e-6};  ///< relative tolerance: one value or one per equation
    std::vector<double> atol{1e-6};  ///< absolute tolerance: one value or one per equation
    Task task = Task::normal;
    JacobianType jacobian_type = JacobianType::internal_full;
    std::int64_t lower_bandwidth = 0;    ///< ml, banded types only
    std::int64_t upper_bandwidth = 0;    ///< mu, banded types only
    double critical_time = 0.0;          ///< tcrit for tasks 4 and 5
    double initial_step = 0.0;           ///< h0, pointing towards tout; 0 = chosen here
    double max_step = 0.0;               ///< hmax; 0 = unbounded
    double min_step = 0.0;               ///< hmin
    std::int64_t max_steps = 0;          ///< mxstep per call; 0 = 500
    std::int64_t max_hnil_warnings = 0;  ///< mxhnil; 0 = 10
    std::int64_t max_adams_order = 0;    ///< mxordn; 0 = 12
    std::int64_t max_bdf_order = 0;      ///< mxords; 0 = 5
    bool print_switches = false;         ///< ixpr = 1: report every method switch
    /// Work-space limits in the classic units (doubles, integers); negative = unlimited. Only
    /// used to reproduce the classic length checks (istate -3 at the start, -7 at a switch).
    std::int64_t real_work_length = -1;
    std::int64_t integer_work_length = -1;
    /// Where diagnostics go; nullptr silences them.
    std::ostream* messages = standard_output();
};

/// Everything the integrator keeps between calls (the classic common blocks), in one place.
/// The fields are public so that callers and tests can watch the method, step and order; only
/// the integrator writes them.
struct LsodaState {
    // --- optional outputs of the classic routine
    Method method = Method::none;       ///< method for the next step (mcur)
    Method method_used = Method::none;  ///< method of the last successful step (mused)
    int order = 1;                      ///< order for the next step (nqcur)
    int order_used = 0;                 ///< order of the last successful step (nqu)
    double step = 0.0;                  ///< step size for the next step (hcur)
    double step_used = 0.0;             ///< size of the last successful step (hu)
    double t = 0.0;                     ///< internal time tn, the furthest point reached (tcur)
    double switch_time = 0.0;           ///< t at the last method switch (tsw)
    double tolerance_scale = 0.0;       ///< tolsf: factor by which to raise too small tolerances
    std::int64_t steps = 0;             ///< nst
    std::int64_t rhs_calls = 0;         ///< nfe, including those of difference Jacobians
    std::int64_t jacobian_calls = 0;    ///< nje (Jacobian evaluations and LU factorisations)
    std::int64_t largest_error_component = -1;  ///< imxer, 0-based; -1 when not set
    std::int64_t real_work_needed = 0;          ///< lenrw of the current method
    std::int64_t integer_work_needed = 0;       ///< leniw

    // --- problem and storage
    bool initialised = false;
    std::int64_t n = 0;    ///< equations in use
    std::int64_t nyh = 0;  ///< rows of the history array (n at the first call)
    /// Nordsieck array: column j (j = 0..12) holds h^j/j! y^(j)(tn), at history[j * nyh].
    std::vector<double> history;
    std::vector<double> ewt;     ///< reciprocal error weights 1 / (rtol |y| + atol)
    std::vector<double> savf;    ///< f at the current iterate
    std::vector<double> acor;    ///< accumulated correction; after a step, the local error estimate
    std::vector<double> y;       ///< corrector iterate
    std::vector<double> ftem;    ///< scratch for difference quotients
    std::vector<double> matrix;  ///< P = I - h l0 J, LU-factorised in place (n x n)
    std::vector<std::int64_t> pivots;  ///< row interchanges of the LU factorisation
    std::vector<double> band;          ///< band storage for a user band Jacobian

    // --- current formula: coefficients of (method, order)
    std::array<double, 13> el{};  ///< l-vector
    double el0 = 1.0;             ///< l_0 used when P was last formed
    double rc = 0.0;              ///< h l_0 now over h l_0 when P was formed
    double conit = 0.0;           ///< 0.5 / (q + 2), corrector convergence target

    // --- step control
    double held_step = 0.0;     ///< h at the end of the last call of the step routine (hold)
    double told = 0.0;          ///< tn before the step being attempted
    double rmax = 1e4;          ///< largest allowed step growth factor
    double crate = 0.7;         ///< convergence rate estimate of the corrector
    double pnorm = 0.0;         ///< weighted norm of the predicted y
    double min_step = 0.0;      ///< hmin
    double inv_max_step = 0.0;  ///< 1 / hmax, 0 when unbounded
    double critical_time = 0.0;
    int l = 2;      ///< q + 1
    int lmax = 13;  ///< max order + 1
    int max_order = 12;
    int max_adams_order = 12;  ///< mxordn
    int max_bdf_order = 5;     ///< mxords
    int ialth = 2;             ///< successful steps to wait before a step/order change
    int ipup = 0;              ///< > 0: form a new Jacobian and P before the next corrector
    int jcur = 0;              ///< 1 when the Jacobian was evaluated at the current step
    int jstart = 0;     ///< 0 first step, 1 continue, -1 method or parameters changed, -2 h changed
    int kflag = 0;      ///< result of the last step: 0 ok, -1 error test, -2 convergence, -4 stop
    int iteration = 0;  ///< miter: 0 functional iteration, else the Jacobian type in use
    int jacobian_type = 2;  ///< jt
    std::int64_t ml = 0, mu = 0;
    std::int64_t nslp = 0;  ///< steps at the last Jacobian evaluation

    // --- stiffness detection
    int icount = 20;      ///< steps left before the next switch test
    int irflag = 0;       ///< 1 when the last step size was cut by the Adams stability bound
    double pdest = 0.0;   ///< running estimate of the Lipschitz constant (Adams)
    double pdlast = 0.0;  ///< last non-zero pdest
    double pdnorm = 0.0;  ///< weighted norm of the last Jacobian
    double ratio = 5.0;   ///< step advantage BDF needs over Adams before switching to it

    // --- driver bookkeeping
    std::int64_t steps_at_call_start = 0;  ///< nslast
    std::int64_t max_steps = 500;          ///< mxstep
    std::int64_t hnil_warnings = 0;        ///< nhnil
    std::int64_t max_hnil_warnings = 10;   ///< mxhnil
    std::int64_t repeated_tout_calls = 0;  ///< ntrep
    std::int64_t illegal_calls = 0;        ///< consecutive illegal-input returns
    bool print_switches = false;
};

/// One call of the integrator (the plain face). y holds the n values at t on entry; on return
/// y and t are the solution at the point reached, and istate the classic status code:
///  in : 1 first call (or restart from t, y), 2 continue, 3 continue after changed settings;
///  out: 1 nothing done (tout == t on a first call), 2 success, -1 mxstep steps taken (call again
///       with 2), -2 tolerances too small (see tolerance_scale), -3 illegal input, -4 repeated
///       error-test failures, -5 repeated convergence failures, -6 an error weight became zero,
///       -7 work space too small for the BDF method, -8 a callback asked to stop.
/// Exceptions thrown by the callbacks propagate; the state then needs a restart (istate 1).
void integrate(LsodaState& state,
               const RightHandSide& f,
               const JacobianFunction& jacobian,
               std::span<double> y,
               double& t,
               double tout,
               std::int64_t& istate,
               const LsodaSettings& settings);

/// k-th derivative of the interpolating polynomial at time t (0 <= k <= current order), for
/// t within the last step. Returns 0, or -1 for an illegal k, -2 for t outside the last step
/// (the classic interpolation routine's codes). out must hold n values.
int interpolate(const LsodaState& state, double t, int k, std::span<double> out);

// ---------------------------------------------------------------------------------------------
// The by-reference routine: every argument by reference, 64-bit integers, arrays column by
// column.

/// f(neq, t, y, ydot): writes ydot = f(t, y), neq values.
using LsodaRhsRoutine = void (*)(const std::int64_t* neq,
                                 const double* t,
                                 const double* y,
                                 double* ydot);
/// jac(neq, t, y, ml, mu, pd, nrowpd): writes df/dy into pd (full: pd(i, j) at
/// pd[i + j * nrowpd]; band: pd(i - j + mu, j)).
using LsodaJacRoutine = void (*)(const std::int64_t* neq,
                                 const double* t,
                                 const double* y,
                                 const std::int64_t* ml,
                                 const std::int64_t* mu,
                                 double* pd,
                                 const std::int64_t* nrowpd);

/// The classic LSODA call. Work arrays are checked against the classic lengths (lrw at least
/// max(20 + 16 neq, 22 + 9 neq + neq^2) for a full Jacobian, liw at least 20 + neq); the
/// optional inputs are read from them when iopt = 1 and the optional outputs written to them
/// (rwork(11..15): hu, hcur, tcur, tolsf, tsw; iwork(11..20): nst, nfe, nje, nqu, nqcur,
/// imxer, lenrw, leniw, mused, mcur; 1-based as in the classic documentation). The integration
/// history itself lives in a module-level LsodaState of the calling thread.
void lsoda(LsodaRhsRoutine f,
           const std::int64_t* neq,
           double* y,
           double* t,
           const double* tout,
           const std::int64_t* itol,
           const double* rtol,
           const double* atol,
           const std::int64_t* itask,
           std::int64_t* istate,
           const std::int64_t* iopt,
           double* rwork,
           const std::int64_t* lrw,
           std::int64_t* iwork,
           const std::int64_t* liw,
           LsodaJacRoutine jac,
           const std::int64_t* jt) noexcept;

/// Where the by-reference routine writes its diagnostics (default: standard output); nullptr
/// silences them. Returns the previous stream. Per thread, like the routine's state.
std::ostream* set_lsoda_message_stream(std::ostream* stream) noexcept;

/// The by-reference routine's state on this thread (read-only view, for tests and reports).
const LsodaState& lsoda_module_state() noexcept;

}  // namespace rcm::ode
