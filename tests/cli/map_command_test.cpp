// `distil map` run as a user runs it, judged against the program's other commands: the markers
// must sit where `distil azeotropes` puts the singular points, the heavy curves must be the
// curves of `distil boundaries`, the envelope that of `distil envelope`; residue curves must run
// from unstable to stable nodes; nothing may be drawn outside the triangle; and the PNG that
// rsvg-convert renders must show the map.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "tests/cli/svg_reader.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using svg_test::Node;
using svg_test::Point;

struct Outcome {
    int status = -1;
    std::string out, err;
};

/// Runs distil with `arguments` (shell words), after `environment` (e.g. "PATH=/x"), and
/// collects its output and exit status.
Outcome distil(const std::string& arguments, const std::string& environment = "") {
    const fs::path err_file =
        fs::temp_directory_path() / ("cli_map_tests_stderr_" + std::to_string(::getpid()));
    const std::string command = (environment.empty() ? "" : "env " + environment + " ") +
                                DISTIL_EXECUTABLE + " " + arguments + " 2>" + err_file.string();
    Outcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) { return run; }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) { run.out.append(buffer, n); }
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(err_file);
    std::stringstream s;
    s << in.rdbuf();
    run.err = s.str();
    fs::remove(err_file);
    return run;
}

std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool renderer_installed() { return std::system("command -v rsvg-convert >/dev/null 2>&1") == 0; }

std::string example(const char* name) { return std::string(DISTIL_EXAMPLES_DIR) + "/" + name; }

std::array<double, 3> composition(const json& x) {
    return {x.at(0).get<double>(), x.at(1).get<double>(), x.at(2).get<double>()};
}

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

/// The parsed picture with the triangle it declares.
struct Picture {
    Node doc;
    Point top, left, right;

    std::vector<const Node*> with_class(const char* c) const {
        return doc.all([&](const Node& n) { return n.has_class(c); });
    }
    Point place(const std::array<double, 3>& x) const {
        return svg_test::place(x, top, left, right);
    }
    std::vector<std::vector<Point>> parts(const Node& path) const {
        return svg_test::path_points(path.attribute("d"))
            .value_or(std::vector<std::vector<Point>>{});
    }
};

::testing::AssertionResult read_picture(const fs::path& file, Picture& p) {
    std::string error;
    auto doc = svg_test::parse(read_file(file), &error);
    if (!doc) {
        return ::testing::AssertionFailure() << file << " is not well-formed XML: " << error;
    }
    p.doc = std::move(*doc);
    const Node* outline = p.doc.by_id("triangle");
    if (!outline) { return ::testing::AssertionFailure() << "no triangle outline"; }
    const auto corners = svg_test::path_points(outline->attribute("d"));
    if (!corners || corners->size() != 1 || (*corners)[0].size() != 3) {
        return ::testing::AssertionFailure() << "triangle outline " << outline->attribute("d");
    }
    p.top = (*corners)[0][0];
    p.left = (*corners)[0][1];
    p.right = (*corners)[0][2];
    return ::testing::AssertionSuccess();
}

/// Ethanol / water / benzene at 101325 Pa with two liquids allowed (the demo's map), drawn once
/// for the whole suite together with the answers of the other commands.
class EthanolWaterBenzeneMap : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("cli_map_tests_" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        const std::string problem = example("ethanol-water-benzene.toml");
        const std::string png =
            renderer_installed() ? " --png " + (*dir_ / "map.png").string() : "";
        map_ = new Outcome(distil("map " + problem + " --pressure 101325 --phases 3 --json --svg " +
                                  (*dir_ / "map.svg").string() + png));
        azeotropes_ = new Outcome(distil("azeotropes " + problem + " --phases 3 --json"));
        boundaries_ = new Outcome(distil("boundaries " + problem + " --phases 3 --json"));
        envelope_ = new Outcome(distil("envelope " + problem + " --vlle --json"));
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
        delete map_;
        delete azeotropes_;
        delete boundaries_;
        delete envelope_;
    }
    void SetUp() override {
        ASSERT_EQ(map_->status, 0) << map_->err;
        ASSERT_TRUE(read_picture(*dir_ / "map.svg", picture_));
        summary_ = json::parse(map_->out);
    }

    static fs::path* dir_;
    static Outcome *map_, *azeotropes_, *boundaries_, *envelope_;
    Picture picture_;
    json summary_;
};
fs::path* EthanolWaterBenzeneMap::dir_ = nullptr;
Outcome* EthanolWaterBenzeneMap::map_ = nullptr;
Outcome* EthanolWaterBenzeneMap::azeotropes_ = nullptr;
Outcome* EthanolWaterBenzeneMap::boundaries_ = nullptr;
Outcome* EthanolWaterBenzeneMap::envelope_ = nullptr;

