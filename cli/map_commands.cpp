#include "cli/map_commands.hpp"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "cli/quantity.hpp"
#include "engine/azeotrope_search.hpp"
#include "platform/units.hpp"

namespace cli {
namespace {

using nlohmann::json;
using platform::CComBSTR;
using platform::CComVariant;
using platform::LONG;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') { c = static_cast<char>(c - 'a' + 'A'); }
    }
    return s;
}

/// The option set to use: the one asked for (checked against the problem), else the one the
/// problem was built with, else "" (the host's global one).
std::string option_set_of(const Session& session, const AnalysisOptions& options) {
    if (options.option_set.empty()) { return session.built_option_set(); }
    const std::vector<std::string> known = session.option_sets();
    if (std::none_of(known.begin(), known.end(),
                     [&](const std::string& k) { return upper(k) == upper(options.option_set); })) {
        throw InputError(fmt::format("option set '{}' is not in {} (it has: {})",
                                     options.option_set, session.description(),
                                     fmt::join(known, ", ")));
    }
    return options.option_set;
}

void check_phases(int phases) {
    if (phases != 2 && phases != 3) {
        throw InputError(fmt::format("--phases {}: use 2 or 3", phases));
    }
}

/// Mole fractions normalised to sum 1, one per component.
std::vector<double> composition(std::string_view text, std::size_t n, std::string_view what) {
    std::vector<double> x = parse_mole_fractions(text);
    if (x.size() != n) {
        throw InputError(fmt::format("{}: {} mole fractions for {} components", what, x.size(), n));
    }
    double sum = 0.0;
    for (const double v : x) { sum += v; }
    for (double& v : x) { v /= sum; }
    return x;
}

/// What a safe array holds: extents and elements in storage order (first index fastest).
struct Array {
    std::vector<long> extents;
    std::vector<double> values;
    double at(long i, long j) const {
        return values.at(static_cast<std::size_t>(j * extents[0] + i));
    }
    double at(long i, long j, long k) const {
        return values.at(static_cast<std::size_t>((k * extents[1] + j) * extents[0] + i));
    }
};

Array array_of(const platform::VARIANT& v) {
    Array a;
    const bool doubles = v.vt == (platform::VT_ARRAY | platform::VT_R8);
    if (!doubles && v.vt != (platform::VT_ARRAY | platform::VT_I4)) { return a; }
    for (platform::UINT d = 1; d <= platform::SafeArrayGetDim(v.parray); ++d) {
        LONG lower = 0, upper_bound = -1;
        platform::SafeArrayGetLBound(v.parray, d, &lower);
        platform::SafeArrayGetUBound(v.parray, d, &upper_bound);
        a.extents.push_back(upper_bound - lower + 1);
    }
    const std::size_t n = platform::safe_array_element_count(v.parray);
    void* data = nullptr;
    platform::SafeArrayAccessData(v.parray, &data);
    for (std::size_t i = 0; i < n; ++i) {
        a.values.push_back(doubles ? static_cast<const double*>(data)[i]
                                   : static_cast<const std::int32_t*>(data)[i]);
    }
    platform::SafeArrayUnaccessData(v.parray);
    return a;
}

CComVariant double_array(const std::vector<double>& values) {
    CComVariant v;
    platform::SAFEARRAY* psa = platform::SafeArrayCreateVector(
        platform::VT_R8, 0, static_cast<platform::ULONG>(values.size()));
    if (!psa) { throw std::bad_alloc(); }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const LONG index = static_cast<LONG>(i);
        platform::SafeArrayPutElement(psa, &index, &values[i]);
    }
    v.vt = platform::VT_ARRAY | platform::VT_R8;
    v.parray = psa;
    return v;
}

/// A failed automation call: its error information, as one line.
[[noreturn]] void call_failed(std::string_view what, platform::HRESULT hr) {
    const auto info = platform::take_error_info();
    throw std::runtime_error(fmt::format("{} failed (status 0x{:08X}){}", what,
                                         platform::hresult_bits(hr),
                                         info ? ": " + info->description : std::string()));
}

void check(platform::HRESULT hr, std::string_view what) {
    if (platform::FAILED(hr)) { call_failed(what, hr); }
}

