#pragma once
/// The ternary feed of a design study: a host material stream over the full component list,
/// mapped onto the three selected components, with its quality and temperature.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "design/message_log.hpp"
#include "design/property_context.hpp"

namespace design {

/// Entries of the host stream vector (1-based, ncc + 9 entries) after the component flows.
inline constexpr std::int64_t kStreamTotalFlow = 1;     ///< ncc+1: total flow [kmol/s, any]
inline constexpr std::int64_t kStreamTemperature = 2;   ///< ncc+2 [K]
inline constexpr std::int64_t kStreamPressure = 3;      ///< ncc+3 [Pa]
inline constexpr std::int64_t kStreamEnthalpy = 4;      ///< ncc+4: enthalpy per mass [J/kg]
inline constexpr std::int64_t kStreamVapour = 5;        ///< ncc+5: vapour fraction
inline constexpr std::int64_t kStreamLiquid = 6;        ///< ncc+6: liquid fraction
inline constexpr std::int64_t kStreamExtra7 = 7;        ///< ncc+7: carried over from the feed
inline constexpr std::int64_t kStreamExtra8 = 8;        ///< ncc+8: carried over from the feed
inline constexpr std::int64_t kStreamMolarMass = 9;     ///< ncc+9 [kg/kmol]
inline constexpr std::int64_t kStreamExtraEntries = 9;  ///< the vector holds ncc + 9 entries

/// Largest full component list the routines accept (the flashes of the full list take at most
/// 100 components; the limit here only keeps allocations bounded).
inline constexpr std::int64_t kMaxFullListComponents = 100000;

/// How COMPUTE_FEED finds the feed quality and temperature (`enthalpy_method`).
enum class EnthalpyMethod : std::int64_t {
    full_feed_enthalpy = 1,    ///< the stream's enthalpy, quality from the unmapped feed
    mapped_feed_enthalpy = 2,  ///< the stream's enthalpy applied to the mapped feed
    saturated_liquid = 3,      ///< q = 1, bubble temperature
    saturated_vapour = 4,      ///< q = 0, dew temperature
};

/// Arguments of COMPUTE_FEED (names as the routine's).
struct FeedInput {
    std::int64_t ncc = 0;               ///< components in the full list
    std::int64_t nComp = 3;             ///< selected components (must be 3)
    std::span<const std::int64_t> idx;  ///< host index of each selected component (nComp)
    std::string_view opset;             ///< property option set
    std::int64_t nPhase = 2;            ///< phase count for the flashes
    double pres = 0.0;                  ///< column pressure [Pa]
    std::span<const double> feed;       ///< host stream vector, ncc + 9 entries
    std::span<const double> mapping;    ///< ncc x nComp shares, column by column
    std::int64_t iBasis = 0;            ///< accepted and not used
    std::int64_t enthalpy_method = 3;   ///< EnthalpyMethod
    std::span<const double> mol_wt;     ///< accepted and not used
};

/// Results of COMPUTE_FEED. Fields hold their initial values where the routine stopped early.
struct FeedResult {
    /// Mapped feed mole fractions: the entries the routine writes (3, or fewer when nComp is
    /// smaller; never more than 3).
    std::vector<double> x_feed;
    double F_flow = -1.0;                  ///< mapped feed flow (the stream's unit)
    double q = 1.0;                        ///< feed quality (liquid fraction)
    double T_feed = -1.0;                  ///< feed temperature [K]
    std::vector<std::int64_t> basis_comp;  ///< full-list positions of the mapped components
    std::int64_t iErr = 1;                 ///< 0 ok; 1 bad input; 2 zero mapped flow;
                                           ///< -2/-3 feed flash failed / did not converge;
                                           ///< -4 a mapped mole fraction is zero
    std::int64_t iMsg = 0;                 ///< always 0
    std::int64_t flashes = 0;              ///< flash and enthalpy calls made (work count)
    MessageLines messages;                 ///< the lines written

    std::int64_t n_Basis_Comp() const noexcept {
        return static_cast<std::int64_t>(basis_comp.size());
    }
};

/// COMPUTE_FEED on plain arguments.
FeedResult compute_feed(const FeedInput& input);

/// FEED_TEMPERATURE: the temperature T [K] of a feed of composition x and quality q at the
/// context's pressure. Failed flash or enthalpy calls are noted in `flag` (first fatal code,
/// else first "not converged" code); T is then left as it was.
void FEED_TEMPERATURE(const PropertyContext& ctx,
                      std::span<const double> x,
                      double q,
                      double& T,
                      std::int64_t& flag,
                      std::int64_t* flashes = nullptr);

/// FEED_QUALITY: quality q and temperature T [K] of a feed of composition x and molar enthalpy
/// H [J/kmol]. Failures are noted in `flag` as for FEED_TEMPERATURE; q is then left as it was.
void FEED_QUALITY(const PropertyContext& ctx,
                  std::span<const double> x,
                  double H,
                  double& q,
                  double& T,
                  std::int64_t& flag,
                  std::int64_t* flashes = nullptr);

}  // namespace design
