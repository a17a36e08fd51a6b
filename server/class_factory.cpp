#include "server/class_factory.hpp"

#include "engine/core/class_ids.hpp"
#include "engine/module.hpp"

namespace server {

using namespace platform;

bool ClassFactory::serves(const CLSID& clsid) noexcept {
    for (const engine::core::ClassIdentity& c : engine::core::kEngineClasses) {
        if (c.clsid == clsid) { return true; }
    }
    return false;
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    return engine::create_engine_object(clsid_, pUnkOuter, riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    if (fLock) {
        module_lock();
    } else {
        module_unlock();
    }
    return S_OK;
}

}  // namespace server
