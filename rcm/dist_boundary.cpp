#include "rcm/dist_boundary.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "azeotrope/stability_rcm.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "rcm/detail/curve_support.hpp"
#include "rcm/detail/equilibrium.hpp"
#include "rcm/ode/lsoda.hpp"
#include "rcm/residue_curve.hpp"

namespace rcm {
namespace {

using azeotrope::Stability;
using engine::core::Message;

constexpr std::int64_t kBoundaryMessage = static_cast<std::int64_t>(Message::boundary_error);

std::size_t present_components(const SingularPoint& p) {
    return static_cast<std::size_t>(
        std::count_if(p.x.begin(), p.x.end(), [](double v) { return v >= kPresentComponent; }));
}

class BoundaryBuilder {
public:
    BoundaryBuilder(const BoundaryProblem& problem, BoundarySet& set)
        : p_(problem), set_(set), n_(problem.system.components.size()) {}

    void build();

private:
    /// Room for one more curve; when there is none the set is marked incomplete once.
    bool room() {
        if (set_.curves.size() < p_.curve_capacity) { return true; }
        if (!out_of_room_) {
            out_of_room_ = true;
            incomplete();
        }
        return false;
    }
    void incomplete() {
        set_.messages.push_back(kBoundaryMessage);
        set_.error = kBoundaryIncomplete;
    }

    void complete_singular_points();
    void add_edges();
    void add_separatrices(std::size_t saddle);
    void trace_separatrix(std::size_t saddle, std::span<const double> v, double sign, double value);

    const BoundaryProblem& p_;
    BoundarySet& set_;
    std::size_t n_;
    std::vector<SingularPoint> points_;
    bool out_of_room_ = false;
};

void BoundaryBuilder::complete_singular_points() {
    points_ = p_.singular_points;
    if (points_.empty()) {
        for (std::size_t i = 0; i < n_; ++i) {
            SingularPoint pure;
            pure.x.assign(n_, 0.0);
            pure.x[i] = 1.0;
            points_.push_back(std::move(pure));
        }
    }
    // Edge directions need the boiling temperatures; find any the caller did not know.
    for (SingularPoint& s : points_) {
        if (std::isfinite(s.temperature) && s.temperature > 0.0) { continue; }
        s.temperature = bubble_temperatures(p_.system, s.x, set_.flashes).front();
    }
}

void BoundaryBuilder::add_edges() {
    for (std::size_t a = 0; a < n_; ++a) {
        for (std::size_t b = a + 1; b < n_; ++b) {
            // The chain a -> azeotropes of a and b, by rising content of b -> b.
            std::vector<std::size_t> chain;
            for (std::size_t s = n_; s < points_.size(); ++s) {
                if (present_components(points_[s]) == 2 && points_[s].x[a] >= kPresentComponent &&
                    points_[s].x[b] >= kPresentComponent) {
                    chain.push_back(s);
                }
            }
            std::sort(chain.begin(), chain.end(), [&](std::size_t l, std::size_t r) {
                return points_[l].x[b] < points_[r].x[b];
            });
            chain.insert(chain.begin(), a);
            chain.push_back(b);
            for (std::size_t k = 0; k + 1 < chain.size(); ++k) {
                if (!room()) { return; }
                const SingularPoint& first = points_[chain[k]];
                const SingularPoint& second = points_[chain[k + 1]];
                BoundaryCurve curve;
                curve.kind = BoundaryKind::edge;
                curve.points = first.x;
                curve.points.insert(curve.points.end(), second.x.begin(), second.x.end());
                if (p_.temperatures) {
                    curve.temperatures = {first.temperature, second.temperature};
                }
                curve.direction = second.temperature > first.temperature ? 2 : -2;
                curve.from = chain[k];
                curve.to = chain[k + 1];
                set_.curves.push_back(std::move(curve));
            }
        }
    }
}

void BoundaryBuilder::trace_separatrix(std::size_t saddle,
                                       std::span<const double> v,
                                       double sign,
                                       double value) {
    const std::size_t m = n_ - 1;
    std::vector<double> start(n_);
    double partial = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        start[i] = points_[saddle].x[i] + sign * kSeparatrixOffset * v[i];
        partial += start[i];
    }
    start[m] = 1.0 - partial;
    if (std::any_of(start.begin(), start.end(), [](double a) { return a < 0.0; })) { return; }
    if (!room()) { return; }

