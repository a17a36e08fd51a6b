#include "cli/design_command.hpp"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <set>
#include <vector>

#include "cli/map_commands.hpp"
#include "cli/quantity.hpp"
#include "cli/session.hpp"
#include "engine/module.hpp"
#include "platform/units.hpp"

namespace cli {
namespace {

using nlohmann::json;
using platform::CComBSTR;
using platform::CComVariant;
using platform::LONG;

// ---------------------------------------------------------------------------------------------
// The study file

/// Specification kinds, in the column order of the balance's flag matrix.
constexpr std::array<std::string_view, 4> kSpecKinds{"distillate-fraction", "bottoms-fraction",
                                                     "distillate-recovery", "bottoms-recovery"};
/// Decanter specification kinds 1, 2, 3.
constexpr std::array<std::string_view, 3> kDecanterKinds{"top-vapour-fraction", "reflux-fraction",
                                                         "richer-liquid"};

struct Spec {
    std::string component;
    int kind = 0;  // 0..3, kSpecKinds
    double value = 0.0;
};

struct Decanter {
    int kind = 0;  // 1..3
    std::string key;
    double value = 0.5;
};

struct Study {
    std::filesystem::path file;
    ProblemSource problem;
    std::string option_set;
    int phases = 2;
    double pressure = units::kStandardAtmosphere;
    std::vector<std::string> components;  // top, left, right
    std::map<std::string, double> flows;  // by problem component id [kmol/h]
    LONG enthalpy_method = 3;
    double enthalpy = 0.0;                                    // [J/kmol], enthalpy_method 1
    double temperature = 0.0;                                 // [K], informational
    std::map<std::string, std::vector<std::string>> mapping;  // selected id -> problem ids
    std::vector<Spec> specs;
    bool mass_basis = false;
    bool reflux_given = true;
    double ratio = 0.0;
    LONG max_stages = 100;
    bool trace_to_max_stages = false;
    std::optional<Decanter> decanter;
};

class StudyReader {
public:
    explicit StudyReader(std::filesystem::path file) : file_(std::move(file)) {}

    [[noreturn]] void fail(const toml::node& node,
                           std::string_view key,
                           std::string_view message) const {
        const auto& src = node.source();
        throw InputError(
            fmt::format("{}:{}: '{}': {}", file_.string(), src.begin.line, key, message));
    }

    void only(const toml::table& t,
              std::initializer_list<std::string_view> keys,
              std::string_view where) const {
        for (const auto& [k, v] : t) {
            if (std::find(keys.begin(), keys.end(), k.str()) == keys.end()) {
                fail(v, std::string(where) + std::string(k.str()), "unknown key");
            }
        }
    }

    std::string text(const toml::table& t,
                     std::string_view key,
                     std::optional<std::string> fallback = {}) const {
        const toml::node* n = t.get(key);
        if (!n) {
            if (fallback) { return *fallback; }
            throw InputError(fmt::format("{}: '{}' is missing", file_.string(), key));
        }
        if (const auto s = n->value<std::string>(); s && n->is_string()) { return *s; }
        fail(*n, key, "a text is expected");
    }

    double number(const toml::table& t,
                  std::string_view key,
                  std::optional<double> fallback = {}) const {
        const toml::node* n = t.get(key);
        if (!n) {
            if (fallback) { return *fallback; }
            throw InputError(fmt::format("{}: '{}' is missing", file_.string(), key));
        }
        if (!n->is_number()) { fail(*n, key, "a number is expected"); }
        const double v = n->value<double>().value_or(NAN);
        if (!std::isfinite(v)) { fail(*n, key, "not a finite number"); }
        return v;
    }

    /// A quantity written with its unit ("1 atm"), parsed by `parse`.
    template <class Parse>
    double quantity(const toml::table& t,
                    std::string_view key,
                    Parse parse,
                    std::optional<std::string> fallback = {}) const {
        const toml::node* n = t.get(key);
        const std::string value = text(t, key, fallback);
        try {
            return parse(value);
        } catch (const InputError& e) {
            if (n) { fail(*n, key, e.what()); }
            throw;
        }
    }

