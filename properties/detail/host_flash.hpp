#pragma once
// One call of the host's 29-argument flash, with the host's repeat-on-restart protocol. Both the
// property package (through the entry point it resolved at run time) and the equilibrium service
// (through the flash library it links) flash through here.
#include <array>
#include <cstdint>

#include "host/entry_points.h"
#include "properties/detail/flash_kind.hpp"

namespace properties::detail {

/// The settings of arguments 9 to 14 of the host flash.
struct HostFlashSettings {
    std::int64_t max_iterations = 100;
    double tolerance = 1e-10;
    std::int64_t option_set = 0;
    std::int64_t history_level = 4;
    std::int64_t terminal_level = 4;
};

/// Inputs and results of one flash, in fixed working arrays.
struct HostFlashWork {
    std::int64_t n = 0;
    std::array<std::int64_t, kMaxFlashComponents> components{};
    std::array<double, kMaxFlashComponents> z{};
    double temperature = 0.0;      ///< in: start value (or 0); out: result [K]
    double pressure = 0.0;         ///< in/out [Pa]
    double vapour_fraction = 0.0;  ///< out [mol/mol]
    double beta = 0.0;
    std::array<double, kMaxFlashComponents> x{}, x1{}, x2{}, y{};
    std::int64_t error = -1;
};

/// The host asks at most once for a repeat; a host that kept asking must not hang the caller.
inline constexpr int kMaxFlashRepeats = 8;

/// Calls `flash` with restart flag 1 and repeats while the host reports an error and asks for a
/// restart (restart flag 2). Returns the number of calls made.
int run_host_flash(tarn_pflash_fn flash,
                   const FlashSpecification& spec,
                   std::int64_t phase_count,
                   const HostFlashSettings& settings,
                   HostFlashWork& work) noexcept;

}  // namespace properties::detail