    CurveProblem trace;
    trace.system = p_.system;
    trace.start = std::move(start);
    // A branch leaving the saddle runs forward in warped time, one entering it backward.
    trace.directions = value > 0.0 ? Directions::forward : Directions::backward;
    trace.stop = StopMode::at_singular_point;
    trace.singular_points = points_;
    trace.step = p_.step;
    trace.capacity = p_.point_capacity;
    trace.temperatures = p_.temperatures;
    trace.integrator_messages = p_.integrator_messages;
    Curve traced = trace_residue_curve(trace);
    set_.flashes += traced.flashes;
    set_.messages.insert(set_.messages.end(), traced.messages.begin(), traced.messages.end());
    if (traced.error != 0) { incomplete(); }

    BoundaryCurve curve;
    curve.kind = BoundaryKind::separatrix;
    curve.points = std::move(traced.points);
    curve.temperatures = std::move(traced.temperatures);
    curve.direction = traced.order;
    curve.from = saddle;
    curve.trace_error = traced.error;
    set_.curves.push_back(std::move(curve));
}

void BoundaryBuilder::add_separatrices(std::size_t saddle) {
    const std::size_t m = n_ - 1;
    azeotrope::ClassificationRequest request;
    request.components = p_.system.components;
    request.x = points_[saddle].x;
    request.pressure = p_.system.pressure;
    request.phase_count = p_.system.phase_count;
    request.option_set = p_.system.option_set;
    request.eigenvectors = true;
    const azeotrope::Classification c = azeotrope::classify_singular_point(request);
    set_.flashes += c.flashes;
    set_.messages.insert(set_.messages.end(), c.messages.begin(), c.messages.end());
    if (!c.ok()) { incomplete(); }
    if (c.eigenvectors.size() != m * m || c.eigenvalues_real.size() != m ||
        c.eigenvalues_imag.size() != m) {
        return;  // nothing to trace from
    }
    const auto column = [&](std::size_t j) { return std::span(c.eigenvectors).subspan(j * m, m); };

    if (present_components(points_[saddle]) == n_) {
        for (std::size_t j = 0; j < m; ++j) {
            // Complex pairs belong to foci, never to saddles; their columns are no directions.
            if (c.eigenvalues_imag[j] != 0.0) { continue; }
            for (const double sign : {1.0, -1.0}) {
                trace_separatrix(saddle, column(j), sign, c.eigenvalues_real[j]);
            }
        }
        return;
    }

    // A saddle on an edge: the eigenvector along the edge leaves the absent component alone;
    // the other one moves it, and only its sign that raises it points into the triangle.
    std::size_t absent = 0;
    while (absent < n_ && points_[saddle].x[absent] >= kPresentComponent) { ++absent; }
    const auto change_of_absent = [&](std::size_t j) {
        const std::span<const double> v = column(j);
        if (absent < m) { return v[absent]; }
        double sum = 0.0;
        for (const double a : v) { sum += a; }
        return -sum;
    };
    std::size_t across = m;
    for (std::size_t j = 0; j < m; ++j) {
        if (c.eigenvalues_imag[j] != 0.0) { continue; }
        if (across == m || std::abs(change_of_absent(j)) > std::abs(change_of_absent(across))) {
            across = j;
        }
    }
    if (across == m || change_of_absent(across) == 0.0) { return; }
    trace_separatrix(saddle, column(across), change_of_absent(across) > 0.0 ? 1.0 : -1.0,
                     c.eigenvalues_real[across]);
}

void BoundaryBuilder::build() {
    complete_singular_points();
    add_edges();
    // Saddles inside the triangle first, then those on its edges, each group in azeotrope order.
    for (const std::size_t present : {n_, std::size_t{2}}) {
        if (present == 2 && n_ == 2) { break; }
        for (std::size_t s = n_; s < points_.size(); ++s) {
            if (points_[s].stability == Stability::saddle &&
                present_components(points_[s]) == present) {
                add_separatrices(s);
            }
        }
    }
}

bool valid_problem(const BoundaryProblem& p) noexcept {
    const std::size_t n = p.system.components.size();
    return detail::valid_system(p.system) && (n == 2 || n == 3) && std::isfinite(p.step) &&
           p.step > 0.0 && p.point_capacity >= 1 &&
           (p.singular_points.empty() || p.singular_points.size() >= n) &&
           detail::valid_singular_points(p.singular_points, n);
}

}  // namespace

