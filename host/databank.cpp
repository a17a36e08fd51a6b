#include "host/databank.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "host/detail/embedded_databank.hpp"
#include "host/detail/tsv.hpp"
#include "platform/units.hpp"

namespace host {

namespace {

std::string format_error(const std::string& file,
                         std::size_t line,
                         const std::string& column,
                         const std::string& message) {
    std::string text = file;
    if (line > 0) { text += ":" + std::to_string(line); }
    text += ": ";
    if (!column.empty()) { text += "'" + column + "': "; }
    return text + message;
}

std::size_t table_index(BinaryTable table) { return static_cast<std::size_t>(table); }

bool same_pair(const BinaryParameterRow& row, std::string_view id1, std::string_view id2) {
    return (row.id_i == id1 && row.id_j == id2) || (row.id_i == id2 && row.id_j == id1);
}

}  // namespace

DatabankError::DatabankError(std::string file,
                             std::size_t line,
                             std::string column,
                             const std::string& message)
    : std::runtime_error(format_error(file, line, column, message)),
      file_(std::move(file)),
      line_(line),
      column_(std::move(column)) {}

const UnifacSubgroup* UnifacTable::find_subgroup(int id) const noexcept {
    const auto it = std::lower_bound(subgroups.begin(), subgroups.end(), id,
                                     [](const UnifacSubgroup& s, int key) { return s.id < key; });
    return it != subgroups.end() && it->id == id ? &*it : nullptr;
}

std::optional<double> UnifacTable::interaction(int m, int n) const noexcept {
    if (m == n) { return 0.0; }
    const auto it = interactions.find({m, n});
    if (it == interactions.end()) { return std::nullopt; }
    return it->second;
}

/// Reads the databank files in dependency order: components first, since every other file
/// refers to component ids; UNIFAC subgroups before the decompositions that use them.
struct DatabankParser {
    using Column = detail::TsvTable::Column;

    Databank bank;

    static void require_positive(const detail::TsvTable& t,
                                 std::size_t r,
                                 const Column& c,
                                 double value) {
        if (!(value > 0.0)) { t.fail(r, c, "must be positive"); }
    }

