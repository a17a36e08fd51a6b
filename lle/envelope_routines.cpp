#include "lle/envelope_routines.hpp"

#include <algorithm>
#include <span>
#include <string>

#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"
#include "lle/envelope.hpp"

namespace {

using engine::core::Message;

constexpr std::size_t kDims = 3;
constexpr std::size_t kEnvelopeSlots = lle::kCurveCapacity * lle::kPointsPerCurve;
/// Unfilled slots read as -1.0, as in a store that was never written.
constexpr double kEmptySlot = -1.0;

/// The caller's stores; vapour points and the plait temperature only for the VLLE variant.
struct Stores {
    std::int64_t* curve_count = nullptr;
    std::int64_t* point_counts = nullptr;
    double* envelope_points = nullptr;
    std::int64_t* tie_line_count = nullptr;
    double* tie_lines = nullptr;
    double* vapour_points = nullptr;
    double* plait_temperature = nullptr;

    bool present(bool vapour) const {
        return curve_count && point_counts && envelope_points && tie_line_count && tie_lines &&
               (!vapour || (vapour_points && plait_temperature));
    }
};

std::size_t capacity_of(std::int64_t requested) {
    return static_cast<std::size_t>(
        std::clamp<std::int64_t>(requested, 0, static_cast<std::int64_t>(lle::kTieLineCapacity)));
}

/// Empty counts, so that no reader takes stale stores for a result.
void clear_counts(const Stores& s) {
    if (s.curve_count) { *s.curve_count = 0; }
    if (s.point_counts) { std::fill_n(s.point_counts, lle::kCurveCapacity, std::int64_t{0}); }
    if (s.tie_line_count) { *s.tie_line_count = 0; }
}

void fail(const Stores& s, std::int64_t* message_code, std::int64_t* error_code, Message m) {
    clear_counts(s);
    if (error_code) { *error_code = lle::kBadInput; }
    if (m != Message::none) {
        if (message_code) { *message_code = static_cast<std::int64_t>(m); }
        engine::core::append_to_run_log(m);
    }
}

void copy_point(const lle::Point& p, std::span<double> to) {
    std::copy(p.begin(), p.end(), to.begin());
}

/// Writes the result into the stores. The whole envelope store and the tie-line stores within
/// the capacity are reset first, so a shorter trace never leaves an earlier one's points behind.
void write_stores(const lle::EnvelopeResult& r, const Stores& s, std::size_t capacity) {
    const std::span<double> envelopes(s.envelope_points, kDims * kEnvelopeSlots);
    const std::span<double> tie_lines(s.tie_lines, 2 * kDims * capacity);
    std::fill(envelopes.begin(), envelopes.end(), kEmptySlot);
    std::fill(tie_lines.begin(), tie_lines.end(), kEmptySlot);
    std::fill_n(s.point_counts, lle::kCurveCapacity, std::int64_t{0});

    const std::size_t curves = std::min(r.envelopes.size(), lle::kCurveCapacity);
    for (std::size_t c = 0; c < curves; ++c) {
        const auto& points = r.envelopes[c].points;
        const std::size_t count = std::min(points.size(), lle::kPointsPerCurve);
        for (std::size_t p = 0; p < count; ++p) {
            copy_point(points[p], envelopes.subspan(kDims * (c * lle::kPointsPerCurve + p), kDims));
        }
        s.point_counts[c] = static_cast<std::int64_t>(count);
    }
    *s.curve_count = static_cast<std::int64_t>(curves);

    const std::size_t stored = std::min(r.tie_lines.size(), capacity);
    for (std::size_t k = 0; k < stored; ++k) {
        copy_point(r.tie_lines[k].x1, tie_lines.subspan(kDims * 2 * k, kDims));
        copy_point(r.tie_lines[k].x2, tie_lines.subspan(kDims * (2 * k + 1), kDims));
    }
    *s.tie_line_count = static_cast<std::int64_t>(stored);

    if (s.vapour_points) {
        const std::span<double> vapour(s.vapour_points, kDims * capacity);
        std::fill(vapour.begin(), vapour.end(), kEmptySlot);
        for (std::size_t k = 0; k < stored; ++k) {
            copy_point(r.tie_lines[k].y, vapour.subspan(kDims * k, kDims));
        }
    }
    if (s.plait_temperature && r.plait_temperature) { *s.plait_temperature = *r.plait_temperature; }
}

/// The codes are set only where the trace set them: the caller clears them before the call.
void write_codes(const lle::EnvelopeResult& r,
                 std::int64_t* message_code,
                 std::int64_t* error_code) {
    if (r.error_code != lle::kEnvelopeOk) { *error_code = r.error_code; }
    if (r.message_code != 0) { *message_code = r.message_code; }
}

void run(lle::Variant variant,
         const std::int64_t* n,
         const double* pressure,
         const double* temperature,
         const double* step,
         const std::int64_t* component_ids,
         const char* option_set,
         std::int64_t option_set_length,
         const Stores& s,
         std::int64_t* message_code,
         std::int64_t* error_code) noexcept {
    const bool vapour = variant == lle::Variant::vapour_liquid_liquid;
    try {
        if (!n || !pressure || !step || (!vapour && !temperature) || !message_code || !error_code ||
            !s.present(vapour)) {
            fail(s, message_code, error_code, Message::none);
            return;
        }
        if (*n != 3 || !component_ids) {
            fail(s, message_code, error_code, Message::none);
            return;
        }
        lle::EnvelopeProblem problem;
        problem.variant = variant;
        problem.components.assign(component_ids, component_ids + 3);
        problem.pressure = *pressure;
        problem.temperature = vapour ? 0.0 : *temperature;
        problem.step = *step;
        problem.option_set =
            std::string(engine::core::trimmed_field(option_set, option_set_length));
        const std::size_t capacity = capacity_of(*s.tie_line_count);
        problem.tie_line_capacity = static_cast<std::int64_t>(capacity);

        const lle::EnvelopeResult result = lle::trace_envelopes(problem);
        if (result.error_code == lle::kBadInput) {
            fail(s, message_code, error_code, Message::none);
            return;
        }
        write_stores(result, s, capacity);
        write_codes(result, message_code, error_code);
    } catch (...) {
        // Only allocation failure gets here; the stores may be half written, so the counts say
        // that nothing is there.
        fail(s, message_code, error_code, Message::allocation_error);
    }
}

}  // namespace

