#pragma once
// The aggregated form of an engine class. An outer object that aggregates the class holds the
// inner object's own (non-delegating) IUnknown, which alone controls its lifetime; every
// interface the inner object hands out delegates QueryInterface, AddRef and Release to the
// outer object, so that the client sees one object with one identity and one reference count.
#include <atomic>
#include <new>

#include "platform/com_object.hpp"

namespace engine::detail {

template <class T>
class Aggregated final : public T {
public:
    explicit Aggregated(platform::IUnknown* outer) : outer_(outer), inner_(this) {}

    platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override {
        return outer_->QueryInterface(riid, ppv);
    }
    platform::ULONG AddRef() override { return outer_->AddRef(); }
    platform::ULONG Release() override { return outer_->Release(); }

    /// The non-delegating IUnknown the outer object holds.
    platform::IUnknown* inner() noexcept { return &inner_; }

private:
    class Inner final : public platform::IUnknown {
    public:
        explicit Inner(Aggregated* self) noexcept : self_(self) {}
        ~Inner() override = default;

        platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override {
            if (!ppv) { return platform::E_POINTER; }
            if (platform::IsEqualIID(riid, platform::IID_IUnknown)) {
                *ppv = static_cast<platform::IUnknown*>(this);
                AddRef();
                return platform::S_OK;
            }
            // The class's own interface table; the reference it adds goes to the outer object,
            // whose interface this becomes.
            return self_->T::QueryInterface(riid, ppv);
        }
        platform::ULONG AddRef() override {
            return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
        }
        platform::ULONG Release() override {
            const platform::ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
            if (left == 0) { delete self_; }
            return left;
        }

    private:
        Aggregated* self_;
        std::atomic<platform::ULONG> refs_{0};
    };

    ~Aggregated() override = default;

    platform::IUnknown* outer_;  // not counted: the outer object owns this one
    Inner inner_;
};

/// Creates an aggregated T for `outer` and hands out its non-delegating IUnknown (one
/// reference) after the class's second construction step.
template <class T>
platform::HRESULT create_aggregated(platform::IUnknown* outer, void** ppv) noexcept {
    if (!ppv) { return platform::E_POINTER; }
    *ppv = nullptr;
    if (!outer) { return platform::E_INVALIDARG; }
    Aggregated<T>* object = nullptr;
    try {
        object = new Aggregated<T>(outer);
    } catch (const std::bad_alloc&) { return platform::E_OUTOFMEMORY; } catch (...) {
        return platform::E_FAIL;
    }
    platform::IUnknown* inner = object->inner();
    inner->AddRef();
    platform::HRESULT hr = platform::E_FAIL;
    try {
        hr = object->FinalConstruct();
    } catch (const std::bad_alloc&) { hr = platform::E_OUTOFMEMORY; } catch (...) {
        hr = platform::E_FAIL;
    }
    if (platform::FAILED(hr)) {
        inner->Release();
        return hr;
    }
    *ppv = inner;
    return platform::S_OK;
}

}  // namespace engine::detail