    void read_components(const detail::TsvTable& t) {
        const Column id = t.column("id"), name = t.column("name"), cas = t.column("cas"),
                     formula = t.column("formula"), mw = t.column("mw_g_per_mol"),
                     tc = t.column("tc_K"), pc = t.column("pc_Pa"), omega = t.column("omega"),
                     tb = t.column("tb_K");
        const std::array<Column, 7> vp{t.column("vp_A"), t.column("vp_B"), t.column("vp_C"),
                                       t.column("vp_D"), t.column("vp_E"), t.column("vp_F"),
                                       t.column("vp_G")};
        const Column vp_min = t.column("vp_Tmin_K"), vp_max = t.column("vp_Tmax_K");
        const std::array<Column, 5> cp{t.column("cpig_A"), t.column("cpig_B"), t.column("cpig_C"),
                                       t.column("cpig_D"), t.column("cpig_E")};
        const Column cp_min = t.column("cpig_Tmin_K"), cp_max = t.column("cpig_Tmax_K");
        const Column hv_a = t.column("hvap_A_J_per_mol"), hv_b = t.column("hvap_B"),
                     hv_c = t.column("hvap_C"), hv_d = t.column("hvap_D"),
                     hv_e = t.column("hvap_E"), hv_tc = t.column("hvap_Tc_K"),
                     hv_min = t.column("hvap_Tmin_K"), hv_max = t.column("hvap_Tmax_K");
        const Column vl = t.column("vl298_cm3_per_mol"), r_col = t.column("uniquac_r"),
                     q_col = t.column("uniquac_q"), wv = t.column("wilson_v_cm3_per_mol");
        const Column s_tc = t.column("src_tc_pc"), s_om = t.column("src_omega"),
                     s_mw = t.column("src_mw"), s_tb = t.column("src_tb"),
                     s_vp = t.column("src_vp"), s_cp = t.column("src_cpig"),
                     s_hv = t.column("src_hvap"), s_vl = t.column("src_vl298"),
                     s_uq = t.column("src_uniquac");

        for (std::size_t r = 0; r < t.row_count(); ++r) {
            PureComponent c;
            c.id = std::string(t.required_text(r, id));
            if (c.id.size() > 8 || c.id.find_first_of(" ,") != std::string::npos) {
                t.fail(r, id, "an id has at most 8 characters and no blanks or commas: " + c.id);
            }
            if (bank.index_.count(c.id) != 0) { t.fail(r, id, "component listed twice: " + c.id); }
            c.name = std::string(t.required_text(r, name));
            if (c.name.size() > 12) {
                t.fail(r, name, "a name has at most 12 characters: " + c.name);
            }
            c.cas = std::string(t.required_text(r, cas));
            c.formula = std::string(t.text(r, formula));

            c.molar_mass = t.number(r, mw);  // g/mol = kg/kmol
            require_positive(t, r, mw, c.molar_mass);
            c.critical_temperature = t.number(r, tc);
            require_positive(t, r, tc, c.critical_temperature);
            c.critical_pressure = t.number(r, pc);
            require_positive(t, r, pc, c.critical_pressure);
            c.acentric_factor = t.number(r, omega);
            c.normal_boiling_point = t.number(r, tb);
            require_positive(t, r, tb, c.normal_boiling_point);

            auto& v = c.vapour_pressure;
            v.A = t.number(r, vp[0]);
            v.B = t.number(r, vp[1]);
            v.C = t.number(r, vp[2]);
            v.D = t.number(r, vp[3]);
            v.E = t.number(r, vp[4]);
            v.F = t.number(r, vp[5]);
            v.G = t.number(r, vp[6]);
            v.T_min = t.number(r, vp_min);
            v.T_max = t.number(r, vp_max);
            require_positive(t, r, vp_min, v.T_min);
            if (!(v.T_max > v.T_min)) { t.fail(r, vp_max, "must be above vp_Tmin_K"); }
            if (v.T_min + v.C <= 0.0) {
                t.fail(r, vp[2], "T + vp_C must stay positive over the range");
            }

            // The file gives J/(mol K^(k+1)); the host works per kmol.
            for (std::size_t k = 0; k < cp.size(); ++k) {
                c.ideal_gas_cp.c[k] = t.number(r, cp[k]) * units::kJoulePerMol;
            }
            c.ideal_gas_cp.T_min = t.number(r, cp_min);
            c.ideal_gas_cp.T_max = t.number(r, cp_max);

            auto& h = c.heat_of_vaporization;
            h.A = t.number(r, hv_a) * units::kJoulePerMol;
            require_positive(t, r, hv_a, h.A);
            h.B = t.number(r, hv_b);
            h.C = t.number(r, hv_c);
            h.D = t.number(r, hv_d);
            h.E = t.number(r, hv_e);
            h.Tc = t.number(r, hv_tc);
            require_positive(t, r, hv_tc, h.Tc);
            h.T_min = t.number(r, hv_min);
            h.T_max = t.number(r, hv_max);

            c.liquid_volume_298 = t.number(r, vl) * units::kCubicCentimetrePerMol;
            require_positive(t, r, vl, c.liquid_volume_298);
            c.uniquac_r = t.number(r, r_col);
            require_positive(t, r, r_col, c.uniquac_r);
            c.uniquac_q = t.number(r, q_col);
            require_positive(t, r, q_col, c.uniquac_q);
            c.wilson_volume = t.optional_number(r, wv) * units::kCubicCentimetrePerMol;

            c.sources.critical = std::string(t.text(r, s_tc));
            c.sources.acentric_factor = std::string(t.text(r, s_om));
            c.sources.molar_mass = std::string(t.text(r, s_mw));
            c.sources.boiling_point = std::string(t.text(r, s_tb));
            c.sources.vapour_pressure = std::string(t.text(r, s_vp));
            c.sources.ideal_gas_cp = std::string(t.text(r, s_cp));
            c.sources.heat_of_vaporization = std::string(t.text(r, s_hv));
            c.sources.liquid_volume = std::string(t.text(r, s_vl));
            c.sources.uniquac = std::string(t.text(r, s_uq));
            c.sources.origin = t.file() + ":" + std::to_string(t.line(r));

            bank.index_.emplace(c.id, bank.components_.size());
            bank.components_.push_back(std::move(c));
        }
        if (bank.components_.empty()) { throw DatabankError(t.file(), 0, "", "no components"); }
    }

