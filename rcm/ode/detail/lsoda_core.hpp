#pragma once
// The integrator core shared by the plain entry and the by-reference routine: the classic
// arguments in one struct, the callbacks in the plain form.

#include <cstdint>
#include <iosfwd>

#include "rcm/ode/lsoda.hpp"

namespace rcm::ode::detail {

/// The classic call arguments other than f, y, t, tout, istate and jac.
struct CoreArguments {
    std::int64_t neq = 0;
    std::int64_t itol = 1;         ///< 1..4: which of rtol/atol are arrays
    const double* rtol = nullptr;  ///< 1 or neq values
    const double* atol = nullptr;
    std::int64_t itask = 1;
    std::int64_t iopt = 0;  ///< 1: the optional inputs below are used
    double h0 = 0.0;
    double hmax = 0.0;
    double hmin = 0.0;
    std::int64_t ixpr = 0;
    std::int64_t mxstep = 0;
    std::int64_t mxhnil = 0;
    std::int64_t mxordn = 0;
    std::int64_t mxords = 0;
    double tcrit = 0.0;           ///< itask 4 and 5
    std::int64_t ml = 0, mu = 0;  ///< jt 4 and 5
    std::int64_t lrw = -1;        ///< available real work space; negative: unlimited
    std::int64_t liw = -1;        ///< available integer work space; negative: unlimited
    std::int64_t jt = 2;
    std::ostream* messages = nullptr;
};

/// Runs one call of the integrator on state. y holds neq values.
void run_lsoda(LsodaState& state,
               const CoreArguments& arguments,
               const RightHandSide& f,
               const JacobianFunction& jacobian,
               double* y,
               double& t,
               double tout,
               std::int64_t& istate);

/// Classic work-array lengths for neq equations with the given maximum orders and Jacobian type.
std::int64_t real_work_adams(std::int64_t neq, std::int64_t mxordn);
std::int64_t real_work_bdf(
    std::int64_t neq, std::int64_t mxords, std::int64_t jt, std::int64_t ml, std::int64_t mu);
inline std::int64_t integer_work(std::int64_t neq) { return 20 + neq; }

}  // namespace rcm::ode::detail
