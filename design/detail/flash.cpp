#include "design/detail/flash.hpp"

#include <cmath>

namespace design::detail {

properties::FlashResult pv_flash(const PropertyContext& ctx,
                                 std::span<const double> z,
                                 double vapour_fraction) {
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.phase_count = ctx.nPhase;
    request.option_set = ctx.opset;
    request.components = ctx.idx;
    request.composition = z;
    request.pressure = ctx.pres;
    request.vapour_fraction = vapour_fraction;
    return properties::calc_flash(request);
}

properties::FlashResult ph_flash(const PropertyContext& ctx, std::span<const double> z, double H) {
    properties::FlashRequest request;
    request.flash_type = "PH";
    request.phase_count = ctx.nPhase;
    request.option_set = ctx.opset;
    request.components = ctx.idx;
    request.composition = z;
    request.pressure = ctx.pres;
    request.vapour_fraction = H;
    return properties::calc_flash(request);
}

properties::EnthalpyResult liquid_enthalpy(const PropertyContext& ctx,
                                           double T,
                                           std::span<const double> z) {
    return properties::liquid_enthalpy(ctx.idx, ctx.opset, T, ctx.pres, z);
}

properties::EnthalpyResult vapour_enthalpy(const PropertyContext& ctx,
                                           double T,
                                           std::span<const double> z) {
    return properties::vapour_enthalpy(ctx.idx, ctx.opset, T, ctx.pres, z);
}

bool usable(const properties::FlashResult& r, std::size_t n) noexcept {
    if (r.error_code != 0 || !std::isfinite(r.temperature) || r.temperature <= 0.0) {
        return false;
    }
    for (const auto* v : {&r.x, &r.y, &r.x1, &r.x2}) {
        if (v->size() < n) { return false; }
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite((*v)[i])) { return false; }
        }
    }
    return std::isfinite(r.vapour_fraction) && std::isfinite(r.beta);
}

}  // namespace design::detail
