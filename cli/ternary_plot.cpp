#include "cli/ternary_plot.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace cli::plot {
namespace {

using svg::Element;
using svg::PathData;
using svg::Point;

// Colours from ColorBrewer's colour-blind-safe palettes; the markers differ by shape as well,
// so that a grey print still tells them apart.
constexpr const char* kResidueColour = "#4a6fa5";
constexpr const char* kBoundaryColour = "#b2182b";
constexpr const char* kEnvelopeColour = "#1b7837";
constexpr const char* kTieLineColour = "#5aae61";
constexpr const char* kIsovolatilityColour = "#762a83";
constexpr const char* kGridColour = "#d9d9d9";
constexpr const char* kInk = "#222222";
constexpr const char* kFont = "DejaVu Sans, Liberation Sans, Arial, sans-serif";

constexpr double kMarkerRadius = 5.5;
constexpr double kArrowLength = 9.0;
constexpr double kArrowHalfWidth = 3.5;

Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point operator*(double s, Point a) { return {s * a.x, s * a.y}; }
double length(Point a) { return std::hypot(a.x, a.y); }
Point unit(Point a) {
    const double l = length(a);
    return l > 0.0 ? (1.0 / l) * a : Point{0.0, 0.0};
}

/// Mole fractions normalised to sum 1, with round-off below zero moved onto the edge; nullopt
/// for non-finite points.
std::optional<Composition> tidy(const Composition& x, double tolerance) {
    Composition y = x;
    for (double& v : y) {
        if (!std::isfinite(v)) { return std::nullopt; }
        if (v < 0.0 && v >= -tolerance) { v = 0.0; }
    }
    const double sum = y[0] + y[1] + y[2];
    if (!(sum > 0.0)) { return std::nullopt; }
    for (double& v : y) { v /= sum; }
    return y;
}

Composition along(const Composition& a, const Composition& b, double t) {
    Composition p{};
    for (std::size_t i = 0; i < 3; ++i) { p[i] = std::max(0.0, a[i] + t * (b[i] - a[i])); }
    // A crossing computed for component i lands on x_i = 0 up to round-off; the max() above
    // keeps it there, and the sum stays 1 to the same round-off.
    return p;
}

/// The part [t0, t1] of the segment a-b inside the triangle (Liang & Barsky's clipping, on the
/// three half-planes x_i >= 0); nullopt when none of it is.
std::optional<std::pair<double, double>> inside_part(const Composition& a, const Composition& b) {
    double t0 = 0.0, t1 = 1.0;
    for (std::size_t i = 0; i < 3; ++i) {
        const double d = b[i] - a[i];
        if (d == 0.0) {
            if (a[i] < 0.0) { return std::nullopt; }
            continue;
        }
        const double t = -a[i] / d;  // where x_i = 0
        if (d > 0.0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    if (t0 > t1) { return std::nullopt; }
    return std::pair{t0, t1};
}

std::string temperature_text(double kelvin) { return fmt::format("{:.1f} K", kelvin); }

std::string composition_text(const std::array<std::string, 3>& ids, const Composition& x) {
    return fmt::format("{} {:.4f}, {} {:.4f}, {} {:.4f}", ids[0], x[0], ids[1], x[1], ids[2], x[2]);
}

Element text_element(Point at, std::string_view content, std::string_view anchor, double size) {
    Element t("text");
    t.set("x", at.x).set("y", at.y).set("text-anchor", anchor).set("font-size", size);
    t.text(content);
    return t;
}

/// A path with the stroke settings of one kind of curve.
Element stroked(std::string_view css_class, const PathData& d, const char* colour, double width) {
    Element p("path");
    p.set("class", css_class)
        .set("d", d.str())
        .set("fill", "none")
        .set("stroke", colour)
        .set("stroke-width", width)
        .set("stroke-linejoin", "round")
        .set("stroke-linecap", "round");
    return p;
}

/// The marker shape of a stability kind, centred on (0, 0).
Element marker_shape(Stability s) {
    switch (s) {
        case Stability::stable_node: {
            Element c("circle");
            c.set("r", kMarkerRadius)
                .set("fill", kInk)
                .set("stroke", "white")
                .set("stroke-width", 1.0);
            return c;
        }
        case Stability::unstable_node: {
            Element c("circle");
            c.set("r", kMarkerRadius)
                .set("fill", "white")
                .set("stroke", kInk)
                .set("stroke-width", 1.8);
            return c;
        }
        case Stability::saddle: {
            const double r = kMarkerRadius * 1.3;
            PathData d;
            d.move_to({0, -r}).line_to({r, 0}).line_to({0, r}).line_to({-r, 0}).close();
            Element p("path");
            p.set("d", d.str()).set("fill", "#f4a582").set("stroke", kInk).set("stroke-width", 1.4);
            return p;
        }
        case Stability::unclassified:
            break;
    }
    const double r = kMarkerRadius;
    PathData d;
    d.move_to({-r, -r}).line_to({r, r}).move_to({-r, r}).line_to({r, -r});
    Element p("path");
    p.set("d", d.str()).set("fill", "none").set("stroke", kInk).set("stroke-width", 2.0);
    return p;
}

std::string_view class_name(Stability s) {
    switch (s) {
        case Stability::stable_node:
            return "stable-node";
        case Stability::saddle:
            return "saddle";
        case Stability::unstable_node:
            return "unstable-node";
        case Stability::unclassified:
            break;
    }
    return "unclassified";
}

class Painter {
public:
    Painter(const MapPicture& picture, const Layout& layout)
        : picture_(picture),
          layout_(layout),
          frame_(TernaryFrame::equilateral(layout.left_corner, layout.side)) {}

    Element draw() const {
        Element root("svg");
        root.set("xmlns", "http://www.w3.org/2000/svg")
            .set("version", "1.1")
            .set("width", layout_.width)
            .set("height", layout_.height)
            .set("viewBox",
                 fmt::format("0 0 {} {}", svg::number(layout_.width), svg::number(layout_.height)))
            .set("font-family", kFont);
        root.add(Element("title")).text(picture_.title + " - " + picture_.subtitle);
        Element& defs = root.add(Element("defs"));
        Element& clip = defs.add(Element("clipPath"));
        clip.set("id", "triangle-clip");
        clip.add(Element("path")).set("d", triangle_path().str());

        Element background("rect");
        background.set("width", layout_.width).set("height", layout_.height).set("fill", "white");
        root.add(std::move(background));
        root.add(title());
        root.add(plot());
        Element outline = stroked("triangle", triangle_path(), kInk, 1.4);
        outline.set("id", "triangle");
        root.add(std::move(outline));
        root.add(axes());
        root.add(markers());
        root.add(legend());
        return root;
    }

private:
    PathData triangle_path() const {
        PathData d;
        d.move_to(frame_.top()).line_to(frame_.left()).line_to(frame_.right()).close();
        return d;
    }

    /// One path for a curve: every part inside the triangle as a sub-path.
    std::optional<PathData> curve_path(std::span<const Composition> line) const {
        PathData d;
        for (const Polyline& part : clip_to_triangle(line)) {
            std::vector<Point> points;
            for (const Composition& x : part) { points.push_back(frame_.to_plane(x)); }
            d.polyline(points);
        }
        if (d.empty()) { return std::nullopt; }
        return d;
    }

    bool inside(Point p) const {
        const Composition x = frame_.to_composition(p);
        return std::all_of(x.begin(), x.end(), [](double v) { return v >= 0.0; });
    }

    /// An arrowhead half-way along the drawn length of a curve, pointing the way its points
    /// run; nullopt when the curve is too short or the head would stick out of the triangle.
    std::optional<Element> arrow(std::span<const Composition> line) const {
        std::vector<Point> points;
        for (const Polyline& part : clip_to_triangle(line)) {
            for (const Composition& x : part) { points.push_back(frame_.to_plane(x)); }
        }
        double total = 0.0;
        for (std::size_t i = 1; i < points.size(); ++i) {
            total += length(points[i] - points[i - 1]);
        }
        if (total < 4.0 * kArrowLength) { return std::nullopt; }
        double walked = 0.0;
        for (std::size_t i = 1; i < points.size(); ++i) {
            const Point step = points[i] - points[i - 1];
            const double l = length(step);
            if (walked + l >= total / 2.0 && l > 0.0) {
                const Point at = points[i - 1] + ((total / 2.0 - walked) / l) * step;
                const Point ahead = unit(step);
                const Point side{-ahead.y, ahead.x};
                const Point tip = at + (kArrowLength / 2.0) * ahead;
                const Point back = at - (kArrowLength / 2.0) * ahead;
                const Point a = back + kArrowHalfWidth * side, b = back - kArrowHalfWidth * side;
                if (!inside(tip) || !inside(a) || !inside(b)) { return std::nullopt; }
                PathData d;
                d.move_to(tip).line_to(a).line_to(b).close();
                Element head("path");
                head.set("class", "arrow").set("d", d.str()).set("fill", kResidueColour);
                return head;
            }
            walked += l;
        }
        return std::nullopt;
    }

    Element title() const {
        Element g("g");
        g.set("id", "title").set("fill", kInk);
        g.add(text_element({layout_.width / 2.0, 30.0}, picture_.title, "middle", 18.0))
            .set("font-weight", "bold");
        g.add(text_element({layout_.width / 2.0, 53.0}, picture_.subtitle, "middle", 13.0));
        return g;
    }

    Element grid() const {
        PathData d;
        for (int k = 1; k < 10; ++k) {
            const double v = k / 10.0;
            d.move_to(frame_.to_plane({v, 1.0 - v, 0.0}))
                .line_to(frame_.to_plane({v, 0.0, 1.0 - v}));
            d.move_to(frame_.to_plane({1.0 - v, v, 0.0}))
                .line_to(frame_.to_plane({0.0, v, 1.0 - v}));
            d.move_to(frame_.to_plane({1.0 - v, 0.0, v}))
                .line_to(frame_.to_plane({0.0, 1.0 - v, v}));
        }
        Element p = stroked("grid", d, kGridColour, 0.7);
        p.set("id", "grid");
        return p;
    }

    Element plot() const {
        Element g("g");
        g.set("id", "plot").set("clip-path", "url(#triangle-clip)");
        g.add(grid());

        Element& envelopes = g.add(Element("g"));
        envelopes.set("id", "envelopes");
        for (const TieLine& tie : picture_.tie_lines) {
            const Polyline line{tie.x1, tie.x2};
            if (auto d = curve_path(line)) {
                envelopes.add(stroked("tie-line", *d, kTieLineColour, 0.9))
                    .set("stroke-dasharray", "4 3");
            }
        }
        for (const Polyline& e : picture_.envelopes) {
            if (auto d = curve_path(e)) {
                envelopes.add(stroked("envelope", *d, kEnvelopeColour, 1.8));
            }
        }
        if (auto d = curve_path(picture_.vapour_line)) {
            envelopes.add(stroked("vapour-line", *d, kEnvelopeColour, 1.2))
                .set("stroke-dasharray", "1.5 3");
        }

        Element& residue = g.add(Element("g"));
        residue.set("id", "residue-curves");
        for (const Polyline& c : picture_.residue_curves) {
            if (auto d = curve_path(c)) {
                residue.add(stroked("residue-curve", *d, kResidueColour, 0.9));
                if (auto head = arrow(c)) { residue.add(std::move(*head)); }
            }
        }

        Element& iso = g.add(Element("g"));
        iso.set("id", "isovolatility-curves");
        for (const Polyline& c : picture_.isovolatility) {
            if (auto d = curve_path(c)) {
                iso.add(stroked("isovolatility-curve", *d, kIsovolatilityColour, 1.3))
                    .set("stroke-dasharray", "7 4");
            }
        }

        Element& boundaries = g.add(Element("g"));
        boundaries.set("id", "boundaries");
        for (const Polyline& c : picture_.boundaries) {
            if (auto d = curve_path(c)) {
                boundaries.add(stroked("boundary", *d, kBoundaryColour, 2.6));
            }
        }
        return g;
    }

    /// Ticks every 0.1 and labels every 0.2 along each edge, for the component whose mole
    /// fraction grows along it going round the triangle anticlockwise on the page (left edge:
    /// top component; base: left component; right edge: right component).
    Element axes() const {
        Element g("g");
        g.set("id", "axes").set("fill", kInk).set("font-size", 11.0);
        const Point centre = frame_.to_plane({1.0 / 3, 1.0 / 3, 1.0 / 3});
        struct Edge {
            int component;
            Composition (*at)(double);
        };
        const std::array<Edge, 3> edges{{
            {0,
             [](double v) {
                 return Composition{v, 1.0 - v, 0.0};
             }},
            {1,
             [](double v) {
                 return Composition{0.0, v, 1.0 - v};
             }},
            {2,
             [](double v) {
                 return Composition{1.0 - v, 0.0, v};
             }},
        }};
        PathData ticks;
        for (const Edge& e : edges) {
            const Point a = frame_.to_plane(e.at(0.0)), b = frame_.to_plane(e.at(1.0));
            const Point mid = 0.5 * (a + b);
            Point normal = unit(Point{-(b - a).y, (b - a).x});
            if (length(mid + normal - centre) < length(mid - centre)) { normal = -1.0 * normal; }
            const std::string_view anchor =
                std::abs(normal.x) < 0.3 ? "middle" : (normal.x < 0 ? "end" : "start");
            for (int k = 1; k < 10; ++k) {
                const Point p = frame_.to_plane(e.at(k / 10.0));
                ticks.move_to(p).line_to(p + 5.0 * normal);
                if (k % 2 == 0) {
                    const Point label = p + 9.0 * normal + Point{0.0, normal.y > 0.5 ? 9.0 : 4.0};
                    g.add(text_element(label, fmt::format("{:.1f}", k / 10.0), anchor, 11.0));
                }
            }
            // The axis name, parallel to the edge and reading left to right.
            Point direction = unit(b - a);
            if (direction.x < 0) { direction = -1.0 * direction; }
            const double angle = std::atan2(direction.y, direction.x) * 180.0 / std::numbers::pi;
            const Point at = mid + 34.0 * normal;
            Element name =
                text_element(at,
                             fmt::format("mole fraction {}",
                                         picture_.ids[static_cast<std::size_t>(e.component)]),
                             "middle", 12.0);
            name.set("transform", fmt::format("rotate({} {} {})", svg::number(angle),
                                              svg::number(at.x), svg::number(at.y)));
            g.add(std::move(name));
        }
        g.add(stroked("ticks", ticks, kInk, 1.0));
        return g;
    }

    /// Singular-point markers with their labels: the component id at each corner, the boiling
    /// temperature at every point.
    Element markers() const {
        Element g("g");
        g.set("id", "singular-points").set("fill", kInk);
        const Point centre = frame_.to_plane({1.0 / 3, 1.0 / 3, 1.0 / 3});
        for (const SingularPoint& s : picture_.points) {
            const Point at = frame_.to_plane(s.x);
            Element& m = g.add(Element("g"));
            m.set("class", fmt::format("marker {}", class_name(s.stability)))
                .set("transform",
                     fmt::format("translate({} {})", svg::number(at.x), svg::number(at.y)))
                .set("data-temperature-K", fmt::format("{:.4f}", s.temperature))
                .set("data-composition",
                     fmt::format("{:.6f},{:.6f},{:.6f}", s.x[0], s.x[1], s.x[2]));
            m.add(Element("title"))
                .text(fmt::format("{}{}, {}, {}", s.name.empty() ? "" : s.name + ": ",
                                  stability_name(s.stability), temperature_text(s.temperature),
                                  s.name.empty() ? (s.heterogeneous ? "heterogeneous azeotrope "
                                                                    : "homogeneous azeotrope ") +
                                                       composition_text(picture_.ids, s.x)
                                                 : "pure component"));
            m.add(marker_shape(s.stability));
        }
        // Labels after every marker, so that no marker hides a label.
        for (const SingularPoint& s : picture_.points) {
            const Point at = frame_.to_plane(s.x);
            const std::string t = temperature_text(s.temperature);
            if (!s.name.empty() && (s.x[0] > 0.999 || s.x[1] > 0.999 || s.x[2] > 0.999)) {
                // A corner: the id and the temperature outside the triangle.
                Point p = at;
                std::string_view anchor = "middle";
                if (s.x[0] > 0.999) {
                    p = at + Point{0.0, -26.0};
                } else if (s.x[1] > 0.999) {
                    p = at + Point{-12.0, 4.0};
                    anchor = "end";
                } else {
                    p = at + Point{12.0, 4.0};
                    anchor = "start";
                }
                Element label("text");
                label.set("class", "label")
                    .set("x", p.x)
                    .set("y", p.y)
                    .set("text-anchor", anchor)
                    .set("font-size", 13.0);
                label.add(Element("tspan")).set("font-weight", "bold").text(s.name);
                label.add(Element("tspan")).set("x", p.x).set("dy", 15.0).text(t);
                g.add(std::move(label));
                continue;
            }
            // Elsewhere: inside, on the side of the marker that faces the centre of the
            // triangle (to the right near the centre), on a white halo, clear of the marker.
            Point toward = unit(centre - at);
            if (length(centre - at) < 20.0) { toward = {1.0, 0.0}; }
            const std::string_view anchor =
                toward.x > 0.35 ? "start" : (toward.x < -0.35 ? "end" : "middle");
            Point p = at + 10.0 * toward;
            p.y += anchor != "middle" ? 4.0 : (toward.y > 0.0 ? 10.0 : -2.0);
            g.add(text_element(p, t, anchor, 11.0))
                .set("class", "label")
                .set("stroke", "white")
                .set("stroke-width", 3.0)
                .set("paint-order", "stroke");
        }
        return g;
    }

    Element legend() const {
        Element g("g");
        g.set("id", "legend").set("fill", kInk).set("font-size", 12.0);
        const double x = layout_.left_corner.x + layout_.side + 50.0;
        double y = layout_.left_corner.y - layout_.side * std::sqrt(3.0) / 2.0 + 10.0;
        const auto entry = [&](Element glyph, std::string_view text) {
            glyph.set("transform",
                      fmt::format("translate({} {})", svg::number(x + 12.0), svg::number(y)));
            g.add(std::move(glyph));
            g.add(text_element({x + 32.0, y + 4.0}, text, "start", 12.0));
            y += 22.0;
        };
        const auto line_glyph = [](const char* colour, double width, const char* dashes) {
            PathData d;
            d.move_to({-12.0, 0.0}).line_to({12.0, 0.0});
            Element p = stroked("legend-line", d, colour, width);
            if (dashes) { p.set("stroke-dasharray", dashes); }
            return p;
        };
        const auto has = [&](Stability s) {
            return std::any_of(picture_.points.begin(), picture_.points.end(),
                               [&](const SingularPoint& p) { return p.stability == s; });
        };
        for (const Stability s : {Stability::unstable_node, Stability::saddle,
                                  Stability::stable_node, Stability::unclassified}) {
            if (has(s)) { entry(marker_shape(s), stability_name(s)); }
        }
        if (!picture_.residue_curves.empty()) {
            entry(line_glyph(kResidueColour, 0.9, nullptr), "residue curve (to higher T)");
        }
        if (!picture_.boundaries.empty()) {
            entry(line_glyph(kBoundaryColour, 2.6, nullptr), "distillation boundary");
        }
        if (!picture_.envelopes.empty()) {
            entry(line_glyph(kEnvelopeColour, 1.8, nullptr), picture_.envelope_label);
        }
        if (!picture_.tie_lines.empty()) {
            entry(line_glyph(kTieLineColour, 0.9, "4 3"), "tie line");
        }
        if (picture_.vapour_line.size() > 1) {
            entry(line_glyph(kEnvelopeColour, 1.2, "1.5 3"), "vapour line");
        }
        if (!picture_.isovolatility.empty()) {
            entry(line_glyph(kIsovolatilityColour, 1.3, "7 4"), "isovolatility curve");
        }
        return g;
    }

    const MapPicture& picture_;
    Layout layout_;
    TernaryFrame frame_;
};

}  // namespace

TernaryFrame::TernaryFrame(Point top, Point left, Point right)
    : top_(top), left_(left), right_(right) {}

TernaryFrame TernaryFrame::equilateral(Point left, double side) {
    return TernaryFrame({left.x + side / 2.0, left.y - side * std::sqrt(3.0) / 2.0}, left,
                        {left.x + side, left.y});
}

Point TernaryFrame::to_plane(const Composition& x) const noexcept {
    return {x[0] * top_.x + x[1] * left_.x + x[2] * right_.x,
            x[0] * top_.y + x[1] * left_.y + x[2] * right_.y};
}

Composition TernaryFrame::to_composition(Point p) const noexcept {
    // Solve p = left + x_top (top - left) + x_right (right - left) by Cramer's rule.
    const Point a = top_ - left_, b = right_ - left_, c = p - left_;
    const double det = a.x * b.y - a.y * b.x;
    const double x_top = (c.x * b.y - c.y * b.x) / det;
    const double x_right = (a.x * c.y - a.y * c.x) / det;
    return {x_top, 1.0 - x_top - x_right, x_right};
}

double distance(const Composition& a, const Composition& b) noexcept {
    // The unit triangle: left (0, 0), right (1, 0), top (1/2, sqrt(3)/2).
    const double dx = (b[2] - a[2]) + 0.5 * (b[0] - a[0]);
    const double dy = std::sqrt(3.0) / 2.0 * (b[0] - a[0]);
    return std::hypot(dx, dy);
}

double distance_to_polyline(const Composition& p, std::span<const Composition> line) noexcept {
    double best = std::numeric_limits<double>::infinity();
    if (line.size() == 1) { return distance(p, line[0]); }
    for (std::size_t i = 1; i < line.size(); ++i) {
        const Composition& a = line[i - 1];
        const Composition& b = line[i];
        // Closest point of the segment: project in the plane of the unit triangle, where the
        // metric is Euclidean; barycentric interpolation is affine, so the parameter carries.
        const double ab = distance(a, b);
        double t = 0.0;
        if (ab > 0.0) {
            const double ap = distance(a, p), bp = distance(b, p);
            t = std::clamp((ap * ap - bp * bp + ab * ab) / (2.0 * ab * ab), 0.0, 1.0);
        }
        const Composition q{a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]),
                            a[2] + t * (b[2] - a[2])};
        best = std::min(best, distance(p, q));
    }
    return best;
}

