#include "cli/map_command.hpp"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <spawn.h>
#include <sys/wait.h>
#include <toml++/toml.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "cli/quantity.hpp"
#include "cli/ternary_plot.hpp"
#include "engine/azeotrope_search.hpp"
#include "platform/units.hpp"

extern char** environ;

namespace cli {
namespace {

using nlohmann::json;
using platform::CComBSTR;
using platform::CComVariant;
using platform::LONG;
using plot::Composition;
using plot::Polyline;

// ---------------------------------------------------------------------------------------------
// Talking to the engine

/// A safe array of doubles or 32-bit integers: extents and elements in storage order (first
/// index fastest); empty for anything else, e.g. a variant a method left untouched.
struct Array {
    std::vector<long> extents;
    std::vector<double> values;
    double at(long i, long j) const {
        return values.at(static_cast<std::size_t>(j * extents.at(0) + i));
    }
    double at(long i, long j, long k) const {
        return values.at(static_cast<std::size_t>((k * extents.at(1) + j) * extents.at(0) + i));
    }
};

Array array_of(const platform::VARIANT& v) {
    Array a;
    const bool doubles = v.vt == (platform::VT_ARRAY | platform::VT_R8);
    if ((!doubles && v.vt != (platform::VT_ARRAY | platform::VT_I4)) || !v.parray) { return a; }
    for (platform::UINT d = 1; d <= platform::SafeArrayGetDim(v.parray); ++d) {
        LONG lower = 0, upper = -1;
        platform::SafeArrayGetLBound(v.parray, d, &lower);
        platform::SafeArrayGetUBound(v.parray, d, &upper);
        a.extents.push_back(upper - lower + 1);
    }
    const std::size_t n = platform::safe_array_element_count(v.parray);
    void* data = nullptr;
    if (platform::FAILED(platform::SafeArrayAccessData(v.parray, &data))) { return {}; }
    for (std::size_t i = 0; i < n; ++i) {
        a.values.push_back(doubles ? static_cast<const double*>(data)[i]
                                   : static_cast<const std::int32_t*>(data)[i]);
    }
    platform::SafeArrayUnaccessData(v.parray);
    return a;
}

CComVariant double_array(const Composition& x) {
    platform::SAFEARRAY* psa = platform::SafeArrayCreateVector(platform::VT_R8, 0, 3);
    if (!psa) { throw std::bad_alloc(); }
    for (LONG i = 0; i < 3; ++i) {
        platform::SafeArrayPutElement(psa, &i, &x[static_cast<std::size_t>(i)]);
    }
    CComVariant v;
    v.vt = platform::VT_ARRAY | platform::VT_R8;
    v.parray = psa;
    return v;
}

void check(platform::HRESULT hr, std::string_view what) {
    if (platform::FAILED(hr)) {
        const auto info = platform::take_error_info();
        throw std::runtime_error(fmt::format("{} failed (status 0x{:08X}){}", what,
                                             platform::hresult_bits(hr),
                                             info ? ": " + info->description : std::string()));
    }
}

LONG error_code(engine::IDistillationMap* map) {
    LONG e = 0;
    map->get_ErrorCode(&e);
    return e;
}

/// The curves of a curves x points x 3 array, each cut at its first all -1.0 point.
std::vector<Polyline> curves_of(const Array& a) {
    std::vector<Polyline> curves;
    if (a.extents.size() != 3 || a.extents[2] != 3) { return curves; }
    for (long c = 0; c < a.extents[0]; ++c) {
        Polyline points;
        for (long p = 0; p < a.extents[1]; ++p) {
            const Composition x{a.at(c, p, 0), a.at(c, p, 1), a.at(c, p, 2)};
            if (x[0] == -1.0 && x[1] == -1.0 && x[2] == -1.0) { break; }
            points.push_back(x);
        }
        curves.push_back(std::move(points));
    }
    return curves;
}

Composition row(const Array& a, long r) { return {a.at(r, 0), a.at(r, 1), a.at(r, 2)}; }

plot::Stability stability_of(double code) {
    if (code == 1) { return plot::Stability::stable_node; }
    if (code == 2) { return plot::Stability::saddle; }
    if (code == 3) { return plot::Stability::unstable_node; }
    return plot::Stability::unclassified;
}

/// Progress on standard error while it is a terminal: one line, rewritten in place.
class Progress {
public:
    Progress() : on_(::isatty(STDERR_FILENO) == 1) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress() { done(); }
    void show(std::string_view what) {
        if (!on_) { return; }
        std::fprintf(stderr, "\rdistil map: %-58.58s", std::string(what).c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void done() {
        if (shown_) {
            std::fprintf(stderr, "\r%70s\r", "");
            std::fflush(stderr);
            shown_ = false;
        }
    }

private:
    bool on_;
    bool shown_ = false;
};

// ---------------------------------------------------------------------------------------------
// Start points of the residue curves

/// Compositions at `radius` from `centre`, towards points spread round the edges of the
/// triangle, keeping those strictly inside (a residue curve started on an edge stays on it).
std::vector<Composition> ring(const Composition& centre, double radius) {
    std::vector<Composition> targets{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (const double t : {0.125, 0.375, 0.625, 0.875}) {
        targets.push_back({t, 1 - t, 0});
        targets.push_back({0, t, 1 - t});
        targets.push_back({1 - t, 0, t});
    }
    std::vector<Composition> out;
    for (const Composition& q : targets) {
        Composition s{};
        for (std::size_t i = 0; i < 3; ++i) { s[i] = (1 - radius) * centre[i] + radius * q[i]; }
        if (*std::min_element(s.begin(), s.end()) > 1e-3) { out.push_back(s); }
    }
    return out;
}

/// Start points in order of importance: round every unstable node (every distillation region
/// has one, and its residue curves fan out from it), round every saddle (where regions meet),
/// round every stable node, then a lattice over the whole triangle.
std::vector<Composition> start_points(const std::vector<plot::SingularPoint>& points, int grid) {
    std::vector<Composition> seeds;
    for (const auto& p : points) {
        if (p.stability == plot::Stability::unstable_node) {
            const auto r = ring(p.x, 0.04);
            seeds.insert(seeds.end(), r.begin(), r.end());
        }
    }
    for (const auto& p : points) {
        if (p.stability == plot::Stability::saddle) {
            const auto r = ring(p.x, 0.05);
            seeds.insert(seeds.end(), r.begin(), r.end());
        }
    }
    // Residue curves converge on stable nodes from every side the regions touch them.
    for (const auto& p : points) {
        if (p.stability == plot::Stability::stable_node) {
            const auto r = ring(p.x, 0.08);
            seeds.insert(seeds.end(), r.begin(), r.end());
        }
    }
    for (int i = 1; i < grid; ++i) {
        for (int j = 1; i + j < grid; ++j) {
            seeds.push_back({double(i) / grid, double(j) / grid, double(grid - i - j) / grid});
        }
    }
    return seeds;
}

/// Curves closer than this (unit triangle) are the same curve on the picture.
constexpr double kSameCurve = 0.012;
constexpr std::size_t kMaxResidueCurves = 80;

bool near_any(const Composition& x, const std::vector<Polyline>& curves, double limit) {
    return std::any_of(curves.begin(), curves.end(),
                       [&](const Polyline& c) { return plot::distance_to_polyline(x, c) < limit; });
}

/// True when every point of `curve` lies close to the curves already drawn.
bool redundant(const Polyline& curve, const std::vector<Polyline>& drawn) {
    return std::all_of(curve.begin(), curve.end(),
                       [&](const Composition& x) { return near_any(x, drawn, kSameCurve); });
}

/// A boundary along an edge of the triangle is the edge itself, drawn anyway.
bool on_an_edge(const Polyline& curve) {
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::all_of(curve.begin(), curve.end(),
                        [&](const Composition& x) { return std::abs(x[i]) < 1e-6; })) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Words for the title

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') { c = static_cast<char>(c - 'a' + 'A'); }
    }
    return s;
}

/// The property method behind an option set, as the problem file defines it ("NRTL, parameter
/// set EWB-1 (option set NRTLEWB)"); for a problem built from the databank, its method. The
/// file was opened by the host already, so a failure here only shortens the title.
std::string method_text(const ProblemSource& source,
                        const Session& session,
                        const std::string& option_set) {
    if (source.file.empty()) {
        const std::string& m = session.built_option_set();
        return m.empty() ? "global option set" : m + ", databank parameters";
    }
    try {
        const toml::table file = toml::parse_file(source.file);
        std::string wanted = option_set;
        if (wanted.empty()) { wanted = file["global_option_set"].value_or(std::string()); }
        const toml::array* sets = file["option_set"].as_array();
        for (std::size_t i = 0; sets && i < sets->size(); ++i) {
            const toml::table* set = (*sets)[i].as_table();
            if (!set) { continue; }
            const std::string name = (*set)["name"].value_or(std::string());
            if (!wanted.empty() ? upper(name) != upper(wanted) : i != 0) { continue; }
            std::string text = upper((*set)["method"].value_or(std::string("?")));
            if (const auto p = (*set)["parameter_set"].value<std::string>()) {
                text += ", parameter set " + *p;
            }
            return fmt::format("{} (option set {})", text, name);
        }
    } catch (const std::exception&) {}
    return option_set.empty() ? "global option set" : "option set " + option_set;
}

std::string pressure_text(double pa) {
    if (std::abs(pa - units::kStandardAtmosphere) < 1e-6) { return "101325 Pa (1 atm)"; }
    return fmt::format("{:.6g} Pa ({:.4g} bar)", pa, pa / 1e5);
}

// ---------------------------------------------------------------------------------------------
// The PNG

/// Renders the SVG with rsvg-convert (librsvg2-bin), started directly (no shell, so file names
/// need no quoting).
void render_png(const std::string& svg_file, const std::string& png_file) {
    const char* program = "rsvg-convert";
    std::vector<std::string> words{program, "--format", "png",    "--background-color",
                                   "white", "--output", png_file, svg_file};
    std::vector<char*> argv;
    for (std::string& w : words) { argv.push_back(w.data()); }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, program, nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        throw std::runtime_error(fmt::format(
            "--png: cannot run {} ({}); install the Debian package librsvg2-bin. The SVG is in "
            "'{}'",
            program, std::strerror(spawned), svg_file));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) { throw std::runtime_error("--png: lost the renderer process"); }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // posix_spawnp reports a missing program as exit status 127 of the child on glibc.
        const bool missing = WIFEXITED(status) && WEXITSTATUS(status) == 127;
        throw std::runtime_error(
            fmt::format("--png: {} {}; the SVG is in '{}'", program,
                        missing ? "was not found (install the Debian package librsvg2-bin)"
                                : "could not render the picture",
                        svg_file));
    }
}

}  // namespace

