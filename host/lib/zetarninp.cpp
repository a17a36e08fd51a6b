// zeTARNInp: the flash settings and the phase enthalpies (the PropServe entry points come from
// propserve_exports.cpp, compiled into this library too).
#include "host/detail/entry_impl.hpp"
#include "host/entry_points.h"

extern "C" {

void GETCSP(int64_t* option_set,
            int64_t* history_level,
            int64_t* terminal_level,
            double* tolerance,
            int64_t* max_iterations) noexcept {
    host::entry::getcsp(option_set, history_level, terminal_level, tolerance, max_iterations);
}

void LIQ_ENTHALPY(const int64_t* n,
                  const int64_t* components,
                  const char* option_set,
                  const double* temperature,
                  const double* pressure,
                  const double* z,
                  const int64_t* option,
                  double* enthalpy,
                  double* heat_capacity,
                  int64_t* error,
                  int64_t option_set_len) noexcept {
    host::entry::enthalpy(true, n, components, option_set, temperature, pressure, z, option,
                          enthalpy, heat_capacity, error, option_set_len);
}

void VAP_ENTHALPY(const int64_t* n,
                  const int64_t* components,
                  const char* option_set,
                  const double* temperature,
                  const double* pressure,
                  const double* z,
                  const int64_t* option,
                  double* enthalpy,
                  double* heat_capacity,
                  int64_t* error,
                  int64_t option_set_len) noexcept {
    host::entry::enthalpy(false, n, components, option_set, temperature, pressure, z, option,
                          enthalpy, heat_capacity, error, option_set_len);
}

}  // extern "C"
