#include "azeotrope/azeo_search.hpp"

#include <algorithm>
#include <array>
#include <span>

#include "azeotrope/detail/checks.hpp"
#include "azeotrope/detail/spalaz.hpp"
#include "azeotrope/solver/diagnostic_units.hpp"
#include "azeotrope/spncaz.hpp"
#include "azeotrope/stability_rcm.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"

namespace azeotrope {
namespace {

using engine::core::Message;

constexpr std::int64_t code(Message m) noexcept { return static_cast<std::int64_t>(m); }

/// Weight of an azeotrope in the topological rule by its number of components.
std::int64_t topology_weight(std::int64_t components) noexcept {
    return components == 2 ? 1 : (components == 3 ? 2 : 0);
}

/// Classifies every azeotrope, then every pure component, at the caller's component order.
void classify_all(const SearchProblem& p, SearchResult& out) {
    const std::size_t n = p.components.size();
    bool failed = false;
    const auto classify = [&](std::span<const double> x) {
        ClassificationRequest request;
        request.components = p.components;
        request.x = x;
        request.pressure = p.pressure;
        request.phase_count = p.phase_count;
        request.option_set = p.option_set;
        Classification c = classify_singular_point(request);
        out.flashes += c.flashes;
        out.messages.insert(out.messages.end(), c.messages.begin(), c.messages.end());
        if (!c.ok()) { failed = true; }
        return c.stability;
    };
    for (Azeotrope& a : out.azeotropes) { a.stability = classify(a.x); }
    std::vector<double> vertex(n);
    out.pure_stability.assign(n, Stability::unclassified);
    for (std::size_t j = 0; j < n; ++j) {
        std::fill(vertex.begin(), vertex.end(), 0.0);
        vertex[j] = 1.0;
        out.pure_stability[j] = classify(vertex);
    }
    if (failed) {
        out.messages.push_back(code(Message::classification_error));
        out.error = kSearchClassificationFailed;
    }
}

/// One search for an ordering of the components (perm[p] = caller position at position p),
/// mapped back to the caller's order. `sperr_set` carries the search status between orderings.
void search_ordering(const SearchProblem& p,
                     std::span<const int> perm,
                     bool& sperr_set,
                     SearchResult& out) {
    const std::size_t n = p.components.size();
    std::vector<std::int64_t> ids(n);
    for (std::size_t q = 0; q < n; ++q) {
        ids[q] = p.components[static_cast<std::size_t>(perm[q])];
    }
    detail::SpalazProblem sp;
    sp.components = ids;
    sp.pressure = p.pressure;
    sp.phase_count = p.phase_count;
    sp.option_set = p.option_set;
    sp.capacity = p.capacity;
    detail::SpalazResult s = detail::spalaz(sp);
    out.flashes += s.flashes;
    // The status is set once per search, so a failure in one ordering is reported again with
    // every later one.
    if (s.search_error) { sperr_set = true; }
    if (sperr_set) {
        out.messages.push_back(code(Message::azeotrope_search_error));
        out.error = kSearchFailed;
    }

    out.pure_temperatures.assign(n, -1.0);
    out.k_infinite.assign(n * n, 1.0);
    for (std::size_t q = 0; q < n && q < s.pure_temperatures.size(); ++q) {
        const auto c = static_cast<std::size_t>(perm[q]);
        out.pure_temperatures[c] = s.pure_temperatures[q];
        for (std::size_t r = 0; r < n; ++r) {
            out.k_infinite[static_cast<std::size_t>(perm[r]) * n + c] = s.k_values[r * n + q];
        }
    }
    out.azeotropes.clear();
    for (const detail::FoundAzeotrope& f : s.azeotropes) {
        Azeotrope a;
        a.x.assign(n, 0.0);
        for (std::size_t q = 0; q < n; ++q) { a.x[static_cast<std::size_t>(perm[q])] = f.x[q]; }
        a.temperature = f.temperature;
        a.component_count = f.component_count;
        a.phase = f.heterogeneous ? AzeotropePhase::heterogeneous : AzeotropePhase::homogeneous;
        out.azeotropes.push_back(std::move(a));
    }
    classify_all(p, out);
}

}  // namespace

SearchResult search(const SearchProblem& p) {
    // The solver's and the subset search's texts are of no use to the caller of a search: they
    // go nowhere while it runs (no file is opened for that).
    const solver::ScopedUnitConnection silence(0);
    SearchResult out;
    const std::size_t n = p.components.size();
    if (n < 2 || n > kMaxSubsetComponents || !detail::valid_pressure(p.pressure) ||
        !detail::valid_phase_count(p.phase_count)) {
        out.messages.push_back(code(Message::azeotrope_search_error));
        out.error = kSearchFailed;
        return out;
    }
    out.error = kSearchOk;
    bool sperr_set = false;
    if (n != 3) {
        std::vector<int> identity(n);
        for (std::size_t i = 0; i < n; ++i) { identity[i] = static_cast<int>(i); }
        search_ordering(p, identity, sperr_set, out);
        return out;
    }

    for (int t = 0; t < 6; ++t) {
        search_ordering(p, kTernaryOrderings[t], sperr_set, out);
        out.ordering = t + 1;
        std::int64_t sum = 0;
        bool all_classified = true;
        for (const Azeotrope& a : out.azeotropes) {
            sum += topology_weight(a.component_count) * (a.stability == Stability::saddle ? -1 : 1);
            if (a.stability == Stability::unclassified) { all_classified = false; }
        }
        for (const Stability s : out.pure_stability) {
            if (s != Stability::saddle) { ++sum; }
            if (s == Stability::unclassified) { all_classified = false; }
        }
        out.topology_sum = sum;
        if (all_classified) {
            out.topology_ok = sum == 2;
        } else {
            out.topology_ok.reset();
        }
        if (sum == 2) { break; }
        if (t == 5) { out.messages.push_back(code(Message::topological_constraint_not_met)); }
    }
    return out;
}

}  // namespace azeotrope

