#include "tests/azeotrope/host_problem.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

#include "host/entry_points.h"

namespace azeotrope::testing {
namespace {

std::string& current_problem() {
    static std::string file;
    return file;
}

}  // namespace

namespace {

/// The test process's own directory for the host's report and history files and the run log;
/// removed when the process ends (ctest runs every test in a process of its own).
struct ScratchDirectory {
    ScratchDirectory()
        : path(std::filesystem::temp_directory_path() /
               ("azeotrope_tests_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

}  // namespace

const std::string& scratch_directory() {
    static const ScratchDirectory dir;
    static const std::string text = dir.path.string() + "/";
    return text;
}

std::string open_problem(std::string_view file) {
    if (current_problem() == file) { return ""; }
    const std::string path = std::string(DISTIL_AZEOTROPE_PROBLEM_DIR) + "/" + std::string(file);
    const std::string run = "azeotrope_tests";
    const std::string& dir = scratch_directory();
    std::int64_t status = -99;
    CALLSETJMP(run.data(), path.data(), dir.data(), &status, static_cast<std::int64_t>(run.size()),
               static_cast<std::int64_t>(path.size()), static_cast<std::int64_t>(dir.size()));
    if (status < 0) {
        current_problem().clear();
        std::string message(2000, ' ');
        std::int64_t length = 0, error = 0;
        const std::int64_t index = 0;
        GET_CHAR_PARAM("ERRMSG", &index, message.data(), &length, &error, 6,
                       static_cast<std::int64_t>(message.size()));
        return path + ": status " + std::to_string(status) + ": " +
               message.substr(0, message.find_last_not_of(' ') + 1);
    }
    current_problem() = std::string(file);
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

}  // namespace azeotrope::testing
