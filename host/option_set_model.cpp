#include "host/option_set_model.hpp"

#include <stdexcept>

#include "host/ideal_solution.hpp"
#include "host/problem_definition.hpp"
#include "host/unifac.hpp"

namespace host {

namespace {

/// The square block of `full` (n x n, row-major) at the given rows and columns.
std::vector<double> block(const std::vector<double>& full,
                          std::size_t n,
                          std::span<const std::size_t> at) {
    if (full.empty()) { return {}; }
    const std::size_t m = at.size();
    std::vector<double> out(m * m);
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t j = 0; j < m; ++j) { out[i * m + j] = full[at[i] * n + at[j]]; }
    }
    return out;
}

InteractionMatrix block(const InteractionMatrix& full, std::span<const std::size_t> at) {
    InteractionMatrix out;
    out.n = at.size();
    out.a = block(full.a, full.n, at);
    out.b = block(full.b, full.n, at);
    out.e = block(full.e, full.n, at);
    out.f = block(full.f, full.n, at);
    return out;
}

std::vector<double> pick(const std::vector<double>& full, std::span<const std::size_t> at) {
    if (full.empty()) { return {}; }
    std::vector<double> out;
    out.reserve(at.size());
    for (std::size_t p : at) { out.push_back(full[p]); }
    return out;
}

BinaryTable table_of(PropertyMethod m, const std::string& parameter_set) {
    switch (m) {
        case PropertyMethod::wilson:
            return BinaryTable::wilson;
        case PropertyMethod::uniquac:
            return BinaryTable::uniquac;
        default:
            return parameter_set.empty() ? BinaryTable::nrtl : BinaryTable::nrtl_lle;
    }
}

}  // namespace

OptionSetModel::OptionSetModel(const ProblemDefinition& problem,
                               std::size_t option_set,
                               const Databank& bank)
    : method_(problem.option_sets.at(option_set).method), n_(problem.components.size()) {
    const OptionSet& set = problem.option_sets[option_set];
    const std::span<const PureComponent> comps(problem.components);
    for (const auto& c : comps) { ids_.push_back(c.id); }
    sources_.resize(n_ * n_);

    // Databank rows are looked up by id; components defined in the file have ids of their own,
    // so their pairs start out missing.
    MissingPairs missing;
    switch (method_) {
        case PropertyMethod::ideal:
            break;
        case PropertyMethod::wilson:
            wilson_ = wilson_parameters(bank, comps, &missing);
            break;
        case PropertyMethod::nrtl:
            nrtl_ = nrtl_parameters(bank, comps, set.parameter_set, &missing);
            break;
        case PropertyMethod::uniquac:
            uniquac_ = uniquac_parameters(bank, comps, &missing);
            break;
        case PropertyMethod::unifac:
        case PropertyMethod::unifac_lle: {
            const bool lle = method_ == PropertyMethod::unifac_lle;
            unifac_ = &bank.unifac(lle ? UnifacVersion::lle : UnifacVersion::original);
            for (const auto& c : comps) {
                groups_.push_back(lle ? c.unifac_lle_groups : c.unifac_groups);
            }
            break;
        }
    }

    if (has_pairs()) {
        const BinaryTable table = table_of(method_, set.parameter_set);
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = i + 1; j < n_; ++j) {
                PairSource s;
                if (const BinaryParameterRow* row =
                        bank.find_binary(table, ids_[i], ids_[j], set.parameter_set)) {
                    s.kind = PairSource::Kind::databank;
                    s.detail = row->origin + ", " + row->source;
                }
                sources_[i * n_ + j] = sources_[j * n_ + i] = s;
            }
        }
        InteractionMatrix& m = method_ == PropertyMethod::nrtl     ? nrtl_.tau
                               : method_ == PropertyMethod::wilson ? wilson_.ln_lambda
                                                                   : uniquac_.ln_tau;
        for (const BinaryOverride& o : set.overrides) {
            m.set_pair(o.first, o.second, o.a_12, o.b_12, o.a_21, o.b_21);
            if (method_ == PropertyMethod::nrtl) {
                nrtl_.alpha[o.first * n_ + o.second] = nrtl_.alpha[o.second * n_ + o.first] =
                    o.alpha;
                // A set's alpha slope belongs to its own tau; the file's pair has none.
                if (!nrtl_.alpha_slope.empty()) {
                    nrtl_.alpha_slope[o.first * n_ + o.second] =
                        nrtl_.alpha_slope[o.second * n_ + o.first] = 0.0;
                }
            }
            PairSource s{PairSource::Kind::file, o.origin};
            sources_[o.first * n_ + o.second] = sources_[o.second * n_ + o.first] = s;
        }
        // Pairs with neither databank nor file parameters: estimated from UNIFAC unless the
        // option set says ideal.
        MissingPairs left;
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = i + 1; j < n_; ++j) {
                if (sources_[i * n_ + j].kind == PairSource::Kind::missing) {
                    left.emplace_back(i, j);
                }
            }
        }
        if (set.missing_pairs == MissingPairRule::unifac && !left.empty()) {
            std::vector<PairOrigin> filled;
            fill_missing_pairs(bank, comps, method_, MissingPairPolicy::unifac, left, m,
                               method_ == PropertyMethod::nrtl ? &nrtl_.alpha : nullptr, &filled);
            for (const PairOrigin& o : filled) {
                const PairSource s{o.kind == PairOrigin::Kind::estimated
                                       ? PairSource::Kind::estimated
                                       : PairSource::Kind::missing,
                                   o.detail};
                sources_[o.first * n_ + o.second] = sources_[o.second * n_ + o.first] = s;
            }
        }
        for (std::size_t i = 0; i < n_; ++i) {
            for (std::size_t j = i + 1; j < n_; ++j) {
                if (sources_[i * n_ + j].kind == PairSource::Kind::missing) { ++missing_; }
            }
        }
    }

    // Build the full model once: its constructor checks what the method needs of every
    // component, so that no flash over a subset can fail for that reason later.
    std::vector<std::size_t> all(n_);
    for (std::size_t i = 0; i < n_; ++i) { all[i] = i; }
    (void)model(all);
}