TEST_F(EthanolWaterBenzeneMap, MarkersSitWhereTheAzeotropeSearchPutsTheSingularPoints) {
    ASSERT_EQ(azeotropes_->status, 0) << azeotropes_->err;
    const json search = json::parse(azeotropes_->out);
    // The usual orientation, with the corners named as the engine names the components.
    EXPECT_LT(picture_.top.y, picture_.left.y);
    EXPECT_NEAR(picture_.left.y, picture_.right.y, 1e-9);
    EXPECT_LT(picture_.left.x, picture_.right.x);

    struct Expected {
        std::array<double, 3> x;
        std::string kind, name;
    };
    std::vector<Expected> expected;
    for (std::size_t i = 0; i < 3; ++i) {
        std::array<double, 3> x{0, 0, 0};
        x[i] = 1.0;
        expected.push_back(
            {x, search.at("pure")[i].at("stability"), search.at("pure")[i].at("component")});
    }
    for (const auto& a : search.at("azeotropes")) {
        expected.push_back({composition(a.at("x")), a.at("stability"), ""});
    }
    // Four azeotropes: two heterogeneous ones among them (water/benzene and the ternary).
    ASSERT_EQ(search.at("azeotropes").size(), 4u);

    const auto markers = picture_.with_class("marker");
    ASSERT_EQ(markers.size(), expected.size());
    for (const Expected& e : expected) {
        const Point want = picture_.place(e.x);
        const Node* found = nullptr;
        for (const Node* m : markers) {
            const auto at = svg_test::translation(m->attribute("transform"));
            ASSERT_TRUE(at) << m->attribute("transform");
            // The file carries hundredths of a pixel.
            if (distance(*at, want) < 0.01) { found = m; }
        }
        ASSERT_NE(found, nullptr) << "no marker at " << want.x << ", " << want.y;
        std::string kind = e.kind;
        std::replace(kind.begin(), kind.end(), ' ', '-');
        EXPECT_TRUE(found->has_class(kind)) << found->attribute("class") << " for " << e.kind;
        if (!e.name.empty()) {
            const Node& title = found->children.at(0);
            EXPECT_EQ(title.name, "title");
            EXPECT_EQ(title.text.rfind(e.name + ":", 0), 0u) << title.text;
        }
    }
    // Quiet when standard error is not a terminal.
    EXPECT_EQ(map_->err, "");
}

