#pragma once
/// The module entry points of the engine's in-process automation server, exported with C
/// linkage from libTARNDistil.so. Clients find them by name (GetProcAddress); these declarations
/// give their signatures.
#include "platform/guid.hpp"
#include "platform/hresult.hpp"

extern "C" {
/// A class factory (queried for `riid`) for one of the module's four classes;
/// CLASS_E_CLASSNOTAVAILABLE for any other class identity.
platform::HRESULT DllGetClassObject(const platform::CLSID& rclsid,
                                    const platform::IID& riid,
                                    void** ppv) noexcept;
/// S_OK when no object of the module is alive and no lock is held, S_FALSE otherwise.
platform::HRESULT DllCanUnloadNow() noexcept;
/// Registers the type library and the four classes in the class registry (the file
/// TARNDISTIL_REGISTRY names, else the per-user default). On failure the thread's error
/// information holds the reason: SELFREG_E_CLASS (0x80040201) for a script that cannot be run,
/// E_FAIL for a registry file that cannot be read or written.
platform::HRESULT DllRegisterServer() noexcept;
/// Removes what DllRegisterServer wrote (failures as for DllRegisterServer).
platform::HRESULT DllUnregisterServer() noexcept;
}

namespace engine {
using DllGetClassObjectFunction = platform::HRESULT (*)(const platform::CLSID&,
                                                        const platform::IID&,
                                                        void**);
using DllCanUnloadNowFunction = platform::HRESULT (*)();
using DllRegisterServerFunction = platform::HRESULT (*)();
using DllUnregisterServerFunction = platform::HRESULT (*)();
}  // namespace engine