bool OptionSetModel::has_pairs() const noexcept {
    return method_ == PropertyMethod::wilson || method_ == PropertyMethod::nrtl ||
           method_ == PropertyMethod::uniquac;
}

const PairSource& OptionSetModel::pair_source(std::size_t i, std::size_t j) const {
    if (i >= n_ || j >= n_ || i == j) { throw std::out_of_range("pair_source: bad pair"); }
    return sources_[i * n_ + j];
}

std::shared_ptr<const ActivityModel> OptionSetModel::model(
    std::span<const std::size_t> positions) const {
    for (std::size_t p : positions) {
        if (p >= n_) { throw std::out_of_range("OptionSetModel: component position out of range"); }
    }
    switch (method_) {
        case PropertyMethod::ideal:
            return std::make_shared<IdealSolution>(positions.size());
        case PropertyMethod::wilson:
            return std::make_shared<Wilson>(WilsonParameters{block(wilson_.ln_lambda, positions)});
        case PropertyMethod::nrtl: {
            NrtlParameters p;
            p.tau = block(nrtl_.tau, positions);
            p.alpha = block(nrtl_.alpha, n_, positions);
            p.alpha_slope = block(nrtl_.alpha_slope, n_, positions);
            return std::make_shared<Nrtl>(std::move(p));
        }
        case PropertyMethod::uniquac: {
            UniquacParameters p;
            p.r = pick(uniquac_.r, positions);
            p.q = pick(uniquac_.q, positions);
            p.q_residual = pick(uniquac_.q_residual, positions);
            p.ln_tau = block(uniquac_.ln_tau, positions);
            return std::make_shared<Uniquac>(std::move(p));
        }
        case PropertyMethod::unifac:
        case PropertyMethod::unifac_lle: {
            std::vector<UnifacGroupCounts> groups;
            std::vector<std::string> names;
            for (std::size_t p : positions) {
                groups.push_back(groups_[p]);
                names.push_back(ids_[p]);
            }
            return std::make_shared<Unifac>(*unifac_, groups, names);
        }
    }
    throw std::invalid_argument("unknown property method");
}

}  // namespace host