BoundarySet distillation_boundaries(const BoundaryProblem& problem) {
    BoundarySet set;
    if (!valid_problem(problem)) { return set; }
    set.component_count = problem.system.components.size();
    set.error = 0;
    BoundaryBuilder(problem, set).build();
    return set;
}

}  // namespace rcm

extern "C" void Dist_Boundary(const std::int64_t* nc,
                              const double* pressure,
                              const std::int64_t* nsing,
                              const double* singular_compositions,
                              const std::int64_t* stability_codes,
                              const double* boiling_temperatures,
                              const double* step,
                              const std::int64_t* component_ids,
                              const char* option_set,
                              const std::int64_t* phase_count,
                              std::int64_t* curves,
                              std::int64_t* point_counts,
                              double* store,
                              std::int64_t* directions,
                              std::int64_t* error,
                              const std::int64_t* option_set_length) noexcept {
    if (error == nullptr) { return; }
    *error = rcm::kCurveBadArguments;
    if (curves == nullptr || point_counts == nullptr || store == nullptr || directions == nullptr) {
        return;
    }
    *curves = 0;
    if (nc == nullptr || pressure == nullptr || step == nullptr || component_ids == nullptr ||
        phase_count == nullptr || *nc < 2 || *nc > 3 || point_counts[0] < 1) {
        return;
    }
    try {
        const auto n = static_cast<std::size_t>(*nc);
        const auto capacity = static_cast<std::size_t>(
            std::min<std::int64_t>(point_counts[0], rcm::kCurvePointCapacity));
        const std::size_t stride = capacity * n;
        std::fill(store, store + rcm::kCurveCapacity * stride, -1.0);
        std::fill(point_counts, point_counts + rcm::kCurveCapacity, 0);
        std::fill(directions, directions + rcm::kCurveCapacity, 0);

        const std::int64_t azeotropes = nsing != nullptr ? *nsing : 0;
        if (azeotropes < 0 || azeotropes > rcm::detail::kMaxSingularAzeotropes) { return; }
        rcm::BoundaryProblem problem;
        problem.system.components.assign(component_ids, component_ids + n);
        problem.system.pressure = *pressure;
        problem.system.phase_count = *phase_count;
        const std::int64_t length = option_set_length != nullptr ? *option_set_length : 0;
        problem.system.option_set = std::string(engine::core::trimmed_field(option_set, length));
        problem.singular_points = rcm::singular_points_from_arrays(
            n, n + static_cast<std::size_t>(azeotropes), singular_compositions, stability_codes,
            boiling_temperatures);
        problem.step = *step;
        problem.point_capacity = capacity;
        problem.curve_capacity = rcm::kCurveCapacity;
        problem.integrator_messages = rcm::ode::standard_output();

        const rcm::BoundarySet set = rcm::distillation_boundaries(problem);
        for (std::size_t c = 0; c < set.curves.size(); ++c) {
            const rcm::BoundaryCurve& curve = set.curves[c];
            const std::size_t values = std::min(curve.points.size(), stride);
            std::copy(curve.points.begin(),
                      curve.points.begin() + static_cast<std::ptrdiff_t>(values),
                      store + c * stride);
            point_counts[c] = static_cast<std::int64_t>(values / n);
            directions[c] = curve.direction;
        }
        *curves = static_cast<std::int64_t>(set.curves.size());
        *error = set.error;
        rcm::detail::write_run_log(set.messages);
    } catch (...) {
        // Only allocation can fail here.
        *curves = 0;
        *error = rcm::kBoundaryIncomplete;
        const std::int64_t message =
            static_cast<std::int64_t>(engine::core::Message::boundary_error);
        rcm::detail::write_run_log(std::span(&message, 1));
    }
}
