#include "tests/rcm/rcm_test_support.hpp"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <stdexcept>

#include "host/entry_points.h"
#include "properties/equilibrium.hpp"

namespace rcm::testing {
namespace {

const std::string& scratch_directory() {
    static const std::string dir = [] {
        const auto d =
            std::filesystem::temp_directory_path() / ("rcm_tests_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d.string();
    }();
    return dir;
}

std::int64_t component_index(std::string_view id) {
    std::int64_t index = 0, error = 0;
    CALL_PPGIDX(id.data(), &index, &error, static_cast<std::int64_t>(id.size()));
    return error == 0 ? index : 0;
}

}  // namespace

std::string open_problem() {
    static bool open = false;
    if (open) { return ""; }
    const std::string path = std::string(RCM_TEST_PROBLEM_DIR) + "/rcm_systems.toml";
    const std::string run = "rcm_tests";
    const std::string dir = scratch_directory() + "/";
    std::int64_t status = -99;
    CALLSETJMP(run.data(), path.data(), dir.data(), &status, static_cast<std::int64_t>(run.size()),
               static_cast<std::int64_t>(path.size()), static_cast<std::int64_t>(dir.size()));
    if (status < 0) { return path + ": refused with status " + std::to_string(status); }
    open = true;
    return "";
}

CurveSystem system(System s, std::int64_t phase_count) {
    CurveSystem out;
    out.pressure = kAtmosphere;
    out.phase_count = phase_count;
    switch (s) {
        case System::acetone_chloroform_methanol:
            out.components = {component_index("ACETONE"), component_index("CHCL3"),
                              component_index("MEOH")};
            out.option_set = "NRTL";
            break;
        case System::ethanol_water_benzene:
            out.components = {component_index("ETOH"), component_index("WATER"),
                              component_index("BENZENE")};
            out.option_set = "UNIFAC";
            break;
        case System::benzene_toluene_pxylene:
            out.components = {component_index("BENZENE"), component_index("TOLUENE"),
                              component_index("PXYLENE")};
            out.option_set = "UNIFAC";
            break;
        case System::ethyl_acetate_ethanol_water:
            out.components = {component_index("ETAC"), component_index("ETOH"),
                              component_index("WATER")};
            out.option_set = "NRTL";
            break;
        case System::constant_alpha:
            out.components = {component_index("ALPHA4"), component_index("ALPHA2"),
                              component_index("ALPHA1")};
            out.option_set = "IDEAL";
            break;
    }
    return out;
}

const nlohmann::json& reference(std::string_view file) {
    static std::map<std::string, nlohmann::json, std::less<>> cache;
    if (auto it = cache.find(file); it != cache.end()) { return it->second; }
    const std::string path = std::string(RCM_REFERENCE_DIR) + "/" + std::string(file);
    std::ifstream in(path);
    if (!in) { throw std::runtime_error("cannot read " + path); }
    return cache.emplace(std::string(file), nlohmann::json::parse(in)).first->second;
}

std::vector<SingularPoint> reference_singular_points(std::string_view file,
                                                     std::string_view model) {
    for (const nlohmann::json& m : reference(file).at("models")) {
        if (m.at("label").get<std::string>() != model) { continue; }
        std::vector<SingularPoint> out;
        for (const nlohmann::json& p : m.at("singular_points").at("points")) {
            SingularPoint s;
            s.x = p.at("x").get<std::vector<double>>();
            s.stability =
                azeotrope::stability_from_code(p.at("stability_code").get<std::int64_t>());
            s.temperature = p.at("T").get<double>();
            out.push_back(std::move(s));
        }
        return out;
    }
    throw std::runtime_error("no model " + std::string(model) + " in " + std::string(file));
}

Nearest nearest(std::span<const double> x, const std::vector<SingularPoint>& points) {
    Nearest best{0, std::numeric_limits<double>::infinity()};
    for (std::size_t k = 0; k < points.size(); ++k) {
        double d2 = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            d2 += (x[i] - points[k].x[i]) * (x[i] - points[k].x[i]);
        }
        if (std::sqrt(d2) < best.distance) { best = {k, std::sqrt(d2)}; }
    }
    return best;
}

std::span<const double> point(const std::vector<double>& points, std::size_t n, std::size_t k) {
    return std::span(points).subspan(k * n, n);
}

bool two_liquid_bubble_points_available() {
    if (!open_problem().empty()) { return false; }
    // The three-phase bubble point of a water/benzene feed inside the gap, from
    // vle_ethanol_water_benzene_unifac.json (bubble_T, x = (0, 0.25, 0.75)).
    const nlohmann::json* expected = nullptr;
    for (const nlohmann::json& m :
         reference("vle_ethanol_water_benzene_unifac.json").at("models")) {
        if (m.at("label") != "UNIFAC") { continue; }
        for (const nlohmann::json& b : m.at("bubble_T")) {
            if (b.at("x") == nlohmann::json{0.0, 0.25, 0.75}) { expected = &b; }
        }
    }
    if (expected == nullptr) { return false; }
    const CurveSystem s = system(System::ethanol_water_benzene, 3);
    const std::vector<double> feed{0.0, 0.25, 0.75};
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.phase_count = 3;
    request.option_set = s.option_set;
    request.components = s.components;
    request.composition = feed;
    request.pressure = s.pressure;
    request.vapour_fraction = 0.0;
    const properties::FlashResult r = properties::calc_flash(request);
    const auto y = expected->at("y").get<std::vector<double>>();
    return r.converged() && r.y.size() == 3 &&
           std::abs(r.temperature - expected->at("T").get<double>()) < 1e-3 &&
           std::abs(r.y[1] - y[1]) < 1e-5 && std::abs(r.x1[1] - r.x2[1]) > 0.5;
}

void reset_run_log() {
    ::setenv("TEMP", scratch_directory().c_str(), 1);
    std::filesystem::remove(scratch_directory() + "/CorvRun.log");
}

std::vector<std::string> run_log_lines() {
    std::vector<std::string> lines;
    std::ifstream in(scratch_directory() + "/CorvRun.log");
    for (std::string line; std::getline(in, line);) { lines.push_back(line); }
    return lines;
}

}  // namespace rcm::testing
