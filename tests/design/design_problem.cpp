#include "tests/design/design_problem.hpp"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "host/entry_points.h"
#include "properties/equilibrium.hpp"

namespace design::testing {

std::string open_problem() {
    static bool opened = false;
    if (opened) { return ""; }
    const std::string path = std::string(DISTIL_DESIGN_PROBLEM_DIR) + "/design.toml";
    const auto dir_path =
        std::filesystem::temp_directory_path() / ("design_tests_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_path);
    const std::string dir = dir_path.string() + "/";
    const std::string run = "design_tests";
    std::int64_t status = -99;
    CALLSETJMP(run.data(), path.data(), dir.data(), &status, static_cast<std::int64_t>(run.size()),
               static_cast<std::int64_t>(path.size()), static_cast<std::int64_t>(dir.size()));
    if (status < 0) {
        std::string message(2000, ' ');
        std::int64_t length = 0, error = 0;
        const std::int64_t index = 0;
        GET_CHAR_PARAM("ERRMSG", &index, message.data(), &length, &error, 6,
                       static_cast<std::int64_t>(message.size()));
        return path + ": status " + std::to_string(status) + ": " +
               message.substr(0, message.find_last_not_of(' ') + 1);
    }
    opened = true;
    return "";
}

std::vector<std::int64_t> components(std::initializer_list<std::string_view> ids) {
    std::vector<std::int64_t> out;
    for (const std::string_view id : ids) {
        std::int64_t index = 0, error = 0;
        CALL_PPGIDX(id.data(), &index, &error, static_cast<std::int64_t>(id.size()));
        out.push_back(error == 0 ? index : 0);
    }
    return out;
}

const nlohmann::json& reference(std::string_view file) {
    static std::map<std::string, nlohmann::json, std::less<>> cache;
    if (auto it = cache.find(file); it != cache.end()) { return it->second; }
    const std::string path = std::string(DISTIL_REFERENCE_DIR) + "/" + std::string(file);
    std::ifstream in(path);
    if (!in) { throw std::runtime_error("cannot read " + path); }
    return cache.emplace(std::string(file), nlohmann::json::parse(in)).first->second;
}

const nlohmann::json& reference_model(std::string_view file, std::string_view label) {
    for (const nlohmann::json& m : reference(file).at("models")) {
        if (m.at("label").get<std::string>() == label) { return m; }
    }
    throw std::runtime_error("no model " + std::string(label) + " in " + std::string(file));
}

double reference_temperature(std::string_view file,
                             std::string_view label,
                             std::string_view kind,
                             const std::vector<double>& z) {
    const std::string key = kind == "dew_T" ? "y" : "x";
    for (const nlohmann::json& point : reference_model(file, label).at(std::string(kind))) {
        const std::vector<double> c = point.at(key).get<std::vector<double>>();
        bool same = c.size() == z.size();
        for (std::size_t i = 0; same && i < c.size(); ++i) { same = std::fabs(c[i] - z[i]) < 1e-9; }
        if (same) { return point.at("T").get<double>(); }
    }
    throw std::runtime_error("no reference point for that composition in " + std::string(file));
}

bool host_splits_liquids() {
    if (!open_problem().empty()) { return false; }
    const std::vector<std::int64_t> idx = components({"WATER", "BENZENE"});
    const std::vector<double> x{0.5, 0.5};
    properties::FlashRequest request;
    request.flash_type = "PV";
    request.phase_count = 3;
    request.option_set = "NRTLEWB";
    request.components = idx;
    request.composition = x;
    request.pressure = kAtmosphere;
    request.vapour_fraction = 0.0;
    const properties::FlashResult r = properties::calc_flash(request);
    if (r.error_code != 0 || r.x1.size() != 2 || r.x2.size() != 2) { return false; }
    return std::fabs(r.x1[0] - r.x2[0]) > 0.1;
}

}  // namespace design::testing
