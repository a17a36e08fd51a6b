#include "tests/lle/lle_problem.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

#include "host/databank.hpp"
#include "host/entry_points.h"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/pure_component.hpp"

namespace lle::testing {

const std::string& scratch_directory() {
    static const std::string dir = [] {
        const auto d =
            std::filesystem::temp_directory_path() / ("lle_tests_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d.string() + "/";
    }();
    return dir;
}

std::string open_problem(bool reopen) {
    static bool open = false;
    if (open && !reopen) { return ""; }
    open = false;
    const std::string path = std::string(DISTIL_LLE_PROBLEM_DIR) + "/lle_systems.toml";
    const std::string run = "lle_tests";
    const std::string& dir = scratch_directory();
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
    open = true;
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

host::Mixture mixture(std::string_view option_set, const std::vector<std::string>& ids) {
    const host::Databank& bank = host::Databank::embedded();
    std::vector<host::PureComponent> comps = host::find_components(bank, ids);
    std::shared_ptr<const host::ActivityModel> model;
    // The problem file leaves pairs without parameters ideal; so does this model.
    const auto nrtl_set = [](std::string set) {
        host::ModelOptions o;
        o.nrtl_set = std::move(set);
        o.missing_pairs = host::MissingPairPolicy::ideal;
        return o;
    };
    if (option_set == "EWB") {
        model =
            host::make_activity_model(bank, comps, host::PropertyMethod::nrtl, nrtl_set("EWB-1"));
    } else if (option_set == "WXULLE") {
        model = host::make_activity_model(bank, comps, host::PropertyMethod::nrtl,
                                          nrtl_set("WX-ULLE-1"));
    } else if (option_set == "UNIFACLL") {
        model = host::make_activity_model(bank, comps, host::PropertyMethod::unifac_lle);
    } else if (option_set == "UNIFAC") {
        model = host::make_activity_model(bank, comps, host::PropertyMethod::unifac);
    } else if (option_set == "NRTL") {
        // nrtl.tsv, with the water/toluene pair of the problem file (TW-PUB-1).
        host::NrtlParameters p = host::nrtl_parameters(bank, comps);
        const auto at = [&](std::string_view id) {
            return static_cast<std::size_t>(std::find(ids.begin(), ids.end(), id) - ids.begin());
        };
        const std::size_t w = at("WATER"), t = at("TOLUENE");
        if (w < ids.size() && t < ids.size()) {
            p.tau.set_pair(w, t, 0.0, 2316.81, 0.0, 1469.98);
            p.alpha[w * ids.size() + t] = p.alpha[t * ids.size() + w] = 0.2485;
        }
        model = std::make_shared<host::Nrtl>(std::move(p));
    } else {
        throw std::invalid_argument("no independent model for option set " +
                                    std::string(option_set));
    }
    return host::Mixture(std::move(comps), std::move(model));
}

Point activities(const host::Mixture& m, double T, const Point& x) {
    Point ln_gamma{};
    m.ln_gamma(T, x, ln_gamma);
    return {x[0] * std::exp(ln_gamma[0]), x[1] * std::exp(ln_gamma[1]),
            x[2] * std::exp(ln_gamma[2])};
}

Point vapour_over(const host::Mixture& m, double T, double P, const Point& x) {
    const Point a = activities(m, T, x);
    Point y{};
    for (std::size_t i = 0; i < 3; ++i) { y[i] = a[i] * std::exp(m.ln_psat(i, T)) / P; }
    return y;
}

double max_difference(const Point& a, const Point& b) {
    double d = 0.0;
    for (std::size_t i = 0; i < 3; ++i) { d = std::max(d, std::abs(a[i] - b[i])); }
    return d;
}

double distance_to_segment(const Point& p, const Point& a, const Point& b) {
    double ab2 = 0.0, ap_ab = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        ab2 += (b[i] - a[i]) * (b[i] - a[i]);
        ap_ab += (p[i] - a[i]) * (b[i] - a[i]);
    }
    const double t = ab2 > 0.0 ? std::clamp(ap_ab / ab2, 0.0, 1.0) : 0.0;
    double d2 = 0.0;
    for (std::size_t i = 0; i < 3; ++i) {
        const double q = a[i] + t * (b[i] - a[i]);
        d2 += (p[i] - q) * (p[i] - q);
    }
    return std::sqrt(d2);
}

double distance_to_polyline(const Point& p, const std::vector<Point>& line) {
    double d = line.empty() ? INFINITY : distance_to_segment(p, line.front(), line.front());
    for (std::size_t i = 1; i < line.size(); ++i) {
        d = std::min(d, distance_to_segment(p, line[i - 1], line[i]));
    }
    return d;
}

namespace {
// Orientation in the plane of the triangle, with (x_left, x_right) as coordinates: an affine
// image of the triangle, so crossings are the same as on the diagram.
double orientation(const Point& a, const Point& b, const Point& c) {
    return (b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1]);
}
}  // namespace

bool segments_cross(const Point& a, const Point& b, const Point& c, const Point& d) {
    const double o1 = orientation(a, b, c), o2 = orientation(a, b, d);
    const double o3 = orientation(c, d, a), o4 = orientation(c, d, b);
    return o1 * o2 < 0.0 && o3 * o4 < 0.0;
}

double tie_line_size(const TieLine& t) {
    double s = 0.0;
    for (std::size_t i = 0; i < 3; ++i) { s += (t.x1[i] - t.x2[i]) * (t.x1[i] - t.x2[i]); }
    return std::sqrt(0.5 * s);
}

}  // namespace lle::testing
