#pragma once
/// The two product streams of a design mapped back onto the host's full component list, with
/// their bubble temperature, pressure, enthalpy, phase fractions and molecular weight filled in.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace design {

/// un_Map value that distributes each selected component over the full-list components lumped
/// into it, in the feed's proportions (anything else: one to one through idx).
inline constexpr std::int64_t kDistributeThroughMapping = 1;

/// Arguments of CREATE_PROD_STREAM (names as the routine's).
struct ProductStreamInput {
    std::int64_t ncc = 0;               ///< components in the full list
    std::int64_t nselcomp = 3;          ///< selected components
    std::span<const std::int64_t> idx;  ///< full-list position of each selected component
    std::string_view opset;             ///< property option set
    std::int64_t nPhase = 2;            ///< phase count for the bubble-point flash
    double pres = 0.0;                  ///< [Pa]
    std::span<const double> feed;       ///< feed stream vector, ncc + 9 entries
    std::int64_t un_Map = 0;            ///< 1: through the mapping matrix; else one to one
    std::span<const double> mapping;    ///< ncc x nselcomp, column by column
    std::int64_t basis = 0;             ///< passed through, not used
    std::span<const double> mol_wt;     ///< molar weights of the full list [kg/kmol]
    double D_Flow = 0.0;                ///< distillate flow
    std::span<const double> x_dist;     ///< distillate mole fractions (nselcomp)
    double B_Flow = 0.0;                ///< bottoms flow
    std::span<const double> x_bot;      ///< bottoms mole fractions (nselcomp)
};

/// Results of CREATE_PROD_STREAM. The stream vectors have ncc + 9 entries (none when ncc was
/// refused): component flows, total flow, bubble temperature [K], pressure [Pa], enthalpy per
/// mass [J/kg], vapour fraction 0, liquid fraction 1, feed entries ncc+7 and ncc+8, molecular
/// weight [kg/kmol].
struct ProductStreamResult {
    std::vector<double> Dist_Stream;
    std::vector<double> Bot_Stream;
    /// 0 ok; 1 the arguments were refused (sizes, indices, flows, molar weights): the streams
    /// are left all zero.
    std::int64_t status1 = 0;
    /// 0 ok; otherwise the code of the first bubble-point flash or enthalpy call that failed
    /// (that stream's temperature and enthalpy entries are then left 0).
    std::int64_t status2 = 0;
    std::int64_t flashes = 0;  ///< flash and enthalpy calls (work count)
};

ProductStreamResult create_product_streams(const ProductStreamInput& input);

}  // namespace design
