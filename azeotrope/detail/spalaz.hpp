#pragma once
/// The part of the azeotrope search below the driver: infinite-dilution K-values, pure boiling
/// points, and one subset search (grown one component at a time) from every pair of components
/// whose K-values at infinite dilution show a two-component azeotrope.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace azeotrope::detail {

struct SpalazProblem {
    std::span<const std::int64_t> components;  ///< n host indices, in the order to search them
    double pressure = 0.0;
    std::int64_t phase_count = 2;
    std::string_view option_set;
    std::size_t capacity = 100;  ///< MAXAZ
    std::int64_t print_level = 0;
};

struct FoundAzeotrope {
    std::vector<double> x;  ///< n mole fractions in the order of the problem's components
    double temperature = 0.0;
    std::int64_t component_count = 0;  ///< NSUB when it was found
    bool heterogeneous = false;
};

struct SpalazResult {
    bool search_error = true;               ///< the search status was set to 1
    std::vector<double> pure_temperatures;  ///< n, -1 where the flash failed
    std::vector<std::int64_t> indicators;   ///< n: 1, 2 or 3 from the K-values at each vertex
    std::vector<double> k_values;           ///< n x n, K(i, j) at j n + i (1.0 where unknown)
    std::vector<FoundAzeotrope> azeotropes;
    std::size_t nonazeotropic_rows = 0;
    std::int64_t flashes = 0;
};

/// True for 2 to 20 components; otherwise writes why not (print level 2 and up) and returns false.
bool search_count_ok(std::int64_t n, std::int64_t print_level) noexcept;

/// Runs the search for one ordering of the components. Diagnostics go to unit 0.
SpalazResult spalaz(const SpalazProblem& problem);

}  // namespace azeotrope::detail