int run_map(const ProblemSource& source, const MapOptions& options, std::ostream& out) {
    const AnalysisOptions& a = options.analysis;
    if (options.svg.empty()) { throw InputError("name the picture with --svg FILE"); }
    if (a.csv) { throw InputError("map prints no --csv"); }
    if (a.phases != 2 && a.phases != 3) {
        throw InputError(fmt::format("--phases {}: use 2 or 3", a.phases));
    }
    if (options.grid < 0 || options.grid > 20) {
        throw InputError(fmt::format("--grid {}: use 0 (no lattice) to 20", options.grid));
    }
    if (options.tie_lines < 0 || options.tie_lines > 100) {
        throw InputError(fmt::format("--tie-lines {}: use 0 to 100", options.tie_lines));
    }
    if (!options.png.empty() && std::filesystem::weakly_canonical(options.png) ==
                                    std::filesystem::weakly_canonical(options.svg)) {
        throw InputError("--png and --svg name the same file");
    }
    const double pressure = parse_pressure(a.pressure);
    const double lle_temperature = parse_temperature(options.lle_temperature);
    // Refuse an unwritable picture before the work, not after it.
    {
        const bool existed = std::filesystem::exists(options.svg);
        std::ofstream probe(options.svg, std::ios::app);
        if (!probe) {
            throw InputError(fmt::format("--svg '{}': cannot write there ({})", options.svg,
                                         std::strerror(errno)));
        }
        probe.close();
        if (!existed) { std::filesystem::remove(options.svg); }
    }

    Progress progress;
    progress.show("opening the problem");
    const Session session(source);
    const std::vector<Component> components = session.selected();
    if (components.size() != 3) {
        throw InputError(fmt::format(
            "a diagram has three components (top, left, right); {} has {} - name them with "
            "--components TOP,LEFT,RIGHT",
            session.description(), components.size()));
    }
    std::string option_set = a.option_set;
    if (!option_set.empty()) {
        const auto known = session.option_sets();
        if (std::none_of(known.begin(), known.end(),
                         [&](const std::string& k) { return upper(k) == upper(option_set); })) {
            throw InputError(fmt::format("option set '{}' is not in {} (it has: {})", option_set,
                                         session.description(), fmt::join(known, ", ")));
        }
    } else {
        option_set = session.built_option_set();
    }

    engine::IDistillationMap* map = session.map();
    const CComBSTR opset = CComBSTR::from_utf8(option_set);
    check(map->SetComponentData(CComBSTR::from_utf8(components[0].id),
                                CComBSTR::from_utf8(components[1].id),
                                CComBSTR::from_utf8(components[2].id)),
          "SetComponentData");
    check(map->SetPropertyData(opset, opset, opset, a.phases), "SetPropertyData");
    check(map->put_Pressure(pressure), "Pressure");
    check(map->put_CurveCalcOption(2), "CurveCalcOption");

    plot::MapPicture picture;
    for (std::size_t i = 0; i < 3; ++i) { picture.ids[i] = components[i].id; }
    picture.title = fmt::format("Residue curve map of {} / {} / {}", components[0].name,
                                components[1].name, components[2].name);
    const std::string method = method_text(source, session, option_set);
    picture.subtitle =
        fmt::format("{}, {}, {}", pressure_text(pressure), method,
                    a.phases == 3 ? "two liquids allowed (3 phases)" : "one liquid (2 phases)");

    // Singular points: the pure components and every azeotrope, as the search classified them.
    progress.show("searching for azeotropes");
    CComVariant pure_x, pure_t, pure_s;
    check(map->GetPureProperties(&pure_x, &pure_t, &pure_s), "GetPureProperties");
    LONG count = 0;
    CComVariant az_x, az_t, az_phase, az_s;
    check(map->GetAzeotropes(&count, &az_x, &az_t, &az_phase, &az_s), "GetAzeotropes");
    const auto* search = static_cast<const engine::CAzeotropeSearch*>(session.search());
    platform::DOUBLE* temperatures = nullptr;
    platform::LONGLONG* stability = nullptr;
    session.search()->get_BPTemperatures(&temperatures);
    session.search()->get_StabilityIndex(&stability);
    const long search_error = static_cast<long>(search->error_indicator());
    for (std::size_t i = 0; i < 3; ++i) {
        plot::SingularPoint p;
        p.x[i] = 1.0;
        p.temperature = temperatures ? temperatures[i] : std::nan("");
        p.stability =
            stability ? stability_of(double(stability[i])) : plot::Stability::unclassified;
        p.name = components[i].id;
        picture.points.push_back(p);
    }
    const Array ax = array_of(az_x), at = array_of(az_t), ap = array_of(az_phase),
                as = array_of(az_s);
    for (LONG k = 0; k < count && ax.extents.size() == 2; ++k) {
        plot::SingularPoint p;
        p.x = row(ax, k);
        p.temperature = at.values.at(static_cast<std::size_t>(k));
        p.stability = stability_of(as.values.at(static_cast<std::size_t>(k)));
        p.heterogeneous = ap.values.at(static_cast<std::size_t>(k)) == 2;
        picture.points.push_back(p);
    }

    // Boundaries first: residue curves that would only retrace one are left out below.
    progress.show("tracing distillation boundaries");
    LONG boundary_count = 0;
    CComVariant directions, boundary_store;
    check(map->GetDistillationBoundary(&boundary_count, &directions, &boundary_store),
          "GetDistillationBoundary");
    const LONG boundary_error = error_code(map);
    for (Polyline& c : curves_of(array_of(boundary_store))) {
        if (c.size() >= 2 && !on_an_edge(c)) { picture.boundaries.push_back(std::move(c)); }
    }

    const std::vector<Composition> seeds = start_points(picture.points, options.grid);
    std::vector<Polyline> drawn = picture.boundaries;
    long failed_curves = 0;
    for (std::size_t s = 0; s < seeds.size(); ++s) {
        if (picture.residue_curves.size() >= kMaxResidueCurves) { break; }
        if (near_any(seeds[s], drawn, kSameCurve)) { continue; }
        progress.show(fmt::format("residue curve from start point {} of {}", s + 1, seeds.size()));
        LONG direction = 0;
        CComVariant result;
        if (platform::FAILED(map->GetResidueCurve(double_array(seeds[s]), &direction, &result))) {
            // One start point the tracer refused costs one curve, not the map.
            platform::take_error_info();
            ++failed_curves;
            continue;
        }
        if (error_code(map) != 0) { ++failed_curves; }
        const Array r = array_of(result);
        Polyline curve;
        for (long p = 0; r.extents.size() == 2 && p < r.extents[0]; ++p) {
            curve.push_back(row(r, p));
        }
        if (direction < 0) { std::reverse(curve.begin(), curve.end()); }
        if (curve.size() < 2 || redundant(curve, drawn)) { continue; }
        drawn.push_back(curve);
        picture.residue_curves.push_back(std::move(curve));
    }

    LONG envelope_error = 0;
    if (options.envelope) {
        CComVariant store, ties, vapours;
        if (a.phases == 3) {
            progress.show("tracing the vapour-liquid-liquid envelope");
            double plait = 0.0;
            check(map->ComputeEnvelopeVLLE(), "ComputeEnvelopeVLLE");
            envelope_error = error_code(map);
            check(map->GetCurveVLLE(&store, &plait), "GetCurveVLLE");
            check(map->GetTieLinesVLLE(&ties, &vapours), "GetTieLinesVLLE");
            picture.envelope_label = "VLLE envelope (bubble points)";
        } else {
            progress.show("tracing the liquid-liquid envelope");
            check(map->put_Temperature(lle_temperature), "Temperature");
            check(map->ComputeEnvelopeLLE(), "ComputeEnvelopeLLE");
            envelope_error = error_code(map);
            check(map->GetCurveLLE(&store), "GetCurveLLE");
            check(map->GetTieLinesLLE(&ties), "GetTieLinesLLE");
            picture.envelope_label = fmt::format("LLE envelope at {:.2f} K", lle_temperature);
        }
        for (Polyline& e : curves_of(array_of(store))) {
            if (e.size() >= 2) { picture.envelopes.push_back(std::move(e)); }
        }
        const Array t = array_of(ties), y = array_of(vapours);
        const long tie_count = t.extents.size() == 2 && t.extents[1] == 3 ? t.extents[0] / 2 : 0;
        const bool with_vapour = y.extents.size() == 2 && y.extents[0] >= tie_count;
        for (long k = 0; with_vapour && k < tie_count; ++k) {
            picture.vapour_line.push_back(row(y, k));
        }
        // Some tie lines, spread evenly over those traced, both ends included.
        const long shown = std::min<long>(tie_count, options.tie_lines);
        for (long i = 0; i < shown; ++i) {
            const long k =
                shown == 1 ? 0 : std::lround(double(i) * double(tie_count - 1) / double(shown - 1));
            plot::TieLine tie{row(t, 2 * k), row(t, 2 * k + 1), std::nullopt};
            if (with_vapour) { tie.vapour = row(y, k); }
            picture.tie_lines.push_back(tie);
        }
    }

    if (options.isovolatility) {
        progress.show("tracing isovolatility curves");
        LONG n = 0;
        CComVariant store;
        check(map->GetIsovolatilityCurve(&n, &store), "GetIsovolatilityCurve");
        for (Polyline& c : curves_of(array_of(store))) {
            if (c.size() >= 2) { picture.isovolatility.push_back(std::move(c)); }
        }
    }

    progress.show("drawing");
    {
        std::ofstream file(options.svg, std::ios::trunc);
        svg::write_document(file, plot::draw_map(picture));
        file.close();
        if (!file) {
            throw std::runtime_error(
                fmt::format("cannot write '{}': {}", options.svg, std::strerror(errno)));
        }
    }
    if (!options.png.empty()) {
        progress.show("rendering the PNG");
        render_png(options.svg, options.png);
    }
    progress.done();

    const bool failed = search_error != 0 || boundary_error != 0 || envelope_error != 0;
    if (a.json) {
        json doc;
        doc["svg"] = options.svg;
        doc["png"] = options.png.empty() ? json(nullptr) : json(options.png);
        doc["pressure_Pa"] = pressure;
        doc["components"] = {picture.ids[0], picture.ids[1], picture.ids[2]};
        doc["method"] = method;
        doc["phases"] = a.phases;
        doc["singular_points"] = json::array();
        for (const auto& p : picture.points) {
            doc["singular_points"].push_back(
                {{"x", p.x},
                 {"T_K", p.temperature},
                 {"stability", plot::stability_name(p.stability)},
                 {"phase",
                  !p.name.empty() ? "pure" : (p.heterogeneous ? "heterogeneous" : "homogeneous")}});
        }
        doc["start_points"] = seeds.size();
        doc["residue_curves"] = picture.residue_curves.size();
        doc["boundaries"] = picture.boundaries.size();
        doc["envelopes"] = picture.envelopes.size();
        doc["tie_lines"] = picture.tie_lines.size();
        doc["isovolatility_curves"] = picture.isovolatility.size();
        doc["error_codes"] = {{"azeotropes", search_error},
                              {"boundaries", boundary_error},
                              {"envelope", envelope_error},
                              {"residue_curves_failed", failed_curves}};
        out << doc.dump() << '\n';
    } else {
        fmt::print(out, "Residue curve map of {} / {} / {} at {}, {}\n", picture.ids[0],
                   picture.ids[1], picture.ids[2], pressure_text(pressure), method);
        fmt::print(out, "Singular points: {} pure components, {} azeotropes\n", 3, count);
        fmt::print(out, "Residue curves: {} (from {} start points{})\n",
                   picture.residue_curves.size(), seeds.size(),
                   failed_curves ? fmt::format(", {} stopped early", failed_curves) : "");
        fmt::print(out, "Distillation boundaries: {}\n", picture.boundaries.size());
        if (options.envelope) {
            fmt::print(out, "Two-liquid envelopes: {}, tie lines drawn: {}\n",
                       picture.envelopes.size(), picture.tie_lines.size());
        }
        if (options.isovolatility) {
            fmt::print(out, "Isovolatility curves: {}\n", picture.isovolatility.size());
        }
        if (failed) {
            fmt::print(out, "Error codes: azeotrope search {}, boundaries {}, envelope {}\n",
                       search_error, boundary_error, envelope_error);
        }
        fmt::print(out, "Picture: {}\n", options.svg);
        if (!options.png.empty()) { fmt::print(out, "PNG: {}\n", options.png); }
    }
    return failed ? kAnalysisFailedStatus : 0;
}

