#pragma once
/// The azeotrope of one subset of a mixture, if it has one: a liquid with every subset component
/// present whose bubble-point vapour has the liquid's composition (every K-value 1), at fixed
/// pressure. Two components: a safeguarded secant iteration on x_1; more: the equation system
/// 1 - K_i = 0 solved with FUNEQ1 by reverse communication. A point found is then refined by
/// Newton's method on x - y(x) to the precision of the flashes; a point the refinement cannot
/// confirm is not reported.
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

namespace azeotrope {

/// Largest subset (and mixture) the search handles.
inline constexpr std::size_t kMaxSubsetComponents = 20;
/// Row stride of the infinite-dilution K-value matrix of the by-reference SPNCAZ.
inline constexpr std::size_t kSubsetKStride = 20;
/// Leading dimension of the equation solver's matrices: the equation-system path solves subsets of
/// at most this many components; larger ones are refused by the solver and count as having no
/// azeotrope.
inline constexpr std::size_t kSolverLeadingDimension = 10;

struct SubsetProblem {
    std::span<const std::int64_t> components;  ///< N host component indices, in subset order
    /// K(i, j) of component i in nearly pure j at j N + i (1.0 on the diagonal).
    std::span<const double> k_infinite;
    double pressure = 0.0;         ///< [Pa]
    std::int64_t phase_count = 2;  ///< 2 or 3, for every flash
    std::string_view option_set;
    /// Start composition (N entries, normalised before use); empty: the uniform composition.
    std::span<const double> start;
    /// Diagnostic output on unit 0: 0 only the texts that are always written; 2 to 5 more.
    std::int64_t print_level = 0;
};

struct SubsetSolution {
    bool found = false;
    bool heterogeneous = false;  ///< with phase count 3: the two liquids differ at the azeotrope
    /// The subset cannot be searched (fewer than 2 or more than 20 components, a flash without a
    /// liquid component at the start or during the secant iteration): the search status is set.
    bool search_error = true;
    double temperature = 0.0;      ///< bubble temperature at the last composition flashed [K]
    std::vector<double> x;         ///< the azeotrope, subset order (when found)
    std::vector<double> k_values;  ///< y_i / x_i there (when found)
    /// max |x_i - y_i| at x (when found): at most kRefinedResidual.
    double residual = std::numeric_limits<double>::infinity();
    std::int64_t solver_flag = 0;  ///< FUNEQ1's final IFLAG, or the secant points used
    std::int64_t flashes = 0;
};

/// Largest |x_i - y_i| of an azeotrope found. It presumes flashes converged about as tightly as the
/// host's default tolerance (1e-10) gives them; with much looser flashes no point passes.
inline constexpr double kRefinedResidual = 1e-8;

/// Solves one subset. Writes diagnostics to unit 0 only. Never throws except for allocation
/// failure.
SubsetSolution solve_subset(const SubsetProblem& problem);

}  // namespace azeotrope

extern "C" {
/// SPNCAZ in the by-reference form: SPERR (set to 1 on a fatal input or data error), IPRINT, N,
/// NPHASE, P [Pa], FOUND (logical out: all bits set for true), T [K] (out), HETERO (logical out),
/// START (logical in: nonzero = start from X), IDS (N), KINF (20 x 20, K(i, j) at i + 20 j),
/// X (N, in/out: the azeotrope on success), OPSET (field) and its length by value. Never throws.
void SPNCAZ(std::int64_t* SPERR,
            const std::int64_t* IPRINT,
            const std::int64_t* N,
            const std::int64_t* NPHASE,
            const double* P,
            std::int64_t* FOUND,
            double* T,
            std::int64_t* HETERO,
            const std::int64_t* START,
            const std::int64_t* IDS,
            const double* KINF,
            double* X,
            const char* OPSET,
            std::int64_t OPSET_length) noexcept;
}