namespace {

void log_all(const std::vector<std::int64_t>& messages) {
    for (const std::int64_t m : messages) { engine::core::append_to_run_log(m); }
}

}  // namespace

void Azeo_Search(const std::int64_t* n,
                 const double* pressure,
                 const std::int64_t* phase_count,
                 const char* option_set,
                 const std::int64_t* component_ids,
                 std::int64_t* naz,
                 double* azeotrope_compositions,
                 double* azeotrope_temperatures,
                 std::int64_t* azeotrope_component_counts,
                 std::int64_t* azeotrope_phases,
                 std::int64_t* azeotrope_stability,
                 double* singular_compositions,
                 double* singular_temperatures,
                 std::int64_t* singular_stability,
                 std::int64_t* ierr,
                 std::int64_t option_set_length) noexcept {
    using namespace azeotrope;
    const auto refuse = [&] {
        engine::core::append_to_run_log(engine::core::Message::azeotrope_search_error);
        if (naz) { *naz = 0; }
        if (ierr) { *ierr = kSearchFailed; }
    };
    try {
        const std::int64_t capacity = naz ? std::max<std::int64_t>(*naz, 0) : 0;
        // Counts outside 2..20 are refused by the search itself; the pointers must be there for
        // any count it accepts.
        if (n == nullptr || *n < 2 || *n > static_cast<std::int64_t>(kMaxSubsetComponents) ||
            naz == nullptr || ierr == nullptr || pressure == nullptr || phase_count == nullptr ||
            component_ids == nullptr || singular_compositions == nullptr ||
            singular_temperatures == nullptr || singular_stability == nullptr ||
            (capacity > 0 &&
             (azeotrope_compositions == nullptr || azeotrope_temperatures == nullptr ||
              azeotrope_component_counts == nullptr || azeotrope_phases == nullptr ||
              azeotrope_stability == nullptr))) {
            refuse();
            return;
        }
        const auto count = static_cast<std::size_t>(*n);
        const auto maxaz = static_cast<std::size_t>(capacity);
        SearchProblem problem;
        problem.components.assign(component_ids, component_ids + count);
        problem.pressure = *pressure;
        problem.phase_count = *phase_count;
        problem.option_set =
            std::string(engine::core::trimmed_field(option_set, option_set_length));
        problem.capacity = maxaz;
        const SearchResult r = search(problem);
        log_all(r.messages);

        const std::size_t found = std::min(r.azeotropes.size(), maxaz);
        *naz = static_cast<std::int64_t>(found);
        *ierr = r.error;
        if (r.pure_temperatures.size() != count) { return; }  // refused: nothing was computed
        for (std::size_t k = 0; k < found; ++k) {
            const Azeotrope& a = r.azeotropes[k];
            std::copy(a.x.begin(), a.x.end(), azeotrope_compositions + k * count);
            azeotrope_temperatures[k] = a.temperature;
            azeotrope_component_counts[k] = a.component_count;
            azeotrope_phases[k] = static_cast<std::int64_t>(a.phase);
            azeotrope_stability[k] = static_cast<std::int64_t>(a.stability);
        }
        std::fill(singular_compositions, singular_compositions + count * (count + maxaz), 0.0);
        for (std::size_t j = 0; j < count; ++j) {
            singular_compositions[j * count + j] = 1.0;
            singular_temperatures[j] = r.pure_temperatures[j];
            singular_stability[j] = static_cast<std::int64_t>(r.pure_stability[j]);
        }
        for (std::size_t k = 0; k < found; ++k) {
            const Azeotrope& a = r.azeotropes[k];
            std::copy(a.x.begin(), a.x.end(), singular_compositions + (count + k) * count);
            singular_temperatures[count + k] = a.temperature;
            singular_stability[count + k] = static_cast<std::int64_t>(a.stability);
        }
    } catch (...) {
        engine::core::append_to_run_log(engine::core::Message::allocation_error);
        refuse();
    }
}

