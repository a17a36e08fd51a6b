#include "azeotrope/solver/detail/messages.hpp"

#include <cstdio>

#include "azeotrope/solver/diagnostic_units.hpp"
#include "azeotrope/solver/funeq.hpp"

namespace azeotrope::solver::detail {
namespace {

// The texts, leading blanks included (the first column was carriage control once and the
// callers' logs keep it).
constexpr const char* kSolved1 = " FUNEQ2 FOUND A SOLUTION AFTER";
constexpr const char* kSolved2 = " ITERATIONS AND";
constexpr const char* kSolved3 = " JACOBIAN EVALUATIONS";
constexpr const char* kXConverged1 = " THE SOLUTION X HAS CONVERGED";
constexpr const char* kXConverged2 = " TIMES";
constexpr const char* kXConverged3 = " BUT FUNCTION IS STILL TOO BIG -- SOLUTION";
constexpr const char* kXConverged4 = " MAY BE INCORRECT";
constexpr const char* kSmallStep = " VERY SMALL STEP POSSIBLY DUE TO BOUND CONSTRAINTS";
constexpr const char* kSlow = " VERY SLOW CONVERGENCE IN FUNEQ2";
constexpr const char* kNoSolution = " SUBROUTINE FUNEQ2 DID NOT FIND A SOLUTION IN";
constexpr const char* kJacobianEvaluations = " JACOBIAN EVALUATIONS";
constexpr const char* kIterations = " ITERATIONS";
constexpr const char* kSingular1 = " JACOBIAN MATRIX BECOME SINGULAR,";
constexpr const char* kSingular2 = " SINGULARITY PARAMETER =";
constexpr const char* kUndefined = " FUNCTION IS UNDEFINED AT THE STARTING POINT";
constexpr const char* kCannotPerturb1 = " CANNOT PERTURB THE";
constexpr const char* kCannotPerturb2 = " TH VARIABLE FOR JACOBIAN EVALUATION";
constexpr const char* kSingularThe = " SINGULAR - THE";
constexpr const char* kUnaffected1 = " TH FUNCTION IS NOT AFFECTED";
constexpr const char* kUnaffected2 = " BY ANY VARIABLE";
constexpr const char* kNoEffect1 = " TH VARIABLE HAS NO EFFECT";
constexpr const char* kNoEffect2 = " ON ANY OF THE FUNCTIONS";
constexpr const char* kErrorReturn1 = " ERROR RETURN FROM NONLINEAR EQUATION SOLVER";
constexpr const char* kErrorReturn2 = " FUNEQ2/FUNEQ1";
constexpr const char* kInvalidParameter = " *** ERROR FROM FUNEQ1: INVALID PARAMETER ***";
constexpr const char* kInvalidN = "     N =";
constexpr const char* kInvalidLdb = "  LDB =";
constexpr const char* kTerminated = " *** EXECUTION TERMINATED IN ROUTINE FUNEQ1 ***";
constexpr const char* kBecause1 = "     BECAUSE IFLAG =";
constexpr const char* kBecause2 = "  ON INPUT";
constexpr const char* kLabel710 = "*** Error in funeq1 label 710 ***";
constexpr const char* kJacobianNumber1 = " *** JACOBIAN EVALUATION NO.";
constexpr const char* kJacobianNumber2 = " ***";
constexpr const char* kReuse = " *** REUSE PREVIOUS JACOBIAN ***";
constexpr const char* kIteration = " AT ITERATION NO.";
constexpr const char* kNorm = "    2-NORM OF F/DIAGF =";

constexpr std::int64_t kResultLevel = 3;
constexpr std::int64_t kSolvedLevel = 7;

std::string concat(const char* a, const std::string& b, const char* c = "") {
    std::string line(a);
    line += b;
    line += c;
    return line;
}

}  // namespace

std::string fortran_integer(std::int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%5lld", static_cast<long long>(value));
    return buffer;
}

std::string fortran_real(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%13.5E", value);
    return buffer;
}

void write_error_return(int unit, std::int64_t level) noexcept {
    try {
        if (level >= kResultLevel) {
            write_unit_line(unit, std::string(kErrorReturn1) + kErrorReturn2);
        }
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_result_message(int unit,
                          std::int64_t level,
                          std::int64_t iflag,
                          const ResultFacts& facts) noexcept {
    try {
        if (iflag == 1) {
            if (level >= kSolvedLevel) {
                write_unit_line(unit,
                                concat(kSolved1, fortran_integer(facts.iterations), kSolved2) +
                                    fortran_integer(facts.jacobians) + kSolved3);
            }
            return;
        }
        if (level < kResultLevel) { return; }
        const std::int64_t m = iflag / 100;
        // 100 m + 10, 11, 12 share one text each; 9 and 10 have texts of their own elsewhere.
        switch (iflag >= 100 ? 100 + iflag % 100 : iflag) {
            case 2:
                write_unit_line(
                    unit, concat(kXConverged1, fortran_integer(facts.x_converged), kXConverged2));
                write_unit_line(unit, kXConverged3);
                write_unit_line(unit, kXConverged4);
                break;
            case 3:
                write_unit_line(unit, kSmallStep);
                break;
            case 4:
                write_unit_line(unit, kSlow);
                break;
            case 5:
                write_unit_line(unit, concat(kNoSolution, fortran_integer(facts.jacobians),
                                             kJacobianEvaluations));
                break;
            case 6:
                write_unit_line(
                    unit, concat(kNoSolution, fortran_integer(facts.iterations), kIterations));
                break;
            case 7:
                write_unit_line(unit, kSingular1);
                write_unit_line(unit, concat(kSingular2, fortran_real(facts.singularity)));
                break;
            case 8:
                write_unit_line(unit, kUndefined);
                break;
            case 100 + kCannotPerturbBase:
                write_unit_line(unit, concat(kCannotPerturb1, fortran_integer(m), kCannotPerturb2));
                break;
            case 100 + kFunctionUnaffectedBase:
                write_unit_line(unit, concat(kSingularThe, fortran_integer(m), kUnaffected1));
                write_unit_line(unit, kUnaffected2);
                break;
            case 100 + kVariableNoEffectBase:
                write_unit_line(unit, concat(kSingularThe, fortran_integer(m), kNoEffect1));
                write_unit_line(unit, kNoEffect2);
                break;
            default:
                break;
        }
        write_error_return(unit, level);
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_invalid_parameter(int unit, std::int64_t n, std::int64_t ldb) noexcept {
    try {
        write_unit_line(unit, kInvalidParameter);
        write_unit_line(unit,
                        concat(kInvalidN, fortran_integer(n), kInvalidLdb) + fortran_integer(ldb));
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_invalid_call() noexcept {
    try {
        write_unit_line(0, kTerminated);
        write_unit_line(
            0,
            concat(kBecause1, fortran_integer(static_cast<std::int64_t>(FuneqResult::invalid_call)),
                   kBecause2));
        write_unit_line(7, kLabel710);
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_jacobian_evaluation(int unit, std::int64_t count) noexcept {
    try {
        write_unit_line(unit, concat(kJacobianNumber1, fortran_integer(count), kJacobianNumber2));
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_reuse_jacobian(int unit) noexcept {
    try {
        write_unit_line(unit, kReuse);
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_iteration(int unit, std::int64_t iteration, double residual_norm) noexcept {
    try {
        write_unit_line(unit, concat(kIteration, fortran_integer(iteration)));
        write_unit_line(unit, concat(kNorm, fortran_real(residual_norm)));
    } catch (...) {  // no memory for the text: drop it
    }
}

void write_vector(int unit, const char* header, std::span<const double> values) noexcept {
    try {
        write_unit_line(unit, header);
        std::string line;
        for (std::size_t i = 0; i < values.size(); ++i) {
            line += fortran_real(values[i]);
            if (i % 5 == 4 || i + 1 == values.size()) {
                write_unit_line(unit, line);
                line.clear();
            }
        }
    } catch (...) {  // no memory for the text: drop it
    }
}

}  // namespace azeotrope::solver::detail