std::string celsius(double kelvin) { return fmt::format("{:.2f} C", kelvin - units::kZeroCelsius); }

/// The engine's stability codes, by name.
std::string_view stability_name(double code) {
    if (code == 1) { return "stable node"; }
    if (code == 2) { return "saddle"; }
    if (code == 3) { return "unstable node"; }
    return "unclassified";
}

/// A ternary diagram on the session's map: components, property data, pressure.
struct Diagram {
    std::vector<Component> components;
    std::string option_set;
    double pressure = 0.0;
    int phases = 2;
    engine::IDistillationMap* map = nullptr;

    std::vector<std::string> ids() const {
        std::vector<std::string> out;
        for (const Component& c : components) { out.push_back(c.id); }
        return out;
    }
    LONG error_code() const {
        LONG e = 0;
        map->get_ErrorCode(&e);
        return e;
    }
    LONG message_code() const {
        LONG m = 0;
        map->get_MessageCode(&m);
        return m;
    }
    /// Bubble temperature [K] of a point; NaN when the flash fails.
    double bubble(const std::vector<double>& x) const {
        double t = 0.0;
        if (platform::FAILED(map->GetBoilingPoint(double_array(x), &t))) {
            platform::take_error_info();
            return kNaN;
        }
        return t;
    }
};

Diagram diagram(const Session& session, const AnalysisOptions& options, int phases) {
    check_phases(phases);
    Diagram d;
    d.pressure = parse_pressure(options.pressure);
    d.option_set = option_set_of(session, options);
    d.components = session.selected();
    if (d.components.size() != 3) {
        throw InputError(fmt::format(
            "a diagram has three components (top, left, right); {} has {} — name them with "
            "--components TOP,LEFT,RIGHT",
            session.description(), d.components.size()));
    }
    d.phases = phases;
    d.map = session.map();
    const CComBSTR opset = CComBSTR::from_utf8(d.option_set);
    check(d.map->SetComponentData(CComBSTR::from_utf8(d.components[0].id),
                                  CComBSTR::from_utf8(d.components[1].id),
                                  CComBSTR::from_utf8(d.components[2].id)),
          "SetComponentData");
    check(d.map->SetPropertyData(opset, opset, opset, phases), "SetPropertyData");
    check(d.map->put_Pressure(d.pressure), "Pressure");
    return d;
}

/// Pure components and azeotropes of the diagram, so that the curve tracers know where curves
/// end.
void search_singular_points(const Diagram& d) {
    CComVariant a, b, c, e;
    LONG n = 0;
    check(d.map->GetPureProperties(&a, &b, &c), "GetPureProperties");
    check(d.map->GetAzeotropes(&n, &a, &b, &c, &e), "GetAzeotropes");
}

std::string heading(const Diagram& d, const Session& session) {
    return fmt::format("{} / {} / {} at {:.2f} Pa ({}, {})", d.components[0].id, d.components[1].id,
                       d.components[2].id, d.pressure, session.description(),
                       d.option_set.empty() ? "global option set" : "option set " + d.option_set);
}

std::string point_text(const std::vector<double>& x) {
    return fmt::format("{:.6f}", fmt::join(x, "  "));
}

/// The curves of a curves x points x 3 array, each cut at its first -1.0 padding.
std::vector<std::vector<std::vector<double>>> curves_of(const Array& a) {
    std::vector<std::vector<std::vector<double>>> curves;
    if (a.extents.size() != 3) { return curves; }
    for (long c = 0; c < a.extents[0]; ++c) {
        std::vector<std::vector<double>> points;
        for (long p = 0; p < a.extents[1]; ++p) {
            std::vector<double> x{a.at(c, p, 0), a.at(c, p, 1), a.at(c, p, 2)};
            if (x[0] == -1.0 && x[1] == -1.0 && x[2] == -1.0) { break; }
            points.push_back(x);
        }
        curves.push_back(points);
    }
    return curves;
}

void print_csv_curves(std::ostream& out,
                      const Diagram& d,
                      const std::vector<std::vector<std::vector<double>>>& curves) {
    fmt::print(out, "curve,point,x_{},x_{},x_{}\n", d.components[0].id, d.components[1].id,
               d.components[2].id);
    for (std::size_t c = 0; c < curves.size(); ++c) {
        for (std::size_t p = 0; p < curves[c].size(); ++p) {
            fmt::print(out, "{},{},{:.10g}\n", c + 1, p + 1, fmt::join(curves[c][p], ","));
        }
    }
}

}  // namespace

