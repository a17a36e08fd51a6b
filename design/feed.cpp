#include "design/feed.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "design/detail/checks.hpp"
#include "design/detail/flash.hpp"

namespace design {
namespace {

using namespace std::string_view_literals;

/// Saturated liquid enthalpy at the bubble point and saturated vapour enthalpy at the dew point
/// of composition x [J/kmol]; false (with the failure noted) when a call failed.
bool saturated_enthalpies(const PropertyContext& ctx,
                          std::span<const double> x,
                          double& H_L,
                          double& H_V,
                          std::int64_t& flag,
                          std::int64_t* flashes) {
    const std::size_t n = x.size();
    const properties::FlashResult bubble = detail::pv_flash(ctx, x, 0.0);
    const properties::FlashResult dew = detail::pv_flash(ctx, x, 1.0);
    if (flashes) { *flashes += 2; }
    if (!detail::usable(bubble, n) || !detail::usable(dew, n)) {
        const std::int64_t code = bubble.error_code != 0 ? bubble.error_code : dew.error_code;
        detail::note_failure(flag, code != 0 ? code : -1);
        return false;
    }
    const properties::EnthalpyResult hl = detail::liquid_enthalpy(ctx, bubble.temperature, x);
    const properties::EnthalpyResult hv = detail::vapour_enthalpy(ctx, dew.temperature, x);
    if (flashes) { *flashes += 2; }
    if (hl.error_code != 0 || hv.error_code != 0 || !std::isfinite(hl.enthalpy) ||
        !std::isfinite(hv.enthalpy)) {
        const std::int64_t code = hl.error_code != 0 ? hl.error_code : hv.error_code;
        detail::note_failure(flag, code != 0 ? code : -1);
        return false;
    }
    H_L = hl.enthalpy;
    H_V = hv.enthalpy;
    return true;
}

void fatal_internal_error(FeedResult& r, MessageLog& log) {
    r.iErr = 1;
    r.F_flow = -1.0;
    log.line("****** Fatal Internal Error in Corvane (Compute_feed) ***** ");
    log.line("       Please close the simulation and contact Quorral Technology ");
}

}  // namespace

void FEED_TEMPERATURE(const PropertyContext& ctx,
                      std::span<const double> x,
                      double q,
                      double& T,
                      std::int64_t& flag,
                      std::int64_t* flashes) {
    const std::size_t n = x.size();
    if (q >= 0.0 && q <= 1.0) {
        const properties::FlashResult r = detail::pv_flash(ctx, x, 1.0 - q);
        if (flashes) { ++*flashes; }
        if (!detail::usable(r, n)) {
            detail::note_failure(flag, r.error_code != 0 ? r.error_code : -1);
            return;
        }
        T = r.temperature;
        return;
    }
    // Subcooled liquid or superheated vapour: the enthalpy that this quality means, by the
    // lever rule between the saturated liquid and the saturated vapour, then an isenthalpic
    // flash.
    double H_L = 0.0, H_V = 0.0;
    if (!std::isfinite(q)) {
        detail::note_failure(flag, -1);
        return;
    }
    if (!saturated_enthalpies(ctx, x, H_L, H_V, flag, flashes)) { return; }
    const double H = H_V + q * (H_L - H_V);
    const properties::FlashResult r = detail::ph_flash(ctx, x, H);
    if (flashes) { ++*flashes; }
    if (!detail::usable(r, n)) {
        detail::note_failure(flag, r.error_code != 0 ? r.error_code : -1);
        return;
    }
    T = r.temperature;
}

void FEED_QUALITY(const PropertyContext& ctx,
                  std::span<const double> x,
                  double H,
                  double& q,
                  double& T,
                  std::int64_t& flag,
                  std::int64_t* flashes) {
    const std::size_t n = x.size();
    const properties::FlashResult r = detail::ph_flash(ctx, x, H);
    if (flashes) { ++*flashes; }
    if (!detail::usable(r, n)) {
        detail::note_failure(flag, r.error_code != 0 ? r.error_code : -1);
        return;
    }
    T = r.temperature;
    const double V = r.vapour_fraction;
    if (V > 0.0 && V < 1.0) {
        q = 1.0 - V;
        return;
    }
    // One phase: the quality extends beyond [0, 1] by the same lever rule on the saturated
    // enthalpies, so that a saturated feed that lands exactly on V = 0 or 1 still gives 1 or 0.
    double H_L = 0.0, H_V = 0.0;
    if (!saturated_enthalpies(ctx, x, H_L, H_V, flag, flashes)) { return; }
    if (H_L == H_V) {
        detail::note_failure(flag, -1);
        return;
    }
    q = (H - H_V) / (H_L - H_V);
}

FeedResult compute_feed(const FeedInput& in) {
    FeedResult r;
    MessageLog log;
    r.iMsg = 0;
    r.x_feed.assign(detail::writable_entries(in.nComp), -1.0);
    r.q = 1.0;
    r.T_feed = -1.0;
    r.basis_comp.clear();

    // Bad arguments. Beyond the listed ones (component count, a zero index, the pressure, too
    // little mapped in all), a size that does not match the arrays, a negative or non-finite
    // share and a non-finite pressure are refused the same way: each would otherwise read
    // outside the arrays or carry NaN into every result.
    bool bad = in.nComp != kComponents || in.ncc < 1 || in.ncc > kMaxFullListComponents ||
               !detail::positive_finite(in.pres) ||
               in.idx.size() != static_cast<std::size_t>(kComponents);
    if (!bad) {
        const auto ncc = static_cast<std::size_t>(in.ncc);
        bad = in.feed.size() < ncc + kStreamExtraEntries ||
              in.mapping.size() != ncc * static_cast<std::size_t>(kComponents);
        for (const std::int64_t i : in.idx) { bad = bad || i <= 0; }
    }
    double mapping_sum = 0.0;
    if (!bad) {
        for (const double m : in.mapping) {
            bad = bad || !std::isfinite(m) || m < 0.0;
            mapping_sum += m;
        }
        bad = bad || !(mapping_sum >= 3.0);
    }
    if (bad) {
        fatal_internal_error(r, log);
        r.messages = log.take();
        return r;
    }
    const auto ncc = static_cast<std::size_t>(in.ncc);
    const std::size_t n = kComponents;

    for (std::size_t i = 0; i <= ncc; ++i) {
        if (!(in.feed[i] >= 0.0) || !std::isfinite(in.feed[i])) {
            r.iErr = 1;
            r.F_flow = -1.0;
            log.line("***** Error in Getting Stream Input *****");
            log.line("      Please close the simulation and contact Quorral\0Technology "sv);
            r.messages = log.take();
            return r;
        }
    }
    r.iErr = 0;

    std::vector<double> f(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t i = 0; i < ncc; ++i) { f[j] += in.feed[i] * in.mapping[j * ncc + i]; }
    }
    r.F_flow = std::accumulate(f.begin(), f.end(), 0.0);
    if (r.F_flow == 0.0) {
        r.iErr = 2;
        r.F_flow = 0.0;
        std::fill(r.x_feed.begin(), r.x_feed.end(), 0.0);
        log.line("***** Error - After mapping, the feed flowrate is zero");
        log.line("      Please change the component mapping");
        r.messages = log.take();
        return r;
    }
    for (std::size_t j = 0; j < n; ++j) { r.x_feed[j] = f[j] / r.F_flow; }
    if (std::any_of(r.x_feed.begin(), r.x_feed.end(), [](double x) { return x == 0.0; })) {
        log.line("***** Warning - The composition of one or more components in the ");
        log.line("      \"mapped\" feed stream is zero");
        r.iErr = -4;
    }

