#pragma once
/// The implementations of the host entry points, in the host library. The four library shells
/// (host/lib/) export them under their C names (host/entry_points.h); keeping the C names out
/// of the host library means each shell exports exactly its own entry points, nothing leaks in
/// through its dependency on the host library. Signatures mirror host/entry_points.h.
#include <cstdint>

namespace host::entry {

void callsetjmp(const char* run_id,
                const char* pdf_file,
                const char* work_dir,
                std::int64_t* status,
                std::int64_t run_id_len,
                std::int64_t pdf_file_len,
                std::int64_t work_dir_len) noexcept;
void closepdf() noexcept;
void compqry(const std::int64_t* mode,
             const std::int64_t* index,
             std::int64_t* count,
             char* id,
             char* name,
             std::int64_t* origin,
             double* molar_mass,
             double* normal_boiling_point,
             char* formula,
             std::int64_t* error,
             std::int64_t id_len,
             std::int64_t name_len,
             std::int64_t formula_len) noexcept;
void lsopst(std::int64_t* count,
            char* name,
            const std::int64_t* mode,
            const std::int64_t* index,
            std::int64_t name_len) noexcept;
void glbops(std::int64_t* index, char* name) noexcept;
void fiopst(const char* name, std::int64_t* index) noexcept;
void ppgidx(const char* id, std::int64_t* index, std::int64_t* error, std::int64_t id_len) noexcept;
void pflash(const std::int64_t* kind,
            const double* spec1,
            const double* spec2,
            const double* z,
            const std::int64_t* n,
            const std::int64_t* components,
            const std::int64_t* phase_count,
            const std::int64_t* start_mode,
            const std::int64_t* max_iterations,
            const double* tolerance,
            const std::int64_t* option_set,
            const std::int64_t* history_level,
            const std::int64_t* terminal_level,
            const std::int64_t* enthalpy_wanted,
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
            std::int64_t* restart,
            double* work3,
            double* work4,
            std::int64_t* error) noexcept;
void get_real_param(const char* name,
                    const std::int64_t* index,
                    double* value,
                    std::int64_t* error,
                    std::int64_t name_len) noexcept;
void set_real_param(const char* name,
                    const std::int64_t* index,
                    const double* value,
                    std::int64_t* error,
                    std::int64_t name_len) noexcept;
void get_int_param(const char* name,
                   const std::int64_t* index,
                   std::int64_t* value,
                   std::int64_t* error,
                   std::int64_t name_len) noexcept;
void set_int_param(const char* name,
                   const std::int64_t* index,
                   const std::int64_t* value,
                   std::int64_t* error,
                   std::int64_t name_len) noexcept;
void get_char_param(const char* name,
                    const std::int64_t* index,
                    char* value,
                    std::int64_t* text_len,
                    std::int64_t* error,
                    std::int64_t name_len,
                    std::int64_t value_len) noexcept;
void set_char_param(const char* name,
                    const std::int64_t* index,
                    const char* value,
                    std::int64_t* error,
                    std::int64_t name_len,
                    std::int64_t value_len) noexcept;
void getcsp(std::int64_t* option_set,
            std::int64_t* history_level,
            std::int64_t* terminal_level,
            double* tolerance,
            std::int64_t* max_iterations) noexcept;
void enthalpy(bool liquid,
              const std::int64_t* n,
              const std::int64_t* components,
              const char* option_set,
              const double* temperature,
              const double* pressure,
              const double* z,
              const std::int64_t* option,
              double* enthalpy,
              double* heat_capacity,
              std::int64_t* error,
              std::int64_t option_set_len) noexcept;
void cf_dllfcn(const char* decorated,
               char* export_name,
               std::int64_t decorated_len,
               std::int64_t export_name_len) noexcept;
void rto_str2int(char* field, const char* text, std::int64_t field_len) noexcept;

}  // namespace host::entry
