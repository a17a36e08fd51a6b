#include "properties/detail/host_flash.hpp"

namespace properties::detail {

int run_host_flash(tarn_pflash_fn flash,
                   const FlashSpecification& spec,
                   std::int64_t phase_count,
                   const HostFlashSettings& settings,
                   HostFlashWork& work) noexcept {
    const std::int64_t kind = static_cast<std::int64_t>(spec.kind);
    const std::int64_t start_mode = 0;  // the temperature argument is a start value when usable
    const std::int64_t enthalpy_wanted = 1;
    double enthalpy = 0.0;
    std::array<double, kMaxFlashComponents> work1{}, work2{};
    double work3 = 0.0, work4 = 0.0;
    std::int64_t restart = 1;
    int calls = 0;
    do {
        restart = 1;
        flash(&kind, &spec.first, &spec.second, work.z.data(), &work.n, work.components.data(),
              &phase_count, &start_mode, &settings.max_iterations, &settings.tolerance,
              &settings.option_set, &settings.history_level, &settings.terminal_level,
              &enthalpy_wanted, &work.temperature, &work.pressure, &enthalpy, &work.vapour_fraction,
              &work.beta, work.x.data(), work.x1.data(), work.x2.data(), work.y.data(),
              work1.data(), work2.data(), &restart, &work3, &work4, &work.error);
        ++calls;
    } while (work.error != 0 && restart == 2 && calls <= kMaxFlashRepeats);
    return calls;
}

}  // namespace properties::detail
