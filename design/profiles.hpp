#pragma once
/// Section profiles of the boundary-value method at constant molar overflow: the liquid
/// composition traced stage by stage from each end of the column, one equilibrium flash and one
/// operating-line step per stage, and the search for the crossing of the two profiles.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "design/message_log.hpp"
#include "design/property_context.hpp"

namespace design {

/// Pinch threshold on the squared step between two stages' liquids, compared with <=: 1e-14 as
/// the established single-precision constant reads in double precision. (The value is kept
/// exactly as published for this method, although the nearest float to 1e-14 is
/// 9.9999998245167e-15; the difference never matters for a pinch.)
inline constexpr double kPinchThreshold = 1.000000023372195e-14;

/// iStopCriteria value that traces every profile to the maximum stage count.
inline constexpr std::int64_t kTraceAllStages = 2;

/// One section profile. Stage k (1-based) is column k - 1 of x and y (n doubles each, stored
/// column by column) and entry k - 1 of T; stages that were not computed hold -1.0.
struct Profile {
    std::int64_t count = 0;  ///< stages computed
    std::vector<double> x;   ///< liquid mole fractions, n x max_stages
    std::vector<double> y;   ///< vapour mole fractions, n x max_stages
    std::vector<double> T;   ///< stage temperatures [K]
    /// 0 complete (pinched, or traced to the end with iStopCriteria 2); 1 a flash failed and
    /// the profile is cut short; 2 the maximum stage count was reached before a pinch.
    std::int64_t status = 0;
    std::int64_t flash_error = 0;  ///< code of the flash that cut the profile short (status 1)
    std::int64_t flashes = 0;      ///< flashes made (work count)
};

/// Rectifying profile from the condenser down, with dew points. Stage 1 is the condenser (or
/// decanter): liquid x_Reflux, temperature and vapour of x_D's dew point. Stage 2 is the top
/// tray, whose vapour is y_Top. Below it, y(k) = (R x(k-1) + x_D) / (R + 1). Any flash that
/// fails (fatal or not converged) ends the profile with status 1.
Profile rectifying_profile(const PropertyContext& ctx,
                           std::int64_t iMaxStages,
                           std::int64_t iStopCriteria,
                           double R,
                           std::span<const double> x_D,
                           std::span<const double> x_Reflux,
                           std::span<const double> y_Top,
                           MessageLog& log);

/// Stripping profile from the reboiler up, with bubble points. Stage 1 is the reboiler with
/// liquid x_B; above it, x(k) = (S y(k-1) + x_B) / (S + 1).
Profile stripping_profile(const PropertyContext& ctx,
                          std::int64_t iMaxStages,
                          std::int64_t iStopCriteria,
                          double S,
                          std::span<const double> x_B,
                          MessageLog& log);

/// The first crossing of two profiles projected on their first two mole fractions.
struct Intersection {
    bool found = false;
    std::vector<double> x;  ///< crossing point (n mole fractions; the last one by closure)
    double p_A = 0.0;       ///< fractional stage position on profile A: i + s
    double p_B = 0.0;       ///< fractional stage position on profile B: j + t
};

/// Searches segment pairs, A's stages first_A..last_A in the outer loop and B's first_B..last_B
/// in the inner one (1-based stages, both ascending), for the first crossing with s and t in
/// [0, 1] (ends included). Nearly parallel segments (|determinant| <= 1e-10) are skipped. A and
/// B hold n x count_A and n x count_B mole fractions, column by column. Stage ranges are clipped
/// to the profiles.
Intersection find_intersection(std::size_t n,
                               std::span<const double> A,
                               std::int64_t count_A,
                               std::int64_t first_A,
                               std::int64_t last_A,
                               std::span<const double> B,
                               std::int64_t count_B,
                               std::int64_t first_B,
                               std::int64_t last_B);

}  // namespace design
