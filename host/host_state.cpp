#include "host/host_state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/databank.hpp"
#include "host/pure_component.hpp"

namespace host {

namespace {

std::string timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) { return "?"; }
    return text;
}

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) { return {}; }
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

/// Work directories may come in the other platform's form ("C:\tmp\" or "/tmp\"): backslashes
/// are separators, and a trailing separator is dropped.
std::string as_directory(std::string_view s) {
    std::string d = trimmed(s);
    std::replace(d.begin(), d.end(), '\\', '/');
    while (d.size() > 1 && d.back() == '/') { d.pop_back(); }
    return d;
}

std::string system_error_text() { return std::strerror(errno); }

std::string method_description(const OptionSet& s) {
    std::string m(method_name(s.method));
    switch (s.method) {
        case PropertyMethod::nrtl:
            m += s.parameter_set.empty() ? " (nrtl.tsv)"
                                         : " (nrtl_lle.tsv set " + s.parameter_set + ")";
            break;
        case PropertyMethod::wilson:
            m += " (wilson.tsv)";
            break;
        case PropertyMethod::uniquac:
            m += " (uniquac.tsv, r and q of the components)";
            break;
        case PropertyMethod::unifac:
            m += " (original UNIFAC groups and parameters)";
            break;
        case PropertyMethod::unifac_lle:
            m += " (UNIFAC-LLE groups and parameters)";
            break;
        case PropertyMethod::ideal:
            m += " (Raoult's law)";
            break;
    }
    return m;
}

}  // namespace

std::string_view host_code_text(std::int64_t code) noexcept {
    switch (code) {
#define HOST_CALL_CODE_TEXT(name, value, text) \
    case value:                                \
        return text;
        HOST_CALL_CODES(HOST_CALL_CODE_TEXT)
#undef HOST_CALL_CODE_TEXT
        default:
            return flash_code_text(code);
    }
}

// ---- LoadedProblem ------------------------------------------------------------------------

LoadedProblem::LoadedProblem(ProblemDefinition definition, const Databank& bank)
    : definition_(std::move(definition)) {
    models_.reserve(definition_.option_sets.size());
    for (std::size_t k = 0; k < definition_.option_sets.size(); ++k) {
        models_.emplace_back(definition_, k, bank);
    }
}

Mixture LoadedProblem::mixture(std::size_t option_set,
                               std::span<const std::size_t> positions) const {
    std::vector<PureComponent> components;
    components.reserve(positions.size());
    for (std::size_t p : positions) { components.push_back(definition_.components.at(p)); }
    return Mixture(std::move(components), models_.at(option_set).model(positions));
}

std::vector<std::string> LoadedProblem::warnings() const {
    std::vector<std::string> w;
    const auto& comps = definition_.components;
    for (std::size_t k = 0; k < models_.size(); ++k) {
        const OptionSetModel& m = models_[k];
        if (!m.has_pairs()) { continue; }
        for (std::size_t i = 0; i < comps.size(); ++i) {
            for (std::size_t j = i + 1; j < comps.size(); ++j) {
                if (m.pair_source(i, j).kind == PairSource::Kind::missing) {
                    w.push_back("option set " + definition_.option_sets[k].name + ": pair " +
                                comps[i].id + "/" + comps[j].id +
                                " has no binary parameters and is ideal");
                }
            }
        }
    }
    return w;
}

