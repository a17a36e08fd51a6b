#include "host/model_factory.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "host/ideal_solution.hpp"
#include "host/pair_estimation.hpp"
#include "host/unifac.hpp"

namespace host {
namespace {

/// Fills both directions of every pair that `lookup` knows; the rest stay zero.
template <typename Lookup>
void fill_pairs(std::span<const PureComponent> components,
                InteractionMatrix& m,
                MissingPairs* missing,
                Lookup lookup) {
    const std::size_t n = components.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const std::optional<OrientedBinaryParameters> p =
                lookup(components[i].id, components[j].id);
            if (!p) {
                if (missing != nullptr) { missing->emplace_back(i, j); }
                continue;
            }
            m.set_pair(i, j, p->a_12, p->b_12, p->a_21, p->b_21);
        }
    }
}

/// The origins of every pair of a pair-based model: databank rows, then the filled ones.
void list_origins(const Databank& bank,
                  std::span<const PureComponent> components,
                  BinaryTable table,
                  std::string_view set,
                  const std::vector<PairOrigin>& filled,
                  std::vector<PairOrigin>& origins) {
    const std::size_t n = components.size();
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const auto it = std::find_if(filled.begin(), filled.end(), [&](const PairOrigin& o) {
                return o.first == i && o.second == j;
            });
            if (it != filled.end()) {
                origins.push_back(*it);
                continue;
            }
            PairOrigin o;
            o.first = i;
            o.second = j;
            o.kind = PairOrigin::Kind::databank;
            if (const BinaryParameterRow* row =
                    bank.find_binary(table, components[i].id, components[j].id, set)) {
                o.detail = row->origin + ", " + row->source;
            }
            origins.push_back(std::move(o));
        }
    }
}

}  // namespace

std::string_view pair_origin_name(PairOrigin::Kind kind) noexcept {
    switch (kind) {
        case PairOrigin::Kind::databank:
            return "databank";
        case PairOrigin::Kind::estimated:
            return "UNIFAC estimate";
        case PairOrigin::Kind::ideal:
            return "ideal (no parameters)";
    }
    return "?";
}

void fill_missing_pairs(const Databank& bank,
                        std::span<const PureComponent> components,
                        PropertyMethod method,
                        MissingPairPolicy policy,
                        const MissingPairs& missing,
                        InteractionMatrix& parameters,
                        std::vector<double>* alpha,
                        std::vector<PairOrigin>* origins) {
    const std::size_t n = components.size();
    for (const auto& [i, j] : missing) {
        PairOrigin o;
        o.first = i;
        o.second = j;
        if (policy == MissingPairPolicy::ideal) {
            o.detail = "no parameters in the databank; left ideal by choice";
        } else {
            std::string why;
            const std::optional<PairEstimate> e =
                estimate_binary_parameters(bank, components[i], components[j], method, &why);
            if (e) {
                parameters.set_pair(i, j, e->a_12, e->b_12, e->a_21, e->b_21);
                if (alpha != nullptr && alpha->size() == n * n) {
                    (*alpha)[i * n + j] = (*alpha)[j * n + i] = e->alpha;
                }
                o.kind = PairOrigin::Kind::estimated;
                o.detail = e->description;
            } else {
                o.detail = "no parameters in the databank and no UNIFAC estimate (" + why +
                           "); left ideal";
            }
        }
        if (origins != nullptr) { origins->push_back(std::move(o)); }
    }
}

std::string_view method_name(PropertyMethod method) noexcept {
    switch (method) {
        case PropertyMethod::ideal:
            return "IDEAL";
        case PropertyMethod::wilson:
            return "WILSON";
        case PropertyMethod::nrtl:
            return "NRTL";
        case PropertyMethod::uniquac:
            return "UNIQUAC";
        case PropertyMethod::unifac:
            return "UNIFAC";
        case PropertyMethod::unifac_lle:
            return "UNIFAC-LLE";
    }
    return "?";
}

std::optional<PropertyMethod> parse_property_method(std::string_view name) noexcept {
    for (const PropertyMethod m :
         {PropertyMethod::ideal, PropertyMethod::wilson, PropertyMethod::nrtl,
          PropertyMethod::uniquac, PropertyMethod::unifac, PropertyMethod::unifac_lle}) {
        const std::string_view candidate = method_name(m);
        if (candidate.size() == name.size() &&
            std::equal(candidate.begin(), candidate.end(), name.begin(), [](char a, char b) {
                return a == std::toupper(static_cast<unsigned char>(b));
            })) {
            return m;
        }
    }
    return std::nullopt;
}

std::vector<PureComponent> find_components(const Databank& bank, std::span<const std::string> ids) {
    if (ids.empty()) { throw std::invalid_argument("no components given"); }
    std::vector<PureComponent> components;
    components.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const PureComponent* c = bank.find(ids[i]);
        if (c == nullptr) { throw std::invalid_argument("unknown component id '" + ids[i] + "'"); }
        for (std::size_t k = 0; k < i; ++k) {
            if (ids[k] == ids[i]) {
                throw std::invalid_argument("component '" + ids[i] + "' is listed twice");
            }
        }
        components.push_back(*c);
    }
    return components;
}

