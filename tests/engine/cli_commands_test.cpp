// The distil commands over the engine objects, run as a user runs them: the built executable,
// its JSON output (keys exactly as documented in docs/cli.md), a value or two against published
// or independently known numbers, and one-line errors with their exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

namespace {

using nlohmann::json;

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome distil(const std::string& arguments) {
    const auto err_file = std::filesystem::temp_directory_path() /
                          ("engine_cli_stderr_" + std::to_string(::getpid()));
    const std::string command =
        std::string(DISTIL_EXECUTABLE) + " " + arguments + " 2>" + err_file.string();
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
    std::filesystem::remove(err_file);
    return run;
}

std::string problem(const char* name) {
    return std::string(DISTIL_ENGINE_PROBLEM_DIR) + "/" + name;
}
std::string example(const char* name) { return std::string(DISTIL_EXAMPLES_DIR) + "/" + name; }

std::set<std::string> keys(const json& object) {
    std::set<std::string> out;
    for (const auto& item : object.items()) { out.insert(item.key()); }
    return out;
}

json parsed(const Outcome& run) {
    EXPECT_FALSE(run.out.empty()) << run.err;
    return json::parse(run.out);
}

TEST(DistilAzeotropes, PrintsEveryAzeotropeWithItsClassAndTheTopologicalRule) {
    const Outcome run = distil("azeotropes " + example("acetone-chloroform-methanol.toml") +
                               " --pressure 1atm --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = parsed(run);
    EXPECT_EQ(keys(doc), (std::set<std::string>{"pressure_Pa", "components", "pure", "azeotropes",
                                                "topology_ok", "error_code"}));
    EXPECT_EQ(doc["pressure_Pa"], 101325.0);
    EXPECT_EQ(doc["components"], json({"ACETONE", "CHCL3", "MEOH"}));
    EXPECT_EQ(doc["error_code"], 0);
    EXPECT_EQ(doc["topology_ok"], true);
    ASSERT_EQ(doc["pure"].size(), 3u);
    EXPECT_EQ(keys(doc["pure"][0]), (std::set<std::string>{"component", "T_K", "stability"}));
    // Methanol boils at 64.7 C (CRC Handbook, 97th ed.): 337.85 K; the databank's vapour
    // pressure gives 337.7 K.
    EXPECT_NEAR(doc["pure"][2]["T_K"].get<double>(), 337.85, 0.5);
    ASSERT_EQ(doc["azeotropes"].size(), 4u);
    int ternary_saddles = 0;
    for (const json& a : doc["azeotropes"]) {
        EXPECT_EQ(keys(a),
                  (std::set<std::string>{"x", "T_K", "phase", "stability", "n_components"}));
        EXPECT_EQ(a["phase"], "homogeneous");
        ternary_saddles += a["n_components"] == 3 && a["stability"] == "saddle";
    }
    EXPECT_EQ(ternary_saddles, 1);

    // A binary built from the databank: ethanol/water boils at 351.3 K with 89.4 % ethanol
    // (Gmehling & Onken, DECHEMA Chemistry Data Series I/1, as collected in
    // data/reference/vle_ethanol_water.json); the rule is for three components only.
    const Outcome binary =
        distil("azeotropes --components ETOH,WATER --method NRTL --pressure 101.325kPa --json");
    ASSERT_EQ(binary.status, 0) << binary.err;
    const json b = parsed(binary);
    ASSERT_EQ(b["azeotropes"].size(), 1u);
    EXPECT_NEAR(b["azeotropes"][0]["T_K"].get<double>(), 351.3, 1.5);
    EXPECT_NEAR(b["azeotropes"][0]["x"][0].get<double>(), 0.894, 0.03);
    EXPECT_TRUE(b["topology_ok"].is_null());

    const Outcome text = distil("azeotropes " + example("acetone-chloroform-methanol.toml"));
    EXPECT_NE(text.out.find("Topological rule: holds"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(" K ("), std::string::npos) << "temperatures carry their units";
}

TEST(DistilCurve, PrintsTheCurveWithBubbleTemperaturesAsJsonOrCsv) {
    const std::string diagram = "--components BENZENE,TOLUENE,PXYLENE --method IDEAL";
    const Outcome run = distil("curve " + diagram + " --from 0.2,0.3,0.5 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = parsed(run);
    EXPECT_EQ(keys(doc),
              (std::set<std::string>{"kind", "points", "direction", "error_code", "message_code"}));
    EXPECT_EQ(doc["kind"], "residue");
    EXPECT_EQ(doc["direction"], 2);
    const json& points = doc["points"];
    ASSERT_GT(points.size(), 10u);
    EXPECT_EQ(points[0].size(), 4u);
    // From near benzene (353.2 K) to near p-xylene (411.5 K), rising all the way.
    EXPECT_GT(points.front()[0].get<double>(), 0.99);
    EXPECT_GT(points.back()[2].get<double>(), 0.99);
    for (std::size_t p = 1; p < points.size(); ++p) {
        EXPECT_GE(points[p][3].get<double>(), points[p - 1][3].get<double>() - 1e-9);
    }
    EXPECT_NEAR(points.back()[3].get<double>(), 411.45, 1.0);

    const Outcome csv =
        distil("curve " + diagram + " --from 0.2,0.3,0.5 --kind distillation --csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "x_BENZENE,x_TOLUENE,x_PXYLENE,T_K");

    const Outcome bad = distil("curve " + diagram + " --from 0.2,0.8");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("--from: 2 mole fractions for 3 components"), std::string::npos)
        << bad.err;
}

TEST(DistilBoundariesAndIsovolatility, PrintCurvesWithDirectionsAndPairs) {
    const std::string acm = example("acetone-chloroform-methanol.toml");
    const Outcome run = distil("boundaries " + acm + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = parsed(run);
    EXPECT_EQ(keys(doc),
              (std::set<std::string>{"pressure_Pa", "components", "curves", "error_code"}));
    // Six edge pieces around three binary azeotropes, and the separatrices of the saddle.
    ASSERT_GT(doc["curves"].size(), 6u);
    for (const json& c : doc["curves"]) {
        EXPECT_TRUE(c["direction"] == 2 || c["direction"] == -2);
        EXPECT_GE(c["points"].size(), 2u);
    }

    const Outcome iso = distil("isovolatility " + acm + " --json");
    ASSERT_EQ(iso.status, 0) << iso.err;
    const json i = parsed(iso);
    EXPECT_EQ(keys(i),
              (std::set<std::string>{"pressure_Pa", "components", "curves", "error_code"}));
    bool acetone_chloroform = false;
    for (const json& c : i["curves"]) {
        EXPECT_EQ(keys(c), (std::set<std::string>{"pair", "points"}));
        acetone_chloroform = acetone_chloroform || c["pair"] == json({"ACETONE", "CHCL3"});
    }
    EXPECT_TRUE(acetone_chloroform);
    const Outcome ideal =
        distil("isovolatility --components BENZENE,TOLUENE,PXYLENE --method IDEAL --json");
    ASSERT_EQ(ideal.status, 0) << ideal.err;
    EXPECT_TRUE(parsed(ideal)["curves"].empty()) << "Raoult's law has no unit-volatility curve";
}

TEST(DistilEnvelopeAndTieLine, TraceTheTwoLiquidRegionAndSplitAFeed) {
    const std::string ewb =
        problem("engine_systems.toml") + " --components ETOH,WATER,BENZENE --option-set EWB";
    const Outcome lle = distil("envelope " + ewb + " --lle --temperature 25C --json");
    ASSERT_EQ(lle.status, 0) << lle.err;
    const json doc = parsed(lle);
    EXPECT_EQ(keys(doc), (std::set<std::string>{
                             "kind", "pressure_Pa", "temperature_K", "components", "envelopes",
                             "tie_lines", "plait_temperature_K", "error_code", "message_code"}));
    EXPECT_EQ(doc["temperature_K"], 298.15);
    ASSERT_EQ(doc["envelopes"].size(), 1u);
    ASSERT_GE(doc["tie_lines"].size(), 3u);
    EXPECT_EQ(keys(doc["tie_lines"][0]), (std::set<std::string>{"x1", "x2"}));

    const Outcome vlle = distil("envelope " + ewb + " --vlle --json");
    ASSERT_EQ(vlle.status, 0) << vlle.err;
    const json v = parsed(vlle);
    EXPECT_EQ(keys(v["tie_lines"][0]), (std::set<std::string>{"x1", "x2", "y"}));
    // The heterogeneous ternary azeotrope of the EWB-1 set boils near 337 K; the three-phase
    // region's plait lies above it, below the water/benzene heteroazeotrope (342.4 K here).
    ASSERT_TRUE(v["plait_temperature_K"].is_number());
    EXPECT_GT(v["plait_temperature_K"].get<double>(), 336.0);
    EXPECT_LT(v["plait_temperature_K"].get<double>(), 343.0);

    const Outcome split =
        distil("tieline " + ewb + " --lle --temperature 298.15 --feed 0.1,0.45,0.45 --json");
    ASSERT_EQ(split.status, 0) << split.err;
    const json t = parsed(split);
    EXPECT_EQ(keys(t), (std::set<std::string>{"kind", "feed", "T_K", "P_Pa", "split", "x1", "x2",
                                              "components"}));
    ASSERT_EQ(t["split"], true);
    // The feed lies between the two liquids (lever rule): x_feed = b x1 + (1 - b) x2.
    const double b =
        (0.45 - t["x2"][1].get<double>()) / (t["x1"][1].get<double>() - t["x2"][1].get<double>());
    EXPECT_GT(b, 0.0);
    EXPECT_LT(b, 1.0);
    EXPECT_NEAR(b * t["x1"][0].get<double>() + (1 - b) * t["x2"][0].get<double>(), 0.1, 1e-6);

    const Outcome one =
        distil("tieline " + ewb + " --lle --temperature 298.15 --feed 0.8,0.1,0.1 --json");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(parsed(one)["split"], false);
    EXPECT_TRUE(parsed(one)["x1"].is_null());

    const Outcome missing = distil("envelope " + ewb + " --lle");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("--lle needs --temperature"), std::string::npos) << missing.err;
}

TEST(DistilDesign, RunsAStudyFromFeedToProductStreams) {
    const Outcome run = distil("design " + problem("aromatics_study.toml") + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const json doc = parsed(run);
    EXPECT_EQ(keys(doc), (std::set<std::string>{"components", "pressure_Pa", "flow_unit", "feed",
                                                "balance", "design", "products", "messages"}));
    EXPECT_NEAR(doc["feed"]["flow_kmol_per_h"].get<double>(), 100.0, 1e-9);
    EXPECT_EQ(doc["feed"]["q"], 1.0);
    // Recoveries 0.99 / 0.5 / 0.01 of a 30 / 40 / 30 feed: D = 29.7 + 20 + 0.3 = 50 (by hand).
    EXPECT_NEAR(doc["balance"]["D_kmol_per_h"].get<double>(), 50.0, 1e-9);
    const json& d = doc["design"];
    EXPECT_EQ(d["feasible"], true);
    EXPECT_EQ(d["error_code"], 0);
    EXPECT_NEAR(d["reboil_ratio"].get<double>(), 4.0, 1e-12);  // ((3 + 1) 50 - 0) / 50
    EXPECT_GT(d["n_stages"].get<int>(), 3);
    EXPECT_LE(d["feed_stage"].get<int>(), d["n_stages"].get<int>());
    EXPECT_LT(d["Q_condenser_W"].get<double>(), 0.0);
    EXPECT_GT(d["Q_reboiler_W"].get<double>(), 0.0);
    ASSERT_FALSE(d["stage_table"].empty());
    EXPECT_EQ(keys(d["stage_table"][0]), (std::set<std::string>{"stage", "T_K", "x", "y"}));
    EXPECT_NEAR(doc["products"]["distillate"]["flows_kmol_per_h"]["BENZENE"].get<double>(), 29.7,
                1e-9);

    // The heterogeneous column: the decanter splits and its lever figures lie in [0, 1].
    const Outcome het = distil("design " + problem("dehydration_study.toml") + " --json");
    ASSERT_EQ(het.status, 0) << het.err;
    const json dehydration = parsed(het);
    const json& dec = dehydration["design"]["decanter"];
    ASSERT_TRUE(dec.is_object());
    for (const char* lever : {"l1", "l2"}) {
        EXPECT_GE(dec[lever].get<double>(), 0.0);
        EXPECT_LE(dec[lever].get<double>(), 1.0);
    }
    EXPECT_GT(dec["x_reflux"][2].get<double>(), 0.54 + 0.1) << "a benzene-rich reflux";

    // A decanter over a homogeneous distillate is ignored: code 2609 (-2), and its warning.
    const auto study = std::filesystem::temp_directory_path() /
                       ("engine_cli_study_" + std::to_string(::getpid()) + ".toml");
    {
        std::ifstream in(problem("aromatics_study.toml"));
        std::stringstream s;
        s << in.rdbuf();
        std::string text = s.str();
        text.replace(text.find("problem = \"engine_systems.toml\""), 31,
                     "problem = \"" + problem("engine_systems.toml") + "\"\nphases = 3");
        std::ofstream(study)
            << text << "\n[column.decanter]\nkind = \"richer-liquid\"\nkey = \"BENZENE\"\n";
    }
    const Outcome homogeneous = distil("design " + study.string() + " --json");
    ASSERT_EQ(homogeneous.status, 0) << homogeneous.err;
    const json h = parsed(homogeneous);
    EXPECT_EQ(h["design"]["error_code"], 2609);
    EXPECT_EQ(h["balance"]["error_code"], 2607) << "the balance sees one liquid too";
    const json design_warning = {{"step", "design"},
                                 {"line", "***** Warning - Only one liquid phase in the decanter"}};
    EXPECT_NE(std::find(h["messages"].begin(), h["messages"].end(), design_warning),
              h["messages"].end())
        << h["messages"].dump();

    // A study with a misspelt key names the file, the line and the key.
    std::ofstream(study) << "problem = \"x.toml\"\nrefluxratio = 3\n";
    const Outcome bad = distil("design " + study.string());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(study.string() + ":2: 'refluxratio': unknown key"), std::string::npos)
        << bad.err;
    std::filesystem::remove(study);
}

}  // namespace