    /// The component a row refers to, checked against the CAS column that repeats the key.
    const PureComponent& component_of(const detail::TsvTable& t,
                                      std::size_t r,
                                      const Column& id_col,
                                      const Column* cas_col) {
        const std::string_view id = t.required_text(r, id_col);
        const PureComponent* c = bank.find(id);
        if (c == nullptr) { t.fail(r, id_col, "unknown component '" + std::string(id) + "'"); }
        if (cas_col != nullptr && t.required_text(r, *cas_col) != c->cas) {
            t.fail(r, *cas_col,
                   "CAS " + std::string(t.text(r, *cas_col)) + " does not match " + c->id + " (" +
                       c->cas + ")");
        }
        return *c;
    }

    void read_binary(const detail::TsvTable& t, BinaryTable table) {
        const Column id_i = t.column("id_i"), id_j = t.column("id_j"), cas_i = t.column("cas_i"),
                     cas_j = t.column("cas_j"), a_ij = t.column("a_ij"), b_ij = t.column("b_ij_K"),
                     a_ji = t.column("a_ji"), b_ji = t.column("b_ji_K");
        const bool nrtl = table == BinaryTable::nrtl || table == BinaryTable::nrtl_alt ||
                          table == BinaryTable::nrtl_lle;
        auto& rows = bank.binary_[table_index(table)];
        for (std::size_t r = 0; r < t.row_count(); ++r) {
            BinaryParameterRow row;
            row.id_i = component_of(t, r, id_i, &cas_i).id;
            row.id_j = component_of(t, r, id_j, &cas_j).id;
            if (row.id_i == row.id_j) { t.fail(r, id_j, "a pair needs two different components"); }
            row.a_ij = t.number(r, a_ij);
            row.b_ij = t.number(r, b_ij);
            row.a_ji = t.number(r, a_ji);
            row.b_ji = t.number(r, b_ji);
            row.T_min = row.T_max = std::numeric_limits<double>::quiet_NaN();
            if (nrtl) {
                const Column alpha = t.column("alpha_ij");
                row.alpha = t.number(r, alpha);
                require_positive(t, r, alpha, row.alpha);
            }
            switch (table) {
                case BinaryTable::nrtl:
                case BinaryTable::nrtl_alt: {
                    const std::string_view ref = t.text(r, t.column("dechema_ref"));
                    row.source =
                        "DECHEMA Chemistry Data Series Vol. I (VLE, 1 atm), via ChemSep "
                        "nrtl.ipd line " +
                        std::string(t.text(r, t.column("ipd_line"))) +
                        (ref.empty() ? std::string() : " (" + std::string(ref) + ")") + ": " +
                        std::string(t.text(r, t.column("upstream_name")));
                    break;
                }
                case BinaryTable::uniquac:
                case BinaryTable::wilson:
                    row.source = std::string(
                                     "DECHEMA Chemistry Data Series Vol. I (VLE), via "
                                     "ChemSep ") +
                                 (table == BinaryTable::uniquac ? "uniquac.json" : "wilson.json") +
                                 ": " + std::string(t.text(r, t.column("upstream_name")));
                    break;
                case BinaryTable::nrtl_lle: {
                    row.set = std::string(t.required_text(r, t.column("set")));
                    row.T_min = t.optional_number(r, t.column("T_min_K"));
                    row.T_max = t.optional_number(r, t.column("T_max_K"));
                    row.source = std::string(t.text(r, t.column("source"))) +
                                 " [confidence: " + std::string(t.text(r, t.column("confidence"))) +
                                 "]";
                    break;
                }
            }
            row.origin = t.file() + ":" + std::to_string(t.line(r));
            for (const auto& earlier : rows) {
                if (same_pair(earlier, row.id_i, row.id_j) && earlier.set == row.set) {
                    t.fail(r, "pair " + row.id_i + "-" + row.id_j + " listed twice (first at " +
                                  earlier.origin + ")");
                }
            }
            rows.push_back(std::move(row));
        }
    }

