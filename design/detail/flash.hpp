#pragma once
/// The few flash and enthalpy calls the design routines make, over the equilibrium service.
#include <cstdint>
#include <span>

#include "design/property_context.hpp"
#include "properties/equilibrium.hpp"

namespace design::detail {

/// "PV" flash: the bubble point of liquid z for vapour_fraction 0, the dew point of vapour z
/// for 1, a partial vaporisation in between.
properties::FlashResult pv_flash(const PropertyContext& ctx,
                                 std::span<const double> z,
                                 double vapour_fraction);
/// "PH" flash of z at molar enthalpy H [J/kmol].
properties::FlashResult ph_flash(const PropertyContext& ctx, std::span<const double> z, double H);

/// Liquid and vapour molar enthalpies [J/kmol] of z at T [K] and the column pressure.
properties::EnthalpyResult liquid_enthalpy(const PropertyContext& ctx,
                                           double T,
                                           std::span<const double> z);
properties::EnthalpyResult vapour_enthalpy(const PropertyContext& ctx,
                                           double T,
                                           std::span<const double> z);

/// True for a flash that converged and returned n finite compositions and a finite temperature:
/// only such a result may feed the next step (a flash that did not converge returns zeros).
bool usable(const properties::FlashResult& r, std::size_t n) noexcept;

/// Worst-first bookkeeping of failed property calls: keeps the first fatal (negative) code, or
/// else the first "not converged" (positive) code.
inline void note_failure(std::int64_t& flag, std::int64_t code) noexcept {
    if (code == 0) { return; }
    if (flag == 0 || (flag > 0 && code < 0)) { flag = code; }
}

}  // namespace design::detail
