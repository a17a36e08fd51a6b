#pragma once
/// The equilibrium service in the by-reference form of the numerical routines: every explicit
/// argument by reference, 64-bit integers, and the byte lengths of the character arguments by
/// value after the last explicit argument.
#include <cstdint>

#include "properties/export.hpp"

extern "C" {

/// One flash through the host flash with the host's current settings. flash_type is one of
/// "TVF", "TLF", "PVF", "PLF", "TP", "TH", "PH" (exact) or "PV" (any case), read up to a zero
/// byte or its length, trailing blanks ignored. option_set names the option set to use; blank,
/// or a name the host does not know, means the current global one. n (at most 100) components
/// with their host indices and mole fractions z. temperature, pressure and vapour_fraction are
/// in/out (vapour_fraction carries the enthalpy [J/kmol] for "TH" and "PH"); y, x, x1, x2 get n
/// values, beta the phase split. error: 0 success, -1 refused (flash text outside the table, a
/// specification or z[0] equal to the missing value 1e38, n outside 0..100, a null argument),
/// otherwise the host's code (positive: not converged; negative: fatal). A refused call writes
/// nothing but the error code.
PROPERTIES_EXPORT void CALC_FLASH(const char* flash_type,
                                  const std::int64_t* phase_count,
                                  const char* option_set,
                                  const std::int64_t* n,
                                  const std::int64_t* components,
                                  const double* z,
                                  double* temperature,
                                  double* pressure,
                                  double* vapour_fraction,
                                  double* y,
                                  double* x,
                                  double* beta,
                                  double* x1,
                                  double* x2,
                                  std::int64_t* error,
                                  std::int64_t flash_type_length,
                                  std::int64_t option_set_length) noexcept;

/// Keeps one message line of the design, balance and feed routines (80-character blank-padded
/// lines) for the current call; properties::message_lines() reads them. Returns 1.
PROPERTIES_EXPORT std::int64_t WriteMessageLine(const char* text, std::int64_t length) noexcept;

}  // extern "C"
