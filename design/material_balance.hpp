#pragma once
/// The material balance of a ternary two-product split from three product specifications:
/// product flows and compositions, checked and repaired, with the product bubble temperatures
/// and, for a column with a decanter, the distillate's liquid-liquid split.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "design/message_log.hpp"

namespace design {

/// Arguments of COMPUTE_MATERIAL_BALANCE (names as the routine's; arrays of n entries, `spec`
/// n x 4 column by column).
struct MaterialBalanceInput {
    std::int64_t n = 3;                  ///< components (must be 3)
    std::span<const std::int64_t> idx;   ///< host component indices
    std::string_view opset;              ///< property option set
    std::int64_t nPhase = 2;             ///< phase count; 3 admits two liquids
    double pres = 0.0;                   ///< [Pa]
    std::int64_t lMode = 0;              ///< accepted and not used
    std::int64_t lConfig = 1;            ///< 2: a column with a decanter
    std::span<const double> xfeed;       ///< molar feed composition
    double Fflow = 0.0;                  ///< molar feed flow
    std::span<const std::int64_t> spec;  ///< specification flags (three 1s in all)
    std::int64_t basis = 0;              ///< 1: specifications on a mass basis
    std::span<const double> mol_wt;      ///< molar weights [kg/kmol], each > 0
    std::span<const double> xdist;       ///< distillate fractions (the specified entries)
    std::span<const double> xbot;        ///< bottoms fractions (the specified entries)
    std::span<const double> recov_dist;  ///< distillate recoveries (the specified entries)
    std::span<const double> recov_bot;   ///< bottoms recoveries (the specified entries)
};

/// Results of COMPUTE_MATERIAL_BALANCE; initial values where the routine stopped early. The
/// vectors hold the entries the routine writes (n of them, never more than 3; none for n <= 0).
struct MaterialBalanceResult {
    std::vector<double> xdist, xbot, recov_dist, recov_bot;  ///< the in/out arrays after the call
    std::vector<double> xdist_stream;  ///< distillate product composition (molar)
    std::vector<double> xbot_stream;   ///< bottoms product composition (molar)
    double Dflow = -1.0;               ///< distillate flow (molar)
    double Bflow = -1.0;               ///< bottoms flow (molar)
    std::vector<double> xdec_tieline;  ///< n x 2: the decanter's two liquids, column by column
    std::vector<double> ydec;          ///< vapour over the distillate at its bubble point
    double phi_prod = -1.0;            ///< fraction of the distillate's liquid that is liquid 1
    double TDist = 0.0;                ///< distillate bubble temperature [K]
    double TBot = 0.0;                 ///< bottoms bubble temperature [K]
    /// 0 ok; 1 bad arguments; 2, 3, 4 solver failure, bad pressure or feed flow; -1 not
    /// repairable; -2 fatal flash at the product temperatures; -3 a product flash did not
    /// converge; -4 one liquid phase in the decanter.
    std::int64_t lErr = 1;
    std::int64_t lMsg = 0;      ///< always 0
    std::int64_t lConverg = 1;  ///< 0 when the specifications were met without repair
    std::int64_t flashes = 0;   ///< flashes made (work count)
    MessageLines messages;
};

MaterialBalanceResult compute_material_balance(const MaterialBalanceInput& input);

}  // namespace design
