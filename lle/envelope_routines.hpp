#pragma once
/// LLE_Envelope and VLLE_Envelope in the by-reference form of the numerical routines: every
/// argument by reference, 64-bit integers, doubles, a 10-character option-set field whose length
/// follows the explicit arguments by value. The stores have the map's layout:
///
///   curve count           1              envelopes traced (out)
///   point counts          3              points per envelope (out)
///   envelope points       3 x 600        point p, component c at 3 p + c; envelope c (0-based)
///                                        in point slots 200 c ... 200 c + 199; the slots a trace
///                                        does not fill hold -1.0 afterwards
///   tie-line count        1              in: the capacity (at most 100 are used); out: stored
///   tie lines             3 x 2 x cap    tie line k: x' at points 2 k, x'' at 2 k + 1
///   vapour points         3 x cap        (VLLE) tie line k's vapour at point k
///   plait temperature     1              (VLLE) [K]; written only when a branch found it
///
/// MessageCode and ErrorCode are written only when the trace sets them (the caller clears them
/// first): 501/1 a store is full, 502/2 a flash failed, 513 (LLE, ErrorCode unchanged) a feed
/// flashed to vapour; ErrorCode -1 when nothing could be traced (not three components, a null
/// argument, a pressure, temperature or step that is not finite and positive), with the counts
/// set to 0 when they can be written. The texts of 501, 502 and 513 go to the run log.
#include <cstdint>

extern "C" {

void LLE_Envelope(const std::int64_t* n,
                  const double* pressure,
                  const double* temperature,
                  const double* step,
                  const std::int64_t* component_ids,
                  const char* option_set,
                  std::int64_t* curve_count,
                  std::int64_t* point_counts,
                  double* envelope_points,
                  std::int64_t* tie_line_count,
                  double* tie_lines,
                  std::int64_t* message_code,
                  std::int64_t* error_code,
                  std::int64_t option_set_length) noexcept;

void VLLE_Envelope(const std::int64_t* n,
                   const double* pressure,
                   const double* step,
                   const std::int64_t* component_ids,
                   const char* option_set,
                   std::int64_t* curve_count,
                   std::int64_t* point_counts,
                   double* envelope_points,
                   std::int64_t* tie_line_count,
                   double* tie_lines,
                   double* vapour_points,
                   double* plait_temperature,
                   std::int64_t* message_code,
                   std::int64_t* error_code,
                   std::int64_t option_set_length) noexcept;
}