int run_azeotropes(const ProblemSource& source, const AnalysisOptions& options, std::ostream& out) {
    check_phases(options.phases);
    const double pressure = parse_pressure(options.pressure);
    const Session session(source);
    const std::string opset = option_set_of(session, options);
    const std::vector<Component> components = session.selected();
    if (components.size() < 2 || components.size() > 20) {
        throw InputError(
            fmt::format("the search takes 2 to 20 components; {} selected", components.size()));
    }
    engine::IAzeotropeSearch* search = session.search();
    std::vector<std::string> ids;
    for (const Component& c : components) { ids.push_back(c.id); }
    CComVariant names;
    {
        platform::SAFEARRAY* psa = platform::SafeArrayCreateVector(
            platform::VT_BSTR, 0, static_cast<platform::ULONG>(ids.size()));
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const LONG index = static_cast<LONG>(i);
            const CComBSTR id = CComBSTR::from_utf8(ids[i]);
            platform::SafeArrayPutElement(psa, &index, id.get());
        }
        names.vt = platform::VT_ARRAY | platform::VT_BSTR;
        names.parray = psa;
    }
    const CComBSTR opset_text = CComBSTR::from_utf8(opset);
    check(search->SetComponentData(names), "SetComponentData");
    check(search->SetPropertyData(opset_text, opset_text, opset_text, options.phases),
          "SetPropertyData");
    check(search->put_Pressure(pressure), "Pressure");
    CComVariant pure_x, pure_t, pure_s;
    check(search->GetPureProperties(&pure_x, &pure_t, &pure_s), "GetPureProperties");
    check(search->ComputeAzeotropes(), "ComputeAzeotropes");
    LONG count = 0;
    CComVariant az_x, az_t, az_phase, az_s;
    check(search->GetAzeotropes(&count, &az_x, &az_t, &az_phase, &az_s), "GetAzeotropes");

    // The singular points as the search classified them: pure components, then azeotropes.
    const std::size_t n = components.size();
    platform::DOUBLE* temperatures = nullptr;
    platform::LONGLONG* stability = nullptr;
    search->get_BPTemperatures(&temperatures);
    search->get_StabilityIndex(&stability);
    // The search object of this module: its in-process views give the error indicator and the
    // number of components present in each azeotrope.
    const auto* object = static_cast<const engine::CAzeotropeSearch*>(search);
    const auto present = object->azeotrope_component_counts();
    const Array ax = array_of(az_x), at = array_of(az_t), ap = array_of(az_phase),
                as = array_of(az_s);

    // Doherty & Perkins (1979): 2 (N3 - S3) + (N2 - S2) + N1 = 2 for three components, N
    // counting nodes and S saddles by the number of components present.
    std::optional<bool> topology_ok;
    if (n == 3 && stability) {
        long sum = 0;
        bool classified = true;
        for (std::size_t p = 0; p < n + static_cast<std::size_t>(count); ++p) {
            const std::int64_t k = p < n ? 1 : present[p - n];
            const auto code = stability[p];
            if (code == 1 || code == 3) {
                sum += k == 3 ? 2 : 1;
            } else if (code == 2) {
                sum -= k == 3 ? 2 : (k == 2 ? 1 : 0);  // saddles of one component do not count
            } else {
                classified = false;
            }
        }
        if (classified) { topology_ok = sum == 2; }
    }

    const double none = kNaN;
    if (options.json) {
        json doc;
        doc["pressure_Pa"] = pressure;
        doc["components"] = ids;
        doc["pure"] = json::array();
        for (std::size_t i = 0; i < n; ++i) {
            doc["pure"].push_back(
                {{"component", ids[i]},
                 {"T_K", temperatures ? temperatures[i] : none},
                 {"stability", stability_name(stability ? double(stability[i]) : -1)}});
        }
        doc["azeotropes"] = json::array();
        for (LONG a = 0; a < count; ++a) {
            std::vector<double> x;
            for (std::size_t c = 0; c < n; ++c) { x.push_back(ax.at(a, static_cast<long>(c))); }
            doc["azeotropes"].push_back(
                {{"x", x},
                 {"T_K", at.values.at(a)},
                 {"phase", ap.values.at(a) == 1 ? "homogeneous" : "heterogeneous"},
                 {"stability", stability_name(as.values.at(a))},
                 {"n_components", present.size() > static_cast<std::size_t>(a) ? present[a] : 0}});
        }
        doc["topology_ok"] = topology_ok ? json(*topology_ok) : json(nullptr);
        doc["error_code"] = object->error_indicator();
        out << doc.dump() << '\n';
    } else {
        fmt::print(out, "Azeotropes of {} at {:.2f} Pa ({}, {})\n", fmt::join(ids, " / "), pressure,
                   session.description(),
                   opset.empty() ? "global option set" : "option set " + opset);
        fmt::print(out, "Pure components:\n");
        for (std::size_t i = 0; i < n; ++i) {
            const double t = temperatures ? temperatures[i] : none;
            fmt::print(out, "  {:<8}  {:10.4f} K ({})  {}\n", ids[i], t, celsius(t),
                       stability_name(stability ? double(stability[i]) : -1));
        }
        fmt::print(out, "Azeotropes: {}\n", count);
        for (LONG a = 0; a < count; ++a) {
            std::vector<std::string> parts;
            for (std::size_t c = 0; c < n; ++c) {
                const double x = ax.at(a, static_cast<long>(c));
                if (x > 0.0) { parts.push_back(fmt::format("{} {:.4f}", ids[c], x)); }
            }
            fmt::print(out, "  {}: {:10.4f} K ({}), {}, {}, {} components (mole fractions: {})\n",
                       a + 1, at.values.at(a), celsius(at.values.at(a)),
                       ap.values.at(a) == 1 ? "homogeneous" : "heterogeneous",
                       stability_name(as.values.at(a)),
                       present.size() > static_cast<std::size_t>(a) ? present[a] : 0,
                       fmt::join(parts, ", "));
        }
        if (n == 3) {
            fmt::print(out, "Topological rule: {}\n",
                       topology_ok ? (*topology_ok ? "holds" : "does not hold")
                                   : "not decided (a point is unclassified)");
        }
        if (object->error_indicator() != 0) {
            fmt::print(out,
                       "Search error code {} (1: the search failed, 2: a point could not be "
                       "classified)\n",
                       object->error_indicator());
        }
    }
    return object->error_indicator() == 0 ? 0 : kAnalysisFailedStatus;
}

int run_curve(const ProblemSource& source,
              const AnalysisOptions& options,
              const CurveOptions& curve,
              std::ostream& out) {
    if (curve.kind != "residue" && curve.kind != "distillation") {
        throw InputError(fmt::format("--kind '{}': use residue or distillation", curve.kind));
    }
    if (options.json && options.csv) { throw InputError("give --json or --csv, not both"); }
    const Session session(source);
    const Diagram d = diagram(session, options, options.phases);
    const std::vector<double> start = composition(curve.from, 3, "--from");
    if (curve.step) { check(d.map->put_StepSizeCurve(*curve.step), "StepSizeCurve"); }
    check(d.map->put_CurveCalcOption(curve.stop_at_nodes ? 1 : 2), "CurveCalcOption");
    search_singular_points(d);
    LONG direction = 0;
    CComVariant result;
    if (curve.kind == "residue") {
        check(d.map->GetResidueCurve(double_array(start), &direction, &result), "GetResidueCurve");
    } else {
        check(d.map->GetDistillationCurve(double_array(start), &direction, &result),
              "GetDistillationCurve");
    }
    const LONG error = d.error_code(), message = d.message_code();
    const Array a = array_of(result);
    std::vector<std::vector<double>> points;
    for (long p = 0; a.extents.size() == 2 && p < a.extents[0]; ++p) {
        std::vector<double> x{a.at(p, 0), a.at(p, 1), a.at(p, 2)};
        x.push_back(d.bubble(x));
        points.push_back(x);
    }
    if (options.json) {
        json doc;
        doc["kind"] = curve.kind;
        doc["points"] = points;
        doc["direction"] = direction;
        doc["error_code"] = error;
        doc["message_code"] = message;
        out << doc.dump() << '\n';
    } else if (options.csv) {
        fmt::print(out, "x_{},x_{},x_{},T_K\n", d.components[0].id, d.components[1].id,
                   d.components[2].id);
        for (const auto& p : points) { fmt::print(out, "{:.10g}\n", fmt::join(p, ",")); }
    } else {
        fmt::print(out, "{} curve of {}\n", curve.kind == "residue" ? "Residue" : "Distillation",
                   heading(d, session));
        fmt::print(out, "{:>5}  {:>10}  {:>10}  {:>10}  {:>10}\n", "point", d.components[0].id,
                   d.components[1].id, d.components[2].id, "T [K]");
        for (std::size_t p = 0; p < points.size(); ++p) {
            fmt::print(out, "{:>5}  {:>10.6f}  {:>10.6f}  {:>10.6f}  {:>10.4f}\n", p + 1,
                       points[p][0], points[p][1], points[p][2], points[p][3]);
        }
        fmt::print(out, "({} points, mole fractions; towards higher boiling temperature)\n",
                   points.size());
        if (error != 0 || message != 0) {
            fmt::print(out, "Error code {}, message code {}\n", error, message);
        }
    }
    return error == 0 ? 0 : kAnalysisFailedStatus;
}