WilsonParameters wilson_parameters(const Databank& bank,
                                   std::span<const PureComponent> components,
                                   MissingPairs* missing) {
    WilsonParameters p{InteractionMatrix(components.size())};
    fill_pairs(components, p.ln_lambda, missing, [&](std::string_view a, std::string_view b) {
        return bank.binary(BinaryTable::wilson, a, b);
    });
    return p;
}

NrtlParameters nrtl_parameters(const Databank& bank,
                               std::span<const PureComponent> components,
                               std::string_view nrtl_set,
                               MissingPairs* missing) {
    const std::size_t n = components.size();
    NrtlParameters p;
    p.tau = InteractionMatrix(n);
    // An ideal pair has tau = 0 and so G = 1 whatever alpha is; 0.3 is the customary value.
    p.alpha.assign(n * n, 0.3);
    if (!nrtl_set.empty()) {
        const auto sets = bank.nrtl_lle_sets();
        if (std::find(sets.begin(), sets.end(), nrtl_set) == sets.end()) {
            throw std::invalid_argument("unknown NRTL parameter set '" + std::string(nrtl_set) +
                                        "'");
        }
    }
    const BinaryTable table = nrtl_set.empty() ? BinaryTable::nrtl : BinaryTable::nrtl_lle;
    fill_pairs(components, p.tau, missing, [&](std::string_view a, std::string_view b) {
        return bank.binary(table, a, b, nrtl_set);
    });
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (const auto pair =
                    bank.binary(table, components[i].id, components[j].id, nrtl_set)) {
                p.alpha[i * n + j] = p.alpha[j * n + i] = pair->alpha;
            }
        }
    }
    return p;
}

UniquacParameters uniquac_parameters(const Databank& bank,
                                     std::span<const PureComponent> components,
                                     MissingPairs* missing) {
    UniquacParameters p;
    for (const auto& c : components) {
        if (!(c.uniquac_r > 0.0) || !(c.uniquac_q > 0.0)) {
            throw std::invalid_argument("UNIQUAC: component '" + c.id + "' has no r and q");
        }
        p.r.push_back(c.uniquac_r);
        p.q.push_back(c.uniquac_q);
    }
    p.ln_tau = InteractionMatrix(components.size());
    fill_pairs(components, p.ln_tau, missing, [&](std::string_view a, std::string_view b) {
        return bank.binary(BinaryTable::uniquac, a, b);
    });
    return p;
}

std::shared_ptr<const ActivityModel> make_activity_model(const Databank& bank,
                                                         std::span<const PureComponent> components,
                                                         PropertyMethod method,
                                                         const ModelOptions& options,
                                                         std::vector<PairOrigin>* origins) {
    MissingPairs missing;
    std::vector<PairOrigin> filled;
    const auto finish = [&](InteractionMatrix& m, std::vector<double>* alpha, BinaryTable table,
                            std::string_view set) {
        fill_missing_pairs(bank, components, method, options.missing_pairs, missing, m, alpha,
                           &filled);
        if (origins != nullptr) { list_origins(bank, components, table, set, filled, *origins); }
    };
    switch (method) {
        case PropertyMethod::ideal:
            return std::make_shared<IdealSolution>(components.size());
        case PropertyMethod::wilson: {
            WilsonParameters p = wilson_parameters(bank, components, &missing);
            finish(p.ln_lambda, nullptr, BinaryTable::wilson, {});
            return std::make_shared<Wilson>(std::move(p));
        }
        case PropertyMethod::nrtl: {
            NrtlParameters p = nrtl_parameters(bank, components, options.nrtl_set, &missing);
            finish(p.tau, &p.alpha,
                   options.nrtl_set.empty() ? BinaryTable::nrtl : BinaryTable::nrtl_lle,
                   options.nrtl_set);
            return std::make_shared<Nrtl>(std::move(p));
        }
        case PropertyMethod::uniquac: {
            UniquacParameters p = uniquac_parameters(bank, components, &missing);
            finish(p.ln_tau, nullptr, BinaryTable::uniquac, {});
            return std::make_shared<Uniquac>(std::move(p));
        }
        case PropertyMethod::unifac:
        case PropertyMethod::unifac_lle: {
            const bool lle = method == PropertyMethod::unifac_lle;
            std::vector<UnifacGroupCounts> groups;
            std::vector<std::string> names;
            for (const auto& c : components) {
                groups.push_back(lle ? c.unifac_lle_groups : c.unifac_groups);
                names.push_back(c.id);
            }
            return std::make_shared<Unifac>(
                bank.unifac(lle ? UnifacVersion::lle : UnifacVersion::original), groups, names);
        }
    }
    throw std::invalid_argument("unknown property method");
}

Mixture make_mixture(const Databank& bank,
                     std::span<const std::string> ids,
                     PropertyMethod method) {
    return make_mixture(bank, ids, method, ModelOptions{});
}

Mixture make_mixture(const Databank& bank,
                     std::span<const std::string> ids,
                     PropertyMethod method,
                     const ModelOptions& options,
                     std::vector<PairOrigin>* origins) {
    std::vector<PureComponent> components = find_components(bank, ids);
    auto model = make_activity_model(bank, components, method, options, origins);
    return Mixture(std::move(components), std::move(model));
}

}  // namespace host
