// The four host libraries as a client sees them: loaded with dlopen, entry points found through
// cf_DllFcn, every entry point over the shipped example, the flash against the flash core, the
// restart protocol, the history and report files, and bad input through every entry point.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "host/databank.hpp"
#include "host/flash.hpp"
#include "host/model_factory.hpp"
#include "host/pure_component.hpp"
#include "host_library_client.hpp"

namespace {

using host_test::Field;
using host_test::FlashCall;
using host_test::HostLibraries;
using host_test::TempDir;

constexpr double kAtm = 101325.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string example(const std::string& name) {
    return std::string(DISTIL_EXAMPLES_DIR) + "/" + name;
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t count_lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void expect_zero(const std::vector<double>& v, const std::string& label) {
    for (double c : v) { EXPECT_EQ(c, 0.0) << label; }
}

class HostLibrariesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lib.error.empty()) << lib.error;
        lib.closepdf();
    }
    void TearDown() override {
        if (lib.closepdf != nullptr) { lib.closepdf(); }
    }
    /// Opens the ethanol/water/benzene example in the temporary directory.
    void open_example() {
        ASSERT_EQ(
            lib.open_problem(example("ethanol-water-benzene.toml"), dir.path().string(), "EWB"), 0)
            << lib.char_param("ERRMSG");
    }
    FlashCall bubble(std::vector<std::int64_t> components, std::vector<double> x) const {
        FlashCall f;
        f.kind = 3;
        f.spec1 = kAtm;
        f.spec2 = 0.0;
        f.components = std::move(components);
        f.z = std::move(x);
        return f;
    }

    HostLibraries lib;
    TempDir dir;
};

TEST_F(HostLibrariesTest, EachLibraryExportsExactlyItsEntryPoints) {
    const std::vector<std::string> propserve = {
        "CALLSETJMP",    "CLOSEPDF",      "CALL_COMPQRY",   "CALL_LSOPST",    "CALL_GLBOPS",
        "CALL_FIOPST",   "CALL_PPGIDX",   "CALL_PHASEEQ",   "GET_REAL_PARAM", "SET_REAL_PARAM",
        "GET_INT_PARAM", "SET_INT_PARAM", "GET_CHAR_PARAM", "SET_CHAR_PARAM"};
    const std::vector<std::string> others = {"GETCSP",      "LIQ_ENTHALPY", "VAP_ENTHALPY",
                                             "FLSH_PFLASH", "cf_DllFcn",    "rto_str2int_c"};
    auto has = [](void* h, const std::string& name) { return dlsym(h, name.c_str()) != nullptr; };
    for (const auto& name : propserve) {
        EXPECT_TRUE(has(lib.propserve, name)) << name;
        EXPECT_TRUE(has(lib.zetarninp, name)) << "zeTARNInp lacks " << name;
        EXPECT_FALSE(has(lib.phaseeq, name)) << "phaseeq leaks " << name;
        EXPECT_FALSE(has(lib.hostrtl, name)) << "hostrtl leaks " << name;
    }
    for (const auto& name : others) {
        EXPECT_FALSE(has(lib.propserve, name)) << "PropServe leaks " << name;
    }
    EXPECT_TRUE(has(lib.zetarninp, "GETCSP") && has(lib.zetarninp, "LIQ_ENTHALPY") &&
                has(lib.zetarninp, "VAP_ENTHALPY"));
    EXPECT_TRUE(has(lib.phaseeq, "FLSH_PFLASH"));
    EXPECT_FALSE(has(lib.phaseeq, "GETCSP"));
}

TEST_F(HostLibrariesTest, DecoratedNamesMapToExportNames) {
    EXPECT_EQ(lib.export_name("_CALLSETJMP@28"), "CALLSETJMP");
    EXPECT_EQ(lib.export_name("_CALL_PHASEEQ@116"), "CALL_PHASEEQ");
    EXPECT_EQ(lib.export_name("_CLOSEPDF@0"), "CLOSEPDF");
    EXPECT_EQ(lib.export_name("GETCSP"), "GETCSP");
    EXPECT_EQ(lib.export_name("_GET_CHAR_PARAM@28   "), "GET_CHAR_PARAM");
    EXPECT_EQ(lib.export_name("NAME@x1"), "NAME@x1");  // not a byte count: kept
    EXPECT_EQ(lib.export_name(""), "");
    // An output field too short for the name gives blanks, never a cut name.
    Field<64> in("_CALL_PHASEEQ@116");
    Field<8> out("XXXXXXXX");
    lib.cf_DllFcn(in.data, out.data, in.length, out.length);
    EXPECT_EQ(out.text(), "");

    Field<8> field("XXXXXXXX");
    lib.rto_str2int_c(field.data, "nrtl", 8);
    EXPECT_EQ(std::string(field.data, 8), "nrtl    ");
    lib.rto_str2int_c(field.data, "LONGNAME9", 8);
    EXPECT_EQ(std::string(field.data, 8), "LONGNAME");
    lib.rto_str2int_c(field.data, nullptr, 8);
    EXPECT_EQ(std::string(field.data, 8), "        ");
}

