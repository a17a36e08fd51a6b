#include "rcm/residue_field.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "azeotrope/composition_pair.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/run_log.hpp"
#include "rcm/detail/equilibrium.hpp"

namespace rcm {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

ResidueField::ResidueField(CurveSystem system)
    : system_(detail::valid_system(system)
                  ? std::move(system)
                  : throw std::invalid_argument("ResidueField: 2 to 10 components, a positive "
                                                "pressure and a phase count of 2 or 3 needed")),
      flash_(std::make_unique<detail::PointFlash>(system_, flashes_)),
      x_(system_.components.size()),
      x_plus_(system_.components.size()),
      x_minus_(system_.components.size()),
      y_plus_(system_.components.size()),
      y_minus_(system_.components.size()) {}

ResidueField::~ResidueField() = default;

int ResidueField::vapour(std::span<const double> x, std::span<double> vapour_out) {
    const detail::FlashOutcome outcome = flash_->bubble(x);
    if (outcome != detail::FlashOutcome::ok) {
        messages_.push_back(detail::outcome_message(outcome));
    }
    switch (outcome) {
        case detail::FlashOutcome::ok:
            last_temperature_ = flash_->result().temperature;
            [[fallthrough]];
        case detail::FlashOutcome::not_converged:
            std::copy(flash_->result().y.begin(), flash_->result().y.end(), vapour_out.begin());
            return 0;
        case detail::FlashOutcome::unusable:
            // A flash that failed leaves zeros behind; as a vapour they would steer the curve
            // as if nothing evaporated. Reporting the point as not evaluable makes the
            // integrator step around it instead.
            return 1;
        case detail::FlashOutcome::fatal:
            break;
    }
    return -1;
}

int ResidueField::rhs(std::span<const double> y, std::span<double> ydot) {
    ++rhs_calls_;
    const std::size_t m = equation_count();
    detail::complete_and_clip(y.first(m), x_);
    const int code = vapour(x_, y_plus_);
    for (std::size_t i = 0; i < m; ++i) { ydot[i] = code == 0 ? x_[i] - y_plus_[i] : kNaN; }
    return code;
}

int ResidueField::jacobian(std::span<const double> y, std::span<double> pd, std::int64_t nrowpd) {
    ++jacobian_calls_;
    const std::size_t m = equation_count();
    const auto rows = static_cast<std::size_t>(nrowpd);
    detail::complete_and_clip(y.first(m), x_);
    for (std::size_t j = 0; j < m; ++j) {
        azeotrope::composition_pair(x_, j, kJacobianStep, x_plus_, x_minus_);
        int code = vapour(x_plus_, y_plus_);
        if (code == 0) { code = vapour(x_minus_, y_minus_); }
        if (code != 0) {
            for (std::size_t i = 0; i < m; ++i) { pd[i + j * rows] = kNaN; }
            return code;
        }
        // F = x - y; the pair differs by h (e_j - e_n), so (F+ - F-) / h has 1 on the diagonal.
        for (std::size_t i = 0; i < m; ++i) {
            pd[i + j * rows] = (i == j ? 1.0 : 0.0) - (y_plus_[i] - y_minus_[i]) / kJacobianStep;
        }
    }
    return 0;
}

std::vector<std::int64_t> ResidueField::take_messages() {
    std::vector<std::int64_t> out;
    out.swap(messages_);
    return out;
}

namespace {

/// The by-reference routines' working storage on this thread.
struct ResidueCurveModule {
    ResidueCurveSettings settings;
    std::unique_ptr<ResidueField> field;  ///< built from settings
};

ResidueCurveModule& module() {
    thread_local ResidueCurveModule m;
    return m;
}

/// Writes the field's new messages to the run log.
void log_messages(ResidueField& field) {
    for (const std::int64_t code : field.take_messages()) { engine::core::append_to_run_log(code); }
}

}  // namespace

const ResidueCurveSettings& residue_curve_settings() noexcept { return module().settings; }

bool set_residue_curve_settings(const CurveSystem& system) {
    if (!detail::valid_system(system)) { return false; }
    ResidueCurveSettings s;
    s.component_count = static_cast<std::int64_t>(system.components.size());
    std::copy(system.components.begin(), system.components.end(), s.components.begin());
    engine::core::store_field(system.option_set, s.option_set.data(), kOptionSetFieldLength);
    s.pressure = system.pressure;
    s.phase_count = system.phase_count;

    // The field sees what the settings hold: the option-set name as cut to its field.
    CurveSystem stored = system;
    stored.option_set =
        std::string(engine::core::trimmed_field(s.option_set.data(), kOptionSetFieldLength));
    auto field = std::make_unique<ResidueField>(std::move(stored));
    ResidueCurveModule& m = module();
    m.settings = s;
    m.field = std::move(field);
    return true;
}

}  // namespace rcm

namespace {

/// Sizes the routines can trust: at most kMaxCurveComponents - 1 equations.
bool plausible(const std::int64_t* neq) noexcept {
    return neq != nullptr && *neq >= 1 &&
           *neq < static_cast<std::int64_t>(rcm::kMaxCurveComponents);
}

}  // namespace

extern "C" void RCM_FUN(const std::int64_t* neq,
                        const double* /*t*/,
                        const double* y,
                        double* ydot) noexcept {
    if (!plausible(neq) || ydot == nullptr) { return; }
    const auto n = static_cast<std::size_t>(*neq);
    rcm::ResidueField* field = rcm::module().field.get();
    try {
        if (y != nullptr && field != nullptr && field->equation_count() == n) {
            field->rhs(std::span(y, n), std::span(ydot, n));
            rcm::log_messages(*field);
            return;
        }
    } catch (...) {
        // Only allocation can fail here; the point is then not evaluable.
    }
    std::fill(ydot, ydot + n, std::numeric_limits<double>::quiet_NaN());
}

extern "C" void RCM_JAC(const std::int64_t* neq,
                        const double* /*t*/,
                        const double* y,
                        const std::int64_t* /*ml*/,
                        const std::int64_t* /*mu*/,
                        double* pd,
                        const std::int64_t* nrowpd) noexcept {
    if (!plausible(neq) || pd == nullptr || nrowpd == nullptr || *nrowpd < *neq) { return; }
    const auto n = static_cast<std::size_t>(*neq);
    const auto rows = static_cast<std::size_t>(*nrowpd);
    rcm::ResidueField* field = rcm::module().field.get();
    try {
        if (y != nullptr && field != nullptr && field->equation_count() == n) {
            field->jacobian(std::span(y, n), std::span(pd, rows * n), *nrowpd);
            rcm::log_messages(*field);
            return;
        }
    } catch (...) {
        // As in RCM_FUN.
    }
    for (std::size_t j = 0; j < n; ++j) {
        std::fill(pd + j * rows, pd + j * rows + n, std::numeric_limits<double>::quiet_NaN());
    }
}
