#include "azeotrope/spncaz.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include "azeotrope/detail/bubble_point.hpp"
#include "azeotrope/detail/checks.hpp"
#include "azeotrope/detail/diagnostics.hpp"
#include "azeotrope/detail/refine.hpp"
#include "azeotrope/solver/funeq.hpp"
#include "engine/core/fixed_field.hpp"

namespace azeotrope {
namespace {

using detail::diagnostic;

// Two-component path.
constexpr double kReferenceX1 = 0.9998999834060669;  // 0.9999 in single precision
constexpr double kSecantTolerance = 0.0002;          // on K_1 - K_2
constexpr double kFirstStep = 0.01;
constexpr double kMaxSecantStep = 0.15;
constexpr int kMaxSecantPoints = 25;
constexpr int kDampedPoints = 8;
constexpr double kDamping = 0.8999999761581421;  // 0.9 in single precision

// Equation-system path.
constexpr double kTraceLimit = 1e-9;
constexpr double kTinyLiquid = 1e-30;
constexpr double kTraceKLow = 0.98;
constexpr double kTraceKHigh = 1.02;
constexpr std::array<std::int64_t, 10> kSolverIntegers{1, 2, 2, 3, 0, 70, 10, 1, 0, 2};
constexpr std::array<double, 7> kSolverReals{0.001, 1e-8, 1e-6, 0.2, 0.1, 0.05, 0.05};

// Heterogeneity: squared difference of the two liquids over the first N - 1 components.
constexpr double kHeterogeneityThreshold = 0.01;
// A refined point farther than this from the one the search found is another root: not taken.
constexpr double kMaxRefinementMove = 0.1;

/// The working storage of one subset solve (the solver's arrays and the permutation into the
/// solver's order), sized once per call.
struct SubsetWorkspace {
    explicit SubsetWorkspace(std::size_t n)
        : order(n),
          ids(n),
          x(n),
          f(n),
          fcur(n),
          diagx(n, 1.0),
          diagf(n, 0.0),
          jac(solver::funeq_matrix_size(kSolverLeadingDimension, n)),
          work1(solver::funeq_matrix_size(kSolverLeadingDimension, n)),
          work2(solver::funeq_work2_size(kSolverLeadingDimension)),
          k(n, 1.0) {}
    std::vector<std::size_t> order;  ///< solver position -> subset position
    std::vector<std::int64_t> ids;   ///< ids in solver order
    std::vector<double> x, f, fcur, diagx, diagf, jac, work1, work2;
    std::array<std::int64_t, solver::kFuneqIparSize> ipar{};
    std::array<double, solver::kFuneqRparSize> rpar{};
    std::vector<double> k;  ///< K-values at the last flash, solver order
};

/// v * target / sum(v) into out (which may be v). A target below 0.0001 gets a warning (the search
/// always asks for 1); false when v has no positive sum (nothing written).
bool normalise(double target, std::span<const double> v, std::span<double> out) noexcept {
    if (target < 0.0001) {
        diagnostic(" WARNING - NORMALIZATION ROUTINE CALLED FOR VERY");
        diagnostic(" SMALL VALUES -> RESULTS MAY BE ERRONEOUS");
    }
    const double sum = std::accumulate(v.begin(), v.end(), 0.0);
    if (!(sum > 0.0) || !std::isfinite(sum)) { return false; }
    for (std::size_t i = 0; i < v.size(); ++i) { out[i] = v[i] * target / sum; }
    return true;
}

bool has_zero_liquid(const properties::FlashResult& r, std::size_t n) {
    if (!detail::usable(r, n)) { return true; }
    return std::any_of(r.x.begin(), r.x.end(), [](double v) { return v == 0.0; });
}

/// A point that passed the search's own test (|K_1 - K_2| < 0.0002, or FUNEQ1's ends 1 and 2,
/// which allow K-values 3 % away from 1) becomes an azeotrope only when Newton's method on x - y
/// converges from it to a root nearby. Flat regions where every K stays near 1 without reaching
/// it (pinches near a binary azeotrope, say) pass the loose test from many start points, each at
/// a different composition; none of them is an azeotrope.
void finish_found(detail::BubblePoint& bubble,
                  std::vector<double> x,
                  std::int64_t print,
                  SubsetSolution& out) {
    const std::size_t n = x.size();
    out.found = false;
    normalise(1.0, x, x);
    // The solver holds the unknowns non-negative, so it can end on a face of the subset: at the
    // azeotrope of a smaller subset, already found (or to be found) as such. An azeotrope of this
    // subset has every component present.
    if (std::any_of(x.begin(), x.end(), [](double v) { return !(v >= kTraceLimit); })) {
        if (print >= 3) {
            diagnostic("SEARCH TERMINATED BECAUSE A MOLE     FRACTION WAS DRIVEN TO ZERO");
        }
        return;
    }
    const detail::Refinement r = detail::refine_azeotrope(bubble, x, kRefinedResidual * 0.01);
    bool moved_far = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::fabs(r.x[i] - x[i]) > kMaxRefinementMove) { moved_far = true; }
    }
    if (r.residual > kRefinedResidual || moved_far || !detail::usable(r.flash, n)) {
        if (print >= 3) {
            diagnostic("NO AZEOTROPE: NEWTON ITERATION ON X - Y DOES NOT CONFIRM THE POINT");
            diagnostic("     MAX |X - Y| = {}", r.residual);
        }
        out.temperature = r.flash.temperature;
        return;
    }
    out.found = true;
    out.x = r.x;
    out.temperature = r.flash.temperature;
    out.k_values.resize(n);
    out.residual = r.residual;
    for (std::size_t i = 0; i < n; ++i) { out.k_values[i] = r.flash.y[i] / r.flash.x[i]; }
}

