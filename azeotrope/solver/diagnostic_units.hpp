#pragma once
/// Fortran-style diagnostic output units of the numerical routines. By default unit 0 writes to
/// standard error and unit 6 to standard output; every other unit (and any unit outside 0..99)
/// is discarded until it is connected. Connecting a unit to nothing discards its output without
/// opening any file, which is how a search silences the solver's texts for its duration.
#include <iosfwd>
#include <string_view>

namespace azeotrope::solver {

inline constexpr int kMaxDiagnosticUnit = 99;

/// Where a unit's lines go.
struct UnitConnection {
    enum class Kind { standard, stream, nothing };
    Kind kind = Kind::standard;      ///< standard: the default of the unit number
    std::ostream* stream = nullptr;  ///< the target when kind is stream
};

/// Sends `unit` to `stream` (which must outlive the connection); units outside 0..99 are ignored.
void connect_unit(int unit, std::ostream& stream) noexcept;
/// Discards everything written to `unit`.
void connect_unit_to_nothing(int unit) noexcept;
/// Returns `unit` to its default.
void reset_unit(int unit) noexcept;
/// The current connection of `unit` (standard for units outside 0..99).
UnitConnection unit_connection(int unit) noexcept;
/// Restores a connection obtained from unit_connection.
void restore_unit(int unit, UnitConnection connection) noexcept;
/// Writes `line` and a newline to `unit`. Output failures are ignored: diagnostics never stop a
/// computation.
void write_unit_line(int unit, std::string_view line) noexcept;

/// Connects a unit for the lifetime of the object, then restores the previous connection.
class ScopedUnitConnection {
public:
    /// Connects `unit` to `stream`.
    ScopedUnitConnection(int unit, std::ostream& stream) noexcept;
    /// Connects `unit` to nothing.
    explicit ScopedUnitConnection(int unit) noexcept;
    ~ScopedUnitConnection();
    ScopedUnitConnection(const ScopedUnitConnection&) = delete;
    ScopedUnitConnection& operator=(const ScopedUnitConnection&) = delete;

private:
    int unit_;
    UnitConnection previous_;
};

}  // namespace azeotrope::solver