void SPALAZ(std::int64_t* SPERR,
            const std::int64_t* IPRINT,
            const std::int64_t* n,
            const std::int64_t* component_ids,
            const double* pressure,
            double* pure_temperatures,
            std::int64_t* pure_indicators,
            double* k_values,
            const std::int64_t* MAXAZ,
            std::int64_t* NAZ,
            std::int64_t* azeotrope_phases,
            std::int64_t* azeotrope_component_counts,
            double* azeotrope_temperatures,
            double* azeotrope_compositions,
            const std::int64_t* phase_count,
            const char* option_set,
            std::int64_t option_set_length) noexcept {
    using namespace azeotrope;
    try {
        if (NAZ) { *NAZ = 0; }
        const std::int64_t capacity = MAXAZ ? std::max<std::int64_t>(*MAXAZ, 0) : 0;
        if (SPERR == nullptr || n == nullptr ||
            !detail::search_count_ok(*n, IPRINT ? *IPRINT : 0)) {
            if (SPERR) { *SPERR = 1; }
            return;
        }
        const auto count = static_cast<std::size_t>(*n);
        if ((component_ids == nullptr || pressure == nullptr || pure_temperatures == nullptr ||
             pure_indicators == nullptr || k_values == nullptr || NAZ == nullptr ||
             phase_count == nullptr)) {
            *SPERR = 1;
            return;
        }
        if (capacity > 0 &&
            (azeotrope_phases == nullptr || azeotrope_component_counts == nullptr ||
             azeotrope_temperatures == nullptr || azeotrope_compositions == nullptr)) {
            *SPERR = 1;
            return;
        }
        detail::SpalazProblem problem;
        problem.components = std::span(component_ids, count);
        problem.pressure = pressure ? *pressure : 0.0;
        problem.phase_count = phase_count ? *phase_count : 0;
        problem.option_set = engine::core::trimmed_field(option_set, option_set_length);
        problem.capacity = static_cast<std::size_t>(capacity);
        problem.print_level = IPRINT ? *IPRINT : 0;
        const detail::SpalazResult r = detail::spalaz(problem);
        if (r.search_error) { *SPERR = 1; }
        if (r.pure_temperatures.size() != count) { return; }  // refused before any flash
        const auto maxaz = static_cast<std::size_t>(capacity);
        std::copy(r.pure_temperatures.begin(), r.pure_temperatures.end(), pure_temperatures);
        std::copy(r.indicators.begin(), r.indicators.end(), pure_indicators);
        std::copy(r.k_values.begin(), r.k_values.end(), k_values);
        const std::size_t found = std::min(r.azeotropes.size(), maxaz);
        *NAZ = static_cast<std::int64_t>(found);
        for (std::size_t k = 0; k < found; ++k) {
            const detail::FoundAzeotrope& a = r.azeotropes[k];
            azeotrope_phases[k] = a.heterogeneous ? 2 : 1;
            azeotrope_component_counts[k] = a.component_count;
            azeotrope_temperatures[k] = a.temperature;
            for (std::size_t i = 0; i < count; ++i) {
                azeotrope_compositions[k + i * maxaz] = a.x[i];
            }
        }
    } catch (...) {
        engine::core::append_to_run_log(engine::core::Message::allocation_error);
        if (SPERR) { *SPERR = 1; }
    }
}