void solve_two(const SubsetProblem& p,
               std::vector<double> start,
               detail::BubblePoint& bubble,
               SubsetSolution& out) {
    const std::int64_t print = p.print_level;
    std::vector<double> x(2);

    x = {kReferenceX1, 1.0 - kReferenceX1};
    const properties::FlashResult& ref = bubble(x);
    if (has_zero_liquid(ref, 2)) {
        diagnostic("SEVERE ERROR: COMPONENT MOLE FRACTION MISSING IN AZEOTROPE CALCULATION");
        out.search_error = true;
        return;
    }
    const double k_ref = ref.y[0] / ref.x[0];

    normalise(1.0, start, x);
    const properties::FlashResult& first = bubble(x);
    out.temperature = first.temperature;
    if (has_zero_liquid(first, 2)) {
        diagnostic("SEVERE ERROR: COMPONENT MOLE FRACTION MISSING IN AZEOTROPE CALCULATION");
        out.search_error = true;
        return;
    }
    double f_old = first.y[0] / first.x[0] - first.y[1] / first.x[1];
    double xt_old = x[0];
    // The first new point: 0.01 away, downwards only from the nearly pure end.
    double xt = xt_old >= 0.99 ? xt_old - kFirstStep : xt_old + kFirstStep;

    for (int k = 1;; ++k) {
        out.solver_flag = k;
        if (k > kMaxSecantPoints) {
            diagnostic("SPNCAZ terminated due to nonconvergence");
            return;
        }
        x = {xt, 1.0 - xt};
        normalise(1.0, x, x);
        const properties::FlashResult& r = bubble(x);
        out.temperature = r.temperature;
        if (has_zero_liquid(r, 2)) {
            diagnostic("SEVERE ERROR: COMPONENT MOLE FRACTIONMISSING IN AZEOTROPE SEARCH");
            out.search_error = true;
            return;
        }
        const double k1 = r.y[0] / r.x[0];
        const double k2 = r.y[1] / r.x[1];
        const double fx = k1 - k2;
        if (print >= 5) { diagnostic("At XT {} FX is {} Kvalues {} {}", xt, fx, k1, k2); }
        if (std::fabs(fx) < kSecantTolerance) {
            finish_found(bubble, {xt, 1.0 - xt}, print, out);
            return;
        }
        if (xt == xt_old) { xt += 1e-30; }
        const double slope = (fx - f_old) / (xt - xt_old);
        // The direction comes from the side of the azeotrope the point lies on, not from the
        // secant: K_1 below 1 on the same side as nearly pure component 1 means that pure
        // component 1 is beyond the point, so step away from it.
        double step = std::fabs(fx / slope);
        if ((k_ref - 1.0) * (k1 - 1.0) > 0.0) { step = -step; }
        if (print >= 5) {
            diagnostic("FX, F0, XT, SLOPE, XSTEP : {} {} {} {} {}", fx, f_old, xt, slope, step);
        }
        step = std::clamp(step, -kMaxSecantStep, kMaxSecantStep);
        if (k < kDampedPoints) {
            if (step > 0.0 && xt + step >= 1.0) { step = kDamping * (1.0 - xt); }
            if (step < 0.0 && xt + step <= 0.0) { step = -0.9 * xt; }
        }
        const double xt_new = xt + step;
        if (print >= 5) { diagnostic("Actual XSTEP and new XT: {} {}", step, xt_new); }
        // NaN (a zero slope) fails both tests below as well.
        if (!(xt_new >= 0.0) || !(1.0 - xt_new >= 0.0)) { return; }
        f_old = fx;
        xt_old = xt;
        xt = xt_new;
    }
}

