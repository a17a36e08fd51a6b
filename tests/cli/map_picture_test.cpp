// The picture side of `distil map`, without the engine: the SVG writer read back by an
// independent XML parser, the ternary-to-page transform against hand-computed corners, clipping
// of curves to the triangle, and a drawn map whose every curve coordinate stays inside it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "cli/svg_writer.hpp"
#include "cli/ternary_plot.hpp"
#include "tests/cli/svg_reader.hpp"

namespace {

using cli::plot::Composition;
using cli::plot::Polyline;

std::string document_of(const cli::svg::Element& root) {
    std::ostringstream out;
    cli::svg::write_document(out, root);
    return out.str();
}

TEST(SvgWriter, MarkupInAttributesAndTextReachesAReaderUnchanged) {
    // Everything XML treats specially, plus a control character XML 1.0 cannot carry at all.
    const std::string hostile =
        "a<b & \"c\" 'd' > e]]> \x01"
        "f";
    cli::svg::Element root("svg");
    root.set("data-note", hostile);
    root.add(cli::svg::Element("text")).set("x", 1.5).text(hostile);
    root.add(cli::svg::Element("g")).add(cli::svg::Element("title")).text("x < y && y > z");

    std::string error;
    const auto doc = svg_test::parse(document_of(root), &error);
    ASSERT_TRUE(doc) << error;
    const std::string expected = "a<b & \"c\" 'd' > e]]> f";  // the control character dropped
    EXPECT_EQ(doc->attribute("data-note"), expected);
    ASSERT_EQ(doc->children.size(), 2u);
    EXPECT_EQ(doc->children[0].name, "text");
    EXPECT_EQ(doc->children[0].text, expected);
    EXPECT_EQ(doc->children[0].attribute("x"), "1.5");
    EXPECT_EQ(doc->children[1].children.at(0).text, "x < y && y > z");
}

TEST(SvgWriter, RefusesWhatWouldBreakTheFile) {
    // Names that are not XML names, and numbers that are not numbers, never reach the file.
    EXPECT_THROW(cli::svg::Element("1path"), std::invalid_argument);
    EXPECT_THROW(cli::svg::Element("a b"), std::invalid_argument);
    EXPECT_THROW(cli::svg::Element(""), std::invalid_argument);
    cli::svg::Element e("path");
    EXPECT_THROW(e.set("on click", "x"), std::invalid_argument);
    EXPECT_THROW(e.set("d\"=", "x"), std::invalid_argument);
    EXPECT_THROW(e.set("x", std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
    EXPECT_THROW(cli::svg::number(std::numeric_limits<double>::infinity()), std::invalid_argument);
    // Setting an attribute twice keeps one (a duplicate attribute is not well formed).
    e.set("d", "M0 0").set("d", "M1 1");
    const auto doc = svg_test::parse(document_of(e));
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->attribute("d"), "M1 1");
}

TEST(SvgWriter, NumbersArePlainDecimals) {
    EXPECT_EQ(cli::svg::number(3.0), "3");
    EXPECT_EQ(cli::svg::number(-1.25), "-1.25");
    EXPECT_EQ(cli::svg::number(12.5), "12.5");
    EXPECT_EQ(cli::svg::number(-0.001), "0");      // no "-0"
    EXPECT_EQ(cli::svg::number(1e7), "10000000");  // no exponent
    EXPECT_EQ(cli::svg::number(2.0 / 3.0), "0.67");
    cli::svg::PathData d;
    d.move_to({1, 2}).line_to({3.5, -4}).close();
    const auto points = svg_test::path_points(d.str());
    ASSERT_TRUE(points);
    ASSERT_EQ(points->size(), 1u);
    EXPECT_DOUBLE_EQ((*points)[0][1].x, 3.5);
    EXPECT_DOUBLE_EQ((*points)[0][1].y, -4.0);
}

TEST(TernaryFrame, PutsCompositionsWhereTheGeometryOfTheTriangleSays) {
    // Equilateral, left corner (100, 600), side 400: right corner (500, 600), top corner
    // (300, 600 - 400 sqrt(3)/2) = (300, 253.589838...), by hand.
    const auto frame = cli::plot::TernaryFrame::equilateral({100.0, 600.0}, 400.0);
    const double top_y = 600.0 - 200.0 * std::sqrt(3.0);
    const auto at = [&](Composition x) { return frame.to_plane(x); };
    EXPECT_NEAR(at({1, 0, 0}).x, 300.0, 1e-12);
    EXPECT_NEAR(at({1, 0, 0}).y, top_y, 1e-12);
    EXPECT_NEAR(at({0, 1, 0}).x, 100.0, 1e-12);
    EXPECT_NEAR(at({0, 0, 1}).x, 500.0, 1e-12);
    // The centroid is the triangle's centre, a third of the height above the base.
    EXPECT_NEAR(at({1.0 / 3, 1.0 / 3, 1.0 / 3}).x, 300.0, 1e-12);
    EXPECT_NEAR(at({1.0 / 3, 1.0 / 3, 1.0 / 3}).y, 600.0 - 200.0 * std::sqrt(3.0) / 3.0, 1e-12);
    // An edge midpoint: half-way between its corners.
    EXPECT_NEAR(at({0.5, 0.5, 0}).x, 200.0, 1e-12);
    EXPECT_NEAR(at({0.5, 0.5, 0}).y, (600.0 + top_y) / 2.0, 1e-12);
    // Page back to composition is the inverse, inside and outside the triangle.
    for (const Composition x :
         {Composition{0.2, 0.3, 0.5}, Composition{0.7, 0.1, 0.2}, Composition{-0.1, 0.6, 0.5}}) {
        const Composition back = frame.to_composition(at(x));
        for (std::size_t i = 0; i < 3; ++i) { EXPECT_NEAR(back[i], x[i], 1e-12); }
    }
    // Distances in the unit triangle: a side is 1, the height sqrt(3)/2.
    EXPECT_NEAR(cli::plot::distance({0, 1, 0}, {0, 0, 1}), 1.0, 1e-15);
    const Polyline base{{0, 1, 0}, {0, 0, 1}};
    EXPECT_NEAR(cli::plot::distance_to_polyline({1, 0, 0}, base), std::sqrt(3.0) / 2.0, 1e-15);
    EXPECT_NEAR(cli::plot::distance_to_polyline({0, 0.3, 0.7}, base), 0.0, 1e-15);
}

TEST(ClipToTriangle, CutsCurvesExactlyOnTheEdges) {
    using cli::plot::clip_to_triangle;
    // Leaves through x_top = 0 half-way along its second segment: ends at (0, 0.6, 0.4).
    const Polyline leaving{{0.4, 0.6, 0.0 + 0.0}, {0.2, 0.6, 0.2}, {-0.2, 0.6, 0.6}};
    auto parts = clip_to_triangle(leaving);
    ASSERT_EQ(parts.size(), 1u);
    ASSERT_EQ(parts[0].size(), 3u);
    EXPECT_NEAR(parts[0][2][0], 0.0, 1e-15);
    EXPECT_NEAR(parts[0][2][1], 0.6, 1e-15);
    EXPECT_NEAR(parts[0][2][2], 0.4, 1e-15);

    // Out and back in: two parts, the second starting on the edge it re-enters through.
    const Polyline out_and_in{{0.2, 0.4, 0.4}, {-0.2, 0.6, 0.6}, {0.2, 0.2, 0.6}};
    parts = clip_to_triangle(out_and_in);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_NEAR(parts[1][0][0], 0.0, 1e-15);
    EXPECT_NEAR(parts[1][0][1], 0.4, 1e-15);

    // Wholly outside: nothing. A NaN breaks a line into two.
    EXPECT_TRUE(clip_to_triangle(Polyline{{-0.5, 1.0, 0.5}, {-0.5, 0.5, 1.0}}).empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    parts = clip_to_triangle(Polyline{
        {0.2, 0.4, 0.4}, {0.3, 0.3, 0.4}, {nan, 0.5, 0.5}, {0.1, 0.1, 0.8}, {0.1, 0.2, 0.7}});
    EXPECT_EQ(parts.size(), 2u);

    // Tracer round-off just beyond an edge is moved onto it, not cut away.
    parts = clip_to_triangle(Polyline{{0.5, 0.5, 0.0}, {-1.7e-8, 1.0000000171, -2e-16}});
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].back()[0], 0.0);
    EXPECT_NEAR(parts[0].back()[1], 1.0, 1e-15);
}

TEST(DrawMap, DrawsEveryCurveOnceAndNothingOutsideTheTriangle) {
    cli::plot::MapPicture picture;
    picture.ids = {"A&B", "C", "D"};
    picture.title = "test <system>";
    picture.subtitle = "1 atm";
    picture.points = {
        {{1, 0, 0}, 350.0, cli::plot::Stability::unstable_node, false, "A&B"},
        {{0, 1, 0}, 380.0, cli::plot::Stability::saddle, false, "C"},
        {{0, 0, 1}, 400.0, cli::plot::Stability::stable_node, false, "D"},
        {{0.3, 0.3, 0.4}, 390.0, cli::plot::Stability::unclassified, true, ""},
    };
    // A curve overshooting two edges, one wholly outside, one along an edge.
    picture.residue_curves = {
        {{0.9, 0.1, 0.0}, {0.5, 0.6, -0.1}, {0.1, 0.5, 0.4}, {-0.2, 0.2, 1.0}},
        {{-0.3, 0.8, 0.5}, {-0.2, 0.2, 1.0}},
        {{1, 0, 0}, {0.5, 0.5, 0}, {0, 1, 0}}};
    picture.boundaries = {{{0.6, 0.2, 0.2}, {0.2, 0.6, 0.2}}};
    picture.envelopes = {{{0.0, 0.9, 0.1}, {0.2, 0.5, 0.3}, {0.0, 0.1, 0.9}}};
    picture.tie_lines = {{{0.0, 0.9, 0.1}, {0.0, 0.1, 0.9}, Composition{0.1, 0.4, 0.5}}};
    picture.vapour_line = {{0.1, 0.4, 0.5}, {0.15, 0.4, 0.45}};
    picture.isovolatility = {{{0.5, 0.0, 0.5}, {0.3, 0.5, 0.2}}};

    std::string error;
    const auto doc = svg_test::parse(document_of(cli::plot::draw_map(picture)), &error);
    ASSERT_TRUE(doc) << error;
    const svg_test::Node* outline = doc->by_id("triangle");
    ASSERT_NE(outline, nullptr);
    const auto corners = svg_test::path_points(outline->attribute("d"));
    ASSERT_TRUE(corners && corners->size() == 1 && (*corners)[0].size() == 3);
    const auto top = (*corners)[0][0], left = (*corners)[0][1], right = (*corners)[0][2];
    EXPECT_LT(top.y, left.y);  // usual orientation: standing on its base
    EXPECT_LT(left.x, right.x);

    const auto with_class = [&](const char* c) {
        return doc->all([&](const svg_test::Node& n) { return n.has_class(c); });
    };
    // The curve wholly outside is not drawn; each other curve is one path.
    EXPECT_EQ(with_class("residue-curve").size(), 2u);
    EXPECT_EQ(with_class("boundary").size(), 1u);
    EXPECT_EQ(with_class("envelope").size(), 1u);
    EXPECT_EQ(with_class("tie-line").size(), 1u);
    EXPECT_EQ(with_class("vapour-line").size(), 1u);
    EXPECT_EQ(with_class("isovolatility-curve").size(), 1u);

    const svg_test::Node* plot = doc->by_id("plot");
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->attribute("clip-path"), "url(#triangle-clip)");
    std::size_t checked = 0;
    for (const auto* path : plot->all([](const svg_test::Node& n) { return n.name == "path"; })) {
        const auto parts = svg_test::path_points(path->attribute("d"));
        ASSERT_TRUE(parts) << path->attribute("d");
        for (const auto& part : *parts) {
            for (const auto& p : part) {
                // Two decimals per coordinate: up to 0.005 sqrt(2) px of rounding.
                EXPECT_LE(svg_test::outside_by(p, top, left, right), 0.008)
                    << path->attribute("class") << " at " << p.x << ", " << p.y;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 20u);

    // Markers sit where the compositions belong, with their kind.
    const auto markers = with_class("marker");
    ASSERT_EQ(markers.size(), 4u);
    const char* kinds[] = {"unstable-node", "saddle", "stable-node", "unclassified"};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto at = svg_test::translation(markers[i]->attribute("transform"));
        ASSERT_TRUE(at);
        const auto expected = svg_test::place(picture.points[i].x, top, left, right);
        EXPECT_NEAR(at->x, expected.x, 0.006);
        EXPECT_NEAR(at->y, expected.y, 0.006);
        EXPECT_TRUE(markers[i]->has_class(kinds[i]));
    }
    // The text made it through escaping.
    EXPECT_NE(doc->by_id("title")->all_text().find("test <system>"), std::string::npos);
}

}  // namespace
