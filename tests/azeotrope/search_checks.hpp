#pragma once
// Helpers shared by the search tests: building problems and matching azeotropes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "azeotrope/azeo_search.hpp"
#include "properties/equilibrium.hpp"
#include "tests/azeotrope/host_problem.hpp"

namespace azeotrope::testing {

inline SearchProblem problem(std::vector<std::int64_t> ids,
                             std::string option_set,
                             double pressure = kAtmosphere,
                             std::int64_t phase_count = 2) {
    SearchProblem p;
    p.components = std::move(ids);
    p.option_set = std::move(option_set);
    p.pressure = pressure;
    p.phase_count = phase_count;
    return p;
}

/// The azeotrope whose composition lies within tol of x in every component, or null.
inline const Azeotrope* find_azeotrope(const SearchResult& r,
                                       const std::vector<double>& x,
                                       double tol) {
    for (const Azeotrope& a : r.azeotropes) {
        bool same = a.x.size() == x.size();
        for (std::size_t i = 0; same && i < x.size(); ++i) {
            same = std::fabs(a.x[i] - x[i]) <= tol;
        }
        if (same) { return &a; }
    }
    return nullptr;
}

/// An independent check of an azeotrope: at its composition the bubble-point vapour has the
/// liquid's composition, K_i = 1 for every component present.
inline void expect_k_values_one(const std::vector<std::int64_t>& ids,
                                const std::vector<double>& x,
                                const std::string& option_set,
                                double pressure,
                                double tol) {
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.option_set = option_set;
    request.components = ids;
    request.composition = x;
    request.pressure = pressure;
    const properties::FlashResult f = properties::calc_flash(request);
    ASSERT_EQ(f.error_code, 0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i] > 0.0) { EXPECT_NEAR(f.y[i] / f.x[i], 1.0, tol) << "component " << i; }
    }
}

/// x from a reference azeotrope of a pair, spread over n components at positions a and b.
inline std::vector<double> pair_composition(std::size_t n,
                                            std::size_t a,
                                            std::size_t b,
                                            double x1) {
    std::vector<double> x(n, 0.0);
    x[a] = x1;
    x[b] = 1.0 - x1;
    return x;
}

/// True when the host's three-phase flash reproduces the first three-phase bubble point of a
/// reference model (temperature within 1e-4 K). The heterogeneous cases need it; until the host
/// can do that, they are skipped.
inline bool host_three_phase_bubble_matches(const char* file,
                                            const char* label,
                                            const std::vector<std::int64_t>& ids,
                                            const char* option_set) {
    for (const auto& point : reference_model(file, label).at("bubble_T")) {
        if (point.at("state").get<std::string>().find("two liquids") == std::string::npos) {
            continue;
        }
        const auto x = point.at("x").get<std::vector<double>>();
        properties::FlashRequest request;
        request.flash_type = "PV";
        request.phase_count = 3;
        request.option_set = option_set;
        request.components = ids;
        request.composition = x;
        request.pressure = kAtmosphere;
        const properties::FlashResult f = properties::calc_flash(request);
        return f.error_code == 0 && std::fabs(f.temperature - point.at("T").get<double>()) < 1e-4;
    }
    return false;
}

inline constexpr const char* kNoThreePhase =
    "the host's three-phase bubble point does not reproduce the reference's yet (two-liquid "
    "flashes are being built)";

}  // namespace azeotrope::testing
