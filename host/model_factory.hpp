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

/// Choices beyond the method.
struct ModelOptions {
    /// NRTL only: empty takes nrtl.tsv; otherwise the name of an nrtl_lle.tsv set ("TW-PUB-1",
    /// "EWB-1", ...), whose rows are used alone, since a set was fitted as a whole.
    std::string nrtl_set;
};

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

/// The activity model of the method for these components. Throws std::invalid_argument for a
/// component the method cannot describe (no UNIFAC groups, no UNIQUAC r and q, a UNIFAC
/// main-group pair without parameters), naming it.
std::shared_ptr<const ActivityModel> make_activity_model(const Databank& bank,
                                                         std::span<const PureComponent> components,
                                                         PropertyMethod method,
                                                         const ModelOptions& options = {});

/// Builds the Mixture of the given databank ids with the given method; pairs without
/// parameters are ideal. Throws std::invalid_argument for an unknown id or a component the
/// method cannot describe (e.g. no UNIFAC groups), naming it.
Mixture make_mixture(const Databank& bank, std::span<const std::string> ids, PropertyMethod method);
Mixture make_mixture(const Databank& bank,
                     std::span<const std::string> ids,
                     PropertyMethod method,
                     const ModelOptions& options);

}  // namespace host
