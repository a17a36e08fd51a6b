// Estimation of binary parameters that the databank lacks, from UNIFAC.
//
// The databank's pairs were fitted to vapour-liquid data and leave out many pairs that matter in
// heterogeneous systems (water with the hydrocarbons, for one). A pair left ideal there would
// miss the second liquid altogether, so, as process simulators do, the pair is estimated from
// the group-contribution model instead:
// - a miscible pair matches original UNIFAC's infinite-dilution activity coefficients of both
//   components at the two ends of the pair's boiling range (where a distillation meets it); two
//   temperatures fix a + b/T of both directions exactly;
// - a partly miscible pair (UNIFAC-LLE predicts two liquids at 298.15 K) matches the mutual
//   solubilities UNIFAC-LLE predicts at 298.15 ... 358.15 K: at each temperature the two
//   parameters that reproduce both solubilities exactly are solved for, then a + b/T is fitted
//   to them by least squares (the procedure of the derived sets in nrtl_lle.tsv, which the tests
//   use as a check). NRTL takes alpha = 0.2 here, as the DECHEMA liquid-liquid collection does
//   for such systems, and 0.3 for miscible pairs.
#include "host/pair_estimation.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/unifac.hpp"
#include "host/uniquac.hpp"
#include "host/wilson.hpp"

