#include "engine/detail/connection_points.hpp"

#include <algorithm>

namespace engine::detail {

using namespace platform;

namespace {

/// A connection point handed to a client. It holds the container, which holds the source.
class ConnectionPoint final : public ComObjectNoLock<ConnectionPoint, IConnectionPoint> {
public:
    ConnectionPoint(IConnectionPointContainer* container, EventSource* source) noexcept
        : container_(container), source_(source) {}

    HRESULT GetConnectionInterface(IID* pIID) override {
        if (!pIID) { return E_POINTER; }
        *pIID = source_->iid();
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (!ppCPC) { return E_POINTER; }
        *ppCPC = container_.get();
        (*ppCPC)->AddRef();
        return S_OK;
    }
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        return source_->advise(pUnkSink, pdwCookie);
    }
    HRESULT Unadvise(DWORD dwCookie) override { return source_->unadvise(dwCookie); }

private:
    friend platform::detail::ComObjectBase<false, ConnectionPoint, IConnectionPoint>;
    ~ConnectionPoint() override = default;
    CComPtr<IConnectionPointContainer> container_;
    EventSource* source_;
};

/// Enumerates the container's one connection point.
class PointEnumerator final : public ComObjectNoLock<PointEnumerator, IEnumConnectionPoints> {
public:
    PointEnumerator(IConnectionPointContainer* container,
                    EventSource* source,
                    ULONG position) noexcept
        : container_(container), source_(source), position_(position) {}

    HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) override {
        if (!ppCP || (cConnections > 1 && !pcFetched)) { return E_POINTER; }
        ULONG fetched = 0;
        if (cConnections > 0 && position_ < kCount) {
            const HRESULT hr = source_->find(container_.get(), source_->iid(), &ppCP[0]);
            if (FAILED(hr)) { return hr; }
            ++position_;
            fetched = 1;
        }
        if (pcFetched) { *pcFetched = fetched; }
        return fetched == cConnections ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG cConnections) override {
        const ULONG left = kCount - position_;
        position_ += std::min(cConnections, left);
        return cConnections <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumConnectionPoints** ppEnum) override {
        if (!ppEnum) { return E_POINTER; }
        *ppEnum = nullptr;
        return create_instance<PointEnumerator>(IEnumConnectionPoints::iid,
                                                reinterpret_cast<void**>(ppEnum), container_.get(),
                                                source_, position_);
    }

private:
    friend platform::detail::ComObjectBase<false, PointEnumerator, IEnumConnectionPoints>;
    ~PointEnumerator() override = default;
    static constexpr ULONG kCount = 1;
    CComPtr<IConnectionPointContainer> container_;
    EventSource* source_;
    ULONG position_;
};

}  // namespace

HRESULT EventSource::find(IConnectionPointContainer* container,
                          REFIID riid,
                          IConnectionPoint** ppCP) noexcept {
    if (!ppCP) { return E_POINTER; }
    *ppCP = nullptr;
    if (!IsEqualIID(riid, iid_)) { return CONNECT_E_NOCONNECTION; }
    return create_instance<ConnectionPoint>(IConnectionPoint::iid, reinterpret_cast<void**>(ppCP),
                                            container, this);
}

HRESULT EventSource::enumerate(IConnectionPointContainer* container,
                               IEnumConnectionPoints** ppEnum) noexcept {
    if (!ppEnum) { return E_POINTER; }
    *ppEnum = nullptr;
    return create_instance<PointEnumerator>(
        IEnumConnectionPoints::iid, reinterpret_cast<void**>(ppEnum), container, this, ULONG{0});
}

HRESULT EventSource::advise(IUnknown* sink, DWORD* cookie) noexcept {
    if (!sink || !cookie) { return E_POINTER; }
    *cookie = 0;
    CComPtr<IUnknown> events;
    if (FAILED(sink->QueryInterface(iid_, events.out_void()))) { return CONNECT_E_CANNOTCONNECT; }
    try {
        sinks_.emplace_back(next_cookie_, std::move(events));
    } catch (...) { return E_OUTOFMEMORY; }
    *cookie = next_cookie_++;
    return S_OK;
}

HRESULT EventSource::unadvise(DWORD cookie) noexcept {
    const auto it = std::find_if(sinks_.begin(), sinks_.end(),
                                 [&](const auto& entry) { return entry.first == cookie; });
    if (it == sinks_.end()) { return CONNECT_E_NOCONNECTION; }
    // The sink's release may call back into the object; take it out of the list first.
    CComPtr<IUnknown> sink = std::move(it->second);
    sinks_.erase(it);
    return S_OK;
}

}  // namespace engine::detail
