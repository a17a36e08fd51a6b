#include "design/product_streams.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "design/detail/checks.hpp"
#include "design/detail/flash.hpp"
#include "design/feed.hpp"

namespace design {
namespace {

bool valid_position(std::int64_t i, std::size_t ncc) {
    return i >= 1 && static_cast<std::size_t>(i) <= ncc;
}

}  // namespace

ProductStreamResult create_product_streams(const ProductStreamInput& in) {
    ProductStreamResult r;
    r.status1 = r.status2 = 0;
    if (in.ncc < 1 || in.ncc > kMaxFullListComponents) {
        r.status1 = 1;
        return r;
    }
    const auto ncc = static_cast<std::size_t>(in.ncc);
    const std::size_t size = ncc + kStreamExtraEntries;
    r.Dist_Stream.assign(size, 0.0);
    r.Bot_Stream.assign(size, 0.0);

    const bool distribute = in.un_Map == kDistributeThroughMapping;
    bool bad =
        in.nselcomp < 1 || in.nselcomp > in.ncc || in.feed.size() < size || in.mol_wt.size() != ncc;
    if (!bad) {
        const auto nsel = static_cast<std::size_t>(in.nselcomp);
        bad = in.idx.size() != nsel || in.x_dist.size() != nsel || in.x_bot.size() != nsel ||
              (distribute && in.mapping.size() != ncc * nsel);
    }
    bad = bad || !std::all_of(in.mol_wt.begin(), in.mol_wt.end(), detail::positive_finite) ||
          !std::isfinite(in.D_Flow) || in.D_Flow < 0.0 || !std::isfinite(in.B_Flow) ||
          in.B_Flow < 0.0 || !detail::all_finite(in.x_dist) || !detail::all_finite(in.x_bot) ||
          !detail::all_finite(in.feed.first(std::min(size, in.feed.size())));
    if (!bad && distribute) { bad = !detail::all_finite(in.mapping); }
    if (bad) {
        r.status1 = 1;
        return r;
    }
    const auto nsel = static_cast<std::size_t>(in.nselcomp);

    // Lumped feed flow of each selected component. Where it is 0 (or the mapping is not used)
    // the component maps one to one, so its full-list position must be valid.
    std::vector<double> lumped(nsel, 0.0);
    for (std::size_t j = 0; j < nsel && distribute; ++j) {
        for (std::size_t i = 0; i < ncc; ++i) { lumped[j] += in.feed[i] * in.mapping[j * ncc + i]; }
    }
    for (std::size_t j = 0; j < nsel; ++j) {
        if (lumped[j] == 0.0 && !valid_position(in.idx[j], ncc)) {
            r.status1 = 1;
            return r;
        }
    }

    std::vector<std::int64_t> full_idx(ncc);
    std::iota(full_idx.begin(), full_idx.end(), std::int64_t{1});
    const PropertyContext ctx{full_idx, in.opset, in.nPhase, in.pres};
    std::vector<double> z(ncc);

    const auto make = [&](double P, std::span<const double> x, std::vector<double>& stream) {
        for (std::size_t j = 0; j < nsel; ++j) {
            const double product = P * x[j];
            if (lumped[j] != 0.0) {
                for (std::size_t i = 0; i < ncc; ++i) {
                    stream[i] += product * in.feed[i] * in.mapping[j * ncc + i] / lumped[j];
                }
            } else {
                // One to one; also for a selected component whose lumped feed flow is 0, which
                // has no proportions to share its product flow by.
                stream[static_cast<std::size_t>(in.idx[j] - 1)] += product;
            }
        }
        double total = 0.0, mass = 0.0;
        for (std::size_t i = 0; i < ncc; ++i) {
            total += stream[i];
            mass += stream[i] * in.mol_wt[i];
        }
        stream[ncc + kStreamTotalFlow - 1] = total;
        stream[ncc + kStreamPressure - 1] = in.pres;
        stream[ncc + kStreamVapour - 1] = 0.0;
        stream[ncc + kStreamLiquid - 1] = 1.0;
        stream[ncc + kStreamExtra7 - 1] = in.feed[ncc + kStreamExtra7 - 1];
        stream[ncc + kStreamExtra8 - 1] = in.feed[ncc + kStreamExtra8 - 1];
        // An empty product has no composition: no temperature, enthalpy or molecular weight.
        if (total == 0.0) { return; }
        const double mw = mass / total;
        stream[ncc + kStreamMolarMass - 1] = mw;
        for (std::size_t i = 0; i < ncc; ++i) { z[i] = stream[i] / total; }
        const properties::FlashResult bubble = detail::pv_flash(ctx, z, 0.0);
        ++r.flashes;
        if (!detail::usable(bubble, ncc)) {
            detail::note_failure(r.status2, bubble.error_code != 0 ? bubble.error_code : -1);
            return;
        }
        stream[ncc + kStreamTemperature - 1] = bubble.temperature;
        const properties::EnthalpyResult h = detail::liquid_enthalpy(ctx, bubble.temperature, z);
        ++r.flashes;
        if (h.error_code != 0 || !std::isfinite(h.enthalpy)) {
            detail::note_failure(r.status2, h.error_code != 0 ? h.error_code : -1);
            return;
        }
        stream[ncc + kStreamEnthalpy - 1] = h.enthalpy / mw;
    };
    make(in.D_Flow, in.x_dist, r.Dist_Stream);
    make(in.B_Flow, in.x_bot, r.Bot_Stream);
    return r;
}

}  // namespace design