void solve_system(const SubsetProblem& p, std::vector<double> start, SubsetSolution& out) {
    const std::size_t n = p.components.size();
    const std::int64_t print = p.print_level;
    SubsetWorkspace ws(n);

    // Spread of the infinite-dilution K-values around each component: the components whose
    // K-values in the others' company lie closest to 1 go first.
    std::vector<double> spread(n, 1.0);
    double previous = 1.0;
    for (std::size_t j = 0; j < n; ++j) {
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            double k = p.k_infinite[j * n + i];
            if (!(k > 0.0) || !std::isfinite(k)) {
                diagnostic("Error in inf dil Kvals in SPNCAZ");
                k = previous;
            }
            previous = k;
            largest = std::max(largest, std::max(k, 1.0 / k));
        }
        spread[j] = largest;
    }
    // Increasing spread; equal spreads keep subset order (a selection of the next value strictly
    // above the last would drop every component after the first of a tie).
    std::iota(ws.order.begin(), ws.order.end(), std::size_t{0});
    std::stable_sort(ws.order.begin(), ws.order.end(),
                     [&](std::size_t a, std::size_t b) { return spread[a] < spread[b]; });
    for (std::size_t s = 0; s < n; ++s) {
        ws.ids[s] = p.components[ws.order[s]];
        ws.x[s] = start[ws.order[s]];
        if (print >= 4) {
            diagnostic("Component {} is {}", s + 1, detail::component_label(ws.ids[s]));
        }
    }

    std::copy(kSolverIntegers.begin(), kSolverIntegers.end(), ws.ipar.begin());
    std::copy(kSolverReals.begin(), kSolverReals.end(), ws.rpar.begin());
    detail::BubblePoint bubble(ws.ids, p.pressure, p.phase_count, p.option_set, out.flashes);
    const auto count = static_cast<std::int64_t>(n);
    const auto ldb = static_cast<std::int64_t>(kSolverLeadingDimension);
    std::int64_t iflag = 0;
    normalise(1.0, ws.x, ws.x);
    // The start call only checks the arguments and asks for F at the start point, so no flash
    // is spent before it.
    FUNEQ1(&iflag, &count, ws.x.data(), ws.f.data(), ws.fcur.data(), ws.diagx.data(),
           ws.diagf.data(), ws.jac.data(), &ldb, ws.work1.data(), ws.work2.data(), ws.ipar.data(),
           ws.rpar.data());
    while (iflag < 0) {
        const bool normalised = normalise(1.0, ws.x, ws.x);
        const properties::FlashResult& r = normalised ? bubble(ws.x) : bubble.last();
        if (!normalised || !detail::usable(r, n)) {
            // F cannot be evaluated here: the solver rejects the step or retries the column.
            std::fill(ws.f.begin(), ws.f.end(), std::numeric_limits<double>::quiet_NaN());
        } else {
            out.temperature = r.temperature;
            for (std::size_t i = 0; i < n; ++i) {
                const double xi = r.x[i];
                if (xi >= kTraceLimit) {
                    ws.k[i] = r.y[i] / xi;
                    if (print >= 4) {
                        diagnostic("Y,X,X1,X2 of {} is {} {} {} {}", i + 1, r.y[i], xi,
                                   r.x1.size() == n ? r.x1[i] : 0.0,
                                   r.x2.size() == n ? r.x2[i] : 0.0);
                    }
                    continue;
                }
                if (xi > kTinyLiquid) { ws.k[i] = r.y[i] / xi; }
                if (ws.k[i] < kTraceKLow || ws.k[i] > kTraceKHigh) {
                    if (print >= 3) {
                        diagnostic(
                            "SEARCH TERMINATED BECAUSE A MOLE     FRACTION WAS DRIVEN TO ZERO");
                    }
                    out.solver_flag = iflag;
                    return;
                }
            }
            if (print >= 4) {
                for (std::size_t i = 0; i < n; ++i) {
                    diagnostic("New X, K of {} is {} {}", detail::component_label(ws.ids[i]),
                               ws.x[i], ws.k[i]);
                }
            }
            for (std::size_t i = 0; i < n; ++i) { ws.f[i] = 1.0 - ws.k[i]; }
        }
        FUNEQ1(&iflag, &count, ws.x.data(), ws.f.data(), ws.fcur.data(), ws.diagx.data(),
               ws.diagf.data(), ws.jac.data(), &ldb, ws.work1.data(), ws.work2.data(),
               ws.ipar.data(), ws.rpar.data());
        if (print >= 4) { diagnostic("IFLAG is {}", iflag); }
    }
    out.solver_flag = iflag;
    if (iflag != 1 && iflag != 2) { return; }

    std::vector<double> x(n);
    for (std::size_t s = 0; s < n; ++s) { x[ws.order[s]] = ws.x[s]; }
    detail::BubblePoint subset_bubble(p.components, p.pressure, p.phase_count, p.option_set,
                                      out.flashes);
    finish_found(subset_bubble, std::move(x), print, out);
}

}  // namespace

