#pragma once
/// The overall balance of a two-product split of a ternary feed, F = D + B and
/// F x_F(i) = D x_D(i) + B x_B(i), solved from three product specifications, and the repair of
/// a solution that leaves the composition triangle. None of these calls the property services.
#include <array>
#include <cstdint>

#include "design/message_log.hpp"

namespace design {

/// Mole (or mass) fractions of the three components.
using Composition = std::array<double, 3>;

/// Columns of the specification flag matrix.
enum SpecColumn : std::size_t {
    kDistillateFraction = 0,
    kBottomsFraction = 1,
    kDistillateRecovery = 2,
    kBottomsRecovery = 3,
};

/// Specification flag matrix: 3 components x 4 kinds, column by column ((i, k) at 3 k + i, both
/// 0-based). A 1 marks component i as specified by kind k.
using SpecFlags = std::array<std::int64_t, 12>;

inline bool flagged(const SpecFlags& spec, std::size_t i, SpecColumn k) noexcept {
    return spec[3 * k + i] == 1;
}

/// The balance variables the solvers read and complete: the specified entries are inputs, the
/// solvers fill in the rest. Recoveries are fractions of the feed's component flow.
struct BalanceState {
    Composition x_D{};  ///< distillate composition
    Composition x_B{};  ///< bottoms composition
    Composition r_D{};  ///< recovery of each component in the distillate
    Composition r_B{};  ///< recovery of each component in the bottoms
    double D = -1.0;    ///< distillate flow
    double B = -1.0;    ///< bottoms flow
    /// 0 success. Comp_mat_bal: 1 no reference component, 2 x_D(r) = x_B(r), 3 zero product
    /// flow. Mixed_mat_bal: 1 no reference component (or an impossible combination), 2 a
    /// reference composition is zero, 3 x_D(a) = x_B(a), 4 zero product flow.
    std::int64_t status = 0;
};

/// Recov_mat_bal: every recovery pair completed (r_B = 1 - r_D, from whichever is flagged),
/// then D, B and both compositions. A zero product flow gives a warning and zero fractions.
/// The status is left as it was.
void Recov_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log);

/// Comp_mat_bal: three product fractions (two on one product, one on the other).
void Comp_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log);

/// Mixed_mat_bal: product fractions and recoveries mixed.
void Mixed_mat_bal(
    double F, const Composition& x_F, const SpecFlags& spec, BalanceState& s, MessageLog& log);

/// Result of Fix_mat_bal.
struct RepairResult {
    Composition x_D{};  ///< repaired distillate composition
    Composition x_B{};  ///< repaired bottoms composition
    double D = 0.0;
    double B = 0.0;
    std::int64_t status = 1;  ///< 0 when both repaired flows are positive
};

/// Fix_mat_bal: slides each product point along the line through x_D and x_B until it enters
/// the composition triangle (a negative fraction becomes exactly 0), then splits F by the lever
/// rule about the feed.
RepairResult Fix_mat_bal(double F,
                         const Composition& x_F,
                         const Composition& x_D,
                         const Composition& x_B);

}  // namespace design