namespace host {

namespace {

using Vec2 = std::array<double, 2>;

// Where a model's form cannot reproduce both infinite-dilution activity coefficients exactly,
// the closest match is still far better than an ideal pair up to this deviation of ln gamma
// (10 % in gamma); beyond it the pair is left ideal and says why.
constexpr double kInfiniteDilutionAcceptance = 0.1;

/// A binary composition held as the logit u = ln(x1 / x2), so that both mole fractions keep
/// full relative precision however close the other one is to 1.
struct Binary {
    double x1, x2, ln_x1, ln_x2;
    explicit Binary(double u)
        : x1(1.0 / (1.0 + std::exp(-u))),
          x2(1.0 / (1.0 + std::exp(u))),
          ln_x1(-std::log1p(std::exp(-u))),
          ln_x2(-std::log1p(std::exp(u))) {}
};

double logit(double x1, double x2) { return std::log(x1) - std::log(x2); }

/// ln(x_i gamma_i) of both components.
Vec2 ln_activity(const ActivityModel& m, double T, const Binary& b) {
    const std::array<double, 2> x{b.x1, b.x2};
    std::array<double, 2> g{};
    m.ln_gamma(T, x, g);
    return {b.ln_x1 + g[0], b.ln_x2 + g[1]};
}

/// ln gamma at infinite dilution of both components (of 1 in pure 2, of 2 in pure 1).
Vec2 ln_gamma_infinite(const ActivityModel& m, double T) {
    std::array<double, 2> g{};
    const std::array<double, 2> in2{0.0, 1.0}, in1{1.0, 0.0};
    m.ln_gamma(T, in2, g);
    const double first = g[0];
    m.ln_gamma(T, in1, g);
    return {first, g[1]};
}

/// Solves the 2 x 2 system a d = b; false when singular.
bool solve2(const std::array<double, 4>& a, const Vec2& b, Vec2& d) {
    const double det = a[0] * a[3] - a[1] * a[2];
    const double scale = std::max({std::abs(a[0] * a[3]), std::abs(a[1] * a[2]), 1e-300});
    if (!(std::abs(det) > 1e-14 * scale) || !std::isfinite(det)) { return false; }
    d = {(b[0] * a[3] - a[1] * b[1]) / det, (a[0] * b[1] - a[2] * b[0]) / det};
    return true;
}

/// Levenberg-Marquardt on N residuals in two unknowns with a forward-difference Jacobian.
/// Returns the best point found; `norm` is its largest residual (infinite when the residual
/// could not be evaluated at the start).
template <std::size_t N>
std::array<double, 2> least_squares(
    const std::function<std::optional<std::array<double, N>>(const Vec2&)>& residual,
    Vec2 p,
    double limit,
    double& norm) {
    using Res = std::array<double, N>;
    norm = std::numeric_limits<double>::infinity();
    std::optional<Res> r = residual(p);
    if (!r) { return p; }
    const auto size = [](const Res& v) {
        double m = 0.0;
        for (double e : v) { m = std::max(m, std::abs(e)); }
        return m;
    };
    const auto square = [](const Res& v) {
        double m = 0.0;
        for (double e : v) { m += e * e; }
        return m;
    };
    double lambda = 1e-6;
    for (int it = 0; it < 300 && size(*r) > 1e-12; ++it) {
        std::array<Res, 2> jac{};
        bool ok = true;
        for (std::size_t j = 0; j < 2 && ok; ++j) {
            Vec2 q = p;
            const double h = 1e-7 * std::max(1.0, std::abs(p[j]));
            q[j] += h;
            const std::optional<Res> rq = residual(q);
            if (!rq) {
                ok = false;
                break;
            }
            for (std::size_t k = 0; k < N; ++k) { jac[j][k] = ((*rq)[k] - (*r)[k]) / h; }
        }
        if (!ok) { break; }
        // (J^T J + lambda diag(J^T J)) d = -J^T r
        std::array<double, 4> a{};
        Vec2 g{};
        for (std::size_t k = 0; k < N; ++k) {
            a[0] += jac[0][k] * jac[0][k];
            a[1] += jac[0][k] * jac[1][k];
            a[3] += jac[1][k] * jac[1][k];
            g[0] -= jac[0][k] * (*r)[k];
            g[1] -= jac[1][k] * (*r)[k];
        }
        a[2] = a[1];
        bool improved = false;
        while (lambda < 1e12) {
            std::array<double, 4> m = a;
            m[0] *= 1.0 + lambda;
            m[3] *= 1.0 + lambda;
            Vec2 d{};
            if (solve2(m, g, d)) {
                const Vec2 q{p[0] + d[0], p[1] + d[1]};
                if (std::abs(q[0]) <= limit && std::abs(q[1]) <= limit) {
                    const std::optional<Res> rq = residual(q);
                    if (rq && std::isfinite(square(*rq)) && square(*rq) < square(*r)) {
                        p = q;
                        r = rq;
                        lambda = std::max(lambda * 0.1, 1e-12);
                        improved = true;
                        break;
                    }
                }
            }
            lambda *= 10.0;
        }
        if (!improved) { break; }
    }
    norm = size(*r);
    return p;
}

/// Newton (Levenberg-Marquardt) on two equations in two unknowns.
Vec2 solve_pair(const std::function<std::optional<Vec2>(const Vec2&)>& residual,
                Vec2 p,
                double limit,
                double& norm) {
    return least_squares<2>(residual, p, limit, norm);
}

/// The liquid-liquid split of a binary at T as logits (phase rich in the second component
/// first), or nullopt when the binary is miscible there.
std::optional<Vec2> split_logits(const ActivityModel& m, double T) {
    // Grid points as (x1, x2) pairs, the small one given directly: log-spaced near both ends,
    // where mutual solubilities of a few ppm live, uniform in between.
    struct Point {
        double x1, x2, g;
    };
    std::vector<Point> points;
    for (int k = 0; k <= 40; ++k) {
        const double small = std::pow(10.0, -10.0 + 8.0 * k / 40.0);
        points.push_back({small, 1.0 - small, 0.0});
    }
    for (int k = 2; k <= 98; ++k) { points.push_back({k / 100.0, 1.0 - k / 100.0, 0.0}); }
    for (int k = 40; k >= 0; --k) {
        const double small = std::pow(10.0, -10.0 + 8.0 * k / 40.0);
        points.push_back({1.0 - small, small, 0.0});
    }
    for (Point& p : points) {
        const std::array<double, 2> x{p.x1, p.x2};
        p.g = p.x1 * std::log(p.x1) + p.x2 * std::log(p.x2) + m.excess_gibbs_over_rt(T, x);
        if (!std::isfinite(p.g)) { return std::nullopt; }
    }
    // Lower convex hull (Andrew's monotone chain); where it skips grid points that lie above
    // it, G^mix is not convex and its common tangent spans a two-liquid region.
    std::vector<std::size_t> hull;
    const auto cross = [&](std::size_t o, std::size_t a, std::size_t b) {
        return (points[a].x1 - points[o].x1) * (points[b].g - points[o].g) -
               (points[a].g - points[o].g) * (points[b].x1 - points[o].x1);
    };
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (hull.size() >= 2 && cross(hull[hull.size() - 2], hull.back(), i) <= 0.0) {
            hull.pop_back();
        }
        hull.push_back(i);
    }
    std::size_t best = hull.size();
    double widest = 0.0;
    for (std::size_t h = 0; h + 1 < hull.size(); ++h) {
        const std::size_t a = hull[h], b = hull[h + 1];
        if (b <= a + 1) { continue; }
        double excess = 0.0;
        for (std::size_t k = a + 1; k < b; ++k) {
            const double t = (points[k].x1 - points[a].x1) / (points[b].x1 - points[a].x1);
            excess =
                std::max(excess, points[k].g - (points[a].g + t * (points[b].g - points[a].g)));
        }
        if (excess > 1e-10 && points[b].x1 - points[a].x1 > widest) {
            widest = points[b].x1 - points[a].x1;
            best = h;
        }
    }
    if (best == hull.size()) { return std::nullopt; }
    const Point& pa = points[hull[best]];
    const Point& pb = points[hull[best + 1]];
    double norm = 0.0;
    const auto residual = [&](const Vec2& u) -> std::optional<Vec2> {
        const Vec2 a = ln_activity(m, T, Binary(u[0]));
        const Vec2 b = ln_activity(m, T, Binary(u[1]));
        const Vec2 r{a[0] - b[0], a[1] - b[1]};
        if (!std::isfinite(r[0]) || !std::isfinite(r[1])) { return std::nullopt; }
        return r;
    };
    const Vec2 u = solve_pair(residual, {logit(pa.x1, pa.x2), logit(pb.x1, pb.x2)}, 60.0, norm);
    // A converged pair of distinct liquids; the trivial solution (both the same) is no split.
    if (!(norm < 1e-9) || !(u[1] - u[0] > 1e-3)) { return std::nullopt; }
    return u;
}

/// The binary model of the method at a fixed temperature: p_12 and p_21 as constants.
struct Family {
    PropertyMethod method;
    double alpha;
    const PureComponent* first;
    const PureComponent* second;

