#pragma once
/// Reference-counted objects with an interface table.
///
///     class CThing : public platform::ComObject<CThing, IThing, ISupportErrorInfo> { ... };
///     IThing* p = nullptr;
///     HRESULT hr = platform::create_instance<CThing>(IThing::iid, reinterpret_cast<void**>(&p));
///
/// QueryInterface answers IUnknown and, for each listed interface, its own identity and that of
/// IDispatch when the interface is dual (derives from IDispatch); the first match in list order
/// wins. Objects count towards the module's live objects until destroyed.
#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/dispatch.hpp"
#include "platform/unknown.hpp"

namespace platform {

namespace detail {

template <class I>
constexpr bool answers(REFIID riid) noexcept {
    if (IsEqualIID(riid, I::iid)) { return true; }
    if constexpr (std::is_base_of_v<IDispatch, I>) { return IsEqualIID(riid, IID_IDispatch); }
    return false;
}

// An interface that forgets to declare its own `iid` inherits its base's; catch that here.
template <class I>
constexpr bool declares_own_iid() noexcept {
    if constexpr (std::is_same_v<I, IUnknown>) {
        return true;
    } else if constexpr (std::is_same_v<I, IDispatch>) {
        return true;
    } else if constexpr (std::is_base_of_v<IDispatch, I>) {
        return !IsEqualIID(I::iid, IID_IDispatch) && !IsEqualIID(I::iid, IID_IUnknown);
    } else {
        return !IsEqualIID(I::iid, IID_IUnknown);
    }
}

template <class First, class... Rest>
struct FirstOf {
    using type = First;
};

/// Reference count and QueryInterface shared by counted and uncounted objects.
template <bool Counted, class Derived, class... Interfaces>
class ComObjectBase : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "an object implements at least one interface");
    static_assert((std::is_base_of_v<IUnknown, Interfaces> && ...),
                  "every listed interface derives from IUnknown");
    static_assert((declares_own_iid<Interfaces>() && ...),
                  "an interface must declare its own static constexpr IID iid");

public:
    ComObjectBase() noexcept {
        if constexpr (Counted) { module_object_created(); }
    }
    ComObjectBase(const ComObjectBase&) = delete;
    ComObjectBase& operator=(const ComObjectBase&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override {
        if (!ppvObject) { return E_POINTER; }
        *ppvObject = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            // Always the same pointer for IUnknown: object identity depends on it.
            *ppvObject = unknown();
        } else {
            (void)((answers<Interfaces>(riid) &&
                    (*ppvObject = static_cast<Interfaces*>(this), true)) ||
                   ...);
        }
        if (!*ppvObject) { return E_NOINTERFACE; }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) { delete static_cast<Derived*>(this); }
        return left;
    }

    /// The controlling IUnknown of the object.
    IUnknown* unknown() noexcept {
        using First = typename FirstOf<Interfaces...>::type;
        return static_cast<IUnknown*>(static_cast<First*>(this));
    }

    /// Second construction step, run by create_instance after the first reference is taken;
    /// a failure destroys the object and is returned to the creator.
    virtual HRESULT FinalConstruct() { return S_OK; }

protected:
    ~ComObjectBase() override {
        if constexpr (Counted) { module_object_destroyed(); }
    }

private:
    std::atomic<ULONG> refs_{0};
};

}  // namespace detail

/// An object the module counts (DllCanUnloadNow waits for it).
template <class Derived, class... Interfaces>
using ComObject = detail::ComObjectBase<true, Derived, Interfaces...>;
/// An object the module does not count (class factories, error information).
template <class Derived, class... Interfaces>
using ComObjectNoLock = detail::ComObjectBase<false, Derived, Interfaces...>;

/// Creates a T, runs its FinalConstruct and queries `riid` into *ppv. E_OUTOFMEMORY when it
/// cannot be allocated; a failed FinalConstruct or query destroys the object.
template <class T, class... Args>
HRESULT create_instance(REFIID riid, void** ppv, Args&&... args) noexcept {
    if (!ppv) { return E_POINTER; }
    *ppv = nullptr;
    T* object = nullptr;
    try {
        object = new T(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) { return E_OUTOFMEMORY; } catch (...) {
        return E_FAIL;
    }
    IUnknown* unk = object->unknown();
    unk->AddRef();
    HRESULT hr = E_FAIL;
    try {
        hr = object->FinalConstruct();
    } catch (const std::bad_alloc&) { hr = E_OUTOFMEMORY; } catch (...) {
        hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) { hr = unk->QueryInterface(riid, ppv); }
    unk->Release();
    return hr;
}

/// Signature of a class's creator as a class factory calls it.
using CreatorFunction = HRESULT (*)(REFIID riid, void** ppv);

/// Class factory for one class: CreateInstance calls the creator (aggregation is refused with
/// CLASS_E_NOAGGREGATION); LockServer keeps the module loaded.
class ClassFactory final : public ComObjectNoLock<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(CreatorFunction creator) noexcept : creator_(creator) {}

    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
        if (!ppvObject) { return E_POINTER; }
        *ppvObject = nullptr;
        if (pUnkOuter) { return CLASS_E_NOAGGREGATION; }
        return creator_ ? creator_(riid, ppvObject) : E_UNEXPECTED;
    }
    HRESULT LockServer(BOOL fLock) override {
        if (fLock) {
            module_lock();
        } else {
            module_unlock();
        }
        return S_OK;
    }

private:
    ~ClassFactory() override = default;
    friend detail::ComObjectBase<false, ClassFactory, IClassFactory>;
    CreatorFunction creator_;
};

/// Creator function for a class T (for a ClassFactory table).
template <class T>
HRESULT creator_of(REFIID riid, void** ppv) {
    return create_instance<T>(riid, ppv);
}

}  // namespace platform