TEST_F(HostLibrariesTest, OpenQueryAndCloseTheExample) {
    open_example();
    std::int64_t mode = 0, index = 0, count = -1, origin = -1, err = -99;
    Field<8> id;
    Field<12> name;
    Field<16> formula;
    double mw = 0.0, tb = 0.0;
    lib.compqry(&mode, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data, &err,
                id.length, name.length, formula.length);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(count, 3);
    mode = 1;
    const char* ids[] = {"ETOH", "WATER", "BENZENE"};
    const char* names[] = {"ethanol", "water", "benzene"};
    const double molar_masses[] = {46.06844, 18.01528, 78.11184};  // components.tsv (ChemSep)
    for (index = 1; index <= 3; ++index) {
        lib.compqry(&mode, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data,
                    &err, id.length, name.length, formula.length);
        EXPECT_EQ(err, 0);
        EXPECT_EQ(id.text(), ids[index - 1]);
        EXPECT_EQ(name.text(), names[index - 1]);
        EXPECT_EQ(origin, 1);
        EXPECT_EQ(mw, molar_masses[index - 1]);
    }
    EXPECT_EQ(formula.text(), "C6H6");
    EXPECT_NEAR(tb, 353.2, 0.1);  // CRC normal boiling point of benzene

    std::int64_t sets = 0;
    Field<8> set_name;
    mode = 0;
    lib.lsopst(&sets, set_name.data, &mode, &index, set_name.length);
    EXPECT_EQ(sets, 5);
    mode = 1;
    std::vector<std::string> listed;
    for (index = 1; index <= sets; ++index) {
        lib.lsopst(&sets, set_name.data, &mode, &index, set_name.length);
        listed.push_back(set_name.text());
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"NRTL", "NRTLEWB", "UNIFAC", "UNIFACLL", "IDEAL"}));

    std::int64_t global = 0;
    Field<8> global_name;
    lib.glbops(&global, global_name.data);
    EXPECT_EQ(global, 1);
    EXPECT_EQ(global_name.text(), "NRTL");

    std::int64_t found = -1;
    lib.fiopst(Field<8>("nrtlewb").data, &found);
    EXPECT_EQ(found, 2);
    lib.fiopst(Field<8>("NRTLX").data, &found);
    EXPECT_EQ(found, 0);

    Field<10> component("water");
    std::int64_t second = -99;
    lib.ppgidx(component.data, &found, &second, 8);
    EXPECT_EQ(found, 2);
    EXPECT_EQ(second, 0);
    lib.ppgidx(Field<10>("ETHANOL").data, &found, &second, 8);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(second, -22);

    std::int64_t set = 0, hist = 0, term = 0, maxit = 0;
    double tol = 0.0;
    lib.getcsp(&set, &hist, &term, &tol, &maxit);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(hist, 4);
    EXPECT_EQ(term, 4);
    EXPECT_EQ(tol, 1e-10);
    EXPECT_EQ(maxit, 100);

    EXPECT_EQ(lib.char_param("RUNID"), "EWB");
    EXPECT_EQ(lib.char_param("title"), "Ethanol / water / benzene");
    EXPECT_EQ(lib.char_param("OPSMETH", 4), "UNIFAC-LLE");
    EXPECT_EQ(lib.char_param("COMPNAME", 1), "ethanol");
    EXPECT_EQ(lib.char_param("CAS", 2), "7732-18-5");
    EXPECT_EQ(lib.char_param("ERRMSG"), "");
    EXPECT_EQ(lib.int_param("NCOMP"), 3);
    EXPECT_EQ(lib.int_param("NOPSET"), 5);
    EXPECT_EQ(lib.int_param("PDFOPEN"), 1);

    // The report says where every pair's parameters come from; the history has the open.
    const std::string report = read_file(dir.path() / "EWB.rep");
    EXPECT_NE(report.find("ETOH/WATER"), std::string::npos);
    EXPECT_NE(report.find("databank nrtl.tsv:"), std::string::npos);
    EXPECT_NE(report.find("WATER/BENZENE      problem file"), std::string::npos);
    EXPECT_NE(report.find("nrtl_lle.tsv set EWB-1"), std::string::npos);
    EXPECT_NE(report.find("Warnings: 0"), std::string::npos);
    std::string history = read_file(dir.path() / "EWB.his");
    EXPECT_EQ(count_lines(history), 1u);
    EXPECT_NE(history.find("3 components, 5 option sets, 0 warnings"), std::string::npos);

    lib.closepdf();
    EXPECT_EQ(lib.int_param("PDFOPEN"), 0);
    history = read_file(dir.path() / "EWB.his");
    EXPECT_EQ(count_lines(history), 2u);
    EXPECT_NE(history.find("close"), std::string::npos);
    lib.closepdf();  // a second close is harmless
    EXPECT_EQ(count_lines(read_file(dir.path() / "EWB.his")), 2u);
}