    std::vector<std::string> ids(const toml::node& n, std::string_view key) const {
        const toml::array* a = n.as_array();
        if (!a) { fail(n, key, "a list of component ids is expected"); }
        std::vector<std::string> out;
        for (const auto& item : *a) {
            const auto s = item.value<std::string>();
            if (!s || !item.is_string()) { fail(item, key, "component ids are texts"); }
            out.push_back(*s);
        }
        return out;
    }

private:
    std::filesystem::path file_;
};

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') { c = static_cast<char>(c - 'a' + 'A'); }
    }
    return s;
}

Study read_study(const std::string& path) {
    Study s;
    s.file = path;
    toml::table root;
    try {
        root = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        if (!std::filesystem::exists(path)) {
            throw InputError(fmt::format("cannot open '{}': no such file", path));
        }
        throw InputError(fmt::format("{}:{}: {}", path, e.source().begin.line, e.description()));
    }
    const StudyReader r(s.file);
    r.only(root,
           {"problem", "components", "method", "option_set", "phases", "pressure", "selected",
            "feed", "mapping", "spec", "basis", "column"},
           "");
    // The problem: a file (relative to the study) or databank components with a method.
    if (root.contains("problem")) {
        std::filesystem::path p = r.text(root, "problem");
        if (p.is_relative()) { p = s.file.parent_path() / p; }
        s.problem.file = p.string();
        if (root.contains("method")) {
            r.fail(*root.get("method"), "method", "a problem file brings its own option sets");
        }
    } else {
        const toml::node* c = root.get("components");
        if (!c) {
            throw InputError(
                fmt::format("{}: give 'problem' (a problem file) or 'components' and "
                            "'method' (databank components)",
                            path));
        }
        std::string list;
        for (const std::string& id : r.ids(*c, "components")) {
            list += list.empty() ? id : "," + id;
        }
        s.problem.components = list;
        s.problem.method = r.text(root, "method");
    }
    s.option_set = r.text(root, "option_set", std::string());
    s.phases = static_cast<int>(r.number(root, "phases", 2.0));
    if (s.phases != 2 && s.phases != 3) { r.fail(*root.get("phases"), "phases", "use 2 or 3"); }
    s.pressure = r.quantity(root, "pressure", parse_pressure, std::string("1 atm"));
    const toml::node* selected = root.get("selected");
    if (!selected) {
        throw InputError(fmt::format("{}: 'selected' (top, left, right) is missing", path));
    }
    s.components = r.ids(*selected, "selected");
    if (s.components.size() != 3) {
        r.fail(*selected, "selected", "three component ids: top, left, right");
    }

    const toml::table* feed = root["feed"].as_table();
    if (!feed) { throw InputError(fmt::format("{}: the [feed] table is missing", path)); }
    r.only(*feed, {"flows", "condition", "enthalpy", "temperature"}, "feed.");
    const toml::table* flows = (*feed)["flows"].as_table();
    if (!flows) {
        throw InputError(fmt::format("{}: 'feed.flows' (kmol/h by component id) is missing", path));
    }
    for (const auto& [k, v] : *flows) {
        const auto value = v.value<double>();
        if (!v.is_number() || !value || !std::isfinite(*value) || *value < 0.0) {
            r.fail(v, "feed.flows." + std::string(k.str()),
                   "a flow [kmol/h] of 0 or more is expected");
        }
        s.flows[upper(std::string(k.str()))] = *value;
    }
    const std::string condition = r.text(*feed, "condition", std::string("saturated-liquid"));
    if (condition == "saturated-liquid") {
        s.enthalpy_method = 3;
    } else if (condition == "saturated-vapour") {
        s.enthalpy_method = 4;
    } else if (condition == "enthalpy") {
        s.enthalpy_method = 1;
        s.enthalpy = r.quantity(*feed, "enthalpy", parse_enthalpy);
    } else {
        r.fail(*feed->get("condition"), "feed.condition",
               "use saturated-liquid, saturated-vapour or enthalpy");
    }
    if (condition != "enthalpy" && feed->contains("enthalpy")) {
        r.fail(*feed->get("enthalpy"), "feed.enthalpy", "only with condition = \"enthalpy\"");
    }
    if (feed->contains("temperature")) {
        s.temperature = r.quantity(*feed, "temperature", parse_temperature);
    }

    if (const toml::table* mapping = root["mapping"].as_table()) {
        for (const auto& [k, v] : *mapping) {
            s.mapping[upper(std::string(k.str()))] = r.ids(v, "mapping." + std::string(k.str()));
        }
    }

    const toml::array* specs = root["spec"].as_array();
    if (!specs) { throw InputError(fmt::format("{}: three [[spec]] tables are needed", path)); }
    for (const auto& node : *specs) {
        const toml::table* t = node.as_table();
        if (!t) { r.fail(node, "spec", "a table is expected"); }
        r.only(*t, {"component", "kind", "value"}, "spec.");
        Spec spec;
        spec.component = upper(r.text(*t, "component"));
        const std::string kind = r.text(*t, "kind");
        const auto it = std::find(kSpecKinds.begin(), kSpecKinds.end(), kind);
        if (it == kSpecKinds.end()) {
            r.fail(*t->get("kind"), "spec.kind",
                   "use distillate-fraction, bottoms-fraction, distillate-recovery or "
                   "bottoms-recovery");
        }
        spec.kind = static_cast<int>(it - kSpecKinds.begin());
        spec.value = r.number(*t, "value");
        s.specs.push_back(spec);
    }
    const std::string basis = r.text(root, "basis", std::string("molar"));
    if (basis != "molar" && basis != "mass") {
        r.fail(*root.get("basis"), "basis", "use molar or mass");
    }
    s.mass_basis = basis == "mass";

    const toml::table* column = root["column"].as_table();
    if (!column) { throw InputError(fmt::format("{}: the [column] table is missing", path)); }
    r.only(*column, {"reflux_ratio", "reboil_ratio", "max_stages", "stop", "decanter"}, "column.");
    if (column->contains("reflux_ratio") == column->contains("reboil_ratio")) {
        throw InputError(fmt::format("{}: give column.reflux_ratio or column.reboil_ratio", path));
    }
    s.reflux_given = column->contains("reflux_ratio");
    s.ratio = r.number(*column, s.reflux_given ? "reflux_ratio" : "reboil_ratio");
    const double stages = r.number(*column, "max_stages", 100.0);
    if (stages < 2 || stages > 100000 || stages != std::floor(stages)) {
        r.fail(*column->get("max_stages"), "column.max_stages", "a whole number from 2 to 100000");
    }
    s.max_stages = static_cast<LONG>(stages);
    const std::string stop = r.text(*column, "stop", std::string("pinch"));
    if (stop != "pinch" && stop != "max-stages") {
        r.fail(*column->get("stop"), "column.stop", "use pinch or max-stages");
    }
    s.trace_to_max_stages = stop == "max-stages";
    if (const toml::table* dec = (*column)["decanter"].as_table()) {
        r.only(*dec, {"kind", "key", "value"}, "column.decanter.");
        Decanter d;
        const std::string kind = r.text(*dec, "kind");
        const auto it = std::find(kDecanterKinds.begin(), kDecanterKinds.end(), kind);
        if (it == kDecanterKinds.end()) {
            r.fail(*dec->get("kind"), "column.decanter.kind",
                   "use top-vapour-fraction, reflux-fraction or richer-liquid");
        }
        d.kind = static_cast<int>(it - kDecanterKinds.begin()) + 1;
        d.key = upper(r.text(*dec, "key"));
        d.value = r.number(*dec, "value", 0.5);
        s.decanter = d;
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// Variants

CComVariant doubles(const std::vector<double>& values) {
    CComVariant v;
    platform::SAFEARRAY* psa = platform::SafeArrayCreateVector(
        platform::VT_R8, 0, static_cast<platform::ULONG>(values.size()));
    if (!psa) { throw std::bad_alloc(); }
    void* data = nullptr;
    platform::SafeArrayAccessData(psa, &data);
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    platform::SafeArrayUnaccessData(psa);
    v.vt = platform::VT_ARRAY | platform::VT_R8;
    v.parray = psa;
    return v;
}

/// A rows x columns array whose storage (first index fastest) is `storage`.
template <class T>
CComVariant matrix(platform::VARTYPE element,
                   long rows,
                   long columns,
                   const std::vector<T>& storage) {
    CComVariant v;
    platform::SAFEARRAYBOUND bounds[2] = {{static_cast<platform::ULONG>(rows), 0},
                                          {static_cast<platform::ULONG>(columns), 0}};
    platform::SAFEARRAY* psa = platform::SafeArrayCreate(element, 2, bounds);
    if (!psa) { throw std::bad_alloc(); }
    void* data = nullptr;
    platform::SafeArrayAccessData(psa, &data);
    std::copy(storage.begin(), storage.end(), static_cast<T*>(data));
    platform::SafeArrayUnaccessData(psa);
    v.vt = static_cast<platform::VARTYPE>(platform::VT_ARRAY | element);
    v.parray = psa;
    return v;
}

std::vector<double> values(const platform::VARIANT& v) {
    std::vector<double> out;
    const bool is_double = v.vt == (platform::VT_ARRAY | platform::VT_R8);
    if (!is_double && v.vt != (platform::VT_ARRAY | platform::VT_I4)) { return out; }
    const std::size_t n = platform::safe_array_element_count(v.parray);
    void* data = nullptr;
    platform::SafeArrayAccessData(v.parray, &data);
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(is_double ? static_cast<const double*>(data)[i]
                                : static_cast<const std::int32_t*>(data)[i]);
    }
    platform::SafeArrayUnaccessData(v.parray);
    return out;
}

void check(platform::HRESULT hr, std::string_view what) {
    if (platform::FAILED(hr)) {
        const auto info = platform::take_error_info();
        throw std::runtime_error(fmt::format("{} failed (status 0x{:08X}){}", what,
                                             platform::hresult_bits(hr),
                                             info ? ": " + info->description : std::string()));
    }
}

/// Lines without their trailing blanks, for the report.
void take_lines(std::string_view step, std::vector<std::pair<std::string, std::string>>& into) {
    for (const std::string& line : engine::message_lines()) { into.emplace_back(step, line); }
}

/// What the method codes mean: 25xx errors, 26xx warnings.
bool is_error(LONG code) { return code >= 2500 && code < 2600; }

std::string celsius(double kelvin) { return fmt::format("{:.2f} C", kelvin - units::kZeroCelsius); }

}  // namespace

