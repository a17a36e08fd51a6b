#pragma once
/// The reverse-communication core shared by FUNEQ1, FUNEQ2 and the plain C++ solve().
#include <cstdint>

namespace azeotrope::solver::detail {

/// The thirteen arguments of the by-reference routines, as the caller passed them (sizes in
/// funeq.hpp). Null pointers are allowed and end the call with IFLAG 9.
struct FuneqArguments {
    std::int64_t* iflag = nullptr;
    const std::int64_t* n = nullptr;
    double* x = nullptr;
    double* f = nullptr;
    double* f_current = nullptr;  // argument 5
    double* diagx = nullptr;
    double* diagf = nullptr;
    double* jacobian = nullptr;  // argument 8, ldb x n
    const std::int64_t* ldb = nullptr;
    double* factors = nullptr;  // argument 10, ldb x n
    double* work = nullptr;     // argument 11, funeq_work2_size(ldb)
    std::int64_t* ipar = nullptr;
    double* rpar = nullptr;
};

/// One reverse-communication step: starts a solve (IFLAG 0), takes the F the caller supplied
/// (IFLAG < 0) and returns either a new request (IFLAG < 0) or the result (IFLAG >= 1).
void funeq_step(const FuneqArguments& args) noexcept;

}  // namespace azeotrope::solver::detail
