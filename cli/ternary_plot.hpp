#pragma once
/// The ternary diagram as a picture: the triangle on the page (top, left and right corner), the
/// transform from mole fractions to page coordinates, clipping of curves to the triangle, and
/// the drawing of a whole residue-curve map into an SVG element tree.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/svg_writer.hpp"

namespace cli::plot {

/// Mole fractions of the top, left and right component.
using Composition = std::array<double, 3>;
using Polyline = std::vector<Composition>;

/// The triangle on the page. A composition is drawn at the barycentric combination of the
/// corners, x_top * top + x_left * left + x_right * right.
class TernaryFrame {
public:
    TernaryFrame(svg::Point top, svg::Point left, svg::Point right);
    /// The usual orientation: an equilateral triangle standing on its base, with its left
    /// corner at `left` [px] and sides of `side` [px].
    static TernaryFrame equilateral(svg::Point left, double side);

    svg::Point top() const noexcept { return top_; }
    svg::Point left() const noexcept { return left_; }
    svg::Point right() const noexcept { return right_; }
    svg::Point to_plane(const Composition& x) const noexcept;
    /// The inverse: barycentric coordinates of a page point (outside the triangle one of them
    /// is negative).
    Composition to_composition(svg::Point p) const noexcept;

private:
    svg::Point top_, left_, right_;
};

/// Distance of two compositions in the unit equilateral triangle (side 1), so that distances
/// measured here look alike everywhere on the picture.
double distance(const Composition& a, const Composition& b) noexcept;
/// Shortest distance of a composition to a polyline (unit triangle as above); +inf when empty.
double distance_to_polyline(const Composition& p, std::span<const Composition> line) noexcept;

/// The parts of a polyline inside the triangle (every mole fraction >= 0). Segments that cross
/// an edge are cut exactly on it; tracers overshoot edges by round-off (-1e-8 and the like), so
/// points within `tolerance` of the triangle are moved onto it instead of cutting the line.
/// Non-finite points break the line. Parts of fewer than two points are dropped.
std::vector<Polyline> clip_to_triangle(std::span<const Composition> line, double tolerance = 1e-6);

/// Stability of a singular point, as the engine classifies it.
enum class Stability { stable_node, saddle, unstable_node, unclassified };

struct SingularPoint {
    Composition x{};
    double temperature = 0.0;  ///< boiling temperature [K]
    Stability stability = Stability::unclassified;
    bool heterogeneous = false;
    std::string name;  ///< the component id for pure components, else empty
};

struct TieLine {
    Composition x1{}, x2{};             ///< the two liquids
    std::optional<Composition> vapour;  ///< VLLE: the vapour in equilibrium with both
};

/// Everything a map shows. Curves are polylines of compositions; residue curves run towards
/// higher boiling temperature.
struct MapPicture {
    std::array<std::string, 3> ids;  ///< top, left, right
    std::string title;               ///< first title line: the system
    std::string subtitle;            ///< second: pressure, property method, phases
    std::vector<SingularPoint> points;
    std::vector<Polyline> residue_curves;
    std::vector<Polyline> boundaries;
    std::vector<Polyline> envelopes;
    std::vector<TieLine> tie_lines;
    Polyline vapour_line;  ///< VLLE: the vapours of the tie lines, in order
    std::vector<Polyline> isovolatility;
    std::string envelope_label = "liquid-liquid envelope";
};

/// Page layout of the picture [px].
struct Layout {
    double width = 940.0;
    double height = 700.0;
    svg::Point left_corner{110.0, 625.0};
    double side = 550.0;
};

/// The whole picture as an "svg" element. Curves, grid and envelopes sit in a group clipped to
/// the triangle and are clipped geometrically as well, so that no coordinate of theirs lies
/// outside it; markers, labels, ticks, the legend and the title are drawn on top.
svg::Element draw_map(const MapPicture& picture, const Layout& layout = {});

/// The name of a stability kind as the picture and the command line write it.
std::string_view stability_name(Stability s) noexcept;

}  // namespace cli::plot
