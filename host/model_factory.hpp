#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/activity_model.hpp"
#include "host/databank.hpp"
#include "host/mixture.hpp"
#include "host/nrtl.hpp"
#include "host/uniquac.hpp"
#include "host/wilson.hpp"

namespace host {

/// The liquid activity model of a property method (the vapour is always an ideal gas).
enum class PropertyMethod { ideal, wilson, nrtl, uniquac, unifac, unifac_lle };

/// "IDEAL", "WILSON", "NRTL", "UNIQUAC", "UNIFAC", "UNIFAC-LLE".
std::string_view method_name(PropertyMethod method) noexcept;
/// The method of a name as method_name writes it, ignoring case; nullopt for anything else.
std::optional<PropertyMethod> parse_property_method(std::string_view name) noexcept;

/// What happens to a binary pair for which the databank has no parameters.
enum class MissingPairPolicy {
    /// Estimated from UNIFAC (host/pair_estimation.hpp): infinite-dilution activity
    /// coefficients for a miscible pair, UNIFAC-LLE's mutual solubilities for a partly miscible
    /// one. A pair UNIFAC cannot describe stays ideal. The default.
    unifac,
    ideal,  ///< left ideal (zero interaction parameters)
};

/// Choices beyond the method.
struct ModelOptions {
    /// NRTL only: empty takes nrtl.tsv; otherwise the name of an nrtl_lle.tsv set ("TW-PUB-1",
    /// "EWB-1", ...), whose rows are used alone, since a set was fitted as a whole.
    std::string nrtl_set;
    /// WILSON, NRTL, UNIQUAC: what fills the pairs the databank (or the set) lacks.
    MissingPairPolicy missing_pairs = MissingPairPolicy::unifac;
};

/// Where the parameters of one binary pair of a model come from, so that every number can be
/// traced: printed by the component listings and reports.
struct PairOrigin {
    enum class Kind {
        databank,   ///< a databank row: detail "nrtl.tsv:12, <literature source>"
        estimated,  ///< estimated from UNIFAC: detail says what was matched (PairEstimate)
        ideal,      ///< no parameters: the pair is ideal; detail says why
    };
    std::size_t first = 0, second = 0;  ///< 0-based component positions, first < second
    Kind kind = Kind::ideal;
    std::string detail;
};

/// "databank", "UNIFAC estimate", "ideal (no parameters)".
std::string_view pair_origin_name(PairOrigin::Kind kind) noexcept;

/// The pairs (i < j, indices into the component list) that had no binary parameters and were
/// left ideal (zero interaction parameters).
using MissingPairs = std::vector<std::pair<std::size_t, std::size_t>>;

/// The databank components with these ids, in order. Throws std::invalid_argument for an
/// empty list, an unknown id or an id given twice, naming it.
std::vector<PureComponent> find_components(const Databank& bank, std::span<const std::string> ids);

/// Binary parameter matrices of the components from the databank, in component order. Pairs
/// without parameters get zeros (ideal pair) and are listed in *missing when it is given.
WilsonParameters wilson_parameters(const Databank& bank,
                                   std::span<const PureComponent> components,
                                   MissingPairs* missing = nullptr);
NrtlParameters nrtl_parameters(const Databank& bank,
                               std::span<const PureComponent> components,
                               std::string_view nrtl_set = {},
                               MissingPairs* missing = nullptr);
/// Also takes r and q from the components (std::invalid_argument if one has none).
UniquacParameters uniquac_parameters(const Databank& bank,
                                     std::span<const PureComponent> components,
                                     MissingPairs* missing = nullptr);

/// Fills the pairs of a parameter matrix that `missing` lists by the policy: estimated pairs
/// get their parameters (and, for NRTL, alpha into `alpha`, n*n, when given); the origin of
/// every listed pair is appended to *origins when given.
void fill_missing_pairs(const Databank& bank,
                        std::span<const PureComponent> components,
                        PropertyMethod method,
                        MissingPairPolicy policy,
                        const MissingPairs& missing,
                        InteractionMatrix& parameters,
                        std::vector<double>* alpha,
                        std::vector<PairOrigin>* origins);

/// The activity model of the method for these components. Pairs the databank lacks are filled
/// by options.missing_pairs. Throws std::invalid_argument for a component the method cannot
/// describe (no UNIFAC groups, no UNIQUAC r and q, a UNIFAC main-group pair without
/// parameters), naming it. With `origins`, the origin of every pair (i < j, in order) of a
/// WILSON, NRTL or UNIQUAC model is listed there (nothing for the other methods).
std::shared_ptr<const ActivityModel> make_activity_model(
    const Databank& bank,
    std::span<const PureComponent> components,
    PropertyMethod method,
    const ModelOptions& options = {},
    std::vector<PairOrigin>* origins = nullptr);

/// Builds the Mixture of the given databank ids with the given method; pairs without
/// parameters are estimated from UNIFAC unless options say otherwise (their origins in
/// *origins when given). Throws std::invalid_argument for an unknown id or a component the
/// method cannot describe (e.g. no UNIFAC groups), naming it.
Mixture make_mixture(const Databank& bank, std::span<const std::string> ids, PropertyMethod method);
Mixture make_mixture(const Databank& bank,
                     std::span<const std::string> ids,
                     PropertyMethod method,
                     const ModelOptions& options,
                     std::vector<PairOrigin>* origins = nullptr);

}  // namespace host
