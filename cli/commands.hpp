#pragma once
/// The commands of the distil program. Each prints its result to `out` and returns the exit
/// status; bad input throws InputError, a problem that cannot be opened OpenError.
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/session.hpp"

namespace cli {

/// `distil components`: the components (index, id, name, molar mass) and option sets.
int run_components(const ProblemSource& source, bool json, std::ostream& out);

/// What `distil flash` was asked for, as the user wrote it.
struct FlashOptions {
    std::string kind;  ///< bubble, dew, tp or ph
    std::optional<std::string> x, y, z;
    std::optional<std::string> pressure, temperature, enthalpy;
    std::string option_set;
    int phases = 2;
    bool json = false;
};

/// Exit status of a flash that ran but did not succeed (the result is printed all the same).
inline constexpr int kFlashFailedStatus = 3;

/// `distil flash`: one flash through the property package.
int run_flash(const ProblemSource& source, const FlashOptions& options, std::ostream& out);

}  // namespace cli