MapCommand::MapCommand(CLI::App& app) {
    command_ = app.add_subcommand(
        "map", "the residue-curve map of three components as a picture (SVG, optionally PNG)");
    CLI::App& c = *command_;
    c.add_option("problem", source_.file, "problem-definition file (TOML)");
    c.add_option("--components", source_.components,
                 "TOP,LEFT,RIGHT: the corners of the triangle; without a problem file, databank "
                 "ids to build the problem from");
    c.add_option("--method", source_.method,
                 "property method of a problem built from the databank: IDEAL, WILSON, NRTL, "
                 "UNIQUAC or UNIFAC");
    c.add_option("--work-dir", source_.work_dir,
                 "keep the host's history and report files in this directory");
    MapOptions& o = options_;
    c.add_option("--pressure", o.analysis.pressure,
                 "pressure: Pa (default unit), kPa, MPa, bar, atm or mmHg; default 1 atm");
    c.add_option("--option-set", o.analysis.option_set,
                 "option set of the problem (default: its global one)");
    c.add_option("--phases", o.analysis.phases,
                 "phase count of the flashes: 2, or 3 to let the liquid split (heterogeneous "
                 "azeotropes, VLLE envelope)");
    c.add_option("--svg", o.svg, "the picture to write (SVG)")->required();
    c.add_option("--png", o.png, "also write a PNG (needs rsvg-convert, Debian librsvg2-bin)");
    c.add_flag("--isovolatility", o.isovolatility, "draw the isovolatility curves too");
    c.add_flag(
        "--no-envelope", [&o](std::int64_t) { o.envelope = false; }, "draw no two-liquid envelope");
    c.add_option("--lle-temperature", o.lle_temperature,
                 "temperature of the liquid-liquid envelope with --phases 2: K (default) or C; "
                 "default 298.15 K");
    c.add_option("--grid", o.grid,
                 "residue curves also start on a lattice of this many divisions (0 to 20, "
                 "default 9)");
    c.add_option("--tie-lines", o.tie_lines, "draw at most this many tie lines (default 10)");
    c.add_flag("--json", o.analysis.json, "print the summary as one JSON object");
}

bool MapCommand::parsed() const { return command_->parsed(); }

}  // namespace cli
