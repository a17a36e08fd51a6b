#include "azeotrope/solver/funeq.hpp"

#include "azeotrope/solver/detail/funeq_core.hpp"

namespace {

azeotrope::solver::detail::FuneqArguments arguments(std::int64_t* iflag,
                                                    const std::int64_t* n,
                                                    double* x,
                                                    double* f,
                                                    double* fcur,
                                                    double* diagx,
                                                    double* diagf,
                                                    double* jac,
                                                    const std::int64_t* ldb,
                                                    double* work1,
                                                    double* work2,
                                                    std::int64_t* ipar,
                                                    double* rpar) noexcept {
    azeotrope::solver::detail::FuneqArguments a;
    a.iflag = iflag;
    a.n = n;
    a.x = x;
    a.f = f;
    a.f_current = fcur;
    a.diagx = diagx;
    a.diagf = diagf;
    a.jacobian = jac;
    a.ldb = ldb;
    a.factors = work1;
    a.work = work2;
    a.ipar = ipar;
    a.rpar = rpar;
    return a;
}

}  // namespace

// FUNEQ1 checks the call and FUNEQ2 iterates; both are entries with the same arguments, so both
// go through the same guarded step (an unchecked FUNEQ2 could be handed any N).
extern "C" void FUNEQ1(std::int64_t* IFLAG,
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
                       double* RPAR) noexcept {
    azeotrope::solver::detail::funeq_step(
        arguments(IFLAG, N, X, F, FCUR, DIAGX, DIAGF, JAC, LDB, WORK1, WORK2, IPAR, RPAR));
}

extern "C" void FUNEQ2(std::int64_t* IFLAG,
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
                       double* RPAR) noexcept {
    azeotrope::solver::detail::funeq_step(
        arguments(IFLAG, N, X, F, FCUR, DIAGX, DIAGF, JAC, LDB, WORK1, WORK2, IPAR, RPAR));
}
