/* Entry points of the host property libraries, as plain C.
 *
 * Four shared libraries export them over one host state (libtarnhost.so):
 *   libpropserve.so  CALLSETJMP CLOSEPDF CALL_COMPQRY CALL_LSOPST CALL_GLBOPS CALL_FIOPST
 *                    CALL_PPGIDX CALL_PHASEEQ GET_REAL_PARAM SET_REAL_PARAM GET_INT_PARAM
 *                    SET_INT_PARAM GET_CHAR_PARAM SET_CHAR_PARAM   (the fourteen)
 *   libzetarninp.so  GETCSP LIQ_ENTHALPY VAP_ENTHALPY and the same fourteen
 *   libphaseeq.so    FLSH_PFLASH
 *   libhostrtl.so    cf_DllFcn rto_str2int_c
 * A client finds an entry point by its decorated name ("_CALLSETJMP@28") through cf_DllFcn,
 * which gives the export name ("CALLSETJMP").
 *
 * Calling convention: every explicit argument by reference; integers are int64_t, reals double;
 * character fields are blank-padded and need not be terminated, and for each character argument
 * its length in bytes follows, passed BY VALUE as int64_t, after the last explicit argument and
 * in the order of the character arguments. A character field is read up to its length or its
 * first zero byte, whichever comes first; leading and trailing blanks are ignored. Output fields
 * are blank-padded to their length (never zero-terminated). Arrays have n entries.
 *
 * Units: temperature K, pressure Pa, molar enthalpy J/kmol, molar mass kg/kmol. Enthalpy
 * reference: every pure component as an ideal gas at 298.15 K has H = 0.
 *
 * Indices are 1-based: components in the order of the problem-definition file, option sets
 * likewise. No entry point throws, aborts or writes outside the fields and arrays it is given;
 * bad input gives the codes below (for entry points without a code argument, the documented
 * neutral answer: index 0, count 0, blank field).
 *
 * Codes (error arguments). 0 success. Positive: not converged (flash: 1 temperature,
 * 2 pressure, 3 incipient-phase composition, 4 vapour-liquid split, 5 enthalpy iteration) or, for
 * GET_CHAR_PARAM, 1 = the text was cut to the field. Negative, fatal for this input:
 *   -1 flash kind not 1..5            -2 n <= 0, n > 100 or an array size wrong
 *   -3 NaN or infinite input          -4 negative or all-zero composition
 *   -5 pressure not positive          -6 vapour fraction outside [0, 1]
 *   -7 temperature outside the range of the correlations
 *   -8 no solution within that range  -9 phase count neither 2 nor 3
 *   -10 a setting out of range (tolerance, iteration limit, levels, start mode, options)
 *   -11 the property model gave a non-finite value            -12 internal error
 *   -20 no problem-definition file is open
 *   -21 option-set index or name not known
 *   -22 component index (or id) not in the problem            -23 a component index given twice
 *   -24 a required argument is missing (null pointer) or a mode is not allowed
 *   -25 no named parameter has that name                       -26 the parameter cannot be set
 *   -27 the value is not allowed for that parameter
 *
 * Named parameters (GET_/SET_*_PARAM; names are matched ignoring case and blanks; "index" is a
 * component or option-set index where the table says so and is ignored otherwise):
 *   real  FLASHTOL    get/set  flash tolerance that GETCSP reports, in (0, 0.1]
 *   real  MW          get      molar mass of component index [kg/kmol]
 *   real  TB, TC      get      normal boiling point, critical temperature of component index [K]
 *   real  PC          get      critical pressure of component index [Pa]
 *   real  OMEGA       get      acentric factor of component index [-]
 *   real  TMIN, TMAX  get      range of component index's vapour-pressure correlation [K]
 *   int   FLASHMAXIT  get/set  flash iteration limit that GETCSP reports, >= 1
 *   int   GLOBOPS     get/set  index of the current global option set
 *   int   HISTLVL     get/set  history diagnostic level that GETCSP reports, 0..8
 *   int   TERMLVL     get/set  terminal diagnostic level that GETCSP reports, 0..8
 *   int   NCOMP       get      number of components (0 when no file is open)
 *   int   NOPSET      get      number of option sets (0 when no file is open)
 *   int   PDFOPEN     get      1 when a problem-definition file is open, else 0
 *   int   MIXCACHE    get      mixtures held in the cache
 *   int   MIXBUILT    get      mixtures built since the file was opened
 *   char  ERRMSG      get      the terminal errors of the last CALLSETJMP that failed (blank
 *                              after a success); readable with no file open
 *   char  RUNID, PDFFILE, WORKDIR, TITLE   get   of the open problem
 *   char  GLOBOPS     get/set  name of the current global option set
 *   char  OPSNAME, OPSMETH     get   name and property method of option set index
 *   char  COMPID, COMPNAME, FORMULA, CAS   get   of component index
 * The diagnostic levels: at 5 or more a flash that fails appends a line to the history file
 * (HISTLVL) or to standard error (TERMLVL); at 7 or more every flash does. 4 (the default) keeps
 * both quiet.
 */
