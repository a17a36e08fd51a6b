#pragma once
// What every traced envelope must satisfy, whichever system and variant: it is one closed curve
// made of its tie lines' ends, from the edge it starts on round the plait region; its tie lines
// are equilibria (checked through the host's model API, not through the flash that found them),
// each through its own feed, and no two of them cross.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "lle/envelope.hpp"
#include "tests/lle/lle_problem.hpp"

namespace lle::testing {

/// Activities of the two ends agree to this [-]: the flash converges ln f to 1e-10.
inline constexpr double kIsoactivityTolerance = 1e-6;

inline void expect_closed_envelope(const EnvelopeResult& r,
                                   std::size_t curve,
                                   const std::string& label) {
    SCOPED_TRACE(label + ", envelope " + std::to_string(curve));
    ASSERT_LT(curve, r.envelopes.size());
    const Envelope& e = r.envelopes[curve];
    const std::size_t n = e.tie_line_count;
    ASSERT_GE(n, 3U) << "a real trace has more than the edge tie line";
    ASSERT_EQ(e.points.size(), 2 * n);
    ASSERT_LE(e.first_tie_line + n, r.tie_lines.size());
    // The curve is made of the tie lines' ends: x' forwards, then x'' backwards.
    for (std::size_t i = 0; i < n; ++i) {
        const TieLine& t = r.tie_lines[e.first_tie_line + i];
        EXPECT_EQ(t.curve, curve);
        EXPECT_EQ(e.points[i], t.x1) << "point " << i;
        EXPECT_EQ(e.points[2 * n - 1 - i], t.x2) << "point " << 2 * n - 1 - i;
    }
    // It starts and ends on its edge: the component left out is absent there.
    const auto left_out = static_cast<std::size_t>(e.edge - 1);
    EXPECT_LE(std::abs(e.points.front()[left_out]), 1e-12);
    EXPECT_LE(std::abs(e.points.back()[left_out]), 1e-12);
    for (const Point& p : e.points) {
        for (const double v : p) { EXPECT_GE(v, -1e-12); }
        EXPECT_NEAR(p[0] + p[1] + p[2], 1.0, 1e-9);
    }
    // One simple closed curve: no two segments that do not share a point cross (the closing
    // segment is the edge tie line).
    const std::size_t m = e.points.size();
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = i + 2; j < m; ++j) {
            if (i == 0 && j == m - 1) { continue; }
            EXPECT_FALSE(segments_cross(e.points[i], e.points[(i + 1) % m], e.points[j],
                                        e.points[(j + 1) % m]))
                << "segments " << i << " and " << j << " cross";
        }
    }
    // The trace closes towards the plait point: its last tie line is its shortest, far shorter
    // than the edge tie line.
    const double first_size = tie_line_size(r.tie_lines[e.first_tie_line]);
    const double last_size = tie_line_size(r.tie_lines[e.first_tie_line + n - 1]);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        EXPECT_GT(tie_line_size(r.tie_lines[e.first_tie_line + i]), last_size) << "tie line " << i;
    }
    EXPECT_LT(last_size, 0.5 * first_size);
}

/// Tie lines of one envelope: each through its own feed (lever rule), none crossing another.
inline void expect_tie_lines_through_feeds(const EnvelopeResult& r,
                                           std::size_t curve,
                                           const std::string& label) {
    SCOPED_TRACE(label + ", envelope " + std::to_string(curve));
    const Envelope& e = r.envelopes.at(curve);
    for (std::size_t i = 0; i < e.tie_line_count; ++i) {
        const TieLine& a = r.tie_lines[e.first_tie_line + i];
        // The feed is on the segment between the ends: the mass balance of the flash.
        const double via_feed =
            std::sqrt(std::pow(a.feed[0] - a.x1[0], 2) + std::pow(a.feed[1] - a.x1[1], 2) +
                      std::pow(a.feed[2] - a.x1[2], 2)) +
            std::sqrt(std::pow(a.feed[0] - a.x2[0], 2) + std::pow(a.feed[1] - a.x2[1], 2) +
                      std::pow(a.feed[2] - a.x2[2], 2));
        EXPECT_NEAR(via_feed, std::sqrt(2.0) * tie_line_size(a), 1e-7) << "tie line " << i;
        EXPECT_GT(max_difference(a.feed, a.x1), 1e-6) << "tie line " << i;
        EXPECT_GT(max_difference(a.feed, a.x2), 1e-6) << "tie line " << i;
        for (std::size_t j = i + 1; j < e.tie_line_count; ++j) {
            const TieLine& b = r.tie_lines[e.first_tie_line + j];
            EXPECT_FALSE(segments_cross(a.x1, a.x2, b.x1, b.x2))
                << "tie lines " << i << " and " << j << " cross";
        }
    }
}

/// Both ends of every tie line have equal activities at the tie line's temperature.
inline void expect_liquids_in_equilibrium(const EnvelopeResult& r,
                                          const host::Mixture& model,
                                          const std::string& label) {
    SCOPED_TRACE(label);
    for (std::size_t i = 0; i < r.tie_lines.size(); ++i) {
        const TieLine& t = r.tie_lines[i];
        const Point a1 = activities(model, t.temperature, t.x1);
        const Point a2 = activities(model, t.temperature, t.x2);
        EXPECT_LE(max_difference(a1, a2), kIsoactivityTolerance)
            << "tie line " << i << ": a' = (" << a1[0] << ", " << a1[1] << ", " << a1[2]
            << "), a'' = (" << a2[0] << ", " << a2[1] << ", " << a2[2] << ")";
    }
}

}  // namespace lle::testing