int run_boundaries(const ProblemSource& source, const AnalysisOptions& options, std::ostream& out) {
    if (options.json && options.csv) { throw InputError("give --json or --csv, not both"); }
    const Session session(source);
    const Diagram d = diagram(session, options, options.phases);
    CComVariant a, b, c;
    check(d.map->GetPureProperties(&a, &b, &c), "GetPureProperties");
    LONG count = 0;
    CComVariant directions, store;
    check(d.map->GetDistillationBoundary(&count, &directions, &store), "GetDistillationBoundary");
    const LONG error = d.error_code();
    const Array dir = array_of(directions);
    const auto curves = curves_of(array_of(store));
    if (options.json) {
        json doc;
        doc["pressure_Pa"] = d.pressure;
        doc["components"] = d.ids();
        doc["curves"] = json::array();
        for (std::size_t k = 0; k < curves.size(); ++k) {
            doc["curves"].push_back(
                {{"direction", static_cast<int>(dir.values.at(k))}, {"points", curves[k]}});
        }
        doc["error_code"] = error;
        out << doc.dump() << '\n';
    } else if (options.csv) {
        print_csv_curves(out, d, curves);
    } else {
        fmt::print(out, "Distillation boundaries of {}\n", heading(d, session));
        for (std::size_t k = 0; k < curves.size(); ++k) {
            fmt::print(out, "Curve {} ({} points, towards {} boiling temperature):\n", k + 1,
                       curves[k].size(), dir.values.at(k) > 0 ? "higher" : "lower");
            for (const auto& p : curves[k]) { fmt::print(out, "  {}\n", point_text(p)); }
        }
        fmt::print(out, "(mole fractions of {}, {}, {})\n", d.components[0].id, d.components[1].id,
                   d.components[2].id);
        if (error != 0) { fmt::print(out, "Error code {}: a boundary may be incomplete\n", error); }
    }
    return error == 0 ? 0 : kAnalysisFailedStatus;
}