#ifndef TARN_HOST_ENTRY_POINTS_H
#define TARN_HOST_ENTRY_POINTS_H

#include <stdint.h>

#if defined(__GNUC__)
#define TARN_HOST_EXPORT __attribute__((visibility("default")))
#else
#define TARN_HOST_EXPORT
#endif

#ifdef __cplusplus
#define TARN_HOST_NOEXCEPT noexcept
extern "C" {
#else
#define TARN_HOST_NOEXCEPT
#endif

/* ---- PropServe (also exported by zeTARNInp) ------------------------------------------------ */

/* _CALLSETJMP@28: opens the problem-definition file pdf_file (TOML) and initialises the host.
 * The host appends a line to the history file "<run_id>.his" and writes the report
 * "<run_id>.rep" in work_dir (blank: the current directory; a trailing "\" or "/" and
 * backslashes as separators are accepted). A blank run_id takes the file name without directory
 * and extension. status: 0 or more = success (the number of warnings written to the report, e.g.
 * binary pairs left ideal); -1 terminal errors (the file cannot be read, parsed or validated: the
 * text is in the report and in the char parameter ERRMSG); -2 the history file cannot be opened;
 * -3 the report file cannot be opened. On any failure the previously open problem stays open. */
TARN_HOST_EXPORT void CALLSETJMP(const char* run_id,
                                 const char* pdf_file,
                                 const char* work_dir,
                                 int64_t* status,
                                 int64_t run_id_len,
                                 int64_t pdf_file_len,
                                 int64_t work_dir_len) TARN_HOST_NOEXCEPT;

/* _CLOSEPDF@0: closes the problem (a line goes to the history file); harmless when none is open. */
TARN_HOST_EXPORT void CLOSEPDF(void) TARN_HOST_NOEXCEPT;

/* _CALL_COMPQRY@52: mode 0 sets count to the number of components; mode 1 also fills id (8),
 * name (12), origin (1 databank, 2 defined in the file), molar mass [kg/kmol], normal boiling
 * point [K] and Hill formula (16) of the component at index (1-based). error: 0, -20 no file,
 * -22 index out of range, -24 other mode or null pointer (fields blank, numbers 0). */
TARN_HOST_EXPORT void CALL_COMPQRY(const int64_t* mode,
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
                                   int64_t formula_len) TARN_HOST_NOEXCEPT;

/* _CALL_LSOPST@20: count = number of option sets (0 with no file open); with mode 1, name (8)
 * gets the name of option set index, blank when index is out of range. */
TARN_HOST_EXPORT void CALL_LSOPST(int64_t* count,
                                  char* name,
                                  const int64_t* mode,
                                  const int64_t* index,
                                  int64_t name_len) TARN_HOST_NOEXCEPT;

/* _CALL_GLBOPS@8: index and name (8 characters, no length argument) of the current global
 * option set; 0 and blanks with no file open. */
TARN_HOST_EXPORT void CALL_GLBOPS(int64_t* index, char* name) TARN_HOST_NOEXCEPT;

/* _CALL_FIOPST@8: index of the option set named in the 8-character field name (ignoring case),
 * 0 when no set has that name or no file is open. */
TARN_HOST_EXPORT void CALL_FIOPST(const char* name, int64_t* index) TARN_HOST_NOEXCEPT;

/* _CALL_PPGIDX@16: index of the component whose id is in id (id_len characters are read,
 * ignoring case), 0 when unknown. error: 0, -20 no file, -22 unknown id. */
TARN_HOST_EXPORT void CALL_PPGIDX(const char* id, int64_t* index, int64_t* error, int64_t id_len)
    TARN_HOST_NOEXCEPT;

/* _CALL_PHASEEQ@116: the same flash as FLSH_PFLASH (below). */
TARN_HOST_EXPORT void CALL_PHASEEQ(const int64_t* kind,
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
                                   int64_t* error) TARN_HOST_NOEXCEPT;

/* _GET_REAL_PARAM@20 ... _SET_CHAR_PARAM@24: the named parameters of the table above.
 * error: 0, -20, -21, -22, -25, -26, -27 as listed; GET_CHAR_PARAM gives 1 when the text was
 * cut to value_len and sets text_len to the full length of the text. */
TARN_HOST_EXPORT void GET_REAL_PARAM(const char* name,
                                     const int64_t* index,
                                     double* value,
                                     int64_t* error,
                                     int64_t name_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void SET_REAL_PARAM(const char* name,
                                     const int64_t* index,
                                     const double* value,
                                     int64_t* error,
                                     int64_t name_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void GET_INT_PARAM(const char* name,
                                    const int64_t* index,
                                    int64_t* value,
                                    int64_t* error,
                                    int64_t name_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void SET_INT_PARAM(const char* name,
                                    const int64_t* index,
                                    const int64_t* value,
                                    int64_t* error,
                                    int64_t name_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void GET_CHAR_PARAM(const char* name,
                                     const int64_t* index,
                                     char* value,
                                     int64_t* text_len,
                                     int64_t* error,
                                     int64_t name_len,
                                     int64_t value_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void SET_CHAR_PARAM(const char* name,
                                     const int64_t* index,
                                     const char* value,
                                     int64_t* error,
                                     int64_t name_len,
                                     int64_t value_len) TARN_HOST_NOEXCEPT;

/* ---- phaseeq ---------------------------------------------------------------------------- */

/* The host flash over the components (1-based indices, n of them, 1 <= n <= 100) of option set
 * option_set, with an ideal-gas vapour and the option set's liquid model.
 *   kind 1 PH: spec1 P [Pa], spec2 H [J/kmol]       kind 2 TP: spec1 T [K], spec2 P [Pa]
 *   kind 3 PV: spec1 P, spec2 vapour fraction (0 bubble point, 1 dew point)
 *   kind 4 TH: spec1 T, spec2 H                     kind 5 TV: spec1 T, spec2 vapour fraction
 * z: feed (liquid of a bubble point, vapour of a dew point), normalised when its sum is not 1.
 * phase_count 2 or 3 (3 behaves as 2 until two-liquid flashes exist). start_mode 0: the
 * temperature argument, when finite and inside the correlations' range, is the start value of
 * kinds 1 and 3; 1: always use the host's own start. max_iterations >= 1 (the host uses at most
 * 1000 per loop), tolerance in (0, 0.1]. history_level, terminal_level 0..8 (see the diagnostic
 * levels above). enthalpy_wanted 1: the molar enthalpy of the result goes to enthalpy; 0: it is
 * not computed (enthalpy = 0).
 * Out: temperature, pressure, vapour fraction, beta (1 while one liquid exists), x, x1, x2
 * (= x while one liquid exists), y, error. A single liquid gives vapour fraction 0 and y the
 * incipient vapour; a single vapour 1 and x the incipient liquid. On failure the compositions
 * are zero. work1..work4 are not touched.
 * Restart protocol: restart is 1 on entry. If the first attempt started from the caller's
 * temperature and did not converge (positive error), the host returns restart = 2, sets the
 * temperature to 0 and asks to be called again; the repeat (restart = 1 again) starts from the
 * host's own initialisation whatever the temperature argument holds, and never asks again. With
 * restart = 0 on entry the host makes that second attempt itself within the call. */
TARN_HOST_EXPORT void FLSH_PFLASH(const int64_t* kind,
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
                                  int64_t* error) TARN_HOST_NOEXCEPT;

/* ---- zeTARNInp -------------------------------------------------------------------------- */

/* Current flash settings: global option set (0 with no file open), history and terminal
 * diagnostic levels, tolerance and iteration limit (the file's values, or the defaults 1e-10 and
 * 100, until changed through the named parameters). */
TARN_HOST_EXPORT void GETCSP(int64_t* option_set,
                             int64_t* history_level,
                             int64_t* terminal_level,
                             double* tolerance,
                             int64_t* max_iterations) TARN_HOST_NOEXCEPT;

/* Molar enthalpy [J/kmol] of a liquid (LIQ_) or ideal-gas vapour (VAP_) of composition z
 * (normalised when its sum is not 1) at temperature [K] and pressure [Pa] (pressure must be
 * positive; the models do not depend on it), with the option set named in option_set (blank:
 * the current global one; an unknown name gives -21). option must be 1. heat_capacity gets
 * dH/dT at constant composition [J/(kmol K)]. error as for the flash; on failure both outputs
 * are 0. */
TARN_HOST_EXPORT void LIQ_ENTHALPY(const int64_t* n,
                                   const int64_t* components,
                                   const char* option_set,
                                   const double* temperature,
                                   const double* pressure,
                                   const double* z,
                                   const int64_t* option,
                                   double* enthalpy,
                                   double* heat_capacity,
                                   int64_t* error,
                                   int64_t option_set_len) TARN_HOST_NOEXCEPT;
TARN_HOST_EXPORT void VAP_ENTHALPY(const int64_t* n,
                                   const int64_t* components,
                                   const char* option_set,
                                   const double* temperature,
                                   const double* pressure,
                                   const double* z,
                                   const int64_t* option,
                                   double* enthalpy,
                                   double* heat_capacity,
                                   int64_t* error,
                                   int64_t option_set_len) TARN_HOST_NOEXCEPT;

/* ---- hostrtl ---------------------------------------------------------------------------- */

/* The export name of a decorated entry-point name: one leading "_" and a trailing "@<digits>"
 * are removed ("_CALLSETJMP@28" -> "CALLSETJMP"); other names are copied. export_name is
 * blank-padded; it is all blanks when the name does not fit. */
TARN_HOST_EXPORT void cf_DllFcn(const char* decorated,
                                char* export_name,
                                int64_t decorated_len,
                                int64_t export_name_len) TARN_HOST_NOEXCEPT;

/* Copies the zero-terminated text into the field of field_len bytes (8 for option-set names),
 * blank-padded and cut to the field; a null text gives blanks. */
TARN_HOST_EXPORT void rto_str2int_c(char* field,
                                    const char* text,
                                    int64_t field_len) TARN_HOST_NOEXCEPT;

#ifdef __cplusplus
}
#endif

/* Function-pointer types for clients that look the entry points up at run time. */
typedef void (*tarn_callsetjmp_fn)(
    const char*, const char*, const char*, int64_t*, int64_t, int64_t, int64_t);
typedef void (*tarn_closepdf_fn)(void);
typedef void (*tarn_compqry_fn)(const int64_t*,
                                const int64_t*,
                                int64_t*,
                                char*,
                                char*,
                                int64_t*,
                                double*,
                                double*,
                                char*,
                                int64_t*,
                                int64_t,
                                int64_t,
                                int64_t);
typedef void (*tarn_lsopst_fn)(int64_t*, char*, const int64_t*, const int64_t*, int64_t);
typedef void (*tarn_glbops_fn)(int64_t*, char*);
typedef void (*tarn_fiopst_fn)(const char*, int64_t*);
typedef void (*tarn_ppgidx_fn)(const char*, int64_t*, int64_t*, int64_t);
typedef void (*tarn_pflash_fn)(const int64_t*,
                               const double*,
                               const double*,
                               const double*,
                               const int64_t*,
                               const int64_t*,
                               const int64_t*,
                               const int64_t*,
                               const int64_t*,
                               const double*,
                               const int64_t*,
                               const int64_t*,
                               const int64_t*,
                               const int64_t*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               double*,
                               int64_t*,
                               double*,
                               double*,
                               int64_t*);
typedef void (*tarn_get_real_param_fn)(const char*, const int64_t*, double*, int64_t*, int64_t);
typedef void (*tarn_set_real_param_fn)(
    const char*, const int64_t*, const double*, int64_t*, int64_t);
typedef void (*tarn_get_int_param_fn)(const char*, const int64_t*, int64_t*, int64_t*, int64_t);
typedef void (*tarn_set_int_param_fn)(
    const char*, const int64_t*, const int64_t*, int64_t*, int64_t);
typedef void (*tarn_get_char_param_fn)(
    const char*, const int64_t*, char*, int64_t*, int64_t*, int64_t, int64_t);
typedef void (*tarn_set_char_param_fn)(
    const char*, const int64_t*, const char*, int64_t*, int64_t, int64_t);
typedef void (*tarn_getcsp_fn)(int64_t*, int64_t*, int64_t*, double*, int64_t*);
typedef void (*tarn_enthalpy_fn)(const int64_t*,
                                 const int64_t*,
                                 const char*,
                                 const double*,
                                 const double*,
                                 const double*,
                                 const int64_t*,
                                 double*,
                                 double*,
                                 int64_t*,
                                 int64_t);
typedef void (*tarn_cf_dllfcn_fn)(const char*, char*, int64_t, int64_t);
typedef void (*tarn_rto_str2int_c_fn)(char*, const char*, int64_t);

#endif /* TARN_HOST_ENTRY_POINTS_H */
