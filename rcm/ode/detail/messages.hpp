#pragma once
// Writer of the integrator's diagnostics: the message lines, then the integer and real values
// they refer to (I1, I2, R1, R2), in the layout of the classic error-message writer.

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <string_view>

namespace rcm::ode::detail {

/// Writes the lines of one message and the values named in its text; nothing when out is null.
void write_message(std::ostream* out,
                   std::initializer_list<std::string_view> lines,
                   std::initializer_list<std::int64_t> integers = {},
                   std::initializer_list<double> reals = {});

}  // namespace rcm::ode::detail
