#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/model_factory.hpp"
#include "host/pure_component.hpp"

namespace host {

class Databank;

/// A problem-definition file that cannot be used. what() reads
/// `problem.toml:12: 'method': unknown property method "NRLT"`; line 0 means the whole file.
class ProblemDefinitionError : public std::runtime_error {
public:
    ProblemDefinitionError(std::string file,
                           std::size_t line,
                           std::string key,
                           const std::string& message);
    const std::string& file() const noexcept { return file_; }
    std::size_t line() const noexcept { return line_; }
    const std::string& key() const noexcept { return key_; }

private:
    std::string file_;
    std::size_t line_;
    std::string key_;
};

/// What happens to a binary pair for which neither the databank nor the file has parameters.
enum class MissingPairRule {
    ideal,   ///< zero interaction parameters (the pair mixes ideally)
    unifac,  ///< estimated from UNIFAC (host/pair_estimation.hpp); the default
};

/// Binary parameters of one pair given in the file; they replace the databank's. Index order as
/// in the models: *_12 is "first around second" (tau_12 for NRTL, ln Lambda_12 for Wilson,
/// ln tau_12 for UNIQUAC), each a + b/T with b in K.
struct BinaryOverride {
    std::size_t first = 0, second = 0;  ///< 0-based component positions in the problem
    double a_12 = 0.0, b_12 = 0.0, a_21 = 0.0, b_21 = 0.0;
    double alpha = 0.0;  ///< NRTL non-randomness alpha_12 = alpha_21 (NRTL only)
    std::string origin;  ///< "problem.toml:41"
};

/// A named choice of property model: the liquid's activity model over an ideal-gas vapour.
struct OptionSet {
    std::string name;  ///< 1 to 8 characters, no blanks, unique ignoring case
    PropertyMethod method = PropertyMethod::ideal;
    std::string parameter_set;  ///< NRTL only: an nrtl_lle.tsv set used instead of nrtl.tsv
    MissingPairRule missing_pairs = MissingPairRule::unifac;
    std::vector<BinaryOverride> overrides;
    std::string origin;    ///< "problem.toml:20", where the set is defined
    std::size_t line = 0;  ///< the line of its [[option_set]] header
};

/// Flash settings that GETCSP reports and the named parameters change.
struct FlashSettings {
    double tolerance = 1e-10;           ///< (0, 0.1]
    std::int64_t max_iterations = 100;  ///< >= 1
    std::int64_t history_level = 4;     ///< 0..8
    std::int64_t terminal_level = 4;    ///< 0..8
};

/// The contents of a problem-definition file, checked: everything in it is usable.
struct ProblemDefinition {
    std::string file;   ///< as given to the reader, used in messages
    std::string title;  ///< optional free text
    /// In file order; host index = position + 1. Databank components keep their databank
    /// origin; inline ones have sources.origin = "problem.toml:12".
    std::vector<PureComponent> components;
    std::vector<bool> from_databank;  ///< per component
    std::vector<OptionSet> option_sets;
    std::size_t global_option_set = 0;  ///< 0-based
    FlashSettings flash;
};

/// Limits of a problem (the fixed-width fields and the component lists of the clients).
inline constexpr std::size_t kMaxProblemComponents = 1000;
inline constexpr std::size_t kMaxOptionSets = 100;
inline constexpr std::size_t kMaxIdLength = 8;
inline constexpr std::size_t kMaxNameLength = 12;
inline constexpr std::size_t kMaxOptionSetNameLength = 8;

/// Parses and checks a problem definition from its text; `file` names it in messages. Databank
/// components and parameters come from `bank`. Throws ProblemDefinitionError for anything wrong:
/// TOML syntax, unknown or misspelt keys, wrong types, missing values, out-of-range numbers,
/// unknown components, methods or parameter sets, overlong ids and names, duplicates, binary
/// pairs naming components outside the problem, and option sets whose method cannot describe
/// the components (UNIFAC groups or UNIQUAC r and q missing).
ProblemDefinition parse_problem_definition(std::string_view text,
                                           const std::string& file,
                                           const Databank& bank);
/// Reads the file and parses it (ProblemDefinitionError also when it cannot be read).
ProblemDefinition read_problem_definition(const std::filesystem::path& path,
                                          const std::string& file_label,
                                          const Databank& bank);

/// Case-insensitive (ASCII) equality, the rule for ids and option-set names.
bool equal_ignoring_case(std::string_view a, std::string_view b) noexcept;

}  // namespace host