    std::shared_ptr<const ActivityModel> make(const Vec2& p) const {
        InteractionMatrix m(2);
        m.set_pair(0, 1, p[0], 0.0, p[1], 0.0);
        switch (method) {
            case PropertyMethod::nrtl: {
                NrtlParameters q;
                q.tau = m;
                q.alpha = {0.0, alpha, alpha, 0.0};
                return std::make_shared<Nrtl>(std::move(q));
            }
            case PropertyMethod::wilson:
                return std::make_shared<Wilson>(WilsonParameters{m});
            case PropertyMethod::uniquac: {
                UniquacParameters q;
                q.r = {first->uniquac_r, second->uniquac_r};
                q.q = {first->uniquac_q, second->uniquac_q};
                q.ln_tau = m;
                return std::make_shared<Uniquac>(std::move(q));
            }
            default:
                throw std::invalid_argument("no binary pairs in this method");
        }
    }
};

/// Parameters of the family reproducing ln gamma at infinite dilution `target` at T, or, where
/// the model's form cannot reproduce both (NRTL at small tau is nearly symmetric), the closest
/// in the largest deviation of ln gamma, accepted up to `accept`.
std::optional<Vec2> match_infinite_dilution(
    const Family& f, double T, const Vec2& target, double& deviation, double accept = 1e-6) {
    const auto residual = [&](const Vec2& p) -> std::optional<Vec2> {
        try {
            const Vec2 g = ln_gamma_infinite(*f.make(p), T);
            const Vec2 r{g[0] - target[0], g[1] - target[1]};
            if (!std::isfinite(r[0]) || !std::isfinite(r[1])) { return std::nullopt; }
            return r;
        } catch (const std::invalid_argument&) { return std::nullopt; }
    };
    // A start with the right size: half of each ln gamma at infinite dilution in the
    // direction that dominates it (tau_21 and ln Lambda_12 drive gamma_1 at infinite dilution).
    Vec2 start{0.5 * target[1], 0.5 * target[0]};
    // Wilson and UNIQUAC: slightly asymmetric, since at the ideal point both coefficients
    // respond alike to both parameters and the Jacobian is singular.
    if (f.method != PropertyMethod::nrtl) { start = {0.1, -0.1}; }
    Vec2 p = solve_pair(residual, start, 50.0, deviation);
    if (deviation < 1e-6 || !(accept > 1e-6)) {
        return deviation < accept ? std::optional(p) : std::nullopt;
    }
    // No exact match: the closest one. The least-squares valley is flat along some direction,
    // so a small penalty on the parameters keeps the smallest of the near-equal fits (large
    // parameters fitted at one temperature would do anything at another).
    const auto penalised = [&](const Vec2& q) -> std::optional<std::array<double, 4>> {
        const std::optional<Vec2> r = residual(q);
        if (!r) { return std::nullopt; }
        return std::array<double, 4>{(*r)[0], (*r)[1], 1e-2 * q[0], 1e-2 * q[1]};
    };
    double ignored = 0.0;
    p = least_squares<4>(penalised, start, 50.0, ignored);
    const std::optional<Vec2> r = residual(p);
    if (!r) { return std::nullopt; }
    deviation = std::max(std::abs((*r)[0]), std::abs((*r)[1]));
    if (!(deviation < accept)) { return std::nullopt; }
    return p;
}

/// Parameters of the family under which the liquids u (logits) are in equilibrium at T.
std::optional<Vec2> match_solubilities(const Family& f, double T, const Vec2& u) {
    const Binary a(u[0]), b(u[1]);
    // Start from infinite dilution: gamma_1 in liquid a is about x1(b) / x1(a), gamma_2 in
    // liquid b about x2(a) / x2(b), each solute's partner being nearly pure.
    double dev = 0.0;
    std::optional<Vec2> start =
        match_infinite_dilution(f, T, {b.ln_x1 - a.ln_x1, a.ln_x2 - b.ln_x2}, dev);
    const auto residual = [&](const Vec2& p) -> std::optional<Vec2> {
        try {
            const auto m = f.make(p);
            const Vec2 fa = ln_activity(*m, T, a), fb = ln_activity(*m, T, b);
            const Vec2 r{fa[0] - fb[0], fa[1] - fb[1]};
            if (!std::isfinite(r[0]) || !std::isfinite(r[1])) { return std::nullopt; }
            return r;
        } catch (const std::invalid_argument&) { return std::nullopt; }
    };
    double norm = 0.0;
    const Vec2 p = solve_pair(residual, start.value_or(Vec2{2.0, 2.0}), 50.0, norm);
    if (!(norm < 1e-9)) { return std::nullopt; }
    return p;
}

/// Least-squares a + b/T through (T_k, p_k).
std::pair<double, double> fit_inverse_temperature(const std::vector<double>& T,
                                                  const std::vector<double>& p) {
    if (T.size() == 1) { return {p[0], 0.0}; }
    double su = 0.0, sp = 0.0, suu = 0.0, sup = 0.0;
    const double m = static_cast<double>(T.size());
    for (std::size_t k = 0; k < T.size(); ++k) {
        const double u = 1.0 / T[k];
        su += u;
        sp += p[k];
        suu += u * u;
        sup += u * p[k];
    }
    const double b = (m * sup - su * sp) / (m * suu - su * su);
    return {(sp - b * su) / m, b};
}

std::string describe_groups(const UnifacGroupCounts& g) {
    std::string s;
    for (const auto& [id, count] : g) { s += fmt::format("{}:{} ", id, count); }
    return s;
}

/// UNIFAC of one version for the pair, or nullptr (with the reason) when it cannot describe it.
std::shared_ptr<const ActivityModel> unifac_of(const Databank& bank,
                                               const PureComponent& a,
                                               const PureComponent& b,
                                               UnifacVersion version,
                                               std::string& why) {
    const bool lle = version == UnifacVersion::lle;
    const std::array<UnifacGroupCounts, 2> groups{lle ? a.unifac_lle_groups : a.unifac_groups,
                                                  lle ? b.unifac_lle_groups : b.unifac_groups};
    const std::array<std::string, 2> names{a.id, b.id};
    try {
        return std::make_shared<Unifac>(bank.unifac(version), groups, names);
    } catch (const std::invalid_argument& e) {
        why = e.what();
        return nullptr;
    }
}

std::optional<PairEstimate> estimate(const Databank& bank,
                                     const PureComponent& first,
                                     const PureComponent& second,
                                     PropertyMethod method,
                                     std::string& why) {
    if (method != PropertyMethod::nrtl && method != PropertyMethod::wilson &&
        method != PropertyMethod::uniquac) {
        why = "the method has no binary pairs";
        return std::nullopt;
    }
    if (method == PropertyMethod::uniquac && !(first.uniquac_r > 0.0 && first.uniquac_q > 0.0 &&
                                               second.uniquac_r > 0.0 && second.uniquac_q > 0.0)) {
        why = "UNIQUAC r and q missing";
        return std::nullopt;
    }
    std::string why_vle, why_lle;
    const auto vle = unifac_of(bank, first, second, UnifacVersion::original, why_vle);
    const auto lle = unifac_of(bank, first, second, UnifacVersion::lle, why_lle);
    if (vle == nullptr && lle == nullptr) {
        why = "UNIFAC cannot describe the pair: " + why_vle;
        return std::nullopt;
    }
    const auto& liquid_model = lle != nullptr ? lle : vle;
    const char* liquid_name = lle != nullptr ? "UNIFAC-LLE" : "original UNIFAC";
    const std::string pair = first.id + "/" + second.id;

    PairEstimate e;
    // Partly miscible: the solubilities of the liquid-liquid model, where the method can split.
    if (method != PropertyMethod::wilson && split_logits(*liquid_model, 298.15)) {
        Family f{method, 0.2, &first, &second};
        std::vector<double> temps, p12, p21;
        std::vector<Vec2> targets;
        for (const double T : kSolubilityTemperatures) {
            const std::optional<Vec2> u = split_logits(*liquid_model, T);
            if (!u) { continue; }
            const std::optional<Vec2> p = match_solubilities(f, T, *u);
            if (!p) { continue; }
            temps.push_back(T);
            p12.push_back((*p)[0]);
            p21.push_back((*p)[1]);
            targets.push_back(*u);
        }
        if (!temps.empty()) {
            const auto [a12, b12] = fit_inverse_temperature(temps, p12);
            const auto [a21, b21] = fit_inverse_temperature(temps, p21);
            e.a_12 = a12;
            e.b_12 = b12;
            e.a_21 = a21;
            e.b_21 = b21;
            e.alpha = method == PropertyMethod::nrtl ? 0.2 : 0.0;
            e.kind = PairEstimateKind::mutual_solubility;
            e.T_min = temps.front();
            e.T_max = temps.back();
            // How well a + b/T reproduces the solubilities: the model's own split at each T.
            for (std::size_t k = 0; k < temps.size(); ++k) {
                const double T = temps[k];
                const auto m = f.make({a12 + b12 / T, a21 + b21 / T});
                const std::optional<Vec2> u = split_logits(*m, T);
                if (!u) {
                    e.deviation = 1.0;
                    continue;
                }
                const Binary got_a((*u)[0]), got_b((*u)[1]);
                const Binary want_a(targets[k][0]), want_b(targets[k][1]);
                e.deviation = std::max({e.deviation, std::abs(got_a.x1 / want_a.x1 - 1.0),
                                        std::abs(got_b.x2 / want_b.x2 - 1.0)});
            }
            const Binary at25(targets.front()[0]), at25b(targets.front()[1]);
            e.description = fmt::format(
                "estimated: {}{} fitted to the mutual solubilities of {} at {} temperatures, "
                "{:.2f}-{:.2f} K (x_{} in the {}-rich liquid {:.3g}, x_{} in the {}-rich liquid "
                "{:.3g} at {:.2f} K; largest deviation of a solubility {:.2g} %)",
                method_name(method), method == PropertyMethod::nrtl ? " (alpha 0.2)" : "",
                liquid_name, temps.size(), e.T_min, e.T_max, first.id, second.id, at25.x1,
                second.id, first.id, at25b.x2, e.T_min, 100.0 * e.deviation);
            return e;
        }
        // No parameters of the method reproduce the solubilities: infinite dilution below.
    }

    // Miscible (or Wilson): infinite dilution by original UNIFAC over the boiling range.
    const auto& dilute_model = vle != nullptr ? vle : lle;
    const char* dilute_name = vle != nullptr ? "original UNIFAC" : "UNIFAC-LLE";
    double lo = std::min(first.normal_boiling_point, second.normal_boiling_point);
    double hi = std::max(first.normal_boiling_point, second.normal_boiling_point);
    if (!(lo > 0.0) || !std::isfinite(hi)) {
        why = "normal boiling points missing";
        return std::nullopt;
    }
    if (hi - lo < 10.0) {
        const double mid = 0.5 * (lo + hi);
        lo = mid - 5.0;
        hi = mid + 5.0;
    }
    Family f{method, 0.3, &first, &second};
    std::array<Vec2, 2> p{};
    double deviation = 0.0;
    for (std::size_t k = 0; k < 2; ++k) {
        const double T = k == 0 ? lo : hi;
        const Vec2 target = ln_gamma_infinite(*dilute_model, T);
        if (!std::isfinite(target[0]) || !std::isfinite(target[1])) {
            why = fmt::format("{} gives no finite activity coefficients for {}", dilute_name, pair);
            return std::nullopt;
        }
        double dev = 0.0;
        const std::optional<Vec2> q =
            match_infinite_dilution(f, T, target, dev, kInfiniteDilutionAcceptance);
        if (!q) {
            why = fmt::format(
                "no {} parameters reproduce the infinite-dilution activity "
                "coefficients of {} at {:.2f} K within {} in ln gamma",
                method_name(method), dilute_name, T, kInfiniteDilutionAcceptance);
            return std::nullopt;
        }
        p[k] = *q;
        deviation = std::max(deviation, dev);
    }
    const double du = 1.0 / hi - 1.0 / lo;
    e.b_12 = (p[1][0] - p[0][0]) / du;
    e.b_21 = (p[1][1] - p[0][1]) / du;
    e.a_12 = p[0][0] - e.b_12 / lo;
    e.a_21 = p[0][1] - e.b_21 / lo;
    e.alpha = method == PropertyMethod::nrtl ? 0.3 : 0.0;
    e.kind = PairEstimateKind::infinite_dilution;
    e.T_min = lo;
    e.T_max = hi;
    e.deviation = deviation;
    const Vec2 g_lo = ln_gamma_infinite(*dilute_model, lo);
    e.description = fmt::format(
        "estimated: {}{} matched to the infinite-dilution activity coefficients of {} at "
        "{:.2f} K and {:.2f} K (gamma_inf {} {:.3g}, {} {:.3g} at {:.2f} K){}{}",
        method_name(method), method == PropertyMethod::nrtl ? " (alpha 0.3)" : "", dilute_name, lo,
        hi, first.id, std::exp(g_lo[0]), second.id, std::exp(g_lo[1]), lo,
        deviation > 1e-6
            ? fmt::format("; closest match only, ln gamma_inf off by up to {:.3f}", deviation)
            : std::string(),
        method == PropertyMethod::wilson && lle != nullptr && split_logits(*lle, 298.15)
            ? fmt::format("; {} predicts two liquids, which Wilson cannot describe", liquid_name)
            : std::string());
    return e;
}

}  // namespace

