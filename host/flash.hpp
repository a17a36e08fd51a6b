#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace host {

class Mixture;
namespace detail {
struct FlashWorkspace;
}

/// The kinds of flash, numbered as the host flash contract numbers them.
enum class FlashKind : std::int64_t {
    ph = 1,  ///< pressure and molar enthalpy given
    tp = 2,  ///< temperature and pressure given (isothermal flash)
    pv = 3,  ///< pressure and vapour fraction given: 0 bubble point, 1 dew point
    th = 4,  ///< temperature and molar enthalpy given
    tv = 5,  ///< temperature and vapour fraction given: 0 bubble pressure, 1 dew pressure
};

/// Flash outcome codes: 0 success, positive = did not converge (the caller may retry with other
/// settings), negative = fatal (the input can never give an answer). Each code is written once,
/// here, with its text.
#define HOST_FLASH_CODES(X)                                                              \
    X(ok, 0, "converged")                                                                \
    X(temperature_not_converged, 1, "temperature iteration did not converge")            \
    X(pressure_not_converged, 2, "pressure iteration did not converge")                  \
    X(composition_not_converged, 3, "incipient-phase composition did not converge")      \
    X(phase_split_not_converged, 4, "phase split did not converge")                      \
    X(enthalpy_not_converged, 5, "enthalpy iteration did not converge")                  \
    X(unknown_kind, -1, "flash kind not recognised")                                     \
    X(bad_size, -2, "component count or array size wrong")                               \
    X(not_finite, -3, "a specification or mole fraction is NaN or infinite")             \
    X(bad_composition, -4, "a mole fraction is negative or all are zero")                \
    X(bad_pressure, -5, "pressure is not positive")                                      \
    X(bad_vapour_fraction, -6, "vapour fraction outside [0, 1]")                         \
    X(temperature_out_of_range, -7, "temperature outside the range of the correlations") \
    X(no_solution_in_range, -8, "no solution within the range of the correlations")      \
    X(bad_phase_count, -9, "phase count is neither 2 nor 3")                             \
    X(bad_settings, -10, "tolerance or iteration limit not positive")                    \
    X(model_failure, -11, "the property model gave a value that is not finite")          \
    X(internal_error, -12, "internal error in the flash")

enum class FlashCode : std::int64_t {
#define HOST_FLASH_CODE_ENUM(name, code, text) name = code,
    HOST_FLASH_CODES(HOST_FLASH_CODE_ENUM)
#undef HOST_FLASH_CODE_ENUM
};

/// The text of a flash code ("unknown flash code" for a number outside the table).
std::string_view flash_code_text(std::int64_t code) noexcept;

/// Which phases a converged flash found.
enum class PhaseState : std::int8_t {
    none = 0,           ///< no result (the flash failed)
    liquid = 1,         ///< one liquid; y is the incipient vapour
    vapour = 2,         ///< vapour only; x is the incipient liquid
    vapour_liquid = 3,  ///< vapour and one liquid; also every bubble and dew point
    liquid_liquid = 4,  ///< two liquids (phase count 3); y is the incipient vapour
    /// Vapour and two liquids (phase count 3); also the three-phase bubble and dew points.
    vapour_liquid_liquid = 5,
};

/// Settings of one flash call: the tolerance and iteration limit the host flash receives from its
/// caller, the phase count, and an optional temperature start value.
struct FlashOptions {
    /// Convergence tolerance [-]: on ln(sum K_i x_i) and its relatives (the residual of the
    /// saturation equations), on ln fugacity differences of a two-phase split, on changes of
    /// incipient-phase mole fractions, and relative on enthalpy residuals. 1e-10 gives
    /// temperatures to about 1e-8 K.
    double tolerance = 1e-10;
    /// Iteration limit of every loop of the flash (temperature, pressure, composition, split).
    std::int64_t max_iterations = 100;
    /// 2: one vapour and one liquid (a liquid that would split is answered for as one, possibly
    /// metastable, liquid). 3: one vapour and up to two liquids, found by tangent-plane
    /// stability tests; two liquids closer than 1e-3 (Euclidean) are reported as one.
    std::int64_t phase_count = 2;
    /// Start value for the temperature [K]; used when finite and inside the correlations' range,
    /// otherwise the flash builds its own from the pure-component saturation temperatures.
    double temperature_guess = std::numeric_limits<double>::quiet_NaN();
};

