#include "server/activation.hpp"

#include <mutex>
#include <vector>

#include "engine/module_entry_points.h"
#include "platform/bstr.hpp"
#include "platform/loader.hpp"
#include "server/registry.hpp"

namespace server {

using namespace platform;

namespace {

/// The modules CoGetClassObject loaded, one reference each.
struct LoadedModules {
    std::mutex mutex;
    std::vector<HMODULE> modules;
};

LoadedModules& loaded_modules() {
    static LoadedModules modules;
    return modules;
}

std::optional<std::string> registry_value(const std::string& key, std::string_view name = {}) {
    try {
        return Registry::load(Registry::default_location()).value(key, name);
    } catch (...) {
        // An unreadable registry registers nothing.
        return std::nullopt;
    }
}

}  // namespace

HRESULT CLSIDFromProgID(std::string_view prog_id, CLSID* clsid) noexcept {
    if (!clsid) { return E_POINTER; }
    *clsid = CLSID{};
    if (prog_id.empty() || prog_id.find('\\') != std::string_view::npos) {
        return CO_E_CLASSSTRING;
    }
    try {
        const auto text = registry_value("HKEY_CLASSES_ROOT\\" + std::string(prog_id) + "\\CLSID");
        if (!text) { return CO_E_CLASSSTRING; }
        const auto parsed = parse_guid(*text);
        if (!parsed) { return CO_E_CLASSSTRING; }
        *clsid = *parsed;
        return S_OK;
    } catch (...) { return E_OUTOFMEMORY; }
}

HRESULT CLSIDFromProgID(const OLECHAR* prog_id, CLSID* clsid) noexcept {
    try {
        return CLSIDFromProgID(std::string_view(narrow(prog_id)), clsid);
    } catch (...) { return E_OUTOFMEMORY; }
}

std::optional<std::string> ProgIDFromCLSID(const CLSID& clsid) noexcept {
    try {
        return registry_value("HKEY_CLASSES_ROOT\\CLSID\\" + to_string(clsid, true) + "\\ProgID");
    } catch (...) { return std::nullopt; }
}

HRESULT CoGetClassObject(const CLSID& clsid, DWORD context, REFIID riid, void** ppv) noexcept {
    if (!ppv) { return E_POINTER; }
    *ppv = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER)) { return REGDB_E_CLASSNOTREG; }
    std::optional<std::string> module;
    try {
        module = registry_value("HKEY_CLASSES_ROOT\\CLSID\\" + to_string(clsid, true) +
                                "\\InprocServer32");
    } catch (...) { return E_OUTOFMEMORY; }
    if (!module || module->empty()) { return REGDB_E_CLASSNOTREG; }

    HMODULE handle = LoadLibraryA(module->c_str());
    if (!handle) { return CO_E_DLLNOTFOUND; }
    const auto get_class_object = reinterpret_cast<engine::DllGetClassObjectFunction>(
        GetProcAddress(handle, "DllGetClassObject"));
    if (!get_class_object) {
        FreeLibrary(handle);
        return CO_E_ERRORINDLL;
    }
    {
        // One reference per module is enough to keep it loaded.
        LoadedModules& loaded = loaded_modules();
        std::lock_guard lock(loaded.mutex);
        bool known = false;
        for (HMODULE m : loaded.modules) { known = known || m == handle; }
        if (known) {
            FreeLibrary(handle);
        } else {
            try {
                loaded.modules.push_back(handle);
            } catch (...) {
                FreeLibrary(handle);
                return E_OUTOFMEMORY;
            }
        }
    }
    return get_class_object(clsid, riid, ppv);
}

HRESULT CoCreateInstance(
    const CLSID& clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) noexcept {
    if (!ppv) { return E_POINTER; }
    *ppv = nullptr;
    CComPtr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(clsid, context, IClassFactory::iid, factory.out_void());
    if (FAILED(hr)) { return hr; }
    return factory->CreateInstance(outer, riid, ppv);
}

void CoFreeUnusedLibraries() noexcept {
    LoadedModules& loaded = loaded_modules();
    std::lock_guard lock(loaded.mutex);
    std::erase_if(loaded.modules, [](HMODULE m) {
        const auto can_unload =
            reinterpret_cast<engine::DllCanUnloadNowFunction>(GetProcAddress(m, "DllCanUnloadNow"));
        if (!can_unload || can_unload() != S_OK) { return false; }
        FreeLibrary(m);
        return true;
    });
}

}  // namespace server