std::optional<std::array<double, 2>> binary_liquid_split(const ActivityModel& model, double T) {
    if (model.component_count() != 2) {
        throw std::invalid_argument("binary_liquid_split: the model must have two components");
    }
    const std::optional<Vec2> u = split_logits(model, T);
    if (!u) { return std::nullopt; }
    return std::array<double, 2>{Binary((*u)[0]).x1, Binary((*u)[1]).x1};
}

std::optional<PairEstimate> estimate_binary_parameters(const Databank& bank,
                                                       const PureComponent& first,
                                                       const PureComponent& second,
                                                       PropertyMethod method,
                                                       std::string* why) {
    // Estimates take milliseconds and the same pairs come back with every mixture built, so
    // they are kept for the life of the process, keyed by everything they depend on.
    static std::mutex mutex;
    static std::map<std::string, std::pair<std::optional<PairEstimate>, std::string>> cache;
    const std::string key =
        fmt::format("{}|{}|{}|{:.17g}|{:.17g}|{:.17g}|{:.17g}|{:.17g}|{:.17g}|{}|{}|{}|{}|{}",
                    static_cast<int>(method), first.id, second.id, first.normal_boiling_point,
                    second.normal_boiling_point, first.uniquac_r, first.uniquac_q, second.uniquac_r,
                    second.uniquac_q, describe_groups(first.unifac_groups),
                    describe_groups(second.unifac_groups), describe_groups(first.unifac_lle_groups),
                    describe_groups(second.unifac_lle_groups), first.name + "|" + second.name);
    // Only the shipped databank lives as long as the cache; others are estimated afresh.
    const bool cached = &bank == &Databank::embedded();
    if (cached) {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = cache.find(key);
        if (it != cache.end()) {
            if (why != nullptr) { *why = it->second.second; }
            return it->second.first;
        }
    }
    std::string reason;
    std::optional<PairEstimate> e = estimate(bank, first, second, method, reason);
    if (cached) {
        std::lock_guard<std::mutex> lock(mutex);
        cache.emplace(key, std::make_pair(e, reason));
    }
    if (why != nullptr) { *why = reason; }
    return e;
}

}  // namespace host