int run_isovolatility(const ProblemSource& source,
                      const AnalysisOptions& options,
                      std::ostream& out) {
    if (options.json && options.csv) { throw InputError("give --json or --csv, not both"); }
    const Session session(source);
    const Diagram d = diagram(session, options, options.phases);
    LONG count = 0;
    CComVariant store;
    check(d.map->GetIsovolatilityCurve(&count, &store), "GetIsovolatilityCurve");
    const auto curves = curves_of(array_of(store));
    // A curve starts on the edge of its pair: the component left out is the one (nearly)
    // absent at its first point.
    const auto pair_of = [&](const std::vector<std::vector<double>>& points) {
        std::vector<std::string> pair;
        if (points.empty()) { return pair; }
        const auto& x = points.front();
        const auto excluded = std::min_element(x.begin(), x.end()) - x.begin();
        for (long c = 0; c < 3; ++c) {
            if (c != excluded) { pair.push_back(d.components[c].id); }
        }
        return pair;
    };
    if (options.json) {
        json doc;
        doc["pressure_Pa"] = d.pressure;
        doc["components"] = d.ids();
        doc["curves"] = json::array();
        for (const auto& points : curves) {
            std::vector<std::vector<double>> with_t;
            for (const auto& p : points) {
                auto q = p;
                q.push_back(d.bubble(p));
                with_t.push_back(q);
            }
            doc["curves"].push_back({{"pair", pair_of(points)}, {"points", with_t}});
        }
        doc["error_code"] = d.error_code();
        out << doc.dump() << '\n';
    } else if (options.csv) {
        print_csv_curves(out, d, curves);
    } else {
        fmt::print(out, "Unit-volatility curves of {}: {}\n", heading(d, session), curves.size());
        for (const auto& points : curves) {
            const auto pair = pair_of(points);
            fmt::print(out, "K({}) = K({}), {} points:\n", pair.at(0), pair.at(1), points.size());
            for (const auto& p : points) {
                fmt::print(out, "  {}  {:10.4f} K\n", point_text(p), d.bubble(p));
            }
        }
        fmt::print(out, "(mole fractions of {}, {}, {})\n", d.components[0].id, d.components[1].id,
                   d.components[2].id);
    }
    return 0;
}

namespace {

/// The liquid-liquid variant and its temperature, checked.
std::optional<double> liquid_liquid_temperature(const LiquidLiquidOptions& o) {
    if (o.lle == o.vlle) { throw InputError("give --lle (with --temperature) or --vlle"); }
    if (o.lle) {
        if (!o.temperature) { throw InputError("--lle needs --temperature"); }
        return parse_temperature(*o.temperature);
    }
    if (o.temperature) {
        throw InputError("--vlle takes no --temperature (it works at the bubble point)");
    }
    return std::nullopt;
}

std::vector<double> row(const Array& a, long r) { return {a.at(r, 0), a.at(r, 1), a.at(r, 2)}; }

}  // namespace

int run_envelope(const ProblemSource& source,
                 const AnalysisOptions& options,
                 const LiquidLiquidOptions& lle,
                 std::ostream& out) {
    if (options.json && options.csv) { throw InputError("give --json or --csv, not both"); }
    const std::optional<double> temperature = liquid_liquid_temperature(lle);
    const Session session(source);
    // Two liquids need a phase count of 3.
    const Diagram d = diagram(session, options, 3);
    if (lle.step) { check(d.map->put_StepSizeEnv(*lle.step), "StepSizeEnv"); }
    CComVariant store, ties, vapours;
    double plait = 0.0;
    if (temperature) {
        check(d.map->put_Temperature(*temperature), "Temperature");
        check(d.map->ComputeEnvelopeLLE(), "ComputeEnvelopeLLE");
        check(d.map->GetCurveLLE(&store), "GetCurveLLE");
        check(d.map->GetTieLinesLLE(&ties), "GetTieLinesLLE");
    } else {
        check(d.map->ComputeEnvelopeVLLE(), "ComputeEnvelopeVLLE");
        check(d.map->GetCurveVLLE(&store, &plait), "GetCurveVLLE");
        check(d.map->GetTieLinesVLLE(&ties, &vapours), "GetTieLinesVLLE");
    }
    const LONG error = d.error_code(), message = d.message_code();
    const auto envelopes = curves_of(array_of(store));
    const Array t = array_of(ties), y = array_of(vapours);
    const long tie_count = t.extents.size() == 2 ? t.extents[0] / 2 : 0;
    if (options.json) {
        json doc;
        doc["kind"] = temperature ? "lle" : "vlle";
        doc["pressure_Pa"] = d.pressure;
        doc["temperature_K"] = temperature ? json(*temperature) : json(nullptr);
        doc["components"] = d.ids();
        doc["envelopes"] = envelopes;
        doc["tie_lines"] = json::array();
        for (long k = 0; k < tie_count; ++k) {
            json tie{{"x1", row(t, 2 * k)}, {"x2", row(t, 2 * k + 1)}};
            if (!temperature) { tie["y"] = row(y, k); }
            doc["tie_lines"].push_back(tie);
        }
        doc["plait_temperature_K"] = !temperature && plait > 0.0 ? json(plait) : json(nullptr);
        doc["error_code"] = error;
        doc["message_code"] = message;
        out << doc.dump() << '\n';
    } else if (options.csv) {
        print_csv_curves(out, d, envelopes);
    } else {
        if (temperature) {
            fmt::print(out, "Liquid-liquid envelopes of {} at {:.2f} K\n", heading(d, session),
                       *temperature);
        } else {
            fmt::print(out, "Vapour-liquid-liquid envelopes of {} (bubble points)\n",
                       heading(d, session));
        }
        fmt::print(out, "Envelopes: {}\n", envelopes.size());
        for (std::size_t c = 0; c < envelopes.size(); ++c) {
            fmt::print(out, "Envelope {} ({} points):\n", c + 1, envelopes[c].size());
            for (const auto& p : envelopes[c]) { fmt::print(out, "  {}\n", point_text(p)); }
        }
        fmt::print(out, "Tie lines: {}\n", tie_count);
        for (long k = 0; k < tie_count; ++k) {
            fmt::print(out, "  {}  |  {}", point_text(row(t, 2 * k)),
                       point_text(row(t, 2 * k + 1)));
            if (!temperature) { fmt::print(out, "  |  vapour {}", point_text(row(y, k))); }
            fmt::print(out, "\n");
        }
        if (!temperature) {
            if (plait > 0.0) {
                fmt::print(out, "Plait temperature {:.4f} K ({})\n", plait, celsius(plait));
            } else {
                fmt::print(out, "No plait temperature found\n");
            }
        }
        fmt::print(out, "(mole fractions of {}, {}, {})\n", d.components[0].id, d.components[1].id,
                   d.components[2].id);
        if (error != 0 || message != 0) {
            fmt::print(out, "Error code {}, message code {}\n", error, message);
        }
    }
    return error == 0 ? 0 : kAnalysisFailedStatus;
}