std::string LoadedProblem::report() const {
    const ProblemDefinition& d = definition_;
    std::string out;
    auto line = [&out](const std::string& s) {
        out += s;
        out += '\n';
    };
    if (!d.title.empty()) { line("Title: " + d.title); }
    line("");
    line(fmt::format("Components: {}", d.components.size()));
    line(fmt::format("  {:>5}  {:<8}  {:<12}  {:>12}  {:>8}  {:>17}  {}", "index", "id", "name",
                     "M [kg/kmol]", "Tb [K]", "Psat range [K]", "from"));
    for (std::size_t i = 0; i < d.components.size(); ++i) {
        const PureComponent& c = d.components[i];
        line(fmt::format("  {:>5}  {:<8}  {:<12}  {:>12.6g}  {:>8.2f}  {:>8.2f}-{:<8.2f}  {}",
                         i + 1, c.id, c.name, c.molar_mass, c.normal_boiling_point,
                         c.vapour_pressure.T_min, c.vapour_pressure.T_max,
                         (d.from_databank[i] ? "databank " : "defined at ") + c.sources.origin));
    }
    line("");
    line(fmt::format("Option sets: {} (global current: {} {})", d.option_sets.size(),
                     d.global_option_set + 1, d.option_sets[d.global_option_set].name));
    for (std::size_t k = 0; k < d.option_sets.size(); ++k) {
        const OptionSet& s = d.option_sets[k];
        const OptionSetModel& m = models_[k];
        line(fmt::format("  {:>3}  {:<8}  method {}, ideal-gas vapour, defined at {}", k + 1,
                         s.name, method_description(s), s.origin));
        if (!m.has_pairs()) { continue; }
        line(s.missing_pairs == MissingPairRule::unifac ? "       missing pairs: UNIFAC estimates"
                                                        : "       missing pairs: ideal");
        for (std::size_t i = 0; i < d.components.size(); ++i) {
            for (std::size_t j = i + 1; j < d.components.size(); ++j) {
                const PairSource& p = m.pair_source(i, j);
                const std::string pair = d.components[i].id + "/" + d.components[j].id;
                switch (p.kind) {
                    case PairSource::Kind::databank:
                        line(fmt::format("       {:<17}  databank {}", pair, p.detail));
                        break;
                    case PairSource::Kind::file:
                        line(fmt::format("       {:<17}  problem file {}", pair, p.detail));
                        break;
                    case PairSource::Kind::estimated:
                        line(fmt::format("       {:<17}  {}", pair, p.detail));
                        break;
                    case PairSource::Kind::missing:
                        line(fmt::format("       {:<17}  no parameters: ideal (warning)", pair));
                        break;
                }
            }
        }
    }
    line("");
    line(fmt::format(
        "Flash settings: tolerance {:g}, iteration limit {}, diagnostic levels {} "
        "(history) and {} (terminal)",
        d.flash.tolerance, d.flash.max_iterations, d.flash.history_level, d.flash.terminal_level));
    const std::vector<std::string> w = warnings();
    line("");
    line(fmt::format("Warnings: {}", w.size()));
    for (const auto& s : w) { line("  " + s); }
    return out;
}

std::optional<std::size_t> LoadedProblem::find_component(std::string_view id) const noexcept {
    for (std::size_t i = 0; i < definition_.components.size(); ++i) {
        if (equal_ignoring_case(definition_.components[i].id, id)) { return i; }
    }
    return std::nullopt;
}

std::optional<std::size_t> LoadedProblem::find_option_set(std::string_view name) const noexcept {
    for (std::size_t k = 0; k < definition_.option_sets.size(); ++k) {
        if (equal_ignoring_case(definition_.option_sets[k].name, name)) { return k; }
    }
    return std::nullopt;
}

// ---- MixtureCache -------------------------------------------------------------------------

