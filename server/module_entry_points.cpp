// The module entry points of libTARNDistil.so as an in-process automation server, and the class
// registry the module's ProgID lookups go through (installed when the module is loaded).
#include "engine/module_entry_points.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <new>
#include <string>

#include "engine/core/string_table.hpp"
#include "engine/module.hpp"
#include "platform/error_info.hpp"
#include "server/activation.hpp"
#include "server/class_factory.hpp"
#include "server/registration.hpp"

namespace server {
namespace {

using namespace platform;

/// SELFREG_E_CLASS: a class could not be (un)registered.
constexpr HRESULT kClassRegistrationFailed = platform::detail::from_bits(0x80040201u);

/// The full path of this module (the library the registration names as the classes' server).
std::string module_path() {
    static const char anchor = 0;
    Dl_info info{};
    if (!::dladdr(&anchor, &info) || !info.dli_fname) { return {}; }
    char* resolved = ::realpath(info.dli_fname, nullptr);
    if (!resolved) { return info.dli_fname; }
    std::string path(resolved);
    ::free(resolved);
    return path;
}

/// Leaves a failure of registration for the caller as the thread's error information.
HRESULT report(std::string_view text, HRESULT status) noexcept {
    try {
        CComPtr<ICreateErrorInfo> create;
        if (FAILED(CreateErrorInfo(create.out()))) { return status; }
        std::u16string source =
            to_utf16(engine::core::string_or_unknown(engine::core::kModuleNameStringId));
        std::u16string description = to_utf16(text);
        create->SetSource(source.data());
        create->SetDescription(description.data());
        CComPtr<IErrorInfo> info;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.out_void()))) {
            SetErrorInfo(0, info.get());
        }
    } catch (...) {
        // No memory for the texts: the status alone reaches the caller.
    }
    return status;
}

HRESULT run_registration(RegistrarAction action) noexcept {
    try {
        const std::string module = module_path();
        if (module.empty()) { return report("the module cannot find its own path", E_FAIL); }
        register_module_in_file(module, action);
        return S_OK;
    } catch (const ScriptError& e) {
        return report(e.what(), kClassRegistrationFailed);
    } catch (const RegistryError& e) {
        return report(e.what(), E_FAIL);
    } catch (const std::bad_alloc&) { return E_OUTOFMEMORY; } catch (...) {
        return E_UNEXPECTED;
    }
}

std::string location() {
    try {
        return Registry::default_location().string();
    } catch (...) { return {}; }
}

std::optional<CLSID> find_prog_id(std::string_view prog_id) {
    // An unreadable or malformed registry registers nothing; the built-in table still works.
    CLSID clsid{};
    if (CLSIDFromProgID(prog_id, &clsid) != S_OK) { return std::nullopt; }
    return clsid;
}

// The module's ProgID lookups go through the registry from the moment it is loaded.
[[maybe_unused]] const bool kClassRegistryInstalled = [] {
    engine::set_class_registry({&location, &find_prog_id});
    return true;
}();

}  // namespace
}  // namespace server

extern "C" platform::HRESULT DllGetClassObject(const platform::CLSID& rclsid,
                                               const platform::IID& riid,
                                               void** ppv) noexcept {
    using namespace platform;
    if (!ppv) { return E_POINTER; }
    *ppv = nullptr;
    if (!server::ClassFactory::serves(rclsid)) { return CLASS_E_CLASSNOTAVAILABLE; }
    return create_instance<server::ClassFactory>(riid, ppv, rclsid);
}

extern "C" platform::HRESULT DllCanUnloadNow() noexcept {
    return platform::module_can_unload_now();
}

extern "C" platform::HRESULT DllRegisterServer() noexcept {
    return server::run_registration(server::RegistrarAction::register_keys);
}

extern "C" platform::HRESULT DllUnregisterServer() noexcept {
    return server::run_registration(server::RegistrarAction::unregister_keys);
}
