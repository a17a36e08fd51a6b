#pragma once
/// Classification of one singular point of the residue curve map (a pure component or an
/// azeotrope) from the eigenvalues of the Jacobian of dx/dt = x - y(x) at the point, y being the
/// bubble-point vapour at fixed pressure.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "azeotrope/stability.hpp"

namespace azeotrope {

/// Error indicators of a classification.
inline constexpr std::int64_t kClassificationOk = 0;
/// A flash failed (not converged: message 502; fatal: 507); no code is derived from it.
inline constexpr std::int64_t kClassificationFlashFailed = -1;
/// The eigenvalue routine failed (message 508).
inline constexpr std::int64_t kClassificationEigenFailed = -2;
/// The arguments cannot describe a point (sizes, NaN, negative mole fractions, pressure, phase
/// count); nothing is flashed.
inline constexpr std::int64_t kClassificationBadInput = -3;

/// Largest component count of a point (the equilibrium service's limit).
inline constexpr std::size_t kMaxClassificationComponents = 100;

struct ClassificationRequest {
    std::span<const std::int64_t> components;  ///< N host component indices
    std::span<const double> x;                 ///< N mole fractions of the point [mol/mol]
    double pressure = 0.0;                     ///< [Pa]
    std::int64_t phase_count = 2;              ///< 2 or 3, for the flashes
    std::string_view option_set;               ///< property option set (blank: the host's)
    bool eigenvectors = false;                 ///< also compute the right eigenvectors
};

/// The result. Eigenvalues, eigenvectors and Jacobian are empty unless the Jacobian was built.
struct Classification {
    Stability stability = Stability::unclassified;
    std::vector<double> eigenvalues_real;  ///< N - 1 real parts
    std::vector<double> eigenvalues_imag;  ///< N - 1 imaginary parts
    /// (N - 1) x (N - 1), column-major; column j belongs to eigenvalue j; a complex pair j, j+1
    /// has its vector in columns j (real part) and j+1 (imaginary part), as LAPACK stores it.
    std::vector<double> eigenvectors;
    /// J = I - dy/dx in x_1 .. x_{N-1}, (N - 1) x (N - 1), column-major.
    std::vector<double> jacobian;
    std::int64_t error = kClassificationBadInput;  ///< one of the kClassification* values
    std::vector<std::int64_t> messages;            ///< run-log message codes, in order
    std::int64_t flashes = 0;                      ///< flashes spent
    bool ok() const noexcept { return error == kClassificationOk; }
};

/// Classifies the point: 2 (N - 1) bubble points around it (composition_pair.hpp, step
/// kClassificationStep), J(i, k) = delta_ik - (y_i(x+) - y_i(x-)) / h, eigenvalues of J by
/// LAPACK, and the code from their real parts (stability.hpp). A one-component point is a stable
/// node without any flash. On any failure the stability stays unclassified. Never throws except
/// for allocation failure.
Classification classify_singular_point(const ClassificationRequest& request);

}  // namespace azeotrope

extern "C" {
/// Stability_RCM in the by-reference form: N, composition (N), eigenvector switch (1: values
/// only; anything else: values and right eigenvectors), pressure [Pa], component index vector
/// (N), option-set name (field), phase count, stability code (out; left as it was when the
/// classification fails), real parts of the N - 1 eigenvalues (out), right eigenvectors
/// ((N - 1) x (N - 1), out, only with the switch not 1), error indicator (out: 0, -1 flash
/// failure, -2 eigenvalue failure, -3 bad arguments), and the field's length by value. The
/// messages 502, 507 and 508 go to the run log. Never throws.
void Stability_RCM(const std::int64_t* N,
                   const double* x,
                   const std::int64_t* eigenvector_switch,
                   const double* pressure,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   std::int64_t* stability,
                   double* eigenvalues_real,
                   double* eigenvectors,
                   std::int64_t* error,
                   std::int64_t option_set_length) noexcept;
}