int run_tieline(const ProblemSource& source,
                const AnalysisOptions& options,
                const LiquidLiquidOptions& lle,
                std::ostream& out) {
    const std::optional<double> temperature = liquid_liquid_temperature(lle);
    if (lle.feed.empty()) { throw InputError("give the overall composition with --feed"); }
    const Session session(source);
    const Diagram d = diagram(session, options, 3);
    const std::vector<double> feed = composition(lle.feed, 3, "--feed");
    CComVariant x1, x2, y;
    double t = kNaN;
    if (temperature) {
        check(d.map->put_Temperature(*temperature), "Temperature");
        check(d.map->GetNewTieLineLLE(double_array(feed), &x1, &x2), "GetNewTieLineLLE");
        t = *temperature;
    } else {
        check(d.map->GetNewTieLineVLLE(double_array(feed), &x1, &x2, &y), "GetNewTieLineVLLE");
        t = d.bubble(feed);
    }
    const Array a1 = array_of(x1), a2 = array_of(x2), ay = array_of(y);
    const bool split = !(a1.values.size() == 3 && a1.values[0] == -999.0);
    if (options.json) {
        json doc;
        doc["kind"] = temperature ? "lle" : "vlle";
        doc["feed"] = feed;
        doc["T_K"] = t;
        doc["P_Pa"] = d.pressure;
        doc["split"] = split;
        doc["x1"] = split ? json(a1.values) : json(nullptr);
        doc["x2"] = split ? json(a2.values) : json(nullptr);
        if (!temperature) { doc["y"] = ay.values; }
        doc["components"] = d.ids();
        out << doc.dump() << '\n';
    } else {
        fmt::print(out, "Tie line through {} of {}\n", point_text(feed), heading(d, session));
        fmt::print(out, "Temperature  {:.4f} K ({}){}\n", t, celsius(t),
                   temperature ? "" : " (bubble point)");
        if (!split) {
            fmt::print(out, "One liquid phase: the feed does not split\n");
        } else {
            fmt::print(out, "Liquid 1     {}\n", point_text(a1.values));
            fmt::print(out, "Liquid 2     {}\n", point_text(a2.values));
        }
        if (!temperature) { fmt::print(out, "Vapour       {}\n", point_text(ay.values)); }
        fmt::print(out, "(mole fractions of {}, {}, {})\n", d.components[0].id, d.components[1].id,
                   d.components[2].id);
    }
    return 0;
}

}  // namespace cli
