// The distil command line, run as a separate process: JSON results against the independent
// reference values of data/reference/, units, and one-line errors with non-zero exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
};

/// Runs distil with `arguments` (shell words) and collects its output and exit status.
Outcome distil(const std::string& arguments) {
    const auto err_file =
        std::filesystem::temp_directory_path() / ("cli_tests_stderr_" + std::to_string(::getpid()));
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

const nlohmann::json& ethanol_water_nrtl() {
    static const nlohmann::json model = [] {
        std::ifstream in(std::string(DISTIL_REFERENCE_DIR) + "/vle_ethanol_water.json");
        const nlohmann::json all = nlohmann::json::parse(in);
        for (const auto& m : all.at("models")) {
            if (m.at("label") == "NRTL") { return m; }
        }
        return nlohmann::json();
    }();
    return model;
}

const nlohmann::json& reference_entry(const char* list, const char* key, double first) {
    for (const auto& e : ethanol_water_nrtl().at(list)) {
        if (std::abs(e.at(key)[0].get<double>() - first) < 1e-12) { return e; }
    }
    static const nlohmann::json none;
    return none;
}

const std::string kDatabankNrtl = "--components ETOH,WATER --method NRTL";

TEST(DistilFlash, BubblePointFromTheDatabankMatchesTheReferenceAsJson) {
    const Outcome run =
        distil("flash " + kDatabankNrtl + " --kind bubble --x 0.5,0.5 --pressure 1atm --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    std::vector<std::string> keys;
    for (const auto& [key, value] : doc.items()) { keys.push_back(key); }
    EXPECT_EQ(keys, (std::vector<std::string>{"P_Pa", "T_K", "beta", "components", "error_code",
                                              "kind", "vapour_fraction", "x", "x1", "x2", "y"}));
    const auto& ref = reference_entry("bubble_T", "x", 0.5);
    EXPECT_NEAR(doc.at("T_K").get<double>(), ref.at("T").get<double>(), 1e-6);
    EXPECT_NEAR(doc.at("y")[0].get<double>(), ref.at("y")[0].get<double>(), 1e-7);
    EXPECT_EQ(doc.at("P_Pa").get<double>(), 101325.0);
    EXPECT_EQ(doc.at("error_code").get<int>(), 0);
    EXPECT_EQ(doc.at("kind"), "bubble");
    EXPECT_EQ(doc.at("components"), (nlohmann::json{"ETOH", "WATER"}));
    EXPECT_EQ(doc.at("x1"), doc.at("x"));
    EXPECT_EQ(doc.at("beta").get<double>(), 1.0);
}

TEST(DistilFlash, DewPointsAndPressureUnitsAgree) {
    const auto& ref = reference_entry("dew_T", "y", 0.5);
    for (const char* pressure : {"101325", "101.325kPa", "1.01325 bar", "1atm", "760mmHg"}) {
        const Outcome run = distil("flash " + kDatabankNrtl +
                                   " --kind dew --y 0.5,0.5 --pressure '" + pressure + "' --json");
        ASSERT_EQ(run.status, 0) << pressure << ": " << run.err;
        const auto doc = nlohmann::json::parse(run.out);
        // 760 mmHg is 101325.0144 Pa; with dP/dT about 3.6 kPa/K on the dew curve there, that
        // moves the dew point by 4e-6 K.
        EXPECT_NEAR(doc.at("T_K").get<double>(), ref.at("T").get<double>(), 1e-5) << pressure;
        EXPECT_NEAR(doc.at("x")[0].get<double>(), ref.at("x")[0].get<double>(), 1e-7);
    }
    // The dew pressure at the dew temperature, given in Celsius, is 1 atm.
    const double t_celsius = ref.at("T").get<double>() - 273.15;
    const Outcome run = distil("flash " + kDatabankNrtl + " --kind dew --y 0.5,0.5 --temperature " +
                               std::to_string(t_celsius) + "C --json");
    ASSERT_EQ(run.status, 0) << run.err;
    // std::to_string keeps 6 decimals: 5e-7 K is 2e-3 Pa here.
    EXPECT_NEAR(nlohmann::json::parse(run.out).at("P_Pa").get<double>(), 101325.0, 0.05);
}

TEST(DistilFlash, ProblemFilesAndTheirOptionSetsAreUsed) {
    const std::string problem = std::string(DISTIL_EXAMPLES_DIR) + "/ethanol-water-benzene.toml";
    const Outcome tp = distil("flash " + problem +
                              " --components ETOH,WATER --kind tp --z 0.5,0.5 --temperature 355 "
                              "--pressure 1atm --json");
    ASSERT_EQ(tp.status, 0) << tp.err;
    const auto doc = nlohmann::json::parse(tp.out);
    const double v = doc.at("vapour_fraction").get<double>();
    ASSERT_GT(v, 0.0);
    ASSERT_LT(v, 1.0);
    EXPECT_NEAR(v * doc.at("y")[0].get<double>() + (1 - v) * doc.at("x")[0].get<double>(), 0.5,
                1e-9);

    const Outcome listed = distil("components " + problem + " --json");
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto list = nlohmann::json::parse(listed.out);
    EXPECT_EQ(list.at("components").size(), 3u);
    EXPECT_EQ(list.at("components")[2].at("id"), "BENZENE");
    EXPECT_EQ(list.at("option_sets")[2], "UNIFAC");

    const Outcome databank = distil("components --json");
    ASSERT_EQ(databank.status, 0) << databank.err;
    EXPECT_GE(nlohmann::json::parse(databank.out).at("components").size(), 30u);
}

TEST(DistilErrors, BadInputGivesOneLineAndANonZeroStatus) {
    const struct {
        std::string arguments;
        int status;
        std::string says;
    } cases[] = {
        {"flash " + kDatabankNrtl + " --kind bubble --x 0.5,0.5 --pressure 1psi", 1, "unit 'psi'"},
        {"flash " + kDatabankNrtl + " --kind bubble --x 0.5 --pressure 1atm", 1,
         "1 mole fractions for 2 components"},
        {"flash " + kDatabankNrtl + " --kind bubble --x 0.5,-0.5 --pressure 1atm", 1, "negative"},
        {"flash " + kDatabankNrtl + " --kind bubble --x 0.5,0.5", 1, "needs --pressure"},
        {"flash " + kDatabankNrtl + " --kind boil --x 0.5,0.5 --pressure 1atm", 1, "--kind"},
        {"flash --components ETOH,WATER --method NRTX --kind bubble --x 0.5,0.5 --pressure 1atm", 1,
         "method 'NRTX'"},
        {"flash --components ETHANOL,WATER --method NRTL --kind bubble --x 0.5,0.5 --pressure 1atm",
         2, "unknown databank component \"ETHANOL\""},
        {"flash /no/such/problem.toml --kind bubble --x 0.5,0.5 --pressure 1atm", 2,
         "no such file"},
        {"flash " + kDatabankNrtl + " --kind tp --z 0.5,0.5 --temperature -300C --pressure 1atm", 1,
         "above 0 K"},
    };
    for (const auto& c : cases) {
        const Outcome run = distil(c.arguments);
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.err.rfind("distil: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    // A flash the host refuses (500 C is above ethanol's critical temperature) still prints its
    // result, with the host's code, and fails.
    const Outcome refused =
        distil("flash " + kDatabankNrtl +
               " --kind tp --z 0.5,0.5 --temperature 500C --pressure 1atm --json");
    EXPECT_EQ(refused.status, 3);
    EXPECT_LT(nlohmann::json::parse(refused.out).at("error_code").get<int>(), 0);
}

}  // namespace