TEST_F(EthanolWaterBenzeneMap, DrawsOnePathPerTracedCurveAndTheEnginesBoundariesHeavier) {
    ASSERT_EQ(boundaries_->status, 0) << boundaries_->err;
    ASSERT_EQ(envelope_->status, 0) << envelope_->err;
    // The separatrices of `distil boundaries`; those along an edge are the triangle itself.
    std::vector<json> separatrices;
    const json traced = json::parse(boundaries_->out);
    for (const auto& c : traced.at("curves")) {
        bool on_edge = false;
        for (std::size_t i = 0; i < 3; ++i) {
            bool all_zero = true;
            for (const auto& p : c.at("points")) {
                all_zero = all_zero && std::abs(p.at(i).get<double>()) < 1e-6;
            }
            on_edge = on_edge || all_zero;
        }
        if (!on_edge) { separatrices.push_back(c); }
    }
    // Three separatrices meet at the ternary heteroazeotrope, one from each binary saddle.
    ASSERT_EQ(separatrices.size(), 3u);
    const auto heavy = picture_.with_class("boundary");
    ASSERT_EQ(heavy.size(), separatrices.size());
    for (std::size_t k = 0; k < heavy.size(); ++k) {
        const auto parts = picture_.parts(*heavy[k]);
        ASSERT_EQ(parts.size(), 1u);
        const auto& points = separatrices[k].at("points");
        EXPECT_LT(distance(parts[0].front(), picture_.place(composition(points.front()))), 0.01);
        EXPECT_LT(distance(parts[0].back(), picture_.place(composition(points.back()))), 0.01);
        // Heavier than any residue curve.
        EXPECT_GT(
            std::stod(heavy[k]->attribute("stroke-width")),
            2.0 * std::stod(picture_.with_class("residue-curve").at(0)->attribute("stroke-width")));
    }

    const json env = json::parse(envelope_->out);
    EXPECT_EQ(picture_.with_class("envelope").size(), env.at("envelopes").size());
    EXPECT_EQ(picture_.with_class("tie-line").size(),
              std::min<std::size_t>(10, env.at("tie_lines").size()));
    EXPECT_EQ(picture_.with_class("vapour-line").size(), 1u);

    const std::size_t residue = picture_.with_class("residue-curve").size();
    EXPECT_EQ(residue, summary_.at("residue_curves").get<std::size_t>());
    // Three distillation regions, each with several curves.
    EXPECT_GE(residue, 16u);
    EXPECT_EQ(summary_.at("error_codes").at("azeotropes"), 0);
    EXPECT_EQ(summary_.at("error_codes").at("boundaries"), 0);
    EXPECT_EQ(summary_.at("error_codes").at("envelope"), 0);
}

TEST_F(EthanolWaterBenzeneMap, ResidueCurvesRunFromAnUnstableNodeToAStableNode) {
    // Residue curves start at an unstable node and end at a stable node (temperature rises
    // along them); curves drawn the wrong way round, or cut short, end elsewhere.
    std::vector<Point> unstable, stable;
    for (const Node* m : picture_.with_class("marker")) {
        const Point at = *svg_test::translation(m->attribute("transform"));
        if (m->has_class("unstable-node")) { unstable.push_back(at); }
        if (m->has_class("stable-node")) { stable.push_back(at); }
    }
    ASSERT_EQ(unstable.size(), 1u);  // the ternary heteroazeotrope
    ASSERT_EQ(stable.size(), 3u);    // the three pure components
    const auto nearest = [](Point p, const std::vector<Point>& to) {
        double best = 1e300;
        for (const Point& q : to) { best = std::min(best, distance(p, q)); }
        return best;
    };
    for (const Node* curve : picture_.with_class("residue-curve")) {
        const auto parts = picture_.parts(*curve);
        ASSERT_FALSE(parts.empty());
        // 2 px on a triangle of 550 px: 0.004 in mole fraction.
        EXPECT_LT(nearest(parts.front().front(), unstable), 2.0) << curve->attribute("d");
        EXPECT_LT(nearest(parts.back().back(), stable), 2.0) << curve->attribute("d");
    }
    EXPECT_GE(picture_.with_class("arrow").size(), 10u);
}

TEST_F(EthanolWaterBenzeneMap, DrawsNothingOutsideTheTriangle) {
    const Node* plot = picture_.doc.by_id("plot");
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->attribute("clip-path"), "url(#triangle-clip)");
    std::size_t checked = 0;
    for (const Node* path : plot->all([](const Node& n) { return n.name == "path"; })) {
        const auto parts = svg_test::path_points(path->attribute("d"));
        ASSERT_TRUE(parts) << path->attribute("d");
        for (const auto& part : *parts) {
            for (const Point& p : part) {
                // Two decimals per coordinate: up to 0.005 sqrt(2) px of rounding.
                EXPECT_LE(svg_test::outside_by(p, picture_.top, picture_.left, picture_.right),
                          0.008)
                    << path->attribute("class") << " at " << p.x << ", " << p.y;
                ++checked;
            }
        }
    }
    // Only paths inside the plot: no other shapes that could escape the check.
    EXPECT_TRUE(plot->all([](const Node& n) { return n.name != "path" && n.name != "g"; }).empty());
    EXPECT_GT(checked, 500u);
}

