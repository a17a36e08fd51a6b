#pragma once
/// The solver's message texts and the fixed-format numbers that go with them. Every text of the
/// routines is written from here, so that none can drift from another.
#include <cstdint>
#include <span>
#include <string>

namespace azeotrope::solver::detail {

/// An integer in a field of five, right-aligned (wider when it needs more), like Fortran's I5.
std::string fortran_integer(std::int64_t value);
/// A real as d.ddddE+xx in a field of thirteen, like Fortran's 1PE13.5.
std::string fortran_real(double value);

/// What a result message prints besides its text.
struct ResultFacts {
    std::int64_t iterations = 0;
    std::int64_t jacobians = 0;
    std::int64_t x_converged = 0;
    double singularity = 0.0;
};

/// Every writer below is noexcept: a text that cannot be built (no memory) is dropped.

/// Writes the message of result `iflag` to `unit` at print level `level`: the text of the result
/// (level >= 7 for a solution, >= 3 for anything else) and, for every result above 1, the
/// closing line (level >= 3). The texts of IFLAG 9 and 10 are written by their own functions.
void write_result_message(int unit,
                          std::int64_t level,
                          std::int64_t iflag,
                          const ResultFacts& facts) noexcept;
/// " ERROR RETURN FROM NONLINEAR EQUATION SOLVER FUNEQ2/FUNEQ1" at level >= 3.
void write_error_return(int unit, std::int64_t level) noexcept;
/// The invalid-parameter text of IFLAG 9.
void write_invalid_parameter(int unit, std::int64_t n, std::int64_t ldb) noexcept;
/// The texts of IFLAG 10: two lines on unit 0 and one on unit 7.
void write_invalid_call() noexcept;

void write_jacobian_evaluation(int unit, std::int64_t count) noexcept;
void write_reuse_jacobian(int unit) noexcept;
void write_iteration(int unit, std::int64_t iteration, double residual_norm) noexcept;
/// A vector as a header line and up to five numbers a line.
void write_vector(int unit, const char* header, std::span<const double> values) noexcept;

}  // namespace azeotrope::solver::detail
