#pragma once
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/activity_model.hpp"
#include "host/databank.hpp"
#include "host/model_factory.hpp"
#include "host/nrtl.hpp"
#include "host/uniquac.hpp"
#include "host/wilson.hpp"

namespace host {

struct ProblemDefinition;

/// Where the binary parameters of one pair of an option set come from.
struct PairSource {
    enum class Kind {
        databank,   ///< a databank row (detail: "nrtl.tsv:12, <literature source>")
        file,       ///< a [[option_set.pair]] of the problem file (detail: "problem.toml:41")
        estimated,  ///< neither: estimated from UNIFAC (detail: what was matched)
        missing,    ///< neither: the pair is ideal (zero interaction parameters; detail: why)
    };
    Kind kind = Kind::missing;
    std::string detail;
};

/// The liquid model of one option set over every component of a problem, resolved once:
/// databank parameters first, then the file's pairs, then the missing-pair rule. The model of
/// any ordered selection of the components is cut from it, so that a flash over a subset sees
/// exactly the parameters the report lists. Keeps a reference to the databank (its UNIFAC
/// tables), which must outlive it; the shipped databank always does.
class OptionSetModel {
public:
    /// Throws std::invalid_argument when the method cannot describe a component (no UNIFAC
    /// groups, no UNIQUAC r and q, a UNIFAC main-group pair without parameters).
    OptionSetModel(const ProblemDefinition& problem, std::size_t option_set, const Databank& bank);

    PropertyMethod method() const noexcept { return method_; }
    std::size_t component_count() const noexcept { return n_; }
    /// True for WILSON, NRTL and UNIQUAC, whose parameters come in binary pairs.
    bool has_pairs() const noexcept;
    /// Source of the pair (i, j), 0-based, i != j (either order).
    const PairSource& pair_source(std::size_t i, std::size_t j) const;
    /// Pairs without parameters (left ideal).
    std::size_t missing_pair_count() const noexcept { return missing_; }

    /// The activity model of the components at these 0-based positions, in this order
    /// (positions must be distinct and below component_count()).
    std::shared_ptr<const ActivityModel> model(std::span<const std::size_t> positions) const;

private:
    PropertyMethod method_;
    std::size_t n_ = 0;
    NrtlParameters nrtl_;
    WilsonParameters wilson_;
    UniquacParameters uniquac_;
    const UnifacTable* unifac_ = nullptr;
    std::vector<UnifacGroupCounts> groups_;
    std::vector<std::string> ids_;
    std::vector<PairSource> sources_;  ///< n*n, both orders filled
    std::size_t missing_ = 0;
};

}  // namespace host