TEST_F(HostLibrariesTest, CallsBeforeAFileIsOpenGiveCodes) {
    std::int64_t mode = 0, index = 1, count = -1, origin = -1, err = 0;
    Field<8> id("XXXXXXXX");
    Field<12> name;
    Field<16> formula;
    double mw = -1.0, tb = -1.0;
    lib.compqry(&mode, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data, &err,
                id.length, name.length, formula.length);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(err, -20);

    std::int64_t sets = -1, global = -1, found = -1, second = 0;
    Field<8> set_name("XXXXXXXX");
    mode = 1;
    lib.lsopst(&sets, set_name.data, &mode, &index, set_name.length);
    EXPECT_EQ(sets, 0);
    EXPECT_EQ(set_name.text(), "");
    lib.glbops(&global, set_name.data);
    EXPECT_EQ(global, 0);
    lib.fiopst(Field<8>("NRTL").data, &found);
    EXPECT_EQ(found, 0);
    lib.ppgidx(Field<10>("ETOH").data, &found, &second, 8);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(second, -20);

    FlashCall f = bubble({1, 2}, {0.5, 0.5});
    f.run(lib.pflash);
    EXPECT_EQ(f.error, -20);
    expect_zero(f.x, "x");
    expect_zero(f.y, "y");

    std::int64_t n = 2, one = 1;
    const std::int64_t comps[] = {1, 2};
    double T = 350.0, P = kAtm, z[] = {0.5, 0.5}, h = -1.0, cp = -1.0;
    lib.liq_enthalpy(&n, comps, Field<8>().data, &T, &P, z, &one, &h, &cp, &err, 8);
    EXPECT_EQ(err, -20);
    EXPECT_EQ(h, 0.0);

    std::int64_t set = -1, hist = 0, term = 0, maxit = 0;
    double tol = 0.0;
    lib.getcsp(&set, &hist, &term, &tol, &maxit);
    EXPECT_EQ(set, 0);
    EXPECT_EQ(tol, 1e-10);
    EXPECT_EQ(maxit, 100);

    Field<16> pname("FLASHMAXIT");
    std::int64_t value = 5;
    lib.set_int(pname.data, &index, &value, &err, pname.length);
    EXPECT_EQ(err, -20);
    Field<16> mw_name("MW");
    lib.get_real(mw_name.data, &index, &mw, &err, mw_name.length);
    EXPECT_EQ(err, -20);
    EXPECT_EQ(lib.char_param("RUNID"), "<error -20>");
}

TEST_F(HostLibrariesTest, BadFlashInputGivesDocumentedCodes) {
    open_example();
    struct Case {
        std::string label;
        std::int64_t expected;
        void (*change)(FlashCall&);
    };
    const std::vector<Case> cases = {
        {"n = 0", -2, [](FlashCall& f) { f.n = 0; }},
        {"n = 101", -2,
         [](FlashCall& f) {
             f.z.assign(101, 0.01);
             f.components.assign(101, 1);
         }},
        {"option set 0", -21, [](FlashCall& f) { f.option_set = 0; }},
        {"option set 6", -21, [](FlashCall& f) { f.option_set = 6; }},
        {"component 4", -22, [](FlashCall& f) { f.components[1] = 4; }},
        {"component 0", -22, [](FlashCall& f) { f.components[0] = 0; }},
        {"component twice", -23, [](FlashCall& f) { f.components[1] = 1; }},
        {"NaN pressure", -3, [](FlashCall& f) { f.spec1 = kNaN; }},
        {"NaN mole fraction", -3, [](FlashCall& f) { f.z[0] = kNaN; }},
        {"negative mole fraction", -4, [](FlashCall& f) { f.z[0] = -0.1; }},
        {"all-zero composition", -4,
         [](FlashCall& f) {
             f.z = {0.0, 0.0};
         }},
        {"kind 7", -1, [](FlashCall& f) { f.kind = 7; }},
        {"vapour fraction 1.5", -6, [](FlashCall& f) { f.spec2 = 1.5; }},
        {"negative pressure", -5, [](FlashCall& f) { f.spec1 = -1.0; }},
        {"TP far below the range", -7,
         [](FlashCall& f) {
             f.kind = 2;
             f.spec1 = 100.0;
             f.spec2 = kAtm;
         }},
        {"phase count 4", -9, [](FlashCall& f) { f.phase_count = 4; }},
        {"tolerance 0", -10, [](FlashCall& f) { f.tolerance = 0.0; }},
        {"iteration limit 0", -10, [](FlashCall& f) { f.max_iterations = 0; }},
        {"start mode 2", -10, [](FlashCall& f) { f.start_mode = 2; }},
        {"history level 9", -10, [](FlashCall& f) { f.history_level = 9; }},
        {"enthalpy flag 3", -10, [](FlashCall& f) { f.enthalpy_wanted = 3; }},
    };
    for (const Case& c : cases) {
        FlashCall f = bubble({1, 2}, {0.5, 0.5});
        c.change(f);
        f.run(lib.pflash);
        EXPECT_EQ(f.error, c.expected) << c.label;
        EXPECT_EQ(f.enthalpy, 0.0) << c.label;
        if (f.n >= 1 && f.n <= 100) {
            expect_zero(f.x, c.label);
            expect_zero(f.y, c.label);
            expect_zero(f.x1, c.label);
        }
    }
    // Null arrays and scalars: a code, no crash.
    std::int64_t kind = 3, n = 2, one = 1, zero = 0, four = 4, maxit = 100, restart = 1, err = 0;
    const std::int64_t comps[] = {1, 2};
    double P = kAtm, V = 0.0, tol = 1e-10, T = 0.0, Pout = 0.0, H = 0.0, Vout = 0.0, beta = 0.0;
    double z[] = {0.5, 0.5}, x[2], x1[2], x2[2], y[2];
    lib.pflash(&kind, &P, &V, z, &n, comps, &one, &zero, &maxit, &tol, &one, &four, &four, &one, &T,
               &Pout, &H, &Vout, &beta, nullptr, x1, x2, y, nullptr, nullptr, &restart, nullptr,
               nullptr, &err);
    EXPECT_EQ(err, -24);
    lib.pflash(nullptr, &P, &V, z, &n, comps, &one, &zero, &maxit, &tol, &one, &four, &four, &one,
               &T, &Pout, &H, &Vout, &beta, x, x1, x2, y, nullptr, nullptr, nullptr, nullptr,
               nullptr, &err);
    EXPECT_EQ(err, -24);
    lib.pflash(&kind, &P, &V, z, &n, comps, &one, &zero, &maxit, &tol, &one, &four, &four, &one, &T,
               &Pout, &H, &Vout, &beta, x, x1, x2, y, nullptr, nullptr, nullptr, nullptr, nullptr,
               nullptr);  // no error argument: nothing to report, nothing to crash on
}

