#pragma once
/// The base of every automation interface (IUnknown) and the few system interfaces every object
/// and module needs: class factories and the error-information marker.
///
/// Each interface names its identity as a static member `iid`; com_object.hpp builds the
/// QueryInterface table from those.
#include "platform/export.hpp"
#include "platform/guid.hpp"
#include "platform/hresult.hpp"
#include "platform/types.hpp"

namespace platform {

struct IUnknown {
    static constexpr IID iid = IID_IUnknown;
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    // Objects are destroyed by their last Release, never through an interface pointer.
    virtual ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    static constexpr IID iid = IID_IClassFactory;
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;
};

/// Tells a client whether an interface leaves error information on failure.
struct ISupportErrorInfo : IUnknown {
    static constexpr IID iid = IID_ISupportErrorInfo;
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

/// Module-wide count of live objects and server locks, changed atomically; the module's
/// DllCanUnloadNow answers from it.
PLATFORM_API void module_object_created() noexcept;
PLATFORM_API void module_object_destroyed() noexcept;
PLATFORM_API void module_lock() noexcept;
PLATFORM_API void module_unlock() noexcept;
PLATFORM_API long module_object_count() noexcept;
PLATFORM_API long module_lock_count() noexcept;
/// S_OK when no object and no lock is outstanding, S_FALSE otherwise.
PLATFORM_API HRESULT module_can_unload_now() noexcept;

/// Owner of one interface reference, released on destruction.
template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    /// Takes a new reference to `p`.
    explicit CComPtr(T* p) noexcept : p_(p) {
        if (p_) { p_->AddRef(); }
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.p_) {}
    CComPtr(CComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    CComPtr& operator=(CComPtr other) noexcept {
        T* old = p_;
        p_ = other.p_;
        other.p_ = old;
        return *this;
    }
    ~CComPtr() { Release(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    /// Releases the reference held and hands out the slot for an [out] argument.
    T** out() noexcept {
        Release();
        return &p_;
    }
    /// The slot as void** for QueryInterface and creators.
    void** out_void() noexcept { return reinterpret_cast<void**>(out()); }
    void Release() noexcept {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    /// Takes ownership of a reference the caller already holds.
    void Attach(T* p) noexcept {
        Release();
        p_ = p;
    }
    T* Detach() noexcept {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

/// Releases and clears an interface pointer (no-op for null).
template <class I>
void safe_release(I*& p) noexcept {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

}  // namespace platform
