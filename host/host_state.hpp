#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/flash.hpp"
#include "host/mixture.hpp"
#include "host/option_set_model.hpp"
#include "host/problem_definition.hpp"

namespace host {

/// Codes of the host entry points beyond the flash codes of host/flash.hpp; both travel in the
/// same error arguments (0 success, positive a warning or non-convergence, negative fatal).
#define HOST_CALL_CODES(X)                                                          \
    X(text_truncated, 1, "the text did not fit its field and was cut")              \
    X(no_problem, -20, "no problem-definition file is open")                        \
    X(unknown_option_set, -21, "option-set index or name not known")                \
    X(unknown_component, -22, "component index or id not in the problem")           \
    X(repeated_component, -23, "a component index is given twice")                  \
    X(bad_argument, -24, "a required argument is missing or a mode is not allowed") \
    X(unknown_parameter, -25, "no named parameter has that name")                   \
    X(read_only_parameter, -26, "the parameter cannot be set")                      \
    X(bad_parameter_value, -27, "the value is not allowed for that parameter")

enum class HostCode : std::int64_t {
#define HOST_CALL_CODE_ENUM(name, code, text) name = code,
    HOST_CALL_CODES(HOST_CALL_CODE_ENUM)
#undef HOST_CALL_CODE_ENUM
};

/// The text of any code an entry point returns (host codes and flash codes).
std::string_view host_code_text(std::int64_t code) noexcept;

/// Statuses of opening a problem-definition file: 0 or more is success (the number of warnings).
inline constexpr std::int64_t kOpenTerminalErrors = -1;
inline constexpr std::int64_t kOpenHistoryFailed = -2;
inline constexpr std::int64_t kOpenReportFailed = -3;

/// An open problem: its checked definition and each option set's resolved model.
class LoadedProblem {
public:
    /// Resolves every option set (throws std::invalid_argument as OptionSetModel does).
    LoadedProblem(ProblemDefinition definition, const Databank& bank);

    const ProblemDefinition& definition() const noexcept { return definition_; }
    std::size_t component_count() const noexcept { return definition_.components.size(); }
    std::size_t option_set_count() const noexcept { return definition_.option_sets.size(); }
    const OptionSetModel& model(std::size_t option_set) const { return models_.at(option_set); }
    /// The mixture of the components at these 0-based positions with option set k (0-based).
    Mixture mixture(std::size_t option_set, std::span<const std::size_t> positions) const;

    /// Warnings the report lists: binary pairs left ideal.
    std::vector<std::string> warnings() const;
    /// The report of the problem: components, option sets, where every pair's parameters come
    /// from, flash settings, warnings.
    std::string report() const;

    /// 0-based position of the component with that id (ignoring case), or nullopt.
    std::optional<std::size_t> find_component(std::string_view id) const noexcept;
    /// 0-based position of the option set with that name (ignoring case), or nullopt.
    std::optional<std::size_t> find_option_set(std::string_view name) const noexcept;

private:
    ProblemDefinition definition_;
    std::vector<OptionSetModel> models_;
};

/// A cached mixture with the flash that works on it (the flash keeps a reference to it, so the
/// pair lives at a fixed address).
struct MixtureEntry {
    explicit MixtureEntry(Mixture m) : mixture(std::move(m)), flash(mixture) {}
    Mixture mixture;
    Flash flash;
};

/// Mixtures keyed by (option set, component positions in order), least recently used dropped
/// first: the numerical routines flash the same few component lists again and again, and a
/// mixture costs a model build, but an azeotrope search over many components visits more
/// subsets than it is worth keeping.
class MixtureCache {
public:
    static constexpr std::size_t kDefaultCapacity = 256;
    explicit MixtureCache(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    /// The entry, built from `problem` on first use.
    MixtureEntry& get(const LoadedProblem& problem,
                      std::size_t option_set,
                      std::span<const std::size_t> positions);
    std::size_t size() const noexcept { return entries_.size(); }
    std::size_t capacity() const noexcept { return capacity_; }
    /// Mixtures built since the last clear().
    std::size_t builds() const noexcept { return builds_; }
    void clear() noexcept;

private:
    struct Key {
        std::size_t option_set = 0;
        std::vector<std::size_t> positions;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const noexcept;
    };
    struct Slot {
        Key key;
        std::unique_ptr<MixtureEntry> entry;
    };
    std::size_t capacity_;
    std::size_t builds_ = 0;
    std::list<Slot> entries_;  ///< most recently used first
    std::unordered_map<Key, std::list<Slot>::iterator, KeyHash> index_;
    Key probe_;  ///< reused for look-ups, so that a hit allocates nothing
};

/// The host's one state per process: the open problem, its settings, the run's files and the
/// mixture cache. Entry points take the lock for the whole call (the engine calls from one
/// thread, but nothing stops a client from using two).
class HostState {
public:
    static HostState& instance();

    std::mutex& mutex() noexcept { return mutex_; }

    /// Opens a problem-definition file: history line, report, parse; the status as the open
    /// entry point returns it. On failure the previous problem stays open and last_error() says
    /// why. Blank run id: the file's stem; blank work directory: the current one.
    std::int64_t open(std::string_view run_id, std::string_view file, std::string_view work_dir);
    /// Closes the problem (history line); harmless when none is open.
    void close();

    bool is_open() const noexcept { return problem_ != nullptr; }
    const LoadedProblem* problem() const noexcept { return problem_.get(); }

    FlashSettings& settings() noexcept { return settings_; }
    /// 0-based index of the current global option set (meaningful while open).
    std::size_t global_option_set() const noexcept { return global_option_set_; }
    void set_global_option_set(std::size_t k) noexcept { global_option_set_ = k; }

    const std::string& last_error() const noexcept { return last_error_; }
    const std::string& run_id() const noexcept { return run_id_; }
    const std::string& file() const noexcept { return file_; }
    const std::string& work_dir() const noexcept { return work_dir_; }

    MixtureCache& cache() noexcept { return cache_; }

    /// Appends a time-stamped line to the history file of the open run (skipped when none).
    void append_history(std::string_view line);

    /// Set when a flash asked its caller for a repeat: the next flash ignores the caller's
    /// temperature start value, whatever it is, so that a repeat can never ask again.
    bool restart_pending = false;

    /// Working storage of the entry points, reused so that repeated flashes allocate nothing.
    std::vector<std::size_t> positions;
    std::vector<double> composition;
    FlashResult result;

private:
    HostState() = default;

    std::mutex mutex_;
    std::unique_ptr<const LoadedProblem> problem_;
    FlashSettings settings_;
    std::size_t global_option_set_ = 0;
    std::string last_error_;
    std::string run_id_, file_, work_dir_, history_path_;
    MixtureCache cache_;
};

}  // namespace host
