#pragma once
// The state of a distillation map: settings, component data and the result buffers, shared by
// the files that implement the map's methods.
#include <array>
#include <cstdint>
#include <vector>

#include "engine/detail/option_set.hpp"
#include "engine/interfaces.hpp"

namespace engine::detail {

/// Envelopes of one variant (liquid-liquid or vapour-liquid-liquid) with their tie lines.
struct EnvelopeStore {
    static constexpr std::int64_t kCurves = 3;
    static constexpr std::int64_t kPointsPerCurve = 200;
    static constexpr std::int64_t kTieLines = 100;

    std::int64_t curve_count = 0;
    std::array<std::int64_t, kCurves> point_counts{};
    /// Point p of the whole store at 3 p; curve c from point slot c * kPointsPerCurve.
    std::vector<double> points = std::vector<double>(3 * kCurves * kPointsPerCurve, -1.0);
    /// In: the capacity handed to the tracer; out: tie lines stored. A fresh store reports its
    /// capacity, so that its (all -1.0) tie lines can be read before any trace.
    std::int64_t tie_line_count = kTieLines;
    /// Tie line k: first liquid at point 2 k, second at 2 k + 1.
    std::vector<double> tie_lines = std::vector<double>(3 * 2 * kTieLines, -1.0);
};

struct MapState {
    static constexpr std::int64_t kCurvePoints = 500;

    std::int64_t component_count = 3;
    platform::CComBSTR top, left, right;
    std::array<std::int64_t, 3> idx{};
    double temperature = 0.0;  // [K]
    double pressure = 0.0;     // [Pa]
    double step_env = 0.1;
    double step_curve = 0.3;
    // The phase count before SetPropertyData: vapour and one liquid.
    LONG phase = 2;
    OptionSetField opset{};
    LONG calculation_option = 0;
    platform::CComBSTR lle_model, vle_model;
    double ll_temperature = 0.0;  // [K]
    EnvelopeStore lle, vlle;
    /// Vapour of VLLE tie line k at point k.
    std::vector<double> vlle_vapour = std::vector<double>(3 * EnvelopeStore::kTieLines, -1.0);
    double plait_temperature = 0.0;  // [K]
    std::int64_t error_code = 0;
    std::int64_t message_code = 0;
    /// The last residue or distillation curve, point after point.
    std::vector<double> curve = std::vector<double>(3 * kCurvePoints, -1.0);
    LONG curve_option = 2;
};

}  // namespace engine::detail
