#pragma once
/// The decanter at the top of a heterogeneous column: whether the condensed distillate forms two
/// liquids at its bubble point and, if so, the reflux and top-vapour compositions that the
/// user's specification implies, with the lever figures of the split.
#include <array>
#include <cstdint>
#include <span>

#include "design/message_log.hpp"
#include "design/property_context.hpp"

namespace design {

/// Kinds of decanter specification (first entry of DecSpec).
enum class DecanterKind : std::int64_t {
    top_vapour_key_fraction = 1,  ///< the key component's fraction in the top vapour
    reflux_key_fraction = 2,      ///< the key component's fraction in the reflux
    richer_liquid_reflux = 3,     ///< the liquid richer in the key component is the reflux
};

/// Two liquids exist when the squared distance between them exceeds this: 1e-12 as the
/// established single-precision constant reads in double precision (kept as published, like
/// kPinchThreshold).
inline constexpr double kTwoLiquidThreshold = 9.999999949504854e-13;

/// Decanter outcome; status 0 success, 1 invalid or inconsistent specification, 2 fatal flash
/// error, 3 one liquid phase only, 4 the key component has the same fraction in both liquids,
/// 5 infeasible specification. On failure x_Reflux = y_Top = x_D and the figures are 0.
struct DecanterResult {
    std::array<double, 3> x_Reflux{};  ///< reflux liquid composition
    std::array<double, 3> y_Top{};     ///< vapour leaving the top stage
    double phi_reflux = 0.0;     ///< reflux position along the tie line from liquid 1, per length
    double l1_Spec = 0.0;        ///< lever ratio |x_Reflux - x2| / (|x_D - x2| + |x_Reflux - x2|)
    double l2_Spec = 0.0;        ///< lever ratio |x_Reflux - x1| / (|x_D - x1| + |x_Reflux - x1|)
    std::int64_t Comp_List = 0;  ///< host index of the component with the largest x2 - x1
    std::array<double, 3> x1{}, x2{};  ///< the two liquids of the distillate's bubble point
    double temperature = 0.0;          ///< bubble temperature of the distillate [K]
    std::int64_t status = 1;
};

/// The decanter for distillate x_D at reflux ratio R (> 0). DecSpec = {kind, key component
/// 1..3}; Dec_val lies strictly between 0 and 1 for kinds 1 and 2. A failed flash sets iMsg to
/// its message code (507 fatal, 502 not converged).
DecanterResult decanter(const PropertyContext& ctx,
                        std::span<const double> x_D,
                        double R,
                        std::array<std::int64_t, 2> DecSpec,
                        double Dec_val,
                        std::int64_t& iMsg,
                        MessageLog& log);

}  // namespace design
