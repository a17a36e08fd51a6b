#pragma once
/// Activation of in-process servers through the registry (registry.hpp): what a client calls to
/// turn a ProgID into a class identity and a class identity into an object. A class is found
/// under HKEY_CLASSES_ROOT as registration writes it: "<ProgID>\CLSID" names the class, and
/// "CLSID\{clsid}\InprocServer32" the module that serves it, which is loaded with the platform
/// loader and asked for a class factory through its DllGetClassObject.
///
/// Modules loaded here stay loaded until CoFreeUnusedLibraries finds that their DllCanUnloadNow
/// allows unloading.
#include <optional>
#include <string>
#include <string_view>

#include "platform/guid.hpp"
#include "platform/hresult.hpp"
#include "platform/types.hpp"
#include "platform/unknown.hpp"

namespace server {

/// Execution contexts; only in-process servers exist here.
inline constexpr platform::DWORD CLSCTX_INPROC_SERVER = 0x1;

/// The class is not registered (or not as an in-process server).
inline constexpr platform::HRESULT REGDB_E_CLASSNOTREG = platform::detail::from_bits(0x80040154u);
/// The ProgID is not registered.
inline constexpr platform::HRESULT CO_E_CLASSSTRING = platform::detail::from_bits(0x800401F3u);
/// The registered module cannot be loaded.
inline constexpr platform::HRESULT CO_E_DLLNOTFOUND = platform::detail::from_bits(0x800401F8u);
/// The registered module has no DllGetClassObject.
inline constexpr platform::HRESULT CO_E_ERRORINDLL = platform::detail::from_bits(0x800401F9u);

/// The class registered under a ProgID (version-independent or versioned):
/// "HKEY_CLASSES_ROOT\<ProgID>\CLSID". CO_E_CLASSSTRING when there is none, or the registry
/// cannot be read.
platform::HRESULT CLSIDFromProgID(std::string_view prog_id, platform::CLSID* clsid) noexcept;
/// The same from an automation string.
platform::HRESULT CLSIDFromProgID(const platform::OLECHAR* prog_id,
                                  platform::CLSID* clsid) noexcept;
/// The ProgID registered for a class ("CLSID\{clsid}\ProgID"); nothing when there is none.
std::optional<std::string> ProgIDFromCLSID(const platform::CLSID& clsid) noexcept;

/// The class factory (or another interface `riid` of it) of a registered in-process class.
platform::HRESULT CoGetClassObject(const platform::CLSID& clsid,
                                   platform::DWORD context,
                                   platform::REFIID riid,
                                   void** ppv) noexcept;
/// A new object of a registered class through its factory; `outer` aggregates it (then `riid`
/// must be IUnknown).
platform::HRESULT CoCreateInstance(const platform::CLSID& clsid,
                                   platform::IUnknown* outer,
                                   platform::DWORD context,
                                   platform::REFIID riid,
                                   void** ppv) noexcept;
/// Unloads the modules loaded by CoGetClassObject whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries() noexcept;

}  // namespace server