TEST_F(HostLibrariesTest, BadQueryAndParameterInputGivesDocumentedCodes) {
    open_example();
    std::int64_t mode = 2, index = 1, count = 0, origin = 0, err = 0;
    Field<8> id;
    Field<12> name;
    Field<16> formula;
    double mw = 0.0, tb = 0.0;
    lib.compqry(&mode, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data, &err,
                id.length, name.length, formula.length);
    EXPECT_EQ(err, -24);
    mode = 1;
    for (std::int64_t bad : {0, 4, -1}) {
        index = bad;
        lib.compqry(&mode, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data,
                    &err, id.length, name.length, formula.length);
        EXPECT_EQ(err, -22) << bad;
        EXPECT_EQ(id.text(), "");
    }
    lib.compqry(nullptr, &index, &count, id.data, name.data, &origin, &mw, &tb, formula.data, &err,
                id.length, name.length, formula.length);
    EXPECT_EQ(err, -24);

    index = 0;
    double real = 0.0;
    auto set_int = [&](const std::string& n, std::int64_t v) {
        Field<16> f(n);
        lib.set_int(f.data, &index, &v, &err, f.length);
        return err;
    };
    auto set_real = [&](const std::string& n, double v) {
        Field<16> f(n);
        lib.set_real(f.data, &index, &v, &err, f.length);
        return err;
    };
    EXPECT_EQ(set_int("NOSUCH", 1), -25);
    EXPECT_EQ(set_int("NCOMP", 1), -26);
    EXPECT_EQ(set_int("FLASHMAXIT", 0), -27);
    EXPECT_EQ(set_int("HISTLVL", 9), -27);
    EXPECT_EQ(set_int("GLOBOPS", 6), -21);
    EXPECT_EQ(set_real("FLASHTOL", 0.5), -27);
    EXPECT_EQ(set_real("FLASHTOL", kNaN), -27);
    EXPECT_EQ(set_real("MW", 1.0), -26);
    EXPECT_EQ(set_real("FLASHMAXIT", 1.0), -25);  // an integer parameter asked for as a real
    Field<16> mw_name("mw");
    index = 4;
    lib.get_real(mw_name.data, &index, &real, &err, mw_name.length);
    EXPECT_EQ(err, -22);
    lib.get_int(Field<16>("NCOMP").data, &index, nullptr, &err, 16);
    EXPECT_EQ(err, -24);

    // A text cut to its field: code 1 and the full length.
    Field<16> pname("COMPNAME");
    Field<4> shorty;
    std::int64_t length = 0;
    index = 1;
    lib.get_char(pname.data, &index, shorty.data, &length, &err, pname.length, shorty.length);
    EXPECT_EQ(err, 1);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(std::string(shorty.data, 4), "etha");
    index = 9;
    lib.get_char(Field<16>("OPSNAME").data, &index, shorty.data, &length, &err, 16, 4);
    EXPECT_EQ(err, -21);
    Field<16> g("GLOBOPS");
    Field<8> unknown("NOPE");
    lib.set_char(g.data, &index, unknown.data, &err, g.length, unknown.length);
    EXPECT_EQ(err, -21);
    lib.set_char(Field<16>("RUNID").data, &index, unknown.data, &err, 16, 8);
    EXPECT_EQ(err, -26);
}

