/* The engine's plain exported functions, for callers that cannot use automation objects (a host
 * program's own numerical code): azeotropes, liquid-liquid and vapour-liquid-liquid envelopes
 * and tie lines of one ternary mixture. Plain C; every argument is a pointer.
 *
 * The host property system must already be loaded and initialised in the process (a problem
 * open in the host libraries): these functions never open a problem-definition file. Each call
 * builds its own distillation map and root object, drives them, copies the results out and
 * releases them again, so no engine object outlives the call.
 *
 * names: three zero-terminated component ids, the top, left and right corner of the diagram;
 * option_set: the property option set (also used as the VLE and LLE model); pressure [Pa];
 * temperature [K]; compositions are mole fractions. Invalid arguments (null pointers, counts
 * below zero) make a call do nothing but report zero results. */
#ifndef TARNDISTIL_FLAT_ENTRY_POINTS_H
#define TARNDISTIL_FLAT_ENTRY_POINTS_H

#include <stdint.h>

#ifdef __cplusplus
#define TARNDISTIL_NOEXCEPT noexcept
extern "C" {
#else
#define TARNDISTIL_NOEXCEPT
#endif

/** Entries of every output array of CalAzeotropes: at most this many azeotropes are written. */
#define TARNDISTIL_MAX_FLAT_AZEOTROPES 12
/** Capacities of the envelope stores: envelopes, points per envelope, tie lines. */
#define TARNDISTIL_MAX_ENVELOPES 3
#define TARNDISTIL_MAX_ENVELOPE_POINTS 200
#define TARNDISTIL_MAX_TIE_LINES 100

/** The azeotropes of the mixture: their count (at most TARNDISTIL_MAX_FLAT_AZEOTROPES, 0 when
 * there are none or the calculation failed), then for each the top, left and right mole
 * fractions, the boiling temperature [K], the phase code (1 homogeneous, 2 heterogeneous) and
 * the stability code (1 stable node, 2 saddle, 3 unstable node). Nothing but the count is
 * written when there is no azeotrope. */
void CalAzeotropes(const char* const* names,
                   const char* option_set,
                   const double* pressure,
                   const int32_t* phase_count,
                   int32_t* azeotrope_count,
                   double* x_top,
                   double* x_left,
                   double* x_right,
                   double* temperature,
                   int64_t* phase,
                   int64_t* stability) TARNDISTIL_NOEXCEPT;

/** The liquid-liquid envelopes at `temperature` and `pressure`: their count (at most 3), the
 * point count of each (at most 200), their points one envelope after the other in the three
 * mole-fraction arrays (at most 600 entries each), and, when at least two were traced, the tie
 * lines: their count (at most 100) and 6 values each (one liquid's three mole fractions, then
 * the other's). The fifth argument is not read. Returns 1. */
int CalCurveLLE(const char* const* names,
                const char* option_set,
                const double* pressure,
                const double* temperature,
                const void* not_read,
                int32_t* envelope_count,
                int64_t* points_per_envelope,
                double* x_top,
                double* x_left,
                double* x_right,
                int32_t* tie_line_count,
                double* tie_lines) TARNDISTIL_NOEXCEPT;

/** The same for the vapour-liquid-liquid envelopes at the bubble point under `pressure`. The
 * fourth argument is not read. Returns 1. */
int CalCurveVLLE(const char* const* names,
                 const char* option_set,
                 const double* pressure,
                 const void* not_read,
                 int32_t* envelope_count,
                 int64_t* points_per_envelope,
                 double* x_top,
                 double* x_left,
                 double* x_right,
                 int32_t* tie_line_count,
                 double* tie_lines) TARNDISTIL_NOEXCEPT;

/** Tie lines through `point_count` overall compositions (z_*): mode 1 gives the three-phase tie
 * line at the bubble point with its vapour, any other mode the liquid-liquid one (mode 3 at
 * `temperature`; in other modes the temperature is not used). For each point whose tie line was
 * found, in order, the first liquid, the second liquid and (mode 1) the vapour are appended to
 * the output arrays, which hold `point_count` entries each; a point without a second liquid
 * gives -999.0 markers. */
void CalTieLine(const char* const* names,
                const char* option_set,
                const double* pressure,
                const double* temperature,
                const int32_t* mode,
                const int32_t* phase_count,
                const int32_t* point_count,
                const double* z_top,
                const double* z_left,
                const double* z_right,
                double* x1_top,
                double* x1_left,
                double* x1_right,
                double* x2_top,
                double* x2_left,
                double* x2_right,
                double* y_top,
                double* y_left,
                double* y_right) TARNDISTIL_NOEXCEPT;

/** No effect; kept for callers that call it before anything else. */
void initial(void) TARNDISTIL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif
