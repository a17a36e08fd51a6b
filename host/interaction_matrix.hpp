#pragma once
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace host {

/// An n x n matrix of temperature-dependent binary parameters, row-major (row i, column j):
///     p_ij(T) = a_ij + b_ij/T + e_ij ln(T) + f_ij T        [T in K, b in K, f in 1/K]
/// Each activity model says what p_ij is (NRTL tau_ij, ln Lambda_ij of Wilson, ln tau_ij of
/// UNIQUAC) and which index order it means. The diagonal must be zero. e and f are the
/// extensions some data banks add; most sets have only a and b.
struct InteractionMatrix {
    std::size_t n = 0;
    std::vector<double> a, b, e, f;  ///< each n*n

    InteractionMatrix() = default;
    /// All-zero parameters for n components (every pair ideal).
    explicit InteractionMatrix(std::size_t size)
        : n(size), a(size * size), b(size * size), e(size * size), f(size * size) {}

    /// Sets both directions of the pair (i, j) in one call: a_ij, b_ij and a_ji, b_ji.
    void set_pair(std::size_t i, std::size_t j, double a_ij, double b_ij, double a_ji, double b_ji);

    /// Throws std::invalid_argument (naming `what`) unless every matrix has n*n finite entries
    /// and a zero diagonal.
    void validate(std::string_view what) const;
};

/// An InteractionMatrix prepared for evaluation in inner loops: p_ij(T) and dp_ij/dT into
/// caller storage (n*n, row-major), skipping the ln T and T terms when no pair has them.
class InteractionEvaluator {
public:
    InteractionEvaluator() = default;
    /// Validates m (see InteractionMatrix::validate) and keeps a copy.
    InteractionEvaluator(const InteractionMatrix& m, std::string_view what);
    std::size_t size() const noexcept { return m_.n; }
    const InteractionMatrix& matrix() const noexcept { return m_; }
    void values(double T, std::span<double> p) const noexcept;
    void derivatives(double T, std::span<double> dp) const noexcept;

private:
    InteractionMatrix m_;
    bool has_log_ = false;
    bool has_linear_ = false;
};

}  // namespace host
