#include "design/bv_design.hpp"

#include <algorithm>
#include <cmath>

#include "design/decanter.hpp"
#include "design/detail/checks.hpp"
#include "design/detail/flash.hpp"
#include "engine/core/messages.hpp"

namespace design {
namespace {

constexpr std::size_t kN = 3;

void copy_stage(const std::vector<double>& from,
                std::size_t from_stage,
                std::vector<double>& to,
                std::size_t to_stage,
                std::size_t n) {
    std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(from_stage * n), n,
                to.begin() + static_cast<std::ptrdiff_t>(to_stage * n));
}

std::int64_t flash_message(std::int64_t code) {
    return static_cast<std::int64_t>(code > 0 ? engine::core::Message::flash_not_converged
                                              : engine::core::Message::fatal_flash_error);
}

void invalid_input(std::string_view reason, MessageLog& log) {
    log.line("***** Invalid input for Conceptual Design calculations");
    log.line(reason);
    log.line("      Please change the input specifications and re-calculate the design");
}

}  // namespace

ColumnProfile empty_column(std::size_t n, std::int64_t iMaxStages) {
    ColumnProfile c;
    const auto m = static_cast<std::size_t>(std::max<std::int64_t>(iMaxStages, 0));
    c.x_Rect_f.assign(n * m, -1.0);
    c.x_Strip_f.assign(n * m, -1.0);
    c.Stage_Col.assign(2 * m, -1.0);
    c.T_Col.assign(2 * m, -1.0);
    c.x_Col.assign(2 * n * m, -1.0);
    c.y_Col.assign(2 * n * m, -1.0);
    c.T_est.assign(2 * m, -1.0);
    c.X_est.assign(2 * n * m, -1.0);
    c.Y_est.assign(2 * n * m, -1.0);
    return c;
}

void assemble_column(const Profile& rect,
                     const Profile& strip,
                     const Intersection& crossing,
                     double T_feed,
                     std::span<const double> y_feed,
                     bool with_decanter,
                     std::span<const double> y_Top,
                     std::int64_t iMaxStages,
                     ColumnProfile& c) {
    const std::size_t n = crossing.x.size();
    const auto m = static_cast<std::size_t>(std::max<std::int64_t>(iMaxStages, 1));
    const double p_R = crossing.p_A;
    const double p_S = crossing.p_B;
    c.dbStages_Strip = p_R;
    c.dbStage_Rect = p_R + p_S - 1.0;

    // Stages before the feed point on each side. A crossing exactly at a profile's last stage
    // (s or t = 1 on its last segment) would ask for m + 1 points; that stage is the crossing
    // point itself, so it is left out rather than written beyond the arrays.
    const auto floor_R = static_cast<std::size_t>(std::floor(p_R));
    const auto floor_S = static_cast<std::size_t>(std::floor(p_S));
    const std::size_t nr = std::min(floor_R, m - 1);
    const std::size_t ns = std::min(floor_S, m - 1);

    c.iN_Rect_f = static_cast<std::int64_t>(nr + 1);
    for (std::size_t k = 0; k < nr; ++k) { copy_stage(rect.x, k, c.x_Rect_f, k, n); }
    std::copy_n(crossing.x.begin(), n, c.x_Rect_f.begin() + static_cast<std::ptrdiff_t>(nr * n));
    c.iN_Strip_f = static_cast<std::int64_t>(ns + 1);
    for (std::size_t k = 0; k < ns; ++k) { copy_stage(strip.x, k, c.x_Strip_f, k, n); }
    std::copy_n(crossing.x.begin(), n, c.x_Strip_f.begin() + static_cast<std::ptrdiff_t>(ns * n));

    // The column from the top: rectifying stages, the feed point, stripping stages downwards.
    std::size_t point = 0;
    for (std::size_t k = 0; k < nr; ++k, ++point) {
        c.Stage_Col[point] = static_cast<double>(k + 1);
        c.T_Col[point] = rect.T[k];
        copy_stage(rect.x, k, c.x_Col, point, n);
        copy_stage(rect.y, k, c.y_Col, point, n);
    }
    c.Stage_Col[point] = p_R;
    c.T_Col[point] = T_feed;
    std::copy_n(crossing.x.begin(), n, c.x_Col.begin() + static_cast<std::ptrdiff_t>(point * n));
    std::copy_n(y_feed.begin(), n, c.y_Col.begin() + static_cast<std::ptrdiff_t>(point * n));
    ++point;
    const double first_below = p_R + (p_S - static_cast<double>(floor_S));
    for (std::size_t j = ns; j >= 1; --j, ++point) {
        c.Stage_Col[point] = first_below + static_cast<double>(floor_S - j);
        c.T_Col[point] = strip.T[j - 1];
        copy_stage(strip.x, j - 1, c.x_Col, point, n);
        copy_stage(strip.y, j - 1, c.y_Col, point, n);
    }
    c.iN_Col = static_cast<std::int64_t>(point);

    c.r_n_Stages = static_cast<std::int64_t>(std::floor(c.dbStage_Rect)) + 1;
    c.r_Feed_Stage = static_cast<std::int64_t>(std::floor(c.dbStages_Strip)) + 1;

    // Estimates: the column profile itself, or without its feed point when that is one point
    // too many.
    std::size_t filled = 0;
    const auto take = [&](std::size_t from) {
        c.T_est[filled] = c.T_Col[from];
        copy_stage(c.x_Col, from, c.X_est, filled, n);
        copy_stage(c.y_Col, from, c.Y_est, filled, n);
        ++filled;
    };
    if (c.r_n_Stages == c.iN_Col) {
        for (std::size_t k = 0; k < point; ++k) { take(k); }
    } else if (c.r_n_Stages == c.iN_Col - 1) {
        for (std::size_t k = 0; k < point; ++k) {
            if (k != nr) { take(k); }
        }
    }
    c.estimates = static_cast<std::int64_t>(filled);
    if (with_decanter && filled > 0) { std::copy_n(y_Top.begin(), n, c.X_est.begin()); }
}