SubsetSolution solve_subset(const SubsetProblem& p) {
    SubsetSolution out;
    const std::size_t n = p.components.size();
    const std::int64_t print = p.print_level;
    if (print >= 4) {
        diagnostic("SEARCHING AZEOTROPE AT {} N/M2 FOR:", p.pressure);
        diagnostic("  COMP ID   COMP NAME");
        for (const std::int64_t id : p.components) {
            diagnostic("  {:7d}   {}", id, detail::component_label(id));
        }
        diagnostic("Using {} phase flash", p.phase_count);
    }
    if (n < 2) {
        if (print >= 2) {
            diagnostic("Search for azeotrope impossible because less than two components given!");
        }
        return out;
    }
    if (n > kMaxSubsetComponents) {
        if (print >= 2) {
            diagnostic("Search for azeotrope impossible because only twenty components allowed!");
        }
        return out;
    }
    std::vector<double> start;
    if (p.k_infinite.size() != n * n || (!p.start.empty() && p.start.size() != n) ||
        !detail::valid_pressure(p.pressure) || !detail::valid_phase_count(p.phase_count) ||
        (!p.start.empty() && !detail::clean_composition(p.start, start, 1e300))) {
        return out;  // arguments that cannot describe a subset: a fatal input error
    }
    out.search_error = false;
    if (p.start.empty()) { start.assign(n, 1.0 / static_cast<double>(n)); }
    if (!(std::accumulate(start.begin(), start.end(), 0.0) > 0.0)) {
        start.assign(n, 1.0 / static_cast<double>(n));
    }

    detail::BubblePoint bubble(p.components, p.pressure, p.phase_count, p.option_set, out.flashes);
    if (n == 2) {
        solve_two(p, std::move(start), bubble, out);
    } else {
        solve_system(p, std::move(start), out);
    }

    if (out.found && p.phase_count == 3) {
        const properties::FlashResult& r = bubble(out.x);
        if (detail::usable(r, n) && r.x1.size() == n && r.x2.size() == n) {
            out.temperature = r.temperature;
            double d2 = 0.0;
            for (std::size_t i = 0; i + 1 < n; ++i) {
                d2 += (r.x1[i] - r.x2[i]) * (r.x1[i] - r.x2[i]);
            }
            out.heterogeneous = d2 > kHeterogeneityThreshold;
        }
    }
    if (out.found && print > 3) {
        diagnostic("At termination:");
        diagnostic("ICOMP,X,K");
        for (std::size_t i = 0; i < n; ++i) {
            diagnostic("{} {} {}", i + 1, out.x[i], out.k_values[i]);
        }
    }
    return out;
}

}  // namespace azeotrope

