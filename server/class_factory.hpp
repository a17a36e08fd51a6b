#pragma once
/// The class factory of the engine module's four creatable classes. It accepts aggregation: with
/// an outer object (and IID_IUnknown asked for, as aggregation requires) it hands out the inner
/// object's non-delegating IUnknown, whose interfaces delegate to the outer object
/// (engine::create_engine_object). LockServer keeps the module loaded (DllCanUnloadNow answers
/// S_FALSE while a lock is held).
#include "platform/com_object.hpp"

namespace server {

class ClassFactory final : public platform::ComObjectNoLock<ClassFactory, platform::IClassFactory> {
public:
    explicit ClassFactory(const platform::CLSID& clsid) noexcept : clsid_(clsid) {}

    /// Whether the module serves the class.
    static bool serves(const platform::CLSID& clsid) noexcept;

    platform::HRESULT CreateInstance(platform::IUnknown* pUnkOuter,
                                     platform::REFIID riid,
                                     void** ppvObject) override;
    platform::HRESULT LockServer(platform::BOOL fLock) override;

private:
    friend platform::detail::ComObjectBase<false, ClassFactory, platform::IClassFactory>;
    ~ClassFactory() override = default;
    platform::CLSID clsid_;
};

}  // namespace server
