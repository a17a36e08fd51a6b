#include "azeotrope/detail/spalaz.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "azeotrope/detail/bubble_point.hpp"
#include "azeotrope/detail/checks.hpp"
#include "azeotrope/detail/diagnostics.hpp"
#include "azeotrope/spncaz.hpp"

namespace azeotrope::detail {
namespace {

// Infinite-dilution points: 1e-8 of every other component, not renormalised.
constexpr double kDilute = 1e-8;
constexpr double kMain = 0.99999999;
// Indicator codes of the vertices from their K-values.
constexpr double kIndicatorLow = 0.995;
constexpr double kIndicatorHigh = 1.005;
// Pairs whose infinite-dilution K-values are this large are searched with two liquids.
constexpr double kSplitBoth = 3.0;
constexpr double kSplitOne = 10.0;
/// Rows of the table of subsets found to have no azeotrope.
constexpr std::size_t kNonazeotropicRows = 800;

/// Everything one search keeps while it runs: the K-values, the table of subsets without an
/// azeotrope, the current subset as a stack of mixture positions (position k holds the component
/// added at depth k) with its composition, and where each level's candidate loop has got to.
struct SearchWorkspace {
    SearchWorkspace(const SpalazProblem& p, SpalazResult& result)
        : problem(p),
          out(result),
          n(p.components.size()),
          table(kNonazeotropicRows * kMaxSubsetComponents, 0),
          x(kMaxSubsetComponents, 0.0) {}

    const SpalazProblem& problem;
    SpalazResult& out;
    std::size_t n;
    std::vector<std::int64_t> table;  ///< 800 x 20, row m at m * 20
    std::array<std::size_t, kMaxSubsetComponents> members{};
    std::size_t nsub = 0;
    std::array<std::size_t, kMaxSubsetComponents + 1> next{};  ///< next candidate per level
    std::vector<double> x;                                     ///< the subset's composition