extern "C" {

void LLE_Envelope(const std::int64_t* n,
                  const double* pressure,
                  const double* temperature,
                  const double* step,
                  const std::int64_t* component_ids,
                  const char* option_set,
                  std::int64_t* curve_count,
                  std::int64_t* point_counts,
                  double* envelope_points,
                  std::int64_t* tie_line_count,
                  double* tie_lines,
                  std::int64_t* message_code,
                  std::int64_t* error_code,
                  std::int64_t option_set_length) noexcept {
    const Stores s{curve_count, point_counts, envelope_points, tie_line_count, tie_lines};
    run(lle::Variant::liquid_liquid, n, pressure, temperature, step, component_ids, option_set,
        option_set_length, s, message_code, error_code);
}

void VLLE_Envelope(const std::int64_t* n,
                   const double* pressure,
                   const double* step,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   std::int64_t* curve_count,
                   std::int64_t* point_counts,
                   double* envelope_points,
                   std::int64_t* tie_line_count,
                   double* tie_lines,
                   double* vapour_points,
                   double* plait_temperature,
                   std::int64_t* message_code,
                   std::int64_t* error_code,
                   std::int64_t option_set_length) noexcept {
    const Stores s{curve_count, point_counts,  envelope_points,  tie_line_count,
                   tie_lines,   vapour_points, plait_temperature};
    run(lle::Variant::vapour_liquid_liquid, n, pressure, nullptr, step, component_ids, option_set,
        option_set_length, s, message_code, error_code);
}
}