TEST_F(HostLibrariesTest, SettingsChangeWhatGetcspAndTheGlobalSetReport) {
    open_example();
    std::int64_t index = 0, err = -99, value = 250;
    Field<16> maxit("flashmaxit"), tol("FLASHTOL"), lvl("HISTLVL");
    lib.set_int(maxit.data, &index, &value, &err, maxit.length);
    EXPECT_EQ(err, 0);
    const double new_tol = 1e-8;
    lib.set_real(tol.data, &index, &new_tol, &err, tol.length);
    EXPECT_EQ(err, 0);
    value = 2;
    lib.set_int(lvl.data, &index, &value, &err, lvl.length);
    EXPECT_EQ(err, 0);
    Field<16> g("GLOBOPS");
    Field<8> unifac("unifac");
    lib.set_char(g.data, &index, unifac.data, &err, g.length, unifac.length);
    EXPECT_EQ(err, 0);

    std::int64_t set = 0, hist = 0, term = 0, limit = 0;
    double t = 0.0;
    lib.getcsp(&set, &hist, &term, &t, &limit);
    EXPECT_EQ(set, 3);
    EXPECT_EQ(hist, 2);
    EXPECT_EQ(term, 4);
    EXPECT_EQ(t, 1e-8);
    EXPECT_EQ(limit, 250);
    std::int64_t global = 0;
    Field<8> name;
    lib.glbops(&global, name.data);
    EXPECT_EQ(global, 3);
    EXPECT_EQ(name.text(), "UNIFAC");

    // Opening again restores the file's settings.
    open_example();
    lib.getcsp(&set, &hist, &term, &t, &limit);
    EXPECT_EQ(set, 1);
    EXPECT_EQ(t, 1e-10);
    EXPECT_EQ(limit, 100);
}

TEST_F(HostLibrariesTest, FlashEqualsTheFlashCore) {
    open_example();
    // Option set 1 (NRTL) takes ETOH/WATER from nrtl.tsv, as the factory does for the databank.
    const auto& bank = host::Databank::embedded();
    const std::vector<std::string> ids = {"ETOH", "WATER"};
    const host::Mixture mixture = host::make_mixture(bank, ids, host::PropertyMethod::nrtl);
    host::Flash core(mixture);
    host::FlashOptions options;
    options.tolerance = 1e-10;
    options.max_iterations = 100;

    struct Spec {
        std::int64_t kind;
        double spec1, spec2;
    };
    const std::vector<double> z = {0.3, 0.7};
    const host::FlashResult bubble_core = core.run(host::FlashKind::pv, kAtm, 0.0, z, options);
    ASSERT_TRUE(bubble_core.converged());
    const double h_mid = core.enthalpy(core.run(host::FlashKind::tp, 360.0, kAtm, z, options));
    const std::vector<Spec> specs = {{3, kAtm, 0.0},   {3, kAtm, 1.0},   {3, kAtm, 0.4},
                                     {5, 350.0, 0.0},  {5, 350.0, 1.0},  {2, 360.0, kAtm},
                                     {1, kAtm, h_mid}, {4, 360.0, h_mid}};
    for (const Spec& s : specs) {
        const host::FlashResult r =
            core.run(static_cast<host::FlashKind>(s.kind), s.spec1, s.spec2, z, options);
        const std::string label =
            "kind " + std::to_string(s.kind) + " spec2 " + std::to_string(s.spec2);
        ASSERT_TRUE(r.converged()) << label;
        for (tarn_pflash_fn fn : {lib.pflash, lib.phaseeq_call}) {
            FlashCall f;
            f.kind = s.kind;
            f.spec1 = s.spec1;
            f.spec2 = s.spec2;
            f.z = z;
            f.components = {1, 2};
            f.run(fn);
            EXPECT_EQ(f.error, 0) << label;
            EXPECT_DOUBLE_EQ(f.temperature, r.temperature) << label;
            EXPECT_DOUBLE_EQ(f.pressure, r.pressure) << label;
            EXPECT_DOUBLE_EQ(f.vapour_fraction, r.vapour_fraction) << label;
            EXPECT_EQ(f.beta, 1.0) << label;
            EXPECT_EQ(f.restart, 1) << label;
            EXPECT_NEAR(f.enthalpy, core.enthalpy(r), 1e-9 * std::abs(core.enthalpy(r))) << label;
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_DOUBLE_EQ(f.x[i], r.x[i]) << label;
                EXPECT_DOUBLE_EQ(f.y[i], r.y[i]) << label;
                EXPECT_EQ(f.x1[i], f.x[i]) << label;
                EXPECT_EQ(f.x2[i], f.x[i]) << label;
            }
        }
    }
    // The same binary in the other order is the mirror image: another cached mixture, cut from
    // the problem's matrices with rows and columns swapped.
    FlashCall reversed = bubble({2, 1}, {0.7, 0.3});
    reversed.run(lib.pflash);
    ASSERT_EQ(reversed.error, 0);
    EXPECT_NEAR(reversed.temperature, bubble_core.temperature, 1e-9);
    EXPECT_NEAR(reversed.y[0], bubble_core.y[1], 1e-9);
    EXPECT_NEAR(reversed.y[1], bubble_core.y[0], 1e-9);
}