DesignResult bv_design(const DesignInput& in) {
    DesignResult r;
    MessageLog log;
    const std::size_t w = detail::writable_entries(in.n);
    r.dbReflux = in.dbReflux;
    r.dbReboil = in.dbReboil;
    r.dbPhi_Reflux = in.dbPhi_Reflux;
    r.iMsg = in.iMsg;
    r.x_Reflux.assign(w, -1.0);
    r.y_Top.assign(w, -1.0);
    r.iFeasible = 0;
    r.V_Rect = r.V_Strip = r.L_Rect = r.L_Strip = -1.0;
    r.Q_Reb = r.Q_Con = 0.0;
    r.l1_Spec = r.l2_Spec = 0.0;
    r.Comp_List = 0;
    r.iErr = 0;
    const auto finish = [&r, &log]() -> DesignResult {
        r.messages = log.take();
        r.flashes += r.rect.flashes + r.strip.flashes;
        return std::move(r);
    };

    // Bad arguments: besides the component count, a zero index and the pressure, a stage limit
    // that cannot hold a profile (or that no memory could) and arrays of the wrong size.
    bool bad = in.n != kComponents || in.idx.size() != kN || in.x_Dist.size() != kN ||
               in.x_Bot.size() != kN || !detail::positive_finite(in.pres) || in.iMaxStages < 2 ||
               in.iMaxStages > kMaxStagesLimit;
    for (const std::int64_t i : in.idx) { bad = bad || i <= 0; }
    if (!bad) {
        const auto m = static_cast<std::size_t>(in.iMaxStages);
        r.rect.x.assign(kN * m, -1.0);
        r.rect.y.assign(kN * m, -1.0);
        r.rect.T.assign(m, -1.0);
        r.strip = r.rect;
        r.column = empty_column(kN, in.iMaxStages);
    }
    if (bad) {
        log.line("****** Fatal Internal Error in Corvane (Design) ***** ");
        log.line("     Please close the simulation and contact Quorral Technology ");
        r.iErr = 1;
        return finish();
    }
    if (!detail::positive_finite(in.F_flow)) {
        invalid_input("      The \"mapped\" feed flowrate is zero !", log);
        r.iErr = 3;
        return finish();
    }
    if (!detail::positive_finite(in.D_Flow) || !detail::positive_finite(in.B_Flow)) {
        invalid_input("      One of the product flowrates is zero !", log);
        r.iErr = 3;
        return finish();
    }
    const auto positive = [](std::span<const double> v) {
        return std::all_of(v.begin(), v.end(), detail::positive_finite);
    };
    if (!positive(in.x_Dist) || !positive(in.x_Bot)) {
        invalid_input("      One or more of the computed product compositions is zero or negative",
                      log);
        r.iErr = 3;
        return finish();
    }

    // Ratios: V_F is the vapour part of the feed.
    const double D = in.D_Flow, B = in.B_Flow;
    const double V_F = (1.0 - in.FeedQual) * in.F_flow;
    if (in.r_or_s == 1) {
        r.dbReboil = ((r.dbReflux + 1.0) * D - V_F) / B;
    } else {
        r.dbReflux = (r.dbReboil * B + V_F) / D - 1.0;
    }
    const double R = r.dbReflux, S = r.dbReboil;
    if (!detail::positive_finite(R) || !detail::positive_finite(S)) {
        invalid_input("      The calculated value for the reflux/reboil ratio is zero or negative",
                      log);
        r.iErr = 2;
        return finish();
    }
    r.V_Rect = D * (R + 1.0);
    r.L_Rect = D * R;
    r.L_Strip = B * (S + 1.0);
    r.V_Strip = B * S;

    const PropertyContext ctx{in.idx, in.opset, in.nPhase, in.pres};
    const auto flash_failed = [&r](std::int64_t code) {
        r.iErr = -4;
        r.iMsg = flash_message(code);
    };

    // Top of the column.
    r.x_Reflux.assign(in.x_Dist.begin(), in.x_Dist.end());
    r.y_Top.assign(in.x_Dist.begin(), in.x_Dist.end());
    if (in.iConfig == kDecanterConfiguration) {
        const DecanterResult dec = decanter(ctx, in.x_Dist, R, in.DecSpec, in.Dec_val, r.iMsg, log);
        ++r.flashes;
        r.decanter_status = dec.status;
        if (dec.status == 0) {
            r.x_Reflux.assign(dec.x_Reflux.begin(), dec.x_Reflux.end());
            r.y_Top.assign(dec.y_Top.begin(), dec.y_Top.end());
            r.dbPhi_Reflux = dec.phi_reflux;
            r.l1_Spec = dec.l1_Spec;
            r.l2_Spec = dec.l2_Spec;
            r.Comp_List = dec.Comp_List;
        } else {
            r.iErr = dec.status == 3 ? -2 : -3;
        }
    }

    // Rectifying profile and condenser duty.
    r.rect = rectifying_profile(ctx, in.iMaxStages, in.iStopCriteria, R, in.x_Dist, r.x_Reflux,
                                r.y_Top, log);
    if (r.rect.status == 1) {
        flash_failed(r.rect.flash_error);
    } else if (r.rect.status == 2) {
        r.iErr = -5;
    }
    if (r.rect.count >= 2) {
        // The vapour leaving the top tray condensed at that tray's temperature.
        const double T_top = r.rect.T[1];
        const properties::EnthalpyResult H_V = detail::vapour_enthalpy(ctx, T_top, r.y_Top);
        const properties::EnthalpyResult H_L = detail::liquid_enthalpy(ctx, T_top, r.y_Top);
        r.flashes += 2;
        if (H_V.error_code == 0 && H_L.error_code == 0) {
            r.Q_Con = (H_L.enthalpy - H_V.enthalpy) * r.V_Rect;
        } else {
            flash_failed(H_V.error_code != 0 ? H_V.error_code : H_L.error_code);
        }
    }

    // Stripping profile and reboiler duty.
    r.strip = stripping_profile(ctx, in.iMaxStages, in.iStopCriteria, S, in.x_Bot, log);
    if (r.strip.status == 1) {
        flash_failed(r.strip.flash_error);
    } else if (r.strip.status == 2) {
        r.iErr = -5;
    }
    if (r.strip.count >= 2) {
        const std::span<const double> x2(r.strip.x.data() + kN, kN);
        const std::span<const double> y1(r.strip.y.data(), kN);
        const properties::EnthalpyResult h_2 = detail::liquid_enthalpy(ctx, r.strip.T[1], x2);
        const properties::EnthalpyResult h_B = detail::liquid_enthalpy(ctx, r.strip.T[0], in.x_Bot);
        const properties::EnthalpyResult H_V1 = detail::vapour_enthalpy(ctx, r.strip.T[0], y1);
        r.flashes += 3;
        if (h_2.error_code == 0 && h_B.error_code == 0 && H_V1.error_code == 0) {
            r.Q_Reb = B * h_B.enthalpy + r.V_Strip * H_V1.enthalpy - r.L_Strip * h_2.enthalpy;
        } else {
            flash_failed(h_2.error_code != 0   ? h_2.error_code
                         : h_B.error_code != 0 ? h_B.error_code
                                               : H_V1.error_code);
        }
    }

    // Feasibility: the rectifying profile from the top tray, the stripping one from the reboiler.
    const Intersection hit = find_intersection(kN, r.rect.x, r.rect.count, 2, r.rect.count,
                                               r.strip.x, r.strip.count, 1, r.strip.count);
    if (!hit.found) { return finish(); }
    r.iFeasible = 1;
    r.x_feed_point = hit.x;
    r.column.dbStages_Strip = hit.p_A;
    r.column.dbStage_Rect = hit.p_A + hit.p_B - 1.0;

    const properties::FlashResult feed = detail::pv_flash(ctx, hit.x, 0.0);
    ++r.flashes;
    if (!detail::usable(feed, kN)) {
        flash_failed(feed.error_code != 0 ? feed.error_code : -1);
        r.iFeasible = 0;
        return finish();
    }
    r.T_feed_point = feed.temperature;
    assemble_column(r.rect, r.strip, hit, feed.temperature,
                    std::span<const double>(feed.y.data(), kN),
                    in.iConfig == kDecanterConfiguration, r.y_Top, in.iMaxStages, r.column);
    return finish();
}

}  // namespace design
