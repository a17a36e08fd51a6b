#pragma once
// Outgoing (event) interfaces of the engine's classes. Each class declares one dispatch
// interface without members and is a connection-point container for it, so that clients can
// connect their sinks as they expect to; no event is ever fired.
#include <cstddef>
#include <utility>
#include <vector>

#include "platform/com_object.hpp"
#include "platform/dispatch.hpp"

namespace engine::detail {

/// The connection point of one event interface: the sinks clients advised, held (one reference
/// each) until they unadvise or the object goes.
class EventSource {
public:
    explicit EventSource(const platform::IID& iid) noexcept : iid_(iid) {}
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    const platform::IID& iid() const noexcept { return iid_; }
    /// IConnectionPointContainer::FindConnectionPoint of `container`, the object that holds this
    /// source (the connection point keeps it alive): CONNECT_E_NOCONNECTION for another IID.
    platform::HRESULT find(platform::IConnectionPointContainer* container,
                           platform::REFIID riid,
                           platform::IConnectionPoint** ppCP) noexcept;
    /// IConnectionPointContainer::EnumConnectionPoints: an enumerator of the one point.
    platform::HRESULT enumerate(platform::IConnectionPointContainer* container,
                                platform::IEnumConnectionPoints** ppEnum) noexcept;

    /// Takes a sink that implements the event interface (CONNECT_E_CANNOTCONNECT otherwise).
    platform::HRESULT advise(platform::IUnknown* sink, platform::DWORD* cookie) noexcept;
    /// Drops a sink (CONNECT_E_NOCONNECTION for a cookie that is not connected).
    platform::HRESULT unadvise(platform::DWORD cookie) noexcept;
    std::size_t sink_count() const noexcept { return sinks_.size(); }

private:
    platform::IID iid_;
    std::vector<std::pair<platform::DWORD, platform::CComPtr<platform::IUnknown>>> sinks_;
    platform::DWORD next_cookie_ = 1;
};

inline constexpr platform::HRESULT CONNECT_E_CANNOTCONNECT =
    platform::MAKE_HRESULT(platform::SEVERITY_ERROR, platform::FACILITY_ITF, 0x202);

}  // namespace engine::detail

/// The two members of IConnectionPointContainer, for a class with an EventSource `events_`.
#define ENGINE_CONNECTION_POINT_DECLARATIONS                                              \
    HRESULT EnumConnectionPoints(platform::IEnumConnectionPoints** ppEnum) override {     \
        return events_.enumerate(this, ppEnum);                                           \
    }                                                                                     \
    HRESULT FindConnectionPoint(platform::REFIID riid, platform::IConnectionPoint** ppCP) \
        override {                                                                        \
        return events_.find(this, riid, ppCP);                                            \
    }