TEST_F(HostLibrariesTest, EnthalpiesAgreeWithThePhFlash) {
    open_example();
    const std::vector<std::int64_t> comps = {1, 2, 3};
    const std::vector<double> x = {0.5, 0.2, 0.3};
    FlashCall b = bubble(comps, x);
    b.run(lib.pflash);
    ASSERT_EQ(b.error, 0);

    std::int64_t n = 3, one = 1, err = -99;
    double h = 0.0, cp = 0.0, P = kAtm;
    lib.liq_enthalpy(&n, comps.data(), Field<8>("nrtl").data, &b.temperature, &P, x.data(), &one,
                     &h, &cp, &err, 8);
    ASSERT_EQ(err, 0);
    // The bubble point's enthalpy output is that of its liquid.
    EXPECT_NEAR(b.enthalpy, h, 1e-9 * std::abs(h));
    // An independent route back: the PH flash at that enthalpy is the saturated liquid, at the
    // bubble temperature.
    FlashCall ph;
    ph.kind = 1;
    ph.spec1 = kAtm;
    ph.spec2 = h;
    ph.z = x;
    ph.components = comps;
    ph.run(lib.pflash);
    ASSERT_EQ(ph.error, 0);
    EXPECT_NEAR(ph.temperature, b.temperature, 1e-5);
    EXPECT_NEAR(ph.vapour_fraction, 0.0, 1e-6);
    // The second output is dH/dT: central differences of the enthalpy itself.
    const double dT = 1e-3;
    double T_up = b.temperature + dT, T_down = b.temperature - dT, h_up = 0.0, h_down = 0.0,
           slope = 0.0;
    lib.liq_enthalpy(&n, comps.data(), Field<8>().data, &T_up, &P, x.data(), &one, &h_up, &slope,
                     &err, 8);
    lib.liq_enthalpy(&n, comps.data(), Field<8>().data, &T_down, &P, x.data(), &one, &h_down,
                     &slope, &err, 8);
    EXPECT_NEAR(cp, (h_up - h_down) / (2 * dT), 1e-5 * std::abs(cp));

    // The dew point's vapour: VAP_ENTHALPY there, and the PH flash back to the dew temperature.
    FlashCall d = bubble(comps, x);
    d.spec2 = 1.0;
    d.run(lib.pflash);
    ASSERT_EQ(d.error, 0);
    lib.vap_enthalpy(&n, comps.data(), Field<8>().data, &d.temperature, &P, x.data(), &one, &h, &cp,
                     &err, 8);
    ASSERT_EQ(err, 0);
    ph.spec2 = h;
    ph.run(lib.pflash);
    ASSERT_EQ(ph.error, 0);
    EXPECT_NEAR(ph.temperature, d.temperature, 1e-5);
    EXPECT_NEAR(ph.vapour_fraction, 1.0, 1e-6);

    // Bad enthalpy input.
    struct Case {
        std::string label, option_set;
        std::int64_t n, option;
        double T, P;
        std::vector<double> z;
        std::int64_t expected;
    };
    const std::vector<Case> cases = {
        {"unknown option set", "NOPE", 3, 1, 350.0, kAtm, x, -21},
        {"option 2", "", 3, 2, 350.0, kAtm, x, -10},
        {"NaN temperature", "", 3, 1, kNaN, kAtm, x, -3},
        {"zero pressure", "", 3, 1, 350.0, 0.0, x, -5},
        {"temperature above the range", "", 3, 1, 1000.0, kAtm, x, -7},
        {"n = 0", "", 0, 1, 350.0, kAtm, x, -2},
        {"n = 101", "", 101, 1, 350.0, kAtm, x, -2},
        {"all-zero composition", "", 3, 1, 350.0, kAtm, {0.0, 0.0, 0.0}, -4},
        {"negative mole fraction", "", 3, 1, 350.0, kAtm, {0.5, -0.1, 0.6}, -4},
    };
    for (const Case& c : cases) {
        Field<8> set(c.option_set);
        h = cp = -1.0;
        lib.liq_enthalpy(&c.n, comps.data(), set.data, &c.T, &c.P, c.z.data(), &c.option, &h, &cp,
                         &err, 8);
        EXPECT_EQ(err, c.expected) << c.label;
        EXPECT_EQ(h, 0.0) << c.label;
        EXPECT_EQ(cp, 0.0) << c.label;
    }
}

