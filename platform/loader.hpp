#pragma once
/// Dynamic loading under the Windows names the engine uses, over the system loader.
///
/// Name mapping: a Windows library name becomes a shared-object file name by dropping the
/// extension ".dll" (any case; a name without extension counts as ".dll"), lower-casing the
/// rest (ASCII) and adding the prefix "lib" and the suffix ".so":
///     "PropServe.dll" -> "libpropserve.so",   "zeTARNInp" -> "libzetarninp.so".
/// A name with another extension ("libm.so.6") is taken unchanged. Directory parts, with "\" or
/// "/" as separator, are kept (backslashes become "/"), and such a path is loaded only there.
///
/// Search order for a bare name:
///  1. the directory of the shared library or executable that contains this runtime;
///  2. the "lib" folder beside the running executable's directory (<exe dir>/../lib): the build
///     puts executables in bin/ and shared libraries in lib/;
///  3. the system loader's own search (LD_LIBRARY_PATH, run paths, system directories).
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.hpp"
#include "platform/types.hpp"

namespace platform {

struct ModuleHandleTag;
using HMODULE = ModuleHandleTag*;
using HINSTANCE = HMODULE;
/// Generic entry point; cast it to the routine's real signature before calling.
using FARPROC = void (*)();

/// Loads (or adds a reference to) a library; null when not found or it fails to load.
PLATFORM_API HMODULE LoadLibraryA(const char* lpLibFileName) noexcept;
/// The address of an exported routine or variable; null when absent or for a null module.
PLATFORM_API FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) noexcept;
/// A library that is already loaded, found by its Windows name, without loading it and without
/// adding a reference; the running program itself for null. Null when not loaded.
PLATFORM_API HMODULE GetModuleHandleA(const char* lpModuleName) noexcept;
/// Drops one reference taken by LoadLibraryA; nonzero on success.
PLATFORM_API BOOL FreeLibrary(HMODULE hLibModule) noexcept;

/// The shared-object file name (with any directory) for a Windows library name.
PLATFORM_API std::string library_file_name(std::string_view windows_name);
/// The paths LoadLibraryA tries, in order (the last one is the bare file name).
PLATFORM_API std::vector<std::string> library_search_paths(std::string_view windows_name);
/// The system loader's message for the last failure on this thread (empty if none).
PLATFORM_API std::string loader_last_error();

}  // namespace platform
