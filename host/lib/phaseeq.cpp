// phaseeq: the host flash.
#include "host/detail/entry_impl.hpp"
#include "host/entry_points.h"

extern "C" void FLSH_PFLASH(const int64_t* kind,
                            const double* spec1,
                            const double* spec2,
                            const double* z,
                            const int64_t* n,
                            const int64_t* components,
                            const int64_t* phase_count,
                            const int64_t* start_mode,
                            const int64_t* max_iterations,
                            const double* tolerance,
                            const int64_t* option_set,
                            const int64_t* history_level,
                            const int64_t* terminal_level,
                            const int64_t* enthalpy_wanted,
                            double* temperature,
                            double* pressure,
                            double* enthalpy,
                            double* vapour_fraction,
                            double* beta,
                            double* x,
                            double* x1,
                            double* x2,
                            double* y,
                            double* work1,
                            double* work2,
                            int64_t* restart,
                            double* work3,
                            double* work4,
                            int64_t* error) noexcept {
    host::entry::pflash(kind, spec1, spec2, z, n, components, phase_count, start_mode,
                        max_iterations, tolerance, option_set, history_level, terminal_level,
                        enthalpy_wanted, temperature, pressure, enthalpy, vapour_fraction, beta, x,
                        x1, x2, y, work1, work2, restart, work3, work4, error);
}
