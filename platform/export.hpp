#pragma once
/// The automation runtime is one shared library per process (libplatform.so), so that the
/// thread's error information, the message sink and the loader's state are shared by the
/// engine and its clients, the way the system's automation runtime is on Windows.
/// Everything else in the library is hidden.
#if defined(__GNUC__)
#define PLATFORM_API __attribute__((visibility("default")))
#else
#define PLATFORM_API
#endif
