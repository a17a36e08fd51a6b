#include "azeotrope/solver/diagnostic_units.hpp"

#include <array>
#include <iostream>
#include <mutex>

namespace azeotrope::solver {
namespace {

/// The unit table: the solver library's only process-wide state. A mutex guards it because a
/// connection may be changed by one thread while another writes, even though the routines that
/// write run one at a time.
struct DiagnosticUnitTable {
    std::mutex mutex;
    std::array<UnitConnection, kMaxDiagnosticUnit + 1> units{};
};

DiagnosticUnitTable& table() {
    static DiagnosticUnitTable instance;
    return instance;
}

bool valid_unit(int unit) noexcept { return unit >= 0 && unit <= kMaxDiagnosticUnit; }

std::size_t slot(int unit) noexcept { return static_cast<std::size_t>(unit); }

}  // namespace

void connect_unit(int unit, std::ostream& stream) noexcept {
    restore_unit(unit, UnitConnection{UnitConnection::Kind::stream, &stream});
}

void connect_unit_to_nothing(int unit) noexcept {
    restore_unit(unit, UnitConnection{UnitConnection::Kind::nothing, nullptr});
}

void reset_unit(int unit) noexcept { restore_unit(unit, UnitConnection{}); }

UnitConnection unit_connection(int unit) noexcept {
    if (!valid_unit(unit)) { return UnitConnection{}; }
    auto& t = table();
    std::lock_guard lock(t.mutex);
    return t.units[slot(unit)];
}

void restore_unit(int unit, UnitConnection connection) noexcept {
    if (!valid_unit(unit)) { return; }
    if (connection.kind == UnitConnection::Kind::stream && connection.stream == nullptr) {
        connection.kind = UnitConnection::Kind::nothing;
    }
    auto& t = table();
    std::lock_guard lock(t.mutex);
    t.units[slot(unit)] = connection;
}

void write_unit_line(int unit, std::string_view line) noexcept {
    if (!valid_unit(unit)) { return; }
    try {
        auto& t = table();
        std::lock_guard lock(t.mutex);
        const UnitConnection c = t.units[slot(unit)];
        std::ostream* out = nullptr;
        switch (c.kind) {
            case UnitConnection::Kind::stream:
                out = c.stream;
                break;
            case UnitConnection::Kind::nothing:
                break;
            case UnitConnection::Kind::standard:
                if (unit == 0) { out = &std::cerr; }
                if (unit == 6) { out = &std::cout; }
                break;
        }
        if (out != nullptr) { *out << line << '\n'; }
    } catch (...) {  // a stream set to throw, or a failed lock: the text is lost, nothing else
    }
}

ScopedUnitConnection::ScopedUnitConnection(int unit, std::ostream& stream) noexcept
    : unit_(unit), previous_(unit_connection(unit)) {
    connect_unit(unit, stream);
}

ScopedUnitConnection::ScopedUnitConnection(int unit) noexcept
    : unit_(unit), previous_(unit_connection(unit)) {
    connect_unit_to_nothing(unit);
}

ScopedUnitConnection::~ScopedUnitConnection() { restore_unit(unit_, previous_); }

}  // namespace azeotrope::solver
