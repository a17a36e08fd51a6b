#include "design/decanter.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "design/detail/flash.hpp"
#include "engine/core/messages.hpp"

namespace design {
namespace {

constexpr std::size_t kN = 3;
using Vec = std::array<double, 3>;

double distance(const Vec& a, const Vec& b) {
    double s = 0.0;
    for (std::size_t i = 0; i < kN; ++i) { s += (a[i] - b[i]) * (a[i] - b[i]); }
    return std::sqrt(s);
}

/// a / (a + b) for two distances, 0 when both vanish.
double lever(double a, double b) { return a + b > 0.0 ? a / (a + b) : 0.0; }

}  // namespace

DecanterResult decanter(const PropertyContext& ctx,
                        std::span<const double> x_D_in,
                        double R,
                        std::array<std::int64_t, 2> DecSpec,
                        double Dec_val,
                        std::int64_t& iMsg,
                        MessageLog& log) {
    DecanterResult out;
    Vec x_D{};
    std::copy_n(x_D_in.begin(), kN, x_D.begin());
    out.x_Reflux = out.y_Top = x_D;
    const auto fail = [&out, &log, &x_D](std::int64_t status,
                                         std::initializer_list<std::string_view> lines) {
        for (const std::string_view l : lines) { log.line(l); }
        log.line("      Decanter is ignored in the design calculations !!");
        out.status = status;
        out.x_Reflux = out.y_Top = x_D;
        out.phi_reflux = out.l1_Spec = out.l2_Spec = 0.0;
        out.Comp_List = 0;
        return out;
    };
    constexpr std::string_view kInternal =
        "***** Error (Decanter) - Internal decanter specification error.";

    const std::int64_t kind = DecSpec[0];
    const std::int64_t key = DecSpec[1];
    if (key < 1 || key > 3) { return fail(1, {kInternal}); }
    if (kind != static_cast<std::int64_t>(DecanterKind::richer_liquid_reflux) &&
        !(Dec_val > 0.0 && Dec_val < 1.0)) {
        return fail(1, {"***** Error - Invalid decanter specification "});
    }

    const properties::FlashResult r = detail::pv_flash(ctx, x_D, 0.0);
    if (!detail::usable(r, kN)) {
        // A flash that did not converge is no more usable here than a fatal one.
        iMsg =
            static_cast<std::int64_t>(r.error_code > 0 ? engine::core::Message::flash_not_converged
                                                       : engine::core::Message::fatal_flash_error);
        return fail(2, {"***** Flatal Flash error during dacenter calculations"});
    }
    out.temperature = r.temperature;
    std::copy_n(r.x1.begin(), kN, out.x1.begin());
    std::copy_n(r.x2.begin(), kN, out.x2.begin());
    const Vec& x1 = out.x1;
    const Vec& x2 = out.x2;
    double d = 0.0;
    for (std::size_t i = 0; i < kN; ++i) { d += (x2[i] - x1[i]) * (x2[i] - x1[i]); }
    if (!(d > kTwoLiquidThreshold)) {
        return fail(3, {"***** Warning - Only one liquid phase in the decanter"});
    }

    const auto k = static_cast<std::size_t>(key - 1);
    const auto operating_line_vapour = [&](const Vec& reflux) {
        Vec y{};
        for (std::size_t i = 0; i < kN; ++i) { y[i] = (R * reflux[i] + x_D[i]) / (R + 1.0); }
        return y;
    };
    // Relative distance of z from liquid 1 along the tie line's length.
    const auto position = [&](const Vec& z) { return distance(z, x1) / std::sqrt(d); };
    const auto on_tie_line = [](double v) { return v >= 0.0 && v <= 1.0; };

    if (kind == static_cast<std::int64_t>(DecanterKind::top_vapour_key_fraction) ||
        kind == static_cast<std::int64_t>(DecanterKind::reflux_key_fraction)) {
        if (x1[k] == x2[k]) {
            return fail(4, {"***** Error in decanter calculations - The composition",
                            "      of the key component is identical in both liquid phases",
                            "      Please choose a different key component "});
        }
        const double f = (Dec_val - x1[k]) / (x2[k] - x1[k]);
        Vec P{};
        for (std::size_t i = 0; i < kN; ++i) { P[i] = x1[i] + f * (x2[i] - x1[i]); }
        Vec derived{};
        if (kind == static_cast<std::int64_t>(DecanterKind::top_vapour_key_fraction)) {
            out.y_Top = P;
            for (std::size_t i = 0; i < kN; ++i) {
                out.x_Reflux[i] = ((R + 1.0) * out.y_Top[i] - x_D[i]) / R;
            }
            derived = out.x_Reflux;
        } else {
            out.x_Reflux = P;
            out.y_Top = operating_line_vapour(out.x_Reflux);
            derived = out.y_Top;
        }
        if (!(on_tie_line(f) && on_tie_line(position(derived)))) {
            return fail(5, {"      Infeasible decanter specifications"});
        }
    } else if (kind == static_cast<std::int64_t>(DecanterKind::richer_liquid_reflux)) {
        out.x_Reflux = x1[k] > x2[k] ? x1 : x2;
        out.y_Top = operating_line_vapour(out.x_Reflux);
        if (!(on_tie_line(position(out.x_Reflux)) && on_tie_line(position(out.y_Top)))) {
            return fail(1, {kInternal});
        }
    } else {
        return fail(1, {kInternal});
    }

    out.l1_Spec = lever(distance(out.x_Reflux, x2), distance(x_D, x2));
    out.l2_Spec = lever(distance(out.x_Reflux, x1), distance(x_D, x1));
    std::size_t m = 0;
    for (std::size_t i = 1; i < kN; ++i) {
        if (x2[i] - x1[i] > x2[m] - x1[m]) { m = i; }
    }
    out.Comp_List = ctx.idx.size() > m ? ctx.idx[m] : 0;
    out.phi_reflux = position(out.x_Reflux);
    out.status = 0;
    return out;
}

}  // namespace design
