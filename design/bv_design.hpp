#pragma once
/// Boundary-value design of a simple two-product column for a ternary mixture: section flows
/// from the reflux or reboil ratio, the rectifying and stripping profiles, feasibility from
/// their crossing, stage count, feed stage, duties, an optional decanter at the top and a
/// stage-by-stage column profile for a rigorous model's initial estimate.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "design/message_log.hpp"
#include "design/profiles.hpp"

namespace design {

/// iConfig value of a decanter on the condensed top vapour (anything else: total condenser).
inline constexpr std::int64_t kDecanterConfiguration = 2;

/// Largest iMaxStages accepted (the arrays are allocated from it).
inline constexpr std::int64_t kMaxStagesLimit = 100000;

/// Arguments of BV_DESIGN (names as the routine's; x_Reflux and y_Top are rebuilt, so only
/// their outputs appear in DesignResult).
struct DesignInput {
    std::int64_t n = 3;                     ///< components (must be 3)
    std::span<const std::int64_t> idx;      ///< host component indices
    std::string_view opset;                 ///< property option set
    std::int64_t nPhase = 2;                ///< phase count for every flash
    double pres = 0.0;                      ///< [Pa]
    std::int64_t iConfig = 1;               ///< 2: decanter
    std::int64_t iMaxStages = 100;          ///< maximum stages per section profile (>= 2)
    std::int64_t iStopCriteria = 1;         ///< 2: trace to iMaxStages; else stop at a pinch
    double F_flow = 0.0;                    ///< feed flow
    double FeedQual = 1.0;                  ///< feed quality q
    std::span<const double> x_Dist;         ///< distillate composition (each > 0)
    double D_Flow = 0.0;                    ///< distillate flow
    std::span<const double> x_Bot;          ///< bottoms composition (each > 0)
    double B_Flow = 0.0;                    ///< bottoms flow
    std::array<std::int64_t, 2> DecSpec{};  ///< decanter kind and key component
    double Dec_val = 0.0;                   ///< decanter specification value
    std::int64_t r_or_s = 1;                ///< 1: dbReflux is given; else dbReboil is given
    double dbReflux = 0.0;                  ///< reflux ratio R = L/D
    double dbReboil = 0.0;                  ///< reboil ratio S = V/B
    double dbPhi_Reflux = 0.0;              ///< decanter split fraction (returned unchanged
                                            ///< unless the decanter succeeds)
    std::int64_t iMsg = 0;                  ///< message code in
};

/// The column assembled around the feed point: truncated profiles, the stage-by-stage column
/// profile and the estimates. Arrays are sized from iMaxStages (M): x_Rect_f and x_Strip_f
/// n x M, Stage_Col and T_Col 2M, x_Col and y_Col n x 2M, T_est 2M, X_est and Y_est n x 2M;
/// entries not filled hold -1.0.
struct ColumnProfile {
    double dbStage_Rect = 0.0;    ///< total stages (fractional): p_R + p_S - 1
    double dbStages_Strip = 0.0;  ///< feed position from the top (fractional): p_R
    std::int64_t iN_Rect_f = 0;
    std::vector<double> x_Rect_f;
    std::int64_t iN_Strip_f = 0;
    std::vector<double> x_Strip_f;
    std::int64_t iN_Col = 0;
    std::vector<double> Stage_Col, x_Col, y_Col, T_Col;
    std::int64_t r_n_Stages = 0;
    std::int64_t r_Feed_Stage = 0;
    std::vector<double> T_est, X_est, Y_est;  ///< r_n_Stages entries (columns) filled
    std::int64_t estimates = 0;  ///< entries of T_est filled: r_n_Stages, or 0 when not filled
};

/// Results of BV_DESIGN. Arrays are empty when the arguments could not size them (n or
/// iMaxStages refused); otherwise sized as the routine's arrays and -1.0 where not computed.
struct DesignResult {
    double dbReflux = 0.0;
    double dbReboil = 0.0;
    double dbPhi_Reflux = 0.0;
    std::vector<double> x_Reflux;  ///< reflux liquid (n; -1.0 until rebuilt)
    std::vector<double> y_Top;     ///< vapour leaving the top stage (n; -1.0 until rebuilt)
    std::int64_t iFeasible = 0;    ///< 1 when the two profiles cross
    Profile rect;                  ///< rectifying profile: iN_Rect = rect.count, x_rect = rect.x
    Profile strip;                 ///< stripping profile: iN_Strip, x_Strip
    ColumnProfile column;
    double V_Rect = -1.0, V_Strip = -1.0, L_Rect = -1.0, L_Strip = -1.0;
    double Q_Reb = 0.0;  ///< reboiler duty [J per unit of flow; J/s for kmol/s]
    double Q_Con = 0.0;  ///< condenser duty (negative: heat removed)
    double l1_Spec = 0.0, l2_Spec = 0.0;
    std::int64_t Comp_List = 0;
    std::vector<double> x_feed_point;   ///< the crossing composition x* (n; empty if none)
    double T_feed_point = 0.0;          ///< its bubble temperature [K]
    std::int64_t decanter_status = -1;  ///< the decanter's status; -1 when it did not run
    /// 0 ok; 1 bad arguments; 2 non-positive ratio; 3 invalid feed or product input;
    /// -2 decanter ignored (one liquid); -3 decanter ignored (other reason); -4 a flash failed
    /// in a profile, at the feed point or for a duty; -5 a profile reached iMaxStages.
    std::int64_t iErr = 1;
    std::int64_t iMsg = 0;
    std::int64_t flashes = 0;  ///< flash and enthalpy calls (work count)
    MessageLines messages;
};

/// BV_DESIGN on plain arguments.
DesignResult bv_design(const DesignInput& input);

/// A column whose arrays are sized for n components and iMaxStages and filled with -1.0.
ColumnProfile empty_column(std::size_t n, std::int64_t iMaxStages);

/// Assembles the column around a crossing found at positions p_R (rectifying) and p_S
/// (stripping): the truncated profiles, the column profile (rectifying stages from the top, the
/// feed point with temperature T_feed and vapour y_feed, then the stripping stages down to the
/// reboiler), stage count, feed stage and estimates. With a decanter the first liquid estimate
/// is the top vapour y_Top.
void assemble_column(const Profile& rect,
                     const Profile& strip,
                     const Intersection& crossing,
                     double T_feed,
                     std::span<const double> y_feed,
                     bool with_decanter,
                     std::span<const double> y_Top,
                     std::int64_t iMaxStages,
                     ColumnProfile& column);

}  // namespace design