std::vector<Polyline> clip_to_triangle(std::span<const Composition> line, double tolerance) {
    std::vector<Polyline> parts;
    Polyline current;
    const auto finish = [&] {
        if (current.size() >= 2) { parts.push_back(std::move(current)); }
        current.clear();
    };
    std::optional<Composition> previous;
    for (const Composition& raw : line) {
        const std::optional<Composition> x = tidy(raw, tolerance);
        if (!x) {
            finish();
            previous.reset();
            continue;
        }
        if (!previous) {
            const bool in = std::all_of(x->begin(), x->end(), [](double v) { return v >= 0.0; });
            if (in) { current.push_back(*x); }
            previous = x;
            continue;
        }
        const auto part = inside_part(*previous, *x);
        if (!part) {
            finish();
        } else {
            const auto [t0, t1] = *part;
            if (t0 > 0.0 || current.empty()) {
                finish();
                current.push_back(along(*previous, *x, t0));
            }
            current.push_back(t1 < 1.0 ? along(*previous, *x, t1) : *x);
            if (t1 < 1.0) { finish(); }
        }
        previous = x;
    }
    finish();
    return parts;
}

std::string_view stability_name(Stability s) noexcept {
    switch (s) {
        case Stability::stable_node:
            return "stable node";
        case Stability::saddle:
            return "saddle";
        case Stability::unstable_node:
            return "unstable node";
        case Stability::unclassified:
            break;
    }
    return "unclassified";
}

svg::Element draw_map(const MapPicture& picture, const Layout& layout) {
    return Painter(picture, layout).draw();
}

}  // namespace cli::plot