/// The temperature at which a pure component's vapour pressure equals P, by bisection on its
/// correlation (independent of the flash).
double saturation_temperature(const std::string& id, double P) {
    const auto& vp = host::Databank::embedded().find(id)->vapour_pressure;
    double lo = vp.T_min, hi = vp.T_max;
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        (vp.ln_p(mid) > std::log(P) ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

TEST_F(HostLibrariesTest, RestartProtocolRepeatsOnceFromTheHostsOwnStart) {
    open_example();
    const double T_sat = saturation_temperature("ETOH", kAtm);
    // One component, a start value 70 K off and two iterations: not enough from the caller's
    // start, while the host's own start is the saturation temperature itself.
    auto call = [&] {
        FlashCall f = bubble({1}, {1.0});
        f.temperature = 280.0;
        f.max_iterations = 2;
        return f;
    };
    FlashCall f = call();
    f.run(lib.phaseeq_call);
    EXPECT_GT(f.error, 0);
    EXPECT_EQ(f.restart, 2);
    EXPECT_EQ(f.temperature, 0.0);
    // The caller's loop: repeat with restart 1 while the code is not 0 and restart came back 2.
    int calls = 1;
    while (f.error != 0 && f.restart == 2 && calls < 10) {
        f.restart = 1;
        f.run(lib.phaseeq_call);
        ++calls;
    }
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(f.error, 0);
    EXPECT_EQ(f.restart, 1);
    EXPECT_NEAR(f.temperature, T_sat, 1e-6);

    // A caller that restores its start value for the repeat still gets the host's own start.
    f = call();
    f.run(lib.pflash);
    ASSERT_EQ(f.restart, 2);
    f = call();
    f.run(lib.pflash);
    EXPECT_EQ(f.error, 0);
    EXPECT_EQ(f.restart, 1);
    // ... and the next call is a new request, which may ask again.
    f = call();
    f.run(lib.pflash);
    EXPECT_EQ(f.restart, 2);
    f.restart = 1;
    f.run(lib.pflash);
    ASSERT_EQ(f.error, 0);

    // restart = 0 on entry: the host makes the second attempt itself.
    f = call();
    f.restart = 0;
    f.run(lib.pflash);
    EXPECT_EQ(f.error, 0);
    EXPECT_EQ(f.restart, 1);
    EXPECT_NEAR(f.temperature, T_sat, 1e-6);

    // Start mode 1 never uses the caller's temperature, so it never asks.
    f = call();
    f.start_mode = 1;
    f.run(lib.pflash);
    EXPECT_EQ(f.error, 0);
    EXPECT_EQ(f.restart, 1);

    // A failure that a repeat cannot mend (fatal input) never asks for one.
    f = call();
    f.spec2 = 2.0;
    f.run(lib.pflash);
    EXPECT_EQ(f.error, -6);
    EXPECT_EQ(f.restart, 1);
}

TEST_F(HostLibrariesTest, DiagnosticLevelsWriteFlashLinesToTheHistory) {
    open_example();
    const auto history = dir.path() / "EWB.his";
    const std::size_t before = count_lines(read_file(history));
    FlashCall f = bubble({1, 2}, {0.5, 0.5});
    f.run(lib.pflash);  // level 4: quiet
    f = bubble({1, 2}, {0.5, 0.5});
    f.history_level = 5;
    f.run(lib.pflash);  // level 5: a success stays quiet
    EXPECT_EQ(count_lines(read_file(history)), before);
    f = bubble({1, 2}, {0.5, 0.5});
    f.history_level = 5;
    f.spec1 = -1.0;
    f.run(lib.pflash);  // a failure is written
    f = bubble({1, 2}, {0.5, 0.5});
    f.history_level = 7;
    f.run(lib.pflash);  // level 7: everything
    const std::string text = read_file(history);
    EXPECT_EQ(count_lines(text), before + 2);
    EXPECT_NE(text.find("-5 (pressure is not positive)"), std::string::npos);
    EXPECT_NE(text.find("components 1,2: 0 (converged)"), std::string::npos);
}

TEST_F(HostLibrariesTest, RefusedFilesKeepThePreviousProblem) {
    open_example();
    FlashCall before = bubble({1, 2, 3}, {0.2, 0.3, 0.5});
    before.run(lib.pflash);
    ASSERT_EQ(before.error, 0);

    // A file with an error on line 6.
    const auto bad = dir.path() / "bad.toml";
    std::ofstream(bad) << "[[component]]\nid = \"ETOH\"\n\n[[option_set]]\nname = \"A\"\n"
                          "method = \"NRLT\"\n";
    EXPECT_EQ(lib.open_problem(bad.string(), dir.path().string(), "BAD"), -1);
    const std::string expected = bad.string() + ":6: 'method': unknown property method \"NRLT\"";
    EXPECT_EQ(lib.char_param("ERRMSG").rfind(expected, 0), 0u) << lib.char_param("ERRMSG");
    const std::string report = read_file(dir.path() / "BAD.rep");
    EXPECT_NE(report.find("Terminal errors:"), std::string::npos);
    EXPECT_NE(report.find(expected), std::string::npos);
    EXPECT_NE(read_file(dir.path() / "BAD.his").find("refused: " + expected), std::string::npos);
    // The example is still open and gives the same answer.
    EXPECT_EQ(lib.int_param("NCOMP"), 3);
    EXPECT_EQ(lib.char_param("RUNID"), "EWB");
    FlashCall after = bubble({1, 2, 3}, {0.2, 0.3, 0.5});
    after.run(lib.pflash);
    EXPECT_EQ(after.error, 0);
    EXPECT_EQ(after.temperature, before.temperature);

    // A missing file.
    EXPECT_EQ(lib.open_problem((dir.path() / "none.toml").string(), dir.path().string(), "NONE"),
              -1);
    EXPECT_NE(lib.char_param("ERRMSG").find("none.toml: cannot be opened"), std::string::npos);
    // -2: the work directory does not exist, so the history file cannot be opened.
    EXPECT_EQ(lib.open_problem(example("water-butanol.toml"),
                               (dir.path() / "no" / "such" / "dir").string(), "WB"),
              -2);
    EXPECT_NE(lib.char_param("ERRMSG").find("history file"), std::string::npos);
    // -3: the report cannot be written (its name is taken by a directory; this holds even for
    // a privileged user, unlike a read-only directory).
    std::filesystem::create_directory(dir.path() / "WB.rep");
    EXPECT_EQ(lib.open_problem(example("water-butanol.toml"), dir.path().string(), "WB"), -3);
    EXPECT_NE(lib.char_param("ERRMSG").find("report file"), std::string::npos);
    EXPECT_EQ(lib.int_param("NCOMP"), 3);
    EXPECT_EQ(lib.char_param("RUNID"), "EWB");

    // A successful open clears the error; a blank run id takes the file's stem, and a work
    // directory written with backslashes and a trailing one (as the property package writes
    // it) is accepted.
    std::string work = dir.path().string() + "\\";
    EXPECT_EQ(lib.open_problem(example("water-butanol.toml"), work, ""), 0);
    EXPECT_EQ(lib.char_param("ERRMSG"), "");
    EXPECT_EQ(lib.char_param("RUNID"), "water-butanol");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "water-butanol.rep"));
    EXPECT_EQ(lib.int_param("NCOMP"), 2);
}

