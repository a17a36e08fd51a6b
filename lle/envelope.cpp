#include "lle/envelope.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <utility>

#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"
#include "properties/equilibrium.hpp"

namespace lle {
namespace {

using engine::core::Message;

// The tracer's thresholds have always been single-precision constants compared in double:
// keeping them bit for bit keeps the traced tie lines where callers have seen them.
/// Liquids closer than this are one liquid (Euclidean distance at the edges, tie-line size L
/// inside); a vapour fraction above it is vapour.
constexpr double kSplitThreshold = static_cast<double>(1e-5f);  // 9.999999747378752e-06
/// Below this tie-line size the predictor takes a tenth of the step: tie lines shrink fast near
/// the plait point, and a full step would overshoot it by far.
constexpr double kShortTieLine = static_cast<double>(0.1f);  // 0.10000000149011612
constexpr int kEdgeFeeds = 9;
constexpr int kPlaitSubsteps = 10;
constexpr int kPlaitFillFeeds = 3;
/// Liquids closer than this are the same liquid: flashes converge compositions far tighter.
constexpr double kSameLiquid = 1e-9;
/// Predicted feeds this far outside the triangle are on it: rounding at an edge is no excursion.
constexpr double kOutsideTolerance = 1e-12;

double distance(const Point& a, const Point& b) {
    double s = 0.0;
    for (std::size_t c = 0; c < 3; ++c) { s += (a[c] - b[c]) * (a[c] - b[c]); }
    return std::sqrt(s);
}

/// Tie-line size L = sqrt(1/2 sum_m (x'_m - x''_m)^2).
double tie_line_size(const Point& a, const Point& b) {
    double s = 0.0;
    for (std::size_t c = 0; c < 3; ++c) { s += (a[c] - b[c]) * (a[c] - b[c]); }
    return std::sqrt(0.5 * s);
}

Point midpoint(const Point& a, const Point& b) {
    return {0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1]), 0.5 * (a[2] + b[2])};
}

