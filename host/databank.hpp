#pragma once
#include <array>
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/pure_component.hpp"

namespace host {

/// A malformed databank file: the message reads "nrtl.tsv:12: 'b_ij_K': not a number: x".
class DatabankError : public std::runtime_error {
public:
    DatabankError(std::string file,
                  std::size_t line,
                  std::string column,
                  const std::string& message);
    const std::string& file() const noexcept { return file_; }
    std::size_t line() const noexcept { return line_; }  ///< 1-based; 0 for the whole file
    const std::string& column() const noexcept { return column_; }  ///< empty for a whole row

private:
    std::string file_;
    std::size_t line_;
    std::string column_;
};

/// The binary-parameter tables of the databank.
enum class BinaryTable {
    nrtl,      ///< nrtl.tsv: DECHEMA VLE sets (via ChemSep), tau_ij = a_ij + b_ij/T
    nrtl_alt,  ///< nrtl_alt.tsv: the second DECHEMA set of pairs listed twice upstream
    nrtl_lle,  ///< nrtl_lle.tsv: liquid-liquid sets, each row belongs to a named `set`
    uniquac,   ///< uniquac.tsv: tau_ij = exp(a_ij + b_ij/T)
    wilson,    ///< wilson.tsv: Lambda_ij = exp(a_ij + b_ij/T)
};

/// One row of a binary-parameter table: both directions of one unordered pair, in the row's
/// own orientation (id_i before id_j in component order). b in K, a and alpha dimensionless.
struct BinaryParameterRow {
    std::string id_i, id_j;
    double a_ij = 0.0, b_ij = 0.0;  ///< the i-around-j direction: tau_ij (NRTL, UNIQUAC), Lambda_ij
    double a_ji = 0.0, b_ji = 0.0;  ///< the j-around-i direction
    double alpha = 0.0;             ///< NRTL non-randomness alpha_ij = alpha_ji; 0 for other models
    std::string set;                ///< parameter set (nrtl_lle.tsv only; empty elsewhere)
    double T_min = 0.0, T_max = 0.0;  ///< range the set was fitted over [K]; NaN when not stated
    std::string source;               ///< literature source as the row records it
    std::string origin;               ///< "nrtl.tsv:12", the row the numbers were read from
};

/// The parameters of a pair seen from the caller's order (first, second): *_12 is the
/// first-around-second direction whatever the orientation of the row.
struct OrientedBinaryParameters {
    double a_12 = 0.0, b_12 = 0.0, a_21 = 0.0, b_21 = 0.0, alpha = 0.0;
    const BinaryParameterRow* row = nullptr;  ///< where the numbers come from
};

/// The two UNIFAC parameter tables. They number their groups differently and must never mix.
enum class UnifacVersion {
    original,  ///< original UNIFAC for VLE (Fredenslund 1975, Hansen et al. 1991 and revisions)
    lle,       ///< UNIFAC-LLE (Magnussen, Rasmussen & Fredenslund 1981)
};

struct UnifacSubgroup {
    int id = 0;
    std::string name;
    int main_group = 0;
    double R = 0.0;  ///< van der Waals volume [-]
    double Q = 0.0;  ///< van der Waals area [-]
};

/// Subgroups and main-group interaction parameters of one UNIFAC version. A main-group pair
/// without a published a_mn is absent: it is never taken as zero.
struct UnifacTable {
    UnifacVersion version = UnifacVersion::original;
    std::vector<UnifacSubgroup> subgroups;               ///< sorted by id
    std::map<int, std::string> main_group_names;         ///< main group id -> name
    std::map<std::pair<int, int>, double> interactions;  ///< (m, n) -> a_mn [K]

    const UnifacSubgroup* find_subgroup(int id) const noexcept;
    /// a_mn [K] between main groups m and n: 0 for m == n, nullopt when none is published.
    std::optional<double> interaction(int m, int n) const noexcept;
};

/// One databank file by name ("nrtl.tsv", "unifac/vle_subgroups.tsv") and its text.
struct DatabankFile {
    std::string_view name;
    std::string_view text;
};

/// The pure-component and binary-parameter databank. Value type; the shipped one is compiled
/// into the library (embedded()), others can be parsed from texts or read from a directory.
class Databank {
public:
    /// Every file a databank consists of, relative to its directory.
    static constexpr std::array<std::string_view, 14> kFileNames{
        "components.tsv",
        "nrtl.tsv",
        "nrtl_alt.tsv",
        "nrtl_lle.tsv",
        "uniquac.tsv",
        "wilson.tsv",
        "unifac/vle_subgroups.tsv",
        "unifac/vle_main_groups.tsv",
        "unifac/vle_interactions.tsv",
        "unifac/vle_decomposition.tsv",
        "unifac/lle_subgroups.tsv",
        "unifac/lle_main_groups.tsv",
        "unifac/lle_interactions.tsv",
        "unifac/lle_decomposition.tsv",
    };

    /// The shipped databank, compiled into the library and parsed once on first use (thread-safe).
    static const Databank& embedded();
    /// The texts the shipped databank is parsed from, in kFileNames order.
    static std::span<const DatabankFile> embedded_files() noexcept;
    /// Parses a databank from the texts of all kFileNames (any order). Throws DatabankError for a
    /// missing file, a malformed row, an unknown id or subgroup, or a pair listed twice.
    static Databank parse(std::span<const DatabankFile> files);
    /// Reads kFileNames from a directory and parses them (DatabankError also for unreadable files).
    static Databank load(const std::filesystem::path& directory);

    /// The component with that id (exact, case-sensitive: "ETOH"), or nullptr.
    const PureComponent* find(std::string_view id) const;
    std::span<const PureComponent> components() const noexcept { return components_; }

    /// The row of the unordered pair {id1, id2}, or nullptr. In nrtl_lle, `set` selects the
    /// parameter set (e.g. "TW-PUB-1") and is required; the other tables ignore it.
    const BinaryParameterRow* find_binary(BinaryTable table,
                                          std::string_view id1,
                                          std::string_view id2,
                                          std::string_view set = {}) const;
    /// As find_binary, oriented so that *_12 means id1 around id2; nullopt when there is no row.
    std::optional<OrientedBinaryParameters> binary(BinaryTable table,
                                                   std::string_view id1,
                                                   std::string_view id2,
                                                   std::string_view set = {}) const;
    std::span<const BinaryParameterRow> binary_rows(BinaryTable table) const noexcept;
    /// The names of the nrtl_lle.tsv sets, in file order.
    std::vector<std::string> nrtl_lle_sets() const;

    const UnifacTable& unifac(UnifacVersion version) const noexcept;

private:
    Databank() = default;
    std::vector<PureComponent> components_;
    std::map<std::string, std::size_t, std::less<>> index_;
    std::array<std::vector<BinaryParameterRow>, 5> binary_;
    UnifacTable unifac_original_;
    UnifacTable unifac_lle_;

    friend struct DatabankParser;
};

}  // namespace host