std::size_t MixtureCache::KeyHash::operator()(const Key& k) const noexcept {
    // FNV-1a over the option set and the positions.
    std::size_t h = 1469598103934665603ull;
    auto mix = [&h](std::size_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(k.option_set);
    for (std::size_t p : k.positions) { mix(p); }
    return h;
}

MixtureEntry& MixtureCache::get(const LoadedProblem& problem,
                                std::size_t option_set,
                                std::span<const std::size_t> positions) {
    probe_.option_set = option_set;
    probe_.positions.assign(positions.begin(), positions.end());
    if (const auto hit = index_.find(probe_); hit != index_.end()) {
        entries_.splice(entries_.begin(), entries_, hit->second);
        return *hit->second->entry;
    }
    auto entry = std::make_unique<MixtureEntry>(problem.mixture(option_set, positions));
    ++builds_;
    if (entries_.size() >= capacity_ && !entries_.empty()) {
        index_.erase(entries_.back().key);
        entries_.pop_back();
    }
    entries_.push_front(Slot{probe_, std::move(entry)});
    try {
        index_.emplace(probe_, entries_.begin());
    } catch (...) {
        entries_.pop_front();
        throw;
    }
    return *entries_.front().entry;
}

void MixtureCache::clear() noexcept {
    index_.clear();
    entries_.clear();
    builds_ = 0;
}

// ---- HostState ----------------------------------------------------------------------------

HostState& HostState::instance() {
    static HostState state;
    return state;
}

void HostState::append_history(std::string_view text) {
    if (history_path_.empty()) { return; }
    std::ofstream h(history_path_, std::ios::app);
    if (h) { h << timestamp() << "  " << text << '\n'; }
}

std::int64_t HostState::open(std::string_view run_id_in,
                             std::string_view file_in,
                             std::string_view work_dir_in) {
    namespace fs = std::filesystem;
    const std::string file = trimmed(file_in);
    fs::path file_path(file);
    std::error_code ec;
    if (!file.empty() && !fs::exists(file_path, ec) && file.find('\\') != std::string::npos) {
        std::string slashes = file;
        std::replace(slashes.begin(), slashes.end(), '\\', '/');
        file_path = slashes;
    }
    std::string run = trimmed(run_id_in);
    if (run.empty()) { run = file_path.stem().string(); }
    if (run.empty() || run == "." || run == ".." || run.find_first_of("/\\") != std::string::npos) {
        last_error_ = "run id \"" + run + "\" cannot name a history file";
        return kOpenHistoryFailed;
    }
    const std::string work = as_directory(work_dir_in);
    const fs::path dir = work.empty() ? fs::path() : fs::path(work);
    const std::string his = (dir / (run + ".his")).string();
    const std::string rep = (dir / (run + ".rep")).string();

    std::ofstream history(his, std::ios::app);
    if (!history) {
        last_error_ = "cannot open the history file " + his + ": " + system_error_text();
        return kOpenHistoryFailed;
    }
    std::ofstream report(rep, std::ios::trunc);
    if (!report) {
        last_error_ = "cannot open the report file " + rep + ": " + system_error_text();
        history << timestamp() << "  open " << file << ": refused: " << last_error_ << '\n';
        return kOpenReportFailed;
    }
    const std::string header = "TARN host property system: report of run " + run + "\n" +
                               "Problem-definition file: " + file + "\n" +
                               "Opened: " + timestamp() + "\n";

    std::unique_ptr<const LoadedProblem> loaded;
    std::string error;
    try {
        if (file.empty()) { throw std::invalid_argument("no problem-definition file named"); }
        loaded = std::make_unique<const LoadedProblem>(
            read_problem_definition(file_path, file, Databank::embedded()), Databank::embedded());
    } catch (const ProblemDefinitionError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = (file.empty() ? std::string("problem-definition file") : file) + ": " + e.what();
    }
    if (!loaded) {
        last_error_ = error;
        report << header << "\nTerminal errors:\n  " << error << '\n';
        history << timestamp() << "  open " << file << ": refused: " << error << '\n';
        return kOpenTerminalErrors;
    }

    const std::vector<std::string> warnings = loaded->warnings();
    report << header << loaded->report();
    report.flush();
    if (!report) {
        last_error_ = "cannot write the report file " + rep + ": " + system_error_text();
        history << timestamp() << "  open " << file << ": refused: " << last_error_ << '\n';
        return kOpenReportFailed;
    }
    history << timestamp() << "  open " << file << ": " << loaded->component_count()
            << " components, " << loaded->option_set_count() << " option sets, " << warnings.size()
            << " warnings\n";

    // Everything that can fail has succeeded: the new problem replaces the old one.
    problem_ = std::move(loaded);
    settings_ = problem_->definition().flash;
    global_option_set_ = problem_->definition().global_option_set;
    cache_.clear();
    restart_pending = false;
    last_error_.clear();
    run_id_ = run;
    file_ = file;
    work_dir_ = work;
    history_path_ = his;
    return static_cast<std::int64_t>(warnings.size());
}

void HostState::close() {
    if (problem_) { append_history("close " + file_); }
    problem_.reset();
    cache_.clear();
    settings_ = FlashSettings{};
    global_option_set_ = 0;
    restart_pending = false;
    run_id_.clear();
    file_.clear();
    work_dir_.clear();
    history_path_.clear();
}

}  // namespace host