/// a + t (b - a).
Point towards(const Point& a, const Point& b, double t) {
    return {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
}

bool all_finite(const Point& p) {
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

/// Moves rounding noise at an edge onto it; false when the point lies outside the triangle
/// (a predictor step across an edge, as when a band-shaped region reaches the opposite edge).
bool onto_triangle(Point& z) {
    if (!all_finite(z)) { return false; }
    for (double& v : z) {
        if (v < 0.0) {
            if (v < -kOutsideTolerance) { return false; }
            v = 0.0;
        }
    }
    return z[0] + z[1] + z[2] > 0.0;
}

/// Copies three finite values; false for anything else.
bool copy_point(const std::vector<double>& from, Point& to) {
    if (from.size() != 3) { return false; }
    std::copy(from.begin(), from.end(), to.begin());
    return all_finite(to);
}

/// What the tracer takes from one flash.
struct Flashed {
    bool converged = false;
    Point x1{}, x2{}, y{};
    double vapour_fraction = 0.0;
    double temperature = 0.0;

    double size() const { return tie_line_size(x1, x2); }
    bool splits() const { return converged && size() > kSplitThreshold; }
};

/// The trace states; the state word has always spelt them "begin", "middle", "plait", "store" and
/// "done".
enum class State { begin, middle, plait, store, done };

/// Working state of one branch: its tie lines (indices into the result), their midpoints, and the
/// feed that failed to split when the branch left "middle".
struct Branch {
    int edge = 0;              // pair selector 1..3
    std::size_t left_out = 0;  // the component not in the edge's pair (0-based)
    std::vector<std::size_t> tie_lines;
    std::vector<Point> midpoints;
    Point failed_feed{};
    bool capacity_reported = false;
};

struct EdgeSplit {
    Point feed{};
    Flashed flash;
};

class Tracer {
public:
    Tracer(const EnvelopeProblem& problem, EnvelopeResult& result)
        : problem_(problem),
          result_(result),
          capacity_(static_cast<std::size_t>(std::clamp<std::int64_t>(
              problem.tie_line_capacity, 0, static_cast<std::int64_t>(kTieLineCapacity)))),
          lle_(problem.variant == Variant::liquid_liquid) {}

    void run() {
        // Every edge is searched before any branch is traced.
        std::array<std::optional<EdgeSplit>, 3> edges;
        for (int p = 1; p <= 3; ++p) { edges[static_cast<std::size_t>(p - 1)] = edge_split(p); }
        for (int p = 1; p <= 3; ++p) {
            if (const auto& e = edges[static_cast<std::size_t>(p - 1)]) { trace_branch(p, *e); }
        }
    }

private:
    void report(Message m) {
        const auto code = static_cast<std::int64_t>(m);
        result_.message_code = code;
        result_.messages.push_back(code);
        if (m == Message::max_points_reached) { result_.error_code = kCapacityReached; }
        if (m == Message::flash_not_converged) { result_.error_code = kFlashFailed; }
        engine::core::append_to_run_log(m);
    }

    Flashed flash(const Point& z) {
        properties::FlashRequest request;
        request.phase_count = 3;
        request.option_set = problem_.option_set;
        request.components = problem_.components;
        request.composition = z;
        request.pressure = problem_.pressure;
        request.vapour_fraction = 0.0;
        if (lle_) {
            request.flash_type = "TP";
            request.temperature = problem_.temperature;
        } else {
            // Neighbouring bubble points lie close together: the last one is a good start.
            request.flash_type = "PV";
            request.temperature = last_bubble_temperature_;
        }
        const properties::FlashResult r = properties::calc_flash(request);
        ++result_.flashes;
        Flashed f;
        f.vapour_fraction = r.vapour_fraction;
        f.temperature = r.temperature;
        f.converged = r.error_code == 0 && copy_point(r.x1, f.x1) && copy_point(r.x2, f.x2) &&
                      copy_point(r.y, f.y) && std::isfinite(r.vapour_fraction) &&
                      std::isfinite(r.temperature);
        if (!f.converged) {
            // Whatever a failed flash left in its outputs is no equilibrium: the feed counts as
            // one liquid, so that nothing unconverged is ever stored as a tie line.
            report(Message::flash_not_converged);
            return Flashed{};
        }
        if (!lle_) { last_bubble_temperature_ = f.temperature; }
        return f;
    }

    /// Liquid-liquid variant: a feed that (partly) boils at the given T and P has left the
    /// liquid-liquid region; message 513.
    bool boils(const Flashed& f) {
        if (!lle_ || !f.converged || !(f.vapour_fraction > kSplitThreshold)) { return false; }
        report(Message::mixture_is_vapour);
        return true;
    }

    /// Pair selector p: 1 the edge left-right, 2 top-right, 3 top-left. The first component of
    /// the pair takes k 0.1 (k = 1..9, in single precision as it always was), the second the rest.
    std::optional<EdgeSplit> edge_split(int p) {
        const auto left_out = static_cast<std::size_t>(p - 1);
        const std::size_t first = left_out == 0 ? 1 : 0;
        const std::size_t second = left_out == 2 ? 1 : 2;
        for (int k = 1; k <= kEdgeFeeds; ++k) {
            const float fraction = static_cast<float>(k) * 0.1f;
            Point z{};
            z[first] = static_cast<double>(fraction);
            z[second] = 1.0 - static_cast<double>(fraction);
            Flashed f = flash(z);
            if (f.converged && distance(f.x1, f.x2) > kSplitThreshold) {
                return EdgeSplit{z, std::move(f)};
            }
        }
        return std::nullopt;
    }

    bool branch_full(const Branch& b) const {
        return b.tie_lines.size() >= capacity_ || result_.tie_lines.size() >= capacity_;
    }

    void report_capacity(Branch& b) {
        if (b.capacity_reported) { return; }
        b.capacity_reported = true;
        report(Message::max_points_reached);
    }

    /// Stores a split as the branch's next tie line, x' being the end nearer the previous x'.
    /// False (message 501) when the branch or the store is full: nothing is written then.
    bool store(Branch& b, const Flashed& f, const Point& feed) {
        if (branch_full(b)) {
            report_capacity(b);
            return false;
        }
        TieLine t;
        t.x1 = f.x1;
        t.x2 = f.x2;
        if (!b.tie_lines.empty()) {
            const Point& previous = result_.tie_lines[b.tie_lines.back()].x1;
            if (distance(t.x2, previous) <= distance(t.x1, previous)) { std::swap(t.x1, t.x2); }
        }
        t.y = f.y;
        t.feed = feed;
        t.temperature = f.temperature;
        t.curve = result_.envelopes.size();
        b.tie_lines.push_back(result_.tie_lines.size());
        b.midpoints.push_back(midpoint(t.x1, t.x2));
        result_.tie_lines.push_back(t);
        return true;
    }

    /// The same two liquids as the last stored tie line. When the march back finds its split
    /// only at the last midpoint itself, every feed of the fill is that midpoint; storing its tie
    /// line again would only spend capacity on points the envelope already has.
    bool repeats_last(const Branch& b, const Flashed& f) const {
        const TieLine& last = last_tie_line(b);
        const auto same = [](const Point& p, const Point& q) {
            return distance(p, q) <= kSameLiquid;
        };
        return (same(f.x1, last.x1) && same(f.x2, last.x2)) ||
               (same(f.x1, last.x2) && same(f.x2, last.x1));
    }

    const TieLine& last_tie_line(const Branch& b) const {
        return result_.tie_lines[b.tie_lines.back()];
    }

    void trace_branch(int p, const EdgeSplit& e) {
        Branch b;
        b.edge = p;
        b.left_out = static_cast<std::size_t>(p - 1);
        // A store already full cannot take this edge's tie line: the branch is not started
        // rather than written past the end.
        if (!store(b, e.flash, e.feed)) { return; }
        State state = State::begin;
        while (state != State::done) {
            if (branch_full(b)) {
                report_capacity(b);
                state = State::store;
            }
            switch (state) {
                case State::begin:
                    state = begin(b);
                    break;
                case State::middle:
                    state = middle(b);
                    break;
                case State::plait:
                    state = plait(b);
                    break;
                case State::store:
                    write_envelope(b);
                    state = State::done;
                    break;
                case State::done:
                    break;
            }
        }
    }

    /// First step off the edge: the edge tie line's midpoint with the left-out component at L h.
    State begin(Branch& b) {
        const TieLine& edge = last_tie_line(b);
        Point z = midpoint(edge.x1, edge.x2);
        z[b.left_out] = tie_line_size(edge.x1, edge.x2) * problem_.step;
        const double sum = z[0] + z[1] + z[2];
        for (double& v : z) { v /= sum; }
        // Vapour counts here as in "middle": a tie line of liquids that boil at the given T and P
        // (a three-phase state) is no point of the liquid-liquid envelope.
        const Flashed f = flash(z);
        if (!boils(f) && f.splits()) { return store(b, f, z) ? State::middle : State::store; }
        b.failed_feed = z;
        return State::plait;
    }

    /// Predictor along the line of the last two midpoints, corrector by the flash.
    State middle(Branch& b) {
        const std::size_t k = b.midpoints.size();
        const Point& m = b.midpoints[k - 1];
        Point d{};
        for (std::size_t c = 0; c < 3; ++c) { d[c] = m[c] - b.midpoints[k - 2][c]; }
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        // Two equal midpoints give no direction: end the branch with what it has rather than
        // flash a feed of NaNs.
        if (!(length > 0.0) || !std::isfinite(length)) { return State::store; }
        const Point& last = last_tie_line(b).x1;
        const double wanted = tie_line_size(last, last_tie_line(b).x2) < kShortTieLine
                                  ? 0.1 * problem_.step
                                  : problem_.step;
        Point z{};
        for (std::size_t c = 0; c < 3; ++c) { z[c] = m[c] + d[c] * (wanted / length); }
        b.failed_feed = z;
        // A feed outside the triangle has no flash: the branch crossed an edge and closes
        // through "plait" like any other feed that does not split.
        if (!onto_triangle(z)) { return State::plait; }
        const Flashed f = flash(z);
        if (boils(f) || !f.splits()) { return State::plait; }
        return store(b, f, z) ? State::middle : State::store;
    }

    /// Closes the branch near the plait point: march back from the feed that failed towards the
    /// last midpoint until a feed splits, then fill the gap to it with up to three tie lines.
    State plait(Branch& b) {
        const Point mk = b.midpoints.back();
        const Point start = b.failed_feed;
        for (int j = 1; j <= kPlaitSubsteps; ++j) {
            Point z = towards(start, mk, static_cast<double>(j) / kPlaitSubsteps);
            if (!onto_triangle(z)) { continue; }
            const Flashed f = flash(z);
            if (boils(f) || !f.splits()) { continue; }
            if (!lle_) { result_.plait_temperature = f.temperature; }
            const Point s = midpoint(f.x1, f.x2);
            for (int r = 1; r <= kPlaitFillFeeds; ++r) {
                Point zr = towards(mk, s, static_cast<double>(r) / kPlaitFillFeeds);
                if (!onto_triangle(zr)) { continue; }
                const Flashed fr = flash(zr);
                if (boils(fr) || !fr.splits() || repeats_last(b, fr)) { continue; }
                if (!store(b, fr, zr)) { return State::store; }
            }
            return State::store;
        }
        return State::store;
    }

    /// The x' ends in tracing order, then the x'' ends in reverse order.
    void write_envelope(const Branch& b) {
        Envelope e;
        e.edge = b.edge;
        e.first_tie_line = b.tie_lines.front();
        e.tie_line_count = b.tie_lines.size();
        e.points.reserve(2 * b.tie_lines.size());
        for (const std::size_t i : b.tie_lines) { e.points.push_back(result_.tie_lines[i].x1); }
        for (auto it = b.tie_lines.rbegin(); it != b.tie_lines.rend(); ++it) {
            e.points.push_back(result_.tie_lines[*it].x2);
        }
        result_.envelopes.push_back(std::move(e));
    }

    const EnvelopeProblem& problem_;
    EnvelopeResult& result_;
    std::size_t capacity_;
    bool lle_;
    double last_bubble_temperature_ = 0.0;  // 0: no start value, the host makes its own
};

bool valid_problem(const EnvelopeProblem& p) {
    if (p.components.size() != 3) { return false; }
    // Index 0 is what the host gives for an unknown component id; a component twice is no
    // ternary.
    const std::set<std::int64_t> distinct(p.components.begin(), p.components.end());
    if (distinct.size() != 3 || *distinct.begin() < 1) { return false; }
    const auto positive = [](double v) { return std::isfinite(v) && v > 0.0; };
    if (!positive(p.pressure) || !positive(p.step)) { return false; }
    return p.variant != Variant::liquid_liquid || positive(p.temperature);
}

}  // namespace

EnvelopeResult trace_envelopes(const EnvelopeProblem& problem) {
    EnvelopeResult result;
    if (!valid_problem(problem)) { return result; }
    result.error_code = kEnvelopeOk;
    Tracer(problem, result).run();
    return result;
}

TieLineThroughFeed tie_line_through_feed(std::span<const double> x1,
                                         std::span<const double> x2,
                                         double vapour_fraction,
                                         Variant variant) noexcept {
    TieLineThroughFeed t;
    if (x1.size() != 3 || x2.size() != 3) { return t; }
    Point a{x1[0], x1[1], x1[2]};
    Point b{x2[0], x2[1], x2[2]};
    if (!all_finite(a) || !all_finite(b)) { return t; }
    if (distance(a, b) <= kNoSplitDistance) { return t; }
    // NaN compares false: an unknown vapour fraction does not make a vapour.
    if (variant == Variant::liquid_liquid && vapour_fraction >= 1.0) { return t; }
    t.split = true;
    t.x1 = a;
    t.x2 = b;
    return t;
}

}  // namespace lle
