// The shipped databank: what it holds (counts and spot values from the data notes and the
// published UNIFAC tables), that the embedded copy is the data/databank files, and that every kind
// of malformed row is refused with its file, line and column.
#include "host/databank.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/model_factory.hpp"
#include "platform/units.hpp"

namespace {

using host::BinaryTable;
using host::Databank;
using host::DatabankError;

TEST(Databank, HoldsEveryComponentAndParameterTable) {
    // Counts as the data notes list them (components.md, binary.md, nrtl_lle.md, unifac/README.md).
    const Databank& bank = Databank::embedded();
    EXPECT_EQ(bank.components().size(), 36u);
    EXPECT_EQ(bank.binary_rows(BinaryTable::nrtl).size(), 102u);
    EXPECT_EQ(bank.binary_rows(BinaryTable::nrtl_alt).size(), 19u);
    EXPECT_EQ(bank.binary_rows(BinaryTable::nrtl_lle).size(), 24u);
    EXPECT_EQ(bank.binary_rows(BinaryTable::uniquac).size(), 99u);
    EXPECT_EQ(bank.binary_rows(BinaryTable::wilson).size(), 103u);
    const auto& vle = bank.unifac(host::UnifacVersion::original);
    const auto& lle = bank.unifac(host::UnifacVersion::lle);
    EXPECT_EQ(vle.subgroups.size(), 113u);
    EXPECT_EQ(vle.main_group_names.size(), 54u);
    EXPECT_EQ(vle.interactions.size(), 1270u);
    EXPECT_EQ(lle.subgroups.size(), 57u);
    EXPECT_EQ(lle.main_group_names.size(), 32u);
    EXPECT_EQ(lle.interactions.size(), 512u);
    EXPECT_EQ(bank.nrtl_lle_sets(), (std::vector<std::string>{"TW-PUB-1", "EWB-1", "EWC-1", "IWD-1",
                                                              "WX-ULLE-1", "MISC-UNIFAC-1"}));
    for (const auto& c : bank.components()) {
        EXPECT_FALSE(c.unifac_groups.empty()) << c.id;
        EXPECT_FALSE(c.unifac_lle_groups.empty()) << c.id;
        EXPECT_LE(c.id.size(), 8u);
        EXPECT_LE(c.name.size(), 12u);
    }
}

TEST(Databank, UnifacTablesHoldThePublishedValues) {
    // Fredenslund et al. (1975) / Hansen et al. (1991) and Magnussen et al. (1981), as quoted in
    // the activity-model notes and unifac/README.md.
    const Databank& bank = Databank::embedded();
    const auto& vle = bank.unifac(host::UnifacVersion::original);
    EXPECT_DOUBLE_EQ(vle.find_subgroup(1)->R, 0.9011);
    EXPECT_DOUBLE_EQ(vle.find_subgroup(1)->Q, 0.848);
    EXPECT_DOUBLE_EQ(vle.find_subgroup(16)->R, 0.92);  // H2O
    EXPECT_EQ(vle.find_subgroup(16)->main_group, 7);
    EXPECT_EQ(*vle.interaction(1, 7), 1318.0);  // a(CH2, H2O)
    EXPECT_EQ(*vle.interaction(7, 1), 300.0);   // a(H2O, CH2): a_mn != a_nm
    EXPECT_EQ(*vle.interaction(1, 5), 986.5);
    EXPECT_EQ(*vle.interaction(5, 1), 156.4);
    EXPECT_EQ(*vle.interaction(5, 5), 0.0);
    EXPECT_FALSE(vle.interaction(20, 27).has_value());  // COOH-CNO2: never published
    const auto& lle = bank.unifac(host::UnifacVersion::lle);
    EXPECT_EQ(lle.find_subgroup(17)->main_group, 8);  // H2O has its own numbering in UNIFAC-LLE
    EXPECT_EQ(*lle.interaction(1, 8), 1300.0);
    EXPECT_EQ(*lle.interaction(8, 1), 342.4);
    EXPECT_DOUBLE_EQ(lle.find_subgroup(30)->R, 0.9183);  // the corrected upstream typo (9183)
    EXPECT_EQ(vle.find_subgroup(0), nullptr);
}

TEST(Databank, ConvertsToTheHostUnitsAndKeepsSources) {
    const Databank& bank = Databank::embedded();
    const host::PureComponent* water = bank.find("WATER");
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->name, "water");
    EXPECT_EQ(water->cas, "7732-18-5");
    EXPECT_DOUBLE_EQ(water->molar_mass, 18.01528);               // kg/kmol
    EXPECT_DOUBLE_EQ(water->heat_of_vaporization.A, 52053.0e3);  // J/kmol
    EXPECT_DOUBLE_EQ(water->heat_of_vaporization.Tc, 647.096);   // not tc_K (647.1)
    EXPECT_DOUBLE_EQ(water->critical_temperature, 647.1);
    EXPECT_DOUBLE_EQ(water->liquid_volume_298, 18.069e-3);   // m3/kmol
    EXPECT_DOUBLE_EQ(water->ideal_gas_cp.c[0], 36.54003e3);  // J/(kmol K)
    EXPECT_DOUBLE_EQ(water->vapour_pressure.T_max, 647.096);
    EXPECT_EQ(water->sources.vapour_pressure, "P28");
    EXPECT_EQ(water->sources.origin, "components.tsv:2");
    EXPECT_TRUE(std::isnan(bank.find("CH2CL2")->wilson_volume));  // the one empty field
    EXPECT_EQ(bank.find("etoh"), nullptr);                        // ids are exact
    EXPECT_EQ(bank.find(""), nullptr);