/// Result of one flash, in the host's terms. Vectors have the mixture's component count. The
/// default state is a failure (never success).
struct FlashResult {
    std::int64_t error_code = static_cast<std::int64_t>(FlashCode::internal_error);
    PhaseState phases = PhaseState::none;
    double temperature = 0.0;      ///< [K]
    double pressure = 0.0;         ///< [Pa]
    double vapour_fraction = 0.0;  ///< vapour amount / feed amount [mol/mol]
    /// Fraction of the liquid that is the first liquid [mol/mol]; 1 with one liquid.
    double beta = 1.0;
    std::vector<double> x;  ///< liquid [mol/mol]: the overall liquid, beta x1 + (1 - beta) x2
    std::vector<double> y;  ///< vapour [mol/mol]
    /// First liquid [mol/mol]: of two, the one richer in the first component whose mole
    /// fractions differ by more than 1e-6; = x while one liquid exists.
    std::vector<double> x1;
    std::vector<double> x2;       ///< second liquid [mol/mol]; = x while one liquid exists
    std::int64_t iterations = 0;  ///< property evaluations spent (work count for benchmarks)

    bool converged() const noexcept { return error_code == 0; }
};

/// Flashes over one Mixture: an ideal vapour and one activity-coefficient liquid, or two with
/// phase count 3.
///
/// Conventions shared by every flash:
/// - The composition (feed, liquid of a bubble point, vapour of a dew point) is normalised when its
///   sum differs from 1; entries must be finite and non-negative and not all zero. Components with
///   a zero mole fraction are absent: they get zero mole fractions in every phase.
/// - Temperatures must lie inside [Mixture::temperature_min, temperature_max], and answers are
///   searched only there (code no_solution_in_range otherwise).
/// - A single liquid reports vapour fraction 0 with y the incipient vapour (the composition of the
///   first bubble); a single vapour reports 1 with x the incipient liquid (the first drop).
/// - With one liquid, x1 = x2 = x and beta = 1. With two, the phases add up to the feed:
///   z = V y + (1 - V)(beta x1 + (1 - beta) x2).
/// - On a failure the compositions are zero and the phase state is none, so that nothing from an
///   earlier call can pass for an answer; temperature and pressure are 0, except that a flash that
///   did not converge (positive code) keeps the specified one(s).
///
/// A Flash keeps a reference to its Mixture (which must outlive it) and reusable workspace, so
/// repeated flashes allocate nothing once the result vectors have their size. Not thread-safe: use
/// one Flash per thread.
class Flash {
public:
    explicit Flash(const Mixture& mixture);
    ~Flash();
    Flash(Flash&&) noexcept;
    Flash& operator=(Flash&&) noexcept;
    Flash(const Flash&) = delete;
    Flash& operator=(const Flash&) = delete;

    const Mixture& mixture() const noexcept { return *mixture_; }

    /// The host flash: kind with its two specifications (ph: P [Pa], H [J/kmol]; tp: T [K],
    /// P [Pa]; pv: P [Pa], vapour fraction; th: T [K], H [J/kmol]; tv: T [K], vapour fraction) and
    /// the feed composition z. Never throws; every failure is a code in the result.
    void run(FlashKind kind,
             double spec1,
             double spec2,
             std::span<const double> z,
             const FlashOptions& options,
             FlashResult& result) noexcept;
    FlashResult run(FlashKind kind,
                    double spec1,
                    double spec2,
                    std::span<const double> z,
                    const FlashOptions& options = {}) noexcept;

    /// Bubble temperature [K] of liquid x at pressure P [Pa] (kind pv, vapour fraction 0).
    FlashResult bubble_temperature(double P,
                                   std::span<const double> x,
                                   const FlashOptions& options = {}) noexcept;
    /// Dew temperature [K] of vapour y at pressure P [Pa] (kind pv, vapour fraction 1).
    FlashResult dew_temperature(double P,
                                std::span<const double> y,
                                const FlashOptions& options = {}) noexcept;
    /// Bubble pressure [Pa] of liquid x at T [K] (kind tv, vapour fraction 0).
    FlashResult bubble_pressure(double T,
                                std::span<const double> x,
                                const FlashOptions& options = {}) noexcept;
    /// Dew pressure [Pa] of vapour y at T [K] (kind tv, vapour fraction 1).
    FlashResult dew_pressure(double T,
                             std::span<const double> y,
                             const FlashOptions& options = {}) noexcept;

    /// Molar enthalpy [J/kmol] of a converged result: V H_V(T, y) + (1 - V) H_L(T, x), with two
    /// liquids (1 - V)(beta H_L(T, x1) + (1 - beta) H_L(T, x2)) for the liquid. NaN when the
    /// result is not converged or does not belong to this mixture.
    double enthalpy(const FlashResult& result) const noexcept;

private:
    const Mixture* mixture_;
    std::unique_ptr<detail::FlashWorkspace> work_;
};

/// One-shot convenience over Flash::run.
FlashResult flash(const Mixture& mixture,
                  FlashKind kind,
                  double spec1,
                  double spec2,
                  std::span<const double> z,
                  const FlashOptions& options = {}) noexcept;

}  // namespace host