/// A problem of `count` copies of ethanol under ids C1, C2, ... (constants of the databank row
/// written inline), with Raoult's law.
std::string ethanol_copies(std::size_t count) {
    const host::PureComponent& e = *host::Databank::embedded().find("ETOH");
    const auto& v = e.vapour_pressure;
    const auto& h = e.heat_of_vaporization;
    std::ostringstream t;
    t.precision(17);
    for (std::size_t i = 1; i <= count; ++i) {
        t << "[[component]]\nid = \"C" << i << "\"\n[component.constants]\nname = \"copy\"\n"
          << "mw_g_per_mol = " << e.molar_mass << "\ntc_K = " << e.critical_temperature
          << "\npc_Pa = " << e.critical_pressure << "\nomega = " << e.acentric_factor
          << "\ntb_K = " << e.normal_boiling_point << "\nvp_A = " << v.A << "\nvp_B = " << v.B
          << "\nvp_C = " << v.C << "\nvp_D = " << v.D << "\nvp_E = " << v.E << "\nvp_F = " << v.F
          << "\nvp_G = " << v.G << "\nvp_Tmin_K = " << v.T_min << "\nvp_Tmax_K = " << v.T_max
          << "\ncpig_A = " << e.ideal_gas_cp.c[0] / 1000 << "\nhvap_A_J_per_mol = " << h.A / 1000
          << "\nhvap_B = " << h.B << "\nhvap_C = " << h.C << "\nhvap_D = " << h.D
          << "\nhvap_E = " << h.E << "\nhvap_Tc_K = " << h.Tc << "\n";
    }
    t << "[[option_set]]\nname = \"IDEAL\"\nmethod = \"IDEAL\"\n";
    return t.str();
}

TEST_F(HostLibrariesTest, OneHundredComponentsFlashAndLargerProblemsLoad) {
    // 250 components: more than a client's list holds (it keeps 200), which the host allows.
    const auto file = dir.path() / "copies.toml";
    std::ofstream(file) << ethanol_copies(250);
    ASSERT_EQ(lib.open_problem(file.string(), dir.path().string(), "COPIES"), 0)
        << lib.char_param("ERRMSG");
    EXPECT_EQ(lib.int_param("NCOMP"), 250);
    // A hundred identical components under Raoult's law boil where ethanol does, whatever the
    // composition: the saturation temperature of the databank correlation.
    FlashCall f;
    for (std::int64_t i = 1; i <= 100; ++i) {
        f.components.push_back(2 * i);
        f.z.push_back(static_cast<double>(i));
    }
    f.run(lib.pflash);
    ASSERT_EQ(f.error, 0);
    EXPECT_NEAR(f.temperature, saturation_temperature("ETOH", kAtm), 1e-6);
    EXPECT_NEAR(f.y[99], 100.0 / 5050.0, 1e-9);  // the vapour is the liquid
    f.components.push_back(250);
    f.z.push_back(1.0);
    f.n = -1;
    f.run(lib.pflash);
    EXPECT_EQ(f.error, -2);
}

TEST_F(HostLibrariesTest, LinkedAndLoadedLibrariesShareOneState) {
    // host_tests links the shells too; the exported functions it calls directly and those found
    // with dlsym act on the one host state in libtarnhost.so.
    Field<256> run("LINKED"), pdf(example("aromatics.toml")), work(dir.path().string());
    std::int64_t status = -99;
    CALLSETJMP(run.data, pdf.data, work.data, &status, 255, 255, 255);
    EXPECT_EQ(status, 3);  // three ethylbenzene pairs without NRTL parameters
    EXPECT_EQ(lib.int_param("NCOMP"), 4);
    EXPECT_EQ(lib.char_param("COMPID", 4), "EBENZENE");
    std::int64_t set = 0, hist = 0, term = 0, maxit = 0;
    double tol = 0.0;
    GETCSP(&set, &hist, &term, &tol, &maxit);
    EXPECT_EQ(set, 1);  // UNIFAC, the file's global option set
    FlashCall f = bubble({1, 4}, {0.5, 0.5});
    f.run(FLSH_PFLASH);
    EXPECT_EQ(f.error, 0);
    // Benzene/ethylbenzene is nearly ideal: the UNIFAC bubble point lies between the pure
    // boiling points, close to Raoult's law (option set 3).
    FlashCall ideal = bubble({1, 4}, {0.5, 0.5});
    ideal.option_set = 3;
    ideal.run(lib.pflash);
    ASSERT_EQ(ideal.error, 0);
    EXPECT_GT(f.temperature, 353.2);
    EXPECT_LT(f.temperature, 409.4);
    EXPECT_NEAR(f.temperature, ideal.temperature, 1.0);
    CLOSEPDF();
    EXPECT_EQ(lib.int_param("PDFOPEN"), 0);
}

}  // namespace
