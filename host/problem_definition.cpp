#include "host/problem_definition.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>

#include "host/databank.hpp"
#include "host/option_set_model.hpp"
#include "platform/units.hpp"

namespace host {

namespace {

std::string located_message(const std::string& file,
                            std::size_t line,
                            const std::string& key,
                            const std::string& message) {
    std::string m = file;
    if (line > 0) { m += ":" + std::to_string(line); }
    m += ": ";
    if (!key.empty()) { m += "'" + key + "': "; }
    return m + message;
}

std::size_t line_of(const toml::node& n) { return n.source().begin.line; }

std::string in_quotes(std::string_view s) { return "\"" + std::string(s) + "\""; }

/// Printable ASCII without blanks or commas: ids and option-set names travel in blank-padded
/// fixed-width fields and in comma-separated lists, where a blank or comma would split them.
bool is_plain_token(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c > ' ' && c < 127 && c != ','; });
}

/// Reads one TOML document into a ProblemDefinition, failing at the first fault with its line.
class Reader {
public:
    Reader(const std::string& file, const Databank& bank) : file_(file), bank_(bank) {}

    ProblemDefinition read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, file_);
        } catch (const toml::parse_error& e) {
            throw ProblemDefinitionError(file_, e.source().begin.line, "",
                                         std::string(e.description()));
        }
        ProblemDefinition p;
        p.file = file_;
        allow_keys(root, {"title", "global_option_set", "flash", "component", "option_set"});
        if (const toml::node* t = root.get("title")) { p.title = text_of(*t, "title"); }
        if (const toml::node* f = root.get("flash")) { read_flash(table_of(*f, "flash"), p); }
        read_components(root, p);
        read_option_sets(root, p);
        read_global(root, p);
        check_models(p);
        return p;
    }

private:
    [[noreturn]] void fail(std::size_t line, const std::string& key, const std::string& message) {
        throw ProblemDefinitionError(file_, line, key, message);
    }
    [[noreturn]] void fail(const toml::node& n, const std::string& key, const std::string& m) {
        fail(line_of(n), key, m);
    }

    /// Refuses any key outside `allowed`, so that a misspelt key is an error, not a default.
    void allow_keys(const toml::table& t, std::initializer_list<std::string_view> allowed) {
        for (auto&& [key, node] : t) {
            if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end()) {
                std::string list;
                for (std::string_view a : allowed) {
                    list += (list.empty() ? "" : ", ") + std::string(a);
                }
                fail(key.source().begin.line != 0 ? key.source().begin.line : line_of(node),
                     std::string(key.str()), "unknown key (expected one of: " + list + ")");
            }
        }
    }

    const toml::table& table_of(const toml::node& n, const std::string& key) {
        const toml::table* t = n.as_table();
        if (t == nullptr) { fail(n, key, "must be a table"); }
        return *t;
    }

    std::string text_of(const toml::node& n, const std::string& key) {
        const auto* s = n.as_string();
        if (s == nullptr) { fail(n, key, "must be a text in quotes"); }
        return s->get();
    }

    double number_of(const toml::node& n, const std::string& key) {
        double v = 0.0;
        if (const auto* i = n.as_integer()) {
            v = static_cast<double>(i->get());
        } else if (const auto* d = n.as_floating_point()) {
            v = d->get();
        } else {
            fail(n, key, "must be a number");
        }
        if (!std::isfinite(v)) { fail(n, key, "must be a finite number"); }
        return v;
    }

    std::int64_t integer_of(const toml::node& n, const std::string& key) {
        const auto* i = n.as_integer();
        if (i == nullptr) { fail(n, key, "must be a whole number"); }
        return i->get();
    }

    /// The value of a required key of table t (whose header is at t's line).
    const toml::node& required(const toml::table& t, const std::string& key) {
        const toml::node* n = t.get(key);
        if (n == nullptr) { fail(line_of(t), key, "missing"); }
        return *n;
    }

    double required_number(const toml::table& t, const std::string& key) {
        return number_of(required(t, key), key);
    }
    double optional_number(const toml::table& t, const std::string& key, double fallback) {
        const toml::node* n = t.get(key);
        return n == nullptr ? fallback : number_of(*n, key);
    }
    double positive_number(const toml::table& t, const std::string& key) {
        const double v = required_number(t, key);
        if (!(v > 0.0)) { fail(*t.get(key), key, "must be positive"); }
        return v;
    }

    void read_flash(const toml::table& t, ProblemDefinition& p) {
        allow_keys(t, {"tolerance", "max_iterations", "history_level", "terminal_level"});
        FlashSettings& f = p.flash;
        if (const toml::node* n = t.get("tolerance")) {
            f.tolerance = number_of(*n, "tolerance");
            if (!(f.tolerance > 0.0 && f.tolerance <= 0.1)) {
                fail(*n, "tolerance", "must lie in (0, 0.1]");
            }
        }
        if (const toml::node* n = t.get("max_iterations")) {
            f.max_iterations = integer_of(*n, "max_iterations");
            if (f.max_iterations < 1 || f.max_iterations > 100000) {
                fail(*n, "max_iterations", "must lie in 1..100000");
            }
        }
        for (const char* key : {"history_level", "terminal_level"}) {
            if (const toml::node* n = t.get(key)) {
                const std::int64_t level = integer_of(*n, key);
                if (level < 0 || level > 8) { fail(*n, key, "must lie in 0..8"); }
                (std::string_view(key) == "history_level" ? f.history_level : f.terminal_level) =
                    level;
            }
        }
    }

    const toml::array& array_of_tables(const toml::node& n, const std::string& key) {
        const toml::array* a = n.as_array();
        if (a == nullptr || !a->is_array_of_tables()) {
            fail(n, key, "must be written as [[" + key + "]] tables");
        }
        return *a;
    }

    void read_components(const toml::table& root, ProblemDefinition& p) {
        const toml::node* list = root.get("component");
        if (list == nullptr) { fail(0, "component", "no components: add [[component]] tables"); }
        const toml::array& a = array_of_tables(*list, "component");
        if (a.size() > kMaxProblemComponents) {
            fail(*list, "component",
                 "at most " + std::to_string(kMaxProblemComponents) + " components");
        }
        for (const toml::node& node : a) {
            const toml::table& t = *node.as_table();
            allow_keys(t, {"id", "constants"});
            const toml::node& id_node = required(t, "id");
            const std::string id = text_of(id_node, "id");
            if (id.empty() || id.size() > kMaxIdLength || !is_plain_token(id)) {
                fail(id_node, "id",
                     "an id has 1 to 8 characters, without blanks or commas: " + in_quotes(id));
            }
            for (const auto& earlier : p.components) {
                if (equal_ignoring_case(earlier.id, id)) {
                    fail(id_node, "id", "component " + in_quotes(id) + " is listed twice");
                }
            }
            const PureComponent* known = find_in_databank(id);
            if (const toml::node* c = t.get("constants")) {
                if (known != nullptr) {
                    fail(id_node, "id",
                         in_quotes(id) +
                             " is a databank component; give a component defined here an id of "
                             "its own");
                }
                p.components.push_back(read_constants(table_of(*c, "constants"), id));
                p.from_databank.push_back(false);
            } else {
                if (known == nullptr) {
                    fail(id_node, "id",
                         "unknown databank component " + in_quotes(id) +
                             " (define it here with a [component.constants] table)");
                }
                p.components.push_back(*known);
                p.from_databank.push_back(true);
            }
        }
    }

    /// Databank ids are upper case; a file may write them in any case ("etoh").
    const PureComponent* find_in_databank(const std::string& id) const {
        if (const PureComponent* c = bank_.find(id)) { return c; }
        for (const PureComponent& c : bank_.components()) {
            if (equal_ignoring_case(c.id, id)) { return &c; }
        }
        return nullptr;
    }

    UnifacGroupCounts read_groups(const toml::node& n, const std::string& key, UnifacVersion v) {
        const toml::array* a = n.as_array();
        if (a == nullptr || a->empty()) {
            fail(n, key, "must be a list of [subgroup, count] pairs, e.g. [[1, 2], [2, 1]]");
        }
        UnifacGroupCounts groups;
        for (const toml::node& e : *a) {
            const toml::array* pair = e.as_array();
            if (pair == nullptr || pair->size() != 2 || !(*pair)[0].is_integer() ||
                !(*pair)[1].is_integer()) {
                fail(e, key, "each entry is a pair [subgroup, count] of whole numbers");
            }
            const std::int64_t group = (*pair)[0].as_integer()->get();
            const std::int64_t count = (*pair)[1].as_integer()->get();
            if (group < 1 || group > 100000 ||
                bank_.unifac(v).find_subgroup(static_cast<int>(group)) == nullptr) {
                fail(e, key, "unknown UNIFAC subgroup " + std::to_string(group));
            }
            if (count < 1 || count > 1000) { fail(e, key, "a group count lies in 1..1000"); }
            for (const auto& [g, c] : groups) {
                if (g == group) {
                    fail(e, key, "subgroup " + std::to_string(group) + " is listed twice");
                }
            }
            groups.emplace_back(static_cast<int>(group), static_cast<int>(count));
        }
        return groups;
    }

    PureComponent read_constants(const toml::table& t, const std::string& id) {
        allow_keys(t, {"name",
                       "cas",
                       "formula",
                       "mw_g_per_mol",
                       "tc_K",
                       "pc_Pa",
                       "omega",
                       "tb_K",
                       "vp_A",
                       "vp_B",
                       "vp_C",
                       "vp_D",
                       "vp_E",
                       "vp_F",
                       "vp_G",
                       "vp_Tmin_K",
                       "vp_Tmax_K",
                       "cpig_A",
                       "cpig_B",
                       "cpig_C",
                       "cpig_D",
                       "cpig_E",
                       "cpig_Tmin_K",
                       "cpig_Tmax_K",
                       "hvap_A_J_per_mol",
                       "hvap_B",
                       "hvap_C",
                       "hvap_D",
                       "hvap_E",
                       "hvap_Tc_K",
                       "hvap_Tmin_K",
                       "hvap_Tmax_K",
                       "vl298_cm3_per_mol",
                       "uniquac_r",
                       "uniquac_q",
                       "wilson_v_cm3_per_mol",
                       "unifac_groups",
                       "unifac_lle_groups"});
        PureComponent c;
        c.id = id;
        const toml::node& name_node = required(t, "name");
        c.name = text_of(name_node, "name");
        if (c.name.empty() || c.name.size() > kMaxNameLength) {
            fail(name_node, "name", "a name has 1 to 12 characters: " + in_quotes(c.name));
        }
        if (const toml::node* n = t.get("cas")) { c.cas = text_of(*n, "cas"); }
        if (const toml::node* n = t.get("formula")) {
            c.formula = text_of(*n, "formula");
            if (c.formula.size() > 16) { fail(*n, "formula", "at most 16 characters"); }
        }
        c.molar_mass = positive_number(t, "mw_g_per_mol");  // g/mol = kg/kmol
        c.critical_temperature = positive_number(t, "tc_K");
        c.critical_pressure = positive_number(t, "pc_Pa");
        c.acentric_factor = required_number(t, "omega");
        c.normal_boiling_point = positive_number(t, "tb_K");

        VapourPressureCorrelation& v = c.vapour_pressure;
        v.A = required_number(t, "vp_A");
        v.B = required_number(t, "vp_B");
        v.C = optional_number(t, "vp_C", 0.0);
        v.D = optional_number(t, "vp_D", 0.0);
        v.E = optional_number(t, "vp_E", 0.0);
        v.F = optional_number(t, "vp_F", 0.0);
        v.G = optional_number(t, "vp_G", 0.0);
        v.T_min = positive_number(t, "vp_Tmin_K");
        v.T_max = required_number(t, "vp_Tmax_K");
        if (!(v.T_max > v.T_min)) {
            fail(*t.get("vp_Tmax_K"), "vp_Tmax_K", "must be above vp_Tmin_K");
        }
        if (v.T_min + v.C <= 0.0) {
            fail(t.get("vp_C") != nullptr ? *t.get("vp_C") : static_cast<const toml::node&>(t),
                 "vp_C", "T + vp_C must stay positive over the range");
        }
        for (double T : {v.T_min, v.T_max}) {
            const double ln_p = v.ln_p(T);
            if (!std::isfinite(ln_p) || ln_p > 700.0 || ln_p < -700.0) {
                fail(required(t, "vp_A"), "vp_A",
                     "the vapour pressure is not a usable number at " + std::to_string(T) + " K");
            }
        }
        if (!(c.normal_boiling_point >= v.T_min && c.normal_boiling_point <= v.T_max)) {
            fail(*t.get("tb_K"), "tb_K", "lies outside vp_Tmin_K..vp_Tmax_K");
        }

        // The file gives J/(mol K^(k+1)) and J/mol, like the databank; the host works per kmol.
        IdealGasHeatCapacity& cp = c.ideal_gas_cp;
        cp.c[0] = required_number(t, "cpig_A") * units::kJoulePerMol;
        const char* cp_keys[] = {"cpig_B", "cpig_C", "cpig_D", "cpig_E"};
        for (std::size_t k = 1; k < 5; ++k) {
            cp.c[k] = optional_number(t, cp_keys[k - 1], 0.0) * units::kJoulePerMol;
        }
        cp.T_min = optional_number(t, "cpig_Tmin_K", v.T_min);
        cp.T_max = optional_number(t, "cpig_Tmax_K", v.T_max);
        if (!(cp.cp(units::kReferenceTemperature) > 0.0)) {
            fail(required(t, "cpig_A"), "cpig_A", "the heat capacity at 298.15 K must be positive");
        }

        HeatOfVaporization& h = c.heat_of_vaporization;
        h.A = positive_number(t, "hvap_A_J_per_mol") * units::kJoulePerMol;
        h.B = required_number(t, "hvap_B");
        h.C = optional_number(t, "hvap_C", 0.0);
        h.D = optional_number(t, "hvap_D", 0.0);
        h.E = optional_number(t, "hvap_E", 0.0);
        h.Tc = optional_number(t, "hvap_Tc_K", c.critical_temperature);
        if (!(h.Tc > 0.0)) { fail(*t.get("hvap_Tc_K"), "hvap_Tc_K", "must be positive"); }
        h.T_min = optional_number(t, "hvap_Tmin_K", v.T_min);
        h.T_max = optional_number(t, "hvap_Tmax_K", std::min(v.T_max, h.Tc));

        c.liquid_volume_298 =
            optional_number(t, "vl298_cm3_per_mol", 0.0) * units::kCubicCentimetrePerMol;
        c.uniquac_r = optional_number(t, "uniquac_r", 0.0);
        c.uniquac_q = optional_number(t, "uniquac_q", 0.0);
        for (const char* key : {"vl298_cm3_per_mol", "uniquac_r", "uniquac_q"}) {
            if (const toml::node* n = t.get(key); n != nullptr && !(number_of(*n, key) > 0.0)) {
                fail(*n, key, "must be positive");
            }
        }
        if ((t.get("uniquac_r") == nullptr) != (t.get("uniquac_q") == nullptr)) {
            fail(line_of(t), t.get("uniquac_r") == nullptr ? "uniquac_r" : "uniquac_q",
                 "uniquac_r and uniquac_q go together");
        }
        c.wilson_volume = optional_number(t, "wilson_v_cm3_per_mol", std::nan("")) *
                          units::kCubicCentimetrePerMol;
        if (const toml::node* n = t.get("unifac_groups")) {
            c.unifac_groups = read_groups(*n, "unifac_groups", UnifacVersion::original);
        }
        if (const toml::node* n = t.get("unifac_lle_groups")) {
            c.unifac_lle_groups = read_groups(*n, "unifac_lle_groups", UnifacVersion::lle);
        }
        c.sources.origin = file_ + ":" + std::to_string(line_of(t));
        return c;
    }

    std::size_t component_position(const ProblemDefinition& p,
                                   const toml::node& n,
                                   const std::string& key,
                                   const std::string& id) {
        for (std::size_t i = 0; i < p.components.size(); ++i) {
            if (equal_ignoring_case(p.components[i].id, id)) { return i; }
        }
        fail(n, key, "component " + in_quotes(id) + " is not one of the problem's components");
    }

    static bool uses_pairs(PropertyMethod m) {
        return m == PropertyMethod::wilson || m == PropertyMethod::nrtl ||
               m == PropertyMethod::uniquac;
    }

    void read_option_sets(const toml::table& root, ProblemDefinition& p) {
        const toml::node* list = root.get("option_set");
        if (list == nullptr) {
            fail(0, "option_set", "no option sets: add at least one [[option_set]] table");
        }
        const toml::array& a = array_of_tables(*list, "option_set");
        if (a.size() > kMaxOptionSets) {
            fail(*list, "option_set", "at most " + std::to_string(kMaxOptionSets) + " option sets");
        }
        for (const toml::node& node : a) {
            const toml::table& t = *node.as_table();
            allow_keys(t, {"name", "method", "vapour", "parameter_set", "missing_pairs", "pair"});
            OptionSet s;
            s.line = line_of(t);
            s.origin = file_ + ":" + std::to_string(s.line);
            const toml::node& name_node = required(t, "name");
            s.name = text_of(name_node, "name");
            if (s.name.empty() || s.name.size() > kMaxOptionSetNameLength ||
                !is_plain_token(s.name)) {
                fail(name_node, "name",
                     "an option-set name has 1 to 8 characters, without blanks or commas: " +
                         in_quotes(s.name));
            }
            for (const auto& earlier : p.option_sets) {
                if (equal_ignoring_case(earlier.name, s.name)) {
                    fail(name_node, "name",
                         "option set " + in_quotes(s.name) + " is defined twice");
                }
            }
            const toml::node& method_node = required(t, "method");
            const std::string method = text_of(method_node, "method");
            const auto m = parse_property_method(method);
            if (!m) {
                fail(method_node, "method",
                     "unknown property method " + in_quotes(method) +
                         " (IDEAL, WILSON, NRTL, UNIQUAC, UNIFAC or UNIFAC-LLE)");
            }
            s.method = *m;
            if (const toml::node* n = t.get("vapour")) {
                const std::string vapour = text_of(*n, "vapour");
                if (!equal_ignoring_case(vapour, "IDEAL-GAS") &&
                    !equal_ignoring_case(vapour, "IDEAL")) {
                    fail(*n, "vapour",
                         "unknown vapour model " + in_quotes(vapour) + " (only \"IDEAL-GAS\")");
                }
            }
            if (const toml::node* n = t.get("parameter_set")) {
                if (s.method != PropertyMethod::nrtl) {
                    fail(*n, "parameter_set", "only an NRTL option set takes a parameter set");
                }
                s.parameter_set = text_of(*n, "parameter_set");
                const auto sets = bank_.nrtl_lle_sets();
                if (std::find(sets.begin(), sets.end(), s.parameter_set) == sets.end()) {
                    std::string known;
                    for (const auto& name : sets) { known += (known.empty() ? "" : ", ") + name; }
                    fail(*n, "parameter_set",
                         "unknown NRTL parameter set " + in_quotes(s.parameter_set) + " (" + known +
                             ")");
                }
            }
            if (const toml::node* n = t.get("missing_pairs")) {
                if (!uses_pairs(s.method)) {
                    fail(*n, "missing_pairs",
                         "only WILSON, NRTL and UNIQUAC option sets have binary pairs");
                }
                const std::string rule = text_of(*n, "missing_pairs");
                if (equal_ignoring_case(rule, "ideal")) {
                    s.missing_pairs = MissingPairRule::ideal;
                } else if (equal_ignoring_case(rule, "unifac")) {
                    s.missing_pairs = MissingPairRule::unifac;
                } else {
                    fail(*n, "missing_pairs",
                         "must be \"ideal\" or \"unifac\", not " + in_quotes(rule));
                }
            }
            if (const toml::node* n = t.get("pair")) {
                if (!uses_pairs(s.method)) {
                    fail(*n, "pair", "only WILSON, NRTL and UNIQUAC option sets have binary pairs");
                }
                for (const toml::node& pn : array_of_tables(*n, "pair")) {
                    s.overrides.push_back(read_pair(*pn.as_table(), p, s));
                }
            }
            p.option_sets.push_back(std::move(s));
        }
    }

    BinaryOverride read_pair(const toml::table& t, const ProblemDefinition& p, const OptionSet& s) {
        const bool nrtl = s.method == PropertyMethod::nrtl;
        if (nrtl) {
            allow_keys(t, {"components", "a_12", "b_12_K", "a_21", "b_21_K", "alpha"});
        } else {
            allow_keys(t, {"components", "a_12", "b_12_K", "a_21", "b_21_K"});
        }
        const toml::node& cn = required(t, "components");
        const toml::array* ids = cn.as_array();
        if (ids == nullptr || ids->size() != 2 || !(*ids)[0].is_string() ||
            !(*ids)[1].is_string()) {
            fail(cn, "components", "must name two components, e.g. [\"ETOH\", \"WATER\"]");
        }
        BinaryOverride o;
        o.first = component_position(p, cn, "components", (*ids)[0].as_string()->get());
        o.second = component_position(p, cn, "components", (*ids)[1].as_string()->get());
        if (o.first == o.second) {
            fail(cn, "components", "a pair needs two different components");
        }
        for (const auto& earlier : s.overrides) {
            if ((earlier.first == o.first && earlier.second == o.second) ||
                (earlier.first == o.second && earlier.second == o.first)) {
                fail(cn, "components",
                     "pair " + p.components[o.first].id + "/" + p.components[o.second].id +
                         " is given twice in option set " + in_quotes(s.name) + " (first at " +
                         earlier.origin + ")");
            }
        }
        o.a_12 = optional_number(t, "a_12", 0.0);
        o.b_12 = optional_number(t, "b_12_K", 0.0);
        o.a_21 = optional_number(t, "a_21", 0.0);
        o.b_21 = optional_number(t, "b_21_K", 0.0);
        if (nrtl) {
            o.alpha = required_number(t, "alpha");
            if (!(o.alpha > 0.0 && o.alpha <= 1.0)) {
                fail(*t.get("alpha"), "alpha", "must lie in (0, 1]");
            }
        }
        o.origin = file_ + ":" + std::to_string(line_of(t));
        return o;
    }

    void read_global(const toml::table& root, ProblemDefinition& p) {
        const toml::node* n = root.get("global_option_set");
        if (n == nullptr) {
            p.global_option_set = 0;
            return;
        }
        const std::string name = text_of(*n, "global_option_set");
        for (std::size_t k = 0; k < p.option_sets.size(); ++k) {
            if (equal_ignoring_case(p.option_sets[k].name, name)) {
                p.global_option_set = k;
                return;
            }
        }
        fail(*n, "global_option_set", "no option set is named " + in_quotes(name));
    }

    /// Builds every option set's model over all components once, so that a method that cannot
    /// describe a component is reported here, with its line, and never at flash time.
    void check_models(const ProblemDefinition& p) {
        for (std::size_t k = 0; k < p.option_sets.size(); ++k) {
            try {
                const OptionSetModel model(p, k, bank_);
            } catch (const std::invalid_argument& e) {
                fail(p.option_sets[k].line, "method",
                     std::string(method_name(p.option_sets[k].method)) +
                         " cannot be used: " + e.what());
            }
        }
    }

    const std::string& file_;
    const Databank& bank_;
};

}  // namespace

ProblemDefinitionError::ProblemDefinitionError(std::string file,
                                               std::size_t line,
                                               std::string key,
                                               const std::string& message)
    : std::runtime_error(located_message(file, line, key, message)),
      file_(std::move(file)),
      line_(line),
      key_(std::move(key)) {}

bool equal_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) { return false; }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) { return false; }
    }
    return true;
}

ProblemDefinition parse_problem_definition(std::string_view text,
                                           const std::string& file,
                                           const Databank& bank) {
    return Reader(file, bank).read(text);
}

ProblemDefinition read_problem_definition(const std::filesystem::path& path,
                                          const std::string& file_label,
                                          const Databank& bank) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw ProblemDefinitionError(file_label, 0, "", "is a directory, not a file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) { throw ProblemDefinitionError(file_label, 0, "", "cannot be opened for reading"); }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) { throw ProblemDefinitionError(file_label, 0, "", "cannot be read"); }
    return parse_problem_definition(text.str(), file_label, bank);
}

}  // namespace host