TEST_F(EthanolWaterBenzeneMap, TheRenderedPictureShowsTheMap) {
    if (!renderer_installed()) {
        GTEST_SKIP() << "rsvg-convert (Debian librsvg2-bin) is not installed: no PNG to check";
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const std::string file = (*dir_ / "map.png").string();
    ASSERT_NE(png_image_begin_read_from_file(&image, file.c_str()), 0) << image.message;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0)
        << image.message;
    // The picture's own size, from the SVG.
    EXPECT_EQ(image.width, static_cast<unsigned>(std::stod(picture_.doc.attribute("width"))));
    EXPECT_EQ(image.height, static_cast<unsigned>(std::stod(picture_.doc.attribute("height"))));
    const auto pixel = [&](Point p) {
        const std::size_t i =
            (static_cast<std::size_t>(std::lround(p.y)) * image.width + std::lround(p.x)) * 3;
        return std::array<int, 3>{pixels.at(i), pixels.at(i + 1), pixels.at(i + 2)};
    };
    std::size_t inked = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        if (pixels[i] + pixels[i + 1] + pixels[i + 2] < 3 * 200) { ++inked; }
    }
    // Not blank, not a solid block: curves, text and markers cover a few percent of the page.
    const double share = double(inked) / double(image.width * image.height);
    EXPECT_GT(share, 0.02);
    EXPECT_LT(share, 0.5);
    // The markers are where the SVG says: stable nodes dark, saddles orange.
    for (const Node* m : picture_.with_class("marker")) {
        const auto c = pixel(*svg_test::translation(m->attribute("transform")));
        if (m->has_class("stable-node")) {
            EXPECT_LT(c[0] + c[1] + c[2], 3 * 90) << m->attribute("transform");
        }
        if (m->has_class("saddle")) {
            EXPECT_GT(c[0], 200);
            EXPECT_GT(c[0], c[1] + 30);
            EXPECT_GT(c[1], c[2] + 20);
        }
    }
    // Outside the triangle, away from labels (the bottom left corner of the page), it is white.
    const auto corner = pixel({3.0, std::stod(picture_.doc.attribute("height")) - 3.0});
    EXPECT_EQ(corner, (std::array<int, 3>{255, 255, 255}));
}

TEST(DistilMap, AcetoneChloroformMethanolWithIsovolatilityCurves) {
    const fs::path svg =
        fs::temp_directory_path() / ("cli_map_tests_acm_" + std::to_string(::getpid()) + ".svg");
    const std::string problem = example("acetone-chloroform-methanol.toml");
    const Outcome map =
        distil("map " + problem + " --isovolatility --grid 4 --json --svg " + svg.string());
    ASSERT_EQ(map.status, 0) << map.err;
    Picture picture;
    ASSERT_TRUE(read_picture(svg, picture));
    fs::remove(svg);
    const Outcome iso = distil("isovolatility " + problem + " --json");
    ASSERT_EQ(iso.status, 0) << iso.err;
    const auto curves = json::parse(iso.out).at("curves");
    // K_acetone = K_chloroform through their maximum azeotrope, and so on for each pair with
    // an azeotrope: three curves.
    EXPECT_EQ(curves.size(), 3u);
    EXPECT_EQ(picture.with_class("isovolatility-curve").size(), curves.size());
    // Miscible at 25 C: no envelope, and none drawn.
    EXPECT_TRUE(picture.with_class("envelope").empty());
    EXPECT_EQ(json::parse(map.out).at("envelopes"), 0);
    // The title names the system, the pressure and the property method.
    const std::string title = picture.doc.by_id("title")->all_text();
    EXPECT_NE(title.find("acetone / chloroform / methanol"), std::string::npos) << title;
    EXPECT_NE(title.find("101325 Pa"), std::string::npos) << title;
    EXPECT_NE(title.find("NRTL"), std::string::npos) << title;
    // The maximum-boiling acetone/chloroform azeotrope is a stable node on the left edge.
    std::size_t stable_on_edge = 0;
    for (const Node* m : picture.with_class("stable-node")) {
        const Point at = *svg_test::translation(m->attribute("transform"));
        if (std::abs(svg_test::outside_by(at, picture.top, picture.left, picture.right)) < 0.01 &&
            distance(at, picture.top) > 1 && distance(at, picture.left) > 1 &&
            distance(at, picture.right) > 1) {
            ++stable_on_edge;
        }
    }
    EXPECT_EQ(stable_on_edge, 1u);
}