    for (const BinaryTable t : {BinaryTable::nrtl, BinaryTable::nrtl_alt, BinaryTable::nrtl_lle,
                                BinaryTable::uniquac, BinaryTable::wilson}) {
        for (const auto& row : bank.binary_rows(t)) {
            EXPECT_FALSE(row.source.empty()) << row.origin;
            EXPECT_NE(row.origin.find(".tsv:"), std::string::npos) << row.origin;
        }
    }
    const auto* toluene = bank.find_binary(BinaryTable::nrtl_lle, "TOLUENE", "WATER", "TW-PUB-1");
    ASSERT_NE(toluene, nullptr);
    EXPECT_NE(toluene->source.find("McDonald"), std::string::npos);
    EXPECT_EQ(bank.find_binary(BinaryTable::nrtl_lle, "TOLUENE", "WATER"), nullptr);  // set needed
    EXPECT_EQ(bank.find_binary(BinaryTable::nrtl_lle, "TOLUENE", "WATER", "EWB-1"), nullptr);
}

TEST(Databank, OrientsPairsForTheCaller) {
    // nrtl.tsv row WATER-ETOH: b_ij (water around ethanol) = 624.8676223 K, b_ji = -29.16665448 K.
    const Databank& bank = Databank::embedded();
    const auto forward = bank.binary(BinaryTable::nrtl, "WATER", "ETOH");
    const auto backward = bank.binary(BinaryTable::nrtl, "ETOH", "WATER");
    ASSERT_TRUE(forward && backward);
    EXPECT_DOUBLE_EQ(forward->b_12, 624.8676223);
    EXPECT_DOUBLE_EQ(forward->b_21, -29.16665448);
    EXPECT_DOUBLE_EQ(backward->b_12, -29.16665448);
    EXPECT_DOUBLE_EQ(backward->b_21, 624.8676223);
    EXPECT_DOUBLE_EQ(backward->alpha, 0.2937);
    EXPECT_EQ(forward->row, backward->row);
    EXPECT_FALSE(bank.binary(BinaryTable::nrtl, "WATER", "BENZENE").has_value());
    // TW-PUB-1 (McDonald & Floudas 1995): tau(water->toluene) = 7.77063 and
    // tau(toluene->water) = 4.93035 at 298.15 K; the file rounds b = tau * 298.15 K to 0.01 K.
    const auto tw = bank.binary(BinaryTable::nrtl_lle, "WATER", "TOLUENE", "TW-PUB-1");
    ASSERT_TRUE(tw);
    EXPECT_NEAR(tw->b_12 / 298.15, 7.77063, 0.005 / 298.15 + 1e-5);
    EXPECT_NEAR(tw->b_21 / 298.15, 4.93035, 0.005 / 298.15 + 1e-5);
}

