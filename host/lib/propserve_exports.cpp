// The fourteen PropServe entry points. Compiled into libpropserve.so and libzetarninp.so alike:
// both forward to the one host state in libtarnhost.so.
#include "host/detail/entry_impl.hpp"
#include "host/entry_points.h"

extern "C" {

void CALLSETJMP(const char* run_id,
                const char* pdf_file,
                const char* work_dir,
                int64_t* status,
                int64_t run_id_len,
                int64_t pdf_file_len,
                int64_t work_dir_len) noexcept {
    host::entry::callsetjmp(run_id, pdf_file, work_dir, status, run_id_len, pdf_file_len,
                            work_dir_len);
}

void CLOSEPDF(void) noexcept { host::entry::closepdf(); }

void CALL_COMPQRY(const int64_t* mode,
                  const int64_t* index,
                  int64_t* count,
                  char* id,
                  char* name,
                  int64_t* origin,
                  double* molar_mass,
                  double* normal_boiling_point,
                  char* formula,
                  int64_t* error,
                  int64_t id_len,
                  int64_t name_len,
                  int64_t formula_len) noexcept {
    host::entry::compqry(mode, index, count, id, name, origin, molar_mass, normal_boiling_point,
                         formula, error, id_len, name_len, formula_len);
}

void CALL_LSOPST(int64_t* count,
                 char* name,
                 const int64_t* mode,
                 const int64_t* index,
                 int64_t name_len) noexcept {
    host::entry::lsopst(count, name, mode, index, name_len);
}

void CALL_GLBOPS(int64_t* index, char* name) noexcept { host::entry::glbops(index, name); }

void CALL_FIOPST(const char* name, int64_t* index) noexcept { host::entry::fiopst(name, index); }

void CALL_PPGIDX(const char* id, int64_t* index, int64_t* error, int64_t id_len) noexcept {
    host::entry::ppgidx(id, index, error, id_len);
}

void CALL_PHASEEQ(const int64_t* kind,
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

void GET_REAL_PARAM(const char* name,
                    const int64_t* index,
                    double* value,
                    int64_t* error,
                    int64_t name_len) noexcept {
    host::entry::get_real_param(name, index, value, error, name_len);
}

void SET_REAL_PARAM(const char* name,
                    const int64_t* index,
                    const double* value,
                    int64_t* error,
                    int64_t name_len) noexcept {
    host::entry::set_real_param(name, index, value, error, name_len);
}

void GET_INT_PARAM(const char* name,
                   const int64_t* index,
                   int64_t* value,
                   int64_t* error,
                   int64_t name_len) noexcept {
    host::entry::get_int_param(name, index, value, error, name_len);
}

void SET_INT_PARAM(const char* name,
                   const int64_t* index,
                   const int64_t* value,
                   int64_t* error,
                   int64_t name_len) noexcept {
    host::entry::set_int_param(name, index, value, error, name_len);
}

void GET_CHAR_PARAM(const char* name,
                    const int64_t* index,
                    char* value,
                    int64_t* text_len,
                    int64_t* error,
                    int64_t name_len,
                    int64_t value_len) noexcept {
    host::entry::get_char_param(name, index, value, text_len, error, name_len, value_len);
}

void SET_CHAR_PARAM(const char* name,
                    const int64_t* index,
                    const char* value,
                    int64_t* error,
                    int64_t name_len,
                    int64_t value_len) noexcept {
    host::entry::set_char_param(name, index, value, error, name_len, value_len);
}

}  // extern "C"
