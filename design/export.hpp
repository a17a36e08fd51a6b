#pragma once
/// The design routines are exported by name from whichever shared library links them, also
/// when it is built with hidden symbols.
#if defined(__GNUC__)
#define DESIGN_EXPORT __attribute__((visibility("default")))
#else
#define DESIGN_EXPORT
#endif