    void read_unifac(const detail::TsvTable& subgroups,
                     const detail::TsvTable& main_groups,
                     const detail::TsvTable& interactions,
                     UnifacTable& table) {
        {
            const detail::TsvTable& t = main_groups;
            const Column id = t.column("main_group"), name = t.column("main_group_name");
            for (std::size_t r = 0; r < t.row_count(); ++r) {
                const int m = t.integer(r, id);
                if (!table.main_group_names.emplace(m, std::string(t.text(r, name))).second) {
                    t.fail(r, id, "main group " + std::to_string(m) + " listed twice");
                }
            }
        }
        {
            const detail::TsvTable& t = subgroups;
            const Column id = t.column("subgroup"), name = t.column("subgroup_name"),
                         main = t.column("main_group"), R = t.column("R"), Q = t.column("Q");
            for (std::size_t r = 0; r < t.row_count(); ++r) {
                UnifacSubgroup s;
                s.id = t.integer(r, id);
                s.name = std::string(t.text(r, name));
                s.main_group = t.integer(r, main);
                if (table.main_group_names.count(s.main_group) == 0) {
                    t.fail(r, main, "unknown main group " + std::to_string(s.main_group));
                }
                s.R = t.number(r, R);
                require_positive(t, r, R, s.R);
                s.Q = t.number(r, Q);  // may be 0 (the quaternary carbon C has no surface)
                if (s.Q < 0.0) { t.fail(r, Q, "must not be negative"); }
                if (table.find_subgroup(s.id) != nullptr) {
                    t.fail(r, id, "subgroup " + std::to_string(s.id) + " listed twice");
                }
                const auto pos =
                    std::lower_bound(table.subgroups.begin(), table.subgroups.end(), s.id,
                                     [](const UnifacSubgroup& a, int key) { return a.id < key; });
                table.subgroups.insert(pos, std::move(s));
            }
        }
        {
            const detail::TsvTable& t = interactions;
            const Column m_col = t.column("m"), n_col = t.column("n"), a_col = t.column("a_mn_K");
            for (std::size_t r = 0; r < t.row_count(); ++r) {
                const int m = t.integer(r, m_col);
                const int n = t.integer(r, n_col);
                if (table.main_group_names.count(m) == 0) {
                    t.fail(r, m_col, "unknown main group " + std::to_string(m));
                }
                if (table.main_group_names.count(n) == 0) {
                    t.fail(r, n_col, "unknown main group " + std::to_string(n));
                }
                if (m == n) { t.fail(r, n_col, "a main group does not interact with itself"); }
                if (!table.interactions.emplace(std::pair{m, n}, t.number(r, a_col)).second) {
                    t.fail(r,
                           "pair " + std::to_string(m) + "-" + std::to_string(n) + " listed twice");
                }
            }
        }
    }

    void read_decomposition(const detail::TsvTable& t,
                            const UnifacTable& table,
                            UnifacGroupCounts PureComponent::*member) {
        const Column id = t.column("id"), cas = t.column("cas"), groups = t.column("subgroups");
        std::vector<bool> seen(bank.components_.size(), false);
        for (std::size_t r = 0; r < t.row_count(); ++r) {
            const std::size_t index = bank.index_.find(component_of(t, r, id, &cas).id)->second;
            if (seen[index]) { t.fail(r, id, "component listed twice"); }
            seen[index] = true;
            UnifacGroupCounts counts = detail::parse_group_counts(t, r, groups);
            for (const auto& [subgroup, count] : counts) {
                if (table.find_subgroup(subgroup) == nullptr) {
                    t.fail(r, groups, "unknown subgroup " + std::to_string(subgroup));
                }
            }
            bank.components_[index].*member = std::move(counts);
        }
    }
};

const PureComponent* Databank::find(std::string_view id) const {
    const auto it = index_.find(id);
    return it == index_.end() ? nullptr : &components_[it->second];
}

const BinaryParameterRow* Databank::find_binary(BinaryTable table,
                                                std::string_view id1,
                                                std::string_view id2,
                                                std::string_view set) const {
    if (table == BinaryTable::nrtl_lle && set.empty()) { return nullptr; }
    for (const auto& row : binary_[table_index(table)]) {
        if (same_pair(row, id1, id2) && (table != BinaryTable::nrtl_lle || row.set == set)) {
            return &row;
        }
    }
    return nullptr;
}

std::optional<OrientedBinaryParameters> Databank::binary(BinaryTable table,
                                                         std::string_view id1,
                                                         std::string_view id2,
                                                         std::string_view set) const {
    const BinaryParameterRow* row = find_binary(table, id1, id2, set);
    if (row == nullptr) { return std::nullopt; }
    OrientedBinaryParameters p;
    p.row = row;
    p.alpha = row->alpha;
    if (row->id_i == id1) {
        p.a_12 = row->a_ij;
        p.b_12 = row->b_ij;
        p.a_21 = row->a_ji;
        p.b_21 = row->b_ji;
    } else {
        p.a_12 = row->a_ji;
        p.b_12 = row->b_ji;
        p.a_21 = row->a_ij;
        p.b_21 = row->b_ij;
    }
    return p;
}

std::span<const BinaryParameterRow> Databank::binary_rows(BinaryTable table) const noexcept {
    return binary_[table_index(table)];
}

std::vector<std::string> Databank::nrtl_lle_sets() const {
    std::vector<std::string> sets;
    for (const auto& row : binary_[table_index(BinaryTable::nrtl_lle)]) {
        if (std::find(sets.begin(), sets.end(), row.set) == sets.end()) { sets.push_back(row.set); }
    }
    return sets;
}

const UnifacTable& Databank::unifac(UnifacVersion version) const noexcept {
    return version == UnifacVersion::original ? unifac_original_ : unifac_lle_;
}

Databank Databank::parse(std::span<const DatabankFile> files) {
    const auto text_of = [&](std::string_view name) -> std::string_view {
        const DatabankFile* found = nullptr;
        for (const auto& f : files) {
            if (f.name == name) {
                if (found != nullptr) {
                    throw DatabankError(std::string(name), 0, "", "file given twice");
                }
                found = &f;
            }
        }
        if (found == nullptr) {
            throw DatabankError(std::string(name), 0, "", "missing databank file");
        }
        return found->text;
    };
    const auto table = [&](std::string_view name) {
        return detail::TsvTable(std::string(name), text_of(name));
    };

    DatabankParser p;
    p.read_components(table("components.tsv"));
    p.read_binary(table("nrtl.tsv"), BinaryTable::nrtl);
    p.read_binary(table("nrtl_alt.tsv"), BinaryTable::nrtl_alt);
    p.read_binary(table("nrtl_lle.tsv"), BinaryTable::nrtl_lle);
    p.read_binary(table("uniquac.tsv"), BinaryTable::uniquac);
    p.read_binary(table("wilson.tsv"), BinaryTable::wilson);

    p.bank.unifac_original_.version = UnifacVersion::original;
    p.read_unifac(table("unifac/vle_subgroups.tsv"), table("unifac/vle_main_groups.tsv"),
                  table("unifac/vle_interactions.tsv"), p.bank.unifac_original_);
    p.read_decomposition(table("unifac/vle_decomposition.tsv"), p.bank.unifac_original_,
                         &PureComponent::unifac_groups);
    p.bank.unifac_lle_.version = UnifacVersion::lle;
    p.read_unifac(table("unifac/lle_subgroups.tsv"), table("unifac/lle_main_groups.tsv"),
                  table("unifac/lle_interactions.tsv"), p.bank.unifac_lle_);
    p.read_decomposition(table("unifac/lle_decomposition.tsv"), p.bank.unifac_lle_,
                         &PureComponent::unifac_lle_groups);
    return std::move(p.bank);
}

Databank Databank::load(const std::filesystem::path& directory) {
    std::vector<std::string> texts;
    texts.reserve(kFileNames.size());
    for (const auto name : kFileNames) {
        std::ifstream in(directory / std::filesystem::path(name), std::ios::binary);
        if (!in) {
            throw DatabankError((directory / std::filesystem::path(name)).string(), 0, "",
                                "cannot open the file");
        }
        std::ostringstream text;
        text << in.rdbuf();
        texts.push_back(std::move(text).str());
    }
    std::vector<DatabankFile> files;
    for (std::size_t i = 0; i < kFileNames.size(); ++i) {
        files.push_back(DatabankFile{kFileNames[i], texts[i]});
    }
    return parse(files);
}

std::span<const DatabankFile> Databank::embedded_files() noexcept {
    return detail::embedded_databank();
}

const Databank& Databank::embedded() {
    static const Databank bank = parse(embedded_files());
    return bank;
}

}  // namespace host
