// The two faces of the integrator: the plain C++ entry and the by-reference routine. Both only
// translate arguments; all of the method lives in lsoda_core.cpp.

#include "rcm/ode/lsoda.hpp"

#include <algorithm>
#include <iostream>
#include <new>

#include "rcm/ode/detail/lsoda_core.hpp"
#include "rcm/ode/detail/messages.hpp"

namespace rcm::ode {

std::ostream* standard_output() noexcept { return &std::cout; }

void integrate(LsodaState& state,
               const RightHandSide& f,
               const JacobianFunction& jacobian,
               std::span<double> y,
               double& t,
               double tout,
               std::int64_t& istate,
               const LsodaSettings& settings) {
    detail::CoreArguments a;
    a.neq = static_cast<std::int64_t>(y.size());
    const auto sized_right = [&](const std::vector<double>& v) {
        return v.size() == 1 || (a.neq > 0 && static_cast<std::int64_t>(v.size()) == a.neq);
    };
    if (a.neq > 0 && (!sized_right(settings.rtol) || !sized_right(settings.atol))) {
        const auto bad = static_cast<std::int64_t>(
            sized_right(settings.rtol) ? settings.atol.size() : settings.rtol.size());
        detail::write_message(settings.messages,
                              {"LSODA--  A tolerance array has I1 entries; 1 or NEQ (=I2) needed"},
                              {bad, a.neq});
        istate = -3;
        ++state.illegal_calls;
        return;
    }
    if (a.neq > 0) {
        const bool rtol_array = settings.rtol.size() > 1;
        const bool atol_array = settings.atol.size() > 1;
        a.itol = 1 + (atol_array ? 1 : 0) + (rtol_array ? 2 : 0);
        a.rtol = settings.rtol.data();
        a.atol = settings.atol.data();
    }
    a.itask = static_cast<std::int64_t>(settings.task);
    a.iopt = 1;
    a.h0 = settings.initial_step;
    a.hmax = settings.max_step;
    a.hmin = settings.min_step;
    a.ixpr = settings.print_switches ? 1 : 0;
    a.mxstep = settings.max_steps;
    a.mxhnil = settings.max_hnil_warnings;
    a.mxordn = settings.max_adams_order;
    a.mxords = settings.max_bdf_order;
    a.tcrit = settings.critical_time;
    a.ml = settings.lower_bandwidth;
    a.mu = settings.upper_bandwidth;
    a.lrw = settings.real_work_length;
    a.liw = settings.integer_work_length;
    a.jt = static_cast<std::int64_t>(settings.jacobian_type);
    a.messages = settings.messages;
    try {
        detail::run_lsoda(state, a, f, jacobian, y.data(), t, tout, istate);
    } catch (...) {
        // The step in progress is lost: only a restart is meaningful now.
        state.initialised = false;
        throw;
    }
}

namespace {

/// The by-reference routine's working storage: the integration state and where messages go.
struct ReferenceRoutineModule {
    LsodaState state;
    std::ostream* messages = &std::cout;
};

ReferenceRoutineModule& reference_module() {
    thread_local ReferenceRoutineModule module;
    return module;
}

// Optional inputs and outputs of the classic work arrays (1-based positions in the comments).
constexpr std::int64_t kOptionalSlots = 20;

}  // namespace

std::ostream* set_lsoda_message_stream(std::ostream* stream) noexcept {
    ReferenceRoutineModule& m = reference_module();
    std::ostream* previous = m.messages;
    m.messages = stream;
    return previous;
}

const LsodaState& lsoda_module_state() noexcept { return reference_module().state; }

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
           const std::int64_t* jt) noexcept {
    if (istate == nullptr) { return; }
    ReferenceRoutineModule& m = reference_module();
    if (f == nullptr || neq == nullptr || y == nullptr || t == nullptr || tout == nullptr ||
        itol == nullptr || rtol == nullptr || atol == nullptr || itask == nullptr ||
        iopt == nullptr || lrw == nullptr || liw == nullptr || jt == nullptr ||
        (rwork == nullptr && *lrw > 0) || (iwork == nullptr && *liw > 0)) {
        detail::write_message(m.messages, {"LSODA--  A required argument is missing"});
        *istate = -3;
        ++m.state.illegal_calls;
        return;
    }
    const std::int64_t real_length = std::max<std::int64_t>(*lrw, 0);
    const std::int64_t integer_length = std::max<std::int64_t>(*liw, 0);

    detail::CoreArguments a;
    a.neq = *neq;
    a.itol = *itol;
    a.rtol = rtol;
    a.atol = atol;
    a.itask = *itask;
    a.iopt = *iopt;
    a.jt = *jt;
    a.lrw = real_length;
    a.liw = integer_length;
    a.messages = m.messages;
    // Arrays too short for the optional slots fail the length check anyway; never read them.
    const bool slots = real_length >= kOptionalSlots && integer_length >= kOptionalSlots;
    if (slots && a.iopt == 1) {
        a.h0 = rwork[4];    // rwork(5)
        a.hmax = rwork[5];  // rwork(6)
        a.hmin = rwork[6];  // rwork(7)
        a.ixpr = iwork[4];  // iwork(5)
        a.mxstep = iwork[5];
        a.mxhnil = iwork[6];
        a.mxordn = iwork[7];
        a.mxords = iwork[8];
    }
    if (slots && (a.itask == 4 || a.itask == 5)) {
        a.tcrit = rwork[0];  // rwork(1)
    }
    if (slots && (a.jt == 4 || a.jt == 5)) {
        a.ml = iwork[0];  // iwork(1)
        a.mu = iwork[1];  // iwork(2)
    }

    // The user's neq pointer goes back to f and jac unchanged: the classic convention lets
    // it point at an array that carries user data after the count.
    const RightHandSide rhs = [f, neq](double tt, std::span<const double> yy,
                                       std::span<double> yd) {
        f(neq, &tt, yy.data(), yd.data());
        return 0;
    };
    JacobianFunction jacobian;
    if (jac != nullptr) {
        jacobian = [jac, neq](double tt, std::span<const double> yy, std::int64_t ml,
                              std::int64_t mu, std::span<double> pd, std::int64_t nrowpd) {
            jac(neq, &tt, yy.data(), &ml, &mu, pd.data(), &nrowpd);
            return 0;
        };
    }
    try {
        detail::run_lsoda(m.state, a, rhs, jacobian, y, *t, *tout, *istate);
    } catch (const std::bad_alloc&) {
        detail::write_message(m.messages, {"LSODA--  Work space could not be allocated"});
        m.state.initialised = false;
        *istate = -7;
        return;
    } catch (...) {
        m.state.initialised = false;
        *istate = -3;
        return;
    }

    if (slots && *istate != -3) {
        const LsodaState& s = m.state;
        rwork[10] = s.step_used;        // hu
        rwork[11] = s.step;             // hcur
        rwork[12] = s.t;                // tcur
        rwork[13] = s.tolerance_scale;  // tolsf
        rwork[14] = s.switch_time;      // tsw
        iwork[10] = s.steps;
        iwork[11] = s.rhs_calls;
        iwork[12] = s.jacobian_calls;
        iwork[13] = s.order_used;
        iwork[14] = s.order;
        iwork[15] = s.largest_error_component + 1;  // imxer, 1-based (0: not set)
        iwork[16] = s.real_work_needed;
        iwork[17] = s.integer_work_needed;
        iwork[18] = static_cast<std::int64_t>(s.method_used);
        iwork[19] = static_cast<std::int64_t>(s.method);
    }
}

}  // namespace rcm::ode