TEST(DistilMap, RefusesBadInputWithOneLineAndWritesNothing) {
    const fs::path dir =
        fs::temp_directory_path() / ("cli_map_tests_bad_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string svg = (dir / "bad.svg").string();
    const std::string problem = example("ethanol-water-benzene.toml");
    const struct {
        std::string arguments;
        int status;
        const char* says;
    } cases[] = {
        {"map " + problem + " --phases 4 --svg " + svg, 1, "--phases 4"},
        {"map " + problem + " --grid 50 --svg " + svg, 1, "--grid 50"},
        {"map " + problem + " --tie-lines -1 --svg " + svg, 1, "--tie-lines"},
        {"map " + problem + " --components ETOH,WATER --svg " + svg, 1, "three components"},
        {"map " + problem + " --option-set NOPE --svg " + svg, 1, "NOPE"},
        {"map " + problem + " --pressure -5 --svg " + svg, 1, "-5"},
        {"map " + problem + " --lle-temperature hot --svg " + svg, 1, "hot"},
        {"map " + problem + " --svg " + (dir / "no" / "such" / "dir.svg").string(), 1,
         "cannot write"},
        {"map " + (dir / "missing.toml").string() + " --svg " + svg, 2, "missing.toml"},
        {"map " + problem + " --svg " + svg + " --png " + svg, 1, "same file"},
    };
    for (const auto& c : cases) {
        const Outcome run = distil(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(svg)) << c.arguments;
    }
    // --svg is required.
    EXPECT_NE(distil("map " + problem).status, 0);
    fs::remove_all(dir);
}

TEST(DistilMap, ShowsProgressOnlyOnATerminal) {
    // util-linux `script` runs the program on a pseudo-terminal (standard output and error
    // both go to it); the fixture above checks the quiet case with standard error in a file.
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no `script` program to provide a terminal";
    }
    const fs::path svg =
        fs::temp_directory_path() / ("cli_map_tests_tty_" + std::to_string(::getpid()) + ".svg");
    const std::string command =
        std::string(DISTIL_EXECUTABLE) + " map " + example("aromatics.toml") +
        " --components BENZENE,TOLUENE,PXYLENE --grid 3 --svg " + svg.string();
    FILE* pipe = ::popen(("script -qec '" + command + "' /dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string seen;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) { seen.append(buffer, n); }
    const int raw = ::pclose(pipe);
    fs::remove(svg);
    ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << seen;
    // Rewritten in place with carriage returns, and cleared before the summary.
    EXPECT_NE(seen.find("\rdistil map: residue curve from start point 1 of"), std::string::npos)
        << seen;
    const auto summary = seen.find("Residue curve map of BENZENE");
    ASSERT_NE(summary, std::string::npos) << seen;
    const auto cleared = seen.rfind("\r" + std::string(70, ' ') + "\r", summary);
    ASSERT_NE(cleared, std::string::npos) << seen;
    EXPECT_LT(seen.rfind("\rdistil map:", summary), cleared);
}

TEST(DistilMap, WithoutTheRendererTheSvgIsStillWrittenAndThePngRefused) {
    const fs::path dir =
        fs::temp_directory_path() / ("cli_map_tests_norender_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // No PATH entry holds rsvg-convert: the program looks it up there and nowhere else.
    const Outcome run = distil("map " + example("aromatics.toml") +
                                   " --components BENZENE,TOLUENE,PXYLENE --grid 3 --svg " +
                                   (dir / "m.svg").string() + " --png " + (dir / "m.png").string(),
                               "PATH=" + (dir / "nothing").string());
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("librsvg2-bin"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "m.png"));
    Picture picture;
    EXPECT_TRUE(read_picture(dir / "m.svg", picture));
    // An ideal-like system: no azeotrope, no boundary, benzene the unstable node.
    EXPECT_EQ(picture.with_class("marker").size(), 3u);
    EXPECT_TRUE(picture.with_class("boundary").empty());
    ASSERT_EQ(picture.with_class("unstable-node").size(), 1u);
    EXPECT_LT(distance(*svg_test::translation(
                           picture.with_class("unstable-node")[0]->attribute("transform")),
                       picture.top),
              0.01);
    fs::remove_all(dir);
}

}  // namespace
