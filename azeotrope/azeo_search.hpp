#pragma once
/// Every azeotrope of a mixture of 2 to 20 components at fixed pressure, with the stability of
/// every azeotrope and pure component; for three components, the check of the whole set against
/// the topological rule of residue curve maps, 2 (N3 - S3) + (N2 - S2) + N1 = 2 (Doherty &
/// Perkins 1979), trying other component orderings while it fails.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "azeotrope/stability.hpp"

namespace azeotrope {

/// Azeotropes a search can hold (the buffers of the automation object have this size).
inline constexpr std::size_t kAzeotropeCapacity = 100;

/// Error indicators of a search (IERR).
inline constexpr std::int64_t kSearchOk = 0;
/// The search itself failed or stopped early (message 509): too few or too many components, a
/// limit reached, a subset that could not be searched, or arguments that describe no search.
inline constexpr std::int64_t kSearchFailed = 1;
/// A singular point could not be classified (message 510).
inline constexpr std::int64_t kSearchClassificationFailed = 2;

struct SearchProblem {
    std::vector<std::int64_t> components;       ///< n host component indices (2 to 20)
    double pressure = 0.0;                      ///< [Pa]
    std::int64_t phase_count = 2;               ///< 2, or 3 to let liquids split
    std::string option_set;                     ///< property option set (blank: the host's)
    std::size_t capacity = kAzeotropeCapacity;  ///< most azeotropes to find
};

struct Azeotrope {
    std::vector<double> x;     ///< n mole fractions in component order, 0 for absent components
    double temperature = 0.0;  ///< boiling temperature [K]
    std::int64_t component_count = 0;  ///< components present (2 .. n)
    AzeotropePhase phase = AzeotropePhase::homogeneous;
    Stability stability = Stability::unclassified;
};

struct SearchResult {
    std::vector<double> pure_temperatures;  ///< n boiling temperatures [K] (-1 if unknown)
    std::vector<Stability> pure_stability;  ///< n codes
    std::vector<Azeotrope> azeotropes;      ///< in the order found
    /// K(i, j) of component i in nearly pure j, at j n + i, component order (1.0 if unknown).
    std::vector<double> k_infinite;
    std::int64_t error =
        kSearchFailed;  ///< kSearchOk, kSearchFailed or kSearchClassificationFailed
    /// Three components: whether the rule holds; empty for other counts and whenever a point is
    /// unclassified (then the rule says nothing).
    std::optional<bool> topology_ok;
    std::int64_t topology_sum = 0;  ///< the rule's left-hand side (three components)
    int ordering = 0;  ///< three components: the ordering (1..6) these results come from
    std::vector<std::int64_t> messages;  ///< run-log codes (502, 507..511), in order
    std::int64_t flashes = 0;

    /// n pure components followed by the azeotropes.
    std::size_t singular_point_count() const noexcept {
        return pure_temperatures.size() + azeotropes.size();
    }
};

/// The component orderings tried for three components (0-based positions of the caller's
/// components), in order.
inline constexpr int kTernaryOrderings[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1},
                                                {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};

/// Runs the search. Diagnostic unit 0 is connected to nothing while it runs. Never throws except
/// for allocation failure.
SearchResult search(const SearchProblem& problem);

}  // namespace azeotrope

extern "C" {
/// Azeo_Search in the by-reference form: n, pressure [Pa], phase count, option-set name (field),
/// component index vector (n), NAZ (in: capacity MAXAZ; out: azeotropes found), azeotrope
/// compositions (n x MAXAZ), temperatures (MAXAZ), components per azeotrope (MAXAZ), phase flags
/// (MAXAZ), stability codes (MAXAZ), singular-point compositions (n x (n + MAXAZ)), temperatures
/// (n + MAXAZ) and stability codes (n + MAXAZ), IERR, and the field's length by value. Messages
/// 502, 505, 507..511 go to the run log. Never throws.
void Azeo_Search(const std::int64_t* n,
                 const double* pressure,
                 const std::int64_t* phase_count,
                 const char* option_set,
                 const std::int64_t* component_ids,
                 std::int64_t* naz,
                 double* azeotrope_compositions,
                 double* azeotrope_temperatures,
                 std::int64_t* azeotrope_component_counts,
                 std::int64_t* azeotrope_phases,
                 std::int64_t* azeotrope_stability,
                 double* singular_compositions,
                 double* singular_temperatures,
                 std::int64_t* singular_stability,
                 std::int64_t* ierr,
                 std::int64_t option_set_length) noexcept;

/// SPALAZ in the by-reference form: SPERR (set to 1 on failure), IPRINT, n, component index
/// vector (n), pressure [Pa], pure boiling temperatures (n, out), pure indicator codes (n, out),
/// K-value matrix (n x n, out, (i, j) at i + n j), MAXAZ, NAZ (out), phase flags, components per
/// azeotrope, temperatures (MAXAZ each, out), azeotrope compositions (MAXAZ x n, azeotrope index
/// first, out), phase count, option-set name (field), and its length by value. Never throws.
void SPALAZ(std::int64_t* SPERR,
            const std::int64_t* IPRINT,
            const std::int64_t* n,
            const std::int64_t* component_ids,
            const double* pressure,
            double* pure_temperatures,
            std::int64_t* pure_indicators,
            double* k_values,
            const std::int64_t* MAXAZ,
            std::int64_t* NAZ,
            std::int64_t* azeotrope_phases,
            std::int64_t* azeotrope_component_counts,
            double* azeotrope_temperatures,
            double* azeotrope_compositions,
            const std::int64_t* phase_count,
            const char* option_set,
            std::int64_t option_set_length) noexcept;
}