void SPNCAZ(std::int64_t* SPERR,
            const std::int64_t* IPRINT,
            const std::int64_t* N,
            const std::int64_t* NPHASE,
            const double* P,
            std::int64_t* FOUND,
            double* T,
            std::int64_t* HETERO,
            const std::int64_t* START,
            const std::int64_t* IDS,
            const double* KINF,
            double* X,
            const char* OPSET,
            std::int64_t OPSET_length) noexcept {
    using namespace azeotrope;
    constexpr std::int64_t kTrue = -1;  // a logical with all bits set
    if (FOUND) { *FOUND = 0; }
    if (HETERO) { *HETERO = 0; }
    try {
        const std::int64_t print = IPRINT ? *IPRINT : 0;
        if (N == nullptr || *N < 2) {
            if (print >= 2) {
                detail::diagnostic(
                    "Search for azeotrope impossible because less than two components given!");
            }
            if (SPERR) { *SPERR = 1; }
            return;
        }
        if (*N > static_cast<std::int64_t>(kMaxSubsetComponents)) {
            if (print >= 2) {
                detail::diagnostic(
                    "Search for azeotrope impossible because only twenty components allowed!");
            }
            if (SPERR) { *SPERR = 1; }
            return;
        }
        const auto n = static_cast<std::size_t>(*N);
        if (SPERR == nullptr || NPHASE == nullptr || P == nullptr || FOUND == nullptr ||
            T == nullptr || HETERO == nullptr || START == nullptr || IDS == nullptr ||
            KINF == nullptr || X == nullptr) {
            if (SPERR) { *SPERR = 1; }
            return;
        }
        std::vector<double> k(n * n);
        for (std::size_t j = 0; j < n; ++j) {
            for (std::size_t i = 0; i < n; ++i) { k[j * n + i] = KINF[i + kSubsetKStride * j]; }
        }
        SubsetProblem problem;
        problem.components = std::span(IDS, n);
        problem.k_infinite = k;
        problem.pressure = *P;
        problem.phase_count = *NPHASE;
        problem.option_set = engine::core::trimmed_field(OPSET, OPSET_length);
        problem.print_level = print;
        if (*START != 0) {
            problem.start = std::span<const double>(X, n);
        } else {
            std::fill(X, X + n, 1.0 / static_cast<double>(n));
        }
        const SubsetSolution s = solve_subset(problem);
        if (s.search_error) { *SPERR = 1; }
        *T = s.temperature;
        if (s.found) {
            std::copy(s.x.begin(), s.x.end(), X);
            *FOUND = kTrue;
            *HETERO = s.heterogeneous ? kTrue : 0;
        }
    } catch (...) {
        if (SPERR) { *SPERR = 1; }
    }
}
