#include "azeotrope/stability_rcm.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "azeotrope/composition_pair.hpp"
#include "azeotrope/detail/bubble_point.hpp"
#include "azeotrope/detail/checks.hpp"
#include "azeotrope/detail/lapack.hpp"
#include "engine/core/fixed_field.hpp"
#include "engine/core/messages.hpp"
#include "engine/core/run_log.hpp"

namespace azeotrope {
namespace {

using engine::core::Message;

constexpr auto code(Message m) noexcept { return static_cast<std::int64_t>(m); }

/// The working storage of one classification (sized once per call).
struct ClassificationWorkspace {
    explicit ClassificationWorkspace(std::size_t n)
        : x_plus(n), x_minus(n), y_plus(n), jacobian((n - 1) * (n - 1)), work(5 * n) {}
    std::vector<double> x_plus, x_minus, y_plus;
    std::vector<double> jacobian;  ///< (n-1) x (n-1), column-major; LAPACK overwrites it
    std::vector<double> work;      ///< 5 n doubles for DGEEV (it needs 4 (n-1) with vectors)
};

/// Logs the failure of a flash and says whether the flash can be used.
bool flash_ok(const properties::FlashResult& r, std::size_t n, Classification& out) {
    if (detail::usable(r, n)) { return true; }
    out.messages.push_back(
        code(r.error_code > 0 ? Message::flash_not_converged : Message::fatal_flash_error));
    out.error = kClassificationFlashFailed;
    return false;
}

}  // namespace

Classification classify_singular_point(const ClassificationRequest& request) {
    Classification out;
    const std::size_t n = request.x.size();
    std::vector<double> x;
    if (n < 1 || n > kMaxClassificationComponents || request.components.size() != n ||
        !detail::valid_pressure(request.pressure) ||
        !detail::valid_phase_count(request.phase_count) ||
        !detail::clean_composition(request.x, x, 1e-3)) {
        out.error = kClassificationBadInput;
        return out;
    }
    if (n == 1) {
        out.stability = Stability::stable_node;
        out.error = kClassificationOk;
        return out;
    }

    const std::size_t m = n - 1;
    const double h = kClassificationStep;
    ClassificationWorkspace ws(n);
    detail::BubblePoint bubble(request.components, request.pressure, request.phase_count,
                               request.option_set, out.flashes);
    out.error = kClassificationOk;
    for (std::size_t k = 0; k < m; ++k) {
        composition_pair(x, k, h, ws.x_plus, ws.x_minus);
        // A failed flash leaves zeros behind: a Jacobian from them would classify the point as
        // an unstable node with nothing to show it is wrong, so the first failure ends the
        // classification.
        if (!flash_ok(bubble(ws.x_plus), n, out)) { return out; }
        std::copy(bubble.last().y.begin(), bubble.last().y.end(), ws.y_plus.begin());
        if (!flash_ok(bubble(ws.x_minus), n, out)) { return out; }
        const std::vector<double>& y_minus = bubble.last().y;
        for (std::size_t i = 0; i < m; ++i) {
            ws.jacobian[i + k * m] = (i == k ? 1.0 : 0.0) - (ws.y_plus[i] - y_minus[i]) / h;
        }
    }
    out.jacobian = ws.jacobian;

    const int order = static_cast<int>(m);
    const int lwork = static_cast<int>(ws.work.size());
    const int ldvr = request.eigenvectors ? order : 1;
    out.eigenvalues_real.assign(m, 0.0);
    out.eigenvalues_imag.assign(m, 0.0);
    std::vector<double> vectors(request.eigenvectors ? m * m : 1, 0.0);
    double unused_left = 0.0;
    const int ldvl = 1;
    int info = 0;
    const char jobvl = 'N';
    const char jobvr = request.eigenvectors ? 'V' : 'N';
    dgeev_(&jobvl, &jobvr, &order, ws.jacobian.data(), &order, out.eigenvalues_real.data(),
           out.eigenvalues_imag.data(), &unused_left, &ldvl, vectors.data(), &ldvr, ws.work.data(),
           &lwork, &info, 1, 1);
    const auto finite = [](const std::vector<double>& v) {
        return std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
    };
    if (info != 0 || !finite(out.eigenvalues_real) || !finite(out.eigenvalues_imag)) {
        out.messages.push_back(code(Message::eigen_error));
        out.error = kClassificationEigenFailed;
        return out;
    }
    if (request.eigenvectors) { out.eigenvectors = std::move(vectors); }
    out.stability = stability_from_eigenvalues(out.eigenvalues_real);
    return out;
}

}  // namespace azeotrope

void Stability_RCM(const std::int64_t* N,
                   const double* x,
                   const std::int64_t* eigenvector_switch,
                   const double* pressure,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   const std::int64_t* phase_count,
                   std::int64_t* stability,
                   double* eigenvalues_real,
                   double* eigenvectors,
                   std::int64_t* error,
                   std::int64_t option_set_length) noexcept {
    using namespace azeotrope;
    if (error == nullptr) { return; }
    try {
        std::size_t n = 0;
        if (!detail::checked_count(N, static_cast<std::int64_t>(kMaxClassificationComponents), n) ||
            n == 0 || stability == nullptr) {
            *error = kClassificationBadInput;
            return;
        }
        if (n == 1) {  // no Jacobian: nothing else is read or written
            *stability = static_cast<std::int64_t>(Stability::stable_node);
            *error = kClassificationOk;
            return;
        }
        const bool want_vectors = eigenvector_switch == nullptr || *eigenvector_switch != 1;
        if (x == nullptr || component_ids == nullptr || pressure == nullptr ||
            phase_count == nullptr || eigenvalues_real == nullptr ||
            (want_vectors && eigenvectors == nullptr)) {
            *error = kClassificationBadInput;
            return;
        }
        ClassificationRequest request;
        request.components = std::span(component_ids, n);
        request.x = std::span(x, n);
        request.pressure = *pressure;
        request.phase_count = *phase_count;
        request.option_set = engine::core::trimmed_field(option_set, option_set_length);
        request.eigenvectors = want_vectors;
        const Classification c = classify_singular_point(request);
        for (const std::int64_t m : c.messages) { engine::core::append_to_run_log(m); }
        std::copy(c.eigenvalues_real.begin(), c.eigenvalues_real.end(), eigenvalues_real);
        if (want_vectors) { std::copy(c.eigenvectors.begin(), c.eigenvectors.end(), eigenvectors); }
        if (c.ok()) { *stability = static_cast<std::int64_t>(c.stability); }
        *error = c.error;
    } catch (...) {  // allocation failure: no classification
        engine::core::append_to_run_log(engine::core::Message::allocation_error);
        *error = kClassificationBadInput;
    }
}
