#pragma once
#include <array>
#include <optional>
#include <string>

#include "host/activity_model.hpp"
#include "host/databank.hpp"
#include "host/pure_component.hpp"

namespace host {

enum class PropertyMethod;

/// How a missing binary pair was estimated.
enum class PairEstimateKind {
    /// A miscible pair: the parameters reproduce original UNIFAC's infinite-dilution activity
    /// coefficients of both components at the two ends of the pair's boiling range.
    infinite_dilution,
    /// A partly miscible pair: the parameters reproduce the two mutual solubilities that
    /// UNIFAC-LLE predicts, at each temperature of kSolubilityTemperatures where it splits,
    /// fitted as a + b/T.
    mutual_solubility,
};

/// Temperatures [K] at which the mutual solubilities of a partly miscible pair are matched:
/// 25 to 85 degC, the range where heterogeneous distillations meet their decanters and
/// heteroazeotropes (the derived sets of nrtl_lle.tsv use the same grid).
inline constexpr std::array<double, 5> kSolubilityTemperatures{298.15, 313.15, 328.15, 343.15,
                                                               358.15};

/// Parameters estimated for one pair (first, second), in the form of the method's databank
/// tables: p_12 = a_12 + b_12/T is tau_12 (NRTL), ln Lambda_12 (Wilson) or ln tau_12 (UNIQUAC),
/// "first around second".
struct PairEstimate {
    double a_12 = 0.0, b_12 = 0.0, a_21 = 0.0, b_21 = 0.0;
    double alpha = 0.0;  ///< NRTL: 0.3 for a miscible pair, 0.2 for a partly miscible one
    PairEstimateKind kind = PairEstimateKind::infinite_dilution;
    double T_min = 0.0, T_max = 0.0;  ///< temperatures matched [K]
    /// Largest deviation at the matched points: of ln gamma at infinite dilution, or the
    /// largest relative deviation of a mutual solubility.
    double deviation = 0.0;
    /// What was matched, to which model, where: printed wherever the pair is listed, so that no
    /// number is taken for a measured one.
    std::string description;
};

/// Estimates the binary parameters of a pair that has none, for WILSON, NRTL or UNIQUAC. A pair
/// counts as partly miscible when UNIFAC-LLE (original UNIFAC if UNIFAC-LLE cannot describe it)
/// splits it into two liquids at 298.15 K; NRTL (alpha 0.2) and UNIQUAC then match the mutual
/// solubilities, while Wilson, which cannot describe two liquids, matches infinite dilution.
/// Otherwise the parameters (NRTL alpha 0.3) match original UNIFAC's ln gamma at infinite
/// dilution at the lower and the higher normal boiling point (at least 10 K apart). nullopt, with
/// the reason in *why, when UNIFAC cannot describe the pair (groups or group interactions
/// missing) or no parameters of the model reproduce it. Thread-safe; results are cached.
std::optional<PairEstimate> estimate_binary_parameters(const Databank& bank,
                                                       const PureComponent& first,
                                                       const PureComponent& second,
                                                       PropertyMethod method,
                                                       std::string* why = nullptr);

/// The two liquids of a binary at T [K] by the model (mole fractions of the first component in
/// the liquid rich in the second and in the liquid rich in the first), or nullopt when the
/// binary is miscible at T: the common tangent of G^mix/RT, located on the lower convex hull of
/// a grid from 1e-10 to 1 - 1e-10 and refined by Newton on the equal-activity equations.
std::optional<std::array<double, 2>> binary_liquid_split(const ActivityModel& model, double T);

}  // namespace host