    double k(std::size_t i, std::size_t j) const { return out.k_values[j * n + i]; }
    bool is_member(std::size_t c, std::size_t count) const {
        return std::find(members.begin(), members.begin() + count, c) != members.begin() + count;
    }
    std::string names(std::size_t count) const {
        std::string s;
        for (std::size_t a = 0; a < count; ++a) {
            s += ' ' + component_label(problem.components[members[a]]);
        }
        return s;
    }
};

/// The current subset's component set equals one examined before: a subset without an azeotrope
/// (the table first) or an azeotrope already found (its components with a mole fraction above 0).
bool examined_before(const SearchWorkspace& ws) {
    const auto same_set = [&](auto in_set) {
        std::size_t count = 0;
        for (std::size_t c = 0; c < ws.n; ++c) {
            if (!in_set(c)) { continue; }
            if (!ws.is_member(c, ws.nsub)) { return false; }
            ++count;
        }
        return count == ws.nsub;
    };
    for (std::size_t r = 0; r < ws.out.nonazeotropic_rows; ++r) {
        if (same_set([&](std::size_t c) { return ws.table[r * kMaxSubsetComponents + c] > 0; })) {
            return true;
        }
    }
    for (const FoundAzeotrope& a : ws.out.azeotropes) {
        if (same_set([&](std::size_t c) { return a.x[c] > 0.0; })) { return true; }
    }
    return false;
}

/// Solves the current subset and records the outcome; true when it has an azeotrope.
bool solve_current(SearchWorkspace& ws, bool start) {
    const SpalazProblem& p = ws.problem;
    const std::size_t ns = ws.nsub;
    std::vector<std::int64_t> ids(ns);
    std::vector<double> subk(ns * ns);
    bool split = false;
    for (std::size_t b = 0; b < ns; ++b) {
        ids[b] = p.components[ws.members[b]];
        for (std::size_t a = 0; a < ns; ++a) {
            const double kab = ws.k(ws.members[a], ws.members[b]);
            const double kba = ws.k(ws.members[b], ws.members[a]);
            subk[b * ns + a] = a == b ? 1.0 : kab;
            if (a != b &&
                ((kab > kSplitBoth && kba > kSplitBoth) || kab > kSplitOne || kba > kSplitOne)) {
                split = true;
            }
        }
    }
    SubsetProblem sp;
    sp.components = ids;
    sp.k_infinite = subk;
    sp.pressure = p.pressure;
    sp.phase_count = p.phase_count == 2 ? 2 : (split ? 3 : 2);
    sp.option_set = p.option_set;
    if (start) { sp.start = std::span<const double>(ws.x.data(), ns); }
    sp.print_level = p.print_level;
    const SubsetSolution s = solve_subset(sp);
    ws.out.flashes += s.flashes;
    if (s.search_error) { ws.out.search_error = true; }
    if (s.found) {
        FoundAzeotrope a;
        a.x.assign(ws.n, 0.0);
        for (std::size_t b = 0; b < ns; ++b) {
            a.x[ws.members[b]] = s.x[b];
            ws.x[b] = s.x[b];
        }
        a.temperature = s.temperature;
        a.component_count = static_cast<std::int64_t>(ns);
        a.heterogeneous = s.heterogeneous;
        ws.out.azeotropes.push_back(std::move(a));
    }
    return s.found;
}

/// One subset search from the pair (i, j), depth first over its supersets. Returns false when a
/// limit stopped it.
void subset_search(SearchWorkspace& ws, std::size_t i, std::size_t j) {
    const SpalazProblem& p = ws.problem;
    const std::size_t n = ws.n;
    ws.members[0] = i;
    ws.members[1] = j;
    ws.nsub = 2;
    ws.next.fill(n);  // the pair level has no candidate loop
    bool start = false;
    bool solve = true;
    while (true) {
        if (solve) {
            if (ws.out.azeotropes.size() >= p.capacity ||
                ws.out.nonazeotropic_rows >= kNonazeotropicRows) {
                ws.out.search_error = true;
                diagnostic("SEARCH FOR AZEOTROPES TERMINATED DUE TO STACK OVERFLOW");
                return;
            }
            const bool found = solve_current(ws, start);
            if (!found) {
                // The guard above keeps the counter below the table's size; the test stays for
                // the table's sake.
                if (ws.out.nonazeotropic_rows + 1 > kNonazeotropicRows) {
                    diagnostic("Maximum number of nonazeotropic submixtures reached");
                    ws.out.search_error = true;
                    return;
                }
                const std::size_t row = ws.out.nonazeotropic_rows++;
                for (std::size_t c = 0; c < n; ++c) {
                    ws.table[row * kMaxSubsetComponents + c] = ws.is_member(c, ws.nsub) ? 1 : 0;
                }
            }
            if (n == 2) { return; }
            if (found && ws.nsub < n) {
                ++ws.nsub;
                ws.next[ws.nsub] = 0;
            } else if (!found && ws.nsub == 2) {
                return;
            } else if (ws.nsub == n) {
                --ws.nsub;
            }
            solve = false;
            continue;
        }

        // The next candidate of the current level: the next component of the mixture, in index
        // order, that is not yet in the subset.
        const std::size_t level = ws.nsub;
        if (p.print_level > 3) {
            diagnostic("Searching new combination of {} components containing{}", level,
                       ws.names(level - 1));
        }
        std::size_t c = ws.next[level];
        while (c < n && ws.is_member(c, level - 1)) { ++c; }
        if (level < 3 || c >= n) {
            if (level < 4) { return; }
            --ws.nsub;
            continue;
        }
        ws.next[level] = c + 1;
        ws.members[level - 1] = c;
        if (p.print_level > 3) {
            diagnostic("Checking if mixture with{} has been examined before", ws.names(level));
        }
        if (examined_before(ws)) { continue; }
        // The new component starts at 1/NSUB; the others keep the last azeotrope's values, and
        // the subset solver normalises the whole before its first flash.
        ws.x[level - 1] = 1.0 / static_cast<double>(level);
        start = true;
        solve = true;
    }
}

}  // namespace

bool search_count_ok(std::int64_t n, std::int64_t print_level) noexcept {
    if (n < 2) {
        if (print_level >= 2) {
            diagnostic("Search for azeotrope impossible because less than two components given!");
        }
        return false;
    }
    if (n > static_cast<std::int64_t>(kMaxSubsetComponents)) {
        if (print_level >= 2) {
            diagnostic("Search for azeotrope impossible because only {} components allowed!",
                       kMaxSubsetComponents);
        }
        return false;
    }
    return true;
}

SpalazResult spalaz(const SpalazProblem& p) {
    SpalazResult out;
    const std::size_t n = p.components.size();
    if (p.print_level >= 4) {
        diagnostic("INFINITE DILUTION K-VALUES FOR THE MIXTURE");
        for (const std::int64_t id : p.components) {
            diagnostic("  COMP ID   COMPONENT NAME");
            diagnostic("  {:7d}   {}", id, component_label(id));
        }
    }
    if (!search_count_ok(static_cast<std::int64_t>(n), p.print_level)) { return out; }
    if (!valid_pressure(p.pressure) || !valid_phase_count(p.phase_count)) { return out; }
    out.search_error = false;
    out.k_values.assign(n * n, 1.0);
    out.indicators.assign(n, 0);
    out.pure_temperatures.assign(n, -1.0);
    SearchWorkspace ws(p, out);

    // K-values at infinite dilution. A K that cannot be computed stays 1.0, which starts no
    // search for its pair.
    BubblePoint mixture(p.components, p.pressure, p.phase_count, p.option_set, out.flashes);
    std::vector<double> x(n);
    for (std::size_t j = 0; j < n; ++j) {
        std::fill(x.begin(), x.end(), kDilute);
        x[j] = kMain;
        const properties::FlashResult& r = mixture(x);
        const bool ok = usable(r, n);
        for (std::size_t i = 0; i < n; ++i) {
            if (i == j) { continue; }
            if (!ok || !(r.x[i] > 0.0)) {
                diagnostic("Error in K-values in SPALAZ");
                continue;
            }
            out.k_values[j * n + i] = r.y[i] / r.x[i];
            if (p.print_level >= 5) {
                diagnostic("KVL of {} in {} is {}", component_label(p.components[i]),
                           component_label(p.components[j]), out.k_values[j * n + i]);
            }
        }
        bool high = true;
        bool low = true;
        for (std::size_t i = 0; i < n; ++i) {
            if (i == j) { continue; }
            if (!(ws.k(i, j) >= kIndicatorLow)) { high = false; }
            if (!(ws.k(i, j) <= kIndicatorHigh)) { low = false; }
        }
        out.indicators[j] = high ? 1 : (low ? 2 : 3);
    }

    // Pure boiling points: each component alone, with one liquid.
    const std::vector<double> one{1.0};
    for (std::size_t j = 0; j < n; ++j) {
        BubblePoint pure(p.components.subspan(j, 1), p.pressure, 2, p.option_set, out.flashes);
        const properties::FlashResult& r = pure(one);
        if (usable(r, 1)) { out.pure_temperatures[j] = r.temperature; }
    }

    // A pair whose two infinite-dilution K-values lie on the same side of 1 has an azeotrope
    // (both above: minimum-boiling; both below: maximum-boiling).
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const double kij = ws.k(i, j);
            const double kji = ws.k(j, i);
            if ((kij > 1.0 && kji > 1.0) || (kij < 1.0 && kji < 1.0)) { subset_search(ws, i, j); }
        }
    }
    return out;
}

}  // namespace azeotrope::detail