    // The stream's molar enthalpy: its enthalpy per mass times its molar mass.
    const double H = in.feed[ncc + kStreamEnthalpy - 1] * in.feed[ncc + kStreamMolarMass - 1];
    const PropertyContext mapped{in.idx, in.opset, in.nPhase, in.pres};
    std::int64_t flag = 0;
    double q = r.q;
    double T = r.T_feed;
    switch (in.enthalpy_method) {
        case static_cast<std::int64_t>(EnthalpyMethod::full_feed_enthalpy): {
            // The unmapped feed over the full list (host indices 1..ncc). Normalised by the sum
            // of the component flows: the same as dividing by the stream's total for a
            // consistent stream, and safe when the total entry is 0.
            std::vector<std::int64_t> full_idx(ncc);
            std::iota(full_idx.begin(), full_idx.end(), std::int64_t{1});
            const double total = std::accumulate(in.feed.begin(), in.feed.begin() + ncc, 0.0);
            std::vector<double> z(ncc, 0.0);
            for (std::size_t i = 0; i < ncc; ++i) { z[i] = in.feed[i] / total; }
            const PropertyContext full{full_idx, in.opset, in.nPhase, in.pres};
            double scratch_T = -1.0;
            FEED_QUALITY(full, z, H, q, scratch_T, flag, &r.flashes);
            if (flag == 0) { FEED_TEMPERATURE(mapped, r.x_feed, q, T, flag, &r.flashes); }
            break;
        }
        case static_cast<std::int64_t>(EnthalpyMethod::mapped_feed_enthalpy):
            FEED_QUALITY(mapped, r.x_feed, H, q, T, flag, &r.flashes);
            break;
        case static_cast<std::int64_t>(EnthalpyMethod::saturated_liquid):
            q = 1.0;
            FEED_TEMPERATURE(mapped, r.x_feed, q, T, flag, &r.flashes);
            break;
        case static_cast<std::int64_t>(EnthalpyMethod::saturated_vapour):
            q = 0.0;
            FEED_TEMPERATURE(mapped, r.x_feed, q, T, flag, &r.flashes);
            break;
        default:
            break;
    }
    if (flag == 0) {
        r.q = q;
        r.T_feed = T;
    } else {
        // A failed flash must not pass for a feed temperature: the quality and temperature
        // keep their initial values and the code says why.
        r.iErr = flag < 0 ? -2 : -3;
        log.line("***** Warning - Could not compute the feed quality and temperature");
        log.line(flag < 0 ? "      A flash or enthalpy calculation failed"
                          : "      A flash calculation did not converge");
    }

    // Basis components: listed only when some full-list component is left out of the mapping.
    std::vector<double> w(ncc, 0.0);
    for (std::size_t i = 0; i < ncc; ++i) {
        for (std::size_t j = 0; j < n; ++j) { w[i] += in.mapping[j * ncc + i]; }
    }
    if (std::any_of(w.begin(), w.end(), [](double v) { return v == 0.0; })) {
        for (std::size_t i = 0; i < ncc; ++i) {
            if (w[i] != 0.0) { r.basis_comp.push_back(static_cast<std::int64_t>(i + 1)); }
        }
    }
    r.messages = log.take();
    return r;
}

}  // namespace design