int run_design(const std::string& study_file, bool as_json, std::ostream& out) {
    const Study study = read_study(study_file);
    const Session session(study.problem);
    const std::vector<Component>& all = session.components();
    const auto index_of = [&](const std::string& id, std::string_view what) -> std::size_t {
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (upper(all[i].id) == upper(id)) { return i; }
        }
        throw InputError(fmt::format("{}: {} '{}' is not a component of {}", study_file, what, id,
                                     session.description()));
    };
    std::array<std::size_t, 3> selected{};
    for (int j = 0; j < 3; ++j) {
        selected[j] = index_of(study.components[j], "selected component");
    }
    if (selected[0] == selected[1] || selected[0] == selected[2] || selected[1] == selected[2]) {
        throw InputError(fmt::format("{}: the three selected components must differ", study_file));
    }
    const auto position = [&](const std::string& id, std::string_view what) -> int {
        for (int j = 0; j < 3; ++j) {
            if (upper(all[selected[j]].id) == upper(id)) { return j; }
        }
        throw InputError(
            fmt::format("{}: {} '{}' is not one of the selected components", study_file, what, id));
    };

    // The host stream over the problem's full component list: flows, total, temperature,
    // pressure, specific enthalpy, and its molecular weight.
    const auto ncc = static_cast<LONG>(all.size());
    std::vector<double> stream(all.size() + 9, 0.0), weights;
    double total = 0.0, mass = 0.0;
    for (const auto& [id, flow] : study.flows) {
        const std::size_t i = index_of(id, "feed component");
        stream[i] = flow;
        total += flow;
        mass += flow * all[i].molar_mass;
    }
    for (const Component& c : all) { weights.push_back(c.molar_mass); }
    const double molecular_weight = total > 0.0 ? mass / total : 0.0;
    stream[ncc] = total;
    stream[ncc + 1] = study.temperature;
    stream[ncc + 2] = study.pressure;
    stream[ncc + 3] = molecular_weight > 0.0 ? study.enthalpy / molecular_weight : 0.0;
    stream[ncc + 8] = molecular_weight;
    // The mapping matrix, ncc x 3 column by column: each selected component is itself unless the
    // study lumps others into it.
    std::vector<double> mapping(all.size() * 3, 0.0);
    for (int j = 0; j < 3; ++j) {
        const auto lumped = study.mapping.find(upper(all[selected[j]].id));
        if (lumped == study.mapping.end()) {
            mapping[j * all.size() + selected[j]] = 1.0;
        } else {
            for (const std::string& id : lumped->second) {
                mapping[j * all.size() + index_of(id, "mapped component")] = 1.0;
            }
        }
    }
    for (const auto& [id, members] : study.mapping) { position(id, "mapping entry"); }

    // The map of the selected ternary.
    engine::IDistillationMap* map = session.map();
    const std::string opset =
        study.option_set.empty() ? session.built_option_set() : study.option_set;
    const CComBSTR opset_text = CComBSTR::from_utf8(opset);
    check(map->SetComponentData(CComBSTR::from_utf8(all[selected[0]].id),
                                CComBSTR::from_utf8(all[selected[1]].id),
                                CComBSTR::from_utf8(all[selected[2]].id)),
          "SetComponentData");
    check(map->SetPropertyData(opset_text, opset_text, opset_text, study.phases),
          "SetPropertyData");
    check(map->put_Pressure(study.pressure), "Pressure");
    std::vector<std::pair<std::string, std::string>> messages;

    // 1. Feed.
    CComVariant x_feed, basis_list;
    double F = 0.0, q = 0.0, T_feed = 0.0;
    LONG n_basis = 0, feed_err = 0, feed_msg = 0;
    check(map->ComputeFeed(ncc, 3, opset_text, study.phases, study.pressure, doubles(stream),
                           matrix(platform::VT_R8, ncc, 3, mapping), study.mass_basis ? 1 : 0,
                           study.enthalpy_method, doubles(weights), &x_feed, &F, &q, &T_feed,
                           &n_basis, &basis_list, &feed_err, &feed_msg),
          "ComputeFeed");
    take_lines("feed", messages);
    const std::vector<double> xf = values(x_feed), basis_values = values(basis_list);

    // 2. Material balance from the three specifications.
    if (study.specs.size() != 3) {
        throw InputError(fmt::format("{}: {} [[spec]] tables; exactly three are needed", study_file,
                                     study.specs.size()));
    }
    std::vector<std::int32_t> flags(12, 0);
    std::vector<double> xd(3, 0.0), xb(3, 0.0), rd(3, 0.0), rb(3, 0.0);
    for (const Spec& s : study.specs) {
        const int i = position(s.component, "specified component");
        flags[s.kind * 3 + i] += 1;
        (s.kind == 0 ? xd : s.kind == 1 ? xb : s.kind == 2 ? rd : rb)[i] = s.value;
    }
    std::vector<double> selected_weights;
    for (const std::size_t i : selected) { selected_weights.push_back(all[i].molar_mass); }
    CComVariant v_xd = doubles(xd), v_xb = doubles(xb), v_rd = doubles(rd), v_rb = doubles(rb);
    CComVariant xd_stream, xb_stream, tieline, ydec;
    double D = 0, B = 0, phi_prod = 0, TD = 0, TB = 0;
    LONG bal_err = 0, bal_msg = 0, converged = 0;
    const LONG config = study.decanter ? 2 : 1;
    check(
        map->ComputeMaterialBalance(3, opset_text, study.phases, study.pressure, 0, config,
                                    doubles(xf.size() == 3 ? xf : std::vector<double>(3, 0.0)), F,
                                    matrix(platform::VT_I4, 3, 4, flags), study.mass_basis ? 1 : 0,
                                    doubles(selected_weights), CComVariant(), &v_xd, &v_xb, &v_rd,
                                    &v_rb, &xd_stream, &xb_stream, &D, &B, &tieline, &ydec,
                                    &phi_prod, &TD, &TB, &bal_err, &bal_msg, &converged),
        "ComputeMaterialBalance");
    take_lines("balance", messages);
    const std::vector<double> xD = values(xd_stream), xB = values(xb_stream);

    // 3. Boundary-value design.
    double R = study.reflux_given ? study.ratio : 0.0, S = study.reflux_given ? 0.0 : study.ratio;
    double phi = 0.0, stage_rect = 0, stages_strip = 0, v_rect = 0, v_strip = 0, l_rect = 0,
           l_strip = 0, q_reb = 0, q_con = 0, l1 = 0, l2 = 0;
    CComVariant x_reflux = doubles(std::vector<double>(3, 0.0)),
                y_top = doubles(std::vector<double>(3, 0.0));
    CComVariant x_rect, x_strip, x_rect_f, x_strip_f, stage_col, x_col, y_col, t_col, t_est, x_est,
        y_est;
    LONG feasible = 0, n_rect = 0, n_strip = 0, n_rect_f = 0, n_strip_f = 0, n_col = 0,
         n_stages = 0, feed_stage = 0, comp_list = 0, des_err = 0, des_msg = 0;
    std::vector<std::int32_t> dec_spec{1, 1};
    double dec_value = 0.5;
    if (study.decanter) {
        dec_spec = {study.decanter->kind, position(study.decanter->key, "decanter key") + 1};
        dec_value = study.decanter->value;
    }
    CComVariant dec_variant = matrix(platform::VT_I4, 2, 1, dec_spec);
    check(map->BV_Design(3, opset_text, study.phases, study.pressure, config, study.max_stages,
                         study.trace_to_max_stages ? 2 : 1, F, q,
                         doubles(xD.size() == 3 ? xD : std::vector<double>(3, 0.0)), D,
                         doubles(xB.size() == 3 ? xB : std::vector<double>(3, 0.0)), B, dec_variant,
                         dec_value, study.reflux_given ? 1 : 2, &R, &S, &phi, &x_reflux, &y_top,
                         &feasible, &stage_rect, &stages_strip, &n_rect, &x_rect, &n_strip,
                         &x_strip, &n_rect_f, &x_rect_f, &n_strip_f, &x_strip_f, &n_col, &stage_col,
                         &x_col, &y_col, &t_col, &v_rect, &v_strip, &l_rect, &l_strip, &q_reb,
                         &q_con, &n_stages, &feed_stage, &l1, &l2, &comp_list, &t_est, &x_est,
                         &y_est, &des_err, &des_msg),
          "BV_Design");
    take_lines("design", messages);
    const std::vector<double> stage_numbers = values(stage_col), temperatures = values(t_col),
                              xc = values(x_col), yc = values(y_col);

    // 4. Product streams on the full component list.
    CComVariant dist_stream, bot_stream;
    check(map->CreateProductStreams(ncc, 3, opset_text, study.phases, study.pressure,
                                    doubles(stream), study.mapping.empty() ? 0 : 1,
                                    matrix(platform::VT_R8, ncc, 3, mapping),
                                    study.mass_basis ? 1 : 0, doubles(weights), D,
                                    doubles(xD.size() == 3 ? xD : std::vector<double>(3, 0.0)), B,
                                    doubles(xB.size() == 3 ? xB : std::vector<double>(3, 0.0)),
                                    &dist_stream, &bot_stream),
          "CreateProductStreams");
    take_lines("products", messages);
    const std::vector<double> distillate = values(dist_stream), bottoms = values(bot_stream);

    std::vector<std::string> ids;
    for (const std::size_t i : selected) { ids.push_back(all[i].id); }
    // Duties: J/kmol times kmol/h is J/h; the report gives watts.
    const double per_hour = 1.0 / 3600.0;
    const auto stage_table = [&] {
        std::vector<json> rows;
        for (LONG p = 0; p < n_col && p < static_cast<LONG>(stage_numbers.size()); ++p) {
            rows.push_back(
                {{"stage", stage_numbers[p]},
                 {"T_K", temperatures[p]},
                 {"x", std::vector<double>(xc.begin() + 3 * p, xc.begin() + 3 * p + 3)},
                 {"y", std::vector<double>(yc.begin() + 3 * p, yc.begin() + 3 * p + 3)}});
        }
        return rows;
    }();
    const auto stream_json = [&](const std::vector<double>& s) {
        json flows = json::object();
        for (std::size_t i = 0; i < all.size() && i < s.size(); ++i) { flows[all[i].id] = s[i]; }
        return json{{"flows_kmol_per_h", flows},
                    {"total_kmol_per_h", s.size() > all.size() ? s[all.size()] : 0.0},
                    {"T_K", s.size() > all.size() + 1 ? s[all.size() + 1] : 0.0}};
    };

    if (as_json) {
        json doc;
        doc["components"] = ids;
        doc["pressure_Pa"] = study.pressure;
        doc["flow_unit"] = "kmol/h";
        doc["feed"] = {
            {"x", xf},
            {"flow_kmol_per_h", F},
            {"q", q},
            {"T_K", T_feed},
            {"basis_components",
             std::vector<double>(
                 basis_values.begin(),
                 basis_values.begin() + std::min<std::size_t>(n_basis, basis_values.size()))},
            {"error_code", feed_err}};
        doc["balance"] = {{"D_kmol_per_h", D},
                          {"B_kmol_per_h", B},
                          {"x_distillate", xD},
                          {"x_bottoms", xB},
                          {"recovery_distillate", values(v_rd)},
                          {"recovery_bottoms", values(v_rb)},
                          {"T_distillate_K", TD},
                          {"T_bottoms_K", TB},
                          {"converged", converged == 0},
                          {"error_code", bal_err}};
        json design{{"reflux_ratio", R},
                    {"reboil_ratio", S},
                    {"V_rect_kmol_per_h", v_rect},
                    {"L_rect_kmol_per_h", l_rect},
                    {"V_strip_kmol_per_h", v_strip},
                    {"L_strip_kmol_per_h", l_strip},
                    {"Q_condenser_W", q_con * per_hour},
                    {"Q_reboiler_W", q_reb * per_hour},
                    {"feasible", feasible == 1},
                    {"stages", stage_rect},
                    {"feed_position", stages_strip},
                    {"n_stages", n_stages},
                    {"feed_stage", feed_stage},
                    {"stage_table", stage_table},
                    {"error_code", des_err},
                    {"message_code", des_msg}};
        design["decanter"] = study.decanter ? json{{"x_reflux", values(x_reflux)},
                                                   {"y_top", values(y_top)},
                                                   {"reflux_split", phi},
                                                   {"l1", l1},
                                                   {"l2", l2},
                                                   {"component", comp_list}}
                                            : json(nullptr);
        doc["design"] = design;
        doc["products"] = {{"distillate", stream_json(distillate)},
                           {"bottoms", stream_json(bottoms)}};
        doc["messages"] = json::array();
        for (const auto& [step, line] : messages) {
            doc["messages"].push_back({{"step", step}, {"line", line}});
        }
        out << doc.dump() << '\n';
    } else {
        fmt::print(out, "Design study {} ({}, {}) at {:.2f} Pa\n", study_file,
                   session.description(),
                   opset.empty() ? "global option set" : "option set " + opset, study.pressure);
        fmt::print(out, "Selected components (top, left, right): {}\n", fmt::join(ids, ", "));
        fmt::print(out, "\nFeed (code {})\n", feed_err);
        fmt::print(out, "  flow         {:.6g} kmol/h\n", F);
        fmt::print(
            out, "  composition  {}\n",
            xf.size() == 3 ? fmt::format("{:.6f} (mole fractions)", fmt::join(xf, "  ")) : "-");
        fmt::print(out, "  quality q    {:.6f} (liquid fraction)\n", q);
        fmt::print(out, "  temperature  {:.4f} K ({})\n", T_feed, celsius(T_feed));
        fmt::print(out, "\nMaterial balance (code {}, {})\n", bal_err,
                   converged == 0 ? "specifications met" : "specifications not met as given");
        fmt::print(out, "  distillate   {:.6g} kmol/h  x = {:.6f}  T = {:.4f} K\n", D,
                   fmt::join(xD, "  "), TD);
        fmt::print(out, "  bottoms      {:.6g} kmol/h  x = {:.6f}  T = {:.4f} K\n", B,
                   fmt::join(xB, "  "), TB);
        fmt::print(out, "  recoveries   distillate {:.6f}, bottoms {:.6f}\n",
                   fmt::join(values(v_rd), " "), fmt::join(values(v_rb), " "));
        fmt::print(out, "\nColumn (code {}, message code {})\n", des_err, des_msg);
        fmt::print(out, "  reflux ratio {:.6f}, reboil ratio {:.6f}\n", R, S);
        fmt::print(out, "  rectifying   V {:.6g} kmol/h, L {:.6g} kmol/h\n", v_rect, l_rect);
        fmt::print(out, "  stripping    V {:.6g} kmol/h, L {:.6g} kmol/h\n", v_strip, l_strip);
        fmt::print(out, "  condenser duty {:.6g} W, reboiler duty {:.6g} W\n", q_con * per_hour,
                   q_reb * per_hour);
        if (study.decanter) {
            fmt::print(out,
                       "  decanter     reflux x = {:.6f}, top vapour y = {:.6f}, split {:.6f}, l1 "
                       "{:.6f}, l2 {:.6f}\n",
                       fmt::join(values(x_reflux), " "), fmt::join(values(y_top), " "), phi, l1,
                       l2);
        }
        if (feasible == 1) {
            fmt::print(out,
                       "  feasible: {} stages ({:.3f}), feed on stage {} ({:.3f} from the top)\n",
                       n_stages, stage_rect, feed_stage, stages_strip);
            fmt::print(out, "  {:>8}  {:>10}  {:>28}  {:>28}\n", "stage", "T [K]",
                       "x (mole fractions)", "y (mole fractions)");
            for (const json& row : stage_table) {
                fmt::print(out, "  {:>8.3f}  {:>10.4f}  {:>8.6f}  {:>8.6f}\n",
                           row["stage"].get<double>(), row["T_K"].get<double>(),
                           fmt::join(row["x"].get<std::vector<double>>(), " "),
                           fmt::join(row["y"].get<std::vector<double>>(), " "));
            }
        } else {
            fmt::print(out, "  infeasible: the rectifying and stripping profiles do not meet\n");
        }
        fmt::print(out, "\nProduct streams (kmol/h)\n");
        fmt::print(out, "  {:<8}  {:>14}  {:>14}\n", "id", "distillate", "bottoms");
        for (std::size_t i = 0; i < all.size() && i < distillate.size() && i < bottoms.size();
             ++i) {
            fmt::print(out, "  {:<8}  {:>14.6g}  {:>14.6g}\n", all[i].id, distillate[i],
                       bottoms[i]);
        }
        if (distillate.size() > all.size() + 1 && bottoms.size() > all.size() + 1) {
            fmt::print(out, "  {:<8}  {:>14.6g}  {:>14.6g}\n", "total", distillate[all.size()],
                       bottoms[all.size()]);
            fmt::print(out, "  {:<8}  {:>12.4f} K  {:>12.4f} K\n", "T", distillate[all.size() + 1],
                       bottoms[all.size() + 1]);
        }
        fmt::print(out, "\nMessages: {}\n", messages.empty() ? "none" : "");
        for (const auto& [step, line] : messages) { fmt::print(out, "  [{}] {}\n", step, line); }
    }
    return is_error(feed_err) || is_error(bal_err) || is_error(des_err) ? kAnalysisFailedStatus : 0;
}

}  // namespace cli
