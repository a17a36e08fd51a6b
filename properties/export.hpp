#pragma once
/// Routines of the property services that numerical code written against the by-reference
/// convention calls by name stay visible when a module is built with hidden symbols.
#if defined(__GNUC__)
#define PROPERTIES_EXPORT __attribute__((visibility("default")))
#else
#define PROPERTIES_EXPORT
#endif
