#pragma once
/// Routines the engine module exports by name (called by numerical code written against the
/// by-reference convention) stay visible when the engine is built with hidden symbols.
#if defined(__GNUC__)
#define ENGINE_CORE_EXPORT __attribute__((visibility("default")))
#else
#define ENGINE_CORE_EXPORT
#endif