TEST(Databank, EmbeddedCopyIsTheShippedFiles) {
    // Two routes to one databank: the copy compiled into the library and the files on disk.
    const Databank& embedded = Databank::embedded();
    const Databank loaded = Databank::load(DISTIL_DATABANK_DIR);
    ASSERT_EQ(loaded.components().size(), embedded.components().size());
    for (std::size_t i = 0; i < loaded.components().size(); ++i) {
        const auto& a = loaded.components()[i];
        const auto& b = embedded.components()[i];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.vapour_pressure.A, b.vapour_pressure.A);
        EXPECT_EQ(a.heat_of_vaporization.A, b.heat_of_vaporization.A);
        EXPECT_EQ(a.unifac_groups, b.unifac_groups);
        EXPECT_EQ(a.unifac_lle_groups, b.unifac_lle_groups);
    }
    EXPECT_EQ(loaded.binary_rows(BinaryTable::wilson).size(),
              embedded.binary_rows(BinaryTable::wilson).size());
    EXPECT_THROW(Databank::load("/nonexistent/databank"), DatabankError);
    // Byte for byte: the build embeds the files unchanged (semicolons, quotes, UTF-8 included).
    ASSERT_EQ(Databank::embedded_files().size(), Databank::kFileNames.size());
    for (const auto& f : Databank::embedded_files()) {
        std::ifstream in(std::string(DISTIL_DATABANK_DIR) + "/" + std::string(f.name),
                         std::ios::binary);
        const std::string disk((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(disk == f.text) << f.name;
    }
}

/// The embedded files with one field replaced: `column` of data line `line` (1-based file line).
class MalformedDatabank : public ::testing::Test {
protected:
    void SetUp() override { reset(); }

    /// Back to the unchanged embedded texts.
    void reset() {
        texts_.clear();
        for (const auto& f : Databank::embedded_files()) {
            texts_.emplace_back(f.name, std::string(f.text));
        }
    }

    std::string& text(std::string_view file) {
        for (auto& [name, t] : texts_) {
            if (name == file) { return t; }
        }
        throw std::runtime_error("no file " + std::string(file));
    }

    std::vector<std::string> lines(std::string_view file) {
        std::vector<std::string> out;
        std::string& t = text(file);
        std::size_t start = 0;
        while (start < t.size()) {
            const std::size_t end = t.find('\n', start);
            out.push_back(t.substr(start, end - start));
            start = end == std::string::npos ? t.size() : end + 1;
        }
        return out;
    }

    void set_lines(std::string_view file, const std::vector<std::string>& l) {
        std::string joined;
        for (const auto& s : l) { joined += s + "\n"; }
        text(file) = joined;
    }

    void set_field(std::string_view file,
                   std::size_t line,
                   std::string_view column,
                   const std::string& value) {
        auto l = lines(file);
        const auto split = [](const std::string& s) {
            std::vector<std::string> fields;
            std::size_t start = 0;
            while (true) {
                const std::size_t tab = s.find('\t', start);
                fields.push_back(s.substr(start, tab - start));
                if (tab == std::string::npos) { return fields; }
                start = tab + 1;
            }
        };
        const auto header = split(l[0]);
        auto fields = split(l[line - 1]);
        const auto it = std::find(header.begin(), header.end(), column);
        ASSERT_NE(it, header.end()) << column;
        fields[static_cast<std::size_t>(it - header.begin())] = value;
        std::string row;
        for (std::size_t i = 0; i < fields.size(); ++i) { row += (i ? "\t" : "") + fields[i]; }
        l[line - 1] = row;
        set_lines(file, l);
    }

    /// Parses and returns the error message ("" when parsing succeeded).
    std::string parse_error() {
        std::vector<host::DatabankFile> files;
        for (const auto& [name, t] : texts_) { files.push_back(host::DatabankFile{name, t}); }
        try {
            (void)Databank::parse(files);
        } catch (const DatabankError& e) { return e.what(); }
        return "";
    }

    std::vector<std::pair<std::string_view, std::string>> texts_;
};

TEST_F(MalformedDatabank, UnchangedFilesParse) { EXPECT_EQ(parse_error(), ""); }

TEST_F(MalformedDatabank, ANumberFieldThatIsNotANumberNamesFileLineAndColumn) {
    set_field("nrtl.tsv", 12, "b_ij_K", "12.5x");
    EXPECT_EQ(parse_error(), "nrtl.tsv:12: 'b_ij_K': not a number: 12.5x");
    reset();
    set_field("components.tsv", 5, "tc_K", "nan");
    EXPECT_EQ(parse_error(), "components.tsv:5: 'tc_K': not a finite number: nan");
}

TEST_F(MalformedDatabank, EveryKindOfBadRowIsRefused) {
    struct Edit {
        std::string_view file;
        std::size_t line;
        std::string_view column;
        std::string value;
        std::string expected;  // the whole message
    };
    const std::vector<Edit> edits = {
        {"components.tsv", 3, "vp_B", "", "components.tsv:3: 'vp_B': missing value"},
        {"components.tsv", 3, "id", "METHANOLXX",
         "components.tsv:3: 'id': an id has at most 8 characters and no blanks or commas: "
         "METHANOLXX"},
        {"components.tsv", 3, "id", "WATER",
         "components.tsv:3: 'id': component listed twice: WATER"},
        {"components.tsv", 4, "mw_g_per_mol", "-46",
         "components.tsv:4: 'mw_g_per_mol': must be positive"},
        {"components.tsv", 4, "vp_Tmax_K", "100",
         "components.tsv:4: 'vp_Tmax_K': must be above vp_Tmin_K"},
        {"wilson.tsv", 7, "id_j", "NOPE", "wilson.tsv:7: 'id_j': unknown component 'NOPE'"},
        {"uniquac.tsv", 2, "cas_i", "1-2-3",
         "uniquac.tsv:2: 'cas_i': CAS 1-2-3 does not match WATER (7732-18-5)"},
        {"nrtl.tsv", 3, "alpha_ij", "-0.3", "nrtl.tsv:3: 'alpha_ij': must be positive"},
        {"nrtl_lle.tsv", 2, "set", "", "nrtl_lle.tsv:2: 'set': missing value"},
        {"unifac/vle_decomposition.tsv", 2, "subgroups", "16:1 999:2",
         "unifac/vle_decomposition.tsv:2: 'subgroups': unknown subgroup 999"},
        {"unifac/lle_decomposition.tsv", 2, "subgroups", "17",
         "unifac/lle_decomposition.tsv:2: 'subgroups': expected subgroup:count with positive "
         "whole numbers, found '17'"},
        {"unifac/vle_interactions.tsv", 2, "m", "77",
         "unifac/vle_interactions.tsv:2: 'm': unknown main group 77"},
        {"unifac/vle_subgroups.tsv", 2, "R", "0",
         "unifac/vle_subgroups.tsv:2: 'R': must be positive"},
        {"unifac/lle_subgroups.tsv", 3, "main_group", "1.5",
         "unifac/lle_subgroups.tsv:3: 'main_group': not a whole number: 1.5"},
    };
    for (const auto& e : edits) {
        reset();
        set_field(e.file, e.line, e.column, e.value);
        EXPECT_EQ(parse_error(), e.expected) << e.file << ":" << e.line << " " << e.column;
    }
}

TEST_F(MalformedDatabank, StructuralErrorsAreRefused) {
    {
        auto l = lines("wilson.tsv");
        l[9] = l[9].substr(0, l[9].rfind('\t'));  // drop the last field of line 10
        set_lines("wilson.tsv", l);
        EXPECT_EQ(parse_error(), "wilson.tsv:10: expected 9 fields, found 8");
    }
    reset();
    {
        auto l = lines("uniquac.tsv");
        l.push_back(l[1]);  // the first pair again at the end
        set_lines("uniquac.tsv", l);
        EXPECT_EQ(parse_error(), "uniquac.tsv:" + std::to_string(l.size()) +
                                     ": pair WATER-MEOH listed twice (first at uniquac.tsv:2)");
    }
    reset();
    {
        auto l = lines("nrtl_alt.tsv");
        l[0].replace(l[0].find("b_ji_K"), 6, "b_ji");
        set_lines("nrtl_alt.tsv", l);
        EXPECT_EQ(parse_error(), "nrtl_alt.tsv:1: 'b_ji_K': missing column");
    }
    reset();
    {
        text("unifac/lle_main_groups.tsv") = "\n\n";
        EXPECT_EQ(parse_error(), "unifac/lle_main_groups.tsv: empty file, expected a header row");
    }
    reset();
    {
        texts_.pop_back();
        EXPECT_EQ(parse_error(), "unifac/lle_decomposition.tsv: missing databank file");
    }
}

TEST_F(MalformedDatabank, WindowsLineEndingsAndBlankLinesAreAccepted) {
    std::string& t = text("wilson.tsv");
    std::string converted;
    for (const char c : t) { converted += c == '\n' ? std::string("\r\n") : std::string(1, c); }
    t = converted + "\r\n\r\n";
    EXPECT_EQ(parse_error(), "");
}

TEST(ModelFactory, RefusesUnknownDuplicateAndIndescribableComponents) {
    const Databank& bank = Databank::embedded();
    const auto message = [&](std::vector<std::string> ids, host::PropertyMethod method) {
        try {
            (void)host::make_mixture(bank, ids, method);
        } catch (const std::invalid_argument& e) { return std::string(e.what()); }
        return std::string();
    };
    EXPECT_EQ(message({"ETOH", "NOPE"}, host::PropertyMethod::nrtl), "unknown component id 'NOPE'");
    EXPECT_EQ(message({"ETOH", "ETOH"}, host::PropertyMethod::ideal),
              "component 'ETOH' is listed twice");
    EXPECT_EQ(message({}, host::PropertyMethod::wilson), "no components given");
    // Water with DMSO has no UNIFAC-LLE parameters (unifac/README.md, gaps).
    const std::string lle = message({"WATER", "DMSO"}, host::PropertyMethod::unifac_lle);
    EXPECT_NE(lle.find("UNIFAC-LLE"), std::string::npos) << lle;
    EXPECT_NE(lle.find("DMSO"), std::string::npos) << lle;
    EXPECT_EQ(message({"WATER", "DMSO"}, host::PropertyMethod::unifac), "");

    EXPECT_THROW(host::make_mixture(bank, std::vector<std::string>{"WATER", "TOLUENE"},
                                    host::PropertyMethod::nrtl, {"NO-SUCH-SET"}),
                 std::invalid_argument);
}

TEST(ModelFactory, LeavesPairsWithoutParametersIdealAndSaysWhich) {
    const Databank& bank = Databank::embedded();
    const auto components =
        host::find_components(bank, std::vector<std::string>{"ETOH", "WATER", "BENZENE"});
    host::MissingPairs missing;
    const auto p = host::nrtl_parameters(bank, components, {}, &missing);
    // nrtl.tsv has no water-benzene row (binary.md: no water-hydrocarbon pair at all).
    EXPECT_EQ(missing, (host::MissingPairs{{1, 2}}));
    EXPECT_EQ(p.tau.b[1 * 3 + 2], 0.0);
    EXPECT_EQ(p.tau.b[2 * 3 + 1], 0.0);
    // The EWB-1 set of nrtl_lle.tsv is complete for this ternary.
    missing.clear();
    const auto ewb = host::nrtl_parameters(bank, components, "EWB-1", &missing);
    EXPECT_TRUE(missing.empty());
    EXPECT_NE(ewb.tau.b[1 * 3 + 2], 0.0);
    EXPECT_DOUBLE_EQ(ewb.alpha[1 * 3 + 2], ewb.alpha[2 * 3 + 1]);
}

TEST(ModelFactory, MethodNamesRoundTrip) {
    for (const auto m : {host::PropertyMethod::ideal, host::PropertyMethod::wilson,
                         host::PropertyMethod::nrtl, host::PropertyMethod::uniquac,
                         host::PropertyMethod::unifac, host::PropertyMethod::unifac_lle}) {
        EXPECT_EQ(host::parse_property_method(host::method_name(m)), m);
    }
    EXPECT_EQ(host::parse_property_method("nrtl"), host::PropertyMethod::nrtl);
    EXPECT_EQ(host::parse_property_method("NRTL2"), std::nullopt);
    EXPECT_EQ(host::parse_property_method(""), std::nullopt);
}

}  // namespace
