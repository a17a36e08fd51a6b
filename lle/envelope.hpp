#pragma once
/// Liquid-liquid envelopes (binodal curves) of a ternary with their tie lines, traced by
/// continuation over tie lines from every partly miscible edge of the triangle into the two-liquid
/// region until the two liquids merge at the plait point.
///
/// Two variants share one tracer: the liquid-liquid envelope at a fixed temperature and pressure
/// (isothermal "TP" flashes with two liquids allowed) and the vapour-liquid-liquid envelope at the
/// bubble point under a fixed pressure ("PV" flashes with vapour fraction 0), where the temperature
/// changes along the envelope and every tie line has a vapour in equilibrium with both liquids.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lle {

/// Mole fractions of top, left and right [mol/mol].
using Point = std::array<double, 3>;

/// Envelopes a trace can hold: one per edge of the triangle.
inline constexpr std::size_t kCurveCapacity = 3;
/// Point slots per envelope; envelope c (0-based) starts at slot c * kPointsPerCurve.
inline constexpr std::size_t kPointsPerCurve = 200;
/// Tie lines the store holds in all; a branch of 100 tie lines fills its 200 point slots.
inline constexpr std::size_t kTieLineCapacity = 100;
/// Default predictor step [mol/mol] (the map's StepSizeEnv).
inline constexpr double kDefaultStep = 0.1;

/// Error codes of a trace (the map's ErrorCode).
inline constexpr std::int64_t kEnvelopeOk = 0;
/// A branch or the tie-line store reached its capacity (message 501); what was traced is kept.
inline constexpr std::int64_t kCapacityReached = 1;
/// A flash failed (message 502); the trace went on.
inline constexpr std::int64_t kFlashFailed = 2;
/// Nothing traced: not three components, or a pressure, temperature or step that is not a finite
/// positive number.
inline constexpr std::int64_t kBadInput = -1;

enum class Variant {
    liquid_liquid,         ///< "TP" flashes at the given temperature and pressure
    vapour_liquid_liquid,  ///< "PV" bubble points at the given pressure
};

struct EnvelopeProblem {
    Variant variant = Variant::liquid_liquid;
    std::vector<std::int64_t> components;  ///< host indices of top, left, right (exactly 3)
    double pressure = 0.0;                 ///< [Pa]
    double temperature = 0.0;              ///< [K]; liquid-liquid variant only
    double step = kDefaultStep;            ///< predictor step h [mol/mol]
    std::string option_set;                ///< property option set (blank: the host's global one)
    /// Tie lines the caller has room for (the store and each branch); taken within [0, 100].
    std::int64_t tie_line_capacity = static_cast<std::int64_t>(kTieLineCapacity);
};

/// One stored tie line: two liquids in equilibrium (and, at a bubble point, a vapour).
struct TieLine {
    Point x1{};                ///< x', the end on the side of the branch's first x' [mol/mol]
    Point x2{};                ///< x'' [mol/mol]
    Point y{};                 ///< vapour: at the bubble point (VLLE) or incipient (LLE) [mol/mol]
    Point feed{};              ///< the composition that was flashed [mol/mol]
    double temperature = 0.0;  ///< [K]: the given one (LLE) or the bubble temperature (VLLE)
    std::size_t curve = 0;     ///< envelope it belongs to (index into EnvelopeResult::envelopes)
};

/// One traced envelope: the x' ends of its tie lines in tracing order, then the x'' ends in
/// reverse order, so that it runs from one end of the edge tie line over the plait region back
/// to the other end. Two points per tie line.
struct Envelope {
    /// Edge it starts from: 1 left-right, 2 top-right, 3 top-left (the component left out is
    /// top, left, right).
    int edge = 0;
    std::vector<Point> points;
    std::size_t first_tie_line = 0;  ///< index of its edge tie line in EnvelopeResult::tie_lines
    std::size_t tie_line_count = 0;
};

/// Result of a trace. The default state is a failure (never success).
struct EnvelopeResult {
    std::vector<Envelope> envelopes;  ///< in edge order; at most kCurveCapacity
    std::vector<TieLine> tie_lines;   ///< every stored tie line, branch after branch
    /// VLLE: the bubble temperature [K] at which the plait march of a branch found a split again
    /// (the last branch that got there); empty when no branch did, and always for LLE.
    std::optional<double> plait_temperature;
    /// kEnvelopeOk, kCapacityReached, kFlashFailed (the last one set) or kBadInput.
    std::int64_t error_code = kBadInput;
    /// The last message code set (501, 502, 513), 0 for none.
    std::int64_t message_code = 0;
    /// Every message code set, in order (each was also written to the run log).
    std::vector<std::int64_t> messages;
    std::int64_t flashes = 0;  ///< flashes run (work count)

    bool ok() const noexcept { return error_code == kEnvelopeOk; }
};

/// Traces the envelopes of either variant. Flash failures, vapour in the liquid-liquid variant and
/// full stores are reported through the codes (and the run log) and never stop the whole trace.
/// Never throws except for allocation failure.
EnvelopeResult trace_envelopes(const EnvelopeProblem& problem);

/// The single tie line through a feed, from one flash's two liquids: what the new-tie-line
/// methods of the map return. No split (both ends kNoSplitMarker) when the liquids are at most
/// kNoSplitDistance apart (Euclidean), or, for the liquid-liquid variant, when the feed is all
/// vapour (vapour fraction 1 or more).
inline constexpr double kNoSplitMarker = -999.0;
inline constexpr double kNoSplitDistance = 1e-4;
struct TieLineThroughFeed {
    bool split = false;
    Point x1{kNoSplitMarker, kNoSplitMarker, kNoSplitMarker};
    Point x2{kNoSplitMarker, kNoSplitMarker, kNoSplitMarker};
};
/// x1 and x2 must hold 3 values each (anything else gives no split).
TieLineThroughFeed tie_line_through_feed(std::span<const double> x1,
                                         std::span<const double> x2,
                                         double vapour_fraction,
                                         Variant variant) noexcept;

}  // namespace lle
